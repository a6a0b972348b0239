#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only when one is
# missing, so that `make run` and `make test` work on a fresh machine.
set -euo pipefail
packages=(
  g++ cmake make pkg-config git
  libgtest-dev libgmock-dev googletest libbenchmark-dev libcli11-dev
  ntfs-3g ntfs-3g-dev sleuthkit
  clang libclang-rt-14-dev
  mingw-w64 wine64 xvfb xauth fonts-nanum imagemagick
  qemu-utils bzip2 plocate hyperfine
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
echo "installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
