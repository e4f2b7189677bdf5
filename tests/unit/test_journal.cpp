// The transaction journal and the card-read trace.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "common/text.h"
#include "entry/config.h"
#include "journal/journal.h"
#include "platform/fs.h"

namespace fs = std::filesystem;
using vorla::gbk;
using vorla::config;
using vorla::platform::LocalTime;
namespace journal = vorla::journal;

namespace {

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

fs::path unique_temp_dir(const std::string& prefix) {
    const char* env = std::getenv("VORLA_TEST_TMP");
    fs::path base = (env && *env) ? fs::path(env) : fs::temp_directory_path();
    std::random_device rd;
    fs::path dir = base / (prefix + std::to_string(::getpid()) + "-" + std::to_string(rd()));
    fs::create_directories(dir);
    return dir;
}

// Every regular file below dir, as paths relative to dir, sorted.
std::vector<std::string> files_below(const fs::path& dir) {
    std::vector<std::string> out;
    if (!fs::exists(dir)) return out;
    for (const auto& e : fs::recursive_directory_iterator(dir))
        if (e.is_regular_file()) out.push_back(fs::relative(e.path(), dir).string());
    std::sort(out.begin(), out.end());
    return out;
}

constexpr LocalTime at(int y, int mo, int d, int h, int mi, int s, int ms) {
    return LocalTime{y, mo, d, h, mi, s, ms};
}

const LocalTime kArrival = at(2024, 1, 31, 9, 30, 15, 120);

journal::Entry request_entry(std::string document = "<DATA>req</DATA>") {
    return journal::Entry{"093015120", "0", "H0001|7", "10.1.2.3", "J2", std::move(document), kArrival};
}

journal::Entry answer_entry(std::string document = "<DATA>ans</DATA>") {
    auto e = request_entry(std::move(document));
    e.direction = "1";
    return e;
}

class JournalTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = config();
        const char* old = std::getenv("VORLA_SYSTEM_DIR");
        if (old) saved_system_dir_ = old;
        had_system_dir_ = old != nullptr;
        tmp_ = unique_temp_dir("journal-");
        system_dir_ = tmp_ / "system";
        root_ = tmp_ / "root";
        ::setenv("VORLA_SYSTEM_DIR", system_dir_.c_str(), 1);
        config().journal_root = root_.string();
        config().save_mode = "0";
        config().card_debug = false;
    }
    void TearDown() override {
        config() = saved_;
        if (had_system_dir_)
            ::setenv("VORLA_SYSTEM_DIR", saved_system_dir_.c_str(), 1);
        else
            ::unsetenv("VORLA_SYSTEM_DIR");
        std::error_code ec;
        fs::remove_all(tmp_, ec);
    }

    vorla::Configuration saved_;
    std::string saved_system_dir_;
    bool had_system_dir_ = false;
    fs::path tmp_, system_dir_, root_;
};

// ---- block layout -----------------------------------------------------------

TEST_F(JournalTest, RequestAndAnswerBlocksAreWrittenByteForByte) {
    const std::string request_doc = gbk(u8"<?xml version=\"1.0\" encoding=\"GBK\"?><DATA><RYXM>张三</RYXM></DATA>");
    const std::string answer_doc = gbk(u8"<?xml version=\"1.0\" encoding=\"GBK\"?><DATA><ErrCode>0</ErrCode></DATA>");
    journal::write_block_at(request_entry(request_doc), kArrival);
    journal::write_block_at(answer_entry(answer_doc), at(2024, 1, 31, 9, 30, 17, 820));  // 2.7 s later

    const std::string expected =
        gbk(u8"\r\n\r\n医疗机构交易申请\r\n"
            u8"通讯时间:      09:30:15\r\n"
            u8"交易码:        J2\r\n"
            u8"交易序号:      093015120\r\n"
            u8"交易发起:    \r\n") +
        request_doc +
        gbk(u8"\r\n\r\n医疗机构交易返回\r\n"
            u8"通讯时间:      09:30:17\r\n"
            u8"交易码:        J2\r\n"
            u8"交易序号:      093015120\r\n"
            u8"交易返回:    \r\n"
            u8"运行时间:      2\r\n") +
        answer_doc;
    EXPECT_EQ(slurp(root_ / "H0001" / "10.1.2.3" / "20240131" / "J2-093015120.txt"), expected);
    EXPECT_EQ(files_below(root_).size(), 1u);
}

