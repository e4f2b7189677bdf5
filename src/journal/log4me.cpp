// The diagnostic log log4me: one state per process, one daily file kept open,
// lines appended at the file's end so that several processes can share it.
#include "journal/log4me.h"

#include <chrono>
#include <mutex>
#include <random>

#include "common/text.h"
#include "journal/local_time.h"
#include "platform/fs.h"

namespace vorla::log4me {
namespace {

struct State {
    bool error_on = false;
    bool info_on = false;
    std::string directory;  // ends with the separator; "" until a configuration was read
    long long last_read = 0;  // milliseconds_of() the last configuration read
    platform::SharedAppendFile file;
    std::function<platform::LocalTime()> clock;
};

// Both are first touched by start() at library load, before the unload hook is
// registered, so they are destroyed only after the stop line has been written.
platform::ProcessMutex& lock() {
    static platform::ProcessMutex m;
    return m;
}
State& state() {
    static State s;
    return s;
}

platform::LocalTime now_of(const State& s) { return s.clock ? s.clock() : platform::local_now(); }

std::string lower_ascii(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

// Step R: both levels off, then the levels and directory of log4me.ini when it exists.
void read_configuration(State& s, const platform::LocalTime& now) {
    s.error_on = false;
    s.info_on = false;
    s.last_read = journal::milliseconds_of(now);
    const char sep = platform::path_separator();
    const std::string base = platform::log_config_directory();
    const std::string ini_path = base + sep + "log4me.ini";
    if (!platform::path_exists(ini_path)) return;

    platform::Profile ini(ini_path);
    // The profile reader gives "" for a missing key and for an empty value alike;
    // both take the default. Values are trimmed like the system's profile functions do.
    std::string path(trim(ini.read("log4me", "path")));
    if (path.empty()) path = "logs";
    std::string level = lower_ascii(trim(ini.read("log4me", "level")));
    if (level.empty()) level = "info";

    s.error_on = level == "debug" || level == "info" || level == "error";
    s.info_on = level == "debug" || level == "info";
    // An absolute path is taken as it stands; a relative one under the base directory.
    s.directory = (path.front() == sep ? path : base + sep + path) + sep;
}

std::string time_of_day(const platform::LocalTime& t) {
    return pad(t.hour, 2) + ":" + pad(t.minute, 2) + ":" + pad(t.second, 2) + "." + pad(t.millisecond, 3);
}

std::string file_name_of(const State& s, const platform::LocalTime& t) {
    return s.directory + pad(t.year, 4) + "-" + pad(t.month, 2) + "-" + pad(t.day, 2) + ".log";
}

void write_line(bool State::*level_on, std::string_view prefix, std::string_view message) {
    std::lock_guard<platform::ProcessMutex> guard(lock());
    State& s = state();
    if (!(s.*level_on)) return;
    const platform::LocalTime now = now_of(s);
    const long long elapsed = journal::milliseconds_of(now) - s.last_read;
    if (elapsed > 1000 || elapsed < 0) {
        read_configuration(s, now);
        if (!(s.*level_on)) return;  // the new configuration switched this level off
    }

    std::string line = time_of_day(now) + " ";
    line.append(prefix);
    line.append(message);
    line += "\r\n";
    const std::string name = file_name_of(s, now);

    if (name != s.file.path()) s.file.close();
    if (!s.file.is_open()) s.file.open(name, "----" + name + "----\r\n");
    s.file.append(line);
}

}  // namespace

void start() {
    {
        std::lock_guard<platform::ProcessMutex> guard(lock());
        State& s = state();
        s.file.close();
        s.directory.clear();
        read_configuration(s, now_of(s));
    }
    info("log4me:application starting....");
}

void stop() {
    auto shut = [] {
        std::lock_guard<platform::ProcessMutex> guard(lock());
        State& s = state();
        s.file.close();
        s.error_on = false;
        s.info_on = false;
    };
    try {
        info("log4me:application stoping....");
    } catch (...) {
        shut();
        throw;
    }
    shut();
}

void error(std::string_view message) { write_line(&State::error_on, "error:", message); }

void info(std::string_view message) { write_line(&State::info_on, "info :", message); }

std::string stamp_serial() {
    platform::LocalTime t;
    {
        std::lock_guard<platform::ProcessMutex> guard(lock());
        t = now_of(state());
    }
    // A fresh seed for every serial.
    std::random_device device;
    const auto ticks = static_cast<unsigned long long>(std::chrono::high_resolution_clock::now().time_since_epoch().count());
    std::seed_seq seed{device(), static_cast<unsigned>(ticks), static_cast<unsigned>(ticks >> 32)};
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> draw(0, 999998);
    return format_yyyymmdd(t) + pad(t.hour, 2) + pad(t.minute, 2) + pad(t.second, 2) + pad(draw(rng), 6);
}

void set_clock(std::function<platform::LocalTime()> clock) {
    std::lock_guard<platform::ProcessMutex> guard(lock());
    state().clock = std::move(clock);
}

}  // namespace vorla::log4me
