// Capital amounts: a number of yuan in Chinese financial capitals (壹, 贰, 叁 …
// with the units 分 角 元 拾 佰 仟 万 拾 佰 仟 亿 拾), as the invoices print their
// totals a second time.
#pragma once

#include <string>

namespace vorla::invoice {

// The capital amount of x as GBK text. Amounts below one fen in magnitude give
// "零元整"; negative amounts start with "负". Amounts of 10^10 yuan and more
// exceed the twelve units: they are given in figures, "0.00" format with a
// leading "-" when negative. NaN and infinities give "".
std::string capital_amount(double x);

}  // namespace vorla::invoice
