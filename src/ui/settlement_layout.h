// The settlement choices dialog's geometry, the same on every platform: three
// columns of labelled fields, the insurance types as radio buttons in rows of
// five, and three lists side by side.
#pragma once

#include <algorithm>
#include <cstddef>

namespace vorla::ui::settlement_layout {

inline constexpr int kMargin = 10;
inline constexpr int kLabelWidth = 100;
inline constexpr int kFieldWidth = 200;
inline constexpr int kColumnWidth = kLabelWidth + kFieldWidth + 10;
inline constexpr int kRowHeight = 26;
inline constexpr int kWindowWidth = 3 * kColumnWidth + 3 * kMargin;
inline constexpr int kRadioColumns = 5;
inline constexpr int kRadioWidth = (kWindowWidth - 4 * kMargin) / kRadioColumns;
inline constexpr int kListHeight = 150;
inline constexpr int kListWidth = (kWindowWidth - 4 * kMargin - 2 * kMargin) / 3;

// Rows of fields in three columns.
inline int field_rows(std::size_t fields) { return static_cast<int>((fields + 2) / 3); }

// Heights of the dialog's parts (the client area is `window`).
struct Heights {
    int basic = 0;      // the "基础信息" frame
    int radio = 0;      // the "参保险种" frame
    int treatment = 0;  // the "待遇信息" frame
    int window = 0;
};

inline Heights heights(std::size_t basic_fields, std::size_t treatment_fields, std::size_t insurance_types) {
    Heights h;
    const int radio_rows = std::max(1, static_cast<int>((insurance_types + kRadioColumns - 1) / kRadioColumns));
    h.basic = field_rows(basic_fields) * kRowHeight + 70 + 2 * kMargin;
    h.radio = radio_rows * 24 + 2 * kMargin;
    h.treatment = 25 + h.radio + field_rows(treatment_fields) * kRowHeight + 25 + kListHeight + 2 * kMargin;
    h.window = kMargin + 20 + h.basic + kMargin + 20 + h.treatment + kMargin + 40;
    return h;
}

}  // namespace vorla::ui::settlement_layout
