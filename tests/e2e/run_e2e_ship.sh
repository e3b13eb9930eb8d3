#!/usr/bin/env bash
# End-to-end test of shipping a game with vexaship, and of what it ships, under Wine.
# Usage: run_e2e_ship.sh <vexaship> <vexa_player.exe> <vexa_standin.dll> <npmark.dll>
#                        <vexa_sample.dll> <work folder>
#
# vexaship runs natively (the build machine's copy); the shipped programs run under Wine.
# 1. The demo (examples/demo/game with its add-on folder and the example plug-in library) shipped
#    with the stand-in, the demo's icon and a version, --zip and --installer: the executable is a
#    valid image to an independent reader (objdump), its icon group is the .ico given (wrestool),
#    its version resource holds the version and texts; it plays the demo (transcript and
#    screenshot); the zip holds the same files.
# 2. --single-file: the executable alone in an empty folder plays the demo, add-on included.
# 3. Another NPAPI plug-in (npmark.dll): the shipped game loads it, not the stand-in.
# 4. Refusals: a plug-in that is not a DLL, a DLL that is not an NPAPI plug-in, an init.xml that
#    does not parse, a movie missing from the game: exit 1, a message, no game folder written.
# 5. --sign with a self-signed certificate: osslsigncode verifies the executable.
# 6. The installer (tests/e2e/run_e2e_installer.sh): a silent install, the installed game started
#    from its shortcut's target, a silent uninstall.
#
# Every check prints "PASS: <what>" or "FAIL: <what>: <detail>"; the last line counts them.
set -uo pipefail

