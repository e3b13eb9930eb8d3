#!/usr/bin/env bash
# End-to-end test of the volume, wallpaper and add-on services under Wine (see CMakeLists.txt here).
# Usage: run_e2e_services.sh <vexa_player.exe> <work folder>
#
# The demo game as it is built: vexa_player.exe with its data.pak and Addons/demo.vxa (packed from
# examples/addon/), plus two bad add-ons beside the good one (a file that is no package, a folder
# named like an add-on). The test clicks the demo's buttons and reads the stand-in's transcript:
#  - "Volume 25%" / "Volume 75%" send VCSV and VCGV: the player reads back what it set, through the
#    real mixer (Wine has one with the PulseAudio null sink this script starts);
#  - "Mute" / "Sound on" send VCSM and VCGM;
#  - "Set as wallpaper" sends SW images/wallpaper.jpg: the answer is the bitmap's path in the
#    player's folder below the documents folder, the bitmap is the picture (400 x 250), and the
#    registry value HKCU\Control Panel\Desktop\Wallpaper names it;
#  - "Add-on: greeting" CALLs the function the add-on added to init.xml: its answer, and a movie of
#    the add-on package in layer 3.
# Then once more without the Addons folder: the same button finds no function.
#
# Wine's mixer sends no change notices (its mixer line is this process's own audio session), so the
# reports the demo shows for changes made outside the game are not exercised here; the services
# tests post the notice message to the mixer's window instead.
#
# The wallpaper goes to the documents folder of the Wine user, which Wine links into $HOME. So this
# script uses a Wine prefix and a home folder of its own, beside the work folder, and never the
# caller's: nothing lands in the real home folder. It uses the caller's DISPLAY when set.
# Every check prints "PASS: <what>" or "FAIL: <what>: <detail>"; the last line counts them.
set -uo pipefail

