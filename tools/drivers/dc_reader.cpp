// Simulated QR code scanner (libDC_Reader.so): iScan2DBarcodeExt answering from
// the scenario. See README.md.
#include <cstring>
#include <string>

#include "cards/driver_api.h"
#include "scenario.h"

using namespace vorla::drivers;

VORLA_DRIVER_EXPORT int VORLA_DRIVER_CALL iScan2DBarcodeExt(int mode, char* buffer) {
    const int call = record_call("iScan2DBarcodeExt", {std::to_string(mode)});
    const auto code = value("iScan2DBarcodeExt", call, "text");
    // Like a scanner: the code over the start of the area, NUL-terminated; the
    // rest of the area keeps what the caller put there.
    put_text(buffer, 512, utf8_to_gbk(code ? *code : std::string()));
    return int_value(value("iScan2DBarcodeExt", call, "result"), 0);
}
