#!/usr/bin/env bash
# Runs a command with all its output in a log file, and shows the log's tail
# only when the command fails; a build that works stays quiet.
#   tools/logged.sh LOG COMMAND...
set -uo pipefail
log=$1
shift
mkdir -p "$(dirname "$log")"
"$@" >"$log" 2>&1
status=$?
if [ "$status" -ne 0 ]; then
  tail -n 40 "$log"
  echo "failed (status $status): $* (whole log: $log)" >&2
fi
exit "$status"
