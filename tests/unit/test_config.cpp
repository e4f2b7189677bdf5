#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <thread>

#include "common/text.h"
#include "entry/config.h"
#include "entry/dispatcher.h"
#include "journal/log4me.h"
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

TEST_F(Config, BlanksAroundTheValueAreNotPartOfItAndBlanksCountAsMissing) {
    write_file(ini(), gbk("; hand-written\r\n[医保交易地址]\r\n医保交易地址=http://center:7001/ws?WSDL  \r\n"
                          "[医保电子凭证]\r\n用码类型=   \r\n[其他]\r\nfoo=bar\r\n"));
    load_configuration();
    EXPECT_EQ(config().center_address, "http://center:7001/ws?WSDL")
        << "the Windows profile functions give the value without its trailing blanks";
    EXPECT_EQ(config().evoucher_use_type, "01101");
    EXPECT_EQ(ini_value(ini(), "医保电子凭证", gbk("用码类型")), "01101");
    const std::string text = read_file(ini());
    EXPECT_EQ(text.rfind("; hand-written\r\n", 0), 0u) << "other lines are kept";
    EXPECT_NE(text.find("[" + gbk("其他") + "]\r\nfoo=bar\r\n"), std::string::npos);
}

// vorla.ini as people write it: blanks around "=", tabs, and the file saved as
// UTF-8 with or without a byte order mark.
TEST_F(Config, HandWrittenFilesInGbkAndUtf8) {
    const std::string body_utf8 =
        "[医保交易地址]\r\n医保交易地址 = http://center:7001/ws?WSDL \r\n"
        "[医保交易日志]\r\n\t医保交易保存路径\t=\t/srv/医保日志\t\r\n"
        "[医保电子凭证]\r\n科室名称 =  门诊收费处\r\n";
    struct Case {
        const char* name;
        std::string bytes;
        bool utf8;
    } cases[] = {
        {"GBK", gbk(body_utf8), false},
        {"UTF-8", body_utf8, true},
        {"UTF-8 with BOM", "\xEF\xBB\xBF" + body_utf8, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        release_configuration();
        write_file(ini(), c.bytes);
        load_configuration();
        EXPECT_EQ(config().center_address, "http://center:7001/ws?WSDL");
        EXPECT_EQ(config().journal_root, gbk("/srv/医保日志"));
        EXPECT_EQ(config().evoucher_dept_name, gbk("门诊收费处"));
        EXPECT_EQ(config().evoucher_operator_name, gbk("收费员")) << "a missing key gets its default";
        // The defaults went into the file in its own encoding, once.
        const std::string text = read_file(ini());
        const std::string written = c.utf8 ? std::string("操作员姓名=收费员\r\n") : gbk("操作员姓名=收费员\r\n");
        EXPECT_NE(text.find(written), std::string::npos);
        EXPECT_EQ(text.find("[" + (c.utf8 ? std::string("医保交易地址") : gbk("医保交易地址")) + "]"),
                  text.rfind("[" + (c.utf8 ? std::string("医保交易地址") : gbk("医保交易地址")) + "]"))
            << "no second block of defaults";
        const std::string line = "医保交易地址 = http://center:7001/ws?WSDL \r\n";
        EXPECT_NE(text.find(c.utf8 ? line : gbk(line)), std::string::npos) << "the file's own lines are kept";
        EXPECT_EQ(text.rfind("\xEF\xBB\xBF", 0) == 0, c.bytes.rfind("\xEF\xBB\xBF", 0) == 0);
        const std::string again = read_file(ini());
        load_configuration();
        EXPECT_EQ(read_file(ini()), again) << "a second load writes nothing";
    }
}

// A file none of whose settings match is named once in the diagnostic log.
TEST_F(Config, AFileWithoutAnyMatchingSettingIsNamedInTheDiagnosticLog) {
    testing::TempDir host;
    ::setenv("VORLA_HOST_DIR", host.path().c_str(), 1);
    write_file(host / "log4me.ini", "[log4me]\r\npath=logs\r\nlevel=info\r\n");
    log4me::start();
    write_file(ini(), "[center]\r\naddress=http://x\r\n");
    load_configuration();
    load_configuration();  // the defaults are in the file now: no second line
    release_configuration();
    write_file(ini(), "");
    load_configuration();  // an empty file is no file of other settings
    log4me::stop();
    ::unsetenv("VORLA_HOST_DIR");
    std::string log;
    for (const auto& f : std::filesystem::directory_iterator(host / "logs")) log += read_file(f.path().string());
    const std::string line = gbk("配置文件中没有一项设置可以识别: ") + ini();
    const size_t at = log.find(line);
    EXPECT_NE(at, std::string::npos) << log;
    EXPECT_EQ(log.find(line, at + 1), std::string::npos) << log;
    EXPECT_EQ(config().center_address.rfind("http", 0), 0u);
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
        // The profile reader gives values without blanks at their ends, like the
        // Windows profile functions: " true" reads as "true".
        {" true", " true ", true, true},
        {"true ", "true", true, true},
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
