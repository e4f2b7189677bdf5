#!/usr/bin/env bash
# Installs a built vorla (default: build) into a temporary prefix with
# `cmake --install` and checks the installed files with a tiny consumer built
# through find_package(vorla) and through pkg-config, run against the installed
# vorla-sim (tests/install/check-installed.sh).
#
#   ./scripts/test-install.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
prefix=$build/install-test/prefix
rm -rf "$prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null
./tests/install/check-installed.sh "$prefix" "$build/install-test/work"
