#!/usr/bin/env bash
# `make run`: the Windows program on the sample volume, under Wine. Builds
# Zanderwyn.exe, makes a throwaway Wine prefix under build/ with the sample
# bound as drive D: (Hangul fonts mapped), and starts the window:
# - with a display (DISPLAY set): there, for you to use; returns when you
#   close the window;
# - without one: under Xvfb, where a small driver answers the drive dialog
#   and types a search; the screen goes to build/screenshot.png once the
#   list has filled, then the window is closed.
#   tools/run-window.sh SAMPLE_IMAGE [SEARCH_TEXT]
set -uo pipefail
cd "$(dirname "$0")/.." || exit 2
root=$(pwd)
. tools/wine-session.sh
sample=$(realpath "$1")
text=${2:-보고서}
logs=$root/build/logs
logged() { tools/logged.sh "$logs/$1" "${@:2}"; }

echo "building the Windows program (log: build/logs/mingw-build.txt)"
logged mingw-configure.txt cmake --preset mingw || exit 1
logged mingw-build.txt cmake --build --preset mingw -j "${JOBS:-$(nproc)}" \
  --target Zanderwyn zw-window-driver || exit 1
exe=$root/build/mingw/app/Zanderwyn.exe
driver=$root/build/mingw/tools/zw-window-driver.exe

export WINEPREFIX=$root/build/wine-run WINEDEBUG=-all WINEDLLOVERRIDES='mscoree=;mshtml='
xvfb_pid=
app_pid=
cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null
  wineserver -k >/dev/null 2>&1
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
}
trap cleanup EXIT

echo "making a Wine prefix with the sample as D: (build/wine-run)"
wineserver -k >/dev/null 2>&1
rm -rf "$WINEPREFIX"
logged wine-run.txt timeout 600 wineboot -i || exit 1
timeout 300 wineserver -w
settings=$root/build/wine-run.reg
# Hangul fonts; D: ticked in the drive dialog; under Xvfb, with no window
# manager, Wine draws the window frames itself.
{ printf '%s\r\n' 'Windows Registry Editor Version 5.00' ''
  wine_font_lines
  printf '%s\r\n' '' '[HKEY_CURRENT_USER\Software\Zanderwyn]' '"SelectedDrives"="D"' \
    '"FirstRunComplete"=dword:00000001'
  [ -n "${DISPLAY:-}" ] ||
    printf '%s\r\n' '' '[HKEY_CURRENT_USER\Software\Wine\X11 Driver]' '"Managed"="N"'
} >"$settings"
logged wine-run-settings.txt timeout 300 wine reg import "$settings" || exit 1
timeout 300 wineserver -w
bind_wine_drive d "$sample" "$root/build/wine-run-d"
wineserver -k >/dev/null 2>&1  # drive links are read when the server starts

if [ -n "${DISPLAY:-}" ]; then
  echo "Zanderwyn.exe is open on $DISPLAY; close its window to end"
  wine "$exe"
  exit 0
fi

# A screen a little larger than the window at 96 DPI (960 x 600).
start_xvfb 1000x640x24 "$logs/xvfb-run.txt" || { echo "Xvfb did not start (build/logs/xvfb-run.txt)"; exit 1; }

wine "$exe" >"$logs/zanderwyn-run.txt" 2>&1 &
app_pid=$!
echo "searching for \"$text\" in the window (no display: under Xvfb)"
if ! shown=$(timeout 300 wine "$driver" search "$text" 2>"$logs/window-driver.txt" | tr -d '\r'); then
  cat "$logs/window-driver.txt"
  exit 1
fi
import -window root "$root/build/screenshot.png" || exit 1
echo "the window shows: $shown; screenshot: build/screenshot.png"
timeout 120 wine "$driver" close >>"$logs/window-driver.txt" 2>&1 || exit 1
wait "$app_pid"
status=$?
app_pid=
exit "$status"
