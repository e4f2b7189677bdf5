// The diagnostic log log4me.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include "common/text.h"
#include "journal/log4me.h"

namespace fs = std::filesystem;
using vorla::gbk;
using vorla::platform::LocalTime;
namespace log4me = vorla::log4me;

namespace {

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> out;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find("\r\n", pos);
        if (end == std::string::npos) {
            out.push_back(text.substr(pos) + "<no line end>");
            break;
        }
        out.push_back(text.substr(pos, end - pos));
        pos = end + 2;
    }
    return out;
}

LocalTime g_now;  // the log's clock in these tests

class Log4meTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* env = std::getenv("VORLA_TEST_TMP");
        fs::path base = (env && *env) ? fs::path(env) : fs::temp_directory_path();
        std::random_device rd;
        host_ = base / ("log4me-" + std::to_string(::getpid()) + "-" + std::to_string(rd()));
        fs::create_directories(host_);
        ::setenv("VORLA_HOST_DIR", host_.c_str(), 1);
        g_now = LocalTime{2024, 1, 31, 9, 30, 15, 42};
        log4me::set_clock([] { return g_now; });
    }
    void TearDown() override {
        try {
            log4me::stop();
        } catch (...) {
        }
        log4me::set_clock({});
        ::unsetenv("VORLA_HOST_DIR");
        std::error_code ec;
        fs::remove_all(host_, ec);
    }

    void write_ini(const std::string& body) {
        std::ofstream(host_ / "log4me.ini", std::ios::binary) << body;
    }
    void write_ini(const std::string& level, const std::string& path) {
        write_ini("[log4me]\r\npath=" + path + "\r\nlevel=" + level + "\r\n");
    }
    fs::path day_file(const std::string& date = "2024-01-31", const std::string& dir = "logs") const {
        return host_ / dir / (date + ".log");
    }
    std::string header(const fs::path& file) const { return "----" + file.string() + "----"; }
    static void advance(int ms) {
        int total = g_now.second * 1000 + g_now.millisecond + ms;  // stays within the minute in these tests
        g_now.second = total / 1000;
        g_now.millisecond = total % 1000;
    }

    fs::path host_;
};

TEST_F(Log4meTest, InfoLevelWritesHeaderAndEveryLineByteForByte) {
    write_ini("info", "logs");
    log4me::start();
    advance(458);
    log4me::info("hello");
    log4me::error(gbk(u8"医保监控请求失败:超时"));
    log4me::stop();

    const fs::path file = day_file();
    EXPECT_EQ(slurp(file), header(file) + "\r\n" +
                               "09:30:15.042 info :log4me:application starting....\r\n"
                               "09:30:15.500 info :hello\r\n" +
                               gbk(u8"09:30:15.500 error:医保监控请求失败:超时\r\n") +
                               "09:30:15.500 info :log4me:application stoping....\r\n");
}

// A host directory with a Chinese name: the header names it in GBK, like every
// other line of the file.
TEST_F(Log4meTest, HeaderNamesAChineseHostDirectoryInGbk) {
    const fs::path chinese = host_ / fs::u8path("收费系统");
    fs::create_directories(chinese);
    ::setenv("VORLA_HOST_DIR", chinese.c_str(), 1);
    std::ofstream(chinese / "log4me.ini", std::ios::binary) << "[log4me]\r\npath=logs\r\nlevel=info\r\n";
    log4me::start();
    log4me::stop();
    const fs::path file = chinese / "logs" / "2024-01-31.log";
    const std::string text = slurp(file);
    EXPECT_EQ(text.substr(0, text.find("\r\n")), "----" + gbk(file.string()) + "----");
}

TEST_F(Log4meTest, NoConfigurationFileCreatesNothing) {
    log4me::start();
    log4me::info("x");
    log4me::error("y");
    log4me::stop();
    EXPECT_TRUE(fs::is_empty(host_));
}

TEST_F(Log4meTest, UnknownLevelSwitchesBothOff) {
    write_ini("verbose", "logs");
    log4me::start();
    log4me::error("y");
    log4me::stop();
    EXPECT_EQ(std::vector<fs::path>(fs::directory_iterator(host_), {}), std::vector<fs::path>{host_ / "log4me.ini"});
}

TEST_F(Log4meTest, LevelErrorInAnyCaseWritesOnlyErrorLines) {
    write_ini("ERROR", "logs");
    log4me::start();
    log4me::info("not this");
    log4me::error("this");
    log4me::stop();
    const fs::path file = day_file();
    EXPECT_EQ(lines_of(slurp(file)), (std::vector<std::string>{header(file), "09:30:15.042 error:this"}));
}

TEST_F(Log4meTest, LevelDebugWritesWhatLevelInfoWrites) {
    auto run = [&](const std::string& level) {
        fs::remove_all(host_ / "logs");
        write_ini(level, "logs");
        log4me::start();
        log4me::info("i");
        log4me::error("e");
        log4me::stop();
        return slurp(day_file());
    };
    const std::string with_info = run("info");
    EXPECT_EQ(lines_of(with_info).size(), 5u) << with_info;
    EXPECT_EQ(run("Debug"), with_info);
}

TEST_F(Log4meTest, MissingKeysTakeTheirDefaults) {
    write_ini("[log4me]\r\n");
    log4me::start();
    log4me::stop();
    EXPECT_EQ(lines_of(slurp(day_file())).size(), 3u);  // header, start, stop
}

