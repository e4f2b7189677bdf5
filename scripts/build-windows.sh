#!/usr/bin/env bash
# Builds vorla.dll for 32-bit Windows (i686) with Debian's MinGW-w64, posix
# threads variant, linked with -static so that the DLL imports system DLLs only.
#
#   ./scripts/build-windows.sh [BUILD_DIR]      (default: build-win32 in the repository)
#
# Installs what it needs with apt-get. The dependencies are built for the target
# from Debian's source packages (apt-get source, after adding a deb-src entry for
# the Debian archive the machine already uses) into BUILD_DIR/deps, never into
# the source tree: pugixml and SQLite (its amalgamation, made from Debian's
# sqlite3 source). zlib is Debian's libz-mingw-w64-dev. The dialogs, the
# preview and printing use the system's own Win32 and GDI. A second run reuses what the first one built in BUILD_DIR.
#
# Result: BUILD_DIR/vorla.dll and the Windows test host
# BUILD_DIR/tests/windows/vorla-wintest.exe (tests/windows/run.sh runs it).
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-${VORLA_WIN32_BUILD_DIR:-$repo/build-win32}}")
deps=$build/deps
prefix=$deps/prefix
jobs=$(( $(nproc) < 2 ? $(nproc) : 2 ))
toolchain=$repo/cmake/mingw-w64-i686.cmake
triplet=i686-w64-mingw32

say() { printf '== %s\n' "$*"; }

# ---- packages -------------------------------------------------------------------
packages=(
  cmake make pkg-config dpkg-dev xz-utils tcl
  gcc-mingw-w64-i686-posix g++-mingw-w64-i686-posix binutils-mingw-w64-i686 mingw-w64-i686-dev
  libz-mingw-w64-dev
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  say "installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get install -y --no-install-recommends "${missing[@]}" ||
    { apt-get update && apt-get install -y --no-install-recommends "${missing[@]}"; }
fi

# ---- Debian source packages -------------------------------------------------------
# A deb-src entry for every "deb" stanza of the machine's Debian sources: the
# same archive, suites and keys.
deb_src_ready=false
ensure_deb_src() {
  $deb_src_ready && return 0
  local list=/etc/apt/sources.list.d/debian.sources
  local src_list=/etc/apt/sources.list.d/vorla-deb-src.sources
  if ! grep -qsE '^Types:.*deb-src' /etc/apt/sources.list.d/*.sources &&
     ! grep -qsE '^deb-src ' /etc/apt/sources.list /etc/apt/sources.list.d/*.list; then
    [ -f "$list" ] || { echo "no $list to derive a deb-src entry from" >&2; return 1; }
    say "adding deb-src entries ($src_list) for the archive of $list"
    awk 'BEGIN { RS = ""; ORS = "\n\n" }
         /(^|\n)Types:[ \t]*([^\n]* )?deb([ \t]|\n|$)/ { sub(/Types:[^\n]*/, "Types: deb-src"); print }' \
      "$list" > "$src_list.tmp"
    mv "$src_list.tmp" "$src_list"
    apt-get update
  elif ! apt-cache showsrc pugixml >/dev/null 2>&1 || [ -z "$(apt-cache showsrc pugixml 2>/dev/null)" ]; then
    apt-get update
  fi
  deb_src_ready=true
}

# fetch_source PACKAGE: unpacks Debian's source package (patches applied) under
# deps/src and prints its directory; fails when the archive does not serve it.
fetch_source() {
  local pkg=$1 dir
  dir=$(find "$deps/src" -mindepth 1 -maxdepth 1 -type d -name "$pkg-*" 2>/dev/null | sort | tail -n 1)
  if [ -n "$dir" ] && [ -f "$dir/.vorla-unpacked" ]; then echo "$dir"; return 0; fi
  ensure_deb_src >&2 || return 1
  mkdir -p "$deps/src"
  say "fetching the Debian source package $pkg" >&2
  (cd "$deps/src" && apt-get source "$pkg") >&2 || return 1
  dir=$(find "$deps/src" -mindepth 1 -maxdepth 1 -type d -name "$pkg-*" | sort | tail -n 1)
  [ -n "$dir" ] || return 1
  touch "$dir/.vorla-unpacked"
  echo "$dir"
}

mkdir -p "$prefix/include" "$prefix/lib"

# ---- pugixml ----------------------------------------------------------------------------
if [ ! -f "$prefix/lib/libpugixml.a" ]; then
  src=$(fetch_source pugixml)
  say "building pugixml for $triplet"
  rm -rf "$deps/build/pugixml"
  cmake -S "$src" -B "$deps/build/pugixml" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF \
    -DPUGIXML_BUILD_TESTS=OFF >/dev/null
  cmake --build "$deps/build/pugixml" -j"$jobs" >/dev/null
  cmake --install "$deps/build/pugixml" >/dev/null
fi

# ---- SQLite ---------------------------------------------------------------------------------
# The amalgamation (one sqlite3.c) is generated from Debian's source with its own
# tools (tclsh), then compiled for the target.
if [ ! -f "$prefix/lib/libsqlite3.a" ]; then
  src=$(fetch_source sqlite3)
  say "building SQLite for $triplet"
  amalgamation=$deps/build/sqlite3
  rm -rf "$amalgamation" && mkdir -p "$amalgamation"
  (cd "$amalgamation" && "$src/configure" --disable-tcl >/dev/null && make -j"$jobs" sqlite3.c >/dev/null)
  ${triplet}-gcc-posix -O2 -DSQLITE_THREADSAFE=1 -DSQLITE_OMIT_LOAD_EXTENSION -DSQLITE_DEFAULT_FOREIGN_KEYS=0 \
    -c "$amalgamation/sqlite3.c" -o "$amalgamation/sqlite3.o"
  rm -f "$amalgamation/libsqlite3.a"
  ${triplet}-ar rcs "$amalgamation/libsqlite3.a" "$amalgamation/sqlite3.o"
  cp "$amalgamation/sqlite3.h" "$prefix/include/"
  cp "$amalgamation/libsqlite3.a" "$prefix/lib/"
fi

# ---- vorla.dll ---------------------------------------------------------------------------------
say "building vorla.dll in $build"
cmake -S "$repo" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DVORLA_WIN32_DEPS="$prefix" \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j"$jobs"

# The DLL must import system DLLs only: no MinGW runtime, no zlib/SQLite DLL.
imports=$(${triplet}-objdump -p "$build/vorla.dll" | awk '/DLL Name:/ { print $3 }' | sort -u)
system_dlls='^(KERNEL32|USER32|GDI32|ADVAPI32|SHELL32|OLE32|OLEAUT32|COMCTL32|COMDLG32|WININET|WS2_32|WSOCK32|MSVCRT|WINSPOOL\.DRV|SHLWAPI|IMM32|UUID|VERSION|COMDLG32)(\.DLL)?$'
bad=$(echo "$imports" | tr '[:lower:]' '[:upper:]' | grep -Ev "$system_dlls" || true)
if [ -n "$bad" ]; then
  echo "vorla.dll imports non-system DLLs:" $bad >&2
  exit 1
fi
say "vorla.dll imports only system DLLs:" $imports
ls -l "$build/vorla.dll"
