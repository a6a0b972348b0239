#!/usr/bin/env bash
# The Windows build under Wine: builds the mingw preset, runs every test
# executable in a throwaway Wine prefix, then checks that zanderwyn.exe lists
# NTFS images bound as drive letters exactly as the native build lists them.
# The last line is "wine: N passed, M failed, K skipped" (tests/run-all.sh
# reads it). Each test executable gets ZW_WINE_EXE_TIMEOUT seconds (default
# 1800, far above what any needs) before it is stopped and counted as failed,
# so that a hang cannot stall the run.
#
# Images bound in the prefix: D: a volume made by the native generator
# (build/native/tools/zw-mkimage; any NTFS image given as ZW_WINE_IMAGE
# instead), E: charlie.dd, a volume written by Windows, from the shared test
# data. Test executables see ZW_WINE_DRIVE=D and ZW_WINE_IMAGE=<the D: image>;
# tests that need the native generator are not built for Windows (it needs
# libntfs-3g), so they cannot run here.
#
# Environment: JOBS (build jobs); ZW_WINE_IMAGE (see above); ZW_WINE_KEEP=1
# keeps the prefix of the last run instead of making a fresh one; for runs
# beside the shared ones, ZW_MINGW_BUILD, ZW_NATIVE_BUILD and ZW_WINE_PREFIX
# name other build folders and another prefix (defaults: build/mingw and
# build/native through their presets, build/wine).
set -uo pipefail
cd "$(dirname "$0")/../.." || exit 2
root=$(pwd)
. tools/wine-session.sh
jobs=${JOBS:-$(nproc)}
absolute() { case $1 in /* | '') echo "$1" ;; *) echo "$root/$1" ;; esac; }
mingw_dir=$(absolute "${ZW_MINGW_BUILD:-}")
native_dir=$(absolute "${ZW_NATIVE_BUILD:-}")
prefix=$(absolute "${ZW_WINE_PREFIX:-build/wine}")
# Not $prefix-run: with the default prefix that is the folder `make run`
# makes its own prefix in, and removes whole.
out=$prefix-files
log=$root/build/test-logs/$(basename "$prefix")
mkdir -p "$out" "$log"
rm -f "$log"/zw_*_tests.txt  # only this run's programs may count
passed=0
failed=0
skipped=0

exe_limit=${ZW_WINE_EXE_TIMEOUT:-1800}
summary() {
  echo "wine: $passed passed, $failed failed, $skipped skipped"
  [ "$failed" -eq 0 ]
  exit $?
}
# Like `timeout`, but the whole Wine session goes when the limit is hit: the
# server would keep the next program waiting on what the stuck one held.
bounded() {  # $1: seconds, then the command
  local limit=$1
  shift
  timeout -k 30 "$limit" "$@"
  local status=$?
  [ "$status" -eq 124 ] || [ "$status" -eq 137 ] && wineserver -k >/dev/null 2>&1
  return "$status"
}
fail() {
  echo "FAIL: $*"
  failed=$((failed + 1))
}

for tool in wine wineboot wineserver Xvfb cmake timeout; do
  command -v "$tool" >/dev/null || { fail "$tool is not installed (tools/install-deps.sh)"; summary; }
done

# ---- 1. The Windows build ----------------------------------------------------
echo "== mingw build"
if [ -z "$mingw_dir" ]; then
  mingw_dir=$root/build/mingw
  configure=(cmake --preset mingw)
  build=(cmake --build --preset mingw -j "$jobs")
else
  configure=(cmake -S "$root" -B "$mingw_dir" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw.cmake"
    -DCMAKE_BUILD_TYPE=Release)
  build=(cmake --build "$mingw_dir" -j "$jobs")
fi
if ! "${configure[@]}" >"$log/configure.txt" 2>&1; then
  tail -n 30 "$log/configure.txt"
  fail "mingw configure (see $log/configure.txt)"
  summary
fi
# Keep going past a broken target, so that the others still run; the exes of
# targets that failed to build are removed so they cannot pass stale.
keep_going=()
[ -f "$mingw_dir/Makefile" ] && keep_going=(-- -k)
if ! "${build[@]}" "${keep_going[@]}" >"$log/build.txt" 2>&1; then
  grep -E 'error|undefined reference' "$log/build.txt" | grep -v 'ld returned' | sort -u | head -n 20
  fail "mingw build (see $log/build.txt)"
  for target in $(grep -Eo "Target '[^']*/zw_[a-z]+_tests.dir/build' not remade" "$log/build.txt" |
                  grep -Eo 'zw_[a-z]+_tests'); do
    rm -f "$mingw_dir/tests/$target.exe"
  done
  grep -q "Target 'CMakeFiles/zanderwyn.dir/build' not remade" "$log/build.txt" &&
    rm -f "$mingw_dir/zanderwyn.exe"
