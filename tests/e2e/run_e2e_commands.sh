#!/usr/bin/env bash
# End-to-end test of the script and plug-in object commands under Wine (see CMakeLists.txt here).
# Usage: run_e2e_commands.sh <vexa_player.exe> <vexa_sample.dll> <folder of the test programs>
#                            <work folder>
#
# 1. The commands game (commands/, packed as games/commands.pak) in the test build
#    vexa_e2e_player.exe, with the example plug-in library copied next to it: its movie sends
#    PLUGIN_CREATE, PLUGIN_METHOD, PLUGIN_PROPGET, CALL, EXEC and EF through ExternalInterface and
#    logs every answer that reaches its onHostResult ("answer STEP COUNT: [1] [2] [3]" in the
#    transcript); then two script timers produce results while no command runs (a <set>, and a
#    script command that makes the plug-in post a text), which must reach onHostResult by
#    themselves.
# 2. The demo game (vexa_player.exe with its data.pak and the plug-in library): the button
#    "Plug-in: sample" creates an object and shows what its methods answer; a screenshot is taken.
#    Once more without the library: the button says that it found none.
#
# Every check prints "PASS: <what>" or "FAIL: <what>: <detail>"; the last line counts them.
# Transcripts, command logs and screenshots stay in the work folder. Uses DISPLAY and WINEPREFIX
# when set (scripts/test.sh sets them) and starts its own Xvfb and prefix otherwise.
set -uo pipefail

