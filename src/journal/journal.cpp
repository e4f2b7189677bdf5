// The transaction journal and the card-read trace.
#include "journal/journal.h"

#include "common/text.h"
#include "entry/config.h"
#include "journal/local_time.h"
#include "platform/fs.h"

namespace vorla::journal {
namespace {

struct Target {
    std::string directory;
    std::string file;
};

// Directory and file of a block; nothing for save mode "-1".
bool target_of(const std::string& root, const std::string& save_mode, const Entry& entry,
               const platform::LocalTime& now, Target& target) {
    if (save_mode == "-1") return false;
    const char sep = platform::path_separator();
    const std::string date = format_yyyymmdd(now);
    const std::string institution = safe_component(institution_of(entry.institution));
    const std::string ip = safe_component(entry.caller_ip);
    const std::string biztype = safe_component(entry.biztype);

    std::string dir = root + sep + institution;
    std::string name;
    if (save_mode == "0") {
        dir += sep + ip + sep + date;
        name = biztype + "-" + safe_component(entry.serial) + ".txt";
    } else if (save_mode == "1") {
        dir += sep + ip;
        name = date + ".txt";
    } else if (save_mode == "2") {
        name = date + ".txt";
    } else {
        name = biztype + "-" + date + ".txt";
    }
    target.file = dir + sep + name;
    target.directory = std::move(dir);
    return true;
}

bool forbidden(unsigned char c) {
    if (c < 0x20 || c == 0x7F) return true;
    switch (c) {
        case '/': case '\\': case ':':
        case '<': case '>': case '"': case '|': case '?': case '*':
            return true;
        default:
            return false;
    }
}

std::string two_digits(int v) { return pad(v, 2); }

}  // namespace

std::string institution_of(std::string_view hid) {
    const std::size_t bar = gbk_find_char(hid, '|');
    return std::string(bar == std::string_view::npos ? hid : hid.substr(0, bar));
}

std::string safe_component(std::string_view text) {
    if (text.empty()) return "_";
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (gbk_char_length(text, i) == 2) {
            out += text[i];
            out += text[i + 1];  // a trail byte may be 0x5C or 0x7C: part of the character
            ++i;
            continue;
        }
        if (c == '.') {
            const bool in_run = (i > 0 && text[i - 1] == '.') || (i + 1 < text.size() && text[i + 1] == '.');
            out += (in_run || text.size() == 1) ? '_' : '.';
            continue;
        }
        out += forbidden(c) ? '_' : text[i];
    }
    return out;
}

int run_time_seconds(const platform::LocalTime& start, const platform::LocalTime& now) {
    long long diff = milliseconds_of(now) - milliseconds_of(start);
    if (diff < 0) diff = -diff;
    diff %= kMillisecondsPerDay;
    return static_cast<int>(diff / 1000);
}

std::string format_block(const Entry& entry, const platform::LocalTime& now) {
    static const std::string kRequestTitle = gbk("医疗机构交易申请");
    static const std::string kAnswerTitle = gbk("医疗机构交易返回");
    static const std::string kTime = gbk("通讯时间:      ");
    static const std::string kBiztype = gbk("交易码:        ");
    static const std::string kSerial = gbk("交易序号:      ");
    static const std::string kSent = gbk("交易发起:    ");
    static const std::string kReturned = gbk("交易返回:    ");
    static const std::string kRunTime = gbk("运行时间:      ");
    const std::string crlf = "\r\n";
    const bool request = entry.direction == "0";

    std::string block = crlf + crlf;
    block += (request ? kRequestTitle : kAnswerTitle) + crlf;
    block += kTime + two_digits(now.hour) + ":" + two_digits(now.minute) + ":" + two_digits(now.second) + crlf;
    block += kBiztype + entry.biztype + crlf;
    block += kSerial + entry.serial + crlf;
    if (request) {
        block += kSent + crlf;
    } else {
        block += kReturned + crlf;
        block += kRunTime + std::to_string(run_time_seconds(entry.start, now)) + crlf;
    }
    block += entry.document;
    return block;
}

std::string block_path(const std::string& root, const std::string& save_mode, const Entry& entry,
                       const platform::LocalTime& now) {
    Target target;
    return target_of(root, save_mode, entry, now, target) ? target.file : std::string();
}

void write_block_at(const Entry& entry, const platform::LocalTime& now, std::chrono::milliseconds lock_wait) {
    Target target;
    if (!target_of(config().journal_root, config().save_mode, entry, now, target)) return;
    try {
        platform::create_directories(target.directory);
    } catch (const platform::FsError& e) {
        throw JournalError(std::string("journal directory: ") + e.what());
    }
    const std::string block = format_block(entry, now);
    platform::JournalLock lock(lock_wait);  // a wait that runs out is no error: write anyway
    try {
        platform::append_to_file(target.file, block);
    } catch (const platform::FsError& e) {
        throw JournalError(std::string("journal file: ") + e.what());
    }
}

void write_block(const Entry& entry) {
    if (config().save_mode == "-1") return;
    write_block_at(entry, platform::local_now());
}

void trace_at(std::string_view message, const platform::LocalTime& now) {
    if (!config().card_debug) return;
    try {
        const std::string dir = platform::card_trace_directory();
        const std::string file = dir + platform::path_separator() + pad(now.year, 4) + two_digits(now.month) +
                                 "vorla.txt";
        std::string line = format_yyyymmdd(now) + " " + two_digits(now.hour) + ":" + two_digits(now.minute) +
                           ":" + two_digits(now.second) + "\t";
        line.append(message);
        line += "\r\n";
        if (!platform::is_directory(dir)) platform::create_directory(dir);
        platform::append_to_file(file, line);
    } catch (...) {
        // The trace never disturbs card reading.
    }
}

void trace(std::string_view message) {
    try {
        if (!config().card_debug) return;
        trace_at(message, platform::local_now());
    } catch (...) {
    }
}

}  // namespace vorla::journal
