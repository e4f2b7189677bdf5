// The report engine's model: a report loaded from a template file (format in
// docs/report-templates.md), its pages with their named views, and its report
// variables. The invoice filling loads a template, finds views by name, sets
// memo texts and variables, and hands the report to layout, rendering, preview
// and printing (layout.h, render.h, present.h).
//
// Texts are GBK, like every text inside the library; they are converted to
// UTF-8 only when rendered. Sizes and positions are millimetres, font sizes
// points. Names of views and variables are compared exactly.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "common/datetime.h"

namespace vorla::report {

// A template that cannot be read or is malformed; the message names the file,
// the line where known, and what is wrong.
class ReportError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class ViewKind { Memo, Line, Box };
enum class HAlign { Left, Center, Right };
enum class VAlign { Top, Middle, Bottom };

struct Font {
    std::string family = "Noto Sans CJK SC";  // a fontconfig family name
    double size = 9;                           // points
    bool bold = false;
    bool italic = false;
};

struct Rect {
    double x = 0, y = 0, width = 0, height = 0;  // mm, from the page's margin corner
};

struct Borders {
    bool left = false, top = false, right = false, bottom = false;
    bool any() const { return left || top || right || bottom; }
};

// A named (or unnamed) element of a page.
//   Memo: a text in a box; the text may hold [variable] references.
//   Line: from (x, y) to (x + width, y + height).
//   Box:  a rectangle frame.
struct View {
    ViewKind kind = ViewKind::Memo;
    std::string name;       // "" for an unnamed view
    Rect rect;
    double line_width = 0.2;  // mm: lines, boxes and memo borders

    // Memo only.
    std::string text;        // GBK
    bool literal = false;    // true once set_text() replaced the template text: no references
    Font font;
    HAlign align = HAlign::Left;
    VAlign valign = VAlign::Top;
    bool wrap = true;
    bool shrink = false;     // shrink the font (down to half) until the text fits the box
    double padding = 0.5;    // mm inside the box
    Borders borders;
    std::string show_when;   // shown only when this variable's text is not empty
    std::string hide_when;   // hidden when this variable's text is not empty

    bool is_memo() const { return kind == ViewKind::Memo; }
    // Replaces the memo's whole text with `gbk`, taken literally (brackets in it
    // are printed as they stand). Throws ReportError for a view that is no memo.
    void set_text(std::string gbk);
};

struct Margins {
    double left = 0, top = 0, right = 0, bottom = 0;  // mm
};

struct Page {
    double width = 210, height = 297;  // mm
    Margins margins;
    std::vector<View> views;
};

// A report variable: a text, or a plain value (a number or a date).
struct Variable {
    enum class Kind { Text, Number, Date };
    std::string name;
    Kind kind = Kind::Text;
    std::string text;  // GBK, Kind::Text
    double number = 0;
    DateValue date;
};

class Report {
public:
    Report() = default;

    // Loads a template file, replacing whatever the report held. Throws
    // ReportError when the file is missing, unreadable or malformed; the report
    // is then empty.
    void load(const std::string& path);
    // The same from the template's text; `origin` names it in messages.
    void load_text(std::string_view text, const std::string& origin);

    bool empty() const { return pages_.empty(); }
    const std::string& title() const { return title_; }  // GBK
    const std::vector<Page>& pages() const { return pages_; }

    // The view of that name on any page, nullptr when there is none.
    View* find_view(std::string_view name);
    const View* find_view(std::string_view name) const;
    // find_view + set_text; throws ReportError when there is no such memo view.
    void set_memo_text(std::string_view name, std::string gbk);

    // Sets a variable, creating it (at the end of the list) when absent; an
    // existing variable keeps its place and takes the new kind and value.
    void set_text(std::string_view name, std::string gbk);
    void set_value(std::string_view name, double number);
    void set_value(std::string_view name, DateValue date);

    const Variable* variable(std::string_view name) const;
    const std::vector<Variable>& variables() const { return variables_; }

private:
    Variable& slot(std::string_view name);

    std::string title_;
    std::vector<Page> pages_;
    std::vector<Variable> variables_;
};

}  // namespace vorla::report