if (($# != 4)); then
  echo "usage: $0 <vexa_player.exe> <vexa_sample.dll> <folder of the test programs>" \
    "<work folder>" >&2
  exit 2
fi
PLAYER=$(realpath -m "$1")
SAMPLE=$(realpath -m "$2")
BIN=$(realpath -m "$3")
WORK=$(realpath -m "$4")
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

# Ends the test before any program ran: the reason, and the closing line.
give_up() {  # reason
  echo "FAIL: $1"
  echo "e2e-commands: 0 passed, 1 failed"
  exit 1
}

# shellcheck source-path=SCRIPTDIR source=../../scripts/wine-env.sh
source "$HERE/../../scripts/wine-env.sh"
ARCH=$(vexa_pe_arch "$PLAYER") || give_up "$PLAYER is not a Windows program"
for file in "$BIN/vexa_e2e_player.exe" "$BIN/games/commands.pak" "$SAMPLE" \
  "$(dirname "$PLAYER")/data.pak"; do
  [[ -f $file ]] ||
    give_up "$file is missing (build vexa_player, vexa_e2e_player and vexa_e2e_commands_pak)"
done
for tool in Xvfb import convert compare xdotool wineserver; do
  command -v "$tool" >/dev/null || give_up "$tool is not installed (scripts/setup.sh)"
done

declare -A PIDS=()  # running programs by name
# shellcheck source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

cleanup() {
  stop_all_programs
  vexa_env_stop
}
trap cleanup EXIT

rm -rf "$WORK"
mkdir -p "$WORK"

if [[ -z ${WINEPREFIX:-} ]]; then
  export WINEPREFIX=$WORK/../wineprefix
fi
VEXA_ENV_AUDIO=0 vexa_env_start "$ARCH" "$WORK" "$WORK" ||
  give_up "no environment for $ARCH programs"
echo "DISPLAY=$DISPLAY WINEPREFIX=$WINEPREFIX loader=$VEXA_WINE ($VEXA_WINE_WHY)"

# --- Checks and programs (pass, fail, check_*, expect_exit, prepare and start_program: lib.sh) ---

# What the commands movie logged for the `n`th answer (default 1) to the command of `step`:
# "COUNT: [first] [second] [third]", with the transcript's escapes (\" and \\) undone.
answer_of() {  # step [n]
  grep -a "^scene log layer=0 text=\"answer $1 " "$T" 2>/dev/null | sed -n "${2:-1}p" |
    sed -e 's/^scene log layer=0 text="answer [^ ]* //' -e 's/"$//' -e 's/\\"/"/g' -e 's/\\\\/\\/g'
}

check_answer() {  # what step expected [n]
  check_equal "$1" "$(answer_of "$2" "${4:-1}")" "$3"
}

# ===============================================================================================
# 1. The commands game in the test build, with the example plug-in library next to it.
# ===============================================================================================
echo "== commands: plug-in objects, CALL, EXEC, EF, results outside commands"
prepare commands "$BIN/games/commands.pak" "$BIN/vexa_e2e_player.exe" "$SAMPLE"
T=$WORK/commands.transcript
L=$WORK/commands.log
STOP=$WORK/commands.stop
start_program commands commands vexa_e2e_player.exe VEXA_E2E_STOP="$(winpath "$STOP")"
if ! wait_for "$T" 'text="sequence done"' 60 commands; then
  fail "the commands movie ran its sequence" "no \"sequence done\" (transcript $T, log $L)"
else
  pass "the commands movie ran its sequence"

  # PLUGIN_CREATE: an instance name of its own for every object; NULL for a name no library offers.
  first=$(answer_of create)
  second=$(answer_of create2)
  check_match "PLUGIN_CREATE answers the plug-in name, _ and a number" "$first" \
    '^1: \[vexa\.sample_-?[0-9]+\] \[\] \[\]$'
  check_match "a second PLUGIN_CREATE answers another instance name" "$second" \
    '^1: \[vexa\.sample_-?[0-9]+\] \[\] \[\]$'
  if [[ $first != "$second" ]]; then
    pass "the two objects have names of their own"
  else
    fail "the two objects have names of their own" "both are $first"
  fi
  check_answer "PLUGIN_CREATE of a name no library offers answers NULL" missing "1: [NULL] [] []"
  check_line "the probe saw PLUGIN_CREATE with the plug-in name" "$L" \
    $'PLUGIN_CREATE;made\tvexa.sample'

  # PLUGIN_METHOD: the arguments reach the method in the order the movie wrote them.
  check_answer "join(-, first, second, third): arguments in the movie's order" join \
    "1: [first-second-third] [] []"
  check_answer "subtract|10|3 with | as the separator answers 7" subtract "1: [7] [] []"
  notes_bytes=$(stat -c %s "$HERE/commands/docs/notes.txt")
  check_answer "fileLength reads a package file through the host" length "1: [$notes_bytes] [] []"
  check_answer "firstLine reads the file's first line" line "1: [Notes of the commands game] [] []"
  check_answer "post during a command: its text, then the method's empty result" post \
    "2: [posted in a command] [] []"
  check_answer "an unknown method answers NULL" nomethod "1: [NULL] [] []"
  check_answer "a variable that names no object answers NULL" noobject "1: [NULL] [] []"

  # PLUGIN_PROPGET: properties of each object on its own.
  check_answer "PLUGIN_PROPGET version" version "1: [1.0] [] []"
  check_answer "calls counts the five methods the first object ran" calls "1: [5] [] []"
  check_answer "the second object ran none" othercalls "1: [0] [] []"
  folder=$(answer_of folder)
  expected="1: [Z:$WORK/commands/] [] []"
  if [[ ${folder,,} == "${expected,,}" ]]; then
    pass "hostFolder is the program's folder"
  else
    fail "hostFolder is the program's folder" "got \"$folder\", expected \"$expected\""
  fi

  # CALL: the function's <set> comes back as the command's result; the movie keeps it.
  check_answer "CALL mark: the function's <set> reaches the movie" call \
    "1: [mark ran 1 times] [] []"
  check_line "the movie variable holds the value (read back by the player)" "$L" \
    $'variable\tmarked\tmark ran 1 times'

  # EXEC: statements with global variables; text that is not well-formed does nothing.
  check_answer "EXEC runs script text: its <set> answers" exec "1: [22] [] []"
  check_answer "EXEC's assignment to a global is seen by the next CALL" call2 \
    "1: [mark ran 12 times] [] []"
  check_answer "EXEC of text cut short inside a tag runs nothing" badexec "1: [0] [] []"

  # EF: the functions of one type in the order init.xml defines them, joined by the separator.
  check_answer "EF;level lists that type's functions in document order" eflevel \
    "1: [intro;forest;castle] [] []"
  check_answer "EF|menu joins the other type's with |" efmenu "1: [shop|options] [] []"
  check_answer "EF of a type without functions answers NULL" efnone "1: [NULL] [] []"
  check_answer "CALL arm itself gives no result" arm "1: [0] [] []"

  # Results produced while no command runs: delivered by themselves, each with its own call.
  if wait_for "$T" 'text="answer late ' 10 commands; then
    check_answer "a script timer's <set> reaches onHostResult on its own" late \
      "1: [set by a script timer after 12 marks] [] []" 1
  else
    fail "a script timer's <set> reaches onHostResult on its own" "no answer arrived within 10 s"
  fi
  n=0
  for ((i = 0; i < 50; ++i)); do
    n=$(grep -ac '^scene log layer=0 text="answer late ' "$T")
    ((n >= 2)) && break
    sleep 0.2
  done
  check_line "the timer's script command reached the processor" "$L" \
    $'script\tPLUGIN_METHOD;sample;posted\tpost;posted from a timer'
  check_answer "a plug-in's WriteResult outside a movie command reaches onHostResult" late \
    "2: [posted from a timer] [] []" 2
  sleep 0.5
  n=$(grep -ac '^scene log layer=0 text="answer late ' "$T")
  check_equal "each result outside a command is delivered once" "$n" 2
  import -window root "$WORK/commands.png" 2>/dev/null
  echo "screenshot: $WORK/commands.png"
fi
touch "$STOP"
expect_exit commands "the commands game closes when asked"
check_line "the message loop ended in order" "$L" $'exit\t1'
# The instance is destroyed once more at the end (the first time is at start-up).
done_at=$(grep -anF 'text="sequence done"' "$T" | head -n 1 | cut -d: -f1)
if [[ -n $done_at ]] && tail -n +"$done_at" "$T" | grep -qaF 'in NPP_Destroy result=0'; then
  pass "the plug-in instance was destroyed at the end"
else
  fail "the plug-in instance was destroyed at the end" "no NPP_Destroy after the sequence ($T)"
fi

# ===============================================================================================
# 2. The demo game: the plug-in button, with the library next to the player and without it.
# ===============================================================================================
# Starts the demo as `name`, clicks "Plug-in: sample", waits for the answer line drawn in `color`
# that starts with `start`, checks it against `regex`, takes a screenshot WORK/name-plugin.png and
# quits with the Quit button. Extra files go next to the player.
demo_plugin_button() {  # name color start regex [file...]
  local name=$1 color=$2 start=$3 regex=$4 line changed answer
  shift 4
  echo "== $name: the button \"Plug-in: sample\""
  prepare "$name" "$(dirname "$PLAYER")/data.pak" "$PLAYER" "$@"
  T=$WORK/$name.transcript
  start_program "$name" "$name" "$(basename "$PLAYER")"
  if ! wait_for "$T" 'kind=button id="plugin"' 60 "$name" ||
    ! find_demo_header "$WORK/$name-before.png" 50; then
    fail "$name: the plug-in button is on the screen" \
      "no button or header ($T, $WORK/$name-before.png)"
    stop_program "$name"
    return
  fi
  pass "$name: the plug-in button is on the screen"
  xdotool mousemove $((X + 385)) $((Y + 226)) click 1
  answer="id=\"result\" x=20 y=260 color=\"$color\" size=16 text=\"$start"
  if wait_for "$T" "$answer" 10 "$name"; then
    line=$(grep -aF "$answer" "$T" | tail -n 1 | sed -e 's/.*text="//' -e 's/"$//')
    check_match "$name: the answer line" "$line" "$regex"
    sleep 0.5
    import -window root "$WORK/$name-plugin.png" 2>/dev/null
    echo "screenshot: $WORK/$name-plugin.png"
    # The answer line changed on the screen, not only in the movie's display list.
    changed=$(compare -metric AE -crop "760x24+$((X + 20))+$((Y + 258))" "$WORK/$name-before.png" \
      "$WORK/$name-plugin.png" null: 2>&1)
    if [[ $changed =~ ^[0-9]+$ ]] && ((changed > 0)); then
      pass "$name: the answer line changed on the screen"
    else
      fail "$name: the answer line changed on the screen" "$changed pixels differ"
    fi
  else
    fail "$name: the answer line" "no line starting \"$start\" in $color ($T)"
  fi
  check_line "$name: the movie asked for the object" "$T" \
    'scene fscommand path=external command="PLUGIN_CREATE;made" arg="vexa.sample"'
  xdotool mousemove $((X + 635)) $((Y + 176)) click 1
  expect_exit "$name" "$name: the demo quits with its Quit button"
}

readme_bytes=$(stat -c %s "$HERE/../../examples/demo/game/readme.txt")
demo_answer="^Plug-in vexa\\.sample_-?[0-9]+ \\(version 1\\.0\\): join gave left-right,"
demo_answer+=" readme\\.txt has $readme_bytes bytes\$"
demo_plugin_button demo "#006400" "Plug-in vexa.sample_" "$demo_answer" "$SAMPLE"
# Without the library the movie gets NULL and says where the library belongs.
demo_plugin_button demo-nolib "#A00000" "Plug-in vexa.sample not found" \
  "^Plug-in vexa\\.sample not found: vexa_sample\\.dll must be next to the player\\.\$"

echo "e2e-commands: transcripts, command logs and screenshots in $WORK"
echo "e2e-commands: $PASSED passed, $FAILED failed"
((FAILED == 0))
