#!/usr/bin/env bash
# End-to-end test of the Windows player under Wine (see CMakeLists.txt in this folder).
# Usage: run_e2e.sh <vexa_player.exe> <vexa_e2e_player.exe> <work folder>
# Each program runs in its own folder, next to its data.pak. The stand-in plug-in writes its
# transcript (VEXA_STANDIN_TRANSCRIPT) and the player its command log (VEXA_FSCOMMAND_LOG); both
# and the screenshots are kept in the work folder for a look after a failure.
set -uo pipefail

if (($# != 3)); then
  echo "usage: $0 <vexa_player.exe> <vexa_e2e_player.exe> <work folder>" >&2
  exit 2
fi
PLAYER=$1
E2E=$2
WORK=$3
FAILED=0
RUNNING_PID=

# The Wine loader that fits the programs under test (i686 or x86_64, by their PE header).
# shellcheck source=../../scripts/wine-env.sh
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/wine-env.sh"
ARCH=$(vexa_pe_arch "$PLAYER") || { echo "FAIL: $PLAYER is not a Windows program"; exit 1; }

fail() {
  echo "FAIL: $*"
  FAILED=1
}

cleanup() {
  [[ -n $RUNNING_PID ]] && kill "$RUNNING_PID" 2>/dev/null
  vexa_env_stop
}
trap cleanup EXIT

rm -rf "$WORK"
mkdir -p "$WORK"

for tool in Xvfb import convert xdotool wineserver; do
  command -v "$tool" >/dev/null || { echo "FAIL: $tool is not installed (scripts/setup.sh)"; exit 1; }
done

# --- Display and Wine ------------------------------------------------------------------------
# Uses the caller's display and prefix when it has them (scripts/test.sh), its own otherwise.
if [[ -z ${WINEPREFIX:-} ]]; then
  export WINEPREFIX=$WORK/../wineprefix
fi
VEXA_ENV_AUDIO=0 vexa_env_start "$ARCH" "$WORK" "$WORK" || { echo "FAIL: no environment for $ARCH programs"; exit 1; }
echo "DISPLAY=$DISPLAY WINEPREFIX=$WINEPREFIX loader=$VEXA_WINE ($VEXA_WINE_WHY)"

# --- Helpers -----------------------------------------------------------------------------------
# A Unix path as Wine sees it on drive Z:.
winpath() {
  local p=$1
  echo "Z:${p//\//\\}"
}

# Starts a program in its own folder with the transcript and log variables; sets RUNNING_PID.
start_program() {  # exe transcript log [extra VAR=value...]
  local exe=$1 transcript=$2 log=$3
  shift 3
  (cd "$(dirname "$exe")" &&
    exec env VEXA_STANDIN_TRANSCRIPT="$(winpath "$transcript")" \
      VEXA_FSCOMMAND_LOG="$(winpath "$log")" "$@" "$VEXA_WINE" "$(basename "$exe")" \
      </dev/null >"$WORK/$(basename "$exe").out" 2>&1) &
  RUNNING_PID=$!
}

# Waits until `file` has a line containing `text` (fixed string); false after `seconds`.
wait_for() {  # file text seconds
  local deadline=$((SECONDS + $3))
  while ((SECONDS < deadline)); do
    grep -qF -- "$2" "$1" 2>/dev/null && return 0
    kill -0 "$RUNNING_PID" 2>/dev/null || { grep -qF -- "$2" "$1" 2>/dev/null; return; }
    sleep 0.2
  done
  return 1
}

# Waits for the running program to end; false after `seconds`.
wait_exit() {
  local deadline=$((SECONDS + $1))
  while ((SECONDS < deadline)); do
    if ! kill -0 "$RUNNING_PID" 2>/dev/null; then
      wait "$RUNNING_PID" 2>/dev/null
      RUNNING_PID=
      return 0
    fi
    sleep 0.2
  done
  return 1
}

expect_line() {  # file text description
  grep -qF -- "$2" "$1" || fail "$3: no line with: $2"
}

# The line number of the first line of `file` containing `text`, or 0.
line_of() {
  local n
  n=$(grep -nF -- "$2" "$1" | head -n 1 | cut -d: -f1)
  echo "${n:-0}"
}

# The colour (RRGGBB) of one pixel of a screenshot.
pixel() {  # png x y
  convert "$1" -crop "1x1+$2+$3" +repage -format '%[hex:p{0,0}]' info: 2>/dev/null | cut -c1-6
}

# --- 1. The player with the demo game ----------------------------------------------------------
echo "== vexa_player.exe with the demo game"
T1=$WORK/demo-transcript.txt
L1=$WORK/demo-commands.log
: >"$L1"
start_program "$PLAYER" "$T1" "$L1"
if ! wait_for "$T1" 'kind=rect id="header"' 60; then
  fail "the demo movie did not start (transcript $T1)"
else
  # The header bar is an 800x56 rectangle at the client area's origin; find it on the screen.
  origin=
  for ((i = 0; i < 50; ++i)); do
    import -window root "$WORK/demo.png" 2>/dev/null
    box=$(convert "$WORK/demo.png" -fill black +opaque '#2B4C7E' -trim -format '%w %h %X %Y' \
      info: 2>/dev/null)
    read -r w h x y <<<"$box"
    if [[ $w == 800 && $h == 56 ]]; then
      origin="${x#+} ${y#+}"
      break
    fi
    sleep 0.2
  done
  if [[ -z $origin ]]; then
    fail "the demo's 800x56 header was not found on the screen ($WORK/demo.png)"
  else
    read -r X Y <<<"$origin"
    echo "client area at $X,$Y"
    # Buttons: LS via JRI, LS via NPN_Invoke, LS via ExternalInterface, Show readme.txt.
    for at in "135 126" "385 126" "635 126" "135 176"; do
      read -r bx by <<<"$at"
      xdotool mousemove $((X + bx)) $((Y + by)) click 1
      sleep 0.4
    done
    wait_for "$T1" 'key="readme" url="readme.txt"' 20 || fail "readme.txt was not loaded"
    [[ $(grep -c 'scene fscommand path=[a-z]* command="LS" arg="ready"' "$T1") == 3 ]] ||
      fail "the movie did not send LS three times"
    for button in jri invoke external; do
      expect_line "$T1" "button=\"$button\"" "demo click"
    done
    expect_line "$T1" 'scene fscommand path=jri command="LS" arg="ready"' "demo JRI path"
    expect_line "$T1" 'out NPN_Invoke method="test_DoFSCommand" argc=2 arg0="LS" arg1="ready"' \
      "demo invoke path"
    expect_line "$T1" '<invoke name=\"onHostResult\" returntype=\"string\"><arguments><string>1</string></arguments></invoke>' \
      "demo answer through the callback"
    import -window root "$WORK/demo-after.png" 2>/dev/null
    # Quit.
    xdotool mousemove $((X + 635)) $((Y + 176)) click 1
  fi
fi
if wait_exit 30; then
  expect_line "$T1" 'command="Q"' "demo quit"
  expect_line "$T1" 'in NPP_Destroy result=0' "demo shutdown"
else
  fail "vexa_player.exe did not end"
  kill "$RUNNING_PID" 2>/dev/null
  RUNNING_PID=
fi

# --- 2. The test build with the end-to-end movie ----------------------------------------------
echo "== vexa_e2e_player.exe with the end-to-end movie"
T2=$WORK/e2e-transcript.txt
L2=$WORK/e2e-commands.log
STOP=$WORK/e2e.stop
: >"$L2"
rm -f "$STOP"
start_program "$E2E" "$T2" "$L2" VEXA_E2E_STOP="$(winpath "$STOP")"
if ! wait_for "$L2" $'READY\t' 60; then
  fail "the end-to-end movie did not finish (log $L2, transcript $T2)"
else
  read -r _ left top right bottom < <(grep $'^client\t' "$L2" | head -n 1 | tr '\t' ' ')
  if [[ -z ${left:-} ]]; then
    fail "no client rectangle in the log"
  else
    echo "player window at $left,$top-$right,$bottom"
    marker=
    for ((i = 0; i < 50; ++i)); do
      import -window root "$WORK/e2e.png" 2>/dev/null
      marker=$(pixel "$WORK/e2e.png" $((left + 200)) $((top + 140)))
      [[ ${marker^^} == FF00FF ]] && break
      sleep 0.2
    done
    [[ ${marker^^} == FF00FF ]] || fail "the marker is not magenta on the screen ($marker, $WORK/e2e.png)"
    background=$(pixel "$WORK/e2e.png" $((left + 50)) $((top + 250)))
    [[ ${background^^} == FFFFFF ]] || fail "the background is not white ($background)"
    outside=$(pixel "$WORK/e2e.png" $((left + 99)) $((top + 140)))
    [[ ${outside^^} != FF00FF ]] || fail "the marker starts left of x=100"
  fi
fi
touch "$STOP"
if wait_exit 30; then
  expect_line "$L2" $'exit\t1' "e2e orderly exit"
else
  fail "vexa_e2e_player.exe did not end"
fi

# Commands in the order the sink received them: the immediate paths while the movie loads, the
# queued JRI command at the first message, then the load and what follows it.
previous=0
for text in $'INVCMD\tvia invoke' $'ECHO\thello <e2e> & \\\\"friends\\\\"' $'TWO\t' $'VAR\tlevel' \
  $'variable\tlevel\t7' $'JRICMD\tvia jri' $'LOADED\t31' $'client\t' $'READY\t'; do
  n=$(line_of "$L2" "$text")
  if ((n == 0)); then
    fail "e2e log: no line with: $text"
  elif ((n < previous)); then
    fail "e2e log: '$text' came out of order"
  else
    previous=$n
  fi
done

expect_line "$T2" 'kind=rect id="marker" x=100 y=80 w=200 h=120 color="#FF00FF"' "marker drawn"
expect_line "$T2" 'out JRI.CallMethod method=3 argc=3 arg0="FlashPlayer" arg1="JRICMD" arg2="via jri"' \
  "JRI path"
expect_line "$T2" 'out NPN_Invoke method="test_DoFSCommand" argc=2 arg0="INVCMD" arg1="via invoke" result=true' \
  "invoke path"
prefix='<invoke name=\"onHostResult\" returntype=\"string\"><arguments>'
expect_line "$T2" "$prefix<string>hello &lt;e2e&gt; & &quot;friends&quot;</string></arguments>" \
  "ExternalInterface result, escaped once"
expect_line "$T2" "$prefix<string>first</string><string>sec&lt;ond</string></arguments>" \
  "two results in order"
expect_line "$T2" "$prefix<string>7</string></arguments>" "movie variable read back"
expect_line "$T2" "$prefix<string>0</string></arguments>" "no result: the callback gets 0"
expect_line "$T2" 'scene log layer=0 text="callback 1 n=1 1=hello <e2e> & \"friends\" 2="' \
  "the movie decoded the first answer"
expect_line "$T2" 'scene log layer=0 text="callback 2 n=2 1=first 2=sec<ond"' \
  "the movie got both results"
expect_line "$T2" 'key="note" url="docs/notes.txt" bytes=31' "file from the package"
expect_line "$T2" 'in NPP_SetWindow window=null' "detached at the end"
expect_line "$T2" 'in NPP_Destroy result=0' "destroyed at the end"

if ((FAILED)); then
  echo "e2e: FAILED (files in $WORK)"
  exit 1
fi
echo "e2e: passed"
exit 0