TEST_F(Log4meTest, NewDayStartsANewFileWithItsOwnHeader) {
    write_ini("info", "logs");
    g_now = LocalTime{2024, 1, 31, 23, 59, 59, 900};
    log4me::start();
    g_now = LocalTime{2024, 2, 1, 0, 0, 0, 100};
    log4me::info("after midnight");

    const fs::path first = day_file("2024-01-31"), second = day_file("2024-02-01");
    EXPECT_EQ(lines_of(slurp(first)),
              (std::vector<std::string>{header(first), "23:59:59.900 info :log4me:application starting...."}));
    EXPECT_EQ(lines_of(slurp(second)),
              (std::vector<std::string>{header(second), "00:00:00.100 info :after midnight"}));
}

TEST_F(Log4meTest, ChangedPathTakesEffectOnlyAfterOneSecond) {
    write_ini("info", "logs");
    log4me::start();
    write_ini("info", "other");
    advance(1000);  // exactly one second: not more
    log4me::info("still old");
    advance(1);
    log4me::info("new place");

    EXPECT_EQ(lines_of(slurp(day_file())).back(), "09:30:16.042 info :still old");
    const fs::path moved = day_file("2024-01-31", "other");
    EXPECT_EQ(lines_of(slurp(moved)), (std::vector<std::string>{header(moved), "09:30:16.043 info :new place"}));
}

TEST_F(Log4meTest, TheDaysFileStaysOpenBetweenLines) {
    write_ini("info", "logs");
    log4me::start();
    fs::rename(day_file(), host_ / "logs" / "moved.log");
    log4me::info("next");
    EXPECT_FALSE(fs::exists(day_file()));
    EXPECT_EQ(lines_of(slurp(host_ / "logs" / "moved.log")).back(), "09:30:15.042 info :next");
}

TEST_F(Log4meTest, ConfigurationMissingAtStartKeepsTheLogOffUntilTheNextStart) {
    log4me::start();
    write_ini("info", "logs");
    advance(5000);
    log4me::info("x");
    log4me::error("y");
    EXPECT_FALSE(fs::exists(host_ / "logs"));

    log4me::start();
    EXPECT_TRUE(fs::exists(day_file()));
}

TEST_F(Log4meTest, ConfigurationRemovedLaterSwitchesTheLogOff) {
    write_ini("info", "logs");
    log4me::start();
    fs::remove(host_ / "log4me.ini");
    advance(2000);
    log4me::info("after removal");
    write_ini("info", "logs");
    advance(2000);
    log4me::error("after restore");
    const fs::path file = day_file();
    EXPECT_EQ(lines_of(slurp(file)),
              (std::vector<std::string>{header(file), "09:30:15.042 info :log4me:application starting...."}));
}

TEST_F(Log4meTest, AbsolutePathIsTakenAsItStands) {
    const fs::path elsewhere = host_ / "elsewhere";
    write_ini("info", elsewhere.string());
    log4me::start();
    EXPECT_TRUE(fs::exists(elsewhere / "2024-01-31.log"));
}

TEST_F(Log4meTest, FailureIsRaisedAndTheLockLeft) {
    std::ofstream(host_ / "blocker") << "a file";
    write_ini("info", "blocker/logs");
    EXPECT_THROW(log4me::start(), std::runtime_error);
    EXPECT_THROW(log4me::error("again"), std::runtime_error);  // would hang if the lock were kept
    write_ini("info", "logs");
    advance(1500);
    log4me::error("recovered");
    EXPECT_EQ(lines_of(slurp(day_file())).back(), "09:30:16.542 error:recovered");
}

TEST_F(Log4meTest, SeveralProcessesAppendToOneFileWithoutOverwriting) {
    write_ini("info", "logs");
    constexpr int kProcesses = 6;
    constexpr int kLines = 150;
    const std::string filler(200, 'z');
    int gate[2];  // the children start together when the parent closes it
    ASSERT_EQ(::pipe(gate), 0);
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            ::close(gate[1]);
            char c;
            (void)!::read(gate[0], &c, 1);
            int rc = 0;
            try {
                log4me::start();
                for (int i = 0; i < kLines; ++i) log4me::info("p" + std::to_string(p) + "-" + std::to_string(i) + filler);
                log4me::stop();
            } catch (...) {
                rc = 1;
            }
            ::_exit(rc);
        }
        children.push_back(pid);
    }
    ::close(gate[0]);
    ::close(gate[1]);
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }

    // One header, first; every line of every process whole, none lost.
    const fs::path file = day_file();
    const auto lines = lines_of(slurp(file));
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], header(file));
    std::multiset<std::string> got(lines.begin() + 1, lines.end());
    std::multiset<std::string> expected;
    for (int p = 0; p < kProcesses; ++p) {
        expected.insert("09:30:15.042 info :log4me:application starting....");
        expected.insert("09:30:15.042 info :log4me:application stoping....");
        for (int i = 0; i < kLines; ++i)
            expected.insert("09:30:15.042 info :p" + std::to_string(p) + "-" + std::to_string(i) + filler);
    }
    EXPECT_TRUE(got == expected) << got.size() << " lines, expected " << expected.size();
    EXPECT_EQ(std::vector<fs::path>(fs::directory_iterator(host_ / "logs"), {}), std::vector<fs::path>{file});
}

TEST_F(Log4meTest, StampSerialIsDateTimeAndSixDigits) {
    const std::string serial = log4me::stamp_serial();
    ASSERT_EQ(serial.size(), 20u);
    EXPECT_EQ(serial.substr(0, 14), "20240131093015");
    EXPECT_TRUE(std::all_of(serial.begin() + 14, serial.end(), [](char c) { return c >= '0' && c <= '9'; }))
        << serial;
}

}  // namespace
