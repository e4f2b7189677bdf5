// Printing through the system's printing service (Linux: CUPS), and writing a
// finished document to a file that a script or the cashier names.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vorla::platform {

struct Printer {
    std::string name;         // the queue name, as the printing system spells it
    std::string description;  // GBK, may be empty
    bool is_default = false;
};

// The printers the printing system offers, the default one first. An empty
// list with `error` set when the printing system cannot be asked; an empty list
// with an empty `error` when it has no printers.
std::vector<Printer> list_printers(std::string& error);

struct PrintJob {
    std::string printer;  // queue name
    std::string title;    // GBK: the job's name in the queue
    int copies = 1;       // 1..999
    // The paper, as the printing system names media: "A5", "A4" or
    // "Custom.WIDTHxHEIGHTmm". Empty: the printer's default.
    std::string media;
};

// Sends a PDF document as one job. False with `error` set when the printer is
// unknown or the job cannot be created or sent; a job accepted by the queue is
// true.
bool print_pdf(const PrintJob& job, std::string_view pdf, std::string& error);

// The media name of a page of width x height millimetres: "A3" to "A6" or "B5"
// when the page has that size within 1 mm in either orientation (the printing
// system turns a landscape page onto the paper), otherwise "Custom.WxHmm".
std::string media_name(double width_mm, double height_mm);

// Writes the bytes to the file (created or replaced) at a path given in GBK,
// converted to the file system's names. False with `error` set on failure; a
// failed write leaves no partial file behind.
bool write_document_file(std::string_view gbk_path, std::string_view bytes, std::string& error);

// A native path (the file system's bytes) as GBK text, for messages.
std::string gbk_from_native_path(std::string_view path);

}  // namespace vorla::platform
