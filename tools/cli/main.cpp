// vorla-cli: a stand-in for the hospital information system. Loads the library
// the way a host does, sends one invoke request through one of the four exports
// and prints the answer; `vorla-cli check` examines a workstation instead.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "../common/args.h"
#include "../common/default_library.h"
#include "check.h"
#include "common/base64.h"
#include "entry/config.h"
#include "platform/platform.h"
#include "vorla/vorla.h"

namespace {

constexpr unsigned long long kDefaultBuffer = 8ull << 20;
constexpr unsigned long long kMaxBuffer = 1ull << 30;

const char kUsage[] =
    "usage: vorla-cli [OPTIONS] (--file REQUEST_FILE | REQUEST)\n"
    "       vorla-cli check [--lib PATH] [--timeout MS]\n"
    "       vorla-cli --version | --help\n"
    "\n"
    "Sends one invoke request through the library, as a host does, and prints the answer.\n"
    "REQUEST on the command line is UTF-8 and sent as GBK; a REQUEST_FILE is sent as it is (GBK).\n"
    "\n"
    "  --lib PATH      the library to load (default: $VORLA_LIBRARY, else libvorla.so beside\n"
    "                  vorla-cli, else the installed libvorla.so.1)\n"
    "  --export NAME   invoke (default), tembro_invoke, node_invoke or nodeaddon_invoke\n"
    "  --utf8          print the answer converted to UTF-8 (default: the bytes the export gave;\n"
    "                  nodeaddon_invoke's answer is UTF-8 anyway)\n"
    "  --buffer BYTES  the answer buffer a host would pass, 4 to 1073741824 (default 8388608);\n"
    "                  an answer that would not fit is reported instead of overrunning it\n"
    "  --file PATH     read the request from PATH\n"
    "  --version       the versions of the library and of this tool\n"
    "  --help, -h      this text\n"
    "\n"
    "  check           examines this workstation and prints what it found, in plain words;\n"
    "                  never sends a business transaction and never changes vorla.ini\n"
    "                  (see vorla-cli check --help)\n"
    "\n"
    "Exit codes: 0 the answer's ErrCode is \"0\"; 1 any other answer; 2 a usage or loading\n"
    "error; 3 the answer did not fit the --buffer size.\n";

const char kExports[][17] = {"invoke", "tembro_invoke", "node_invoke", "nodeaddon_invoke"};

// ErrCode of a transaction document, or "" when it has none.
std::string err_code(const std::string& answer) {
    auto open = answer.find("<ErrCode>");
    if (open == std::string::npos) return {};
    open += 9;
    auto close = answer.find("</ErrCode>", open);
    return close == std::string::npos ? std::string() : answer.substr(open, close - open);
}

int usage_error(const std::string& text) {
    std::fprintf(stderr, "vorla-cli: %s (see vorla-cli --help)\n", text.c_str());
    return 2;
}

void print_version() {
    std::printf("vorla-cli %s\n", VORLA_VERSION);
    std::printf("vorla library %s (the release of libvorla.so / vorla.dll this tool was built with)\n",
                VORLA_VERSION);
    std::printf("protocol client version %.*s (what the library sends to the insurance center as dllver;\n"
                "  fixed by the protocol, not the release version)\n",
                static_cast<int>(vorla::kClientVersion.size()), vorla::kClientVersion.data());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "check") == 0) return vorla::cli::run_check(argc - 1, argv + 1);

    std::string lib, which = "invoke", file, request;
    bool utf8 = false, have_request = false, have_file = false, options_done = false;
    unsigned long long buffer_size = kDefaultBuffer;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (!options_done && a.size() > 1 && a[0] == '-') {
            auto value = [&](std::string& out) {
                if (i + 1 >= argc) return false;
                out = argv[++i];
                return true;
            };
            std::string v;
            if (a == "--help" || a == "-h") {
                std::fputs(kUsage, stdout);
                return 0;
            } else if (a == "--version") {
                print_version();
                return 0;
            } else if (a == "--") {
                options_done = true;
            } else if (a == "--utf8") {
                utf8 = true;
            } else if (a == "--lib" || a == "--export" || a == "--file" || a == "--buffer") {
                if (!value(v)) return usage_error(a + " needs a value");
                if (a == "--lib") lib = v;
                else if (a == "--file") file = v, have_file = true;
                else if (a == "--export") {
                    if (std::none_of(std::begin(kExports), std::end(kExports), [&](const char* e) { return v == e; }))
                        return usage_error("--export " + v +
                                           ": not an export (invoke, tembro_invoke, node_invoke, nodeaddon_invoke)");
                    which = v;
                } else {
                    const auto n = vorla::tools::parse_number(v, 4, kMaxBuffer);
                    if (!n)
                        return usage_error("--buffer " + v + ": not a size in bytes from 4 to " +
                                           std::to_string(kMaxBuffer) +
                                           " (invoke writes four spaces before the answer)");
                    buffer_size = *n;
                }
            } else {
                return usage_error("unknown option " + a);
            }
        } else if (!have_request) {
            request = vorla::platform::utf8_to_gbk(a);
            have_request = true;
        } else {
            return usage_error("one request only; a second one was given: " + a);
        }
    }
    if (have_file && have_request) return usage_error("give a REQUEST or --file, not both");
    if (have_file) {
        std::ifstream in(file, std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "vorla-cli: cannot read %s\n", file.c_str());
            return 2;
        }
        std::stringstream ss;
        ss << in.rdbuf();
        request = ss.str();
        have_request = true;
    }
    if (!have_request) return usage_error("no request given");
    if (lib.empty()) lib = vorla::tools::default_library();

    std::string error;
    auto library = vorla::platform::DynamicLibrary::open(lib, error);
    if (!library) {
        std::fprintf(stderr, "vorla-cli: %s\n", error.c_str());
        return 2;
    }
    void* fn = library->symbol(which.c_str());
    if (!fn) {
        std::fprintf(stderr, "vorla-cli: no export %s in %s\n", which.c_str(), lib.c_str());
        return 2;
    }

    // The library cannot be told the buffer's size. The area passed is never
    // smaller than the default, so that a too small --buffer is reported after
    // the call instead of overrunning the tool's memory; zero-filled, since the
    // node variants write no terminator.
    std::vector<char> buffer(std::max(buffer_size, kDefaultBuffer) + 1, '\0');
    char* out = buffer.data();
    const char* req = request.c_str();
    if (which == "invoke") reinterpret_cast<decltype(&invoke)>(fn)(&req, &out);
    else if (which == "tembro_invoke") reinterpret_cast<decltype(&tembro_invoke)>(fn)(req, out);
    else if (which == "node_invoke") reinterpret_cast<decltype(&node_invoke)>(fn)(req, &out);
    else reinterpret_cast<decltype(&nodeaddon_invoke)>(fn)(req, &out);

    std::string raw(buffer.data());
    // Bytes the export wrote: invoke and tembro_invoke the answer, its zero byte
    // and at least the four spaces; node_invoke the Base64 text; nodeaddon_invoke
    // the Base64 text, at least the four spaces.
    unsigned long long written = raw.size();
    if (which == "invoke" || which == "tembro_invoke") written = std::max<unsigned long long>(4, raw.size() + 1);
    else if (which == "nodeaddon_invoke") written = std::max<unsigned long long>(4, raw.size());
    if (written > buffer_size) {
        std::fprintf(stderr,
                     "vorla-cli: the answer took %llu bytes of the buffer, more than --buffer %llu: a host "
                     "passing that buffer would have had memory after it overwritten\n",
                     written, buffer_size);
        return 3;
    }

    std::string answer_gbk, printed;
    if (which == "invoke" || which == "tembro_invoke") {
        answer_gbk = raw;
        printed = utf8 ? vorla::platform::gbk_to_utf8(raw) : raw;
    } else if (which == "node_invoke") {
        answer_gbk = vorla::base64_decode(raw);
        printed = utf8 ? vorla::platform::gbk_to_utf8(answer_gbk) : answer_gbk;
    } else {
        std::string decoded = vorla::base64_decode(raw);
        if (!decoded.empty() && decoded.back() == '\0') decoded.pop_back();
        answer_gbk = vorla::platform::utf8_to_gbk(decoded);
        printed = decoded;
    }
    std::fwrite(printed.data(), 1, printed.size(), stdout);
    std::fputc('\n', stdout);
    return err_code(answer_gbk) == "0" ? 0 : 1;
}
