// The card type selection dialog's logic and its scripted cashier.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "cards/card_dialog.h"
#include "common/text.h"
#include "support.h"
#include "ui/card_type_logic.h"
#include "ui/cashier.h"

namespace vorla::ui {
namespace {

class CardTypeDialog : public ::testing::Test {
protected:
    CardTypeServices services() {
        CardTypeServices s;
        s.scanner_present = [this] { return scanner_; };
        s.scan_qr_code = [this] {
            ++scans_;
            return scan_result_;
        };
        s.query_evoucher = [this] {
            ++queries_;
            return std::string("0^^{\"code\":0}");
        };
        s.change_pin = [this] {
            ++pin_changes_;
            return pin_result_;
        };
        s.message = [this](std::string_view text, std::string_view caption) {
            messages_.push_back(std::string(caption) + "|" + std::string(text));
        };
        s.list_file = list_file_;
        return s;
    }
    // Created, shown and through its first timer tick.
    CardTypeLogic opened() {
        CardTypeLogic logic(services(), "12345");
        logic.shown();
        logic.timer_tick();
        return logic;
    }
    std::string list_file() const { return testing::read_file(list_file_); }

    testing::TempDir dir_;
    std::string list_file_ = dir_ / "list.file";
    bool scanner_ = false;
    std::string scan_result_;
    std::pair<int, std::string> pin_result_{0, ""};
    int scans_ = 0, queries_ = 0, pin_changes_ = 0;
    std::vector<std::string> messages_;
};

TEST_F(CardTypeDialog, ItemsAndCaption) {
    const std::vector<std::string> expected = {gbk("社会保障卡[&1]"), gbk("读身份证(T10读卡器)[&2]"), gbk("证件号码[&3]"),
                                               gbk("电子社保卡[&4]"), gbk("医保电子凭证[&5]")};
    EXPECT_EQ(card_type_items(), expected);
    CardTypeLogic logic(services(), "987654");
    EXPECT_EQ(logic.caption(), gbk("卡类型选择[2.2020.12.6][987654]"));
    EXPECT_EQ(logic.state(), DialogState::Created);
    EXPECT_EQ(logic.selected(), 0);
    EXPECT_TRUE(logic.edit_enabled());
    EXPECT_FALSE(logic.timer_armed());
    logic.shown();
    EXPECT_TRUE(logic.timer_armed());
}

TEST_F(CardTypeDialog, NoListFileNoScannerOpensOnTheSocialSecurityCard) {
    CardTypeLogic logic = opened();
    EXPECT_EQ(logic.selected(), 0);
    EXPECT_EQ(logic.state(), DialogState::Initialised);
    EXPECT_FALSE(logic.timer_armed()) << "the timer is switched off at its first tick";
    logic.press_ok();
    EXPECT_EQ(logic.state(), DialogState::ClosedOk);
    EXPECT_EQ(list_file(), "0\r\n");
    const auto choice = logic.choice();
    ASSERT_TRUE(choice.has_value());
    EXPECT_EQ(choice->cardType, "1");
    EXPECT_EQ(choice->readerNumber, 8);
    EXPECT_EQ(choice->data, "");
}

TEST_F(CardTypeDialog, ListFileSelectsTheSavedItem) {
    testing::write_file(list_file_, "2\r\n");
    CardTypeLogic logic = opened();
    EXPECT_EQ(logic.selected(), 2);
    EXPECT_TRUE(logic.edit_enabled());
    EXPECT_EQ(logic.edit_text(), "");
    EXPECT_TRUE(logic.take_focus_request().has_value());
    logic.edit("110101199001011234");
    logic.press_ok();
    const auto choice = logic.choice();
    ASSERT_TRUE(choice.has_value());
    EXPECT_EQ(choice->cardType, "3");
    EXPECT_EQ(choice->readerNumber, 7);
    EXPECT_EQ(choice->data, "110101199001011234");
    EXPECT_EQ(list_file(), "2\r\n");
}

TEST_F(CardTypeDialog, ListFileThatHoldsNoItemGivesIndexZero) {
    for (const char* content : {"", "abc\r\n", "9\r\n", "-1\r\n", "2x\r\n", "\r\n3\r\n"}) {
        testing::write_file(list_file_, content);
        EXPECT_EQ(CardTypeLogic::read_saved_index(list_file_), 0) << content;
    }
    testing::write_file(list_file_, " 1 \r\nrest");
    EXPECT_EQ(CardTypeLogic::read_saved_index(list_file_), 1);
    EXPECT_EQ(CardTypeLogic::read_saved_index(dir_ / "missing"), 0);
}

TEST_F(CardTypeDialog, ScannerPresentAlwaysOpensOnIndexZero) {
    testing::write_file(list_file_, "3\r\n");
    scanner_ = true;
    CardTypeLogic logic = opened();
    EXPECT_EQ(logic.selected(), 0);
    EXPECT_EQ(scans_, 0) << "index 0 was already selected: no selection handler";
}

TEST_F(CardTypeDialog, ElectronicCardScansOnceAndMayBeEdited) {
    scan_result_ = "SCANNED-CODE";
    CardTypeLogic logic = opened();
    logic.select(3);
    EXPECT_EQ(scans_, 1);
    EXPECT_EQ(logic.edit_text(), "SCANNED-CODE");
    EXPECT_TRUE(logic.edit_enabled());
    const auto focus = logic.take_focus_request();
    ASSERT_TRUE(focus.has_value());
    EXPECT_TRUE(focus->select_all);
    logic.select(3);
    EXPECT_EQ(scans_, 1) << "the same index again runs nothing";
    logic.edit("EDITED-CODE");
    logic.press_ok();
    const auto choice = logic.choice();
    ASSERT_TRUE(choice.has_value());
    EXPECT_EQ(choice->cardType, "4");
    EXPECT_EQ(choice->readerNumber, 5);
    EXPECT_EQ(choice->data, "EDITED-CODE");
    EXPECT_EQ(list_file(), "3\r\n");
}

TEST_F(CardTypeDialog, NothingScannedLeavesTheFieldEmpty) {
    CardTypeLogic logic = opened();
    logic.edit("typed before");
    logic.select(3);
    EXPECT_EQ(logic.edit_text(), "");
    EXPECT_TRUE(logic.edit_enabled());
}

TEST_F(CardTypeDialog, EVoucherClosesAtOnceWithoutRewritingListFile) {
    testing::write_file(list_file_, "1\r\n");
    CardTypeLogic logic = opened();
    ASSERT_EQ(logic.selected(), 1);
    EXPECT_FALSE(logic.edit_enabled());
    logic.select(4);
    EXPECT_EQ(queries_, 1);
    EXPECT_EQ(logic.state(), DialogState::ClosedOk);
    EXPECT_EQ(list_file(), "1\r\n");
    const auto choice = logic.choice();
    ASSERT_TRUE(choice.has_value());
    EXPECT_EQ(choice->cardType, "5");
    EXPECT_EQ(choice->readerNumber, 9);
    EXPECT_EQ(choice->data, "0^^{\"code\":0}");
    logic.select(2);
    logic.cancel();
    EXPECT_EQ(logic.state(), DialogState::ClosedOk) << "a closed dialog takes no more actions";
}

TEST_F(CardTypeDialog, IdentityCardItem) {
    CardTypeLogic logic = opened();
    logic.select(1);
    EXPECT_FALSE(logic.edit_enabled());
    logic.edit("ignored");
    EXPECT_EQ(logic.edit_text(), "");
    logic.press_ok();
    const auto choice = logic.choice();
    ASSERT_TRUE(choice.has_value());
    EXPECT_EQ(choice->cardType, "6");
    EXPECT_EQ(choice->readerNumber, 6);
}

TEST_F(CardTypeDialog, ChangePinOnlyForTheSocialSecurityCard) {
    CardTypeLogic logic = opened();
    logic.select(1);
    logic.press_change_pin();
    EXPECT_EQ(pin_changes_, 0);
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0], gbk("提示|目前只适用新社会保障卡密码修改!"));

