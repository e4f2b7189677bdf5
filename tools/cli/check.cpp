// vorla-cli check: what a workstation offers the library, in plain words.
// Read-only: vorla.ini is read, never written (its missing defaults are only
// reported); the services are asked with GET requests, never with a business
// transaction.
#include "check.h"

#include <fontconfig/fontconfig.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "../common/args.h"
#include "../common/default_library.h"
#include "cards/drivers.h"
#include "cards/evoucher.h"
#include "center/client_info.h"
#include "common/text.h"
#include "entry/config.h"
#include "invoice/j9.h"
#include "platform/fs.h"
#include "platform/http.h"
#include "platform/library_dir.h"
#include "platform/platform.h"
#include "report/report.h"
#include "vorla/version.h"

namespace vorla::cli {
namespace {

namespace fs = std::filesystem;
using platform::gbk_to_utf8;

const char kCheckUsage[] =
    "usage: vorla-cli check [--lib PATH] [--timeout MS]\n"
    "\n"
    "Examines this workstation as the library would see it and prints, in plain words:\n"
    "the system directory and the vorla.ini in use (encoding, every effective value,\n"
    "writable or not, keys the library does not know), whether the center's service\n"
    "description answers and how long it took, whether the authentication, monitoring,\n"
    "e-voucher, qrcode and invoice addresses are reachable, which card components are\n"
    "found and from where (and which of their functions are missing), the invoice\n"
    "templates and their fonts, whether the journal root is writable, where log4me.ini\n"
    "is looked for, and the address J4 answers with.\n"
    "It sends no business transaction and does not change vorla.ini.\n"
    "\n"
    "  --lib PATH    the library whose directory holds the card components\n"
    "                (default: $VORLA_LIBRARY, else libvorla.so beside\n"
    "                vorla-cli, else the installed libvorla.so.1)\n"
    "  --timeout MS  time allowed for each address, 1 to 600000 ms (default 5000)\n"
    "  --help, -h    this text\n"
    "\n"
    "Exit codes: 0 nothing wrong (warnings allowed); 1 problems found; 2 a usage error.\n";

class Printer {
public:
    void section(const std::string& title) { std::printf("\n%s\n", title.c_str()); }
    void ok(const std::string& text) { line("ok     ", text); }
    void info(const std::string& text) { line("       ", text); }
    void warning(const std::string& text) {
        ++warnings_;
        line("WARNING", text);
    }
    void problem(const std::string& text) {
        ++problems_;
        line("PROBLEM", text);
    }
    int problems() const { return problems_; }
    int warnings() const { return warnings_; }

private:
    static void line(const char* tag, const std::string& text) { std::printf("  %s  %s\n", tag, text.c_str()); }
    int problems_ = 0, warnings_ = 0;
};

std::string quoted(const std::string& utf8) { return "\"" + utf8 + "\""; }

bool has_non_ascii(std::string_view s) {
    for (unsigned char c : s)
        if (c >= 0x80) return true;
    return false;
}

bool valid_utf8(std::string_view s) {
    for (size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        size_t n = 0;
        if (c < 0x80) n = 0;
        else if (c >= 0xC2 && c <= 0xDF) n = 1;
        else if ((c & 0xF0) == 0xE0) n = 2;
        else if (c >= 0xF0 && c <= 0xF4) n = 3;
        else return false;
        if (n && i + n >= s.size()) return false;
        for (size_t k = 1; k <= n; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
        i += n + 1;
    }
    return true;
}

std::string lower_ascii(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

// Creates and removes a probe file in `dir`: whether this user may write there.
bool directory_writable(const std::string& dir) {
    const fs::path probe = fs::path(dir) / (".vorla-check-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    {
        std::ofstream out(probe, std::ios::binary);
        if (!out) return false;
    }
    std::error_code ec;
    fs::remove(probe, ec);
    return true;
}

// Opens an existing file for appending without writing to it.
bool file_writable(const std::string& path) {
    std::ofstream out(path, std::ios::binary | std::ios::app);
    return static_cast<bool>(out);
}

std::string milliseconds_since(std::chrono::steady_clock::time_point start) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    return std::to_string(ms.count()) + " ms";
}

struct Options {
    std::string lib;
    std::chrono::milliseconds timeout{5000};
};

// ---- the library --------------------------------------------------------------

std::string check_library(Printer& p, const Options& o) {
    p.section("Library");
    std::string error;
    auto lib = platform::DynamicLibrary::open(o.lib, error);
    if (!lib) {
        p.problem(o.lib + " does not load: " + error);
    } else {
        std::string missing;
        for (const char* name : {"invoke", "tembro_invoke", "node_invoke", "nodeaddon_invoke"})
            if (!lib->symbol(name)) missing += std::string(missing.empty() ? "" : ", ") + name;
        if (missing.empty()) p.ok(o.lib + " loads; exports invoke, tembro_invoke, node_invoke, nodeaddon_invoke");
        else p.problem(o.lib + " loads but lacks the exports " + missing);
    }
    p.info(std::string("release ") + VORLA_VERSION + "; protocol client version " + std::string(kClientVersion) +
           " (sent to the center as dllver)");
    // Opened by name, the library is wherever the loader found it.
    const std::string file = lib && !lib->path().empty() ? lib->path() : o.lib;
    const auto slash = file.find_last_of('/');
    return slash == std::string::npos ? "." : file.substr(0, slash == 0 ? 1 : slash);
}

// ---- vorla.ini ----------------------------------------------------------------

struct IniLine {
    std::string section, key;  // GBK (or whatever the file holds)
};

std::vector<IniLine> ini_keys(const std::string& bytes) {
    std::vector<IniLine> out;
    std::string section;
    std::istringstream in(bytes);
    for (std::string line; std::getline(in, line);) {
        std::string t(trim(line));
        if (t.size() >= 3 && static_cast<unsigned char>(t[0]) == 0xEF && static_cast<unsigned char>(t[1]) == 0xBB &&
            static_cast<unsigned char>(t[2]) == 0xBF)
            t = std::string(trim(t.substr(3)));
        if (t.empty() || t[0] == ';' || t[0] == '#') continue;
        if (t.front() == '[') {
            const auto close = t.find(']');
            section = std::string(trim(t.substr(1, close == std::string::npos ? std::string::npos : close - 1)));
            continue;
        }
        const auto eq = t.find('=');
        if (eq == std::string::npos) continue;
        out.push_back({section, std::string(trim(t.substr(0, eq)))});
    }
    return out;
}

struct Settings {
    std::string center, auth, monitor, evoucher, journal_root, save_mode;
    bool monitoring = false;
};

Settings check_configuration(Printer& p) {
    const std::string dir = platform::system_directory();
    const char* env = std::getenv("VORLA_SYSTEM_DIR");
    p.section("System directory");
    if (platform::is_directory(dir))
        p.ok(dir + (env && *env ? " (from $VORLA_SYSTEM_DIR)" : " (the default; $VORLA_SYSTEM_DIR sets another)"));
    else
        p.problem(dir + " does not exist and cannot be created");

    const std::string path = configuration_path();
    p.section("vorla.ini");
    std::string bytes;
    const bool exists = platform::file_stamp(path).has_value();
    if (exists) {
        std::ifstream in(path, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), {});
    }
    const std::vector<SettingDescription> table = configuration_settings();

    // Which keys are missing or blank: the library writes their defaults at its next call.
    platform::Profile ini(path);  // read only: nothing here writes
    std::vector<std::string> values;
    int missing = 0;
    for (const auto& s : table) {
        values.push_back(ini.read(s.section, s.key));
        if (trim(values.back()).empty()) ++missing;
    }

    const bool writable = exists ? file_writable(path) : directory_writable(dir);
    if (!exists) {
        if (writable)
            p.warning(path + " does not exist: the library creates it with every default at its first call");
        else
            p.problem(path + " does not exist and the system directory is not writable: install a complete file");
    } else {
        std::string encoding = "GBK";
        const bool bom = bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0;
        if (bom || (has_non_ascii(bytes) && valid_utf8(bytes))) encoding = bom ? "UTF-8 with BOM" : "UTF-8";
        p.ok(path + " is in use (" + std::to_string(bytes.size()) + " bytes)");
        if (encoding != "GBK")
            p.warning("the file is written in " + encoding +
                      ": the library reads it as UTF-8 on Linux, but on Windows vorla.ini must be GBK "
                      "(code page 936)");
        else
            p.ok("encoding GBK");
        if (writable) p.ok("writable by this user");
        else if (missing == 0) p.ok("not writable by this user: fine, every key is present");
        else
            p.problem("not writable by this user and " + std::to_string(missing) +
                      " keys are missing or blank: the library cannot add their defaults "
                      "(\"Unable to write to " + path + "\")");
    }

    p.info("effective values (section / key = value):");
    Settings out;
    for (size_t i = 0; i < table.size(); ++i) {
        const auto& s = table[i];
        const bool blank = trim(values[i]).empty();
        const std::string value = blank ? s.default_value : values[i];
        std::string note = blank ? " (missing or blank: the default, written at the next call)" : "";
        if (s.kind == SettingDescription::Kind::Switch) note += value == "true" ? " [on]" : " [off]";
        if (s.kind == SettingDescription::Kind::TrimmedSwitch) note += trim(value) == "true" ? " [on]" : " [off]";
        p.info("  " + gbk_to_utf8(s.section) + " / " + gbk_to_utf8(s.key) + " = " + quoted(gbk_to_utf8(value)) + note);
        switch (i) {
            case 1: out.center = value; break;
            case 2: out.auth = value; break;
            case 3: out.monitor = value; break;
            case 4: out.monitoring = trim(value) == "true"; break;
            case 5: out.journal_root = value; break;
            case 6: out.save_mode = value; break;
            case 8: out.evoucher = value; break;
            default: break;
        }
    }

    // Keys of the file that are none of the library's settings (misspelt, or another encoding).
    std::set<std::pair<std::string, std::string>> known;
    for (const auto& s : table) known.insert({lower_ascii(s.section), lower_ascii(s.key)});
    const bool utf8 = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 || (has_non_ascii(bytes) && valid_utf8(bytes));
    for (const IniLine& l : ini_keys(utf8 ? platform::utf8_to_gbk(bytes) : bytes))
        if (!known.count({lower_ascii(l.section), lower_ascii(l.key)}))
            p.warning("key " + quoted(gbk_to_utf8(l.key)) + " in section [" + gbk_to_utf8(l.section) +
                      "] is not a setting of the library (misspelt, or not GBK?); it is ignored");
    return out;
}

// ---- services -----------------------------------------------------------------

// GET of an address: whether anything answers, and how fast.
void check_address(Printer& p, const std::string& what, const std::string& url, const Options& o,
                   bool required, bool description = false) {
    if (trim(url).empty()) {
        p.problem(what + ": no address configured");
        return;
    }
    const auto start = std::chrono::steady_clock::now();
    const platform::HttpResponse r = platform::http_get(std::string(trim(url)), o.timeout);
    const std::string took = milliseconds_since(start);
    if (!r.ok) {
        const std::string text = what + ": " + url + " does not answer (" + r.error + ", after " + took + ")";
        required ? p.problem(text) : p.warning(text);
    } else if (description) {
        if (r.status == 200 && r.body.find("definitions") != std::string::npos)
            p.ok(what + ": " + url + " answered with the service description in " + took);
        else
            p.problem(what + ": " + url + " answered HTTP " + std::to_string(r.status) + " in " + took +
                      " but not with a service description");
    } else {
        p.ok(what + ": " + url + " is reachable (HTTP " + std::to_string(r.status) + " to a GET, in " + took + ")");
    }
}

void check_services(Printer& p, const Settings& s, const Options& o) {
    p.section("Services (GET requests only, no business transaction)");
    check_address(p, "center service description", s.center, o, true, true);
    check_address(p, "qrcode action (electronic social security card codes)", cards::qrcode_address(s.center), o,
                  false);
    check_address(p, "invoice action (J9)", invoice::invoice_service_address(s.center), o, false);
    check_address(p, "authentication service", s.auth, o, false);
    if (s.monitoring) check_address(p, "monitoring service (monitoring is on)", s.monitor, o, true);
    else p.info("monitoring is off; its address " + quoted(s.monitor) + " is not used");
    check_address(p, "e-voucher service (used by the e-voucher component)", s.evoucher, o, false);
}

// ---- card components ----------------------------------------------------------

struct Component {
    std::string_view stem;
    const char* role;
    std::vector<const char*> functions;
};

void check_components(Printer& p, const std::string& library_dir) {
    p.section("Card components (beside the library first, then the system's search path)");
    const std::vector<Component> components = {
        {cards::kCardDriverStem,
         "social security card driver",
         {"iReadCardBas", "iReadCardBas_HSM_Step1", "iReadCardBas_HSM_Step2", "iVerifyPIN", "iChangePIN"}},
        {cards::kIdCardReaderStem,
         "identity card reader",
         {"dc_init", "dc_find_i_d", "dc_start_i_d", "dc_i_d_query_name", "dc_i_d_query_id_number",
          "dc_i_d_query_sex", "dc_i_d_query_birth", "dc_i_d_query_address", "dc_i_d_query_department",
          "dc_i_d_query_expire_day", "dc_i_d_query_nation", "dc_i_d_query_photo_file", "dc_end_i_d", "dc_exit"}},
        {cards::kEVoucherStem, "e-voucher component", {"NationEcTrans"}},
        {cards::kScannerStem, "QR code scanner", {"iScan2DBarcodeExt"}},
    };
    for (const Component& c : components) {
        const std::string file = platform::component_file_name(c.stem);
        const std::string beside = (library_dir == "/" ? library_dir : library_dir + "/") + file;
        std::string error, where;
        auto lib = platform::DynamicLibrary::open(beside, error);
        if (lib) where = "beside the library: " + beside;
        else if ((lib = platform::DynamicLibrary::open(file, error))) where = "through the system's search path";
        if (!lib) {
            p.warning(file + " (" + c.role + ") not found: reads that need it fail with \"" +
                      gbk_to_utf8(cards::missing_component_text(c.stem)) + "\" (" + error + ")");
            continue;
        }
        std::string missing;
        for (const char* f : c.functions)
            if (!lib->symbol(f)) missing += std::string(missing.empty() ? "" : ", ") + f;
        if (missing.empty()) p.ok(file + " (" + c.role + ") found " + where);
        else p.problem(file + " (" + c.role + ") found " + where + " but lacks the functions " + missing);
    }
}

// ---- templates and fonts ------------------------------------------------------

bool font_installed(const std::string& family) {
    FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>(family.c_str()));
    if (!pattern) return false;
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    bool same = false;
    FcChar8* found = nullptr;
    for (int i = 0; match && FcPatternGetString(match, FC_FAMILY, i, &found) == FcResultMatch; ++i)
        if (lower_ascii(reinterpret_cast<const char*>(found)) == lower_ascii(family)) same = true;
    if (match) FcPatternDestroy(match);
    FcPatternDestroy(pattern);
    return same;
}

void check_templates(Printer& p) {
    p.section("Invoice templates and fonts");
    const std::string dir = platform::system_directory();
    for (const char* name : {"kwmzfp.rmf", "kwzyfp.rmf"}) {
        const std::string path = dir + platform::path_separator() + name;
        if (!platform::path_exists(path)) {
            p.warning(path + " is missing: J9 cannot fill that invoice (install it from templates/)");
            continue;
        }
        report::Report r;
        try {
            r.load(path);
        } catch (const std::exception& e) {
            p.problem(path + " cannot be read: " + gbk_to_utf8(e.what()));
            continue;
        }
        p.ok(path + " present");
        std::set<std::string> families;
        for (const auto& page : r.pages())
            for (const auto& v : page.views) families.insert(v.font.family);
        for (const std::string& f : families) {
            if (font_installed(f)) p.ok("font " + quoted(f) + " installed");
            else p.problem("font " + quoted(f) + " used by " + name + " is not installed (Debian: fonts-noto-cjk)");
        }
    }
}

// ---- journal, diagnostic log, J4 -------------------------------------------------

void check_journal(Printer& p, const Settings& s) {
    p.section("Transaction journal");
    const std::string mode(trim(s.save_mode));
    if (mode == "-1") p.info("save mode \"-1\": the journal is off");
    else if (mode != "0" && mode != "1" && mode != "2")
        p.warning("save mode " + quoted(gbk_to_utf8(s.save_mode)) + " is none of -1, 0, 1, 2");
    const std::string root = s.journal_root;
    if (platform::is_directory(root)) {
        if (directory_writable(root)) p.ok("journal root " + gbk_to_utf8(root) + " exists and is writable");
        else if (mode == "-1") p.warning("journal root " + gbk_to_utf8(root) + " is not writable (journal off)");
        else p.problem("journal root " + gbk_to_utf8(root) + " is not writable: journal blocks would be lost");
    } else {
        fs::path parent = fs::path(root).parent_path();
        while (!parent.empty() && !fs::is_directory(parent) && parent != parent.parent_path()) parent = parent.parent_path();
        const bool creatable = !parent.empty() && directory_writable(parent.string());
        if (creatable) p.ok("journal root " + gbk_to_utf8(root) + " does not exist yet; it can be created");
        else if (mode == "-1") p.warning("journal root " + gbk_to_utf8(root) + " does not exist and cannot be created (journal off)");
        else p.problem("journal root " + gbk_to_utf8(root) + " does not exist and cannot be created");
    }
}

void check_log_and_address(Printer& p) {
    p.section("Diagnostic log");
    const std::string dir = platform::log_config_directory();
    const std::string path = dir + platform::path_separator() + "log4me.ini";
    p.info("log4me.ini is looked for beside the host executable ($VORLA_HOST_DIR overrides); for this "
           "process that is " + dir);
    if (platform::path_exists(path)) p.ok(path + " found: the diagnostic log follows it");
    else p.info(path + " not found: the diagnostic log is off (optional)");

    p.section("Workstation address (J4)");
    const std::string ip = center::local_address();
    if (ip.empty()) p.problem("the host name does not resolve: J4 and the client information get no address");
    else if (ip.rfind("127.", 0) == 0 || ip == "::1")
        p.warning("J4 answers " + ip + ", a loopback address: the center sees no real workstation address "
                  "(map the host name to the LAN address in /etc/hosts or DNS)");
    else p.ok("J4 answers " + ip);
}

}  // namespace

