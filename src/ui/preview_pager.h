// What the preview window shows of a report, the same on every platform: the
// page (from 1), the zoom step, which buttons are offered and the page label.
// The platform's window only draws it and forwards the cashier's clicks.
#pragma once

#include <cstddef>
#include <iterator>
#include <string>

namespace vorla::ui {

class PreviewPager {
public:
    explicit PreviewPager(int page_count) : page_count_(page_count < 0 ? 0 : page_count) {}

    int page_count() const { return page_count_; }
    int page() const { return page_; }
    bool has_previous() const { return page_ > 1; }
    bool has_next() const { return page_ < page_count_; }
    // Dots per inch of the page image on screen at the current zoom step.
    double dpi() const { return kScreenDpi * kZoomSteps[zoom_]; }
    // "2 / 3"; "0 / 0" for a report without pages.
    std::string label() const {
        return std::to_string(page_count_ ? page_ : 0) + " / " + std::to_string(page_count_);
    }

    // Each stays where it is at its end.
    void previous() {
        if (has_previous()) --page_;
    }
    void next() {
        if (has_next()) ++page_;
    }
    void zoom_in() {
        if (zoom_ + 1 < std::size(kZoomSteps)) ++zoom_;
    }
    void zoom_out() {
        if (zoom_ > 0) --zoom_;
    }

private:
    static constexpr double kScreenDpi = 96;
    static constexpr double kZoomSteps[] = {0.5, 0.75, 1.0, 1.25, 1.5, 2.0};

    int page_count_;
    int page_ = 1;
    std::size_t zoom_ = 2;  // 100 %
};

}  // namespace vorla::ui