if (($# != 6)); then
  echo "usage: $0 <vexaship> <vexa_player.exe> <vexa_standin.dll> <npmark.dll> <vexa_sample.dll>" \
    "<work folder>" >&2
  exit 2
fi
VEXASHIP=$(realpath -m "$1")
PLAYER=$(realpath -m "$2")
STANDIN=$(realpath -m "$3")
NPMARK=$(realpath -m "$4")
SAMPLE=$(realpath -m "$5")
WORK=$(realpath -m "$6")
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
ROOT=$(cd "$HERE/../.." && pwd)

give_up() {  # reason
  echo "FAIL: $1"
  echo "e2e-ship: 0 passed, 1 failed"
  exit 1
}

# shellcheck source-path=SCRIPTDIR source=../../scripts/wine-env.sh
source "$HERE/../../scripts/wine-env.sh"
ARCH=$(vexa_pe_arch "$PLAYER") || give_up "$PLAYER is not a Windows program"
for file in "$VEXASHIP" "$PLAYER" "$STANDIN" "$NPMARK" "$SAMPLE"; do
  [[ -f $file ]] || give_up "$file is missing"
done
for tool in Xvfb import convert xdotool wineserver wrestool icotool unzip; do
  command -v "$tool" >/dev/null || give_up "$tool is not installed (scripts/setup.sh)"
done
OBJDUMP=$ARCH-w64-mingw32-objdump
[[ $ARCH == i686 ]] || OBJDUMP=x86_64-w64-mingw32-objdump
command -v "$OBJDUMP" >/dev/null || give_up "$OBJDUMP is not installed (scripts/setup.sh)"

declare -A PIDS=()
# shellcheck source=lib.sh
source "$HERE/lib.sh"

cleanup() {
  stop_all_programs
  vexa_env_stop
}
trap cleanup EXIT

start_e2e_environment "$ARCH" || give_up "no environment for $ARCH programs"

# The demo's game folder as an author keeps it.
GAME=$WORK/demo-game
cp -r "$ROOT/examples/demo/game" "$GAME"
mkdir -p "$GAME/Addons"
cp -r "$ROOT/examples/addon/content" "$GAME/Addons/demo"
cp "$SAMPLE" "$GAME/"
ICON=$ROOT/examples/demo/demo.ico

ship() {  # out-folder extra-args...
  local out=$1
  shift
  "$VEXASHIP" "$GAME" --out "$out" --runtime "$PLAYER" --arch "$ARCH" --exe-name ShipDemo \
    --product "Ship Demo é" --company "Test Maker" --copyright "(c) tests" --version 2.3.4.5 \
    --icon "$ICON" "$@"
}

# Waits for the demo's header in the transcript of `name` and on the screen.
demo_shows() {  # name
  wait_for "$WORK/$1.transcript" 'kind=rect id="header"' 60 "$1" && find_demo_header "$WORK/$1.png" 50
}

# --- 1. The demo, shipped ------------------------------------------------------------------------
begin "ship the demo with --zip --installer"
start=$SECONDS
if ship "$WORK/out" --plugin "$STANDIN" --zip --installer >"$WORK/ship.out" 2>&1; then
  echo "shipping with --zip --installer took $((SECONDS - start)) s"
else
  fail "vexaship failed" "$(tail -n 20 "$WORK/ship.out")"
fi
EXE=$WORK/out/ShipDemo/ShipDemo.exe
for file in "$EXE" "$WORK/out/ShipDemo/data.pak" "$WORK/out/ShipDemo/vexa_sample.dll" \
  "$WORK/out/ShipDemo/Addons/demo.vxa" "$WORK/out/ShipDemo-2.3.4.5.zip" \
  "$WORK/out/ShipDemo-2.3.4.5-setup.exe"; do
  [[ -f $file ]] || fail "missing ${file#"$WORK"/}"
done
ls -A "$WORK/out" | grep -q '^\.' && fail "work folders left in the output: $(ls -A "$WORK/out")"
finish

begin "an independent reader sees a valid image with the new resources"
"$OBJDUMP" -p "$EXE" >"$WORK/objdump.txt" 2>&1 || fail "objdump -p failed" "$(tail -n 5 "$WORK/objdump.txt")"
grep -q 'Resource Directory' "$WORK/objdump.txt" || fail "objdump shows no resource directory"
wrestool -l "$EXE" >"$WORK/resources.txt" 2>&1 || fail "wrestool -l failed"
rm -rf "$WORK/icon" && mkdir -p "$WORK/icon"
wrestool -x -t 14 -o "$WORK/icon" "$EXE" 2>/dev/null
icons=("$WORK"/icon/*)
if [[ -f ${icons[0]} ]]; then
  icotool -l "${icons[0]}" | sed 's/--index=[0-9]* //' | sort >"$WORK/icon-shipped.txt"
  icotool -l "$ICON" | sed 's/--index=[0-9]* //' | sort >"$WORK/icon-given.txt"
  cmp -s "$WORK/icon-shipped.txt" "$WORK/icon-given.txt" ||
    fail "the icon group differs from the .ico given" "$(diff "$WORK/icon-given.txt" "$WORK/icon-shipped.txt")"
  icotool -x -o "$WORK/icon" "${icons[0]}" 2>/dev/null
  icotool -x -o "$WORK/icon/given" "$ICON" 2>/dev/null || true
else
  fail "wrestool found no icon group"
fi
wrestool -x --raw -t 16 "$EXE" >"$WORK/version.bin" 2>/dev/null
version_text=$(iconv -f UTF-16LE -t UTF-8 <"$WORK/version.bin" 2>/dev/null | tr '\0' '\n')
for text in 2.3.4.5 "Ship Demo é" "Test Maker" "(c) tests" ShipDemo.exe; do
  grep -qF -- "$text" <<<"$version_text" || fail "the version resource lacks \"$text\""
done
finish

begin "the shipped demo plays"
start_program shipped "out/ShipDemo" ShipDemo.exe
if demo_shows shipped; then
  cp "$WORK/shipped.png" "$WORK/shipped-demo.png"
else
  fail "the shipped demo did not show" "$(tail -n 5 "$WORK/shipped.out")"
fi
stop_program shipped
finish

begin "the zip holds the shipped folder"
rm -rf "$WORK/unzipped"
if unzip -q "$WORK/out/ShipDemo-2.3.4.5.zip" -d "$WORK/unzipped" 2>"$WORK/unzip.err"; then
  diff -r "$WORK/out/ShipDemo" "$WORK/unzipped/ShipDemo" >"$WORK/zipdiff.txt" 2>&1 ||
    fail "the zip differs from the folder" "$(head -n 5 "$WORK/zipdiff.txt")"
else
  fail "unzip failed" "$(cat "$WORK/unzip.err")"
fi
finish

# --- 2. A single file ------------------------------------------------------------------------------
begin "a --single-file game runs from an empty folder"
if ship "$WORK/single" --plugin "$STANDIN" --single-file >"$WORK/single.out" 2>&1; then
  listing=$(cd "$WORK/single/ShipDemo" && ls -A | tr '\n' ' ')
  check_equal "only the executable and the plug-in library" "$listing" "ShipDemo.exe vexa_sample.dll " >/dev/null
  mkdir -p "$WORK/alone"
  cp "$WORK/single/ShipDemo/ShipDemo.exe" "$WORK/alone/"
  cp "$WORK/single/ShipDemo/vexa_sample.dll" "$WORK/alone/"
  start_program alone alone ShipDemo.exe
  if demo_shows alone; then
    # The add-on carried inside the executable is merged: its button's function answers and
    # loads a movie of the carried add-on package into layer 3.
    xdotool mousemove $((X + 635)) $((Y + 226)) click 1
    wait_for "$WORK/alone.transcript" 'kind=text id="addonline"' 20 alone ||
      fail "the carried add-on's function did not run" "$(tail -n 3 "$WORK/alone.transcript")"
  else
    fail "the single-file demo did not show" "$(tail -n 5 "$WORK/alone.out")"
  fi
  stop_program alone
else
  fail "vexaship --single-file failed" "$(tail -n 20 "$WORK/single.out")"
fi
finish

# --- 3. Another plug-in ----------------------------------------------------------------------------
begin "a game shipped with another NPAPI plug-in loads it"
if ship "$WORK/other" --plugin "$NPMARK" >"$WORK/other.out" 2>&1; then
  MARK=$WORK/npmark.txt
  rm -f "$MARK"
  start_program npmark "other/ShipDemo" ShipDemo.exe VEXA_NPMARK_FILE="$(winpath "$MARK")"
  wait_for "$MARK" "npmark NP_" 60 npmark || fail "npmark.dll was not called" "$(tail -n 5 "$WORK/npmark.out")"
  [[ -f $WORK/npmark.transcript ]] && grep -q . "$WORK/npmark.transcript" &&
    fail "the stand-in played although another plug-in was shipped"
  stop_program npmark
else
  fail "vexaship with npmark.dll failed" "$(tail -n 20 "$WORK/other.out")"
fi
finish

# --- 4. Refusals -----------------------------------------------------------------------------------
refused() {  # what expected-message out-folder args...
  local what=$1 expected=$2 out=$3
  shift 3
  local rc=0
  "$VEXASHIP" "$@" --out "$out" --runtime "$PLAYER" --arch "$ARCH" >"$WORK/refused.out" 2>&1 || rc=$?
  if ((rc != 1)); then
    fail "$what: exit $rc, expected 1"
  elif ! grep -qF -- "$expected" "$WORK/refused.out"; then
    fail "$what: no message \"$expected\"" "$(cat "$WORK/refused.out")"
  elif [[ -e $out/ShipDemo || -n $(ls -A "$out" 2>/dev/null | grep -v '^$') ]]; then
    fail "$what: something was written to $out" "$(ls -A "$out")"
  else
    pass "$what"
  fi
}
SCENARIO=
echo "not a library" >"$WORK/fake.dll"
refused "a plug-in that is not a DLL" "is not a Windows DLL" "$WORK/refused1" "$GAME" --exe-name ShipDemo --plugin "$WORK/fake.dll"
refused "a DLL that is not an NPAPI plug-in" "does not export" "$WORK/refused2" "$GAME" --exe-name ShipDemo --plugin "$SAMPLE"
BAD=$WORK/bad-game
cp -r "$GAME" "$BAD"
echo '<init><movie url="missing.scene"/></init>' >"$BAD/init.xml"
refused "a movie missing from the game" "missing.scene" "$WORK/refused3" "$BAD" --exe-name ShipDemo --plugin "$STANDIN"
echo '<init' >"$BAD/init.xml"
refused "an init.xml that does not parse" "init.xml does not parse" "$WORK/refused4" "$BAD" --exe-name ShipDemo --plugin "$STANDIN"

# An output folder inside the game folder: a second run must not pack the first run's output.
begin "an output folder inside the game folder is never shipped again"
INSIDE=$WORK/inside-game
cp -r "$GAME" "$INSIDE"
ship_inside() {
  "$VEXASHIP" "$INSIDE" --out "$INSIDE/dist" --runtime "$PLAYER" --arch "$ARCH" \
    --exe-name ShipDemo --plugin "$STANDIN" >>"$WORK/inside.out" 2>&1
}
if ship_inside && cp "$INSIDE/dist/ShipDemo/data.pak" "$WORK/inside-first.pak" && ship_inside; then
  cmp -s "$WORK/inside-first.pak" "$INSIDE/dist/ShipDemo/data.pak" ||
    fail "the second data.pak differs from the first (it packed the earlier output)"
else
  fail "vexaship with --out inside the game folder failed" "$(tail -n 5 "$WORK/inside.out")"
fi
finish

# --- 5. Signing ------------------------------------------------------------------------------------
begin "--sign signs the executable and the signature verifies"
if command -v openssl >/dev/null && command -v osslsigncode >/dev/null; then
  openssl req -x509 -newkey rsa:2048 -nodes -keyout "$WORK/key.pem" -out "$WORK/cert.pem" \
    -days 2 -subj "/CN=VEXA test signer" >/dev/null 2>&1
  echo "test-password" >"$WORK/password.txt"
  openssl pkcs12 -export -inkey "$WORK/key.pem" -in "$WORK/cert.pem" -out "$WORK/cert.pfx" \
    -passout pass:test-password >/dev/null 2>&1
  if ship "$WORK/signed" --plugin "$STANDIN" --sign "$WORK/cert.pfx" \
    --sign-password-file "$WORK/password.txt" >"$WORK/signed.out" 2>&1; then
    osslsigncode verify -in "$WORK/signed/ShipDemo/ShipDemo.exe" -CAfile "$WORK/cert.pem" \
      >"$WORK/verify.out" 2>&1
    grep -q "Signature verification: ok" "$WORK/verify.out" ||
      fail "osslsigncode verify" "$(tail -n 5 "$WORK/verify.out")"
  else
    fail "vexaship --sign failed" "$(tail -n 20 "$WORK/signed.out")"
  fi
else
  fail "openssl and osslsigncode are needed (scripts/setup.sh)"
fi
finish

# --- 6. The installer ------------------------------------------------------------------------------
begin "the installer installs, the game starts from its shortcut and saves, the uninstaller removes it"
SETUP=$WORK/out/ShipDemo-2.3.4.5-setup.exe
APPDATA_UNIX=$(find "$WINEPREFIX/drive_c/users" -maxdepth 3 -type d -path '*/AppData/Roaming' | head -n 1)
if [[ ! -f $SETUP ]]; then
  fail "no setup.exe to test"
elif [[ -z $APPDATA_UNIX ]]; then
  fail "no roaming application data folder in $WINEPREFIX"
else
  VEXA_SHIPPED_FOLDER=$WORK/out/ShipDemo VEXA_INSTALLED_WORK=$WORK/installed \
    VEXA_INSTALLED_SAVES=$APPDATA_UNIX/Quorva/VexaDemo \
    bash "$HERE/run_e2e_installer.sh" "$SETUP" "Ship Demo é" ShipDemo.exe "Quorva\\VexaDemo" \
    "$WORK/installer" "$HERE/start_installed.sh" >"$WORK/installer.out" 2>&1
  rc=$?
  if ((rc == 77)); then
    # Not counted as a pass: said, and the scenario left out.
    echo "SKIP: $(grep -m1 '^SKIP' "$WORK/installer.out")"
    SCENARIO_SKIPPED=1
  elif ((rc != 0)); then
    fail "run_e2e_installer.sh" "$(grep -E '^FAIL' "$WORK/installer.out" | head -n 10)"
  fi
fi
((${SCENARIO_SKIPPED:-0})) || finish
SCENARIO=

echo "e2e-ship: $PASSED passed, $FAILED failed"
((FAILED == 0))
