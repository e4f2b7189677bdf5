// libFuzzer target for the card driver's texts: the card text split into a
// TCardOut (CardReadError for a text with too few items), the HSM step-1 text
// made into its authentication request, and the out-of-region request of the
// record.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "cards/readers.h"
#include "cards/ss_card.h"
#include "common/text.h"

namespace {

using namespace vorla::cards;

void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "fuzz_cardtext: %s\n", what);
        __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    const std::vector<std::string> items = split_card_text(text);
    for (const std::string& item : items)
        // "|" may be the second byte of a character (珅 is AB 7C): only a "|" of its own separates.
        check(vorla::gbk_find_char(item, '|') == std::string::npos && item.find_first_of("\r\n") == std::string::npos,
              "an item holds a separator");

    TCardOut record;
    bool parsed = false;
    try {
        ParseCardRecordText(text, record);
        parsed = true;
    } catch (const CardReadError&) {
        check(items.size() < 11, "CardReadError for a text of eleven items or more");
    }
    if (parsed) {
        check(items.size() >= 11, "a text of fewer than eleven items was taken");
        check(record.ResultCode == 1, "ResultCode not 1 after a read");
        check(record.RegionCode == items[0] && record.IdNumber == items[1] && record.CardNo == items[2] &&
                  record.PersonName == items[4] && record.DeviceNo == items[10],
              "fields not taken from their items");
        check(record.CardId == items[3] + "|" + items[6] + "|" + items[0] + "|" + items[5] + "|", "CardId");
        check(record.BirthDate.size() == 8, "BirthDate is not yyyymmdd");
        check(record.Sex == "1" || record.Sex == "2", "Sex is not 1 or 2");
    }
    (void)remote_card_request(record);

    try {
        (void)hsm_auth_request(text);
        check(items.size() >= 8, "a step-1 text of fewer than eight items was taken");
    } catch (const CardReadError&) {
        check(items.size() < 8, "CardReadError for a step-1 text of eight items or more");
    }
    return 0;
}
