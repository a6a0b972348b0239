#!/usr/bin/env bash
# Builds every configuration and runs every test; the last line sums them up.
set -uo pipefail
cd "$(dirname "$0")/.."
jobs=${JOBS:-$(nproc)}
passed=0
failed=0
log=build/test-logs
mkdir -p "$log"

count_ctest() {  # $1: preset, $2: log
  local total fails
  total=$(grep -Eo 'tests passed, [0-9]+ tests failed out of [0-9]+' "$2" | tail -n1 | grep -Eo '[0-9]+$' || echo 0)
  fails=$(grep -Eo '[0-9]+ tests failed out of' "$2" | tail -n1 | grep -Eo '^[0-9]+' || echo 0)
  passed=$((passed + ${total:-0} - ${fails:-0}))
  failed=$((failed + ${fails:-0}))
}

run_preset() {  # $1: preset
  echo "== $1"
  if ! cmake --preset "$1" >"$log/$1-configure.txt" 2>&1 ||
     ! cmake --build --preset "$1" -j "$jobs" >"$log/$1-build.txt" 2>&1; then
    echo "$1: build failed (see $log/$1-build.txt)"
    tail -n 30 "$log/$1-build.txt" "$log/$1-configure.txt" 2>/dev/null
    failed=$((failed + 1))
    return
  fi
  (cd "build/$2" && ctest --output-on-failure) >"$log/$1-ctest.txt" 2>&1
  tail -n 3 "$log/$1-ctest.txt"
  grep -E '^\s*[0-9]+ - .*\(Failed|\(Subprocess|\(Timeout' "$log/$1-ctest.txt" || true
  count_ctest "$1" "$log/$1-ctest.txt"
}

run_preset native native
run_preset native-asan asan
run_preset native-tsan tsan

if [ -x tests/wine/run.sh ]; then
  echo "== mingw + wine"
  if out=$(tests/wine/run.sh 2>&1); then :; fi
  echo "$out" | tail -n 20
  w_pass=$(echo "$out" | grep -Eo '^wine: [0-9]+ passed' | grep -Eo '[0-9]+' | tail -n1)
  w_fail=$(echo "$out" | grep -Eo '[0-9]+ failed$' | grep -Eo '[0-9]+' | tail -n1)
  [ -n "$w_pass" ] || w_fail=$(( ${w_fail:-0} + 1 ))
  passed=$((passed + ${w_pass:-0}))
  failed=$((failed + ${w_fail:-0}))
fi

echo "total: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
