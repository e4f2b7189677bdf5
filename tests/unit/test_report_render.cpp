// Rendering: PDF (text extractable, page selection, page size), page images and PNG.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "common/text.h"
#include "report/layout.h"
#include "report/render.h"
#include "report/report.h"
#include "support.h"

namespace vorla::report {
namespace {

const std::string kTwoPages = R"(<?xml version="1.0" encoding="UTF-8"?>
<report title="渲染测试">
  <variable name="name"/>
  <page width="210" height="148" margin-left="10" margin-top="10">
    <memo x="0" y="0" width="120" height="10" size="14">患者：[name]</memo>
    <memo x="0" y="12" width="30" height="30" size="9">这是一段需要在窄框里换行的很长的中文文字</memo>
    <line x1="0" y1="50" x2="190" y2="50" line-width="1"/>
  </page>
  <page width="100" height="60">
    <memo x="5" y="5" width="90" height="10" align="right">第二页 Second</memo>
  </page>
</report>
)";

// Output of a command (stdout), "" when it cannot run.
std::string run(const std::string& command) {
    std::string out;
    if (FILE* p = ::popen(command.c_str(), "r")) {
        char buf[4096];
        for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
        ::pclose(p);
    }
    return out;
}

// A value of pdfinfo's output ("Pages", "Page size", "Title").
std::string info_value(const std::string& info, const std::string& key) {
    const size_t at = info.find("\n" + key + ":");
    if (at == std::string::npos && info.rfind(key + ":", 0) != 0) return "<absent>";
    size_t from = (at == std::string::npos ? 0 : at + 1) + key.size() + 1;
    while (from < info.size() && info[from] == ' ') ++from;
    return info.substr(from, info.find('\n', from) - from);
}

std::string pdf_text(const std::string& pdf_bytes, const testing::TempDir& dir) {
    const std::string path = dir / "out.pdf";
    testing::write_file(path, pdf_bytes);
    return run("pdftotext -enc UTF-8 '" + path + "' - 2>&1");
}

PreparedReport prepared(const std::string& name_utf8) {
    Report r;
    r.load_text(kTwoPages, "two.rmf");
    r.set_text("name", gbk(name_utf8));
    return prepare(r);
}

TEST(ReportRender, PdfHoldsTheTextsOfEveryPage) {
    ASSERT_FALSE(run("command -v pdftotext").empty()) << "pdftotext (poppler-utils) is needed: scripts/deps.sh";
    testing::TempDir dir;
    const std::string pdf = render_pdf(prepared("张三丰"));
    ASSERT_EQ(pdf.rfind("%PDF-", 0), 0u);
    const std::string text = pdf_text(pdf, dir);
    EXPECT_NE(text.find("患者：张三丰"), std::string::npos) << text;
    EXPECT_NE(text.find("第二页 Second"), std::string::npos) << text;
    // The long text wraps inside its 30 mm box: it is not on one line.
    EXPECT_EQ(text.find("这是一段需要在窄框里换行的很长的中文文字"), std::string::npos) << text;
    EXPECT_NE(text.find("这是"), std::string::npos) << text;

    const std::string info = run("pdfinfo '" + (dir / "out.pdf") + "' 2>&1");
    EXPECT_EQ(info_value(info, "Pages"), "2") << info;
    EXPECT_EQ(info_value(info, "Page size"), "595.276 x 419.528 pts") << "210 x 148 mm";
    EXPECT_EQ(info_value(info, "Title"), "渲染测试");
}

TEST(ReportRender, PdfOfChosenPages) {
    testing::TempDir dir;
    const std::string text = pdf_text(render_pdf(prepared("李四"), {2}), dir);
    EXPECT_NE(text.find("第二页"), std::string::npos) << text;
    EXPECT_EQ(text.find("李四"), std::string::npos) << text;
    const std::string info = run("pdfinfo '" + (dir / "out.pdf") + "' 2>&1");
    EXPECT_EQ(info_value(info, "Pages"), "1") << info;
    EXPECT_EQ(info_value(info, "Page size"), "283.465 x 170.079 pts") << "100 x 60 mm";

    EXPECT_THROW(render_pdf(prepared("x"), {3}), ReportError);
    EXPECT_THROW(render_pdf(prepared("x"), {0}), ReportError);
}

TEST(ReportRender, PageImagesShowWhatPrints) {
    const PreparedReport r = prepared("王五");
    const Image img = render_image(r, 1, 72);
    EXPECT_EQ(img.width, 595);
    EXPECT_EQ(img.height, 420);
    ASSERT_EQ(img.rgb.size(), static_cast<size_t>(img.stride) * img.height);
    auto pixel = [&](int x, int y) { return img.rgb[static_cast<size_t>(y) * img.stride + 3 * x]; };
    // The 1 mm line at y = 10 + 50 mm, from x = 10 mm to 200 mm.
    const int line_y = static_cast<int>((60.0) / 25.4 * 72);
    EXPECT_LT(pixel(300, line_y), 64) << "black line";
    EXPECT_EQ(pixel(300, line_y + 20), 255) << "white paper below it";
    EXPECT_EQ(pixel(5, line_y), 255) << "the left margin stays white";
    // Text was drawn somewhere in the first memo's box.
    int dark = 0;
    for (int y = 30; y < 55; ++y)
        for (int x = 30; x < 300; ++x) dark += pixel(x, y) < 128;
    EXPECT_GT(dark, 50);

    const Image big = render_image(r, 2, 144);
    EXPECT_EQ(big.width, 567);
    EXPECT_THROW(render_image(r, 3, 72), ReportError);

    const std::string png = render_png(r, 1, 96);
    ASSERT_GT(png.size(), 8u);
    EXPECT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
}

}  // namespace
}  // namespace vorla::report
