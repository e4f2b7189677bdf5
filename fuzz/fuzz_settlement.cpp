// libFuzzer target for the settlement choices logic on an I1 answer.
//
// Input: byte 0 gives the number of clicks n (0..31), the next n bytes the
// clicks (top two bits: insurance type, category, disease, FormShow again; the
// rest an index, taken modulo the items shown), then the I1 answer (GBK). The
// form is made (SettlementDataError and BeanReadError are its documented
// failures), shown, clicked, and its OK, Cancel and unavailable answers made;
// each must read back as an I1 answer.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <algorithm>
#include <optional>
#include <string_view>
#include <vector>

#include "messages/catalogue.h"
#include "messages/serializer.h"
#include "query/settlement_choices.h"

namespace {

using namespace vorla;
using query::TF_display;

void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "fuzz_settlement: %s\n", what);
        __builtin_trap();
    }
}

int checked_count(const std::vector<query::CheckItem>& items) {
    int n = 0;
    for (const auto& i : items) n += i.checked ? 1 : 0;
    return n;
}

TI1OutBean read_answer(const std::string& text) {
    TI1OutBean bean;
    try {
        read_bean(text, bean);
    } catch (const BeanReadError&) {
        check(false, "an answer of the dialog raised BeanReadError");
    }
    return bean;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::size_t clicks = std::min<std::size_t>(data[0] % 32, size - 1);
    const std::uint8_t* click = data + 1;
    const std::string_view answer(reinterpret_cast<const char*>(data) + 1 + clicks, size - 1 - clicks);

    std::optional<TF_display> form;
    try {
        form.emplace(answer);
    } catch (const query::SettlementDataError&) {
        return 0;
    } catch (const BeanReadError&) {
        return 0;
    }
    const std::size_t rows = read_answer(std::string(answer)).MSG.DETAIL.size();
    check(form->insurance_types().size() == rows, "not one insurance type per row");

    form->FormShow();
    check(rows == 0 || form->selected_insurance_type() >= 0, "FormShow selected nothing");
    for (std::size_t i = 0; i < clicks; ++i) {
        const int kind = click[i] >> 6;
        const std::size_t index = click[i] & 0x3f;
        switch (kind) {
            case 0:
                if (const auto n = form->insurance_types().size()) form->select_insurance_type(int(index % n));
                break;
            case 1:
                if (const auto n = form->categories().size()) {
                    form->click_category(int(index % n));
                    check(checked_count(form->categories()) <= 1, "more than one category checked");
                }
                break;
            case 2:
                if (const auto n = form->diseases().size()) form->click_disease(int(index % n));
                break;
            default:
                form->FormShow();
                break;
        }
        const int selected = form->selected_insurance_type();
        check(selected >= -1 && selected < int(form->insurance_types().size()), "selection out of range");
    }
    (void)form->basic_fields();
    (void)form->treatment_fields();

    if (form->selected_insurance_type() >= 0) {
        const TI1OutBean ok = read_answer(form->ok_answer());
        check(!ok.MSG.DETAIL.empty() && ok.MSG.DETAIL.size() <= rows, "OK kept no row or added rows");
    } else {
        try {
            (void)form->ok_answer();
            check(false, "OK without a selection gave an answer");
        } catch (const query::NothingSelectedError&) {
        }
    }
    const TI1OutBean cancel = read_answer(form->cancel_answer());
    check(cancel.MSG.DETAIL.size() == rows && cancel.HEAD.ErrCode == "1", "Cancel answer");
    const TI1OutBean unavailable = read_answer(form->unavailable_answer("x"));
    check(unavailable.MSG.DETAIL.size() == rows && unavailable.HEAD.ErrCode == "-1", "unavailable answer");
    return 0;
}
