#!/usr/bin/env bash
# The installed demo, started as its Start-menu shortcut starts it (run_e2e_installer.sh calls this
# with the shortcut's target and working folder): the demo must show, save a game with its "Save
# game" button into the player's data folder, and quit with its Quit button.
# Usage: start_installed.sh <exe, Windows path> <exe, Unix path> <working folder, Windows path>
# Environment: VEXA_WINE, WINEPREFIX, DISPLAY (set by the caller); VEXA_INSTALLED_WORK, a folder
# for the transcript and screenshots; VEXA_INSTALLED_SAVES, the saves folder (Unix path) that must
# hold a file afterwards.
set -uo pipefail
(($# == 3)) || { echo "usage: $0 <exe (Windows)> <exe (Unix)> <working folder (Windows)>" >&2; exit 2; }
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
WORK=${VEXA_INSTALLED_WORK:?}
SAVES=${VEXA_INSTALLED_SAVES:?}
declare -A PIDS=()
# shellcheck source=lib.sh
source "$HERE/lib.sh"
trap stop_all_programs EXIT
mkdir -p "$WORK"
T=$WORK/installed.transcript
rm -f "$T"

# The working folder is the shortcut's: the caller runs this from it.
(exec env VEXA_STANDIN_TRANSCRIPT="$(winpath "$T")" "$VEXA_WINE" "$1" </dev/null \
  >"$WORK/installed.out" 2>&1) &
PIDS[installed]=$!

if ! wait_for "$T" 'kind=button id="restore"' 90 installed || ! find_demo_header "$WORK/installed.png" 50; then
  echo "the installed demo did not show: $(tail -n 3 "$WORK/installed.out")"
  exit 1
fi
xdotool mousemove $((X + 385)) $((Y + 426)) click 1
deadline=$((SECONDS + 30))
until [[ -n $(find "$SAVES" -type f 2>/dev/null | head -n 1) ]]; do
  if ((SECONDS > deadline)); then
    echo "no save appeared in $SAVES after a click on Save game"
    exit 1
  fi
  sleep 0.2
done
xdotool mousemove $((X + 635)) $((Y + 176)) click 1
if ! wait_exit installed 30; then
  echo "the installed demo did not quit with its Quit button"
  exit 1
fi
echo "the installed demo showed, saved into $SAVES and quit"
