#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <set>
#include <thread>

#include "common/text.h"
#include "entry/config.h"
#include "entry/dispatcher.h"
#include "platform/platform.h"
#include "support.h"

namespace vorla {
namespace {

using testing::read_file;
using testing::SystemDir;
using testing::write_file;

const std::string kSaveModeKey = gbk(
    R"(医保交易保存模式(0 路径\\医院代码\\日期\\发起IP\\交易时间.txt , 1 路径\\医院代码\\日期\\发起IP\\日期.txt , 2 路径\\医院代码\\日期.TXT ))");

std::string ini_value(const std::string& path, const char* section, const std::string& key) {
    return platform::Profile(path).read(gbk(section), key);
}

class Config : public ::testing::Test {
protected:
    void SetUp() override { release_configuration(); }
    void TearDown() override { release_configuration(); }
    SystemDir dir;
    std::string ini() const { return dir / "vorla.ini"; }
};

TEST_F(Config, FirstLoadCreatesTheFileWithEveryDefault) {
    load_configuration();
    const std::string path = ini();
    ASSERT_EQ(configuration_path(), path);
    struct Row {
        const char* section;
        std::string key;
        std::string expected;
    };
    const Row rows[] = {
        {"读卡调试模式", gbk("读卡调试模式(true调试,false不调试)"), "false"},
        {"医保交易地址", gbk("医保交易地址"), config().center_address},
        {"鉴权系统地址", gbk("鉴权系统地址"), config().auth_address},
        {"医保监控", gbk("医保监控地址"), config().monitor_address},
        {"医保监控", gbk("是否启用医保监控"), "false"},
        {"医保交易日志", gbk("医保交易保存路径"), platform::default_journal_root()},
        {"医保交易日志", kSaveModeKey, "-1"},
        {"医疗机构信息", gbk("医疗机构密钥"), "11112222|3"},
        {"医保电子凭证", gbk("请求地址"), config().evoucher_address},
        {"医保电子凭证", gbk("机构ID"), ""},
        {"医保电子凭证", gbk("用码类型"), "01101"},
        {"医保电子凭证", gbk("科室ID"), "01"},
        {"医保电子凭证", gbk("科室名称"), gbk("结算处")},
        {"医保电子凭证", gbk("操作员ID"), "0001"},
        {"医保电子凭证", gbk("操作员姓名"), gbk("收费员")},
    };
    for (const Row& r : rows) EXPECT_EQ(ini_value(path, r.section, r.key), r.expected) << r.section;

    const std::string text = read_file(path);
    EXPECT_NE(text.find(gbk("机构ID") + "=\r\n"), std::string::npos) << "empty default written as an empty key";
    EXPECT_NE(text.find(kSaveModeKey + "=-1\r\n"), std::string::npos);
    EXPECT_NE(config().center_address.find("/RemoteFacedeBean/RemoteFacedeBeanService?WSDL"), std::string::npos);
    EXPECT_NE(config().auth_address.find("/galdo_mis_outland/outland/biz"), std::string::npos);
    EXPECT_NE(config().monitor_address.find("/his/realcheck/audit"), std::string::npos);
    EXPECT_NE(config().evoucher_address.find("/localcfc/api/hsecfc/localQrCodeQuery"), std::string::npos);
    EXPECT_EQ(config().save_mode, "-1");
    EXPECT_EQ(config().institution_key, "11112222|3");
    EXPECT_EQ(config().evoucher_dept_name, gbk("结算处"));
    EXPECT_FALSE(config().monitoring);
    EXPECT_FALSE(config().card_debug);
    EXPECT_TRUE(config().write_failure.empty());

    // A complete file is not written again, not even for the key whose default is
    // empty: the file stays the same file (no replacement by rename).
    const auto before = read_file(path);
    struct stat first {};
    ASSERT_EQ(::stat(path.c_str(), &first), 0);
    load_configuration();
    struct stat second {};
    ASSERT_EQ(::stat(path.c_str(), &second), 0);
    EXPECT_EQ(read_file(path), before);
    EXPECT_EQ(first.st_ino, second.st_ino);
}

TEST_F(Config, ValuesAreTakenUntrimmedAndBlanksCountAsMissing) {
    write_file(ini(), gbk("; hand-written\r\n[医保交易地址]\r\n医保交易地址=http://center:7001/ws?WSDL  \r\n"
                          "[医保电子凭证]\r\n用码类型=   \r\n[其他]\r\nfoo=bar\r\n"));
    load_configuration();
    EXPECT_EQ(config().center_address, "http://center:7001/ws?WSDL  ");
    EXPECT_EQ(config().evoucher_use_type, "01101");
    EXPECT_EQ(ini_value(ini(), "医保电子凭证", gbk("用码类型")), "01101");
    const std::string text = read_file(ini());
    EXPECT_EQ(text.rfind("; hand-written\r\n", 0), 0u) << "other lines are kept";
    EXPECT_NE(text.find("[" + gbk("其他") + "]\r\nfoo=bar\r\n"), std::string::npos);
}

TEST_F(Config, Switches) {
    const std::string debug_key = gbk("读卡调试模式(true调试,false不调试)");
    struct Case {
        const char* debug;
        const char* monitor;
        bool debug_on;
        bool monitor_on;
    } cases[] = {
        {"True", "TRUE", false, false},
        {" true", " true ", false, true},
        {"false", "true\t", false, true},
        {"true", "yes", true, false},
    };
    for (const Case& c : cases) {
        release_configuration();
        platform::Profile p(ini());
        p.write(gbk("读卡调试模式"), debug_key, c.debug);
        p.write(gbk("医保监控"), gbk("是否启用医保监控"), c.monitor);
        load_configuration();
        EXPECT_EQ(config().card_debug, c.debug_on) << c.debug;
        EXPECT_EQ(config().monitoring, c.monitor_on) << c.monitor;
    }
}

TEST_F(Config, DebugSwitchStaysOnOnceOnButMonitoringFollowsTheFile) {
    platform::Profile p(ini());
    p.write(gbk("读卡调试模式"), gbk("读卡调试模式(true调试,false不调试)"), "true");
    p.write(gbk("医保监控"), gbk("是否启用医保监控"), "true");
    load_configuration();
    ASSERT_TRUE(config().card_debug);
    ASSERT_TRUE(config().monitoring);
    p.write(gbk("读卡调试模式"), gbk("读卡调试模式(true调试,false不调试)"), "false");
    p.write(gbk("医保监控"), gbk("是否启用医保监控"), "false");
    load_configuration();
    EXPECT_TRUE(config().card_debug);
    EXPECT_FALSE(config().monitoring);
}

TEST_F(Config, KeysMatchWithoutRegardToLetterCase) {
    write_file(ini(), gbk("[读卡调试模式]\r\n读卡调试模式(TRUE调试,FALSE不调试)=true\r\n"));
    load_configuration();
    EXPECT_TRUE(config().card_debug);
    EXPECT_EQ(read_file(ini()).find(gbk("读卡调试模式(true调试")), std::string::npos)
        << "the existing key is used, no second one added";
}

TEST_F(Config, CallToken) {
    load_configuration();
    const std::string first = config().seed;
    for (int i = 0; i < 50; ++i) {
        load_configuration();
        const long long seed = std::stoll(config().seed);
        EXPECT_GE(seed, 10000000);
        EXPECT_LE(seed, 109999998);
        EXPECT_GE(config().seed.size(), 8u);
    }
    EXPECT_FALSE(config().bussid.empty());
    // 22020126 + 2*240131 + constant + 87654321, digits reversed.
    const long long sum = 22020126LL + 2 * 240131 + kBussidConstant + 87654321;
    std::string expected = std::to_string(sum);
    expected.assign(expected.rbegin(), expected.rend());
    EXPECT_EQ(make_bussid("12345678", 240131), expected);
    // A seed ending in zeros reverses to a smaller number.
    EXPECT_EQ(make_bussid("10000000", 240131),
              [] {
                  std::string s = std::to_string(22020126LL + 480262 + kBussidConstant + 1);
                  return std::string(s.rbegin(), s.rend());
              }());
}

TEST_F(Config, UnwritableDefaultsLeaveTheCallWithTheDefaults) {
    // The system directory lies under a plain file, so nothing can be written there.
    write_file(dir / "blocker", "x");
    ::setenv("VORLA_SYSTEM_DIR", (dir / "blocker/sys").c_str(), 1);
    load_configuration();
    EXPECT_EQ(config().write_failure, "Unable to write to " + dir / "blocker/sys/vorla.ini");
    EXPECT_EQ(config().save_mode, "-1");
    EXPECT_EQ(config().institution_key, "11112222|3");
    EXPECT_EQ(config().evoucher_use_type, "01101");
    // Every load tries again and reports it again.
    load_configuration(std::chrono::milliseconds(0));
    load_configuration(std::chrono::milliseconds(0));
    EXPECT_EQ(config().write_failure, "Unable to write to " + dir / "blocker/sys/vorla.ini");
}

// vorla.ini with every key, the center address being `address`.
void write_complete_ini(const std::string& path, const std::string& address) {
    release_configuration();
    load_configuration();  // writes every default
    platform::Profile(path).write(gbk("医保交易地址"), gbk("医保交易地址"), address);
}

TEST_F(Config, AnEditRightAfterALoadTakesEffectEvenWithinOneClockTick) {
    write_complete_ini(ini(), "http://a.example/x");
    for (int round = 0; round < 20; ++round) {
        load_configuration();
        ASSERT_EQ(config().center_address, round % 2 ? "http://b.example/x" : "http://a.example/x");
        // Same size, same file, written at once: the stamp may not change at all.
        std::string text = read_file(ini());
        const auto at = text.find(round % 2 ? "http://b." : "http://a.");
        text[at + 7] = round % 2 ? 'a' : 'b';
        std::ofstream(ini(), std::ios::binary | std::ios::in | std::ios::out) << text;
    }
}

TEST_F(Config, RememberedValuesGiveWayToEveryKindOfEdit) {
    struct Edit {
        const char* what;
        std::function<void(const std::string& path)> apply;
        std::string expected_address;
    };
    const std::string fresh = "http://fresh.example/y";
    const Edit edits[] = {
        {"longer value", [&](const std::string& p) { platform::Profile(p).write(gbk("医保交易地址"), gbk("医保交易地址"), fresh); }, fresh},
        {"same size, later",
         [](const std::string& p) {
             std::this_thread::sleep_for(std::chrono::milliseconds(20));
             std::string text = read_file(p);
             text[text.find("http://old.") + 7] = 'n';
             std::ofstream(p, std::ios::binary | std::ios::in | std::ios::out) << text;
         },
         "http://nld.example/y"},
        {"replaced by another file",
         [&](const std::string& p) {
             std::string text = read_file(p);
             text.replace(text.find("http://old.example/y"), 20, "http://new.example/y");
             write_file(p + ".new", text);
             std::rename((p + ".new").c_str(), p.c_str());
         },
         "http://new.example/y"},
        {"removed", [](const std::string& p) { std::remove(p.c_str()); }, ""},
    };
    for (const Edit& e : edits) {
        write_complete_ini(ini(), "http://old.example/y");
        // Remember the values at once instead of after the file settled.
        load_configuration(std::chrono::milliseconds(0));
        load_configuration(std::chrono::milliseconds(0));
        ASSERT_EQ(config().center_address, "http://old.example/y") << e.what;
        e.apply(ini());
        load_configuration(std::chrono::milliseconds(0));
        if (e.expected_address.empty())  // the default comes back, and is written again
            EXPECT_NE(config().center_address.find("/RemoteFacedeBean/RemoteFacedeBeanService?WSDL"),
                      std::string::npos)
                << e.what;
        else
            EXPECT_EQ(config().center_address, e.expected_address) << e.what;
        EXPECT_EQ(ini_value(ini(), "医保交易地址", gbk("医保交易地址")), config().center_address) << e.what;
    }
}

TEST_F(Config, RememberedValuesStillDrawANewCallTokenAndKeepTheDebugSwitch) {
    write_complete_ini(ini(), "http://a.example/x");
    platform::Profile(ini()).write(gbk("读卡调试模式"), gbk("读卡调试模式(true调试,false不调试)"), "true");
    load_configuration(std::chrono::milliseconds(0));
    std::set<std::string> seeds;
    for (int i = 0; i < 20; ++i) {
        load_configuration(std::chrono::milliseconds(0));
        EXPECT_TRUE(config().card_debug);
        EXPECT_EQ(config().bussid, make_bussid(config().seed, [] {
                      const auto t = platform::local_now();
                      return (t.year % 100) * 10000 + t.month * 100 + t.day;
                  }()));
        seeds.insert(config().seed);
        std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
    EXPECT_GT(seeds.size(), 1u);
}

TEST_F(Config, InstitutionNormalisation) {
    load_configuration();
    EXPECT_EQ(normalize_institution("H0001"), "11112222|3");
    EXPECT_EQ(normalize_institution(""), "11112222|3");
    EXPECT_EQ(normalize_institution("H0001|abc"), "H0001|abc");
    EXPECT_EQ(normalize_institution("|"), "|");
}

TEST(Profile, WritesKeepOtherLinesAndAddKeysToTheirSection) {
    testing::TempDir dir;
    const std::string path = dir / "p.ini";
    write_file(path, "[a]\r\nx=1\r\n\r\n[B]\r\ny=2\r\n");
    platform::Profile p(path);
    p.write("A", "z", "3");
    p.write("b", "Y", "two");
    p.write("c", "k", "v");
    EXPECT_EQ(read_file(path), "[a]\r\nx=1\r\nz=3\r\n\r\n[B]\r\ny=two\r\n[c]\r\nk=v\r\n");
    platform::Profile again(path);
    EXPECT_EQ(again.read("A", "X"), "1");
    EXPECT_EQ(again.read("c", "k"), "v");
    EXPECT_EQ(again.read("c", "missing"), "");
    EXPECT_EQ(again.read("missing", "k"), "");
}

TEST(Profile, LongValuesAreCutAt2047Bytes) {
    testing::TempDir dir;
    const std::string path = dir / "p.ini";
    write_file(path, "[s]\nk=" + std::string(5000, 'v') + "\n");
    EXPECT_EQ(platform::Profile(path).read("s", "k"), std::string(2047, 'v'));
}

}  // namespace
}  // namespace vorla
