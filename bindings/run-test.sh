#!/usr/bin/env bash
# Runs one binding's test against the built library and a vorla-sim started
# here: run-test.sh node|python|pascal|csharp BUILD_DIR
# Prints "SKIPPED: ..." and exits 0 when the language's runtime is missing.
# Each test sends the same calls: a rejected function name, and an I1 relayed
# to the simulator whose request carries Chinese texts (GBK second bytes 0x5C
# and 0x7C); it checks the answer's Chinese texts. This script then checks that
# the simulator received the request's texts unchanged.
set -euo pipefail
lang=$1
build=$(cd "$2" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
work="$build/bindings-test/$lang"
rm -rf "$work" && mkdir -p "$work/system" "$work/record"

skip() { echo "SKIPPED: $lang binding: $*"; exit 0; }
# A library built with AddressSanitizer loads only into programs started with
# its runtime; the bindings are tested with the plain build.
[ "${3:-}" = sanitized ] && skip "the sanitizer build's library cannot be loaded by the language's runtime"
case $lang in
  node) command -v node >/dev/null && command -v npm >/dev/null || skip "node or npm not installed" ;;
  python) command -v python3 >/dev/null || skip "python3 not installed" ;;
  pascal) command -v fpc >/dev/null || skip "fpc (Debian: fp-compiler) not installed" ;;
  csharp) command -v mcs >/dev/null && command -v mono >/dev/null || skip "mcs/mono (Debian: mono-mcs, mono-runtime) not installed" ;;
  *) echo "unknown binding $lang" >&2; exit 2 ;;
esac

# The insured-query scenario, each I1 answered after 200 ms (the queue tests rely on it).
mkdir -p "$work/scenario" && cp "$here/../tools/sim/scenarios/insured-query/I1.xml" "$work/scenario/"
echo 200 > "$work/scenario/I1.delay"
"$build/vorla-sim" --port 0 --scenario "$work/scenario" --record "$work/record" \
  > "$work/sim.out" 2> "$work/sim.err" &
sim=$!
trap 'kill $sim 2>/dev/null; wait $sim 2>/dev/null || true' EXIT
for _ in $(seq 100); do grep -q "listening on" "$work/sim.out" && break; sleep 0.1; done
port=$(sed -n 's/^listening on //p' "$work/sim.out")
[ -n "$port" ] || { echo "vorla-sim did not start"; cat "$work/sim.err"; exit 1; }

printf '[医保交易地址]\r\n医保交易地址=http://127.0.0.1:%s/RemoteFacedeBean/RemoteFacedeBeanService?WSDL\r\n' "$port" \
  | iconv -f UTF-8 -t GBK > "$work/system/vorla.ini"
export VORLA_SYSTEM_DIR="$work/system" VORLA_LIBRARY="$build/libvorla.so"
# The texts the tests send and expect (UTF-8 here; every binding converts to GBK).
export VORLA_TEST_NAME="王俓亅"           # GBK second bytes 0x5C and 0x7C
export VORLA_TEST_EXPECT="城乡居民基本医疗保险"
VORLA_TEST_NAME_GBK=$(printf %s "$VORLA_TEST_NAME" | iconv -f UTF-8 -t GBK)
VORLA_TEST_EXPECT_GBK=$(printf %s "$VORLA_TEST_EXPECT" | iconv -f UTF-8 -t GBK)
VORLA_TEST_REJECTED_GBK=$(printf %s "{returnCode:0,exception:'非法的函数名'}" | iconv -f UTF-8 -t GBK)
export VORLA_TEST_NAME_GBK VORLA_TEST_EXPECT_GBK VORLA_TEST_REJECTED_GBK

case $lang in
  node)
    mkdir -p "$work/pkg" && cp "$here/node/package.json" "$here/node/package-lock.json" "$here/node/index.js" \
      "$here/node/index.d.ts" "$here/node/test.js" "$work/pkg/"
    (cd "$work/pkg" && npm ci --no-audit --no-fund --loglevel=error) || skip "npm could not install koffi/iconv-lite from the registry"
    node "$work/pkg/test.js" ;;
  python) python3 "$here/python/test_vorla.py" ;;
  pascal)
    fpc -v0 -Fu"$here/pascal" -Fl"$build" -FE"$work" -FU"$work" "$here/pascal/vorlatest.pas" > "$work/fpc.log" || { cat "$work/fpc.log"; exit 1; }
    LD_LIBRARY_PATH="$build${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}" "$work/vorlatest" ;;
  csharp)
    mcs -define:VORLA_LINUX -out:"$work/VorlaTest.exe" "$here/csharp/Vorla.cs" "$here/csharp/VorlaTest.cs"
    LD_LIBRARY_PATH="$build${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}" mono "$work/VorlaTest.exe" ;;
esac

# The simulator received the name as GBK: its record holds it (UTF-8 in "document").
grep -q "$VORLA_TEST_NAME" "$work/record/requests.jsonl" || { echo "the simulator did not receive $VORLA_TEST_NAME"; exit 1; }
echo "PASSED: $lang binding"
