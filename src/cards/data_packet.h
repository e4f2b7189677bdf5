// The client dataset XML data packet that J0 answers with, written by hand.
//
// One line of GBK text:
//   <?xml version="1.0" standalone="yes"?>  <DATAPACKET Version="2.0">
//   <METADATA><FIELDS><FIELD attrname="NAME" fieldtype="string" WIDTH="100"/>…</FIELDS>
//   <PARAMS/></METADATA><ROWDATA><ROW NAME="value" …/></ROWDATA></DATAPACKET>
// Field types: string (with WIDTH), date, dateTime, r8, i4. Row values are
// attributes in field order; a null value has no attribute. Dates are written
// yyyymmdd, date-times yyyymmddThh:nn:ssmmm, numbers in decimal with "." as
// the decimal point. See docs/j0-data-packet.md.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "common/datetime.h"
#include "messages/catalogue.h"

namespace vorla::cards {

enum class PacketFieldType { String, Date, DateTime, Float, Integer };

struct PacketField {
    std::string name;
    PacketFieldType type;
    int width = 0;  // characters, for strings
};

// One value: null, a text (string fields), a date value (date and dateTime),
// a double (r8) or an integer (i4).
using PacketValue = std::variant<std::monostate, std::string, DateValue, double, std::int32_t>;

// A dataset of fixed fields and rows whose values are set by field name
// (names matched without regard to ASCII letter case).
class DataPacket {
public:
    explicit DataPacket(std::vector<PacketField> fields);
    // Appends a row with every value null.
    void append_row();
    // Sets a value of the last row. Throws std::invalid_argument for an unknown
    // field, a value of the wrong kind, or when there is no row.
    void set(std::string_view field, PacketValue value);
    // The XML data packet (GBK).
    std::string xml() const;

private:
    std::size_t index_of(std::string_view field) const;
    std::vector<PacketField> fields_;
    std::vector<std::vector<PacketValue>> rows_;
};

// The 46 fields of the card holder dataset, in order.
const std::vector<PacketField>& card_holder_fields();

// J0's packet: the card holder dataset with one row made from a J1 answer.
std::string card_holder_packet(const TJ1OutBean& answer);

// Texts of the packet's values.
std::string packet_date_text(DateValue v);       // yyyymmdd
std::string packet_date_time_text(DateValue v);  // yyyymmddThh:nn:ssmmm
std::string packet_attribute_text(std::string_view gbk_text);  // escaped for an attribute

}  // namespace vorla::cards
