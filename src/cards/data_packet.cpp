#include "cards/data_packet.h"

#include <stdexcept>

#include "common/text.h"
#include "messages/serializer.h"

namespace vorla::cards {
namespace {

bool same_name(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
        if (x != y) return false;
    }
    return true;
}

const char* type_name(PacketFieldType t) {
    switch (t) {
        case PacketFieldType::String:
            return "string";
        case PacketFieldType::Date:
            return "date";
        case PacketFieldType::DateTime:
            return "dateTime";
        case PacketFieldType::Float:
            return "r8";
        case PacketFieldType::Integer:
            return "i4";
    }
    return "string";
}

bool fits(PacketFieldType t, const PacketValue& v) {
    if (std::holds_alternative<std::monostate>(v)) return true;
    switch (t) {
        case PacketFieldType::String:
            return std::holds_alternative<std::string>(v);
        case PacketFieldType::Date:
        case PacketFieldType::DateTime:
            return std::holds_alternative<DateValue>(v);
        case PacketFieldType::Float:
            return std::holds_alternative<double>(v);
        case PacketFieldType::Integer:
            return std::holds_alternative<std::int32_t>(v);
    }
    return false;
}

std::string value_text(const PacketField& f, const PacketValue& v) {
    switch (f.type) {
        case PacketFieldType::String:
            return packet_attribute_text(std::get<std::string>(v));
        case PacketFieldType::Date:
            return packet_date_text(std::get<DateValue>(v));
        case PacketFieldType::DateTime:
            return packet_date_time_text(std::get<DateValue>(v));
        case PacketFieldType::Float: {
            const double d = std::get<double>(v);
            return d == 0 ? std::string("0") : decimal_text(d);
        }
        case PacketFieldType::Integer:
            return std::to_string(std::get<std::int32_t>(v));
    }
    return {};
}

}  // namespace

std::string packet_date_text(DateValue v) {
    const DateParts p = decode_date_time(v);
    return pad(p.year, 4) + pad(p.month, 2) + pad(p.day, 2);
}

std::string packet_date_time_text(DateValue v) {
    const DateParts p = decode_date_time(v);
    return pad(p.year, 4) + pad(p.month, 2) + pad(p.day, 2) + "T" + pad(p.hour, 2) + ":" + pad(p.minute, 2) + ":" +
           pad(p.second, 2) + pad(p.millisecond, 3);
}

std::string packet_attribute_text(std::string_view s) {
    std::string out;
    for (char c : s) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&apos;";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20)
                    out += "&#" + pad(static_cast<unsigned char>(c), 3) + ";";
                else
                    out += c;
        }
    }
    return out;
}

DataPacket::DataPacket(std::vector<PacketField> fields) : fields_(std::move(fields)) {}

void DataPacket::append_row() { rows_.emplace_back(fields_.size()); }

std::size_t DataPacket::index_of(std::string_view field) const {
    for (std::size_t i = 0; i < fields_.size(); ++i)
        if (same_name(fields_[i].name, field)) return i;
    throw std::invalid_argument("Field '" + std::string(field) + "' not found");
}

void DataPacket::set(std::string_view field, PacketValue value) {
    if (rows_.empty()) throw std::invalid_argument("no row to set " + std::string(field));
    const std::size_t i = index_of(field);
    if (!fits(fields_[i].type, value)) throw std::invalid_argument("wrong kind of value for " + std::string(field));
    rows_.back()[i] = std::move(value);
}

std::string DataPacket::xml() const {
    std::string out = R"(<?xml version="1.0" standalone="yes"?>  <DATAPACKET Version="2.0"><METADATA><FIELDS>)";
    for (const PacketField& f : fields_) {
        out += R"(<FIELD attrname=")" + f.name + R"(" fieldtype=")" + type_name(f.type) + "\"";
        if (f.type == PacketFieldType::String) out += R"( WIDTH=")" + std::to_string(f.width) + "\"";
        out += "/>";
    }
    out += "</FIELDS><PARAMS/></METADATA><ROWDATA>";
    for (const auto& row : rows_) {
        out += "<ROW";
        for (std::size_t i = 0; i < fields_.size(); ++i) {
            if (std::holds_alternative<std::monostate>(row[i])) continue;
            out += " " + fields_[i].name + "=\"" + value_text(fields_[i], row[i]) + "\"";
        }
        out += "/>";
    }
    out += "</ROWDATA></DATAPACKET>";
    return out;
}

