#include <gtest/gtest.h>

#include <cstdlib>

#include "common/text.h"
#include "support.h"
#include "ui/cashier.h"

namespace vorla {
namespace {

TEST(Cashier, StepsAreTakenInOrderPerDialog) {
    testing::TempDir dir;
    const std::string path = dir / "script";
    testing::write_file(path,
                        "# a J2 at the desk\r\n\ncard_type choose 3\ncard_type type 张 三\ncard_type ok\n"
                        "  settlement cancel\npreview pdf /tmp/x.pdf\n");
    ::setenv("VORLA_CASHIER", path.c_str(), 1);
    ASSERT_TRUE(ui::scripted());
    auto card = ui::take_until_closed("card_type");
    ASSERT_EQ(card.size(), 3u);
    EXPECT_EQ(card[0].action, "choose");
    EXPECT_EQ(card[0].argument, "3");
    EXPECT_EQ(card[1].argument, gbk("张 三"));
    EXPECT_EQ(card[2].action, "ok");
    EXPECT_THROW(ui::take_one("preview"), ui::ScriptError) << "the next step is for another dialog";
    EXPECT_EQ(ui::take_until_closed("settlement").back().action, "cancel");
    EXPECT_EQ(ui::take_one("preview").argument, "/tmp/x.pdf");
    EXPECT_THROW(ui::take_one("preview"), ui::ScriptError) << "exhausted";
    ::unsetenv("VORLA_CASHIER");
    EXPECT_FALSE(ui::scripted());
}

}  // namespace
}  // namespace vorla
