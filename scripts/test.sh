#!/usr/bin/env bash
# The project's test command. Builds and tests every configuration:
#   linux    g++, Debug, ASan/UBSan (preset linux-asan); ctest
#   fuzz     clang libFuzzer build of the fuzz targets (preset linux-fuzz); each fuzzer runs for
#            VEXA_FUZZ_SECONDS on a copy of its corpus
#   windows  MinGW-w64 i686 (preset windows-i686); ctest under Wine with a virtual display
# Usage: scripts/test.sh [linux] [fuzz] [windows]    (no argument: all three, after setup)
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
WINDOWS_DIR=$BUILD/windows-i686
LOGS=$BUILD/logs

STAGES=("$@")
((${#STAGES[@]})) || STAGES=(linux fuzz windows)
for s in "${STAGES[@]}"; do
  case $s in linux | fuzz | windows) ;; *) echo "unknown stage '$s' (linux, fuzz, windows)" >&2; exit 2 ;; esac
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
  SUMMARY+=("$(printf '%-8s %-5s %5ss  %s' "$1" "$2" "$3" "$4")")
  [[ $2 == FAIL ]] && FAILED=1
  return 0
}

# The line "N% tests passed, F tests failed out of T" of a ctest log, or a note.
ctest_result() {
  grep -E 'tests passed|No tests were found' "$1" | tail -n 1 || true
}

# --- Background services of the Windows stage, always stopped on exit -------------------------
XVFB_PID=
PULSE_DIR=
WINE_STARTED=0

cleanup() {
  if ((WINE_STARTED)); then
    WINEPREFIX=$WINDOWS_DIR/wineprefix wineserver -k >/dev/null 2>&1 || true
    WINE_STARTED=0
  fi
  if [[ -n $PULSE_DIR && -f $PULSE_DIR/pid ]]; then
    kill "$(cat "$PULSE_DIR/pid")" 2>/dev/null || true
    PULSE_DIR=
  fi
  if [[ -n $XVFB_PID ]]; then
    kill "$XVFB_PID" 2>/dev/null || true
    wait "$XVFB_PID" 2>/dev/null || true
    XVFB_PID=
  fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Starts Xvfb on a display number it picks itself; sets DISPLAY.
start_xvfb() {
  local fdfile=$WINDOWS_DIR/xvfb.display
  rm -f "$fdfile"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fdfile" \
    </dev/null >"$LOGS/xvfb.log" 2>&1 &
  XVFB_PID=$!
  local i
  for ((i = 0; i < 100; ++i)); do
    if [[ -s $fdfile ]]; then
      export DISPLAY=:$(tr -d '[:space:]' <"$fdfile")
      return 0
    fi
    kill -0 "$XVFB_PID" 2>/dev/null || break
    sleep 0.1
  done
  echo "Xvfb did not start; see $LOGS/xvfb.log"
  return 1
}

# A PulseAudio server with a null sink, private to this run, so Wine has a mixer. Optional: the
# tests that need a mixer see none when this fails.
start_pulseaudio() {
  PULSE_DIR=$WINDOWS_DIR/pulse
  rm -rf "$PULSE_DIR"
  mkdir -p "$PULSE_DIR"
  export PULSE_RUNTIME_PATH=$PULSE_DIR
  export PULSE_SERVER=unix:$PULSE_DIR/native
  if pulseaudio --daemonize=yes --exit-idle-time=-1 -n \
    --load="module-null-sink sink_name=dummy" --load=module-native-protocol-unix \
    </dev/null >"$LOGS/pulseaudio.log" 2>&1; then
    return 0
  fi
  echo "note: PulseAudio did not start (see $LOGS/pulseaudio.log); Wine has no mixer"
  unset PULSE_SERVER
  return 0
}

# A Wine prefix of our own, booted once, with its services running before the first test so
# that they do not hold the tests' output pipes open (see docs in the README).
start_wine() {
  export WINEPREFIX=$WINDOWS_DIR/wineprefix
  export WINEDEBUG=-all
  if [[ ! -f $WINEPREFIX/system.reg ]]; then
    # No Mono/Gecko install prompts: they would wait for a click on the virtual display.
    WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY= wineboot -i </dev/null >"$LOGS/wineboot.log" 2>&1 ||
      { echo "wineboot failed; see $LOGS/wineboot.log"; return 1; }
    wineserver -w </dev/null >/dev/null 2>&1
  fi
  WINE_STARTED=1
  wineserver -p </dev/null >/dev/null 2>&1 || { echo "wineserver did not start"; return 1; }
  wine cmd /c exit </dev/null >/dev/null 2>&1 || { echo "wine cannot run programs"; return 1; }
}

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
  local name exe corpus work ran=0 failed=()
  for list in "${lists[@]}"; do
    name=$(basename "$list" .txt)
    exe=$(sed -n 1p "$list")
    corpus=$(sed -n 2p "$list")
    work=$FUZZ_DIR/fuzz-work/$name
    # New inputs go to a corpus of this build only; the checked-in corpus is read, never written.
    mkdir -p "$work/corpus"
    local dirs=("$work/corpus")
    [[ -n $corpus && -d $corpus ]] && dirs+=("$corpus")
    printf '%-32s ' "$name"
    if "$exe" -max_total_time="$FUZZ_SECONDS" -timeout=25 -rss_limit_mb=2560 \
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

stage_windows() {
  local start=$SECONDS
  say "windows: configure and build ($WINDOWS_DIR)"
  if ! logged "$LOGS/windows-configure.log" cmake --preset windows-i686 -S "$ROOT" -B "$WINDOWS_DIR" ||
    ! logged "$LOGS/windows-build.log" cmake --build "$WINDOWS_DIR" -j "$JOBS"; then
    record windows FAIL $((SECONDS - start)) "build failed"
    return 1
  fi
  local built=$SECONDS
  say "windows: starting Xvfb, PulseAudio and Wine"
  if ! start_xvfb || ! start_pulseaudio || ! start_wine; then
    cleanup
    record windows FAIL $((SECONDS - start)) "test environment did not start"
    return 1
  fi
  local ready=$SECONDS
  echo "DISPLAY=$DISPLAY WINEPREFIX=$WINEPREFIX"
  say "windows: ctest under Wine"
  local log=$LOGS/windows-ctest.log rc=0
  # One test at a time: tests that open windows share the one display.
  ctest --test-dir "$WINDOWS_DIR" --output-on-failure 2>&1 | tee "$log" || rc=$?
  cleanup
  local detail="build $((built - start))s, Wine start $((ready - built))s, tests $((SECONDS - ready))s: $(ctest_result "$log")"
  if ((rc == 0)); then
    record windows PASS $((SECONDS - start)) "$detail"
  else
    record windows FAIL $((SECONDS - start)) "$detail"
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
printf 'total    %-5s %5ss\n' "$( ((FAILED)) && echo FAIL || echo PASS)" $((SECONDS - TOTAL_START))
exit $FAILED
