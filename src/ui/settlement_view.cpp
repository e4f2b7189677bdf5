// The settlement choices dialog as a modal FLTK window. Every text of the
// logic is GBK; FLTK draws UTF-8, so each one is converted here.
#include "ui/settlement_view.h"

#include <FL/Fl.H>
#include <FL/Fl_Browser.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Browser.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Multiline_Output.H>
#include <FL/Fl_Output.H>
#include <FL/Fl_Round_Button.H>

#include <algorithm>
#include <exception>
#include <memory>

#include "common/text.h"
#include "platform/display.h"
#include "platform/platform.h"
#include "ui/settlement_layout.h"

namespace vorla::ui {
namespace {

std::string utf8(std::string_view gbk_text) { return platform::gbk_to_utf8(gbk_text); }

// A label text from data: FLTK would read "&" as a shortcut mark and "@" as a symbol.
std::string label_text(std::string_view gbk_text) {
    std::string out;
    for (char c : utf8(gbk_text)) {
        if (c == '&' || c == '@') out += c;
        out += c;
    }
    return out;
}

using namespace settlement_layout;

class View {
public:
    explicit View(query::TF_display& form) : form_(form) {}

    DialogOutcome run(ShownHook on_shown, void* hook_data) {
        build();
        form_.FormShow();
        refresh_all();
        window_->position((Fl::w() - window_->w()) / 2, (Fl::h() - window_->h()) / 2);
        window_->show();
        if (form_.focus_on_ok()) ok_->take_focus();
        hook_ = on_shown;
        hook_data_ = hook_data;
        if (hook_) Fl::add_timeout(0.3, &View::hook_trampoline, this);
        while (window_->shown()) Fl::wait();
        Fl::remove_timeout(&View::hook_trampoline, this);
        window_.reset();
        return {closed_, {}};
    }

private:
    // ---- building the form -------------------------------------------------------
    Fl_Output* field(int x, int y, const std::string& label_gbk) {
        auto* o = new Fl_Output(x + kLabelWidth, y, kFieldWidth, kRowHeight - 4);
        o->copy_label(utf8(label_gbk).c_str());
        o->align(FL_ALIGN_LEFT);
        return o;
    }

    // Read-only fields with their labels in three columns from (x, y); the height used.
    int fields(int x, int y, const std::vector<query::LabelledText>& list, std::vector<Fl_Output*>& out) {
        for (std::size_t i = 0; i < list.size(); ++i) {
            const int col = static_cast<int>(i % 3), row = static_cast<int>(i / 3);
            out.push_back(field(x + col * kColumnWidth, y + row * kRowHeight, list[i].label));
        }
        return field_rows(list.size()) * kRowHeight;
    }

