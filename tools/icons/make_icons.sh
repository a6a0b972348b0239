#!/usr/bin/env bash
# Draws the program's icons with ImageMagick and packs them into .ico files
# beside the resource script (src/app/icons/). The .ico files are committed,
# so a build needs none of this; run it again only to change the pictures.
#   zanderwyn.ico  class icon and about box: a page of names under a lens
#   small.ico      title bar and task bar: the lens alone, drawn bolder
set -euo pipefail
cd "$(dirname "$0")/../.."
out=src/app/icons
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$out"

# 256 x 256 masters; every smaller size is scaled down from them.
tile=(-size 256x256 xc:none -fill '#1565c0' -draw 'roundrectangle 8,8 247,247 44,44')
convert "${tile[@]}" \
  -fill white -draw 'roundrectangle 46,34 166,196 10,10' \
  -fill '#90caf9' -draw 'rectangle 66,64 146,76' -draw 'rectangle 66,94 136,106' \
  -draw 'rectangle 66,124 146,136' -draw 'rectangle 66,154 116,166' \
  -fill none -stroke '#ffb300' -strokewidth 20 -draw 'circle 150,146 150,96' \
  -strokewidth 30 -draw 'line 186,182 222,218' \
  "$tmp/large.png"
convert "${tile[@]}" \
  -fill none -stroke white -strokewidth 34 -draw 'circle 112,112 112,52' \
  -strokewidth 46 -draw 'line 156,156 212,212' \
  "$tmp/small.png"

pack() {  # $1: master, $2: .ico, $3...: sizes
  local master=$1 ico=$2
  shift 2
  local frames=()
  for size in "$@"; do
    convert "$master" -filter Lanczos -resize "${size}x${size}" -depth 8 "$tmp/$size.png"
    frames+=("$tmp/$size.png")
  done
  convert "${frames[@]}" "$ico"
}
pack "$tmp/large.png" "$out/zanderwyn.ico" 256 64 48 32 24 16
pack "$tmp/small.png" "$out/small.ico" 48 32 24 16
