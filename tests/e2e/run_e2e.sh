#!/usr/bin/env bash
# End-to-end test of the Windows player under Wine (see CMakeLists.txt in this folder).
# Usage: run_e2e.sh <vexa_player.exe> <folder of the test programs> <work folder>
#
# The folder of the test programs holds vexa_e2e_player.exe, vexa_e2e_broken.exe, vexa_e2e_mark.exe,
# vexa_e2e_boxtext.exe, data.pak (the bridge game) and games/*.pak. Each program runs in a folder of
# its own under the work folder, next to its data.pak. The stand-in plug-in writes its transcript
# (VEXA_STANDIN_TRANSCRIPT) and the test build its command log (VEXA_FSCOMMAND_LOG); both, the
# programs' output and the screenshots stay in the work folder for a look after a failure.
#
# Every scenario ends with one line "PASS: <scenario>" or "FAIL: <scenario>: <what>" per failed
# check; the last line counts them.
set -uo pipefail

if (($# != 3)); then
  echo "usage: $0 <vexa_player.exe> <folder of the test programs> <work folder>" >&2
  exit 2
fi
PLAYER=$1
BIN=$2
WORK=$3

# shellcheck source=../../scripts/wine-env.sh
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/wine-env.sh"
ARCH=$(vexa_pe_arch "$PLAYER") || { echo "FAIL: $PLAYER is not a Windows program"; exit 1; }
for program in vexa_e2e_player vexa_e2e_broken vexa_e2e_mark vexa_e2e_boxtext; do
  [[ -f $BIN/$program.exe ]] || { echo "FAIL: $BIN/$program.exe is missing (build vexa_e2e_player)"; exit 1; }
done

declare -A PIDS=()  # running programs by name
# shellcheck source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

cleanup() {
  stop_all_programs
  accent_keys restore
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

# --- Checks inside scenarios (begin, fail and finish come from lib.sh) -------------------------
expect_line() {  # file text description
  grep -qF -- "$2" "$1" 2>/dev/null || fail "$3: no line with: $2"
}

expect_no_line() {  # file text description
  ! grep -qF -- "$2" "$1" 2>/dev/null || fail "$3: a line with: $2"
}

# Like expect_line with an extended regular expression.
expect_match() {  # file regex description
  grep -qE -- "$2" "$1" 2>/dev/null || fail "$3: no line matching: $2"
}

count_lines() {  # file text
  grep -cF -- "$2" "$1" 2>/dev/null
}

# The line number of the first line of `file` containing `text` after line `after` (default 0),
# or 0.
line_of() {  # file text [after]
  local n
  n=$(tail -n +"$((${3:-0} + 1))" "$1" 2>/dev/null | grep -nF -- "$2" | head -n 1 | cut -d: -f1)
  if [[ -n $n ]]; then echo $((n + ${3:-0})); else echo 0; fi
}

expect_no_match() {  # file regex description
  ! grep -qE -- "$2" "$1" 2>/dev/null || fail "$3: a line matching: $2"
}

# Presses the key `keysym` in the program `name` and waits until its transcript shows one more
# character `code`. False when none came.
type_char() {  # name keysym code
  local transcript=$WORK/$1.transcript line="in Window.char message=char code=$3" before deadline
  before=$(grep -cx -- "$line" "$transcript" 2>/dev/null)
  xdotool key --clearmodifiers "$2"
  deadline=$((SECONDS + 10))
  while ((SECONDS < deadline)); do
    (($(grep -cx -- "$line" "$transcript" 2>/dev/null) > before)) && return 0
    sleep 0.2
  done
  return 1
}

# é and the euro sign on two keys of the US keyboard (` and \), so xdotool types them without
# changing the map while a program reads it; the programs read the map when they start. `restore`
# puts the keys back.
ACCENT_KEYS=
accent_keys() {  # set | restore
  local line
  if [[ $1 == set ]]; then
    command -v xmodmap >/dev/null || return 1
    ACCENT_KEYS=$(xmodmap -pke 2>/dev/null | grep -E '^keycode +(49|51) =')
    [[ -n $ACCENT_KEYS ]] || return 1
    xmodmap -e "keycode 49 = eacute Eacute" -e "keycode 51 = EuroSign EuroSign"
  elif [[ -n $ACCENT_KEYS ]]; then
    while read -r line; do xmodmap -e "$line"; done <<<"$ACCENT_KEYS"
    ACCENT_KEYS=
  fi
}

# The first visible X window of the program `name`.
window_of() {  # name
  xdotool search --onlyvisible --pid "${PIDS[$1]}" 2>/dev/null | head -n 1
}

# The fields of the first `tag` line of a command log (tab-separated, tag removed).
log_fields() {  # file tag
  grep -a "^$2"$'\t' "$1" 2>/dev/null | head -n 1 | cut -f2- | tr '\t' ' '
}

# The colour (RRGGBB) of one pixel of a screenshot.
pixel() {  # png x y
  convert "$1" -crop "1x1+$2+$3" +repage -format '%[hex:p{0,0}]' info: 2>/dev/null | cut -c1-6
}

# Waits for a visible message box with the caption `caption` (up to `seconds`), writes its text to
# `out` and prints its X window. False when no box came.
read_box() {  # caption out seconds
  local box
  rm -f "$2"
  (cd "$BIN" && "$VEXA_WINE" vexa_e2e_boxtext.exe "$1" "$(winpath "$2")" "$3" \
    </dev/null >/dev/null 2>&1) || return 1
  box=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | tail -n 1)
  [[ -n $box ]] || return 1
  echo "$box"
}

# Presses Return in the message box X window `box`.
dismiss_box() {  # box
  xdotool windowfocus --sync "$1" 2>/dev/null
  xdotool key --clearmodifiers Return
}

# ===============================================================================================
# 1. The player with the demo game: init.xml drives it; clicks send FSCommands by all paths.
# ===============================================================================================
begin "demo: the real player plays the demo game driven by its init.xml"
prepare demo "$(dirname "$PLAYER")/data.pak" "$PLAYER"
T=$WORK/demo.transcript
start_program demo demo "$(basename "$PLAYER")"
if ! wait_for "$T" 'kind=rect id="header"' 60 demo; then
  fail "the demo movie did not start ($T)"
else
  if ! find_demo_header "$WORK/demo.png" 50; then
    fail "the demo's 800x56 header was not found on the screen ($WORK/demo.png)"
  else
    echo "client area at $X,$Y"
    # init.xml's CAPTION, as the window system shows it.
    caption=$(xdotool getwindowname "$(window_of demo)" 2>/dev/null)
    [[ $caption == "VEXA Player – démo ✓" ]] || fail "the window caption is \"$caption\""
    # Buttons: LS via JRI, LS via NPN_Invoke, LS via ExternalInterface, Show readme.txt.
    for at in "135 126" "385 126" "635 126" "135 176"; do
      read -r bx by <<<"$at"
      xdotool mousemove $((X + bx)) $((Y + by)) click 1
      sleep 0.4
    done
    wait_for "$T" 'key="readme" url="readme.txt"' 20 demo || fail "readme.txt was not loaded"
    [[ $(grep -c 'scene fscommand path=[a-z]* command="LS" arg="ready"' "$T") == 3 ]] ||
      fail "the movie did not send LS three times"
    for button in jri invoke external; do
      expect_line "$T" "button=\"$button\"" "click"
    done
    expect_line "$T" 'out NPN_Invoke method="test_DoFSCommand" argc=2 arg0="LS" arg1="ready"' \
      "invoke path"
    expect_line "$T" '<invoke name=\"onHostResult\" returntype=\"string\"><arguments><string>1</string></arguments></invoke>' \
      "answer through the callback"
    # CALL status runs init.xml's function; its two <set> values come back through the callback.
    xdotool mousemove $((X + 135)) $((Y + 226)) click 1
    wait_for "$T" 'text="Answer from the player (2 values): init.xml counts ' 10 demo ||
      fail "the answer of CALL status did not show"
    # init.xml: the mouse events reach the movie's onMouse, the heartbeat timer loads its layer.
    expect_line "$T" 'scene call function="onMouse" handled=true' "MOUSEEVENTMETHOD"
    wait_for "$T" 'text="init.xml heartbeat 2' 15 demo ||
      fail "the heartbeat of init.xml's timeinterval did not show twice"
    # The close box asks the movie (GAMECLOSEMETHOD): it shows "Really quit?" and stays; "No"
    # takes the question away.
    xdotool mousemove $((X + 400)) $((Y + 300))
    xdotool key --clearmodifiers alt+F4
    if wait_for "$T" 'id="askquit"' 10 demo; then
      sleep 0.5
      running demo || fail "the window closed without the movie's consent"
      import -window root "$WORK/demo-ask.png" 2>/dev/null
      # "No, keep playing".
      xdotool mousemove $((X + 495)) $((Y + 316)) click 1
      wait_for "$T" 'scene remove layer=0 id="askquit"' 10 demo || fail "'No' did not take the question away"
    else
      fail "Alt+F4 did not ask the movie (onCloseRequest)"
    fi
    import -window root "$WORK/demo-after.png" 2>/dev/null
    # Quit.
    xdotool mousemove $((X + 635)) $((Y + 176)) click 1
  fi
fi
if wait_exit demo 30; then
  [[ $STATUS == 0 ]] || fail "exit status $STATUS"
  expect_line "$T" 'command="Q"' "quit"
  expect_line "$T" 'in NPP_Destroy result=0' "shutdown"
else
  fail "vexa_player.exe did not end"
  stop_program demo
fi
finish

# ===============================================================================================
# 2. The scripting bridge: the test build with the bridge movie (game/).
# ===============================================================================================
begin "bridge: FSCommands by all three paths, results, movie variables, package files"
prepare bridge "$BIN/data.pak" "$BIN/vexa_e2e_player.exe"
T=$WORK/bridge.transcript
L=$WORK/bridge.log
STOP=$WORK/bridge.stop
start_program bridge bridge vexa_e2e_player.exe VEXA_E2E_STOP="$(winpath "$STOP")"
if ! wait_for "$L" $'READY\t' 60 bridge; then
  fail "the bridge movie did not finish (log $L, transcript $T)"
else
  read -r left top right bottom <<<"$(log_fields "$L" client)"
  if [[ -z ${left:-} ]]; then
    fail "no client rectangle in the log"
  else
    echo "player window at $left,$top-$right,$bottom"
    marker=
    for ((i = 0; i < 50; ++i)); do
      import -window root "$WORK/bridge.png" 2>/dev/null
      marker=$(pixel "$WORK/bridge.png" $((left + 200)) $((top + 140)))
      [[ ${marker^^} == FF00FF ]] && break
      sleep 0.2
    done
    [[ ${marker^^} == FF00FF ]] || fail "the marker is not magenta on the screen ($marker, $WORK/bridge.png)"
    background=$(pixel "$WORK/bridge.png" $((left + 50)) $((top + 250)))
    [[ ${background^^} == FFFFFF ]] || fail "the background is not white ($background)"
    outside=$(pixel "$WORK/bridge.png" $((left + 99)) $((top + 140)))
    [[ ${outside^^} != FF00FF ]] || fail "the marker starts left of x=100"
  fi
fi
touch "$STOP"
if wait_exit bridge 30; then
  expect_line "$L" $'exit\t1' "orderly exit"
else
  fail "vexa_e2e_player.exe did not end"
  stop_program bridge
fi

# Commands in the order the sink received them: the immediate paths while the movie loads, the
# queued JRI command at the first message, then the load and what follows it.
previous=0
for text in $'INVCMD\tvia invoke' $'ECHO\thello <e2e> & \\\\"friends\\\\"' $'TWO\t' $'VAR\tlevel' \
  $'variable\tlevel\t7' $'JRICMD\tvia jri' $'LOADED\t31' $'client\t' $'READY\t'; do
  n=$(line_of "$L" "$text")
  if ((n == 0)); then
    fail "log: no line with: $text"
  elif ((n < previous)); then
    fail "log: '$text' came out of order"
  else
    previous=$n
  fi
done

expect_line "$T" 'kind=rect id="marker" x=100 y=80 w=200 h=120 color="#FF00FF"' "marker drawn"
expect_line "$T" 'out JRI.CallMethod method=3 argc=3 arg0="FlashPlayer" arg1="JRICMD" arg2="via jri"' \
  "JRI path"
expect_line "$T" 'out NPN_Invoke method="test_DoFSCommand" argc=2 arg0="INVCMD" arg1="via invoke" result=true' \
  "invoke path"
prefix='<invoke name=\"onHostResult\" returntype=\"string\"><arguments>'
expect_line "$T" "$prefix<string>hello &lt;e2e&gt; & &quot;friends&quot;</string></arguments>" \
  "ExternalInterface result, escaped once"
expect_line "$T" "$prefix<string>first</string><string>sec&lt;ond</string></arguments>" \
  "two results in order"
expect_line "$T" "$prefix<string>7</string></arguments>" "movie variable read back"
expect_line "$T" "$prefix<string>0</string></arguments>" "no result: the callback gets 0"
expect_line "$T" 'scene log layer=0 text="callback 1 n=1 1=hello <e2e> & \"friends\" 2="' \
  "the movie decoded the first answer"
expect_line "$T" 'scene log layer=0 text="callback 2 n=2 1=first 2=sec<ond"' \
  "the movie got both results"
expect_line "$T" 'key="note" url="docs/notes.txt" bytes=31' "file from the package"
expect_line "$T" 'in NPP_SetWindow window=null' "detached at the end"
expect_line "$T" 'in NPP_Destroy result=0' "destroyed at the end"
finish

# ===============================================================================================
# 3. The frame game (frame/) beside a second game (other/): one copy of each runs through
#    scenarios 3.1 to 3.11; a second copy of the frame game tries to start in between.
# ===============================================================================================
prepare frame "$BIN/games/frame.pak" "$BIN/vexa_e2e_player.exe" "$BIN/vexa_e2e_mark.exe"
prepare other "$BIN/games/other.pak" "$BIN/vexa_e2e_player.exe"
FT=$WORK/frame.transcript
FL=$WORK/frame.log
MARK=$WORK/frame/exit-mark.txt
OT=$WORK/other.transcript
OL=$WORK/other.log
OSTOP=$WORK/other.stop
accents=0
accent_keys set && accents=1
start_program frame frame vexa_e2e_player.exe
frame_up=0
wait_for "$FL" $'READY\t' 60 frame && frame_up=1

begin "3.1 init.xml sets a Unicode caption and the client size"
if ((!frame_up)); then
  fail "the frame game did not start (log $FL, transcript $FT)"
else
  expect_line "$FL" $'caption\tDémo ✓ 日本' "caption (UTF-8 through CAPTION)"
  expect_line "$FL" $'frame\t0\t0\t700\t450' "client area of POSITION 0,0,700,450"
  # The 640x400 movie is centred in the 700x450 client area.
  read -r fl ft fr fb <<<"$(log_fields "$FL" framescreen)"
  read -r cl ct cr cb <<<"$(log_fields "$FL" client)"
  if [[ -z ${fl:-} || -z ${cl:-} ]]; then
    fail "no window rectangles in the log"
  else
    [[ "$((cl - fl)) $((ct - ft)) $((cr - cl)) $((cb - ct))" == "30 25 640 400" ]] ||
      fail "movie at $((cl - fl)),$((ct - ft)) size $((cr - cl))x$((cb - ct)) in the client area, not 30,25 640x400"
  fi
fi
finish

begin "3.2 script: the timeout fires once, the timeinterval repeats, the movie CALLs a function"
if ((frame_up)); then
  wait_for "$FL" $'script\tINTERVAL\t4' 10 frame || fail "the interval did not fire four times"
  [[ $(count_lines "$FL" $'script\tTIMEOUT\tonce') == 1 ]] ||
    fail "the timeout fired $(count_lines "$FL" $'script\tTIMEOUT\tonce') times, not once"
  previous=0
  for n in 1 2 3 4; do
    at=$(line_of "$FL" $'script\tINTERVAL\t'"$n")
    ((at > previous)) || fail "interval $n missing or out of order"
    previous=$at
  done
  # CALL status: the function's <fscommand> reaches the processor, its <set> value the movie.
  n=$(grep -a $'^script\tSTATUS\t' "$FL" | head -n 1 | cut -f3)
  expect_line "$FL" $'CALL\tstatus' "the movie's CALL"
  if [[ -z $n ]]; then
    fail "the function status sent no command"
  else
    expect_line "$FT" "text=\"result 1 beats $n\"" "the value of <set> through the callback"
  fi
else
  fail "the frame game is not running"
fi
finish

begin "3.3 mouse: a right click arrives as the middle button; MOUSEEVENTMETHOD gets the codes"
if ((frame_up)) && [[ -n ${cl:-} ]]; then
  xdotool mousemove $((cl + 100)) $((ct + 80)) click 3
  xdotool mousemove $((cl + 120)) $((ct + 90)) click 1
  wait_for "$FT" 'text="mouse 1 120 90"' 10 frame || fail "no left button up for the movie"
  expect_line "$FT" 'text="mouse 2 100 80"' "right button down reported as 2"
  expect_line "$FT" 'text="mouse 3 100 80"' "right button up reported as 3"
  # (wparam is the button state, which Windows still reports with the right button.)
  expect_match "$FT" '^in Window\.mouse message=mbuttondown wparam=[0-9]+ x=100 y=80$' "right down delivered as middle"
  expect_match "$FT" '^in Window\.mouse message=mbuttonup wparam=[0-9]+ x=100 y=80$' "right up delivered as middle"
  expect_no_line "$FT" 'message=rbutton' "the movie saw a right button"
  expect_line "$FT" 'text="mouse 0 120 90"' "left button down reported as 0"
  expect_line "$FT" 'in Window.click x=120 y=90' "left button down delivered"
  expect_match "$FT" '^in Window\.mouse message=lbuttonup wparam=[0-9]+ x=120 y=90$' "left button up delivered"
else
  fail "the frame game is not running"
fi
finish

begin "3.3b six quick clicks are six clicks for the movie; the second of each pair is reported as 4"
if ((frame_up)) && [[ -n ${cl:-} ]]; then
  clicks_before=$(grep -c 'in Window.click x=150 y=95' "$FT")
  doubles_before=$(grep -c 'text="mouse 4 150 95"' "$FT")
  xdotool mousemove $((cl + 150)) $((ct + 95)) click --repeat 6 --delay 300 1
  deadline=$((SECONDS + 10))
  until (($(grep -c 'in Window.click x=150 y=95' "$FT") >= clicks_before + 6)) || ((SECONDS > deadline)); do
    sleep 0.2
  done
  clicks=$(($(grep -c 'in Window.click x=150 y=95' "$FT") - clicks_before))
  ((clicks == 6)) || fail "the movie got $clicks clicks for six"
  # Double clicks do happen here (or the check above proves nothing).
  (($(grep -c 'text="mouse 4 150 95"' "$FT") > doubles_before)) || fail "no double click was reported (code 4)"
else
  fail "the frame game is not running"
fi
finish

begin "3.4 keyboard: characters outside the filter never reach the movie"
if ((frame_up)) && [[ -n ${cl:-} ]]; then
  xdotool mousemove $((cl + 300)) $((ct + 200))
  xdotool key --clearmodifiers Tab
  xdotool type --clearmodifiers a
  wait_for "$FT" 'in Window.char message=char code=97' 10 frame || fail "a (97) did not reach the movie"
  expect_line "$FT" 'in Window.keyup message=keyup code=9' "the Tab key itself reached the window"
  expect_no_match "$FT" '^in Window\.char message=char code=9$' "Tab (9) as a character"
  # KBDFILTER_UPPER_BOUND 255: é (233) passes, the euro sign (8364) does not. Keys arrive in
  # order, so once é is there the euro sign before it was handled (3.7 shows that it can arrive).
  if ((accents)); then
    xdotool key --clearmodifiers EuroSign
    type_char frame eacute 233 || fail "é (233) did not reach the movie"
    expect_no_match "$FT" '^in Window\.char message=char code=8364$' "the euro sign, above the upper bound"
  else
    echo "note: no xmodmap; é and the euro sign are not typed"
  fi
else
  fail "the frame game is not running"
fi
finish

begin "3.5 Alt+Enter reaches the movie as Ctrl, Ctrl+Enter not at all; Alt alone opens no menu"
if ((frame_up)) && [[ -n ${cl:-} ]]; then
  xdotool key --clearmodifiers alt+Return
  wait_for "$FT" 'in Window.key code=17 ' 10 frame || fail "Alt+Enter did not arrive as the Ctrl key (17)"
  xdotool key --clearmodifiers ctrl+Return
  # Alt alone: no system menu takes the keyboard; the next letter still reaches the movie.
  xdotool key --clearmodifiers alt
  xdotool type --clearmodifiers b
  wait_for "$FT" 'in Window.char message=char code=98' 10 frame ||
    fail "a letter typed after Alt did not reach the movie"
  expect_no_match "$FT" '^in Window\.key code=13 ' "Enter with Alt or Ctrl reached the movie"
  expect_no_match "$FT" '^in Window\.char message=char code=1[03]$' "a character of Enter reached the movie"
  expect_no_line "$FT" 'text="focus kill"' "the movie was told it lost the focus"
else
  fail "the frame game is not running"
fi
finish

# The second game takes the focus from the frame game.
start_program other other vexa_e2e_player.exe VEXA_E2E_STOP="$(winpath "$OSTOP")"
other_up=0
wait_for "$OL" $'READY\t' 60 other && other_up=1

begin "3.6 focus: FOCUSMETHOD hears \"kill\" when another program takes the focus"
if ((frame_up && other_up)); then
  wait_for "$FT" 'text="focus kill"' 10 frame || fail "no \"kill\" when the other game came up"
else
  fail "the frame game or the other game did not start (log $OL)"
fi
finish

begin "3.7 two games with different GAMENAMEs run side by side"
if ((frame_up && other_up)); then
  running frame || fail "the frame game ended"
  running other || fail "the other game ended"
  [[ -n $(window_of frame) ]] || fail "no window of the frame game"
  [[ -n $(window_of other) ]] || fail "no window of the other game"
  expect_line "$OL" $'frame\t0\t0\t320\t200' "the other game's client area"
  # The other game's filter reaches to 9000: the euro sign that the frame game kept out gets there.
  read -r ol ot _ <<<"$(log_fields "$OL" client)"
  if ((accents)) && [[ -n ${ol:-} ]]; then
    xdotool mousemove $((ol + 100)) $((ot + 100)) click 1
    type_char other EuroSign 8364 || fail "the euro sign (8364) does not reach a game whose filter allows it"
  fi
fi
finish

begin "3.8 single instance: a second copy of the frame game ends at once and brings the first forward"
if ((frame_up)); then
  before=$(wc -l <"$FT")
  start_program frame2 frame vexa_e2e_player.exe
  if wait_exit frame2 30; then
    [[ $STATUS == 0 ]] || fail "the second copy's exit status is $STATUS"
    # Its message loop never ran: no window was shown.
    expect_line "$WORK/frame2.log" $'exit\t0' "no message loop in the second copy (Run returns 0)"
    deadline=$((SECONDS + 10))
    while (($(line_of "$FT" 'text="focus set"' "$before") == 0 && SECONDS < deadline)); do sleep 0.2; done
    (($(line_of "$FT" 'text="focus set"' "$before") > 0)) ||
      fail "the first copy was not brought to the front (no \"focus set\")"
    # A refused copy still opens its GAMEURL at exit.
    wait_for "$MARK" mark 10 || fail "the refused copy did not open its exit target"
  else
    fail "the second copy is still running"
    stop_program frame2
  fi
  running frame || fail "the first copy ended"
fi
finish

begin "3.9 Alt+F4 asks the movie (GAMECLOSEMETHOD); the movie's Q closes the window"
if ((frame_up)); then
  xdotool mousemove $((cl + 300)) $((ct + 200))
  xdotool key --clearmodifiers alt+F4
  if wait_for "$FT" 'text="close on"' 10 frame; then
    sleep 1
    running frame || fail "the window closed without the movie's consent"
  else
    fail "onClose was not called with \"on\""
  fi
  xdotool key --clearmodifiers q
  if wait_exit frame 30; then
    [[ $STATUS == 0 ]] || fail "exit status $STATUS"
    expect_line "$FL" $'Q\t' "the movie's Q"
    expect_line "$FL" $'exit\t1' "orderly end of the message loop"
  else
    fail "the frame game did not end after Q"
    stop_program frame
  fi
  # The one-shot timer fired once in the whole run.
  [[ $(count_lines "$FL" $'script\tTIMEOUT\tonce') == 1 ]] || fail "the timeout fired more than once"
fi
finish

begin "3.10 GAMEURL is opened when the player exits"
if ((frame_up)); then
  deadline=$((SECONDS + 10))
  while (($(count_lines "$MARK" mark) < 2 && SECONDS < deadline)); do sleep 0.2; done
  [[ $(count_lines "$MARK" mark) == 2 ]] ||
    fail "the exit target ran $(count_lines "$MARK" mark) times, not twice (second copy and first)"
fi
finish

touch "$OSTOP"
if ((other_up)); then
  begin "3.11 GAMECLOSEVAR: the other game's movie agrees, a close request closes it"
  if wait_exit other 30; then
    [[ $STATUS == 0 ]] || fail "exit status $STATUS"
    expect_line "$OL" $'exit\t1' "orderly end of the message loop"
  else
    fail "the other game did not close"
    stop_program other
  fi
  finish
else
  stop_program other
fi

accent_keys restore

# ===============================================================================================
# 4. Start-up errors: message boxes with the caption of string 130.
# ===============================================================================================
begin "4.1 a package without init.xml shows message 131 and ends"
prepare noinit "$BIN/games/noinit.pak" "$PLAYER"
start_program noinit noinit "$(basename "$PLAYER")"
if box=$(read_box "VEXA Player" "$WORK/noinit.box" 60); then
  expect_line "$WORK/noinit.box" "Unable to initialize. Game reinstallation may be required!" "message 131"
  dismiss_box "$box"
  if wait_exit noinit 30; then
    [[ $STATUS == 0 ]] || fail "exit status $STATUS"
  else
    fail "the player did not end after the box"
    stop_program noinit
  fi
else
  fail "no box captioned \"VEXA Player\""
  stop_program noinit
fi
finish

begin "4.2 a plug-in that cannot load shows message 132 and ends"
prepare broken "$BIN/games/other.pak" "$BIN/vexa_e2e_broken.exe"
start_program broken broken vexa_e2e_broken.exe
if box=$(read_box "VEXA Player" "$WORK/broken.box" 60); then
  expect_line "$WORK/broken.box" "Internal error. Please install the game again!" "message 132"
  dismiss_box "$box"
  if wait_exit broken 30; then
    [[ $STATUS == 0 ]] || fail "exit status $STATUS"
    expect_line "$WORK/broken.log" $'exit\t0' "no message loop (Run returns 0)"
    expect_no_line "$WORK/broken.log" $'READY\t' "the movie"
  else
    fail "the player did not end after the box"
    stop_program broken
  fi
else
  fail "no box captioned \"VEXA Player\""
  stop_program broken
fi
finish

# ===============================================================================================
# 5. The diagnostic log for game authors.
# ===============================================================================================
begin "5.1 an empty vexa-diagnostics.log beside the player fills with what the game did not do"
prepare diag "$BIN/games/diag.pak" "$PLAYER"
DL=$WORK/diag/vexa-diagnostics.log
: >"$DL"
start_program diag diag "$(basename "$PLAYER")"
if wait_exit diag 60; then
  [[ $STATUS == 0 ]] || fail "exit status $STATUS"
  expect_line "$DL" "script: statement <var" "the statement without a name"
  expect_line "$DL" "no function named 'nowhere'" "the call of a missing function"
  expect_line "$DL" "fscommand: no command begins 'NOSUCHCOMMAND'" "the command the player lacks"
  expect_line "$DL" "docs/missing.txt" "the file the game does not hold"
  expect_no_line "$DL" "fscommand: no command begins 'Q'" "Q, a command the player has"
else
  fail "the game did not quit"
  stop_program diag
fi
finish

echo "e2e: transcripts, command logs and screenshots in $WORK"
echo "e2e: $PASSED passed, $FAILED failed"
((FAILED == 0))
