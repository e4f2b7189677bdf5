// Recording and scenario files.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "sim.h"

namespace vorla::sim {

Recorder::Recorder(std::string directory) {
    std::error_code ec;
    std::filesystem::create_directories(directory, ec);
    path_ = directory + "/requests.jsonl";
}

void Recorder::record(std::vector<std::pair<std::string, std::string>> text_fields,
                      std::vector<std::pair<std::string, std::string>> raw_fields) {
    std::lock_guard lock(mutex_);
    std::string line = "{\"seq\":" + std::to_string(next_++);
    for (const auto& [name, value] : text_fields) line += "," + json_string(name) + ":" + json_string(value);
    for (const auto& [name, value] : raw_fields) line += "," + json_string(name) + ":" + value;
    line += "}\n";
    if (std::FILE* f = std::fopen(path_.c_str(), "ab")) {
        std::fwrite(line.data(), 1, line.size(), f);
        std::fclose(f);
    }
}

std::string scenario_stem(std::string_view biztype) {
    if (biztype.empty() || biztype.size() > 64) return {};
    for (char c : biztype) {
        const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                        c == '_';
        if (!ok) return {};
    }
    return std::string(biztype);
}

std::optional<std::string> scenario_file(const Context& context, std::string_view name) {
    if (context.scenario_directory.empty() || name.empty() || name.find('/') != std::string_view::npos ||
        name.front() == '.')
        return std::nullopt;
    const std::string path = context.scenario_directory + "/" + std::string(name);
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::string json_string(std::string_view utf8) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out = "\"";
    for (char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            out += "\\u00";
            out += kHex[byte >> 4];
            out += kHex[byte & 15];
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::vector<std::pair<std::string, std::string>> request_fields(const httplib::Request& request) {
    const auto q = request.target.find('?');
    return {{"method", request.method},
            {"path", request.path},
            {"query", q == std::string::npos ? std::string() : request.target.substr(q + 1)}};
}

}  // namespace vorla::sim