if (($# != 2)); then
  echo "usage: $0 <vexa_player.exe> <work folder>" >&2
  exit 2
fi
PLAYER=$(realpath -m "$1")
WORK=$(realpath -m "$2")
PLAYER_DIR=$(dirname "$PLAYER")
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

# shellcheck source-path=SCRIPTDIR source=../../scripts/wine-env.sh
source "$HERE/../../scripts/wine-env.sh"
ARCH=$(vexa_pe_arch "$PLAYER") || { echo "FAIL: $PLAYER is not a Windows program"; exit 1; }
for file in "$PLAYER" "$PLAYER_DIR/data.pak" "$PLAYER_DIR/Addons/demo.vxa"; do
  [[ -f $file ]] || { echo "FAIL: $file is missing (build vexa_player)"; exit 1; }
done
for tool in Xvfb import convert identify xdotool wineserver pulseaudio; do
  command -v "$tool" >/dev/null || { echo "FAIL: $tool is not installed (scripts/setup.sh)"; exit 1; }
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

# --- Display, sound and a Wine prefix of its own -------------------------------------------------
# The prefix's documents folder is linked when the prefix is made: make it with a home of our own.
export HOME=$WORK/../home-services
mkdir -p "$HOME/Documents"
export WINEPREFIX=$WORK/../wineprefix-services
unset VEXA_ENV_READY
vexa_env_start "$ARCH" "$WORK" "$WORK" || { echo "FAIL: no environment for $ARCH programs"; exit 1; }
echo "DISPLAY=$DISPLAY WINEPREFIX=$WINEPREFIX loader=$VEXA_WINE ($VEXA_WINE_WHY)"
DOCUMENTS=$(realpath -m "$WINEPREFIX/drive_c/users/$(id -un)/Documents")
echo "documents folder of the Wine user: $DOCUMENTS"

# --- Checks and programs (pass, fail, check_*, expect_exit and start_program: lib.sh) ---------
# The text of the latest draw of the item `id` (layer 0 unless given), the transcript's escapes
# (\" and \\) undone.
drawn_text() {  # transcript id [layer]
  grep -a "^scene draw layer=${3:-0} kind=text id=\"$2\" " "$1" 2>/dev/null | tail -n 1 |
    sed -e 's/.* text="//' -e 's/"$//' -e 's/\\"/"/g' -e 's/\\\\/\\/g'
}

# Clicks the point (x, y) of the movie and waits for the answer line to change; sets ANSWER to the
# new answer line ("" when none came within 10 s).
ANSWER=
click_for_answer() {  # name transcript x y
  local before i
  before=$(grep -ac '^scene draw layer=0 kind=text id="result" ' "$2")
  xdotool mousemove $((X + $3)) $((Y + $4)) click 1
  ANSWER=
  for ((i = 0; i < 50; ++i)); do
    if (($(grep -ac '^scene draw layer=0 kind=text id="result" ' "$2") > before)); then
      sleep 0.3  # a handler may draw the line more than once
      ANSWER=$(drawn_text "$2" result)
      return 0
    fi
    running "$1" || break
    sleep 0.2
  done
  return 1
}

# Starts the demo in WORK/dir as `name` and finds the movie's origin on the screen (X, Y) by its
# header bar. False when it did not show.
start_demo() {  # name dir
  local name=$1 dir=$2
  start_program "$name" "$dir" "$(basename "$PLAYER")"
  X=
  wait_for "$WORK/$name.transcript" 'kind=button id="addon"' 60 "$name" &&
    find_demo_header "$WORK/$name-start.png" 50
}

quit_demo() {  # name
  xdotool mousemove $((X + 635)) $((Y + 176)) click 1
  expect_exit "$1" "$1: the demo quits with its Quit button"
}

# The folder WORK/dir of a program: the player and its data.pak, and (with `addons`) its add-on
# folder with two bad add-ons beside the demo's.
prepare_demo() {  # dir addons|none
  local dir=$WORK/$1
  prepare "$1" "$PLAYER_DIR/data.pak" "$PLAYER"
  if [[ $2 == addons ]]; then
    mkdir -p "$dir/Addons/folder.vxa"
    cp "$PLAYER_DIR/Addons/demo.vxa" "$dir/Addons/"
    echo "this file is not a package" >"$dir/Addons/broken.vxa"
  fi
}

# ===============================================================================================
# 1. The demo with its add-on (and two bad ones).
# ===============================================================================================
echo "== demo: volume, wallpaper and the add-on"
prepare_demo demo addons
T=$WORK/demo.transcript
rm -rf "$DOCUMENTS/VEXA Wallpapers"
if ! start_demo demo demo; then
  fail "the demo starts with a bad add-on beside the good one" "no buttons or header ($T)"
  stop_program demo
else
  pass "the demo starts with a bad add-on beside the good one"
  check_match "at start the movie reads the volume (VCGV)" "$(drawn_text "$T" volume)" \
    '^Volume: [0-9]+ %$'

  # Volume through the real mixer.
  for level in 25 75; do
    if [[ $level == 25 ]]; then x=72; else x=187; fi
    click_for_answer demo "$T" $x 386
    check_equal "Volume $level%: VCSV, then VCGV reads it back" "$ANSWER" \
      "Volume set to $level %; the player reads $level %"
  done
  check_line "the movie sent VCSV 25" "$T" 'scene fscommand path=external command="VCSV" arg="25"'
  click_for_answer demo "$T" 302 386
  check_equal "Mute: VCSM on, VCGM reads 1" "$ANSWER" "Volume: muted; the player reads muted = 1"
  click_for_answer demo "$T" 417 386
  check_equal "Sound on: VCSM off, VCGM reads 0" "$ANSWER" \
    "Volume: sound on; the player reads muted = 0"

  # Wallpaper.
  click_for_answer demo "$T" 135 426
  check_match "Set as wallpaper: SW answers the bitmap's path" "$ANSWER" \
    '^Wallpaper set: C:\\users\\[^\\]+\\Documents\\VEXA Wallpapers\\wallpaper\.bmp$'
  bitmap="$DOCUMENTS/VEXA Wallpapers/wallpaper.bmp"
  if [[ -f $bitmap ]]; then
    # A Windows bitmap with the 40-byte info header (ImageMagick's BMP3), 24 bits a pixel.
    check_equal "the bitmap is the picture, 400 x 250, 24 bits a pixel" \
      "$(identify -format '%m %w %h' "$bitmap" 2>/dev/null) $(od -An -tu2 -j28 -N2 "$bitmap" | tr -d ' ')" \
      "BMP3 400 250 24"
    # A point of the green mountain (#006400 in the picture) and of the brown ground (#8B4513).
    for point in "120 180 0 100 0" "20 230 139 69 19"; do
      read -r px py er eg eb <<<"$point"
      read -r r g b <<<"$(convert "$bitmap" -crop "1x1+$px+$py" \
        -format '%[fx:int(255*r+0.5)] %[fx:int(255*g+0.5)] %[fx:int(255*b+0.5)]' info: 2>/dev/null)"
      if [[ -n ${b:-} ]] && ((r - er < 12 && er - r < 12 && g - eg < 12 && eg - g < 12 &&
        b - eb < 12 && eb - b < 12)); then
        pass "the bitmap shows the picture at ($px, $py)"
      else
        fail "the bitmap shows the picture at ($px, $py)" "colour $r $g $b, expected about $er $eg $eb"
      fi
    done
    if ls "$DOCUMENTS/VEXA Wallpapers" | grep -q '\.tmp$'; then
      fail "no temporary file is left" "$(ls "$DOCUMENTS/VEXA Wallpapers")"
    else
      pass "no temporary file is left"
    fi
  else
    fail "the bitmap was written" "no $bitmap"
  fi
  registry=$("$VEXA_WINE" reg query 'HKCU\Control Panel\Desktop' /v Wallpaper </dev/null 2>/dev/null |
    tr -d '\r' | sed -n 's/^ *Wallpaper *REG_SZ *//p')
  check_equal "the registry's wallpaper value names the bitmap" "$registry" "${ANSWER#Wallpaper set: }"

  # The add-on's function.
  click_for_answer demo "$T" 635 226
  check_match "Add-on: greeting: CALL runs the add-on's function" "$ANSWER" \
    '^Add-on says: Hello from the add-on in Addons\\demo\.vxa \(greeting 1, [0-9]+ heartbeats so far\)$'
  if wait_for "$T" 'kind=text id="addonline"' 10 demo; then
    check_equal "the add-on's function loads a movie of its package into layer 3" \
      "$(drawn_text "$T" addonline 3)" "Layer 3 comes from the add-on package"
  else
    fail "the add-on's function loads a movie of its package into layer 3" "nothing drawn ($T)"
  fi
  check_line "that movie came from the add-on package" "$T" 'Addons/demo.vxa/end_of_story'
  import -window root "$WORK/demo.png" 2>/dev/null
  echo "screenshot: $WORK/demo.png"
  quit_demo demo
fi

# ===============================================================================================
# 2. Without add-ons the function is missing.
# ===============================================================================================
echo "== demo without add-ons"
prepare_demo plain none
T=$WORK/plain.transcript
if ! start_demo plain plain; then
  fail "the demo starts without add-ons" "no buttons or header ($T)"
  stop_program plain
else
  click_for_answer plain "$T" 635 226
  check_equal "without the add-on nobody answers CALL addonGreeting" "$ANSWER" \
    "No add-on answered: Addons\\demo.vxa must be next to the player."
  quit_demo plain
fi

echo "e2e-services: transcripts and screenshots in $WORK"
echo "e2e-services: $PASSED passed, $FAILED failed"
((FAILED == 0))
