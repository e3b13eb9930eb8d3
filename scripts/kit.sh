#!/usr/bin/env bash
# Builds the author's kit: everything a game author downloads to ship a game without compiling
# anything, as one folder and one zip archive:
#   build/kit/vexa-kit-<version>/       and   build/kit/vexa-kit-<version>.zip
#
# Layout of the kit:
#   README.txt                      five lines from a game folder to a shipped game
#   bin/linux-x86_64/               vexaship, vexapak, vexasaves for Linux
#   bin/windows/                    vexaship.exe, vexapak.exe, vexasaves.exe (32-bit: any Windows)
#   runtime/i686/vexa_player.exe    the Release runtime players vexaship starts from (they carry
#   runtime/x86_64/vexa_player.exe  the stand-in plug-in until vexaship puts yours in)
#   standin/i686/, standin/x86_64/  the stand-in plug-in DLLs, to try a game before the vendor
#                                   plug-in is at hand
#   docs/authoring.md               the author's guide ("Shipping your game" among its chapters)
#   examples/demo/                  the demo game as a game folder, with its icon
#   sdk/                            the plug-in library SDK: include/vexa/plugin.h and an example
#
# Environment: VEXA_BUILD_DIR (default <repo>/build), VEXA_JOBS (2), VEXA_SKIP_SETUP=1.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${VEXA_BUILD_DIR:-$ROOT/build}
JOBS=${VEXA_JOBS:-2}
VERSION=$(sed -n 's/^project(vexa VERSION \([0-9.]*\).*/\1/p' "$ROOT/CMakeLists.txt")
NAME=vexa-kit-$VERSION
KIT=$BUILD/kit/$NAME
LOGS=$BUILD/logs
mkdir -p "$LOGS"

if [[ ${VEXA_SKIP_SETUP:-0} != 1 ]]; then
  "$ROOT/scripts/setup.sh"
fi

step() { printf 'kit: %s\n' "$*"; }

build() {  # name log cmake-configure-args... -- targets...
  local name=$1 log=$LOGS/kit-$1.log
  shift
  local configure=() targets=()
  while (($#)) && [[ $1 != -- ]]; do configure+=("$1"); shift; done
  shift
  targets=("$@")
  step "building $name"
  if ! { cmake "${configure[@]}" && cmake --build "$BUILD/$name" -j "$JOBS" --target "${targets[@]}"; } \
    >"$log" 2>&1; then
    echo "kit: building $name failed; the end of $log:" >&2
    tail -n 40 "$log" >&2
    exit 1
  fi
}

TOOLS=(vexaship vexapak vexasaves)
build kit-linux -S "$ROOT" -B "$BUILD/kit-linux" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DVEXA_BENCH=OFF -- "${TOOLS[@]}"
build windows-i686-release --preset windows-i686-release -S "$ROOT" -B "$BUILD/windows-i686-release" \
  -- vexa_player vexa_standin "${TOOLS[@]}"
build windows-x86_64-release --preset windows-x86_64-release -S "$ROOT" \
  -B "$BUILD/windows-x86_64-release" -- vexa_player vexa_standin

step "assembling $KIT"
rm -rf "$KIT" "$KIT.zip"
mkdir -p "$KIT/bin/linux-x86_64" "$KIT/bin/windows" "$KIT/docs" "$KIT/examples" "$KIT/sdk"
for tool in "${TOOLS[@]}"; do
  install -m 755 "$BUILD/kit-linux/tools/$tool/$tool" "$KIT/bin/linux-x86_64/"
  strip "$KIT/bin/linux-x86_64/$tool"
  install -m 644 "$BUILD/windows-i686-release/tools/$tool/$tool.exe" "$KIT/bin/windows/"
done
for arch in i686 x86_64; do
  mkdir -p "$KIT/runtime/$arch" "$KIT/standin/$arch"
  install -m 644 "$BUILD/windows-$arch-release/player/vexa_player.exe" "$KIT/runtime/$arch/"
  install -m 644 "$BUILD/windows-$arch-release/standin/vexa_standin.dll" "$KIT/standin/$arch/"
done
cp "$ROOT/docs/authoring.md" "$KIT/docs/"
mkdir -p "$KIT/examples/demo"
cp -r "$ROOT/examples/demo/game/." "$KIT/examples/demo/"
mkdir -p "$KIT/examples/demo/Addons"
cp -r "$ROOT/examples/addon/content" "$KIT/examples/demo/Addons/demo"
cp "$ROOT/examples/demo/demo.ico" "$KIT/examples/demo.ico"
cp "$BUILD/windows-i686-release/player/vexa_sample.dll" "$KIT/examples/demo/" 2>/dev/null ||
  step "note: the example plug-in library was not built; the demo's plug-in button will say so"
mkdir -p "$KIT/sdk/include/vexa" "$KIT/sdk/example"
cp "$ROOT/include/vexa/plugin.h" "$KIT/sdk/include/vexa/"
cp "$ROOT/examples/plugin/sample.cpp" "$ROOT/examples/plugin/"*.def "$KIT/sdk/example/"

cat >"$KIT/README.txt" <<TEXT
VEXA Player $VERSION, the author's kit. From a game folder (init.xml, movies, images; plug-in
libraries *.dll at its top; add-ons in Addons\\) to a shipped game, on Linux (bin/linux-x86_64) or Windows (bin\\windows):
1. Try it with the stand-in plug-in: vexaship examples/demo --out shipped --plugin standin/i686/vexa_standin.dll --icon examples/demo.ico
2. Run shipped/<Name>/<Name>.exe (on Windows, or under Wine); the game's saves live in %APPDATA%\\Quorva\\<GAMENAME>.
3. Ship yours: vexaship my-game --out shipped --plugin <your NPAPI plug-in DLL> --icon my.ico --version 1.0.0.0 --product "My Game"
4. Add --installer (setup.exe; needs NSIS), --zip, --single-file (one .exe) or --sign cert.pfx --sign-password-file pw.txt.
5. docs/authoring.md, chapter "Shipping your game", says the rest (64-bit games: --arch x86_64 with 64-bit plug-in DLLs).
TEXT

step "archiving $KIT.zip"
(cd "$(dirname "$KIT")" && zip -qr -X "$NAME.zip" "$NAME")
step "done: $KIT and $KIT.zip ($(du -sh "$KIT.zip" | cut -f1))"
