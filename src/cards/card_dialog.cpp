#include "cards/card_dialog.h"

#include "cards/drivers.h"
#include "cards/evoucher.h"
#include "cards/notice.h"
#include "cards/readers.h"
#include "cards/ss_card.h"
#include "common/text.h"
#include "entry/config.h"
#include "ui/card_type_view.h"
#include "ui/cashier.h"

namespace vorla::cards {
namespace {

constexpr std::string_view kDialog = "card_type";
constexpr std::size_t kScanArea = 512;

// "choose": an index 0..4, or a part of an item's text.
int item_of(const ui::Step& step) {
    const std::string& arg = step.argument;
    if (arg.size() == 1 && arg[0] >= '0' && arg[0] < '0' + ui::kCardTypeItemCount) return arg[0] - '0';
    if (!arg.empty()) {
        const auto& items = ui::card_type_items();
        for (std::size_t i = 0; i < items.size(); ++i)
            if (items[i].find(arg) != std::string::npos) return static_cast<int>(i);
    }
    throw ui::ScriptError("card_type choose: no item " + platform::gbk_to_utf8(arg));
}

}  // namespace

bool scanner_present() { return open_scanner() != nullptr; }

std::string ScanQrCode() {
    const auto scanner = open_scanner();
    if (!scanner) return {};
    const auto scan = reinterpret_cast<iScan2DBarcodeExt_fn>(scanner->symbol("iScan2DBarcodeExt"));
    if (!scan) return {};
    DriverArea area(kScanArea, ' ');
    scan(15, area.data());
    return std::string(trim(area.text()));
}

ui::CardTypeServices card_type_services() {
    ui::CardTypeServices s;
    s.scanner_present = [] { return scanner_present(); };
    s.scan_qr_code = [] { return ScanQrCode(); };
    s.query_evoucher = [] { return QueryEVoucher(); };
    s.change_pin = [] {
        const PinResult r = ChangePin();
        return std::pair<int, std::string>{r.status, r.text};
    };
    s.message = [](std::string_view text, std::string_view caption) { show_message(text, caption); };
    return s;
}

void run_scripted_card_type(ui::CardTypeLogic& logic) {
    const std::vector<ui::Step> steps = ui::take_until_closed(kDialog);
    logic.shown();
    logic.timer_tick();
    for (const ui::Step& step : steps) {
        if (logic.closed()) break;  // the e-voucher closes the dialog by itself
        if (step.action == "choose") {
            logic.select(item_of(step));
        } else if (step.action == "type") {
            if (!logic.edit_enabled())
                throw ui::ScriptError("card_type type: the edit field is disabled for the selected item");
            logic.edit(step.argument);
        } else if (step.action == "change_pin") {
            logic.press_change_pin();
        } else if (step.action == "ok") {
            logic.press_ok();
        } else if (step.action == "cancel") {
            logic.cancel();
        } else {
            throw ui::ScriptError("card_type: unknown action " + step.action);
        }
    }
}

void ChooseCardAndRead(std::string_view /*hid*/, bool pinRequired, TCardOut& record) {
    std::optional<ui::CardChoice> choice;
    {
        ui::CardTypeLogic logic(card_type_services(), config().bussid);
        if (ui::scripted()) {
            try {
                run_scripted_card_type(logic);
            } catch (const ui::ScriptError& e) {
                record.ResultCode = -1;
                record.ErrorText = std::string("cashier script: ") + e.what();
                return;
            }
        } else {
            std::string error;
            if (!ui::run_card_type_view(logic, error)) {
                record.ResultCode = -1;
                record.ErrorText = gbk("无法显示卡类型选择窗口:") + error;
                return;
            }
        }
        choice = logic.choice();
    }
    if (!choice) {
        record.ResultCode = -1;
        record.ErrorText = gbk("用户放弃");
        return;
    }
    record.CardType = choice->cardType;
    ReadCard(choice->readerNumber, choice->data, pinRequired, record);
}

}  // namespace vorla::cards
