#!/usr/bin/env bash
# Kills a process that keeps changing saves at random moments and checks, after every kill, that
# each set file decodes completely, holds saves exactly as they were written, and has lost nothing
# the program had flushed. Prints the figures at the end.
#
#   crash_test.sh <save_crasher> <kills> [work folder]
#
# RUNNER (environment) is put in front of the program, e.g. RUNNER=/usr/lib/wine/wine64 for the
# Windows build (the kill then ends the Wine process as abruptly as TerminateProcess would).
# Exit status 0 when every check held.
set -u

crasher=$1
kills=$2
work=${3:-$(mktemp -d "${TMPDIR:-/tmp}/vexa-crash.XXXXXX")}
runner=${RUNNER:-}
mkdir -p "$work/data"
log="$work/durable.log"
: > "$log"

failures=0
checked=0
temporary=0
newest=0
started=$(date +%s.%N)

for ((i = 1; i <= kills; i++)); do
  $runner "$crasher" run "$work/data" "$i" >> "$log" 2>> "$work/stderr.log" &
  pid=$!
  # Between 5 and 300 ms: early kills land in start-up and the first writes, later ones anywhere.
  sleep "0.$(printf '%03d' $((RANDOM % 296 + 5)))"
  kill -9 "$pid" 2> /dev/null
  wait "$pid" 2> /dev/null
  if ! result=$($runner "$crasher" verify "$work/data" "$log"); then
    failures=$((failures + 1))
    echo "kill $i: $result" | grep -v '^checked' >&2
  fi
  figures=$(echo "$result" | grep '^checked' | tail -1)
  saves=$(echo "$figures" | sed -n 's/.*saves=\([0-9]*\).*/\1/p')
  gen=$(echo "$figures" | sed -n 's/.*newest=\([0-9]*\).*/\1/p')
  temp=$(echo "$figures" | sed -n 's/.*temporary=\([0-9]*\).*/\1/p')
  checked=$((checked + ${saves:-0}))
  temporary=$((temporary + ${temp:-0}))
  newest=${gen:-$newest}
done

elapsed=$(awk -v a="$started" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }')
durable=$(wc -l < "$log")
echo "kills=$kills failures=$failures saves_checked=$checked generations_written=$newest" \
     "durable_promises=$durable temporary_files_swept=$temporary seconds=$elapsed"
[ -z "${3:-}" ] && [ "$failures" -eq 0 ] && rm -rf "$work"
[ "$failures" -eq 0 ]