TEST_F(JournalTest, DocumentEndingInLineEndLeavesTwoBlankLinesBeforeNextBlock) {
    config().save_mode = "2";
    journal::write_block_at(request_entry("<A/>\r\n"), kArrival);
    journal::write_block_at(answer_entry("<B/>"), kArrival);
    const std::string text = slurp(root_ / "H0001" / "20240131.txt");
    EXPECT_NE(text.find("<A/>\r\n\r\n\r\n" + gbk(u8"医疗机构交易返回") + "\r\n"), std::string::npos) << text;
}

TEST(JournalRunTime, WholeSecondsOfTheTimeOfDayDifference) {
    struct Case {
        LocalTime start, now;
        int seconds;
    };
    const Case cases[] = {
        {at(2024, 1, 31, 9, 30, 15, 120), at(2024, 1, 31, 9, 30, 17, 820), 2},      // 2.7 s
        {at(2024, 1, 31, 9, 30, 15, 0), at(2024, 1, 31, 9, 30, 15, 999), 0},        // under a second
        {at(2024, 1, 31, 9, 0, 0, 0), at(2024, 1, 31, 10, 1, 1, 500), 3661},        // hours and minutes
        {at(2024, 1, 31, 23, 59, 59, 500), at(2024, 2, 1, 0, 0, 1, 200), 1},        // over midnight, month end
        {at(2023, 12, 31, 23, 59, 58, 0), at(2024, 1, 1, 0, 0, 3, 0), 5},           // over new year
        {at(2024, 2, 28, 23, 59, 59, 0), at(2024, 2, 29, 0, 0, 1, 0), 2},           // leap day
        {at(2024, 1, 30, 9, 30, 15, 0), at(2024, 1, 31, 9, 30, 20, 0), 5},          // whole day not counted
        {at(2024, 1, 31, 9, 30, 18, 400), at(2024, 1, 31, 9, 30, 15, 0), 3},        // clock set back 3.4 s
    };
    for (const Case& c : cases)
        EXPECT_EQ(journal::run_time_seconds(c.start, c.now), c.seconds)
            << c.start.hour << ":" << c.start.minute << ":" << c.start.second << " -> " << c.now.hour << ":"
            << c.now.minute << ":" << c.now.second;
}

// ---- where blocks go ------------------------------------------------------------

TEST_F(JournalTest, EachSaveModeHasItsPath) {
    struct Case {
        std::string mode;
        std::string path;  // relative to the root
    };
    const Case cases[] = {
        {"0", "H0001/10.1.2.3/20240131/J2-093015120.txt"},
        {"1", "H0001/10.1.2.3/20240131.txt"},
        {"2", "H0001/20240131.txt"},
        {"5", "H0001/J2-20240131.txt"},
        {"", "H0001/J2-20240131.txt"},
        {" 0", "H0001/J2-20240131.txt"},  // compared exactly
        {"-1 ", "H0001/J2-20240131.txt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("save mode \"" + c.mode + "\"");
        fs::remove_all(root_);
        config().save_mode = c.mode;
        journal::write_block_at(request_entry(), kArrival);
        EXPECT_EQ(files_below(root_), std::vector<std::string>{c.path});
        EXPECT_EQ(journal::block_path(root_.string(), c.mode, request_entry(), kArrival), (root_ / c.path).string());
    }
}

