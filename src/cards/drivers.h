// Bindings of the driver components, loaded by name through the platform layer
// when first needed: beside the library first, then from the system's search
// path. A component that cannot be loaded is no failure of the library: the read
// that needs it fails with a text naming the missing file, and the next read
// tries again.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "cards/driver_api.h"
#include "platform/platform.h"

namespace vorla::cards {

// Component stems; the file names follow the platform (libSSCardDriver.so, SSCardDriver.dll).
inline constexpr std::string_view kCardDriverStem = "SSCardDriver";
inline constexpr std::string_view kIdCardReaderStem = "dcrf32";
inline constexpr std::string_view kEVoucherStem = "NationECCode";
inline constexpr std::string_view kScannerStem = "DC_Reader";

// The card driver's functions; a member is nullptr when the component lacks it.
struct CardDriverApi {
    iReadCardBas_fn iReadCardBas = nullptr;
    iReadCardBas_HSM_Step1_fn iReadCardBas_HSM_Step1 = nullptr;
    iReadCardBas_HSM_Step2_fn iReadCardBas_HSM_Step2 = nullptr;
    iVerifyPIN_fn iVerifyPIN = nullptr;
    iChangePIN_fn iChangePIN = nullptr;
};

// The identity card reader's functions; a member is nullptr when the component lacks it.
struct IdCardApi {
    dc_init_fn dc_init = nullptr;
    dc_find_i_d_fn dc_find_i_d = nullptr;
    dc_start_i_d_fn dc_start_i_d = nullptr;
    dc_i_d_query_fn dc_i_d_query_name = nullptr;
    dc_i_d_query_fn dc_i_d_query_id_number = nullptr;
    dc_i_d_query_fn dc_i_d_query_sex = nullptr;
    dc_i_d_query_fn dc_i_d_query_birth = nullptr;
    dc_i_d_query_fn dc_i_d_query_address = nullptr;
    dc_i_d_query_fn dc_i_d_query_department = nullptr;
    dc_i_d_query_fn dc_i_d_query_expire_day = nullptr;
    dc_i_d_query_fn dc_i_d_query_nation = nullptr;
    dc_i_d_query_photo_file_fn dc_i_d_query_photo_file = nullptr;
    dc_end_i_d_fn dc_end_i_d = nullptr;
    dc_exit_fn dc_exit = nullptr;
};

// The card driver, kept loaded once it loaded. nullptr when it cannot be
// loaded; `error` then holds the text for the cashier (missing_component_text).
const CardDriverApi* card_driver(std::string& error);
// The identity card reader, the same way.
const IdCardApi* id_card_reader(std::string& error);
// The e-voucher component's library, kept loaded for the life of the process
// once it loaded; nullptr when it cannot be loaded.
platform::DynamicLibrary* evoucher_component();
// The QR scanner, loaded for one use: the caller releases it.
std::unique_ptr<platform::DynamicLibrary> open_scanner();

// "<file name>不存在", e.g. "libSSCardDriver.so不存在" (GBK).
std::string missing_component_text(std::string_view stem);
// "函数<name>不存在" (GBK).
std::string missing_function_text(std::string_view name);

// An output area handed to a driver: zero-filled, with room to spare beyond
// what the driver is promised, so that a text is always cut at a NUL inside it.
class DriverArea {
public:
    explicit DriverArea(std::size_t promised, char fill = '\0');
    char* data() { return bytes_.data(); }
    // The text up to the first NUL (never beyond the area).
    std::string text() const;

private:
    std::string bytes_;
};

// A text returned by a driver: "" for nullptr, else the bytes up to the NUL.
std::string driver_text(const char* text);

}  // namespace vorla::cards
