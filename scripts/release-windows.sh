#!/usr/bin/env bash
# Puts together the Windows release folder and its zip from a cross build
# (scripts/build-windows.sh BUILD_DIR): vorla.dll, the simulated card driver
# components as DLLs (in their own folder), the invoice templates, a complete
# sample vorla.ini (GBK, CR LF, all fifteen keys with their Windows defaults),
# the header, README.txt for the deployer, LICENSE.txt and CHANGELOG.md.
#
#   ./scripts/release-windows.sh [BUILD_DIR] [NATIVE_BUILD_DIR]     # defaults: build-win32 build
#
# The sample vorla.ini is the file the library itself writes on a first call:
# the native build (NATIVE_BUILD_DIR, with vorla-cli) is run once on an empty
# system directory, and the Linux journal root is replaced by the Windows one.
# Output: BUILD_DIR/release/vorla-VERSION-win32/ and BUILD_DIR/release/vorla-VERSION-win32.zip
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-win32}
native=${2:-build}
fail() { echo "release-windows: $*" >&2; exit 1; }
[ -f "$build/vorla.dll" ] || fail "no $build/vorla.dll: run ./scripts/build-windows.sh $build first"
[ -x "$native/vorla-cli" ] && [ -e "$native/libvorla.so" ] || fail "no $native/vorla-cli and $native/libvorla.so (native build)"
version=$(sed -n 's/^#define VORLA_VERSION "\(.*\)"$/\1/p' "$build/include/vorla/version.h")
[ -n "$version" ] || fail "no version in $build/include/vorla/version.h"

name=vorla-$version-win32
release=$build/release/$name
rm -rf "$build/release" && mkdir -p "$release/simulated-drivers" "$release/templates" "$release/include/vorla"
crlf() { sed 's/\r*$/\r/'; }

cp "$build/vorla.dll" "$release/"
for dll in SSCardDriver dcrf32 NationECCode DC_Reader; do
  cp "$build/drivers/$dll.dll" "$release/simulated-drivers/"
done
cp templates/kwmzfp.rmf templates/kwzyfp.rmf "$release/templates/"
cp include/vorla/vorla.h "$build/include/vorla/version.h" "$release/include/vorla/"
crlf <LICENSE >"$release/LICENSE.txt"
crlf <CHANGELOG.md >"$release/CHANGELOG.md"

# ---- the sample vorla.ini ------------------------------------------------------------
system=$build/release/ini-system
mkdir -p "$system"
VORLA_SYSTEM_DIR=$system "$native/vorla-cli" --lib "$native/libvorla.so" "{functionname:'vorla-release',params:{}}" \
  >/dev/null || true   # a rejected call: only the configuration is loaded
[ -f "$system/vorla.ini" ] || fail "the native library wrote no vorla.ini"
journal_key=$(printf '医保交易保存路径=' | iconv -f UTF-8 -t GBK)
LC_ALL=C sed "s#^${journal_key}/var/log/vorla\r\$#${journal_key}c:\\\\logs\r#" "$system/vorla.ini" >"$release/vorla.ini"
rm -rf "$system"
LC_ALL=C grep -q "^${journal_key}c:\\\\logs"$'\r'"\$" "$release/vorla.ini" || fail "the journal root of the sample vorla.ini is not c:\\logs"
[ "$(LC_ALL=C grep -c '=' "$release/vorla.ini")" -eq 15 ] || fail "the sample vorla.ini does not hold fifteen keys"
[ "$(LC_ALL=C grep -vc $'\r$' "$release/vorla.ini" || true)" -eq 0 ] || fail "the sample vorla.ini has lines without CR LF"
iconv -f GBK -t UTF-8 "$release/vorla.ini" >/dev/null || fail "the sample vorla.ini is not GBK"

# ---- README.txt for the deployer --------------------------------------------------------
{ printf '\357\273\277'; crlf; } >"$release/README.txt" <<TEXT   # UTF-8 with a BOM, for Notepad
vorla $version for 32-bit Windows
==============================

vorla.dll is the medical-insurance front-end library the hospital information
system (HIS) loads. It exports invoke (ordinal 4), tembro_invoke (3),
node_invoke (2) and nodeaddon_invoke (1), stdcall, undecorated names; the
buffer contracts are in include/vorla/vorla.h. This release version ($version)
is the library's own; the client version the insurance center sees
("2.2020.12.6") belongs to the center's protocol and does not change with it.

What goes where on a workstation
--------------------------------
vorla.dll
    beside the HIS executable, or anywhere on the DLL search path.
    It imports only system DLLs (KERNEL32, USER32, GDI32, COMDLG32, IMM32,
    msvcrt, WININET, WS2_32, WINSPOOL.DRV): nothing else to install.
vorla.ini
    the Windows system directory: C:\\Windows\\System32, or for a 32-bit HIS on
    64-bit Windows C:\\Windows\\SysWOW64. This sample (GBK, CR LF) holds all
    fifteen keys with their defaults: set the center address (医保交易地址),
    the authentication, monitoring and e-voucher addresses, the institution key
    and, to turn the journal on, the save mode. With every key present the
    library writes nothing there, so the HIS needs no write permission.
templates\\kwmzfp.rmf, templates\\kwzyfp.rmf
    the outpatient and inpatient invoice templates: copy both into the system
    directory (beside vorla.ini).
The card reader vendor's SSCardDriver.dll, dcrf32.dll, NationECCode.dll, DC_Reader.dll
    beside vorla.dll (looked up there first), else on the DLL search path.
log4me.ini (optional)
    beside the HIS executable: [log4me] path=logs level=info turns the
    diagnostic log on.

simulated-drivers\\
    simulated card driver components answering from a scenario file
    (VORLA_DRIVER_SCENARIO), for test machines without hardware only.
    NEVER copy them onto a real workstation: placed beside vorla.dll they
    would answer instead of the card readers.

The library writes the journal under the configured root (c:\\logs by default,
off until a save mode is set), the card-read trace under C:\\ReadCard,
ybjkInterceptor.db and IDphoto.jpg in the system directory.

License: MIT (LICENSE.txt). Changes: CHANGELOG.md.
TEXT

rm -f "$build/release/$name.zip"
(cd "$build/release" && zip -qr "$name.zip" "$name")
echo "release folder: $release"
(cd "$build/release" && unzip -l "$name.zip")
