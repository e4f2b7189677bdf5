#!/usr/bin/env bash
# Builds the Debian packages libvorla1, libvorla-dev and vorla-tools with
# dpkg-buildpackage (debian/), from a copy of the tracked files in
# BUILD_DIR/src (default BUILD_DIR: build-deb), without the upstream tests;
# then unpacks them with dpkg -x into BUILD_DIR/root and checks the unpacked
# files (tests/install/check-installed.sh: find_package and pkg-config consumers,
# an I1 relayed to the unpacked vorla-sim). The .deb files end up in BUILD_DIR.
#
#   ./scripts/build-deb.sh [BUILD_DIR]
# Install on a workstation:  apt-get install ./libvorla1_*.deb ./vorla-tools_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-build-deb}
mkdir -p "$out" && out=$(cd "$out" && pwd)

# The package version follows project(VERSION).
version=$(sed -n 's/^project(vorla VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
deb_version=$(dpkg-parsechangelog -l debian/changelog -S Version)
if [ "${deb_version%%-*}" != "$version" ]; then
  echo "debian/changelog has $deb_version, CMakeLists.txt has $version" >&2
  exit 1
fi

src=$out/src/vorla-$version
rm -rf "$out/src" "$out/root" "$out"/*.deb
mkdir -p "$src"
git ls-files -z | tar --null -T - -cf - | tar -xf - -C "$src"

cmake_args=""
if command -v ccache >/dev/null; then
  cmake_args="-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache"
fi
(cd "$src" && DEB_BUILD_OPTIONS="nocheck noddebs parallel=$(nproc)" VORLA_DEB_CMAKE_ARGS="$cmake_args" \
  dpkg-buildpackage -b -us -uc) >"$out/dpkg-buildpackage.log" 2>&1 \
  || { tail -n 60 "$out/dpkg-buildpackage.log" >&2; exit 1; }
mv "$out"/src/*.deb "$out"/
ls -l "$out"/*.deb

mkdir -p "$out/root"
for deb in "$out"/libvorla1_*.deb "$out"/libvorla-dev_*.deb "$out"/vorla-tools_*.deb; do
  echo "== $(basename "$deb"): $(dpkg-deb -f "$deb" Depends)"
  dpkg -x "$deb" "$out/root"
done
./tests/install/check-installed.sh "$out/root/usr" "$out/check"
