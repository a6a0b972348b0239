#!/bin/sh
# Our one-pass queries and a whole keystroke against grep and plocate over the
# same million generated names, in one run. Prints medians and ratios.
#
#   bench/search_peers.sh [BUILD_DIR]      (default build/native; needs ZW_BENCH=ON)
#
# grep -c counts lines of a file of lower-case names (-F for the contains
# queries, an anchored pattern for prefix and extension); plocate -c searches a
# database built by plocate-build from the lower-case paths (-b: names only).
set -eu
BUILD=${1:-build/native}
BENCH=$BUILD/bench/zw_search_bench
RUNS=${RUNS:-11}
OUT=$BUILD/search-peers
[ -x "$BENCH" ] || { echo "search_peers: $BENCH not built (configure with -DZW_BENCH=ON)" >&2; exit 2; }
command -v plocate >/dev/null && command -v plocate-build >/dev/null ||
  { echo "search_peers: plocate and plocate-build are needed (Debian package plocate)" >&2; exit 2; }
mkdir -p "$OUT"

# REUSE=1 keeps the lists, the database and our figures of an earlier run.
if [ "${REUSE:-0}" != 1 ] || [ ! -f "$OUT/ours.json" ]; then
  "$BENCH" "--dump=$OUT"
  plocate-build -p -l no "$OUT/paths.txt" "$OUT/plocate.db"
  "$BENCH" --benchmark_filter='Query|Keystroke' --benchmark_repetitions=5 \
    --benchmark_report_aggregates_only=true --benchmark_format=json >"$OUT/ours.json"
fi

python3 - "$OUT" "$RUNS" <<'PY'
import json, statistics, subprocess, sys, time
out, runs = sys.argv[1], int(sys.argv[2])

ours = {}
for b in json.load(open(f"{out}/ours.json"))["benchmarks"]:
    if b.get("aggregate_name") == "median":
        scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0}[b["time_unit"]]
        name = b["run_name"].split("/")[0]
        ours[name] = (b["real_time"] * scale, b["cpu_time"] * scale)

def timed(argv):
    times, text = [], ""
    for _ in range(runs):
        t = time.perf_counter()
        r = subprocess.run(argv, capture_output=True, text=True)
        times.append((time.perf_counter() - t) * 1000)
        text = r.stdout.strip()
    return statistics.median(times), text

def peers(kind, pattern):
    names, db = f"{out}/names.txt", f"{out}/plocate.db"
    if kind == "Prefix":
        p = pattern.rstrip("*")
        return (["grep", "-c", "^" + p, names],
                ["plocate", "-d", db, "-c", "-b", "--regex", "^" + p + "[^/]*$"])
    if kind == "PrefixExtension":
        p, x = pattern.split("*.")
        return (["grep", "-c", f"^{p}.*\\.{x}$", names],
                ["plocate", "-d", db, "-c", "-b", "--regex", f"^{p}[^/]*\\.{x}$"])
    if kind == "Extension":
        x = pattern[2:]
        return (["grep", "-c", f"\\.{x}$", names],
                ["plocate", "-d", db, "-c", "-b", "--regex", f"\\.{x}$"])
    return (["grep", "-F", "-c", "--", pattern, names],
            ["plocate", "-d", db, "-c", "-b", "--", pattern])

bench_of = {"Prefix": "BM_Query_Prefix", "PrefixExtension": "BM_Query_PrefixExtension",
            "Extension": "BM_Query_Extension", "Contains3": "BM_Query_Contains3",
            "Contains2": "BM_Query_Contains2", "Contains1": "BM_Query_Contains1",
            "Wide1": "BM_Keystroke_ByName"}
print(f"{'query':<16} {'text':<8} {'results':>8} {'ours':>9} {'ours cpu':>9} {'grep':>9} "
      f"{'count':>8} {'plocate':>9} {'count':>8} {'grep/ours':>10} {'plocate/ours':>13}")
for line in open(f"{out}/queries.txt", encoding="utf-8"):
    kind, pattern, count = line.rstrip("\n").split("\t")
    ms, cpu = ours.get(bench_of[kind], (float("nan"), float("nan")))
    g, p = peers(kind, pattern)
    gms, gcount = timed(g)
    pms, pcount = timed(p)
    label = kind if kind != "Wide1" else "keystroke*"
    print(f"{label:<16} {pattern:<8} {count:>8} {ms:9.3f} {cpu:9.3f} {gms:9.3f} {gcount:>8} "
          f"{pms:9.3f} {pcount:>8} {gms / ms:10.1f} {pms / ms:13.1f}")
print("times in ms, medians; ours: in-process Google Benchmark medians of 5 repetitions")
print("(wall, and CPU of the calling thread); ratios are wall against wall;")
print(f"grep, plocate: wall time of the whole process, median of {runs} runs.")
print("* keystroke: our query + type filter + sort by name (folders first) of every match.")
PY
