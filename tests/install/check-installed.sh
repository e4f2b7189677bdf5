#!/usr/bin/env bash
# Checks an installed vorla under PREFIX (a `cmake --install` prefix, or the usr/
# of Debian packages unpacked with dpkg -x): builds tests/install/consumer.c with
# find_package(vorla) and with pkg-config, starts the installed vorla-sim with the
# installed scenarios and relays an I1 through each consumer with a vorla.ini
# (GBK, CR LF) pointing at the simulator. WORK_DIR is created afresh.
#
#   tests/install/check-installed.sh PREFIX WORK_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
prefix=$(cd "$1" && pwd)
work=$2
rm -rf "$work" && mkdir -p "$work"
work=$(cd "$work" && pwd)

lib=$(find "$prefix/lib" -name 'libvorla.so.1' -print -quit)
[ -n "$lib" ] || { echo "no libvorla.so.1 under $prefix/lib" >&2; exit 1; }
libdir=$(dirname "$lib")
fail() { echo "check-installed: $*" >&2; exit 1; }
[ "$(readlink "$libdir/libvorla.so")" = libvorla.so.1 ] || fail "libvorla.so does not link to libvorla.so.1"
readelf -d "$lib" | grep -q 'SONAME.*\[libvorla\.so\.1\]' || fail "SONAME is not libvorla.so.1"
for f in "$prefix/include/vorla/vorla.h" "$prefix/include/vorla/version.h" "$libdir/pkgconfig/vorla.pc" \
         "$libdir/cmake/vorla/vorlaConfig.cmake" "$libdir/cmake/vorla/vorlaConfigVersion.cmake" \
         "$prefix/bin/vorla-cli" "$prefix/bin/vorla-sim" "$libdir/vorla/simulated-drivers/libSSCardDriver.so" \
         "$prefix/share/vorla/templates/kwmzfp.rmf" "$prefix/share/vorla/templates/kwzyfp.rmf"; do
  [ -e "$f" ] || fail "missing $f"
done
# The simulated drivers must not be where the library looks on its own.
for d in "$libdir"/lib*.so*; do
  case $(basename "$d") in libvorla.so*) ;; *) fail "unexpected $(basename "$d") beside libvorla.so" ;; esac
done

echo "== consumer through find_package(vorla)"
cmake -S "$here" -B "$work/cmake-build" -DCMAKE_PREFIX_PATH="$prefix" >"$work/cmake-configure.log" \
  || { cat "$work/cmake-configure.log" >&2; exit 1; }
cmake --build "$work/cmake-build" >/dev/null
echo "== consumer through pkg-config"
# shellcheck disable=SC2046
cc -o "$work/consumer-pc" "$here/consumer.c" $(PKG_CONFIG_PATH="$libdir/pkgconfig" pkg-config --cflags --libs vorla)
[ "$(PKG_CONFIG_PATH="$libdir/pkgconfig" pkg-config --modversion vorla)" = \
  "$(sed -n 's/^#define VORLA_VERSION "\(.*\)"$/\1/p' "$prefix/include/vorla/version.h")" ] \
  || fail "vorla.pc and version.h disagree on the version"

# ---- the installed simulator with the installed I1 scenario ----------------------
mkdir -p "$work/scenario" "$work/record" "$work/system"
cp "$prefix/share/vorla/sim-scenarios/insured-query/I1.xml" "$work/scenario/"
"$prefix/bin/vorla-sim" --port 0 --scenario "$work/scenario" --record "$work/record" \
  >"$work/sim.out" 2>"$work/sim.err" &
sim_pid=$!
trap 'kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true' EXIT
port=
for _ in $(seq 1 100); do
  port=$(sed -n 's/^listening on \([0-9][0-9]*\)$/\1/p' "$work/sim.out")
  [ -n "$port" ] && break
  kill -0 "$sim_pid" 2>/dev/null || break
  sleep 0.1
done
[ -n "$port" ] || { cat "$work/sim.err" >&2; fail "vorla-sim did not start"; }

export VORLA_SYSTEM_DIR="$work/system"
printf '[医保交易地址]\n医保交易地址=http://127.0.0.1:%s/RemoteFacedeBean/RemoteFacedeBeanService?WSDL\n' "$port" \
  | sed 's/$/\r/' | iconv -f UTF-8 -t GBK >"$VORLA_SYSTEM_DIR/vorla.ini"
today=$(date +%Y%m%d)
printf '%s' "{functionname:'bizbuss',params:{hid:'10010001',biztype:'I1',ip:'10.1.1.1',indata:'<?xml version=\"1.0\" encoding=\"GBK\"?><DATA><HEAD><VER>01.01</VER><APP>I1</APP><WorkDate>$today</WorkDate><Reserve></Reserve><ErrCode></ErrCode><ErrDetail></ErrDetail></HEAD><MSG><HEAD><YLJGDM>10010001</YLJGDM><DKLX>1</DKLX><SBKH>K6400000001</SBKH><SFZH>640102199001011223</SFZH><RYXM>张三</RYXM><JYRQ>$today</JYRQ><MZZYBZ>0</MZZYBZ></HEAD></MSG></DATA>'}}" \
  | iconv -f UTF-8 -t GBK >"$work/i1.request"
name_gbk=$(printf '<RYXM>张三</RYXM>' | iconv -f UTF-8 -t GBK)
for consumer in "$work/cmake-build/consumer" "$work/consumer-pc"; do
  LD_LIBRARY_PATH="$libdir" "$consumer" "$work/i1.request" >"$work/answer" 2>"$work/consumer.err" \
    || { cat "$work/consumer.err" >&2; fail "$consumer failed"; }
  grep -q '<ErrCode>0</ErrCode>' "$work/answer" && grep -qF "$name_gbk" "$work/answer" \
    || { iconv -f GBK -t UTF-8 "$work/answer" >&2 || cat "$work/answer" >&2; fail "$consumer: not the center's I1 answer"; }
  echo "   $(basename "$consumer"): $(cat "$work/consumer.err"), the center's I1 answer came back"
done
# Both requests reached the simulator, and vorla.ini got its other fourteen keys.
[ "$(grep -c '"I1"' "$work/record/requests.jsonl" || true)" -ge 2 ] || fail "the simulator did not record both I1 requests"
[ "$(grep -c '=' "$VORLA_SYSTEM_DIR/vorla.ini")" -eq 15 ] || fail "vorla.ini does not list fifteen keys"
echo "installed vorla under $prefix: OK"
