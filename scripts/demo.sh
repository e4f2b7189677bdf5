#!/usr/bin/env bash
# Builds vorla and runs the demo: vorla-cli, standing in for the hospital's
# program, sends requests through the library's exports and prints the answers.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)" --target vorla vorla-cli

demo=build/demo
rm -rf "$demo" && mkdir -p "$demo/system"
export VORLA_SYSTEM_DIR="$PWD/$demo/system"   # vorla.ini is created here
cli=build/vorla-cli

run() {
  local title=$1; shift
  echo "== $title"
  set +e; "$cli" --utf8 "$@"; local rc=$?; set -e
  echo "   (exit code $rc)"
}

doc='<?xml version="1.0" encoding="GBK"?><DATA><HEAD><VER>1.0</VER><APP>C0</APP></HEAD><MSG><HEAD><YLJGDM>H0001</YLJGDM></HEAD></MSG></DATA>'
run "a function name other than bizbuss is rejected" "{functionname:'BizBuss',params:{}}"
run "a missing parameter is answered with an error document" "{functionname:'bizbuss',params:{hid:'H0001',biztype:'C0',indata:'x'}}"
run "a relayed business type, through tembro_invoke" --export tembro_invoke \
  "{functionname:'bizbuss',params:{hid:'H0001',biztype:'C0',ip:'10.1.1.1',indata:'$doc'}}"
run "the same through node_invoke (Base64 decoded by the cli)" --export node_invoke \
  "{functionname:'bizbuss',params:{hid:'H0001',biztype:'C0',ip:'10.1.1.1',indata:'$doc'}}"
run "the same through nodeaddon_invoke (UTF-8 answer)" --export nodeaddon_invoke \
  "{functionname:'bizbuss',params:{hid:'H0001',biztype:'C0',ip:'10.1.1.1',indata:'$doc'}}"
echo "== the configuration written on the first call: $VORLA_SYSTEM_DIR/vorla.ini"
iconv -f GBK -t UTF-8 "$VORLA_SYSTEM_DIR/vorla.ini" | tr -d '\r'
