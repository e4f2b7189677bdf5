// The card type selection dialog (TF_ic_ykt_sel) as plain logic: its state, the
// handlers of its controls and timer, and what OK and Cancel produce. A view
// (card_type_view.h) or the scripted cashier renders it and forwards the
// cashier's actions; every effect on the outside goes through CardTypeServices.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vorla::ui {

// The items of Rg_cardtype in order (index 0 to 4), GBK:
// "社会保障卡[&1]", "读身份证(T10读卡器)[&2]", "证件号码[&3]", "电子社保卡[&4]",
// "医保电子凭证[&5]".
const std::vector<std::string>& card_type_items();
inline constexpr int kCardTypeItemCount = 5;
inline constexpr int kItemSocialCard = 0;
inline constexpr int kItemIdCard = 1;
inline constexpr int kItemTypedNumber = 2;
inline constexpr int kItemECard = 3;
inline constexpr int kItemEVoucher = 4;

// Fixed texts of the dialog (GBK).
std::string card_type_label_text();   // Label1 "证件号码"
std::string card_type_ok_text();      // "确定[&O]"
std::string card_type_cancel_text();  // "取消[&C]"
std::string card_type_change_pin_text();  // "修改密码[&M]"

// The caption: "卡类型选择" + "[" + the client version + "]" + "[" + bussid + "]".
std::string card_type_caption(std::string_view bussid);

struct CardTypeServices {
    // True when the QR scanner component can be loaded (it is released again).
    std::function<bool()> scanner_present;
    // One QR scan; "" when nothing was read.
    std::function<std::string()> scan_qr_code;
    // The e-voucher result text ("code^^answer").
    std::function<std::string()> query_evoucher;
    // Changes the card PIN through the card driver: status (0 changed) and the driver's text.
    std::function<std::pair<int, std::string>()> change_pin;
    // A modal message box with caption "提示" (texts GBK).
    std::function<void(std::string_view text, std::string_view caption)> message;
    // The remembered choice, "list.file" in the current directory.
    std::string list_file = "list.file";
};

enum class DialogState { Created, Shown, Initialised, ClosedOk, ClosedCancel };

// What the reader dispatch gets after OK.
struct CardChoice {
    std::string cardType;  // "1", "6", "3", "4" or "5"
    int readerNumber = 0;  // 8, 6, 7, 5 or 9
    std::string data;      // E_userid for the typed, scanned and e-voucher items
};

class CardTypeLogic {
public:
    CardTypeLogic(CardTypeServices services, std::string_view bussid);

    // ---- what the view shows ----
    const std::string& caption() const { return caption_; }
    int selected() const { return selected_; }
    bool edit_enabled() const { return edit_enabled_; }
    const std::string& edit_text() const { return edit_text_; }  // GBK
    DialogState state() const { return state_; }
    bool closed() const { return state_ == DialogState::ClosedOk || state_ == DialogState::ClosedCancel; }
    bool timer_armed() const { return timer_armed_; }
    // A request to give E_userid the focus (select_all: with all text selected),
    // taken once by the view; the view honours it when it can.
    struct FocusRequest {
        bool select_all = false;
    };
    std::optional<FocusRequest> take_focus_request();

    // ---- what the view forwards ----
    // The dialog became visible: Timer1 is switched on (first tick after 200 ms).
    void shown();
    // Timer1 fired: the first tick reads "list.file", probes the scanner and
    // selects the item; later ticks do nothing (the timer is off).
    void timer_tick();
    // Rg_cardtype clicked or changed to `index`: runs the selection handler when
    // the index differs from the selected one. Indexes outside 0..4 are ignored.
    void select(int index);
    // The cashier edited E_userid (ignored while it is disabled).
    void edit(std::string text_gbk);
    // Btn_ok pressed (by the cashier or programmatically).
    void press_ok();
    // Btn_cancel, Esc or closing the window.
    void cancel();
    // Btn_changePWD pressed; the dialog stays open.
    void press_change_pin();

    // After ClosedOk: the mapped choice of the selected item.
    std::optional<CardChoice> choice() const;
    // The saved index of "list.file": its first line as a decimal integer in
    // 0..4; 0 when the file is missing, unreadable or holds anything else.
    static int read_saved_index(const std::string& path);

private:
    void on_selection();
    void request_focus(bool select_all);

    CardTypeServices services_;
    std::string caption_;
    int selected_ = 0;
    bool edit_enabled_ = true;
    std::string edit_text_;
    DialogState state_ = DialogState::Created;
    bool timer_armed_ = false;
    std::optional<FocusRequest> focus_;
};

}  // namespace vorla::ui
