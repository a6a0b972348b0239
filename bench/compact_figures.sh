#!/usr/bin/env bash
# Every figure of the compact index on one generated 1,000,000-node image,
# each with the command that gave it: memory per entry, `list` against its
# peers, the first `list` after idling, a whole run, the first sorted search,
# selective searches and a folder rename through the live update.
#
#   bench/compact_figures.sh
#   IMAGE=/work/bench-images/s1-n1000000-fragmented.img RUNS=5 REPS=5 bench/compact_figures.sh
#   SKIP_PEERS=1 SKIP_IDLE=1 bench/compact_figures.sh     # the in-process figures only
#   NAMES=long bench/compact_figures.sh    # on the system-drive name profile (zw-mkimage --names)
#
# Release build under $ZW_BENCH_DIR (default build/bench), as bench/peers.sh.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
work=${ZW_BENCH_DIR:-$root/build/bench}
count=${COUNT:-1000000}
seed=${SEED:-1}
runs=${RUNS:-5}
reps=${REPS:-5}
names=${NAMES:-short}
case $names in
  short) image=${IMAGE:-$work/images/s${seed}-n${count}-fragmented.img} ;;
  long) image=${IMAGE:-$work/images/s${seed}-n${count}-long-fragmented.img} ;;
  *) echo "compact_figures.sh: NAMES must be short or long, got '$names'" >&2; exit 2 ;;
esac

mkdir -p "$work"
if ! { cmake -S "$root" -B "$work/build" -DCMAKE_BUILD_TYPE=Release -DZW_TESTS=OFF -DZW_TOOLS=ON \
         -DZW_BENCH=ON &&
       nice cmake --build "$work/build" --target zanderwyn zw-mkimage zw_image_bench -j2; } \
     >"$work/figures-build.log" 2>&1; then
  tail -30 "$work/figures-build.log" >&2
  echo "compact_figures.sh: build failed (whole log: $work/figures-build.log)" >&2
  exit 1
fi
cli=$work/build/zanderwyn
bench=$work/build/bench/zw_image_bench
if [ ! -f "$image" ]; then
  mkdir -p "$(dirname "$image")"
  "$work/build/tools/zw-mkimage" --seed "$seed" --count "$count" --fragment-mft --names "$names" \
    --out "$image" --manifest "$image.manifest"
fi

echo "# $(date -u '+%F %H:%M') UTC, commit $(git -C "$root" rev-parse --short HEAD)," \
  "load average $(cut -d' ' -f1-3 /proc/loadavg), image $image (names $names)"

echo
echo "## memory: $cli --drive D=$image --stats search --count zzqqxx"
"$cli" --drive "D=$image" --stats search --count zzqqxx 2>&1 >/dev/null |
  grep -E '^(entries|peak-rss|bytes-per-entry|name-index|resident)'

if [ -z "${SKIP_PEERS:-}" ]; then
  echo
  echo "## list vs peers: IMAGE=$image RUNS=$runs bench/peers.sh"
  IMAGE=$image RUNS=$runs ZW_BENCH_DIR=$work "$root/bench/peers.sh"
fi

if [ -z "${SKIP_IDLE:-}" ]; then
  echo
  echo "## idle: bench/idle_list.sh $cli $image"
  "$root/bench/idle_list.sh" "$cli" "$image"
fi

echo
json=$work/image_bench.json
echo "## in process: ZW_BENCH_IMAGE=$image $bench --benchmark_repetitions=$reps" \
  "--benchmark_report_aggregates_only=true"
ZW_BENCH_IMAGE=$image "$bench" --benchmark_repetitions="$reps" \
  --benchmark_report_aggregates_only=true --benchmark_out="$json" --benchmark_out_format=json \
  >/dev/null
python3 - "$json" <<'PY'
import json, sys
rows = [b for b in json.load(open(sys.argv[1]))["benchmarks"] if b.get("aggregate_name") == "median"]
print(f"{'benchmark':<34} {'label':<24} {'wall ms':>9} {'cpu ms':>9}  counters")
for b in rows:
    skip = {"real_time", "cpu_time", "iterations", "repetitions", "repetition_index", "threads",
            "time_unit", "name", "run_name", "run_type", "family_index",
            "per_family_instance_index", "aggregate_name", "aggregate_unit", "label"}
    counters = " ".join(f"{k}={v:.4g}" for k, v in b.items() if k not in skip and isinstance(v, (int, float)))
    print(f"{b['run_name']:<34} {b.get('label', ''):<24} {b['real_time']:>9.3f} {b['cpu_time']:>9.3f}  {counters}")
PY
