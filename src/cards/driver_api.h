// The functions of the four driver components, as the library calls them and as
// the simulated drivers under tools/drivers export them. Texts are NUL-terminated
// GBK. On Windows every function is __stdcall; elsewhere the C convention.
//
// Components (file names on Linux / Windows):
//   card driver              libSSCardDriver.so / SSCardDriver.dll
//   identity card reader     libdcrf32.so       / dcrf32.dll
//   e-voucher component      libNationECCode.so / NationECCode.dll
//   QR code scanner          libDC_Reader.so    / DC_Reader.dll
#pragma once

#if defined(_WIN32)
#define VORLA_DRIVER_CALL __stdcall
#else
#define VORLA_DRIVER_CALL
#endif

extern "C" {

// ---- card driver ------------------------------------------------------------
// Each returns a status (0 = success) and writes a text into `out`, an area of
// at least 1024 bytes. The library passes 1 as `mode`.
typedef int(VORLA_DRIVER_CALL* iReadCardBas_fn)(int mode, char* out);
typedef int(VORLA_DRIVER_CALL* iReadCardBas_HSM_Step1_fn)(int mode, char* out);
typedef int(VORLA_DRIVER_CALL* iReadCardBas_HSM_Step2_fn)(char* auth_data, char* out);
typedef int(VORLA_DRIVER_CALL* iVerifyPIN_fn)(int mode, char* out);
typedef int(VORLA_DRIVER_CALL* iChangePIN_fn)(int mode, char* out);

// ---- identity card reader -----------------------------------------------------
// Handles are integers; a negative result means failure. The query functions
// return texts owned by the reader library.
typedef int(VORLA_DRIVER_CALL* dc_init_fn)(int port, int baud);
typedef int(VORLA_DRIVER_CALL* dc_find_i_d_fn)(int reader);
typedef int(VORLA_DRIVER_CALL* dc_start_i_d_fn)(int reader);
typedef const char*(VORLA_DRIVER_CALL* dc_i_d_query_fn)(int card);
typedef int(VORLA_DRIVER_CALL* dc_i_d_query_photo_file_fn)(int card, const char* path);
typedef int(VORLA_DRIVER_CALL* dc_end_i_d_fn)(int card);
typedef int(VORLA_DRIVER_CALL* dc_exit_fn)(int reader);

// ---- e-voucher component ------------------------------------------------------
// Returns the status code as text ("0" = success, owned by the component) and
// writes the answer into `out`, an area of at least 1024 bytes.
typedef const char*(VORLA_DRIVER_CALL* NationEcTrans_fn)(const char* address, const char* input, char* out);

// ---- QR code scanner ----------------------------------------------------------
// Writes the scanned code into `buffer`, an area of at least 512 bytes. The
// result is not used.
typedef int(VORLA_DRIVER_CALL* iScan2DBarcodeExt_fn)(int mode, char* buffer);

}  // extern "C"