fi

# ---- 2. Images, made or converted into the build tree ------------------------
# The native side of the comparison, and the generator. Up to date already
# when tests/run-all.sh calls this script.
echo "== native build"
if [ -z "$native_dir" ]; then
  native_dir=$root/build/native
  configure=(cmake --preset native)
  build=(cmake --build --preset native -j "$jobs" --target zanderwyn zw-mkimage)
else
  configure=(cmake -S "$root" -B "$native_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo)
  build=(cmake --build "$native_dir" -j "$jobs" --target zanderwyn zw-mkimage)
fi
if ! "${configure[@]}" >"$log/native-configure.txt" 2>&1 ||
   ! "${build[@]}" >"$log/native-build.txt" 2>&1; then
  tail -n 20 "$log/native-build.txt"
  echo "note: the native build failed; the listing comparison will fail"
fi
native_cli=$native_dir/zanderwyn
mkimage=$native_dir/tools/zw-mkimage

d_image=$(absolute "${ZW_WINE_IMAGE:-}")
if [ -z "$d_image" ]; then
  d_image=$out/generated.img
  if [ ! -s "$d_image" ] && [ -x "$mkimage" ]; then
    "$mkimage" --seed 20 --count 2000 --fragment-mft --out "$d_image" --quiet \
      >"$log/mkimage.txt" 2>&1 || { rm -f "$d_image"; tail -n 5 "$log/mkimage.txt"; }
  fi
fi
e_image=$out/charlie.dd
if [ ! -s "$e_image" ]; then
  bunzip2 -kc "$root/../shared/testdata/ntfs-real/images/go-ntfs-charlie.dd.bz2" >"$e_image.tmp" &&
    mv "$e_image.tmp" "$e_image" || rm -f "$e_image.tmp"
fi

# ---- 3. A throwaway prefix with the images as drives, and one X server -------
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES='mscoree=;mshtml='
xvfb_pid=
cleanup() {
  wineserver -k >/dev/null 2>&1
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
}
trap cleanup EXIT

if [ "${ZW_WINE_KEEP:-0}" != 1 ] || [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "== wine prefix"
  wineserver -k >/dev/null 2>&1
  rm -rf "$WINEPREFIX"
  if ! bounded 600 wineboot -i >"$log/wineboot.txt" 2>&1; then
    tail -n 10 "$log/wineboot.txt"
    fail "wineboot -i"
    summary
  fi
  bounded 300 wineserver -w
  fonts=$out/fonts.reg
  # (X11 Driver not managed: with no window manager under Xvfb, every window
  # hidden or destroyed would wait two seconds for one.)
  { printf '%s\r\n' 'Windows Registry Editor Version 5.00' ''
    wine_font_lines
    printf '%s\r\n' '' '[HKEY_CURRENT_USER\Software\Wine\X11 Driver]' '"Managed"="N"'
  } >"$fonts"
  bounded 300 wine reg import "$fonts" >>"$log/wineboot.txt" 2>&1 || echo "note: font replacements not set"
  bounded 300 wineserver -w
fi

rm -f "$WINEPREFIX/dosdevices/d:" "$WINEPREFIX/dosdevices/d::" \
  "$WINEPREFIX/dosdevices/e:" "$WINEPREFIX/dosdevices/e::"
[ -s "${d_image:-}" ] && bind_wine_drive d "$d_image" "$out/mnt-d"
[ -s "$e_image" ] && bind_wine_drive e "$e_image" "$out/mnt-e"
wineserver -k >/dev/null 2>&1  # drive links are read when the server starts

# Room for the window at 144 DPI (1440 x 900): a larger one would be cut to the screen.
if ! start_xvfb 1920x1200x24 "$log/xvfb.txt"; then
  fail "Xvfb did not start"
  summary
fi

# ---- 4. Every test executable ------------------------------------------------
echo "== test executables"
# Set even when the D: image could not be made: the tests that read it then
# fail rather than skip.
export ZW_WINE_DRIVE=D ZW_WINE_IMAGE=${d_image:-}
shopt -s nullglob
exes=("$mingw_dir"/tests/zw_*_tests.exe)
[ ${#exes[@]} -gt 0 ] || fail "no test executables in $mingw_dir/tests"
# Only the test programs this configuration defines: an area removed or
# switched off leaves its old exe behind, which must not count.
targets=$(cmake --build "$mingw_dir" --target help 2>/dev/null | grep -Eo 'zw_[a-z_]+_tests' | sort -u)
run_exe() {  # $1: label for the log, $2: exe, then its arguments
  local name=$1 exe=$2
  shift 2
  # Wine writes CRLF; the counts below match whole lines.
  (cd "$mingw_dir/tests" && bounded "$exe_limit" wine "$exe" --gtest_color=no "$@") 2>&1 |
    tr -d '\r' >"$log/$name.txt"
  status=${PIPESTATUS[0]}
  if [ "$status" -eq 124 ] || [ "$status" -eq 137 ]; then
    fail "$name did not finish within $exe_limit s, stopped (see $log/$name.txt)"
    tail -n 5 "$log/$name.txt"
    return
  fi
  ok=$(grep -c '^\[       OK \]' "$log/$name.txt")
  bad=$(grep -cE '^\[  FAILED  \] .*\([0-9]+ ms\)$' "$log/$name.txt")
  skip=$(grep -cE '^\[  SKIPPED \] .*\([0-9]+ ms\)$' "$log/$name.txt")
  passed=$((passed + ok))
  skipped=$((skipped + skip))
  if [ "$bad" -gt 0 ]; then
    failed=$((failed + bad))
    grep -E '^\[  FAILED  \] .*\([0-9]+ ms\)$' "$log/$name.txt"
  fi
  if ! grep -q '^\[==========\] .* ran\.' "$log/$name.txt" || { [ "$status" -ne 0 ] && [ "$bad" -eq 0 ]; }; then
    fail "$name ended without finishing its tests (status $status; see $log/$name.txt)"
    tail -n 10 "$log/$name.txt"
  fi
  echo "$name: $ok passed, $bad failed, $skip skipped"
}

for exe in "${exes[@]}"; do
  name=$(basename "$exe" .exe)
  if [ -n "$targets" ] && ! grep -qx "$name" <<<"$targets"; then
    echo "$name: left from an earlier configuration, not run"
    continue
  fi
  run_exe "$name" "$exe"
done

# The window's layout once more at 144 DPI (the system DPI is read when the
# server starts), then back to 96 for whatever runs next in this prefix.
app_exe=$mingw_dir/tests/zw_app_tests.exe
if [ -f "$app_exe" ] && { [ -z "$targets" ] || grep -qx zw_app_tests <<<"$targets"; }; then
  set_dpi() {
    bounded 300 wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f \
      >>"$log/dpi.txt" 2>&1
    bounded 300 wineserver -w
    wineserver -k >/dev/null 2>&1
  }
  set_dpi 144
  ZW_WINE_DPI=144 run_exe zw_app_tests-144dpi "$app_exe" --gtest_filter='*Dpi*'
  set_dpi 96
fi

# ---- 5. The same listing from both builds ------------------------------------
echo "== listings"
compare_listing() {  # $1: drive letter, $2: image
  local letter=$1 image=$2 native=$out/list-$1-native.txt windows=$out/list-$1-wine.txt
  if [ ! -s "$image" ]; then
    fail "listing $letter: no image"
    return
  fi
  if [ ! -x "$native_cli" ]; then
    fail "listing $letter: no native zanderwyn"
    return
  fi
  timeout 600 "$native_cli" --drive "$letter=$image" list >"$native" 2>"$native.err"
  local native_status=$?
  bounded 600 wine "$mingw_dir/zanderwyn.exe" --drive "$letter" list >"$windows" 2>"$windows.err"
  local wine_status=$?
  if [ "$native_status" -ne 0 ] || [ ! -s "$native" ]; then
    fail "listing $letter: the native build failed (status $native_status): $(head -n 3 "$native.err")"
  elif [ "$wine_status" -ne "$native_status" ]; then
    fail "listing $letter: exit status $wine_status under Wine, $native_status native: $(head -n 3 "$windows.err")"
  elif ! cmp -s "$native" "$windows"; then
    fail "listing $letter: differs ($(wc -l <"$native") lines native, $(wc -l <"$windows") under Wine)"
    diff "$native" "$windows" | head -n 10
  else
    passed=$((passed + 1))
    echo "listing $letter: $(wc -l <"$native") paths, identical"
  fi
}
compare_listing D "${d_image:-}"
compare_listing E "$e_image"

summary
