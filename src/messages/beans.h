// Beans: the typed message records of the transaction documents.
//
// A record is a plain struct whose members are its fields, with a static list
// of field descriptors that gives each field's element name in declaration
// order:
//
//     struct TJ4OutHead {
//         std::string IP;
//         static constexpr auto fields() { return std::tuple{VORLA_FIELD(TJ4OutHead, IP)}; }
//     };
//
// The member's type is the field's kind: std::string text (GBK), std::int32_t
// integer (kNoValue marks "no value"), double decimal, DateValue date and
// date-time. A bean is Bean<Head> or Bean<Head, Row>: the transaction head and
// the message part with its head record and, for business types with rows, the
// DETAIL list. Handlers use the members directly:
//
//     TJ1OutBean out;
//     out.HEAD.ErrCode = "-1";
//     out.MSG.HEAD.SFZH = card.SFZH;
//     for (const TJ2OutDetail& row : answer.MSG.DETAIL) ...
//
// The serializer (serializer.h) walks the descriptors; declaring the records is
// all a new business type needs.
#pragma once

#include <array>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <vector>

#include "common/datetime.h"
#include "messages/envelope.h"

namespace vorla {

// The value of an integer field that has no value: never written, and what
// Read gives an integer field that the document lacks.
inline constexpr std::int32_t kNoValue = INT32_MIN;

enum class FieldKind { Text, Integer, Decimal, Date };

template <class T>
inline constexpr bool is_field_type_v =
    std::is_same_v<T, std::string> || std::is_same_v<T, std::int32_t> || std::is_same_v<T, double> ||
    std::is_same_v<T, DateValue>;

template <class T>
constexpr FieldKind field_kind_of() {
    static_assert(is_field_type_v<T>, "a record field is std::string, std::int32_t, double or DateValue");
    if constexpr (std::is_same_v<T, std::string>) return FieldKind::Text;
    else if constexpr (std::is_same_v<T, std::int32_t>) return FieldKind::Integer;
    else if constexpr (std::is_same_v<T, double>) return FieldKind::Decimal;
    else return FieldKind::Date;
}

// Descriptor of one field: its element name and its member.
template <class R, class T>
struct Field {
    std::string_view name;
    T R::*member;
    static constexpr FieldKind kind = field_kind_of<T>();
};

template <class R, class T>
constexpr Field<R, T> field(std::string_view name, T R::*member) {
    return {name, member};
}

// A descriptor whose element name is the member's name.
#define VORLA_FIELD(Record, Name) ::vorla::field(#Name, &Record::Name)

// The descriptors of a record: R::fields(), or a RecordFields given for a
// record that cannot carry its own list (the transaction head).
template <class R>
struct RecordFields {
    static constexpr auto get() { return R::fields(); }
};

// The transaction head's fields, in the order the serializer writes them.
template <>
struct RecordFields<TDataHead> {
    static constexpr auto get() {
        return std::tuple{VORLA_FIELD(TDataHead, VER),     VORLA_FIELD(TDataHead, APP),
                          VORLA_FIELD(TDataHead, WorkDate), VORLA_FIELD(TDataHead, Reserve),
                          VORLA_FIELD(TDataHead, ErrCode), VORLA_FIELD(TDataHead, ErrDetail)};
    }
};

template <class R>
inline constexpr std::size_t field_count_v = std::tuple_size_v<decltype(RecordFields<R>::get())>;

// Business types without rows.
struct NoRows {};

// The message part: its head record and, where the business type has rows, the rows.
template <class Head, class Row = NoRows>
struct BeanMsg {
    Head HEAD;
    std::vector<Row> DETAIL;
};

template <class Head>
struct BeanMsg<Head, NoRows> {
    Head HEAD;
};

// A transaction document as a record: the transaction head and the message part.
// A fresh bean has empty texts, zero numbers and dates, and no rows.
template <class Head, class Row = NoRows>
struct Bean {
    using head_type = Head;
    using row_type = Row;
    static constexpr bool has_rows = !std::is_same_v<Row, NoRows>;

    TDataHead HEAD;
    BeanMsg<Head, Row> MSG;
};

// ---- what the serializer's core sees ------------------------------------------
namespace detail {

// One field of one record object.
struct FieldRef {
    std::string_view name;
    FieldKind kind;
    void* value;  // std::string*, std::int32_t*, double* or DateValue*, by kind
};
using RecordRef = std::span<const FieldRef>;

template <class R>
std::array<FieldRef, field_count_v<R>> record_ref(R& record) {
    return std::apply(
        [&record](auto... f) {
            return std::array<FieldRef, sizeof...(f)>{
                FieldRef{f.name, decltype(f)::kind, static_cast<void*>(&(record.*(f.member)))}...};
        },
        RecordFields<R>::get());
}

// The DETAIL list of a bean.
class RowListRef {
public:
    virtual std::size_t size() const = 0;
    virtual void clear() = 0;
    // The fields of row i; valid until the next call on this object.
    virtual RecordRef row(std::size_t i) = 0;
    // Appends a fresh row and gives its fields, like row().
    virtual RecordRef append() = 0;
    // Makes room for `count` rows in all.
    virtual void reserve(std::size_t count) = 0;

protected:
    ~RowListRef() = default;
};

template <class Row>
class RowListOf final : public RowListRef {
public:
    explicit RowListOf(std::vector<Row>& rows) : rows_(rows) {}
    std::size_t size() const override { return rows_.size(); }
    void clear() override { rows_.clear(); }
    RecordRef row(std::size_t i) override {
        current_ = record_ref(rows_[i]);
        return current_;
    }
    RecordRef append() override {
        rows_.emplace_back();
        return row(rows_.size() - 1);
    }
    void reserve(std::size_t count) override { rows_.reserve(count); }

private:
    std::vector<Row>& rows_;
    std::array<FieldRef, field_count_v<Row>> current_{};
};

// A bean as the serializer's core walks it.
struct BeanRef {
    RecordRef head;         // the transaction head
    RecordRef msg_head;     // the message head
    RowListRef* rows;       // nullptr for business types without rows
};

}  // namespace detail
}  // namespace vorla
