#include "cards/drivers.h"

#include <cstring>
#include <memory>

#include "common/text.h"
#include "journal/journal.h"
#include "platform/library_dir.h"

namespace vorla::cards {
namespace {

// Extra room behind every promised area: a driver that writes a little more
// than it was promised, or forgets the NUL, stays inside memory of ours.
constexpr std::size_t kSpare = 3072;

template <class F>
void bind(const platform::DynamicLibrary& lib, F& slot, const char* name) {
    slot = reinterpret_cast<F>(lib.symbol(name));
}

std::unique_ptr<platform::DynamicLibrary> load(std::string_view stem) {
    std::string error;
    auto lib = platform::open_component(stem, error);
    if (!lib) journal::trace(platform::component_file_name(stem) + ": " + error);
    return lib;
}

}  // namespace

std::string missing_component_text(std::string_view stem) {
    return platform::component_file_name(stem) + gbk("不存在");
}

std::string missing_function_text(std::string_view name) { return gbk("函数") + std::string(name) + gbk("不存在"); }

const CardDriverApi* card_driver(std::string& error) {
    static std::unique_ptr<platform::DynamicLibrary> library;
    static CardDriverApi api;
    if (!library) {
        library = load(kCardDriverStem);
        if (!library) {
            error = missing_component_text(kCardDriverStem);
            return nullptr;
        }
        bind(*library, api.iReadCardBas, "iReadCardBas");
        bind(*library, api.iReadCardBas_HSM_Step1, "iReadCardBas_HSM_Step1");
        bind(*library, api.iReadCardBas_HSM_Step2, "iReadCardBas_HSM_Step2");
        bind(*library, api.iVerifyPIN, "iVerifyPIN");
        bind(*library, api.iChangePIN, "iChangePIN");
    }
    return &api;
}

const IdCardApi* id_card_reader(std::string& error) {
    static std::unique_ptr<platform::DynamicLibrary> library;
    static IdCardApi api;
    if (!library) {
        library = load(kIdCardReaderStem);
        if (!library) {
            error = missing_component_text(kIdCardReaderStem);
            return nullptr;
        }
        bind(*library, api.dc_init, "dc_init");
        bind(*library, api.dc_find_i_d, "dc_find_i_d");
        bind(*library, api.dc_start_i_d, "dc_start_i_d");
        bind(*library, api.dc_i_d_query_name, "dc_i_d_query_name");
        bind(*library, api.dc_i_d_query_id_number, "dc_i_d_query_id_number");
        bind(*library, api.dc_i_d_query_sex, "dc_i_d_query_sex");
        bind(*library, api.dc_i_d_query_birth, "dc_i_d_query_birth");
        bind(*library, api.dc_i_d_query_address, "dc_i_d_query_address");
        bind(*library, api.dc_i_d_query_department, "dc_i_d_query_department");
        bind(*library, api.dc_i_d_query_expire_day, "dc_i_d_query_expire_day");
        bind(*library, api.dc_i_d_query_nation, "dc_i_d_query_nation");
        bind(*library, api.dc_i_d_query_photo_file, "dc_i_d_query_photo_file");
        bind(*library, api.dc_end_i_d, "dc_end_i_d");
        bind(*library, api.dc_exit, "dc_exit");
    }
    return &api;
}

platform::DynamicLibrary* evoucher_component() {
    static std::unique_ptr<platform::DynamicLibrary> library;
    if (!library) library = load(kEVoucherStem);
    return library.get();
}

std::unique_ptr<platform::DynamicLibrary> open_scanner() { return load(kScannerStem); }

DriverArea::DriverArea(std::size_t promised, char fill) : bytes_(promised + kSpare, '\0') {
    std::memset(bytes_.data(), fill, promised);
}

std::string DriverArea::text() const {
    const std::size_t n = bytes_.find('\0');
    return bytes_.substr(0, n == std::string::npos ? bytes_.size() : n);
}

std::string driver_text(const char* text) { return text ? std::string(text) : std::string(); }

}  // namespace vorla::cards
