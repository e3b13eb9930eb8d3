#!/usr/bin/env bash
# End-to-end test of full screen on a plain X display with one mode (a laptop panel, a virtual
# machine, a remote desktop): no mode switch is needed or possible, so full screen only covers the
# screen, and every way back must still work.
# Usage: run_e2e_display_plain.sh <vexa_e2e_player.exe> <vexa_display_probe.exe> <display.pak> <work folder>
#
# The player (the e2e test build) runs under the name vexaplain.exe with the display game
# (tests/display/game: an 800 x 600 movie whose keys send SF, LF, GF, SCR, MIN and Q) as its
# data.pak, on its own Xvfb screen of 1280 x 1024 (one mode) and its own Wine prefix, without a
# virtual desktop. The probe (tests/display/probe.cpp) reads the mode and the player's window.
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

GAME_EXE=vexaplain.exe
PROBE_EXE=vexa_display_probe.exe
SCREEN_W=${VEXA_PLAIN_W:-1280}
SCREEN_H=${VEXA_PLAIN_H:-1024}
DESKTOP_MODE="$SCREEN_W $SCREEN_H"
FULL_WINDOW="window 0 0 $SCREEN_W $SCREEN_H caption=0 topmost=1 minimized=0"
GAME_PID=
# shellcheck source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

cleanup() {
  [[ -n $GAME_PID ]] && kill -9 "$GAME_PID" 2>/dev/null
  vexa_env_stop
}
trap cleanup EXIT

rm -rf "$WORK"
mkdir -p "$WORK/game"

unset VEXA_ENV_READY DISPLAY
export WINEPREFIX=$WORK-wineprefix
VEXA_ENV_OWN_DISPLAY=1 VEXA_ENV_AUDIO=0 VEXA_ENV_SCREEN=${SCREEN_W}x${SCREEN_H}x24 \
  vexa_env_start "$ARCH" "$WORK" "$WORK" || { echo "FAIL: no environment for $ARCH programs"; exit 1; }
echo "DISPLAY=$DISPLAY WINEPREFIX=$WINEPREFIX loader=$VEXA_WINE ($VEXA_WINE_WHY)"
# A prefix kept from another test may name a virtual desktop: this one is the plain X screen.
"$VEXA_WINE" reg delete 'HKCU\Software\Wine\Explorer' /v Desktop /f </dev/null >/dev/null 2>&1
for exe in "$GAME_EXE" "$PROBE_EXE"; do
  "$VEXA_WINE" reg delete "HKCU\\Software\\Wine\\AppDefaults\\$exe\\Explorer" /f </dev/null >/dev/null 2>&1
done
"$VEXA_WINE" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger \
  /d 'vexa-no-debugger.exe %ld %ld' /f </dev/null >/dev/null 2>&1

cp "$PLAYER" "$WORK/game/$GAME_EXE"
cp "$PROBE" "$WORK/game/$PROBE_EXE"
cp "$PAK" "$WORK/game/data.pak"

# --- Helpers -----------------------------------------------------------------------------------
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

T=$WORK/game.transcript
L=$WORK/game.log
D=$WORK/diagnostics.log

start_game() {
  : >"$L"
  (cd "$WORK/game" &&
    exec env VEXA_STANDIN_TRANSCRIPT="$(winpath "$T")" VEXA_FSCOMMAND_LOG="$(winpath "$L")" \
      VEXA_DIAGNOSTICS="$(winpath "$D")" \
      "$VEXA_WINE" "$GAME_EXE" </dev/null >"$WORK/game.out" 2>&1) &
  GAME_PID=$!
  local deadline=$((SECONDS + 60))
  while ((SECONDS < deadline)); do
    grep -q $'^READY\t' "$L" 2>/dev/null && return 0
    kill -0 "$GAME_PID" 2>/dev/null || return 1
    sleep 0.2
  done
  return 1
}

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

# Presses a key with the pointer over the middle of the screen (inside the game windowed and in
# full screen) and waits for the command it sends to reach the player's log.
press() {  # key command
  local before
  before=$(grep -c "^$2"$'\t' "$L" 2>/dev/null)
  xdotool mousemove $((SCREEN_W / 2)) $((SCREEN_H / 2))
  xdotool key --clearmodifiers "$1"
  local deadline=$((SECONDS + 10))
  while ((SECONDS < deadline)); do
    (($(grep -c "^$2"$'\t' "$L" 2>/dev/null) > before)) && return 0
    sleep 0.2
  done
  return 1
}

results_of() {  # text
  grep -cF "scene log layer=0 text=\"result $1\"" "$T" 2>/dev/null
}

