#!/usr/bin/env bash
# Runs the Windows test host under Wine against vorla-sim running natively,
# then the Win32 dialogs, the invoice preview and printing on a virtual display.
#
#   tests/windows/run.sh [WIN32_BUILD_DIR] [NATIVE_BUILD_DIR]
#
# WIN32_BUILD_DIR holds vorla.dll and tests/windows/vorla-wintest.exe
# (scripts/build-windows.sh; default build-win32), NATIVE_BUILD_DIR the native
# build with vorla-sim (default build; vorla-sim is built there when missing).
#
# Installs Wine for 32-bit programs when it is missing (i386 architecture,
# wine32). Where the kernel cannot run 32-bit x86 programs ("Exec format
# error"), Wine's i386 loader runs under qemu-i386-static through a small
# wrapper. Every run uses a fresh Wine prefix under WIN32_BUILD_DIR, in a
# Chinese locale (ANSI code page 936, like the workstations).
#
# The dialog test (vorla-dialog-test.exe) runs on a private Xvfb display and
# prints to a PostScript printer whose output the spooler copies to files.
# Artifacts, kept after the run in WIN32_BUILD_DIR/windows-artifacts: the
# screenshots of every dialog and of the preview (*.png), the printed jobs
# (printed/*.ps), the printed invoice as an image (printed-invoice.png) and its
# text (printed-invoice.txt), which must hold the patient's name.
#
# Exit code: that of the test host; 0 with a SKIPPED line when Wine cannot run
# here at all.
set -euo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
win_build=$(realpath -m "${1:-$repo/build-win32}")
native_build=$(realpath -m "${2:-$repo/build}")
host_exe=$win_build/tests/windows/vorla-wintest.exe
platform_exe=$win_build/tests/windows/vorla-platform-test.exe
dialog_exe=$win_build/tests/windows/vorla-dialog-test.exe
dll=$win_build/vorla.dll
work=$win_build/wine-run
artifacts=$win_build/windows-artifacts

skip() {
  echo "SKIPPED: the Windows suite cannot run under Wine here: $*"
  exit 0
}

for f in "$dll" "$host_exe" "$platform_exe" "$dialog_exe"; do
  [ -f "$f" ] || { echo "missing $f: run scripts/build-windows.sh first" >&2; exit 1; }
done

# ---- Wine -----------------------------------------------------------------------------------
if [ ! -x /usr/lib/wine/wine ] || ! command -v qemu-i386-static >/dev/null 2>&1; then
  export DEBIAN_FRONTEND=noninteractive
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  apt-get update >/dev/null || true
  apt-get install -y --no-install-recommends wine wine32:i386 wine64 wine32-preloader:i386 qemu-user-static >/dev/null ||
    skip "wine32 could not be installed"
fi
# The dialog test: a virtual display, and on the Linux side ghostscript and
# fontTools to read the printed page; a TrueType face with Chinese characters.
dialog_packages=(xvfb xauth ghostscript python3-fonttools fonts-wqy-zenhei fontconfig)
missing=()
for p in "${dialog_packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get install -y --no-install-recommends "${missing[@]}" >/dev/null ||
    { apt-get update >/dev/null && apt-get install -y --no-install-recommends "${missing[@]}" >/dev/null; }
fi

export WINEPREFIX=$work/prefix
export WINEARCH=win32
export WINEDEBUG=${VORLA_WINEDEBUG:--all}
export WINEDLLOVERRIDES="winedbg.exe,winemenubuilder.exe,winedevice.exe=d;mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY

rm -rf "$work" "$artifacts"
mkdir -p "$work/locale" "$artifacts/printed"

# The workstations run a Chinese Windows: ANSI code page 936. Wine takes it
# from the locale, and needs the locale itself to map Chinese file names to
# the Unix file system (UTF-8): it is compiled into the build tree.
if [ ! -f /usr/share/i18n/locales/zh_CN ]; then
  DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends locales >/dev/null