int run_check(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            std::fputs(kCheckUsage, stdout);
            return 0;
        }
        if (a != "--lib" && a != "--timeout") {
            std::fprintf(stderr, "vorla-cli check: unknown option %s (see vorla-cli check --help)\n", a.c_str());
            return 2;
        }
        if (i + 1 >= argc) {
            std::fprintf(stderr, "vorla-cli check: %s needs a value (see vorla-cli check --help)\n", a.c_str());
            return 2;
        }
        const std::string v = argv[++i];
        if (a == "--lib") {
            o.lib = v;
        } else if (const auto n = tools::parse_number(v, 1, 600000)) {
            o.timeout = std::chrono::milliseconds(*n);
        } else {
            std::fprintf(stderr, "vorla-cli check: --timeout %s: not a time in milliseconds from 1 to 600000\n",
                         v.c_str());
            return 2;
        }
    }
    if (o.lib.empty()) o.lib = tools::default_library();

    std::printf("vorla workstation check (vorla-cli %s)\n", VORLA_VERSION);
    Printer p;
    const std::string library_dir = check_library(p, o);
    const Settings s = check_configuration(p);
    check_services(p, s, o);
    check_components(p, library_dir);
    check_templates(p);
    check_journal(p, s);
    check_log_and_address(p);

    std::printf("\n%d problem(s), %d warning(s): %s\n", p.problems(), p.warnings(),
                p.problems() ? "this workstation is not ready" : "nothing stops the library here");
    return p.problems() ? 1 : 0;
}

}  // namespace vorla::cli
