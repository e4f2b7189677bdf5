#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ (clang, AddressSanitizer +
# UndefinedBehaviorSanitizer) in build-fuzz and runs each for SECONDS (default
# 20) on a copy of its seed corpus in build-fuzz/fuzz-corpus/<name> (the copy
# keeps what the runs add; the seeds in fuzz/corpus are never written). Fails at
# the first target that crashes, leaks, hangs or breaks one of its checks; the
# input that did it is left in build-fuzz/fuzz-artifacts/.
#
#   ./scripts/fuzz.sh 20          # smoke run (the test command)
#   ./scripts/fuzz.sh 600         # the long run: ten minutes per target
#   ./scripts/fuzz.sh 60 beans    # some targets only
#
# An input that runs longer than VORLA_FUZZ_TIMEOUT seconds (default 10) counts
# as a hang; raise it when the machine is busy with other work, since the limit
# is wall-clock time.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(json invoke beans unpack cardtext settlement answers)
./scripts/deps.sh

build=build-fuzz
CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVORLA_FUZZ=ON -DVORLA_SANITIZE=ON -DVORLA_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target vorla_fuzz

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$PWD/tests/lsan-suppressions.txt
mkdir -p "$build/fuzz-artifacts" "$build/fuzz-tmp"
# fuzz_invoke makes its system directory (vorla.ini, store) here.
export TMPDIR=$PWD/$build/fuzz-tmp
summary=()
for name in "${targets[@]}"; do
  corpus="$build/fuzz-corpus/$name"
  mkdir -p "$corpus"
  cp -n fuzz/corpus/"$name"/* "$corpus"/
  args=(-max_total_time="$seconds" -timeout="${VORLA_FUZZ_TIMEOUT:-10}" -rss_limit_mb=2048 -print_final_stats=1
        -artifact_prefix="$build/fuzz-artifacts/$name-")
  [ -f "fuzz/dict/$name.dict" ] && args+=(-dict="fuzz/dict/$name.dict")
  log="$build/fuzz-artifacts/$name.log"
  echo "== fuzz_$name for ${seconds}s"
  if ! "$build/fuzz/fuzz_$name" "${args[@]}" "$corpus" >"$log" 2>&1; then
    tail -n 60 "$log"
    echo "FAILED: fuzz_$name (log: $log)" >&2
    exit 1
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  summary+=("fuzz_$name: ${runs:-?} executions, corpus $(ls "$corpus" | wc -l) inputs, no crash")
done
printf '%s\n' "${summary[@]}"
echo "all fuzz targets ran clean"
