// Reading the settlement record of the invoice service: a JSON object whose
// members are read as text (GBK) or as numbers.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

#include "common/json.h"

namespace vorla::invoice {

// A record that lacks what the filling cannot do without (a list, an object).
class RecordError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The compact JSON text of a value (UTF-8): members in document order, no
// blanks; in strings only the double quote, the backslash and control
// characters are escaped.
std::string json_text(const json::Value& v);

// A value read as text (GBK): a string's text; a number in general form (an
// integer as written, other numbers with at most 15 significant digits and no
// trailing zeros: 1234.50 gives "1234.5"); true/false; "" for null and for a
// missing value (nullptr); objects and arrays as their JSON text.
std::string value_text(const json::Value* v);

// A value read as a number: a number's value, a string holding a number, 0 for
// everything else (missing, null, text that is no number, infinities).
double value_number(const json::Value* v);

class SettlementRecord {
public:
    // Throws RecordError when `object` is not a JSON object.
    explicit SettlementRecord(const json::Value& object);

    std::string text(std::string_view key) const { return value_text(object_.member(key)); }
    double number(std::string_view key) const { return value_number(object_.member(key)); }
    // The array member `key`; throws RecordError when it is missing or no array.
    const json::Value& list(std::string_view key) const;

private:
    const json::Value& object_;
};

}  // namespace vorla::invoice
