// The transaction journal: request and answer blocks of every exchange, in
// day-by-day files under the journal root; and the card-read trace.
#pragma once

#include <chrono>
#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace vorla::journal {

// One journal block's arguments.
struct Entry {
    std::string serial;
    std::string direction;    // "0" request block, anything else answer block
    std::string institution;  // hid; only the part before the first "|" is used
    std::string caller_ip;
    std::string biztype;
    std::string document;
    platform::LocalTime start;  // arrival of the request; gives the run time of answers
};

struct JournalError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Writes one block with the configured root and save mode; nothing when the save
// mode is "-1". Throws JournalError when the directory or file cannot be created,
// opened or written.
void write_block(const Entry& entry);

// Appends one line to the card-read trace while the card-read debug switch is on.
// Never fails.
void trace(std::string_view message);

// ---- the parts of a write, for callers with their own clock and for tests ----

// write_block with `now` as the moment of writing (the date of the file names
// and the time of the block) and a bounded wait of `lock_wait` for "saveLog".
void write_block_at(const Entry& entry, const platform::LocalTime& now,
                    std::chrono::milliseconds lock_wait = std::chrono::milliseconds{30000});

// The text of one block: two empty lines, title, labelled lines, the document.
std::string format_block(const Entry& entry, const platform::LocalTime& now);

// Whole seconds from start to now, taken from the time-of-day parts of their
// difference (milliseconds dropped, whole days not counted).
int run_time_seconds(const platform::LocalTime& start, const platform::LocalTime& now);

// The institution as the journal uses it: the text before the first "|".
std::string institution_of(std::string_view hid);

// One path component made from text of the HIS: "/", "\", ":", control
// characters and the characters Windows forbids in names become "_", as does
// every dot of a run of two or more (".." gives "__") and a lone "."; an empty
// text gives "_". Double-byte GBK characters are kept whole.
std::string safe_component(std::string_view text);

// Full path of the file that receives `entry` at `now` under `root` in
// `save_mode`; "" for "-1".
std::string block_path(const std::string& root, const std::string& save_mode, const Entry& entry,
                       const platform::LocalTime& now);

// trace with `now` as the moment of writing.
void trace_at(std::string_view message, const platform::LocalTime& now);

}  // namespace vorla::journal