    void build() {
        const auto basic = form_.basic_fields();
        const auto treatment = form_.treatment_fields();
        const int types = static_cast<int>(form_.insurance_types().size());
        const Heights h = heights(basic.size(), treatment.size(), form_.insurance_types().size());

        window_ = std::make_unique<Fl_Double_Window>(kWindowWidth, h.window);
        window_->copy_label(utf8(form_.caption()).c_str());
        window_->xclass(kSettlementWindowClass);
        window_->callback(&View::on_close, this);  // the frame's close box and Esc: Cancel

        // "基础信息"
        int y = kMargin + 20;
        auto* basic_group = new Fl_Group(kMargin, y, kWindowWidth - 2 * kMargin, h.basic);
        basic_group->box(FL_ENGRAVED_FRAME);
        basic_group->copy_label(utf8(gbk("基础信息")).c_str());
        basic_group->align(FL_ALIGN_TOP_LEFT);
        int gy = y + kMargin;
        gy += fields(kMargin, gy, basic, basic_);
        memo_ = new Fl_Multiline_Output(kMargin + kLabelWidth, gy, kWindowWidth - 3 * kMargin - kLabelWidth, 60);
        memo_->copy_label(utf8(gbk("人员附加信息")).c_str());
        memo_->align(FL_ALIGN_LEFT);
        basic_group->end();
        y += h.basic + kMargin + 20;

        // "待遇信息"
        auto* treat_group = new Fl_Group(kMargin, y, kWindowWidth - 2 * kMargin, h.treatment);
        treat_group->box(FL_ENGRAVED_FRAME);
        treat_group->copy_label(utf8(gbk("待遇信息")).c_str());
        treat_group->align(FL_ALIGN_TOP_LEFT);
        gy = y + 25;
        radio_group_ = new Fl_Group(2 * kMargin, gy, kWindowWidth - 4 * kMargin, h.radio);
        radio_group_->box(FL_THIN_DOWN_FRAME);
        radio_group_->copy_label(utf8(gbk("参保险种")).c_str());
        radio_group_->align(FL_ALIGN_TOP_LEFT);
        for (int i = 0; i < types; ++i) {
            auto* b = new Fl_Round_Button(2 * kMargin + 5 + (i % kRadioColumns) * kRadioWidth,
                                          gy + kMargin + (i / kRadioColumns) * 24, kRadioWidth - 10, 22);
            b->type(FL_RADIO_BUTTON);
            b->copy_label(label_text(form_.insurance_types()[static_cast<std::size_t>(i)]).c_str());
            b->callback(&View::on_radio, this);
            radios_.push_back(b);
        }
        radio_group_->end();
        gy += h.radio + 5;
        gy += fields(kMargin, gy, treatment, treatment_);
        gy += 25;
        categories_ = new Fl_Check_Browser(2 * kMargin, gy, kListWidth, kListHeight);
        categories_->copy_label(utf8(gbk("医疗类别(请选择其中一种进行就医)")).c_str());
        categories_->align(FL_ALIGN_TOP_LEFT);
        categories_->when(FL_WHEN_CHANGED);
        categories_->callback(&View::on_category, this);
        diseases_ = new Fl_Check_Browser(3 * kMargin + kListWidth, gy, kListWidth, kListHeight);
        diseases_->copy_label(utf8(gbk("病种信息(请选择其中一种进行就医)")).c_str());
        diseases_->align(FL_ALIGN_TOP_LEFT);
        diseases_->when(FL_WHEN_CHANGED);
        diseases_->callback(&View::on_disease, this);
        information_ = new Fl_Browser(4 * kMargin + 2 * kListWidth, gy, kListWidth, kListHeight);
        information_->copy_label(utf8(gbk("就医信息")).c_str());
        information_->align(FL_ALIGN_TOP_LEFT);
        information_->format_char(0);  // lines are data, not formatting
        treat_group->end();
        y += h.treatment + kMargin;

        ok_ = new Fl_Button(kWindowWidth - 2 * (100 + kMargin), y, 100, 30);
        ok_->copy_label(utf8(gbk("确定[&O]")).c_str());
        ok_->callback(&View::on_ok, this);
        cancel_ = new Fl_Button(kWindowWidth - (100 + kMargin), y, 100, 30);
        cancel_->copy_label(utf8(gbk("放弃[&C]")).c_str());
        cancel_->callback(&View::on_cancel, this);
        window_->end();
        window_->set_modal();
    }

    // ---- showing the logic's state ---------------------------------------------------
    static void set_outputs(const std::vector<Fl_Output*>& outputs, const std::vector<query::LabelledText>& list) {
        for (std::size_t i = 0; i < outputs.size() && i < list.size(); ++i)
            outputs[i]->value(utf8(list[i].text).c_str());
    }

    // A check list: rebuilt when its items changed, else only its marks set
    // (it may be the widget whose callback is running).
    static void set_checks(Fl_Check_Browser* w, std::vector<std::string>& shown,
                           const std::vector<query::CheckItem>& items) {
        std::vector<std::string> texts;
        for (const auto& item : items) texts.push_back(item.text);
        if (texts != shown) {
            w->clear();
            for (const auto& item : items) w->add(utf8(item.text).c_str(), item.checked ? 1 : 0);
            shown = std::move(texts);
        } else {
            for (std::size_t i = 0; i < items.size(); ++i)
                w->checked(static_cast<int>(i) + 1, items[i].checked ? 1 : 0);
        }
        w->redraw();
    }