// The root from vorla.ini and the hid are GBK; on Linux the folders are made
// with the file system's UTF-8 names, inside the folder IT made.
TEST_F(JournalTest, ChineseRootAndHidGoThroughTheFileSystemInItsEncoding) {
    const fs::path made_by_it = tmp_ / fs::u8path("医保日志");
    fs::create_directories(made_by_it);
    config().journal_root = gbk(tmp_.string()) + "/" + gbk("医保日志");
    config().save_mode = "2";
    journal::Entry e = request_entry();
    e.institution = gbk("王珅诊所|7");  // 珅 is AB 7C: its second byte is "|"
    journal::write_block_at(e, kArrival);
    EXPECT_EQ(files_below(made_by_it), std::vector<std::string>{"王珅诊所/20240131.txt"});
    for (const auto& entry : fs::directory_iterator(tmp_))
        EXPECT_TRUE(entry.path() == made_by_it || entry.path() == system_dir_)
            << entry.path() << ": no second folder beside the one IT made";
}

TEST_F(JournalTest, SaveModeMinusOneCreatesNothing) {
    config().save_mode = "-1";
    journal::write_block_at(request_entry(), kArrival);
    journal::write_block(answer_entry());
    EXPECT_FALSE(fs::exists(root_));
    EXPECT_EQ(journal::block_path(root_.string(), "-1", request_entry(), kArrival), "");
}

TEST_F(JournalTest, WriteBlockUsesTheCurrentDate) {
    config().save_mode = "2";
    const LocalTime before = vorla::platform::local_now();
    journal::write_block(request_entry());
    const LocalTime after = vorla::platform::local_now();
    const auto files = files_below(root_);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_TRUE(files[0] == "H0001/" + vorla::format_yyyymmdd(before) + ".txt" ||
                files[0] == "H0001/" + vorla::format_yyyymmdd(after) + ".txt")
        << files[0];
}

TEST_F(JournalTest, InstitutionIsCutAtTheFirstBar) {
    config().save_mode = "1";
    auto a = request_entry();
    a.institution = "H0001";
    auto b = request_entry();
    b.institution = "H0001|abc|d";
    journal::write_block_at(a, kArrival);
    journal::write_block_at(b, kArrival);
    EXPECT_EQ(files_below(root_), std::vector<std::string>{"H0001/10.1.2.3/20240131.txt"});
    EXPECT_EQ(slurp(root_ / "H0001/10.1.2.3/20240131.txt"),
              journal::format_block(a, kArrival) + journal::format_block(b, kArrival));
}

TEST_F(JournalTest, ModeTwoGathersEveryCallerOfTheDayInOneFile) {
    config().save_mode = "2";
    auto a = request_entry();
    auto b = answer_entry();
    b.caller_ip = "10.9.9.9";
    b.biztype = "D1";
    journal::write_block_at(a, kArrival);
    journal::write_block_at(b, kArrival);
    EXPECT_EQ(files_below(root_), std::vector<std::string>{"H0001/20240131.txt"});
    EXPECT_EQ(slurp(root_ / "H0001/20240131.txt"),
              journal::format_block(a, kArrival) + journal::format_block(b, kArrival));
}

TEST_F(JournalTest, ModeZeroGivesEverySerialItsOwnFile) {
    auto first = request_entry();
    auto second = request_entry();
    second.serial = "093016005";
    journal::write_block_at(first, kArrival);
    journal::write_block_at(second, kArrival);
    EXPECT_EQ(files_below(root_), (std::vector<std::string>{"H0001/10.1.2.3/20240131/J2-093015120.txt",
                                                             "H0001/10.1.2.3/20240131/J2-093016005.txt"}));
}

TEST_F(JournalTest, ExistingFileIsAppendedTo) {
    config().save_mode = "2";
    fs::create_directories(root_ / "H0001");
    { std::ofstream(root_ / "H0001/20240131.txt", std::ios::binary) << "earlier"; }
    journal::write_block_at(request_entry(), kArrival);
    EXPECT_EQ(slurp(root_ / "H0001/20240131.txt"), "earlier" + journal::format_block(request_entry(), kArrival));
}

TEST_F(JournalTest, AnswerAfterMidnightGoesIntoTheNewDaysFile) {
    config().save_mode = "2";
    auto request = request_entry();
    request.start = at(2024, 1, 31, 23, 59, 59, 500);
    auto answer = request;
    answer.direction = "1";
    journal::write_block_at(request, request.start);
    journal::write_block_at(answer, at(2024, 2, 1, 0, 0, 1, 200));
    EXPECT_EQ(files_below(root_), (std::vector<std::string>{"H0001/20240131.txt", "H0001/20240201.txt"}));
    EXPECT_NE(slurp(root_ / "H0001/20240201.txt").find(gbk(u8"运行时间:      1\r\n")), std::string::npos);
}

