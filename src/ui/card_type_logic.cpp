#include "ui/card_type_logic.h"

#include <fstream>

#include "common/text.h"
#include "entry/config.h"

namespace vorla::ui {

const std::vector<std::string>& card_type_items() {
    static const std::vector<std::string> items = {gbk("社会保障卡[&1]"), gbk("读身份证(T10读卡器)[&2]"),
                                                   gbk("证件号码[&3]"), gbk("电子社保卡[&4]"),
                                                   gbk("医保电子凭证[&5]")};
    return items;
}

std::string card_type_label_text() { return gbk("证件号码"); }
std::string card_type_ok_text() { return gbk("确定[&O]"); }
std::string card_type_cancel_text() { return gbk("取消[&C]"); }
std::string card_type_change_pin_text() { return gbk("修改密码[&M]"); }

std::string card_type_caption(std::string_view bussid) {
    return gbk("卡类型选择") + "[" + std::string(kClientVersion) + "]" + "[" + std::string(bussid) + "]";
}

CardTypeLogic::CardTypeLogic(CardTypeServices services, std::string_view bussid)
    : services_(std::move(services)), caption_(card_type_caption(bussid)) {}

std::optional<CardTypeLogic::FocusRequest> CardTypeLogic::take_focus_request() {
    auto f = focus_;
    focus_.reset();
    return f;
}

void CardTypeLogic::request_focus(bool select_all) { focus_ = FocusRequest{select_all}; }

void CardTypeLogic::shown() {
    if (state_ != DialogState::Created) return;
    state_ = DialogState::Shown;
    timer_armed_ = true;
}

int CardTypeLogic::read_saved_index(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string line;
    if (!in || !std::getline(in, line)) return 0;
    const std::string_view t = trim(line);
    if (t.empty() || t.size() > 3) return 0;
    int v = 0;
    for (char c : t) {
        if (c < '0' || c > '9') return 0;
        v = v * 10 + (c - '0');
    }
    return v < kCardTypeItemCount ? v : 0;
}

void CardTypeLogic::timer_tick() {
    if (!timer_armed_) return;
    timer_armed_ = false;
    const int saved = read_saved_index(services_.list_file);
    const bool scanner = services_.scanner_present && services_.scanner_present();
    if (state_ == DialogState::Shown) state_ = DialogState::Initialised;
    select(scanner ? 0 : saved);
    if (!closed() && !focus_) request_focus(false);
}

void CardTypeLogic::select(int index) {
    if (closed() || index < 0 || index >= kCardTypeItemCount || index == selected_) return;
    selected_ = index;
    on_selection();
}

void CardTypeLogic::on_selection() {
    edit_enabled_ = false;
    if (selected_ == kItemTypedNumber || selected_ == kItemECard) {
        edit_enabled_ = true;
        edit_text_.clear();
        request_focus(false);
    }
    if (selected_ == kItemECard && services_.scan_qr_code) {
        std::string code = services_.scan_qr_code();
        if (!code.empty()) {
            edit_text_ = std::move(code);
            request_focus(true);
        }
    }
    if (selected_ == kItemEVoucher) {
        edit_text_ = services_.query_evoucher ? services_.query_evoucher() : std::string();
        request_focus(true);
        press_ok();
    }
}

void CardTypeLogic::edit(std::string text_gbk) {
    if (closed() || !edit_enabled_) return;
    edit_text_ = std::move(text_gbk);
}

void CardTypeLogic::press_ok() {
    if (closed()) return;
    if (selected_ != kItemEVoucher) {
        // The remembered choice is a convenience: a file that cannot be written
        // does not keep the dialog open.
        std::ofstream out(services_.list_file, std::ios::binary | std::ios::trunc);
        if (out) out << selected_ << "\r\n";
    }
    state_ = DialogState::ClosedOk;
    timer_armed_ = false;
}

void CardTypeLogic::cancel() {
    if (closed()) return;
    state_ = DialogState::ClosedCancel;
    timer_armed_ = false;
}

void CardTypeLogic::press_change_pin() {
    if (closed()) return;
    const auto message = [this](const std::string& text) {
        if (services_.message) services_.message(text, gbk("提示"));
    };
    if (selected_ != kItemSocialCard) {
        message(gbk("目前只适用新社会保障卡密码修改!"));
        return;
    }
    const auto [status, text] = services_.change_pin ? services_.change_pin() : std::pair<int, std::string>{-1, {}};
    if (status != 0)
        message(gbk("密码修改失败,失败原因:") + text);
    else
        message(gbk("密码修改成功"));
}

std::optional<CardChoice> CardTypeLogic::choice() const {
    if (state_ != DialogState::ClosedOk) return std::nullopt;
    const std::string& item = card_type_items()[static_cast<std::size_t>(selected_)];
    const auto contains = [&item](const char* utf8) { return item.find(gbk(utf8)) != std::string::npos; };
    if (contains("社会保障卡")) return CardChoice{"1", 8, {}};
    if (contains("读身份证")) return CardChoice{"6", 6, {}};
    if (contains("证件号码")) return CardChoice{"3", 7, edit_text_};
    if (selected_ == kItemECard) return CardChoice{"4", 5, edit_text_};
    if (selected_ == kItemEVoucher) return CardChoice{"5", 9, edit_text_};
    return std::nullopt;
}

}  // namespace vorla::ui
