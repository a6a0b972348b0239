#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only when one is
# missing, so that `make run` and `make test` work on a fresh machine; then
# checks that every command the scripts call is there.
set -euo pipefail
cd "$(dirname "$0")/.."
packages=(
  g++ cmake make pkg-config git coreutils python3
  libgtest-dev libgmock-dev googletest libbenchmark-dev libcli11-dev libncurses-dev tmux
  ntfs-3g ntfs-3g-dev sleuthkit
  clang libclang-rt-14-dev
  mingw-w64 wine wine64 xvfb xauth fonts-nanum imagemagick
  qemu-utils bzip2 plocate hyperfine
)
# Every command a script or test calls, with the package that brings it. The
# package `wine64` alone has no wine, wineboot or wineserver command.
commands=(
  g++:g++ gcc:gcc cmake:cmake make:make pkg-config:pkg-config git:git timeout:coreutils
  python3:python3
  x86_64-w64-mingw32-g++-posix:g++-mingw-w64-x86-64-posix
  x86_64-w64-mingw32-gcc-posix:gcc-mingw-w64-x86-64-posix
  x86_64-w64-mingw32-windres:binutils-mingw-w64-x86-64
  wine:wine wineboot:wine wineserver:wine
  Xvfb:xvfb xvfb-run:xvfb xauth:xauth
  mkntfs:ntfs-3g ntfsinfo:ntfs-3g ntfsls:ntfs-3g
  fls:sleuthkit istat:sleuthkit fsstat:sleuthkit
  clang:clang clang++:clang
  convert:imagemagick import:imagemagick
  qemu-img:qemu-utils bunzip2:bzip2 plocate:plocate hyperfine:hyperfine
  tmux:tmux
)
headers=(
  /usr/include/gtest/gtest.h:libgtest-dev /usr/include/gmock/gmock.h:libgmock-dev
  /usr/src/googletest/CMakeLists.txt:googletest /usr/include/benchmark/benchmark.h:libbenchmark-dev
  /usr/include/CLI/CLI.hpp:libcli11-dev /usr/include/ntfs-3g/volume.h:ntfs-3g-dev
  /usr/include/ncursesw/curses.h:libncurses-dev
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  mkdir -p build/logs
  log=build/logs/install-deps.txt
  echo "installing: ${missing[*]} (log: $log)"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  export DEBIAN_FRONTEND=noninteractive
  if ! { $sudo apt-get update -q && $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"; } \
      >"$log" 2>&1; then
    tail -n 20 "$log"
    echo "install-deps: apt-get failed (whole log: $log)" >&2
    exit 1
  fi
fi

# mkntfs and friends live in /usr/sbin, which a user's PATH may lack.
absent=()
for pair in "${commands[@]}"; do
  c=${pair%%:*}
  command -v "$c" >/dev/null || [ -x "/usr/sbin/$c" ] || [ -x "/sbin/$c" ] ||
    absent+=("command $c (Debian package ${pair#*:})")
done
for pair in "${headers[@]}"; do
  [ -e "${pair%%:*}" ] || absent+=("${pair%%:*} (Debian package ${pair#*:})")
done
if [ ${#absent[@]} -gt 0 ]; then
  echo "install-deps: still missing after installing:" >&2
  printf '  %s\n' "${absent[@]}" >&2
  echo "install them with apt-get install, then run this again" >&2
  exit 1
fi