// ---- text of the HIS in paths ------------------------------------------------------

TEST_F(JournalTest, HostileNamesStayUnderTheRoot) {
    struct Case {
        std::string text;
        std::string component;
    };
    const Case cases[] = {
        {"../x", "___x"},
        {"..", "__"},
        {".", "_"},
        {"...", "___"},
        {"a/b", "a_b"},
        {"/etc", "_etc"},
        {"a\\b", "a_b"},
        {"..\\..\\win", "______win"},
        {"C:", "C_"},
        {"C:\\x", "C__x"},
        {"a\tb\r\n", "a_b__"},
        {std::string("a\0b", 3), "a_b"},
        {"a\x7f", "a_"},
        {"", "_"},
        {"<>\"?*", "_____"},
        {"10.1.2.3", "10.1.2.3"},
        {"v1.2", "v1.2"},
        {"\x81\x5c\xb2\xe2", "\x81\x5c\xb2\xe2"},  // GBK characters whose trail byte is a backslash stay whole
        {"\xb2/", "\xb2_"},                          // a lone lead byte before "/" is no character
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("text \"" + c.text + "\"");
        EXPECT_EQ(journal::safe_component(c.text), c.component);

        fs::remove_all(tmp_);
        fs::create_directories(tmp_);
        journal::Entry e{c.text, "0", c.text, c.text, c.text, "<DATA/>", kArrival};
        journal::write_block_at(e, kArrival);
        // On disk the GBK names have the file system's encoding.
        const std::string disk = vorla::platform::native_path(c.component);
        const std::string expected = "root/" + disk + "/" + disk + "/20240131/" + disk + "-" + disk + ".txt";
        // The only file anywhere in the test's directory is the block's, below the root
        // (the lock file of the system directory aside).
        auto files = files_below(tmp_);
        std::erase(files, "system/saveLog.lock");
        EXPECT_EQ(files, std::vector<std::string>{expected});
    }
}

// ---- failures ----------------------------------------------------------------------

TEST_F(JournalTest, RootThatIsAFileGivesJournalErrorNamingThePath) {
    { std::ofstream(root_, std::ios::binary) << "not a directory"; }
    try {
        journal::write_block_at(request_entry(), kArrival);
        FAIL() << "no JournalError";
    } catch (const journal::JournalError& e) {
        EXPECT_NE(std::string(e.what()).find(root_.string()), std::string::npos) << e.what();
    }
    EXPECT_EQ(slurp(root_), "not a directory");
}

TEST_F(JournalTest, FileThatCannotBeOpenedGivesJournalErrorAndReleasesTheLock) {
    config().save_mode = "2";
    fs::create_directories(root_ / "H0001" / "20240131.txt");  // a directory where the file belongs
    try {
        journal::write_block_at(request_entry(), kArrival);
        FAIL() << "no JournalError";
    } catch (const journal::JournalError& e) {
        EXPECT_NE(std::string(e.what()).find((root_ / "H0001" / "20240131.txt").string()), std::string::npos)
            << e.what();
    }
    vorla::platform::JournalLock next(std::chrono::milliseconds{0});
    EXPECT_TRUE(next.held());
}

TEST_F(JournalTest, LockIsReleasedAfterASuccessfulWrite) {
    journal::write_block_at(request_entry(), kArrival);
    vorla::platform::JournalLock next(std::chrono::milliseconds{0});
    EXPECT_TRUE(next.held());
}

// ---- the lock "saveLog" across processes -----------------------------------------------

