// libFuzzer target for the bean serializer: the first input byte picks one of
// the beans of the message catalogue, the rest is read into a fresh bean of that
// type (BeanReadError is the documented failure), and the bean is written.
// What is written must read back without error into the same document.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <tuple>

#include "messages/catalogue.h"
#include "messages/serializer.h"

namespace {

using namespace vorla;

using Beans = std::tuple<TJ1InBean, TJ1OutBean, TJ2InBean, TJ2OutBean, TJ4InBean, TJ4OutBean, TJ8InBean,
                         TJ8OutBean, TJ9InBean, TJ9OutBean, TJ10InBean, TJ10OutBean, TJ11InBean, TI1InBean,
                         TI1OutBean, TD1InBean, TD1OutBean, TE1InBean, TE1OutBean, TF1InBean>;
constexpr std::size_t kBeanCount = std::tuple_size_v<Beans>;

void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "fuzz_beans: %s\n", what);
        __builtin_trap();
    }
}

template <class B>
void exercise(std::string_view document) {
    B bean;
    try {
        read_bean(document, bean);
    } catch (const BeanReadError&) {
        // The bean is partly filled; writing it is still defined.
    }
    const std::string written = write_bean(bean);
    B again;
    try {
        read_bean(written, again);
    } catch (const BeanReadError&) {
        check(false, "a written document raised BeanReadError");
    }
    check(write_bean(again) == written, "a written document did not read back to itself");
    if constexpr (B::has_rows) check(again.MSG.DETAIL.size() == bean.MSG.DETAIL.size(), "rows lost");
}

template <std::size_t... I>
void dispatch(std::size_t index, std::string_view document, std::index_sequence<I...>) {
    ((index == I ? exercise<std::tuple_element_t<I, Beans>>(document) : void()), ...);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::string_view document(reinterpret_cast<const char*>(data) + 1, size - 1);
    dispatch(data[0] % kBeanCount, document, std::make_index_sequence<kBeanCount>{});
    return 0;
}
