// Layout: the report's pages with every memo text resolved, ready to render.
//
// A memo's template text may hold references: [name] or [name:format]. They are
// replaced by the variable's display text; "[[" stands for "[". A reference to a
// variable that the report does not have gives an empty text; a "[" without its
// "]" is printed as it stands. Variable values are inserted as they are, never
// resolved again. Texts set through View::set_text are printed literally.
//
// Display texts:
//   text variable    its text (a format is ignored)
//   number variable  without format: general form (at most 15 significant
//                    digits, "1234.5"); with a format such as "0.00" or
//                    "#,##0.00": that many decimals, rounded half away from
//                    zero, "," groups thousands when the format has one
//   date variable    without format: the library's short date, followed by
//                    " hh:nn:ss" when the value has a time of day; with a
//                    format: yyyy yy mm m dd d hh h nn n ss s, other characters
//                    as they stand; the zero date gives an empty text
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "report/report.h"

namespace vorla::report {

struct PreparedPage {
    double width = 0, height = 0;  // mm
    Margins margins;
    // The views to draw, in template order, with resolved UTF-8 texts; hidden
    // memos (show-when / hide-when) are left out.
    struct Item {
        View view;          // geometry and style; `text` is not used
        std::string utf8;   // the memo's resolved text, UTF-8
    };
    std::vector<Item> items;
};

struct PreparedReport {
    std::string title;  // UTF-8
    std::vector<PreparedPage> pages;
};

// v with that many decimals (0..10), rounded half away from zero on its decimal
// form of 15 significant digits (1.005 gives "1.01"); "," between thousands
// when `grouping`. A value that rounds to zero has no sign; NaN and
// infinities give "".
std::string format_fixed(double v, int decimals, bool grouping = false);

// The display text of a variable (GBK), with an optional format.
std::string display_text(const Variable& v, std::string_view format = {});

// A memo's text with its references resolved (GBK).
std::string resolve_text(const Report& report, const View& memo);

// Whether a memo is shown, by its show-when / hide-when variables.
bool memo_visible(const Report& report, const View& memo);

// Lays the report out; the report itself is not changed.
PreparedReport prepare(const Report& report);

}  // namespace vorla::report
