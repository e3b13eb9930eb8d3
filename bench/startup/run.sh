#!/usr/bin/env bash
# Start-up benchmark of the Windows player: median time from process start to the movie's first byte
# delivered to the plug-in (the stand-in's first "in NPP_Write" transcript line), against the median
# time an empty Win32 window program needs to create its window (and, for reference, to show it),
# both started by the same launcher in one Wine session. The player delivers the movie while its
# window is being created, before showing it, so "created" is the comparable point. Prints both and their ratio (goal: at most 1.2).
#
# Usage: bench/startup/run.sh [build folder] [runs]
#   build folder: a Windows build (default build/windows-i686 where 32-bit programs run here, else
#   build/windows-x86_64); it must have built vexa_player, vexa_demo_pak, startup_launcher and
#   startup_empty_window.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
# shellcheck source=../../scripts/wine-env.sh
source "$ROOT/scripts/wine-env.sh"
DIR=${1:-}
RUNS=${2:-7}
if [[ -z $DIR ]]; then
  if vexa_wine_probe i686; then DIR=$ROOT/build/windows-i686; else DIR=$ROOT/build/windows-x86_64; fi
fi
DIR=$(cd "$DIR" && pwd)
LAUNCHER=$DIR/bench/startup/startup_launcher.exe
EMPTY=$DIR/bench/startup/startup_empty_window.exe
PLAYER=$DIR/player/vexa_player.exe
for f in "$LAUNCHER" "$EMPTY" "$PLAYER" "$DIR/player/data.pak"; do
  [[ -f $f ]] || { echo "missing $f: build the player and the startup_* targets first" >&2; exit 1; }
done
ARCH=$(vexa_pe_arch "$PLAYER")
WORK=$DIR/bench-startup
mkdir -p "$WORK"
trap vexa_env_stop EXIT
export WINEPREFIX=$WORK/wineprefix
VEXA_ENV_OWN_DISPLAY=1 VEXA_ENV_AUDIO=0 vexa_env_start "$ARCH" "$WORK" "$WORK" >/dev/null

winpath() { local p=$1; echo "Z:${p//\//\\}"; }
export VEXA_STANDIN_TRANSCRIPT
VEXA_STANDIN_TRANSCRIPT=$(winpath "$WORK/marker.txt")

# One warm-up run each, so neither pays for a cold prefix.
"$VEXA_WINE" "$LAUNCHER" 1 created "$(winpath "$EMPTY")" >/dev/null
"$VEXA_WINE" "$LAUNCHER" 1 "in NPP_Write" "$(winpath "$PLAYER")" "$(winpath "$DIR/player")" >/dev/null

empty=$("$VEXA_WINE" "$LAUNCHER" "$RUNS" created "$(winpath "$EMPTY")" | tr -d '\r' |
  sed -n 's/^median_ms=//p')
shown=$("$VEXA_WINE" "$LAUNCHER" "$RUNS" shown "$(winpath "$EMPTY")" | tr -d '\r' |
  sed -n 's/^median_ms=//p')
player=$("$VEXA_WINE" "$LAUNCHER" "$RUNS" "in NPP_Write" "$(winpath "$PLAYER")" \
  "$(winpath "$DIR/player")" | tr -d '\r' | sed -n 's/^median_ms=//p')
[[ -n $empty && -n $player ]] || { echo "a run failed" >&2; exit 1; }
echo "empty window created: ${empty} ms, shown: ${shown} ms (medians of $RUNS)"
echo "player, first movie byte delivered: ${player} ms (median of $RUNS)"
awk -v p="$player" -v e="$empty" 'BEGIN { printf "ratio player/empty: %.2f (goal <= 1.20)\n", p / e }'
