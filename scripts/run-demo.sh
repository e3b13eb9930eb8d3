#!/usr/bin/env bash
# Ships the demo game (examples/demo) with vexaship, as an author ships a game, and plays the shipped
# executable under Wine, building the player and the tools first when needed.
#
# With a display (DISPLAY set) the player's window opens there; the script ends when it is closed.
# Without one the player runs on a virtual display (Xvfb): once the demo has drawn, a screenshot is
# saved, its file name printed, and the player closed.
#
# The player is the 32-bit one we ship where this machine can start 32-bit programs, and the 64-bit
# build of the same sources where it cannot (decided by trying; see scripts/wine-env.sh).
#
# Environment: VEXA_BUILD_DIR (default <repo>/build; the player is built in its windows-i686 or
# windows-x86_64 folder), VEXA_JOBS (2), VEXA_SKIP_SETUP=1 to skip installing missing tools
# (scripts/setup.sh), VEXA_DEMO_ARCH=i686|x86_64 to choose the player yourself.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${VEXA_BUILD_DIR:-$ROOT/build}
JOBS=${VEXA_JOBS:-2}
PLAYER_PID=
# shellcheck source=wine-env.sh
source "$ROOT/scripts/wine-env.sh"
# winpath and find_demo_header, as the end-to-end tests use them.
# shellcheck source=../tests/e2e/lib.sh
source "$ROOT/tests/e2e/lib.sh"

cleanup() {
  if [[ -n $PLAYER_PID ]]; then
    kill "$PLAYER_PID" 2>/dev/null || true
  fi
  vexa_env_stop
}
trap cleanup EXIT

# --- Tools ---------------------------------------------------------------------------------------
need_setup=0
for tool in cmake ninja i686-w64-mingw32-g++-posix x86_64-w64-mingw32-g++-posix wineserver Xvfb \
  import convert xdotool; do
  command -v "$tool" >/dev/null 2>&1 || need_setup=1
done
[[ -e $VEXA_WINE64_LOADER ]] || need_setup=1
if ((need_setup)); then
  if [[ ${VEXA_SKIP_SETUP:-0} == 1 ]]; then
    echo "run-demo: tools are missing and VEXA_SKIP_SETUP=1; run scripts/setup.sh" >&2
    exit 1
  fi
  "$ROOT/scripts/setup.sh"
fi

# --- Which player: the 32-bit one we ship where this machine runs it, else the 64-bit one ---------
ARCH=${VEXA_DEMO_ARCH:-}
if [[ -z $ARCH ]]; then
  if vexa_wine_probe i686; then
    ARCH=i686
  else
    echo "run-demo: $VEXA_WINE_WHY; using the 64-bit player"
    ARCH=x86_64
  fi
fi
case $ARCH in
  i686) PRESET=windows-i686 ;;
  x86_64) PRESET=windows-x86_64 ;;
  *) echo "run-demo: VEXA_DEMO_ARCH must be i686 or x86_64" >&2; exit 2 ;;
esac
if ! vexa_wine_probe "$ARCH"; then
  echo "run-demo: cannot run the $ARCH player: $VEXA_WINE_WHY" >&2
  exit 1
fi
DIR=$BUILD/$PRESET
OUT=$DIR/demo
# vexaship's output: the demo as its own program, VexaDemo.exe, with data.pak, the example plug-in
# library and Addons\demo.vxa beside it (examples/demo/CMakeLists.txt).
PLAYER_DIR=$DIR/shipped/VexaDemo
PLAYER_EXE=VexaDemo.exe
echo "run-demo: the $ARCH player ($VEXA_WINE_WHY)"

if [[ ! -f $DIR/build.ninja ]]; then
  echo "run-demo: configuring the Windows build in $DIR"
  cmake --preset "$PRESET" -S "$ROOT" -B "$DIR" >/dev/null
fi
echo "run-demo: building the player and shipping the demo with vexaship"
if ! cmake --build "$DIR" -j "$JOBS" --target vexa_demo_shipped >"$OUT.build.log" 2>&1; then
  tail -n 30 "$OUT.build.log" >&2
  echo "run-demo: the build failed (log: $OUT.build.log)" >&2
  exit 1
fi
grep -E '^vexaship: ' "$OUT.build.log" | sed 's/^/run-demo: /' || true
[[ -f $PLAYER_DIR/$PLAYER_EXE && -f $PLAYER_DIR/data.pak ]] || {
  echo "run-demo: the build did not produce $PLAYER_DIR/$PLAYER_EXE and data.pak" >&2
  exit 1
}

# --- Wine ----------------------------------------------------------------------------------------
# A prefix of the demo's own, so a test run stopping its Wine never takes the demo with it.
export WINEPREFIX=${WINEPREFIX:-$DIR/wineprefix-demo}
mkdir -p "$OUT"
if [[ ! -f $WINEPREFIX/system.reg ]]; then
  echo "run-demo: preparing a Wine prefix in $WINEPREFIX (once, about 30 s)"
fi

if [[ -n ${DISPLAY:-} ]]; then
  VEXA_ENV_AUDIO=0 vexa_env_start "$ARCH" "$DIR" "$OUT" || exit 1
  echo "run-demo: starting the player on $DISPLAY (close its window to end)"
  cd "$PLAYER_DIR"
  "$VEXA_WINE" "$PLAYER_EXE" </dev/null >"$OUT/player.out" 2>&1
  exit 0
fi

# --- Headless: virtual display, screenshot, close ------------------------------------------------
vexa_env_start "$ARCH" "$DIR" "$OUT" || exit 1

TRANSCRIPT=$OUT/transcript.txt
SHOT=$OUT/screenshot.png
rm -f "$TRANSCRIPT" "$SHOT"
echo "run-demo: starting the shipped $PLAYER_DIR/$PLAYER_EXE on the virtual display $DISPLAY"
(cd "$PLAYER_DIR" &&
  exec env VEXA_STANDIN_TRANSCRIPT="$(winpath "$TRANSCRIPT")" "$VEXA_WINE" "$PLAYER_EXE" \
    </dev/null >"$OUT/player.out" 2>&1) &
PLAYER_PID=$!

# The demo's header bar sits at the top-left of the player's client area; a window may appear a
# few seconds after start in a fresh prefix.
found=0
for ((i = 0; i < 300; ++i)); do
  kill -0 "$PLAYER_PID" 2>/dev/null || break
  if grep -qF 'kind=rect id="header"' "$TRANSCRIPT" 2>/dev/null && find_demo_header "$SHOT" 1; then
    found=1
    break
  fi
  sleep 0.2
done
if ((!found)); then
  echo "run-demo: the demo did not appear (player output: $OUT/player.out)" >&2
  exit 1
fi
echo "run-demo: screenshot of the demo: $SHOT"

# Close the player through the movie's own Quit button, as a user would.
xdotool mousemove $((X + 635)) $((Y + 176)) click 1
for ((i = 0; i < 100; ++i)); do
  kill -0 "$PLAYER_PID" 2>/dev/null || break
  sleep 0.2
done
if kill -0 "$PLAYER_PID" 2>/dev/null; then
  echo "run-demo: the player did not close; stopping it" >&2
  exit 1
fi
wait "$PLAYER_PID" 2>/dev/null || true
PLAYER_PID=
echo "run-demo: the player closed"