TEST_F(JournalTest, HeldLockMakesOthersWaitOnlyBoundedlyAndDiesWithItsHolder) {
    int ready[2], hold[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(hold), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        vorla::platform::JournalLock lock;
        char c = lock.held() ? 'y' : 'n';
        (void)!::write(ready[1], &c, 1);
        (void)!::read(hold[0], &c, 1);  // until killed
        ::_exit(0);
    }
    char c = 0;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    ASSERT_EQ(c, 'y');

    {
        vorla::platform::JournalLock busy(std::chrono::milliseconds{50});
        EXPECT_FALSE(busy.held());
    }
    // A writer whose wait runs out writes anyway.
    config().save_mode = "2";
    journal::write_block_at(request_entry(), kArrival, std::chrono::milliseconds{50});
    EXPECT_EQ(slurp(root_ / "H0001/20240131.txt"), journal::format_block(request_entry(), kArrival));

    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    vorla::platform::JournalLock after(std::chrono::milliseconds{5000});
    EXPECT_TRUE(after.held());
    for (int fd : {ready[0], ready[1], hold[0], hold[1]}) ::close(fd);
}

TEST_F(JournalTest, TwoProcessesWritingAtOnceDoNotInterleaveBlocks) {
    config().save_mode = "2";
    constexpr int kBlocks = 200;
    auto entry_of = [](int process, int i) {
        journal::Entry e = request_entry();
        e.direction = i % 2 ? "1" : "0";
        e.serial = "P" + std::to_string(process) + "-" + std::to_string(i);
        e.document = "<DATA>" + std::string(3000 + i, static_cast<char>('a' + process)) + "</DATA>";
        return e;
    };
    std::vector<pid_t> children;
    for (int p = 0; p < 2; ++p) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            int rc = 0;
            try {
                for (int i = 0; i < kBlocks; ++i) journal::write_block_at(entry_of(p, i), kArrival);
            } catch (...) {
                rc = 1;
            }
            ::_exit(rc);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }

    std::map<std::string, std::string> expected;  // serial -> block
    for (int p = 0; p < 2; ++p)
        for (int i = 0; i < kBlocks; ++i) {
            const auto e = entry_of(p, i);
            expected[e.serial] = journal::format_block(e, kArrival);
        }
    const std::string text = slurp(root_ / "H0001/20240131.txt");
    const std::string label = gbk(u8"交易序号:      ");
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t at_label = text.find(label, pos);
        ASSERT_NE(at_label, std::string::npos) << "no serial after offset " << pos;
        const size_t start = at_label + label.size();
        const std::string serial = text.substr(start, text.find("\r\n", start) - start);
        auto it = expected.find(serial);
        ASSERT_NE(it, expected.end()) << "unexpected or repeated block " << serial << " at offset " << pos;
        ASSERT_EQ(text.compare(pos, it->second.size(), it->second), 0) << "block " << serial << " is broken";
        pos += it->second.size();
        expected.erase(it);
    }
    EXPECT_TRUE(expected.empty()) << expected.size() << " blocks missing";
}

// ---- card-read trace -------------------------------------------------------------------

TEST_F(JournalTest, CardTraceOffCreatesNothing) {
    config().card_debug = false;
    journal::trace(gbk(u8"开始读卡"));
    journal::trace_at(gbk(u8"开始读卡"), kArrival);
    EXPECT_FALSE(fs::exists(system_dir_ / "ReadCard"));
}

TEST_F(JournalTest, CardTraceOnAppendsOneLinePerCall) {
    config().card_debug = true;
    journal::trace_at(gbk(u8"开始读卡"), at(2024, 1, 31, 9, 30, 15, 120));
    journal::trace_at(gbk(u8"结束读卡"), at(2024, 1, 31, 14, 5, 9, 0));
    EXPECT_EQ(slurp(system_dir_ / "ReadCard" / "202401vorla.txt"),
              gbk(u8"20240131 09:30:15\t开始读卡\r\n20240131 14:05:09\t结束读卡\r\n"));
    EXPECT_EQ(vorla::platform::card_trace_directory(), (system_dir_ / "ReadCard").string());
}

