// vorla-cli: a stand-in for the hospital information system. Loads the library
// the way a host does, sends one invoke request through one of the four exports
// and prints the answer. Exit code 0 when the answer's ErrCode is "0", 1 otherwise,
// 2 on a usage or loading error.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "common/base64.h"
#include "platform/platform.h"
#include "vorla/vorla.h"

namespace {

const char kUsage[] =
    "usage: vorla-cli [--lib PATH] [--export invoke|tembro_invoke|node_invoke|nodeaddon_invoke]\n"
    "                 [--utf8] [--buffer BYTES] (--file REQUEST_FILE | REQUEST)\n"
    "  REQUEST on the command line is UTF-8 and sent as GBK; a REQUEST_FILE is sent as it is (GBK).\n"
    "  --lib      the library to load (default: libvorla.so beside vorla-cli, or $VORLA_LIBRARY)\n"
    "  --utf8     print the answer converted to UTF-8 (default: the bytes the export gave)\n";

std::string directory_of(const std::string& path) {
    auto pos = path.find_last_of("/\\");
    return pos == std::string::npos ? "." : path.substr(0, pos);
}

// ErrCode of a transaction document, or "" when it has none.
std::string err_code(const std::string& answer) {
    auto open = answer.find("<ErrCode>");
    if (open == std::string::npos) return {};
    open += 9;
    auto close = answer.find("</ErrCode>", open);
    return close == std::string::npos ? std::string() : answer.substr(open, close - open);
}

}  // namespace

int main(int argc, char** argv) {
    std::string lib, which = "invoke", file, request;
    bool utf8 = false, have_request = false;
    size_t buffer_size = 8u << 20;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) {
                std::fputs(kUsage, stderr);
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "--lib") lib = value();
        else if (a == "--export") which = value();
        else if (a == "--file") file = value();
        else if (a == "--utf8") utf8 = true;
        else if (a == "--buffer") buffer_size = std::stoul(value());
        else if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (!have_request) {
            request = vorla::platform::utf8_to_gbk(a);
            have_request = true;
        } else {
            std::fputs(kUsage, stderr);
            return 2;
        }
    }
    if (!file.empty()) {
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
    if (!have_request) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    if (lib.empty()) {
        const char* env = std::getenv("VORLA_LIBRARY");
        lib = env && *env ? env : directory_of(vorla::platform::host_executable_path()) + "/libvorla.so";
    }

    std::string error;
    auto library = vorla::platform::DynamicLibrary::open(lib, error);
    if (!library) {
        std::fprintf(stderr, "vorla-cli: %s\n", error.c_str());
        return 2;
    }
    void* fn = library->symbol(which.c_str());
    if (!fn || (which != "invoke" && which != "tembro_invoke" && which != "node_invoke" &&
                which != "nodeaddon_invoke")) {
        std::fprintf(stderr, "vorla-cli: no export %s in %s\n", which.c_str(), lib.c_str());
        return 2;
    }

    std::vector<char> buffer(buffer_size + 1, '\0');
    char* out = buffer.data();
    const char* req = request.c_str();
    if (which == "invoke") reinterpret_cast<decltype(&invoke)>(fn)(&req, &out);
    else if (which == "tembro_invoke") reinterpret_cast<decltype(&tembro_invoke)>(fn)(req, out);
    else if (which == "node_invoke") reinterpret_cast<decltype(&node_invoke)>(fn)(req, &out);
    else reinterpret_cast<decltype(&nodeaddon_invoke)>(fn)(req, &out);

    std::string raw(buffer.data());  // the node variants write no terminator; the buffer was zero-filled
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
