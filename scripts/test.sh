#!/usr/bin/env bash
# The project's test command. Builds and tests every configuration:
#   linux    g++, Debug, ASan/UBSan (preset linux-asan); ctest
#   fuzz     clang libFuzzer build of the fuzz targets (preset linux-fuzz); each fuzzer runs for
#            VEXA_FUZZ_SECONDS on a copy of its corpus
#   windows    both Windows targets, as far as this machine can run them: where 32-bit programs
#              start, windows32 and windows64; where they cannot, windows64 runs its tests and the
#              i686 player is still built (the summary says so and why)
#   windows32  MinGW-w64 i686 (preset windows-i686, the player we ship); ctest under 32-bit Wine
#   windows64  MinGW-w64 x86_64 (preset windows-x86_64); ctest under 64-bit Wine
#   kit        the author's kit (scripts/kit.sh: Release players for both targets, the tools for
#              Linux and Windows), then tests/kit/check_kit.sh ships the kit's demo with it
# Usage: scripts/test.sh [linux] [fuzz] [windows | windows32 | windows64] [kit]   (no argument:
#        linux, fuzz, windows and kit, after setup)
# Environment: VEXA_BUILD_DIR (default <repo>/build), VEXA_JOBS (2), VEXA_FUZZ_SECONDS (20),
#              VEXA_SKIP_SETUP=1 to skip scripts/setup.sh.
# Exits non-zero when any stage fails; later stages still run so one run reports everything.
set -uo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${VEXA_BUILD_DIR:-$ROOT/build}
JOBS=${VEXA_JOBS:-2}
FUZZ_SECONDS=${VEXA_FUZZ_SECONDS:-20}
LINUX_DIR=$BUILD/linux-asan
FUZZ_DIR=$BUILD/linux-fuzz
LOGS=$BUILD/logs