# Sends GF and waits for its answer, which must be `text` ("on" or "off").
expect_gf() {  # text
  local on off
  on=$(results_of on)
  off=$(results_of off)
  press g GF || { fail "GF did not arrive"; return; }
  local deadline=$((SECONDS + 10))
  while ((SECONDS < deadline)); do
    if (($(results_of on) > on)); then
      [[ $1 == on ]] || fail "GF answered on"
      return
    fi
    if (($(results_of off) > off)); then
      [[ $1 == off ]] || fail "GF answered off"
      return
    fi
    sleep 0.2
  done
  fail "GF did not answer"
}

expect_mode_unchanged() {
  [[ $(probe mode) == "mode $DESKTOP_MODE "* ]] || fail "the mode is \"$(probe mode)\", not the screen's"
}

# ===============================================================================================
begin "0 the plain screen has one mode"
if wait_probe "mode $DESKTOP_MODE " 30 mode; then
  probe modes >"$WORK/modes.txt"
  others=$(grep '^mode ' "$WORK/modes.txt" | grep -vc "^mode $DESKTOP_MODE ")
  ((others == 0)) || fail "$others other modes are listed ($WORK/modes.txt)"
else
  fail "the mode is \"$PROBED\", not $DESKTOP_MODE"
fi
finish

begin "1 the game starts in a captioned window"
game_up=0
WINDOWED=
if start_game; then
  game_up=1
  if wait_probe "caption=1 topmost=0 minimized=0" 10 window; then
    read -r _ left top right bottom _ <<<"$PROBED"
    WINDOWED="window $left $top $right $bottom caption=1 topmost=0 minimized=0"
  else
    fail "window: $PROBED"
  fi
else
  fail "the game did not start (log $L, transcript $T)"
fi
finish

begin "2 SF covers the screen without a mode change; GF says on"
if ((game_up)); then
  press f SF || fail "SF did not arrive"
  wait_probe "$FULL_WINDOW" 10 window || fail "the window is \"$PROBED\", not $FULL_WINDOW"
  expect_mode_unchanged
  [[ $(probe markers) == "markers 0" ]] || fail "a switch marker without a switch"
  expect_gf on
fi
finish

begin "3 LF: the captioned window comes back; GF says off"
if ((game_up)); then
  press l LF || fail "LF did not arrive"
  wait_probe "$WINDOWED" 10 window || fail "the window is \"$PROBED\", not \"$WINDOWED\""
  expect_mode_unchanged
  expect_gf off
fi
finish

begin "4 MIN in full screen minimises; activation covers the screen again"
if ((game_up)); then
  press f SF || fail "SF did not arrive"
  wait_probe "$FULL_WINDOW" 10 window || fail "full screen did not come back ($PROBED)"
  press m MIN || fail "MIN did not arrive"
  wait_probe "minimized=1" 10 window || fail "the game did not minimise ($PROBED)"
  probe activate || fail "the probe could not activate the game"
  wait_probe "$FULL_WINDOW" 10 window || fail "the window is \"$PROBED\", not $FULL_WINDOW"
  expect_gf on
  expect_mode_unchanged
fi
finish

begin "5 another program takes the foreground: the game makes way; back again it covers the screen"
if ((game_up)); then
  (cd "$WORK/game" && exec "$VEXA_WINE" "$PROBE_EXE" other 6 </dev/null >"$WORK/other.out" 2>&1) &
  other=$!
  deadline=$((SECONDS + 10))
  until grep -q "other up" "$WORK/other.out" 2>/dev/null || ((SECONDS > deadline)); do sleep 0.2; done
  grep -q "other up" "$WORK/other.out" || fail "the other window did not get the foreground"
  wait_probe "minimized=1" 10 window || fail "the game did not make way ($PROBED)"
  wait "$other" 2>/dev/null
  probe activate || fail "the probe could not activate the game"
  wait_probe "$FULL_WINDOW" 10 window || fail "the window is \"$PROBED\", not $FULL_WINDOW"
  expect_gf on
fi
finish

begin "6 LF after all that, then Q: windowed, and the player ends cleanly"
if ((game_up)); then
  press l LF || fail "LF did not arrive"
  wait_probe "$WINDOWED" 10 window || fail "the window is \"$PROBED\", not \"$WINDOWED\""
  expect_gf off
  press q Q || fail "Q did not arrive"
  if wait_game_exit 30; then
    [[ $STATUS == 0 ]] || fail "exit status $STATUS"
    expect_mode_unchanged
  else
    fail "the player did not end after Q"
    kill -9 "$GAME_PID" 2>/dev/null
  fi
fi
finish

echo "e2e display (plain screen): transcripts, logs and probe output in $WORK"
echo "e2e display (plain screen): $PASSED passed, $FAILED failed"
((FAILED == 0))
