// The bean serializer: a bean to its transaction document and back.
//
// Write gives one line of GBK XML: the declaration, DATA, the transaction head,
// and MSG with its head and one DETAIL element per row. Fields are written in
// declared order; empty texts, integers without value (kNoValue), decimals of 0
// and zero dates leave no element, and a record with nothing to write leaves no
// element either (a row always gives its DETAIL element).
//
// Read fills a bean from a GBK document:
// - the document must start with the declaration <?xml version="1.0"
//   encoding="GBK"?> (letters in any case) and its root start tag must be
//   <DATA> (letters in any case, no attributes); otherwise nothing is read and
//   the bean keeps every value it had;
// - rows: from the first literal "<DETAIL>" up to MSG's end tag is the row list,
//   each "<DETAIL>" element there one row (a self-closing DETAIL is no row, other
//   elements are ignored); the heads are read from the rest of the document;
//   without a literal "<DETAIL>" there are no rows;
// - field elements are found by name without regard to letter case, in any order;
//   a missing element gives an empty text, kNoValue, 0.0 or the zero date;
// - a document that stops being well-formed is read as far as it parses.
// Integer and date contents that cannot be read raise BeanReadError; the bean is
// then partly filled.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

#include "common/datetime.h"
#include "messages/beans.h"

namespace vorla {

// "Invalid integer value (<content>)." or "Error in datetime property <field>".
class BeanReadError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

namespace detail {
std::string write_document(const BeanRef& bean);
void read_document(std::string_view gbk, const BeanRef& bean);

template <class B>
void with_bean_ref(B& bean, auto&& fn) {
    auto head = record_ref(bean.HEAD);
    auto msg_head = record_ref(bean.MSG.HEAD);
    if constexpr (B::has_rows) {
        RowListOf<typename B::row_type> rows(bean.MSG.DETAIL);
        fn(BeanRef{head, msg_head, &rows});
    } else {
        fn(BeanRef{head, msg_head, nullptr});
    }
}
}  // namespace detail

// The transaction document of a bean (GBK).
template <class B>
std::string write_bean(const B& bean) {
    std::string out;
    // The core only reads through the references it is given here.
    detail::with_bean_ref(const_cast<B&>(bean),
                          [&out](const detail::BeanRef& ref) { out = detail::write_document(ref); });
    return out;
}

// Fills a bean (normally a fresh one) from a GBK transaction document; the rows
// are replaced by the rows found. Throws BeanReadError.
template <class B>
void read_bean(std::string_view gbk, B& bean) {
    detail::with_bean_ref(bean, [gbk](const detail::BeanRef& ref) { detail::read_document(gbk, ref); });
}

// Written forms of the value kinds.
// Decimal: at most 15 significant digits, no trailing zeros; fixed-point when
// the magnitude is at least 0.00001 with at most 15 digits before the point,
// else exponent form ("1E-7", "1.5E20").
std::string decimal_text(double v);
// Date: yyyymmdd without a time part, yyyymmddhhnnss with one, hh:mm:ss.zzz for
// a time without a day; "" for the zero date and for values out of range.
std::string date_text(DateValue v);

}  // namespace vorla
