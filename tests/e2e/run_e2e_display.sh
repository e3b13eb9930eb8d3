#!/usr/bin/env bash
# End-to-end test of display modes and full screen under Wine, on Wine's virtual desktop, which
# has real display modes (the root desktop of Xvfb has one size only).
# Usage: run_e2e_display.sh <vexa_e2e_player.exe> <vexa_display_probe.exe> <display.pak> <work folder>
#
# The player (the e2e test build, which logs every FSCommand) runs under the name vexadisp.exe
# with the display game (tests/display/game: an 800 x 600 movie whose keys send SF, LF, GF, SCR,
# MIN and Q) as its data.pak. The probe (tests/display/probe.cpp) runs in the same virtual desktop
# and reads the current mode and the player's window: windows of a virtual desktop are not
# visible to X tools.
#
# The test keeps to its own X display (2048 x 1536: larger than the 1920 x 1080 virtual desktop,
# or the desktop mode cannot be restored) and its own Wine prefix (<work folder>-wineprefix, kept
# between runs), whatever the caller has: the virtual desktop is switched on for the two program
# names only, in that prefix only.
#
# Every scenario ends with "PASS: <scenario>" or "FAIL: <scenario>: <what>" per failed check; the
# last line counts them.
set -uo pipefail

if (($# != 4)); then
  echo "usage: $0 <vexa_e2e_player.exe> <vexa_display_probe.exe> <display.pak> <work folder>" >&2
  exit 2
fi
PLAYER=$1
PROBE=$2
PAK=$3
WORK=$(realpath -m "$4")

# shellcheck source=../../scripts/wine-env.sh
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/wine-env.sh"
ARCH=$(vexa_pe_arch "$PLAYER") || { echo "FAIL: $PLAYER is not a Windows program"; exit 1; }
for file in "$PLAYER" "$PROBE" "$PAK"; do
  [[ -f $file ]] || { echo "FAIL: $file is missing (build vexa_e2e_player and vexa_display_probe)"; exit 1; }
done
for tool in Xvfb xdotool wineserver; do
  command -v "$tool" >/dev/null || { echo "FAIL: $tool is not installed (scripts/setup.sh)"; exit 1; }
done

GAME_EXE=vexadisp.exe
PROBE_EXE=vexa_display_probe.exe
DESKTOP_NAME=vexadisplay
DESKTOP_SIZE=1920x1080
DESKTOP_MODE="1920 1080 32"
GAME_PID=
# shellcheck source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

cleanup() {
  [[ -n $GAME_PID ]] && kill "$GAME_PID" 2>/dev/null
  # Whatever happened, the virtual desktop goes back to its size before Wine stops.
  [[ -n ${VEXA_WINE:-} && -d $WORK/game ]] && probe restore >/dev/null 2>&1
  vexa_env_stop
}
trap cleanup EXIT

rm -rf "$WORK"
mkdir -p "$WORK/game"

# --- Display and Wine: always our own ----------------------------------------------------------
unset VEXA_ENV_READY DISPLAY
export WINEPREFIX=$WORK-wineprefix
VEXA_ENV_OWN_DISPLAY=1 VEXA_ENV_AUDIO=0 VEXA_ENV_SCREEN=2048x1536x24 \
  vexa_env_start "$ARCH" "$WORK" "$WORK" || { echo "FAIL: no environment for $ARCH programs"; exit 1; }
echo "DISPLAY=$DISPLAY WINEPREFIX=$WINEPREFIX loader=$VEXA_WINE ($VEXA_WINE_WHY)"

reg_add() {  # key name value
  "$VEXA_WINE" reg add "$1" /v "$2" /d "$3" /f </dev/null >/dev/null 2>&1
}
for exe in "$GAME_EXE" "$PROBE_EXE"; do
  reg_add "HKCU\\Software\\Wine\\AppDefaults\\$exe\\Explorer" Desktop "$DESKTOP_NAME"
done
reg_add 'HKCU\Software\Wine\Explorer\Desktops' "$DESKTOP_NAME" "$DESKTOP_SIZE"
# A crash ends the program at once instead of waiting in a debugger.
reg_add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' Debugger 'vexa-no-debugger.exe %ld %ld'
# Markers a run of this test left behind in the prefix's temporary folder.
find "$WINEPREFIX/drive_c/users" -name 'vexa-display-*.marker' -delete 2>/dev/null

cp "$PLAYER" "$WORK/game/$GAME_EXE"
cp "$PROBE" "$WORK/game/$PROBE_EXE"
cp "$PAK" "$WORK/game/data.pak"

# --- Helpers (begin, fail, finish and winpath come from lib.sh) --------------------------------
# Runs the probe; its lines without the carriage returns of a Windows console program. The
# status is the probe's.
probe() {  # command [arguments...]
  local out status
  out=$(cd "$WORK/game" && "$VEXA_WINE" "$PROBE_EXE" "$@" </dev/null 2>>"$WORK/probe.err")
  status=$?
  [[ -n $out ]] && printf '%s\n' "${out//$'\r'/}"
  return $status
}

# Polls `probe args` until its output contains `text`; false after `seconds`. PROBED holds the
# last output.
PROBED=
wait_probe() {  # text seconds command [arguments...]
  local text=$1 deadline=$((SECONDS + $2))
  shift 2
  while :; do
    PROBED=$(probe "$@")
    [[ $PROBED == *"$text"* ]] && return 0
    ((SECONDS < deadline)) || return 1
    sleep 0.3
  done
}

# Full screen is on: the chosen mode, and the player's window covering it (each within 10 s).
expect_full_screen() {
  wait_probe "mode $FULL_MODE" 10 mode || fail "the mode is \"$PROBED\", not $FULL_MODE"
  wait_probe "$FULL_WINDOW" 10 window || fail "the window is \"$PROBED\", not $FULL_WINDOW"
}

# The desktop's mode is back within `seconds`.
expect_desktop_mode() {  # seconds
  wait_probe "mode $DESKTOP_MODE" "$1" mode || fail "the mode is \"$PROBED\", not the desktop's"
}

T=$WORK/game.transcript
L=$WORK/game.log
D=$WORK/diagnostics.log
RUN=0

# Starts the game; false when it did not say READY within a minute.
start_game() {
  RUN=$((RUN + 1))
  : >"$L"
  (cd "$WORK/game" &&
    exec env VEXA_STANDIN_TRANSCRIPT="$(winpath "$T")" VEXA_FSCOMMAND_LOG="$(winpath "$L")" \
      VEXA_DIAGNOSTICS="$(winpath "$D")" \
      "$VEXA_WINE" "$GAME_EXE" </dev/null >"$WORK/game-$RUN.out" 2>&1) &
  GAME_PID=$!
  local deadline=$((SECONDS + 60))
  while ((SECONDS < deadline)); do
    grep -q $'^READY\t' "$L" 2>/dev/null && return 0
    kill -0 "$GAME_PID" 2>/dev/null || return 1
    sleep 0.2
  done
  return 1
}

# Waits for the game to end; STATUS is its exit status (empty when it still runs).
STATUS=
wait_game_exit() {  # seconds
  local deadline=$((SECONDS + $1))
  STATUS=
  while ((SECONDS < deadline)); do
    if ! kill -0 "$GAME_PID" 2>/dev/null; then
      wait "$GAME_PID" 2>/dev/null
      STATUS=$?
      GAME_PID=
      return 0
    fi
    sleep 0.2
  done
  return 1
}

kill_game() {
  if [[ -n $GAME_PID ]]; then
    kill -9 "$GAME_PID" 2>/dev/null
    wait "$GAME_PID" 2>/dev/null
    GAME_PID=
  fi
}

# Presses a key in the game (the pointer over the area the game covers windowed and in full
# screen) and waits for the command it sends to reach the player's log.
press() {  # key command
  local before
  before=$(grep -c "^$2"$'\t' "$L" 2>/dev/null)
  xdotool mousemove 900 500
  xdotool key --clearmodifiers "$1"
  local deadline=$((SECONDS + 10))
  while ((SECONDS < deadline)); do
    (($(grep -c "^$2"$'\t' "$L" 2>/dev/null) > before)) && return 0
    sleep 0.2
  done
  return 1
}

# Waits for the movie to log an answer of the player ("result <text>").
wait_result() {  # text seconds
  local deadline=$((SECONDS + $2))
  while ((SECONDS < deadline)); do
    grep -qF "scene log layer=0 text=\"result $1\"" "$T" 2>/dev/null && return 0
    sleep 0.2
  done
  return 1
}

results_of() {  # text
  grep -cF "scene log layer=0 text=\"result $1\"" "$T" 2>/dev/null
}

# ===============================================================================================
# 0. The desktop and its modes; the mode full screen must choose for an 800 x 600 movie.
# ===============================================================================================
begin "0 the virtual desktop is 16:9 and lists real modes"
EXPECTED=
if ! wait_probe "mode $DESKTOP_MODE" 30 mode; then
  fail "the desktop mode is \"$PROBED\", not $DESKTOP_MODE (is the virtual desktop on?)"
else
  probe modes >"$WORK/modes.txt"
  echo "$(wc -l <"$WORK/modes.txt") modes listed"
  # The rule: the desktop's depth, at least 800 x 600, a width-to-height ratio within 0.1 of the
  # desktop's, the smallest area, the first of equals.
  EXPECTED=$(awk -v dw=1920 -v dh=1080 -v depth=32 '
    $1 == "mode" && $4 == depth && $2 >= 800 && $3 >= 600 {
      d = dw / dh - $2 / $3; if (d < 0) d = -d
      if (d < 0.1 && (best == "" || $2 * $3 < area)) { best = $2 " " $3; area = $2 * $3 }
    }
    END { print best }' "$WORK/modes.txt")
  if [[ -z $EXPECTED ]]; then
    fail "no 16:9 mode for an 800 x 600 movie in the list ($WORK/modes.txt)"
  else
    echo "full screen should be $EXPECTED at 32 bits"
    [[ $EXPECTED == "1920 1080" ]] && fail "the only fitting mode is the desktop's: no switch to see"
  fi
  read -r EXPECTED_W EXPECTED_H <<<"$EXPECTED"
fi
finish

FULL_MODE="${EXPECTED_W:-0} ${EXPECTED_H:-0} 32"
FULL_WINDOW="window 0 0 ${EXPECTED_W:-0} ${EXPECTED_H:-0} caption=0 topmost=1 minimized=0"

# ===============================================================================================
# 1. Windowed, then full screen, the watchdog, and back.
# ===============================================================================================
begin "1 the game starts in a captioned window centred on the desktop"
game_up=0
if start_game; then
  game_up=1
  if wait_probe "window " 10 window; then
    read -r _ left top right bottom flags <<<"$PROBED"
    echo "window $left,$top-$right,$bottom $flags"
    WINDOWED="window $left $top $right $bottom caption=1 topmost=0 minimized=0"
    [[ $PROBED == *"caption=1 topmost=0 minimized=0"* ]] || fail "window state: $PROBED"
    (((right - left) > 800 && (bottom - top) > 600)) || fail "the window does not hold the movie"
    # Centred: the same space on both sides (one pixel for an odd difference).
    spare_x=$(((1920 - right) - left))
    spare_y=$(((1080 - bottom) - top))
    ((spare_x >= 0 && spare_x <= 1 && spare_y >= 0 && spare_y <= 1)) ||
      fail "not centred: $left,$top-$right,$bottom"
  else
    fail "the probe does not see the player's window ($PROBED)"
  fi
else
  fail "the game did not start (log $L, transcript $T)"
fi
finish

begin "2 SF: full screen in the chosen mode; GF says on, SCR reports the desktop"
if ((game_up)); then
  press f SF || fail "SF did not arrive"
  expect_full_screen
  [[ $PROBED == *"focus=child"* ]] || fail "the movie does not have the keyboard focus ($PROBED)"
  press g GF || fail "GF did not arrive"
  wait_result on 10 || fail "GF did not answer on"
  press s SCR || fail "SCR did not arrive"
  wait_result "1920 1080 32" 10 || fail "SCR did not answer 1920 1080 32"
  [[ $(probe markers) == "markers 1" ]] || fail "no switch marker while switched"
fi
finish

begin "3 another program takes the foreground: the desktop mode comes back, the game minimises"
if ((game_up)); then
  (cd "$WORK/game" && exec "$VEXA_WINE" "$PROBE_EXE" other 8 </dev/null >"$WORK/other.out" 2>&1) &
  other=$!
  deadline=$((SECONDS + 10))
  until grep -q "other up" "$WORK/other.out" 2>/dev/null || ((SECONDS > deadline)); do sleep 0.2; done
  grep -q "other up" "$WORK/other.out" || fail "the other window did not get the foreground"
  expect_desktop_mode 5
  wait_probe "minimized=1" 5 window || fail "the game did not minimise ($PROBED)"
  [[ $(probe markers) == "markers 0" ]] || fail "the marker stayed after the desktop came back"
  wait "$other" 2>/dev/null
fi
finish

begin "4 back to the game: full screen again, the keys reach the movie"
if ((game_up)); then
  probe activate || fail "the probe could not activate the game"
  expect_full_screen
  before=$(results_of on)
  press g GF || fail "GF did not arrive (keys do not reach the movie)"
  deadline=$((SECONDS + 10))
  until (($(results_of on) > before)) || ((SECONDS > deadline)); do sleep 0.2; done
  (($(results_of on) > before)) || fail "GF did not answer on after coming back"
fi
finish

begin "5 MIN in full screen gives the desktop back; activation takes it again"
if ((game_up)); then
  press m MIN || fail "MIN did not arrive"
  wait_probe "minimized=1" 10 window || fail "the game did not minimise ($PROBED)"
  if ! wait_probe "mode $DESKTOP_MODE" 5 mode; then
    fail "the mode is \"$PROBED\", not the desktop's ($(probe markers); player's diagnostics: $(tr '\r\n' '  ' <"$D" 2>/dev/null))"
  fi
  probe activate || fail "the probe could not activate the game"
  expect_full_screen
fi
finish

begin "6 LF: the desktop mode and the captioned window come back; GF says off"
if ((game_up)); then
  press l LF || fail "LF did not arrive"
  expect_desktop_mode 10
  wait_probe "${WINDOWED:-?}" 10 window || fail "the window is \"$PROBED\", not \"${WINDOWED:-?}\""
  press g GF || fail "GF did not arrive"
  wait_result off 10 || fail "GF did not answer off"
fi
finish

begin "7 Q in full screen: the player ends and the desktop keeps its mode"
if ((game_up)); then
  press f SF || fail "SF did not arrive"
  wait_probe "mode $FULL_MODE" 10 mode || fail "full screen did not come ($PROBED)"
  press q Q || fail "Q did not arrive"
  if wait_game_exit 30; then
    [[ $STATUS == 0 ]] || fail "exit status $STATUS"
    [[ $(probe mode) == "mode $DESKTOP_MODE" ]] || fail "the mode after Q is \"$(probe mode)\""
    [[ $(probe markers) == "markers 0" ]] || fail "a marker stayed after Q"
  else
    fail "the player did not end after Q"
    kill_game
  fi
fi
finish

# ===============================================================================================
# 2. A run killed in full screen.
# ===============================================================================================
begin "8 a player killed in full screen: the next start gives the desktop back"
# On Windows the mode a killed process set stays. Wine resets it when the process is killed, so
# after the kill the test puts back what Windows would leave: the switched mode (set by a process
# that ends without restoring it, which Wine keeps) beside the killed run's marker.
if start_game; then
  press f SF || fail "SF did not arrive"
  wait_probe "mode $FULL_MODE" 10 mode || fail "full screen did not come ($PROBED)"
  kill_game
  [[ $(probe markers) == "markers 1" ]] || fail "the killed run left no marker"
  probe rawswitch "${EXPECTED_W:-0}" "${EXPECTED_H:-0}" 32 >/dev/null || fail "the raw switch was refused"
  [[ $(probe mode) == "mode $FULL_MODE" ]] || fail "the switched mode did not stay"
  if start_game; then
    [[ $(probe mode) == "mode $DESKTOP_MODE" ]] || fail "the next start left the mode \"$(probe mode)\""
    [[ $(probe markers) == "markers 0" ]] || fail "the next start left the marker"
    wait_probe "caption=1 topmost=0 minimized=0" 10 window || fail "window: $PROBED"
    read -r _ left top right bottom _ <<<"$PROBED"
    # Laid out on the restored desktop: centred on 1920 x 1080.
    (((1920 - right) - left <= 1 && (1920 - right) - left >= 0)) ||
      fail "the window was not laid out on the restored desktop ($PROBED)"
    press q Q || fail "Q did not arrive"
    wait_game_exit 30 || { fail "the player did not end after Q"; kill_game; }
  else
    fail "the next start did not come up"
    kill_game
  fi
else
  fail "the game did not start"
  kill_game
fi
finish

begin "9 without a marker a start leaves a mode that another program set alone"
probe rawswitch "${EXPECTED_W:-0}" "${EXPECTED_H:-0}" 32 >/dev/null || fail "the raw switch was refused"
if start_game; then
  [[ $(probe mode) == "mode $FULL_MODE" ]] || fail "the start changed the mode to \"$(probe mode)\""
  press q Q || fail "Q did not arrive"
  wait_game_exit 30 || { fail "the player did not end after Q"; kill_game; }
  [[ $(probe mode) == "mode $FULL_MODE" ]] || fail "closing changed the mode to \"$(probe mode)\""
else
  fail "the game did not start"
  kill_game
fi
probe restore || fail "the probe could not restore the desktop"
finish

# ===============================================================================================
# 3. The restore of the last resort: a process whose display system switched ends without the
#    frame's paths. The controls switch the same way without it and keep the mode.
# ===============================================================================================
begin "10 exit, ExitProcess and a crash while switched give the desktop back"
for end in return exit crash; do
  probe switch 800 600 32 "$end" >"$WORK/switch-$end.out"
  grep -q switched "$WORK/switch-$end.out" || fail "$end: the switch was refused"
  [[ $(probe mode) == "mode $DESKTOP_MODE" ]] || fail "$end: the mode stayed \"$(probe mode)\""
  probe restore >/dev/null
done
for end in exit crash; do
  probe rawswitch 800 600 32 "$end" >/dev/null
  [[ $(probe mode) == "mode 800 600 32" ]] || fail "control $end: Wine restored by itself ($(probe mode))"
  probe restore >/dev/null
done
finish

echo "e2e display: transcripts, logs and probe output in $WORK"
echo "e2e display: $PASSED passed, $FAILED failed"
((FAILED == 0))