    logic.select(0);
    logic.press_change_pin();
    pin_result_ = {-5, gbk("原密码错误")};
    logic.press_change_pin();
    EXPECT_EQ(pin_changes_, 2);
    ASSERT_EQ(messages_.size(), 3u);
    EXPECT_EQ(messages_[1], gbk("提示|密码修改成功"));
    EXPECT_EQ(messages_[2], gbk("提示|密码修改失败,失败原因:原密码错误"));
    EXPECT_FALSE(logic.closed()) << "the dialog stays open";
}

TEST_F(CardTypeDialog, CancelGivesNoChoiceAndKeepsListFile) {
    CardTypeLogic logic = opened();
    logic.select(2);
    logic.cancel();
    EXPECT_EQ(logic.state(), DialogState::ClosedCancel);
    EXPECT_FALSE(logic.choice().has_value());
    EXPECT_FALSE(std::filesystem::exists(list_file_));
}

class ScriptedCardType : public CardTypeDialog {
protected:
    void script(const std::string& text) {
        testing::write_file(script_path_, text);
        ::setenv("VORLA_CASHIER", script_path_.c_str(), 1);
    }
    void TearDown() override { ::unsetenv("VORLA_CASHIER"); }
    // Each script gets a path of its own: the cashier keeps its position per path.
    static inline int scripts_ = 0;
    std::string script_path_ = dir_ / ("script-" + std::to_string(++scripts_));
};

