#!/usr/bin/env bash
# Builds vorla in Release with the benchmarks (-DVORLA_BENCH=ON, build directory
# build-bench) and runs them: the relay of an I1 document through `invoke`
# against vorla-sim versus a bare libcurl POST of the same SOAP body, and
# pack+unpack of a 500-row E1 document versus raw zlib+Base64. Prints the ratios
# against their targets. Arguments go to Google Benchmark (e.g.
# --benchmark_filter=E1, --benchmark_repetitions=10). Not part of the tests.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/deps.sh
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DVORLA_BENCH=ON -DVORLA_TESTS=OFF
cmake --build build-bench -j"$(nproc)" --target vorla_bench
exec build-bench/bench/vorla_bench "$@"
