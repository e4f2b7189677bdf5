#include "ui/cashier.h"

#include <cstdlib>
#include <fstream>
#include <map>

#include "platform/fs.h"

#include "platform/platform.h"

namespace vorla::ui {
namespace {

struct Script {
    std::vector<Step> steps;
    size_t next = 0;
};

Script& script() {
    static std::map<std::string, Script> loaded;
    const std::string path = script_path();
    auto it = loaded.find(path);
    if (it != loaded.end()) return it->second;
    std::ifstream in(platform::native_path(path), std::ios::binary);
    if (!in) throw ScriptError("cashier script cannot be read: " + path);
    Script s;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line[start] == '#') continue;
        line = line.substr(start);
        Step step;
        size_t a = line.find(' ');
        step.dialog = line.substr(0, a);
        if (a != std::string::npos) {
            size_t b = line.find(' ', a + 1);
            step.action = line.substr(a + 1, b == std::string::npos ? std::string::npos : b - a - 1);
            if (b != std::string::npos) step.argument = platform::utf8_to_gbk(line.substr(b + 1));
        }
        s.steps.push_back(std::move(step));
    }
    return loaded.emplace(path, std::move(s)).first->second;
}

}  // namespace

std::string script_path() {
    const char* p = std::getenv(kCashierVariable);
    return p && *p ? platform::gbk_path(p) : std::string();
}

bool scripted() { return !script_path().empty(); }

Step take_one(std::string_view dialog) {
    Script& s = script();
    if (s.next >= s.steps.size())
        throw ScriptError("cashier script has no step left for dialog " + std::string(dialog));
    const Step& step = s.steps[s.next];
    if (step.dialog != dialog)
        throw ScriptError("cashier script expected dialog " + step.dialog + ", the library shows " +
                          std::string(dialog));
    ++s.next;
    return step;
}

std::vector<Step> take_until_closed(std::string_view dialog) {
    std::vector<Step> out;
    for (;;) {
        out.push_back(take_one(dialog));
        if (out.back().action == "ok" || out.back().action == "cancel") return out;
    }
}

}  // namespace vorla::ui