fi
localedef -i zh_CN -f UTF-8 "$work/locale/zh_CN.UTF-8" >/dev/null 2>&1 || true
[ -d "$work/locale/zh_CN.UTF-8" ] || skip "the zh_CN.UTF-8 locale could not be compiled"
locale_env=(LOCPATH="$work/locale" LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8)

# Plain wine when the kernel runs 32-bit x86 programs, else the qemu wrapper:
# Wine starts its processes through wine-preloader in the directory of the
# running loader, so the wrapper directory holds a copy of the real loader and
# preloader, and a "wine-preloader" that runs them under qemu-i386-static.
wine_cmd=(env "${locale_env[@]}" wine)
if [ "${VORLA_WINE_QEMU:-}" = 1 ] || ! /usr/lib/wine/wine-preloader /usr/lib/wine/wine --version >/dev/null 2>&1; then
  command -v qemu-i386-static >/dev/null 2>&1 || skip "32-bit programs do not run here and qemu-i386-static is missing"
  # Wine finds its libraries and data relative to the loader's directory:
  # the wrapper mirrors /usr/lib/wine beside links to the rest of /usr.
  root=$work/qemu-wine
  wrapper=$root/lib/wine
  mkdir -p "$wrapper"
  ln -s /usr/lib/i386-linux-gnu "$root/lib/i386-linux-gnu"
  ln -s /usr/share "$root/share"
  cp /usr/lib/wine/wine "$wrapper/wine"
  cp "$(readlink -f /usr/lib/wine/wine-preloader)" "$wrapper/wine-preloader.i386"
  ln -s /usr/lib/wine/wineserver "$wrapper/wineserver"
  cat > "$wrapper/wine-preloader" <<EOF
#!/bin/sh
exec qemu-i386-static -cpu max "$wrapper/wine-preloader.i386" "\$@"
EOF
  chmod +x "$wrapper/wine-preloader"
  export WINESERVER=/usr/lib/wine/wineserver
  wine_cmd=(env "${locale_env[@]}" "$wrapper/wine-preloader" "$wrapper/wine")
  echo "32-bit programs run under qemu-i386-static ($wrapper)"
fi

# A fresh prefix; the wineserver of this prefix is stopped again on exit.
sim_pid=
xvfb_pid=
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  wineserver -k >/dev/null 2>&1 || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  true
}
trap cleanup EXIT
# (Under qemu a helper process may crash on its way out after the prefix is
# complete; the prefix itself is what counts.)
timeout 600 "${wine_cmd[@]}" wineboot --init >"$work/wineboot.log" 2>&1 || true
timeout 120 wineserver -w || true  # the registry files are written when it exits
# Wine draws the windows' frames and captions itself (the virtual display has no
# window manager), so that the screenshots show them.
timeout 120 "${wine_cmd[@]}" reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1 || true
sys32=$WINEPREFIX/drive_c/windows/system32
if [ ! -f "$WINEPREFIX/system.reg" ] || [ ! -f "$sys32/wininet.dll" ] || [ ! -f "$sys32/shell32.dll" ]; then
  tail -n 20 "$work/wineboot.log" >&2
  skip "Wine could not set up a prefix (log: $work/wineboot.log)"
fi

# ---- vorla-sim ---------------------------------------------------------------------------------
sim=$native_build/vorla-sim
if [ ! -x "$sim" ]; then
  cmake -S "$repo" -B "$native_build" >/dev/null
  cmake --build "$native_build" -j2 --target vorla-sim >/dev/null
fi
mkdir -p "$work/scenario" "$work/record"
"$sim" --port 0 --scenario "$work/scenario" --record "$work/record" >"$work/sim.out" 2>"$work/sim.err" &
sim_pid=$!
port=
for _ in $(seq 100); do
  port=$(sed -n 's/^listening on \([0-9]*\)$/\1/p' "$work/sim.out")
  [ -n "$port" ] && break
  sleep 0.1
done
[ -n "$port" ] || { cat "$work/sim.err" >&2; echo "vorla-sim did not start" >&2; exit 1; }

