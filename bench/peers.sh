#!/usr/bin/env bash
# Lists one generated 1,000,000-entry volume (fragmented MFT) with zanderwyn
# and with two peers that read NTFS without mounting it, warm, in one
# hyperfine run; prints medians and ratios against zanderwyn.
#
#   bench/peers.sh                 # build (Release), make the image once, measure
#   COUNT=200000 RUNS=5 bench/peers.sh
#   IMAGE=/path/to/image.img bench/peers.sh   # an image kept elsewhere (made there if missing)
#
# Everything lives under build/bench/: its own build tree and the cached
# image, which is made once per seed and count and never rewritten.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
work=${ZW_BENCH_DIR:-$root/build/bench}
count=${COUNT:-1000000}
seed=${SEED:-1}
runs=${RUNS:-10}

for tool in hyperfine fls ntfsls cmake python3; do
  command -v "$tool" >/dev/null || { echo "peers.sh: $tool is missing (tools/install-deps.sh)" >&2; exit 2; }
done

mkdir -p "$work"
if ! { cmake -S "$root" -B "$work/build" -DCMAKE_BUILD_TYPE=Release -DZW_TESTS=OFF -DZW_TOOLS=ON &&
       cmake --build "$work/build" --target zanderwyn zw-mkimage -j2; } >"$work/build.log" 2>&1; then
  tail -30 "$work/build.log" >&2
  echo "peers.sh: build failed (whole log: $work/build.log)" >&2
  exit 1
fi
cli=$work/build/zanderwyn
mkimage=$work/build/tools/zw-mkimage

image=${IMAGE:-$work/images/s${seed}-n${count}-fragmented.img}
mkdir -p "$(dirname "$image")"
if [ ! -f "$image" ]; then
  echo "peers.sh: making $image (once)" >&2
  start=$(date +%s)
  "$mkimage" --seed "$seed" --count "$count" --fragment-mft --out "$image" \
    --manifest "$image.manifest"
  echo "peers.sh: image made in $(( $(date +%s) - start )) s" >&2
fi
echo "peers.sh: \$MFT extents: $(istat "$image" 0 | awk '/^Type: \$DATA/{on=1;next} /^Type:/{on=0} on' |
  tr ' ' '\n' | awk 'NF && $1!=0 { if ($1!=p+1) n++; p=$1 } END { print n }')" >&2

# One run of each first: fills the page cache with the MFT and the indexes,
# and shows what each tool finds.
"$cli" --drive "D=$image" list --stats 2>"$work/stats.txt" | wc -l | sed 's/^/zanderwyn lines: /'
echo "fls lines: $(fls -r -p "$image" | wc -l)"
echo "ntfsls lines: $(ntfsls -R -a -f "$image" 2>/dev/null | wc -l)"
echo "--- zanderwyn --stats"
cat "$work/stats.txt"

json=$work/peers.json
hyperfine --warmup 1 --runs "$runs" --export-json "$json" --style basic \
  -n zanderwyn "'$cli' --drive 'D=$image' list --stats >/dev/null 2>&1" \
  -n fls "fls -r -p '$image' >/dev/null" \
  -n ntfsls "ntfsls -R -a -f '$image' >/dev/null 2>&1"

python3 - "$json" <<'PY'
import json, sys
results = json.load(open(sys.argv[1]))["results"]
def cpu(r): return r["user"] + r["system"]
base = next(r for r in results if r["command"] == "zanderwyn")
# Wall time on a shared machine includes waiting for the other jobs; CPU
# time (user + system, mean) shows the work itself.
print(f"{'tool':<10} {'median s':>9} {'x zanderwyn':>12} {'cpu s':>7} {'x zanderwyn':>12}")
for r in results:
    print(f"{r['command']:<10} {r['median']:>9.3f} {r['median'] / base['median']:>12.2f}"
          f" {cpu(r):>7.3f} {cpu(r) / cpu(base):>12.2f}")
PY
