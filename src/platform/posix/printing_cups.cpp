// Printing through CUPS.
#include <cups/cups.h>

#include <algorithm>

#include "platform/platform.h"
#include "platform/printing.h"

namespace vorla::platform {
namespace {

std::string last_cups_error() {
    const char* text = cupsLastErrorString();
    return text && *text ? std::string(text) : std::string("printing system error ") + std::to_string(cupsLastError());
}

}  // namespace

std::vector<Printer> list_printers(std::string& error) {
    error.clear();
    cups_dest_t* dests = nullptr;
    const int count = cupsGetDests2(CUPS_HTTP_DEFAULT, &dests);
    std::vector<Printer> out;
    if (count <= 0) {
        // No destinations: either none are configured or the service did not answer.
        if (cupsLastError() > IPP_STATUS_OK_CONFLICTING) error = last_cups_error();
        cupsFreeDests(count, dests);
        return out;
    }
    for (int i = 0; i < count; ++i) {
        const cups_dest_t& d = dests[i];
        if (d.instance) continue;  // instances share the queue of their printer
        Printer p;
        p.name = d.name;
        if (const char* info = cupsGetOption("printer-info", d.num_options, d.options)) p.description = utf8_to_gbk(info);
        p.is_default = d.is_default != 0;
        if (p.is_default) out.insert(out.begin(), std::move(p));
        else out.push_back(std::move(p));
    }
    cupsFreeDests(count, dests);
    return out;
}

bool print_pdf(const PrintJob& job, std::string_view pdf, std::string& error) {
    error.clear();
    cups_dest_t* dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, job.printer.c_str(), nullptr);
    if (!dest) {
        error = "printer \"" + job.printer + "\" is unknown: " + last_cups_error();
        return false;
    }
    cupsFreeDests(1, dest);

    cups_option_t* options = nullptr;
    int num_options = 0;
    const int copies = job.copies < 1 ? 1 : job.copies > 999 ? 999 : job.copies;
    num_options = cupsAddOption("copies", std::to_string(copies).c_str(), num_options, &options);
    if (!job.media.empty()) num_options = cupsAddOption("media", job.media.c_str(), num_options, &options);
    const std::string title = gbk_to_utf8(job.title.empty() ? std::string("vorla") : job.title);
    const int id = cupsCreateJob(CUPS_HTTP_DEFAULT, job.printer.c_str(), title.c_str(), num_options, options);
    cupsFreeOptions(num_options, options);
    if (id <= 0) {
        error = "the print job cannot be created: " + last_cups_error();
        return false;
    }
    if (cupsStartDocument(CUPS_HTTP_DEFAULT, job.printer.c_str(), id, title.c_str(), CUPS_FORMAT_PDF, 1) !=
        HTTP_STATUS_CONTINUE) {
        error = "the document cannot be sent: " + last_cups_error();
        cupsCancelJob2(CUPS_HTTP_DEFAULT, job.printer.c_str(), id, 0);
        return false;
    }
    bool sent = true;
    constexpr std::size_t kChunk = 65536;
    for (std::size_t at = 0; at < pdf.size() && sent; at += kChunk) {
        const std::size_t n = std::min(kChunk, pdf.size() - at);
        sent = cupsWriteRequestData(CUPS_HTTP_DEFAULT, pdf.data() + at, n) == HTTP_STATUS_CONTINUE;
    }
    const ipp_status_t finished = cupsFinishDocument(CUPS_HTTP_DEFAULT, job.printer.c_str());
    if (!sent || finished > IPP_STATUS_OK_CONFLICTING) {
        error = "the document cannot be sent: " + last_cups_error();
        cupsCancelJob2(CUPS_HTTP_DEFAULT, job.printer.c_str(), id, 0);
        return false;
    }
    return true;
}

}  // namespace vorla::platform
