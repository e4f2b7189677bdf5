#include "ui/card_type_view.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Return_Button.H>
#include <FL/Fl_Round_Button.H>

#include <array>
#include <memory>

#include "platform/display.h"
#include "platform/platform.h"

namespace vorla::ui {
namespace {

using L = CardTypeLayout;

std::string utf8(std::string_view gbk_text) { return platform::gbk_to_utf8(gbk_text); }

class CardTypeWindow {
public:
    explicit CardTypeWindow(CardTypeLogic& logic) : logic_(logic) {
        window_ = std::make_unique<Fl_Double_Window>(L::kWidth, L::kHeight);
        window_->copy_label(utf8(logic.caption()).c_str());
        window_->xclass(kCardTypeWindowClass);
        window_->callback(&CardTypeWindow::on_close, this);

        auto* group = new Fl_Group(L::group.x, L::group.y, L::group.w, L::group.h);
        group->box(FL_ENGRAVED_BOX);
        for (int i = 0; i < kCardTypeItemCount; ++i) {
            const auto b = L::item(i);
            auto* item = new Fl_Round_Button(b.x, b.y, b.w, b.h);
            item->copy_label(utf8(card_type_items()[static_cast<std::size_t>(i)]).c_str());
            item->type(FL_RADIO_BUTTON);
            item->callback(&CardTypeWindow::on_item, this);
            items_[static_cast<std::size_t>(i)] = item;
        }
        group->end();

        auto* label = new Fl_Box(L::label.x, L::label.y, L::label.w, L::label.h);
        label->copy_label(utf8(card_type_label_text()).c_str());
        label->align(FL_ALIGN_INSIDE | FL_ALIGN_RIGHT);

        edit_ = new Fl_Input(L::edit.x, L::edit.y, L::edit.w, L::edit.h);
        edit_->when(FL_WHEN_CHANGED);
        edit_->callback(&CardTypeWindow::on_edit, this);

        auto* ok = new Fl_Return_Button(L::ok.x, L::ok.y, L::ok.w, L::ok.h);
        ok->copy_label(utf8(card_type_ok_text()).c_str());
        ok->callback(&CardTypeWindow::on_ok, this);
        auto* cancel = new Fl_Button(L::cancel.x, L::cancel.y, L::cancel.w, L::cancel.h);
        cancel->copy_label(utf8(card_type_cancel_text()).c_str());
        cancel->callback(&CardTypeWindow::on_close, this);
        auto* change_pin = new Fl_Button(L::change_pin.x, L::change_pin.y, L::change_pin.w, L::change_pin.h);
        change_pin->copy_label(utf8(card_type_change_pin_text()).c_str());
        change_pin->callback(&CardTypeWindow::on_change_pin, this);

        window_->end();
        window_->set_modal();
        window_->position((Fl::w() - L::kWidth) / 2, (Fl::h() - L::kHeight) / 2);
        sync();
    }

    ~CardTypeWindow() { Fl::remove_timeout(&CardTypeWindow::on_timer, this); }

    void run() {
        window_->show();
        logic_.shown();
        Fl::add_timeout(0.2, &CardTypeWindow::on_timer, this);
        sync();
        while (!logic_.closed() && window_->shown()) Fl::wait();
        if (!logic_.closed()) logic_.cancel();
        Fl::remove_timeout(&CardTypeWindow::on_timer, this);
        window_->hide();
        Fl::flush();
    }

private:
    // Renders the logic's state.
    void sync() {
        for (int i = 0; i < kCardTypeItemCount; ++i)
            items_[static_cast<std::size_t>(i)]->value(i == logic_.selected() ? 1 : 0);
        const std::string text = utf8(logic_.edit_text());
        if (text != edit_->value()) edit_->value(text.c_str());
        if (logic_.edit_enabled())
            edit_->activate();
        else
            edit_->deactivate();
        if (auto focus = logic_.take_focus_request(); focus && window_->visible() && edit_->active()) {
            edit_->take_focus();
            if (focus->select_all) edit_->position(edit_->size(), 0);
        }
        if (logic_.closed()) window_->hide();
    }

    static void on_item(Fl_Widget* w, void* self_ptr) {
        auto* self = static_cast<CardTypeWindow*>(self_ptr);
        for (int i = 0; i < kCardTypeItemCount; ++i)
            if (self->items_[static_cast<std::size_t>(i)] == w) self->logic_.select(i);
        self->sync();
    }
    static void on_edit(Fl_Widget*, void* self_ptr) {
        auto* self = static_cast<CardTypeWindow*>(self_ptr);
        self->logic_.edit(platform::utf8_to_gbk(self->edit_->value()));
    }
    static void on_ok(Fl_Widget*, void* self_ptr) {
        auto* self = static_cast<CardTypeWindow*>(self_ptr);
        self->logic_.press_ok();
        self->sync();
    }
    static void on_close(Fl_Widget*, void* self_ptr) {
        auto* self = static_cast<CardTypeWindow*>(self_ptr);
        self->logic_.cancel();
        self->sync();
    }
    static void on_change_pin(Fl_Widget*, void* self_ptr) {
        auto* self = static_cast<CardTypeWindow*>(self_ptr);
        self->logic_.press_change_pin();
        self->sync();
    }
    static void on_timer(void* self_ptr) {
        auto* self = static_cast<CardTypeWindow*>(self_ptr);
        self->logic_.timer_tick();
        self->sync();
    }

    CardTypeLogic& logic_;
    std::unique_ptr<Fl_Double_Window> window_;
    std::array<Fl_Round_Button*, kCardTypeItemCount> items_{};
    Fl_Input* edit_ = nullptr;
};

}  // namespace

bool run_card_type_view(CardTypeLogic& logic, std::string& error) {
    if (!platform::prepare_display(error)) return false;
    CardTypeWindow window(logic);
    window.run();
    return true;
}

}  // namespace vorla::ui