# ---- the host: C:\his\vorla-wintest.exe with vorla.dll beside it -------------------------------
his=$WINEPREFIX/drive_c/his
mkdir -p "$his"
cp "$host_exe" "$dialog_exe" "$dll" "$his/"
# The simulated drivers, installed beside vorla.dll like the real ones.
cp "$win_build"/drivers/*.dll "$his/"
winpath() { echo "Z:$(echo "$1" | tr '/' '\\')"; }
export VORLA_WINTEST_PORT=$port
export VORLA_WINTEST_SCENARIO=$(winpath "$work/scenario")
export VORLA_WINTEST_RECORD=$(winpath "$work/record")
failed=0
set +e
timeout 900 "${wine_cmd[@]}" "$platform_exe" 2>"$work/wine-platform.err" || failed=1
(cd "$his" && timeout 900 "${wine_cmd[@]}" "$his/vorla-wintest.exe" 2>"$work/wine.err") || failed=1
set -e

# ---- the dialogs, the preview and printing on a virtual display -------------------------------
# Wine's processes of the runs without a display end first, so that the
# dialog test gets a desktop on the virtual display.
timeout 120 wineserver -w || true
display=
for n in $(seq 90 130); do
  [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
  Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 50); do
    [ -e "/tmp/.X11-unix/X$n" ] && break
    kill -0 "$xvfb_pid" 2>/dev/null || break
    sleep 0.1
  done
  if [ -e "/tmp/.X11-unix/X$n" ] && kill -0 "$xvfb_pid" 2>/dev/null; then display=":$n"; break; fi
  kill "$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true; xvfb_pid=
done
if [ -z "$display" ]; then
  echo "no virtual display (Xvfb) could be started for the dialog test" >&2
  failed=1
else
  set +e
  (cd "$his" && DISPLAY=$display VORLA_WINTEST_ARTIFACTS=$(winpath "$artifacts") \
    VORLA_WINTEST_PRINT_DIR=$artifacts/printed VORLA_WINTEST_TEMPLATES=$(winpath "$repo/templates") \
    VORLA_WINTEST_FONT="WenQuanYi Zen Hei" \
    timeout 900 "${wine_cmd[@]}" "$his/vorla-dialog-test.exe" 2>"$work/wine-dialogs.err") || failed=1
  set -e
  # The printed invoice, read on this side: its page as an image and its text,
  # which must hold the patient's name.
  printed=$artifacts/printed/invoice.ps
  if [ -s "$printed" ]; then
    gs -q -dSAFER -dNOPAUSE -dBATCH -sDEVICE=png16m -r100 -dFirstPage=1 -dLastPage=1 \
      -sOutputFile="$artifacts/printed-invoice.png" "$printed" >/dev/null 2>&1 || true
    /usr/bin/python3 "$repo/tests/windows/ps_text.py" "$printed" >"$artifacts/printed-invoice.txt" 2>&1 || true
    if grep -q "姓名：张三" "$artifacts/printed-invoice.txt"; then
      echo "ok      the printed invoice's text holds the patient's name (printed-invoice.txt)"
    else
      echo "FAILED  the printed invoice's text does not hold the patient's name:" >&2
      head -n 10 "$artifacts/printed-invoice.txt" >&2
      failed=1
    fi
    if grep -q "就诊号：MZ20240520001" "$artifacts/printed-invoice.txt" &&
       grep -q "￥12345.67" "$artifacts/printed-invoice.txt"; then
      echo "ok      its visit number and total print in Latin letters and digits"
    else
      echo "FAILED  the printed invoice's visit number or total is missing:" >&2
      head -n 10 "$artifacts/printed-invoice.txt" >&2
      failed=1
    fi
  else
    echo "FAILED  nothing was printed to $printed" >&2
    failed=1
  fi
  echo "screenshots and printed pages: $artifacts"
fi

if [ $failed -ne 0 ]; then
  echo "the Windows suite failed; Wine's messages: $work/wine-platform.err, $work/wine.err, $work/wine-dialogs.err" >&2
  exit 1
fi
echo "the Windows suite passed under Wine"
