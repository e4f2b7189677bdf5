#!/usr/bin/env bash
# Installs what building and testing vorla needs on a Debian 12 machine.
set -euo pipefail
# node and npm are not listed: the machines have Node 20 (with npm) from its own
# packages; the binding test of bindings/ is skipped where they are missing.
packages=(
  build-essential cmake pkg-config binutils
  libpugixml-dev zlib1g-dev
  libgtest-dev googletest
  libfltk1.3-dev libx11-dev libxft-dev fonts-noto-cjk xvfb xauth
  libxtst-dev libxcursor-dev libxinerama-dev
  libcurl4-openssl-dev libcpp-httplib-dev
  libbenchmark-dev
  libsqlite3-dev
  libcairo2-dev libpango1.0-dev libcups2-dev poppler-utils cups-daemon cups-filters
  clang libclang-rt-14-dev
  fp-compiler mono-mcs mono-runtime libmono-i18n-cjk4.0-cil
  debhelper dpkg-dev zip
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get install -y "${missing[@]}" || { apt-get update && apt-get install -y "${missing[@]}"; }
fi