TEST_F(ScriptedCardType, ChooseByIndexOrByTextThenTypeAndOk) {
    script("card_type choose 证件号码\ncard_type type 110101199001011234\ncard_type ok\n"
           "card_type choose 3\ncard_type ok\n");
    CardTypeLogic first(services(), "1");
    cards::run_scripted_card_type(first);
    ASSERT_TRUE(first.choice().has_value());
    EXPECT_EQ(first.choice()->readerNumber, 7);
    EXPECT_EQ(first.choice()->data, "110101199001011234");

    scan_result_ = "QR";
    CardTypeLogic second(services(), "1");
    cards::run_scripted_card_type(second);
    ASSERT_TRUE(second.choice().has_value());
    EXPECT_EQ(second.choice()->readerNumber, 5);
    EXPECT_EQ(second.choice()->data, "QR");
    EXPECT_EQ(list_file(), "3\r\n");
}

TEST_F(ScriptedCardType, EVoucherClosesBeforeTheRemainingSteps) {
    script("card_type choose 4\ncard_type type ignored\ncard_type ok\nsettlement ok\n");
    CardTypeLogic logic(services(), "1");
    cards::run_scripted_card_type(logic);
    EXPECT_EQ(logic.state(), DialogState::ClosedOk);
    EXPECT_EQ(queries_, 1);
    EXPECT_EQ(take_one("settlement").action, "ok") << "the dialog's steps through its ok were taken";
}

TEST_F(ScriptedCardType, StepsThatDoNotFitAreScriptErrors) {
    script("card_type type 123\ncard_type ok\n");
    CardTypeLogic fresh(services(), "1");
    // Index 0 stays selected at the first tick: the field keeps its created state, enabled.
    EXPECT_NO_THROW(cards::run_scripted_card_type(fresh));

    script_path_ += "-2";
    script("card_type choose 1\ncard_type type 123\ncard_type ok\n");
    CardTypeLogic logic(services(), "1");
    EXPECT_THROW(cards::run_scripted_card_type(logic), ScriptError);

    script_path_ += "-3";
    script("card_type press 1\ncard_type ok\n");
    CardTypeLogic unknown(services(), "1");
    EXPECT_THROW(cards::run_scripted_card_type(unknown), ScriptError);

    script_path_ += "-4";
    script("card_type choose 7\ncard_type ok\n");
    CardTypeLogic bad_item(services(), "1");
    EXPECT_THROW(cards::run_scripted_card_type(bad_item), ScriptError);
}

TEST_F(ScriptedCardType, ChangePinAndCancel) {
    script("card_type change_pin\ncard_type cancel\n");
    CardTypeLogic logic(services(), "1");
    cards::run_scripted_card_type(logic);
    EXPECT_EQ(pin_changes_, 1);
    EXPECT_EQ(logic.state(), DialogState::ClosedCancel);
}

}  // namespace
}  // namespace vorla::ui
