// Simulated identity card reader (libdcrf32.so): the functions of the reader,
// answering from the scenario. See README.md.
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "cards/driver_api.h"
#include "scenario.h"

using namespace vorla::drivers;

namespace {

// An 8 x 8 grey JPEG, written when the scenario names no photo file of its own.
const unsigned char kPhoto[] = {
    0xff,0xd8,0xff,0xe0,0x00,0x10,0x4a,0x46,0x49,0x46,0x00,0x01,0x01,0x00,0x00,0x01,
    0x00,0x01,0x00,0x00,0xff,0xdb,0x00,0x43,0x00,0x10,0x0b,0x0c,0x0e,0x0c,0x0a,0x10,
    0x0e,0x0d,0x0e,0x12,0x11,0x10,0x13,0x18,0x28,0x1a,0x18,0x16,0x16,0x18,0x31,0x23,
    0x25,0x1d,0x28,0x3a,0x33,0x3d,0x3c,0x39,0x33,0x38,0x37,0x40,0x48,0x5c,0x4e,0x40,
    0x44,0x57,0x45,0x37,0x38,0x50,0x6d,0x51,0x57,0x5f,0x62,0x67,0x68,0x67,0x3e,0x4d,
    0x71,0x79,0x70,0x64,0x78,0x5c,0x65,0x67,0x63,0xff,0xc0,0x00,0x0b,0x08,0x00,0x08,
    0x00,0x08,0x01,0x01,0x11,0x00,0xff,0xc4,0x00,0x14,0x00,0x01,0x00,0x00,0x00,0x00,
    0x00,0x00,0x00,0x00,0x00,0x00,0x00,0x00,0x00,0x00,0x00,0x04,0xff,0xc4,0x00,0x17,
    0x10,0x01,0x00,0x03,0x00,0x00,0x00,0x00,0x00,0x00,0x00,0x00,0x00,0x00,0x00,0x00,
    0x00,0x05,0x00,0x22,0x32,0xff,0xda,0x00,0x08,0x01,0x01,0x00,0x00,0x3f,0x00,0x38,
};

// The texts handed out stay alive until the same query is asked again.
const char* keep(const std::string& function, const std::string& gbk) {
    static std::map<std::string, std::string> texts;
    return (texts[function] = gbk).c_str();
}

const char* query(const char* function, const char* fallback, int card) {
    const int call = record_call(function, {std::to_string(card)});
    const auto text = value(function, call, "text");
    return keep(function, utf8_to_gbk(text ? *text : std::string(fallback)));
}

}  // namespace

VORLA_DRIVER_EXPORT int VORLA_DRIVER_CALL dc_init(int port, int baud) {
    const int call = record_call("dc_init", {std::to_string(port), std::to_string(baud)});
    return int_value(value("dc_init", call, "result"), 1);
}

VORLA_DRIVER_EXPORT int VORLA_DRIVER_CALL dc_find_i_d(int reader) {
    const int call = record_call("dc_find_i_d", {std::to_string(reader)});
    return int_value(value("dc_find_i_d", call, "result"), 0);
}

VORLA_DRIVER_EXPORT int VORLA_DRIVER_CALL dc_start_i_d(int reader) {
    const int call = record_call("dc_start_i_d", {std::to_string(reader)});
    return int_value(value("dc_start_i_d", call, "result"), 2);
}

VORLA_DRIVER_EXPORT const char* VORLA_DRIVER_CALL dc_i_d_query_name(int card) {
    return query("dc_i_d_query_name", "李四", card);
}
VORLA_DRIVER_EXPORT const char* VORLA_DRIVER_CALL dc_i_d_query_id_number(int card) {
    return query("dc_i_d_query_id_number", "640102198502023315", card);
}
VORLA_DRIVER_EXPORT const char* VORLA_DRIVER_CALL dc_i_d_query_sex(int card) {
    return query("dc_i_d_query_sex", "男", card);
}
VORLA_DRIVER_EXPORT const char* VORLA_DRIVER_CALL dc_i_d_query_birth(int card) {
    return query("dc_i_d_query_birth", "19850202", card);
}
VORLA_DRIVER_EXPORT const char* VORLA_DRIVER_CALL dc_i_d_query_address(int card) {
    return query("dc_i_d_query_address", "示例市示例区文化街1号", card);
}
VORLA_DRIVER_EXPORT const char* VORLA_DRIVER_CALL dc_i_d_query_department(int card) {
    return query("dc_i_d_query_department", "示例市公安局示例分局", card);
}
VORLA_DRIVER_EXPORT const char* VORLA_DRIVER_CALL dc_i_d_query_expire_day(int card) {
    return query("dc_i_d_query_expire_day", "2015010120350101", card);
}
VORLA_DRIVER_EXPORT const char* VORLA_DRIVER_CALL dc_i_d_query_nation(int card) {
    return query("dc_i_d_query_nation", "汉", card);
}

VORLA_DRIVER_EXPORT int VORLA_DRIVER_CALL dc_i_d_query_photo_file(int card, const char* path) {
    const int call = record_call("dc_i_d_query_photo_file", {std::to_string(card), path ? path : ""});
    const int result = int_value(value("dc_i_d_query_photo_file", call, "result"), 0);
    if (result < 0 || !path) return result;
    std::string bytes(reinterpret_cast<const char*>(kPhoto), sizeof kPhoto);
    if (const auto source = value("dc_i_d_query_photo_file", call, "source")) {
        std::ifstream in(*source, std::ios::binary);
        std::ostringstream ss;
        ss << in.rdbuf();
        bytes = ss.str();
    }
    std::FILE* f = std::fopen(path, "wb");
    if (!f) return -1;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && written ? result : -1;
}

VORLA_DRIVER_EXPORT int VORLA_DRIVER_CALL dc_end_i_d(int card) {
    record_call("dc_end_i_d", {std::to_string(card)});
    return 0;
}

VORLA_DRIVER_EXPORT int VORLA_DRIVER_CALL dc_exit(int reader) {
    record_call("dc_exit", {std::to_string(reader)});
    return 0;
}