    void refresh_all() {
        set_outputs(basic_, form_.basic_fields());
        set_outputs(treatment_, form_.treatment_fields());
        memo_->value(utf8(form_.additional_information()).c_str());
        for (std::size_t i = 0; i < radios_.size(); ++i)
            radios_[i]->value(static_cast<int>(i) == form_.selected_insurance_type() ? 1 : 0);
        set_checks(categories_, shown_categories_, form_.categories());
        set_checks(diseases_, shown_diseases_, form_.diseases());
        information_->clear();
        for (const auto& line : form_.information()) information_->add(utf8(line).c_str());
    }

    // The item whose mark the widget changed, -1 when none did.
    static int toggled_item(Fl_Check_Browser* w, const std::vector<query::CheckItem>& items) {
        for (std::size_t i = 0; i < items.size() && static_cast<int>(i) < w->nitems(); ++i)
            if ((w->checked(static_cast<int>(i) + 1) != 0) != items[i].checked) return static_cast<int>(i);
        return -1;
    }

    // ---- callbacks -------------------------------------------------------------------
    template <class F>
    void guarded(F&& f) {
        try {
            f();
            refresh_all();
        } catch (const std::exception&) {
            // A handler's failure leaves the form as it was.
        }
    }

    static void on_radio(Fl_Widget* w, void* self) {
        auto* v = static_cast<View*>(self);
        v->guarded([v, w] {
            const auto it = std::find(v->radios_.begin(), v->radios_.end(), w);
            if (it != v->radios_.end()) v->form_.select_insurance_type(static_cast<int>(it - v->radios_.begin()));
        });
    }
    static void on_category(Fl_Widget*, void* self) {
        auto* v = static_cast<View*>(self);
        v->guarded([v] { v->form_.click_category(toggled_item(v->categories_, v->form_.categories())); });
    }
    static void on_disease(Fl_Widget*, void* self) {
        auto* v = static_cast<View*>(self);
        v->guarded([v] { v->form_.click_disease(toggled_item(v->diseases_, v->form_.diseases())); });
    }
    static void on_ok(Fl_Widget*, void* self) { static_cast<View*>(self)->close(DialogClose::Ok); }
    static void on_cancel(Fl_Widget*, void* self) { static_cast<View*>(self)->close(DialogClose::Cancel); }
    static void on_close(Fl_Widget*, void* self) { static_cast<View*>(self)->close(DialogClose::Cancel); }
    static void hook_trampoline(void* self) {
        auto* v = static_cast<View*>(self);
        if (v->hook_) v->hook_(v->hook_data_);
    }

    void close(DialogClose how) {
        closed_ = how;
        window_->hide();
    }

    query::TF_display& form_;
    std::unique_ptr<Fl_Double_Window> window_;
    std::vector<Fl_Output*> basic_, treatment_;
    Fl_Multiline_Output* memo_ = nullptr;
    Fl_Group* radio_group_ = nullptr;
    std::vector<Fl_Round_Button*> radios_;
    Fl_Check_Browser* categories_ = nullptr;
    Fl_Check_Browser* diseases_ = nullptr;
    Fl_Browser* information_ = nullptr;
    Fl_Button* ok_ = nullptr;
    Fl_Button* cancel_ = nullptr;
    std::vector<std::string> shown_categories_, shown_diseases_;
    DialogClose closed_ = DialogClose::Cancel;
    ShownHook hook_ = nullptr;
    void* hook_data_ = nullptr;
};

}  // namespace

DialogOutcome show_settlement_window(query::TF_display& form, ShownHook on_shown, void* hook_data) {
    std::string error;
    if (!platform::prepare_display(error)) return {DialogClose::Unavailable, error};
    View view(form);
    return view.run(on_shown, hook_data);
}

}  // namespace vorla::ui