TEST_F(JournalTest, CardTraceWithTheCurrentClockWritesTheMonthsFile) {
    config().card_debug = true;
    const LocalTime before = vorla::platform::local_now();
    journal::trace("step");
    const LocalTime after = vorla::platform::local_now();
    const auto files = files_below(system_dir_ / "ReadCard");
    ASSERT_EQ(files.size(), 1u);
    auto month_file = [](const LocalTime& t) { return vorla::pad(t.year, 4) + vorla::pad(t.month, 2) + "vorla.txt"; };
    EXPECT_TRUE(files[0] == month_file(before) || files[0] == month_file(after)) << files[0];
    const std::string text = slurp(system_dir_ / "ReadCard" / files[0]);
    EXPECT_EQ(text.size(), std::string("20240131 09:30:15\tstep\r\n").size()) << text;
    EXPECT_EQ(text.substr(text.size() - 7), "\tstep\r\n");
}

TEST_F(JournalTest, CardTraceThatCannotWriteDoesNotFail) {
    config().card_debug = true;
    fs::create_directories(system_dir_);
    { std::ofstream(system_dir_ / "ReadCard") << "a file, not a directory"; }
    EXPECT_NO_THROW(journal::trace_at("step", kArrival));
    EXPECT_NO_THROW(journal::trace("step"));
    EXPECT_EQ(slurp(system_dir_ / "ReadCard"), "a file, not a directory");
}

// ---- who may read what the journal keeps ------------------------------------------------

// Journal and trace files and their directories, and the journal lock, are made
// without access for other accounts; the umask takes away more, never less.
TEST_F(JournalTest, FilesAndDirectoriesAreMadeWithoutAccessForOthers) {
    struct Case {
        mode_t umask;
        fs::perms file, directory, lock;
    };
    using P = fs::perms;
    const Case cases[] = {
        {022, P::owner_read | P::owner_write | P::group_read,
         P::owner_all | P::group_read | P::group_exec,
         P::owner_read | P::owner_write | P::group_read},
        {002, P::owner_read | P::owner_write | P::group_read,
         P::owner_all | P::group_read | P::group_exec,
         P::owner_read | P::owner_write | P::group_read | P::group_write},
        {077, P::owner_read | P::owner_write, P::owner_all, P::owner_read | P::owner_write},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "umask " << std::oct << c.umask);
        std::error_code ec;
        fs::remove_all(root_, ec);
        fs::remove_all(system_dir_, ec);
        fs::create_directories(system_dir_);
        const mode_t saved_umask = ::umask(c.umask);
        config().card_debug = true;
        journal::write_block_at(request_entry(), kArrival);
        journal::trace_at("step", kArrival);
        ::umask(saved_umask);

        auto perms = [](const fs::path& p) { return fs::status(p).permissions(); };
        EXPECT_EQ(perms(root_), c.directory);
        EXPECT_EQ(perms(root_ / "H0001"), c.directory);
        EXPECT_EQ(perms(root_ / "H0001" / "10.1.2.3" / "20240131"), c.directory);
        EXPECT_EQ(perms(root_ / "H0001" / "10.1.2.3" / "20240131" / "J2-093015120.txt"), c.file);
        EXPECT_EQ(perms(system_dir_ / "ReadCard"), c.directory);
        EXPECT_EQ(perms(system_dir_ / "ReadCard" / "202401vorla.txt"), c.file);
        EXPECT_EQ(perms(system_dir_ / "saveLog.lock"), c.lock);
    }
}

// The diagnostic log's files are made the same way.
TEST_F(JournalTest, SharedAppendFileIsMadeWithoutAccessForOthers) {
    const mode_t saved_umask = ::umask(022);
    {
        vorla::platform::SharedAppendFile file;
        file.open((tmp_ / "logs" / "vorla.log").string(), "first\r\n");
        file.append("line\r\n");
    }
    ::umask(saved_umask);
    using P = fs::perms;
    EXPECT_EQ(fs::status(tmp_ / "logs").permissions(), P::owner_all | P::group_read | P::group_exec);
    EXPECT_EQ(fs::status(tmp_ / "logs" / "vorla.log").permissions(), P::owner_read | P::owner_write | P::group_read);
    EXPECT_EQ(slurp(tmp_ / "logs" / "vorla.log"), "first\r\nline\r\n");
}

}  // namespace
