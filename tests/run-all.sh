#!/usr/bin/env bash
# Builds every configuration and runs every test. Passed, failed and skipped
# tests are counted apart (a skip proves nothing, so it is never a pass); the
# skips are listed with their reasons, and the last line is
# "N passed, N failed, N skipped".
set -uo pipefail
cd "$(dirname "$0")/.."
jobs=${JOBS:-$(nproc)}
passed=0
failed=0
skipped=0
log=build/test-logs
mkdir -p "$log"
skips=$log/skipped.txt  # suite, test, reason; tab-separated
: >"$skips"
results=()

# $1: suite; stdin: GoogleTest output.
note_skips() {
  awk -f tests/gtest-skips.awk | sed "s/^/$1\t/" >>"$skips"
}

tally() {  # $1: suite, $2 $3 $4: passed, failed, skipped
  passed=$((passed + $2))
  failed=$((failed + $3))
  skipped=$((skipped + $4))
  results+=("$1: $2 passed, $3 failed, $4 skipped")
}

# Counts ctest's own verdict on each test: "Passed", "***Skipped", and
# anything else (failed, timed out, crashed, not run) as a failure.
count_ctest() {  # $1: suite, $2: ctest's output, $3: build folder
  local test='^ *[0-9]+/[0-9]+ Test +#[0-9]+: '
  local p s t f
  p=$(grep -cE "$test.* Passed +[0-9.]+ sec\$" "$2")
  s=$(grep -cE "$test.*\\*\\*\\*(Skipped|Not Run \\(Disabled\\))" "$2")
  t=$(grep -cE "$test" "$2")
  f=$((t - p - s))
  grep -E "$test.*\\*\\*\\*" "$2" | grep -vE '\*\*\*(Skipped|Not Run \(Disabled\))' || true
  if ! grep -qE '[0-9]+ tests? failed out of [1-9][0-9]*' "$2"; then
    echo "$1: ctest ran no test or ended early (see $2)"
    tail -n 5 "$2"
    f=$((f + 1))
  fi
  [ -f "$3/Testing/Temporary/LastTest.log" ] && note_skips "$1" <"$3/Testing/Temporary/LastTest.log"
  tally "$1" "$p" "$f" "$s"
}

run_preset() {  # $1: preset, $2: build folder below build/
  echo "== $1"
  if ! tools/logged.sh "$log/$1-configure.txt" cmake --preset "$1" ||
     ! tools/logged.sh "$log/$1-build.txt" cmake --build --preset "$1" -j "$jobs"; then
    tally "$1" 0 1 0
    return
  fi
  (cd "build/$2" && ctest --output-on-failure) >"$log/$1-ctest.txt" 2>&1
  count_ctest "$1" "$log/$1-ctest.txt" "build/$2"
  echo "${results[-1]}"
}

run_preset native native
run_preset native-asan asan
run_preset native-tsan tsan

echo "== mingw + wine"
wine_out=$log/wine-run.txt
tests/wine/run.sh >"$wine_out" 2>&1
tail -n 25 "$wine_out"
summary=$(grep -E '^wine: [0-9]+ passed, [0-9]+ failed, [0-9]+ skipped$' "$wine_out" | tail -n1)
if [ -n "$summary" ]; then
  read -r w_pass w_fail w_skip < <(echo "$summary" | grep -Eo '[0-9]+' | tr '\n' ' ')
  tally wine "$w_pass" "$w_fail" "$w_skip"
else
  echo "wine: the harness ended without its summary (see $wine_out)"
  tally wine 0 1 0
fi
# The harness keeps each test program's output under its own log folder.
for f in "$log"/wine/zw_*_tests.txt; do
  [ -f "$f" ] && note_skips wine <"$f"
done

echo
if [ -s "$skips" ]; then
  echo "skipped, by suite and reason:"
  sort -t$'\t' -k1,1 -k3,3 -k2,2 "$skips" | awk -F'\t' '
    { key = $1 "\t" $3; if (!(key in n)) { order[++keys] = key; first[key] = $2 } n[key]++ }
    END {
      for (i = 1; i <= keys; i++) {
        split(order[i], part, "\t")
        more = n[order[i]] > 1 ? sprintf(" and %d more", n[order[i]] - 1) : ""
        printf "  %s: %d (%s): %s%s\n", part[1], n[order[i]], part[2], first[order[i]], more
      }
    }'
fi
printf '%s\n' "${results[@]}"
echo "$passed passed, $failed failed, $skipped skipped"
[ "$failed" -eq 0 ]
