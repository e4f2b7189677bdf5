// Amount texts of the invoices.
#pragma once

#include <string>
#include <string_view>

namespace vorla::invoice {

// "0.00" format: two decimals, no thousands separator, "." as decimal point,
// rounded half away from zero. The rounding is decided on the number's decimal
// form of 15 significant digits, so 1.005 gives "1.01" although the binary
// double lies a little below it. A value that rounds to zero gives "0.00"
// (never "-0.00"); NaN and infinities give "".
std::string fixed2(double v);

// A fee total: "0" when exactly zero, otherwise fixed2.
std::string total_text(double v);

// The general form of a number: at most 15 significant digits, no trailing
// zeros, "." as decimal point, no exponent for ordinary amounts (1234.50 gives
// "1234.5", 100.00 gives "100").
std::string general_text(double v);

// The number a text holds: the whole text (blanks around it allowed) read as a
// decimal number with "." as decimal point; 0 when it is no number.
double number_from_text(std::string_view text);

}  // namespace vorla::invoice