STAGES=("$@")
((${#STAGES[@]})) || STAGES=(linux fuzz windows kit)
for s in "${STAGES[@]}"; do
  case $s in
    linux | fuzz | windows | windows32 | windows64 | kit) ;;
    *) echo "unknown stage '$s' (linux, fuzz, windows, windows32, windows64, kit)" >&2; exit 2 ;;
  esac
done

mkdir -p "$LOGS"
SUMMARY=()
FAILED=0

say() { printf '\n=== %s\n' "$*"; }

# Runs a command with its output in a log file; on failure shows the end of the log.
logged() {
  local log=$1
  shift
  "$@" >"$log" 2>&1 && return 0
  local rc=$?
  echo "--- failed (exit $rc): $*"
  echo "--- last lines of $log:"
  tail -n 80 "$log"
  return $rc
}

# Records one stage's result for the summary.
record() {  # name status seconds detail
  SUMMARY+=("$(printf '%-9s %-5s %5ss  %s' "$1" "$2" "$3" "$4")")
  [[ $2 == FAIL ]] && FAILED=1
  return 0
}

# The line "N% tests passed, F tests failed out of T" of a ctest log, or a note.
ctest_result() {
  grep -E 'tests passed|No tests were found' "$1" | tail -n 1 || true
}

# Tests of a ctest log run with --repeat until-pass that failed first and passed on the retry,
# as "FLAKY (passed on the retry): a b", or nothing. Their first failure stays in the log.
ctest_flaky() {
  local failed name flaky=()
  failed=$(sed -n 's/^.*Test *#[0-9]*: \([^ ]*\) \.*\*\*\*Failed.*$/\1/p' "$1" | sort -u)
  for name in $failed; do
    grep -qE "Test +#[0-9]+: $name \.+ +Passed" "$1" && flaky+=("$name")
  done
  ((${#flaky[@]})) && echo "; FLAKY (passed on the retry): ${flaky[*]}"
  return 0
}

# --- Background services of the Windows stages, always stopped on exit ------------------------
# shellcheck source=wine-env.sh
source "$ROOT/scripts/wine-env.sh"
trap vexa_env_stop EXIT
trap 'exit 130' INT TERM

# --- Stages ----------------------------------------------------------------------------------
stage_setup() {
  local start=$SECONDS
  say "setup"
  if [[ ${VEXA_SKIP_SETUP:-0} == 1 ]]; then
    record setup SKIP 0 "VEXA_SKIP_SETUP=1"
    return 0
  fi
  if "$ROOT/scripts/setup.sh"; then
    record setup PASS $((SECONDS - start)) ""
  else
    record setup FAIL $((SECONDS - start)) "scripts/setup.sh failed"
    return 1
  fi
}

stage_linux() {
  local start=$SECONDS
  say "linux: configure and build ($LINUX_DIR)"
  if ! logged "$LOGS/linux-configure.log" cmake --preset linux-asan -S "$ROOT" -B "$LINUX_DIR" ||
    ! logged "$LOGS/linux-build.log" cmake --build "$LINUX_DIR" -j "$JOBS"; then
    record linux FAIL $((SECONDS - start)) "build failed"
    return 1
  fi
  local built=$SECONDS
  say "linux: ctest"
  local log=$LOGS/linux-ctest.log rc=0
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir "$LINUX_DIR" --output-on-failure -j "$JOBS" 2>&1 | tee "$log" || rc=$?
  local detail="build $((built - start))s, tests $((SECONDS - built))s: $(ctest_result "$log")"
  if ((rc == 0)); then
    record linux PASS $((SECONDS - start)) "$detail"
  else
    record linux FAIL $((SECONDS - start)) "$detail"
    return 1
  fi
}

stage_fuzz() {
  local start=$SECONDS
  say "fuzz: configure and build the fuzz targets ($FUZZ_DIR)"
  rm -rf "$FUZZ_DIR/fuzzers"  # rewritten by the configure step, so removed fuzzers drop out
  if ! logged "$LOGS/fuzz-configure.log" cmake --preset linux-fuzz -S "$ROOT" -B "$FUZZ_DIR"; then
    record fuzz FAIL $((SECONDS - start)) "configure failed"
    return 1
  fi
  local lists=("$FUZZ_DIR"/fuzzers/*.txt)
  if [[ ! -e ${lists[0]} ]]; then
    record fuzz PASS $((SECONDS - start)) "no fuzzers registered"
    return 0
  fi
  # Only the fuzzers and what they link: the unit tests already ran in the linux stage.
  local targets=() list
  for list in "${lists[@]}"; do targets+=("$(basename "$list" .txt)"); done
  if ! logged "$LOGS/fuzz-build.log" cmake --build "$FUZZ_DIR" -j "$JOBS" --target "${targets[@]}"; then
    record fuzz FAIL $((SECONDS - start)) "build failed"
    return 1
  fi
  local built=$SECONDS
  say "fuzz: ${FUZZ_SECONDS}s per fuzzer"
  local name exe corpus dict work ran=0 failed=()
  for list in "${lists[@]}"; do
    name=$(basename "$list" .txt)
    exe=$(sed -n 1p "$list")
    corpus=$(sed -n 2p "$list")
    dict=$(sed -n 3p "$list")
    work=$FUZZ_DIR/fuzz-work/$name
    # New inputs go to a corpus of this build only; the checked-in corpus is read, never written.
    mkdir -p "$work/corpus"
    local dirs=("$work/corpus")
    [[ -n $corpus && -d $corpus ]] && dirs+=("$corpus")
    local options=()
    [[ -n $dict && -f $dict ]] && options+=(-dict="$dict")
    printf '%-32s ' "$name"
    if "$exe" -max_total_time="$FUZZ_SECONDS" -timeout=25 -rss_limit_mb=2560 "${options[@]}" \
      -artifact_prefix="$work/" -print_final_stats=1 "${dirs[@]}" >"$work/log" 2>&1; then
      echo "ok ($(grep -Eo 'stat::number_of_executed_units: *[0-9]+' "$work/log" | grep -Eo '[0-9]+$' || echo '?') runs)"
      ran=$((ran + 1))
    else
      echo "FAIL (log and crashing input in $work)"
      tail -n 60 "$work/log"
      failed+=("$name")
    fi
  done
  local detail="build $((built - start))s, fuzzing $((SECONDS - built))s"
  if ((${#failed[@]})); then
    record fuzz FAIL $((SECONDS - start)) "$detail: failed ${failed[*]}"
    return 1
  fi
  record fuzz PASS $((SECONDS - start)) "$detail: $ran fuzzers"
}

# Builds one Windows target; with `run` also runs its ctest under Wine.
#   windows_target NAME ARCH PRESET run|build REASON
windows_target() {
  local name=$1 arch=$2 preset=$3 mode=$4 reason=$5
  local dir=$BUILD/$preset start=$SECONDS
  say "$name: configure and build ($dir)"
  if ! logged "$LOGS/$name-configure.log" cmake --preset "$preset" -S "$ROOT" -B "$dir" ||
    ! logged "$LOGS/$name-build.log" cmake --build "$dir" -j "$JOBS"; then
    record "$name" FAIL $((SECONDS - start)) "build failed"
    return 1
  fi
  local built=$SECONDS
  if [[ $mode == build ]]; then
    record "$name" BUILT $((SECONDS - start)) "built only, tests not run: $reason"
    return 0
  fi
  say "$name: starting Xvfb, PulseAudio and Wine ($arch)"
  # A display, sound server and prefix of this run's own, whatever the caller's environment has.
  export WINEPREFIX=$dir/wineprefix
  if ! VEXA_ENV_OWN_DISPLAY=1 vexa_env_start "$arch" "$dir" "$LOGS/$name"; then
    vexa_env_stop
    record "$name" FAIL $((SECONDS - start)) "test environment did not start"
    return 1
  fi
  local ready=$SECONDS
  echo "DISPLAY=$DISPLAY WINEPREFIX=$WINEPREFIX loader=$VEXA_WINE"
  say "$name: ctest under Wine ($reason)"
  local log=$LOGS/$name-ctest.log rc=0
  # One test at a time: tests that open windows share the one display. A failed test runs once
  # more (its first failure stays in the log): the end-to-end tests drive real windows under Wine,
  # whose timing under a loaded machine is not ours to fix.
  ctest --test-dir "$dir" --output-on-failure --repeat until-pass:2 2>&1 | tee "$log" || rc=$?
  vexa_env_stop
  unset WINEPREFIX VEXA_WINE
  local detail="build $((built - start))s, Wine start $((ready - built))s, tests $((SECONDS - ready))s: $(ctest_result "$log")$(ctest_flaky "$log")"
  if ((rc == 0)); then
    record "$name" PASS $((SECONDS - start)) "$detail"
  else
    record "$name" FAIL $((SECONDS - start)) "$detail"
    return 1
  fi
}

# Asked for by name: the target's tests must run here, or the stage fails saying why not.
stage_windows32() {
  if ! vexa_wine_probe i686; then
    echo "windows32: $VEXA_WINE_WHY"
    record windows32 FAIL 0 "cannot run: $VEXA_WINE_WHY"
    return 1
  fi
  windows_target windows32 i686 windows-i686 run "$VEXA_WINE_WHY"
}

stage_windows64() {
  if ! vexa_wine_probe x86_64; then
    echo "windows64: $VEXA_WINE_WHY"
    record windows64 FAIL 0 "cannot run: $VEXA_WINE_WHY"
    return 1
  fi
  windows_target windows64 x86_64 windows-x86_64 run "$VEXA_WINE_WHY"
}

# Both targets, as far as this machine can run them.
stage_windows() {
  local why32 why64 ok32=0 ok64=0 rc=0
  vexa_wine_probe i686 && ok32=1
  why32=$VEXA_WINE_WHY
  vexa_wine_probe x86_64 && ok64=1
  why64=$VEXA_WINE_WHY
  say "windows: i686: $why32; x86_64: $why64"
  if ((ok32)); then
    windows_target windows32 i686 windows-i686 run "$why32" || rc=1
  else
    windows_target windows32 i686 windows-i686 build "$why32" || rc=1
  fi
  if ((ok64)); then
    windows_target windows64 x86_64 windows-x86_64 run "$why64" || rc=1
  else
    record windows64 FAIL 0 "cannot run: $why64"
    rc=1
  fi
  if ((!ok32 && !ok64)); then
    echo "windows: this machine runs no Windows programs: $why32; $why64"
  fi
  return $rc
}

# The author's kit, built and then used as an author uses it.
stage_kit() {
  local start=$SECONDS
  say "kit: building the author's kit (scripts/kit.sh)"
  if ! VEXA_SKIP_SETUP=1 VEXA_BUILD_DIR=$BUILD VEXA_JOBS=$JOBS "$ROOT/scripts/kit.sh" 2>&1 |
    tee "$LOGS/kit.log"; then
    record kit FAIL $((SECONDS - start)) "scripts/kit.sh failed"
    return 1
  fi
  local built=$SECONDS folder
  folder=$(sed -n 's/^kit: done: \([^ ]*\) and .*/\1/p' "$LOGS/kit.log" | tail -n 1)
  say "kit: checking $folder"
  local log=$LOGS/kit-check.log rc=0
  bash "$ROOT/tests/kit/check_kit.sh" "$folder" 2>&1 | tee "$log" || rc=$?
  # The PE rewriter, natively under the sanitizers, on every runtime player this run built: the
  # kit's Release players and the Debug players with their symbol tables, both architectures.
  local pe_test=$LINUX_DIR/tests/vexaship_pe/vexaship_pe_test images=$BUILD/kit/pe-images arch
  if [[ -x $pe_test ]]; then
    rm -rf "$images" && mkdir -p "$images"
    for arch in i686 x86_64; do
      cp "$folder/runtime/$arch/vexa_player.exe" "$images/release-$arch-player.exe"
      cp "$folder/standin/$arch/vexa_standin.dll" "$images/release-$arch-standin.dll"
      [[ -f $BUILD/windows-$arch/player/vexa_player.exe ]] &&
        cp "$BUILD/windows-$arch/player/vexa_player.exe" "$images/debug-$arch-player.exe"
    done
    say "kit: the PE rewriter on $(ls "$images" | wc -l) real images ($images)"
    VEXA_PE_TEST_IMAGES=$images "$pe_test" --gtest_filter='PeRealImages.*' 2>&1 |
      tee -a "$log" | tail -n 3 || rc=1
    grep -q '\[  PASSED  \] 1 test' "$log" || rc=1
  else
    echo "kit: $pe_test is not built (run the linux stage first): real images not checked" | tee -a "$log"
  fi
  local detail="build $((built - start))s, check $((SECONDS - built))s: $(grep -E '^kit: [0-9]+ passed' "$log" | tail -n 1)"
  if ((rc == 0)); then
    record kit PASS $((SECONDS - start)) "$detail"
  else
    record kit FAIL $((SECONDS - start)) "$detail"
    return 1
  fi
}

# --- Main ------------------------------------------------------------------------------------
TOTAL_START=$SECONDS
setup_ok=1
stage_setup || setup_ok=0
for s in "${STAGES[@]}"; do
  if ((!setup_ok)); then
    record "$s" SKIP 0 "setup failed"
    continue
  fi
  "stage_$s" || true
done

say "summary (build folder $BUILD, logs in $LOGS)"
printf '%s\n' "${SUMMARY[@]}"
printf 'total     %-5s %5ss\n' "$( ((FAILED)) && echo FAIL || echo PASS)" $((SECONDS - TOTAL_START))
exit $FAILED
