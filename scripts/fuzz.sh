#!/usr/bin/env bash
# A long fuzzing campaign: builds the libFuzzer targets (preset linux-fuzz), runs every target for
# the given time on its checked-in corpus plus a working corpus of its own, then merges what the run
# found back into the checked-in corpus (only inputs that add coverage; the folder stays small).
# Crashing inputs are kept in the work folder and listed at the end.
#
# Usage: scripts/fuzz.sh [--minutes N] [--jobs J] [--no-merge] [target ...]
#   --minutes N   per target (default 60)
#   --jobs J      targets run side by side (default 1; each uses one core)
#   --no-merge    leave the checked-in corpora as they are
#   target ...    only these targets (names as in build/linux-fuzz/fuzzers/*.txt)
# Environment: VEXA_BUILD_DIR (default <repo>/build).
set -uo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${VEXA_BUILD_DIR:-$ROOT/build}
DIR=$BUILD/linux-fuzz
MINUTES=60
JOBS=1
MERGE=1
TARGETS=()
while (($#)); do
  case $1 in
    --minutes) MINUTES=$2; shift 2 ;;
    --jobs) JOBS=$2; shift 2 ;;
    --no-merge) MERGE=0; shift ;;
    -h | --help) sed -n '2,13p' "$0"; exit 0 ;;
    -*) echo "unknown option $1" >&2; exit 2 ;;
    *) TARGETS+=("$1"); shift ;;
  esac
done

echo "fuzz: building the fuzz targets in $DIR"
rm -rf "$DIR/fuzzers"
cmake --preset linux-fuzz -S "$ROOT" -B "$DIR" >/dev/null || exit 1
lists=("$DIR"/fuzzers/*.txt)
[[ -e ${lists[0]} ]] || { echo "fuzz: no fuzz targets"; exit 1; }
if ((${#TARGETS[@]} == 0)); then
  for list in "${lists[@]}"; do TARGETS+=("$(basename "$list" .txt)"); done
fi
cmake --build "$DIR" -j "$(nproc)" --target "${TARGETS[@]}" >/dev/null || exit 1

# Allocation stacks of one frame: unwinding every allocation costs a campaign about a sixth of its
# speed. A crash found is run once more with full stacks for its report (crashes/*.txt). Inputs
# libFuzzer found slow (slow-unit-*: over 10 s, which a starved process on a busy machine can
# reach too) are not crashes: they are run once more and listed with the time that run took.
export ASAN_OPTIONS=${ASAN_OPTIONS:-malloc_context_size=1}

WORK=$DIR/campaign
mkdir -p "$WORK"
SECONDS_EACH=$((MINUTES * 60))

run_one() {
  local name=$1 list=$DIR/fuzzers/$1.txt
  local exe corpus dict work
  exe=$(sed -n 1p "$list")
  corpus=$(sed -n 2p "$list")
  dict=$(sed -n 3p "$list")
  work=$WORK/$name
  mkdir -p "$work/corpus" "$work/crashes"
  local dirs=("$work/corpus")
  [[ -n $corpus && -d $corpus ]] && dirs+=("$corpus")
  local options=()
  [[ -n $dict && -f $dict ]] && options+=(-dict="$dict")
  # CPU time too (where GNU time is installed): a campaign that shares the machine gets less than
  # its wall time.
  local timer=()
  rm -f "$work/cpu"
  [[ -x /usr/bin/time ]] && timer=(/usr/bin/time -f '%U %S' -o "$work/cpu")
  "${timer[@]}" "$exe" -max_total_time="$SECONDS_EACH" -timeout=25 -rss_limit_mb=2560 -print_final_stats=1 "${options[@]}" \
    -artifact_prefix="$work/crashes/" "${dirs[@]}" >"$work/log" 2>&1
  local rc=$?
  local runs cov
  runs=$(grep -Eo 'stat::number_of_executed_units: *[0-9]+' "$work/log" | grep -Eo '[0-9]+$' || echo '?')
  cov=$(grep -Eo 'cov: [0-9]+' "$work/log" | tail -n 1 | grep -Eo '[0-9]+' || echo '?')
  local crashes slow artifact
  crashes=$(find "$work/crashes" -type f ! -name '*.txt' ! -name 'slow-unit-*' | wc -l)
  slow=$(find "$work/crashes" -type f -name 'slow-unit-*' ! -name '*.txt' | wc -l)
  for artifact in "$work"/crashes/*; do
    [[ -f $artifact && $artifact != *.txt ]] || continue
    ASAN_OPTIONS= "$exe" "$artifact" >"$artifact.txt" 2>&1
  done
  if ((MERGE)) && [[ -n $corpus && -d $corpus ]]; then
    "$exe" -merge=1 "$corpus" "$work/corpus" >"$work/merge.log" 2>&1 || true
  fi
  local rate='?' cpu='?' cpurate='?'
  [[ $runs =~ ^[0-9]+$ ]] && rate=$((runs / (SECONDS_EACH > 0 ? SECONDS_EACH : 1)))
  cpu=$(awk 'NR==1 && NF==2 {printf "%d", $1 + $2}' "$work/cpu" 2>/dev/null)
  [[ $runs =~ ^[0-9]+$ && $cpu =~ ^[0-9]+$ && $cpu -gt 0 ]] && cpurate=$((runs / cpu))
  printf '%-22s exit %-3s runs %-10s per-second %-6s cpu-s %-6s per-cpu-second %-6s coverage %-6s crashes %s slow %s\n' \
    "$name" "$rc" "$runs" "$rate" "${cpu:-?}" "$cpurate" "$cov" "$crashes" "$slow"
}

echo "fuzz: ${MINUTES} min per target, $JOBS at a time: ${TARGETS[*]}"
running=0
for name in "${TARGETS[@]}"; do
  [[ -f $DIR/fuzzers/$name.txt ]] || { echo "fuzz: no target $name" >&2; continue; }
  run_one "$name" &
  running=$((running + 1))
  if ((running >= JOBS)); then
    wait -n
    running=$((running - 1))
  fi
done
wait
echo "fuzz: logs, working corpora and crashing inputs in $WORK"
slow=$(find "$WORK" -path '*/crashes/slow-unit-*' -type f ! -name '*.txt')
if [[ -n $slow ]]; then
  echo "fuzz: inputs found slow (the time of a run on their own):"
  while read -r artifact; do
    echo "  $artifact: $(grep -Eo 'in [0-9]+ ms' "$artifact.txt" 2>/dev/null | head -n 1)"
  done <<<"$slow"
fi
found=$(find "$WORK" -path '*/crashes/*' -type f ! -name '*.txt' ! -name 'slow-unit-*' | wc -l)
if ((found)); then
  echo "fuzz: $found crashing input(s) (each with its report beside it, .txt):"
  find "$WORK" -path '*/crashes/*' -type f ! -name '*.txt' ! -name 'slow-unit-*'
  exit 1
fi
