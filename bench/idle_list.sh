#!/usr/bin/env bash
# The first `list` after the machine has idled against the warm median: warm
# runs back to back, then runs that each follow IDLE seconds of sleep.
#
#   bench/idle_list.sh ZANDERWYN IMAGE        # IDLE=30 RUNS=5 COLD=3 by default
#
# Prints wall, user and system seconds of every run, the medians and the
# ratio cold / warm. Reads the image only.
set -euo pipefail

cli=${1:?usage: idle_list.sh ZANDERWYN IMAGE}
image=${2:?usage: idle_list.sh ZANDERWYN IMAGE}
idle=${IDLE:-30}
runs=${RUNS:-5}
cold=${COLD:-3}

times=$(mktemp)
trap 'rm -f "$times"' EXIT
# One run: "wall user system" in seconds.
one() {
  /usr/bin/time -o "$times" -f '%e %U %S' "$cli" --drive "D=$image" list >/dev/null 2>&1
  cat "$times"
}

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

one >/dev/null  # the page cache holds the image's MFT from here on
warm=() cold_runs=()
for _ in $(seq "$runs"); do warm+=("$(one)"); done
for _ in $(seq "$cold"); do
  sleep "$idle"
  cold_runs+=("$(one)")
done

printf '%-6s %8s %8s %8s\n' run wall user system
for r in "${warm[@]}"; do printf '%-6s %8s %8s %8s\n' warm $r; done
for r in "${cold_runs[@]}"; do printf '%-6s %8s %8s %8s\n' "idle" $r; done
wm=$(printf '%s\n' "${warm[@]}" | awk '{ print $1 }' | median)
cm=$(printf '%s\n' "${cold_runs[@]}" | awk '{ print $1 }' | median)
wc=$(printf '%s\n' "${warm[@]}" | awk '{ print $2 + $3 }' | median)
cc=$(printf '%s\n' "${cold_runs[@]}" | awk '{ print $2 + $3 }' | median)
echo "warm median wall ${wm} s, cpu ${wc} s; after ${idle} s idle median wall ${cm} s, cpu ${cc} s"
awk -v c="$cm" -v w="$wm" 'BEGIN { printf "idle / warm wall: %.2f\n", c / w }'
