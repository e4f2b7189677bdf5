// The reader dispatch and the readers of typed input.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

#include "cards/card_record.h"
#include "common/datetime.h"

namespace vorla::cards {

// Runs the reader of `readerNumber` on the record and writes the input and the
// outcome to the card-read trace:
//   5 electronic social security card code (`data`), 6 identity card,
//   7 typed identity number (`data`), 8 social security card (`pinRequired`),
//   9 e-voucher result text (`data`); 1 to 4 fail with "读卡未实现"; any other
//   number runs nothing and leaves the record failed with an empty ErrorText.
// A failed read is reported in the record. An error that escapes a reader
// (CardReadError and the like) leaves ReadCard without the record trace.
void ReadCard(int readerNumber, std::string_view data, bool pinRequired, TCardOut& record);

// J8's direct social security card read: ReadCard(8, "", pinRequired, record).
// `hid` is accepted and not used.
void ReadSocialCard(std::string_view hid, bool pinRequired, TCardOut& record);

// Readers 7 and 5: IdNumber = the text, CardType "3" or "4", IssueDate and
// BirthDate today, ResultCode 1. Nothing is checked.
void ReadTypedNumber(std::string_view text, TCardOut& record);
void ReadECardCode(std::string_view code, TCardOut& record);

struct DecodedId {
    DateValue birthDate;
    std::string sex;  // "1" or "2"
};
// Birth date from characters 7-14 (yyyymmdd) and sex from character 17 (odd
// "1", even "2"); 1997-01-01 and "1" when any part cannot be read.
DecodedId DecodeIdNumber(std::string_view idNumber);

// Writes the record's outcome into the card-read trace (nine lines).
void TraceCardRecord(const TCardOut& record);

// Today's local date as yyyymmdd.
std::string today_yyyymmdd();
// yyyymmdd of a date value.
std::string yyyymmdd_of(DateValue value);

// An error that leaves a reader: a driver text or an answer that cannot be read.
struct CardReadError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

}  // namespace vorla::cards
