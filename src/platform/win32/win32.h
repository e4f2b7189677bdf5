// Shared helpers of the Win32 platform layer: the Windows headers with the
// usual trimming, text conversion between the library's GBK bytes and the
// system's UTF-16, and handles kept in the int members of the boundary's
// classes.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace vorla::platform::win32 {

// The code page of every text inside the library.
inline constexpr UINT kGbk = 936;

// Bytes of `code_page` to UTF-16. A byte sequence that is not valid in the
// code page becomes U+FFFD (one per byte, or per two-byte character of GBK).
std::wstring widen(std::string_view bytes, UINT code_page = kGbk);

// UTF-16 to `code_page` (GBK or CP_UTF8). For GBK, a character it lacks becomes
// `replacement`.
std::string narrow(std::wstring_view wide, UINT code_page = kGbk, char replacement = '?');

// The system's text for an error code (GetLastError, WSAGetLastError, WinInet
// codes when `module` is wininet.dll), in GBK, without the line end; "error N"
// when the system has none.
std::string error_text(DWORD code, HMODULE module = nullptr);

// Kernel handles are 32-bit values on every Windows (64-bit Windows keeps them
// below 2^32 for interoperability), so the int members of the boundary's
// classes hold them; -1 means none.
inline int to_int(HANDLE h) {
    return h == nullptr || h == INVALID_HANDLE_VALUE ? -1 : static_cast<int>(reinterpret_cast<std::intptr_t>(h));
}
inline HANDLE to_handle(int v) {
    return v < 0 ? INVALID_HANDLE_VALUE : reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(v));
}

// Full path of a module (nullptr: the executable of the process) as GBK.
std::string module_path(HMODULE module);

// The part of a path before its last separator ("\\" or "/"); "" when none.
std::string directory_of(const std::string& path);

}  // namespace vorla::platform::win32