const std::vector<PacketField>& card_holder_fields() {
    using T = PacketFieldType;
    static const std::vector<PacketField> fields = {
        {"SHBZH", T::String, 100},    {"ICKH", T::String, 100},     {"RYXM", T::String, 100},
        {"RYXB", T::String, 100},     {"CSRQ", T::Date},            {"SFZH", T::String, 100},
        {"GZDW", T::String, 100},     {"MXBBZ", T::String, 100},    {"MXBZL", T::String, 100},
        {"YBSF", T::String, 100},     {"YBJB", T::String, 100},     {"BNZYCS", T::Integer},
        {"BNJJZFLJ", T::Float},       {"BNGFDLJ", T::Float},        {"BNZYLJ", T::Float},
        {"GRZHYE", T::Float},         {"SCMZSJ", T::DateTime},      {"SCCYSJ", T::DateTime},
        {"ZYBZ", T::String, 100},     {"PWD", T::String, 100},      {"RENPAG1", T::String, 1024},
        {"RENPAG2", T::String, 1024}, {"RENPAG3", T::String, 1024}, {"SSDQ", T::String, 100},
        {"KFSMC", T::String, 100},    {"GRLB", T::String, 100},     {"MXBYXQ", T::DateTime},
        {"ZHLJHR", T::Float},         {"BCHRJE", T::Float},         {"BNHRJE", T::Float},
        {"BNZHZC", T::Float},         {"SCZCZT", T::Integer},       {"MXBZFLJ", T::Float},
        {"MXBTCZF", T::Float},        {"NUM1", T::Float},           {"NUM2", T::Float},
        {"NUM3", T::Float},           {"NUM4", T::Float},           {"NUM5", T::Float},
        {"NUM6", T::Float},           {"CHAR1", T::Float},          {"CHAR2", T::String, 100},
        {"CHAR3", T::String, 100},    {"CHAR4", T::String, 100},    {"CHAR5", T::String, 100},
        {"CHAR6", T::String, 100},
    };
    return fields;
}

std::string card_holder_packet(const TJ1OutBean& answer) {
    const TJ1OutHead& h = answer.MSG.HEAD;
    DataPacket packet(card_holder_fields());
    packet.append_row();
    packet.set("SSDQ", first_chars(h.SBKID, 7));
    packet.set("KFSMC", std::string());
    packet.set("SHBZH", h.SBKID);
    packet.set("ICKH", h.SBKH);
    packet.set("RYXM", h.RYXM);
    packet.set("RYXB", h.RYXB == "2" ? gbk("女") : gbk("男"));
    packet.set("CSRQ", h.CSRQ);
    packet.set("SFZH", h.SFZH);
    for (const char* f : {"GZDW", "GRLB", "PWD", "CHAR3", "CHAR4", "CHAR5", "CHAR6"}) packet.set(f, std::string());
    packet.set("MXBBZ", std::string("0"));
    for (const char* f : {"MXBYXQ", "SCMZSJ", "SCCYSJ"}) packet.set(f, DateValue{0});
    for (const char* f : {"GRZHYE", "ZHLJHR", "BCHRJE", "BNHRJE", "BNZHZC", "MXBZFLJ", "MXBTCZF", "BNGFDLJ", "BNZYLJ",
                          "BNJJZFLJ", "NUM1", "NUM2", "NUM3", "NUM4", "NUM5", "NUM6"})
        packet.set(f, 0.0);
    packet.set("SCZCZT", std::int32_t{0});
    packet.set("BNZYCS", std::int32_t{0});
    packet.set("CHAR2", h.DKLX);
    return packet.xml();
}

}  // namespace vorla::cards
