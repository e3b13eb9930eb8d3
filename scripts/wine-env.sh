# Shared start-up and shut-down of the environment that Windows programs run in here: a virtual X
# display (Xvfb), a private PulseAudio server with a null sink (so Wine has a mixer), and a Wine
# prefix with its services already running. Sourced (not run) by scripts/test.sh,
# scripts/run-demo.sh and tests/e2e/run_e2e.sh.
#
# Which Windows programs this machine can run is decided by trying, never assumed: some machines
# start only 64-bit user code, and there the 32-bit Wine loader fails with "Exec format error".
#
#   vexa_wine_probe ARCH            ARCH i686 or x86_64; true when that loader runs here. Sets
#                                   VEXA_WINE_WHY to a one-line reason either way.
#   vexa_wine_loader ARCH           prints the Wine loader for ARCH.
#   vexa_wine_loader_for EXE        prints the loader for a Windows executable (by its PE header).
#   vexa_env_start ARCH DIR LOGS    starts what is missing: Xvfb unless DISPLAY is set (or
#                                   VEXA_ENV_OWN_DISPLAY=1), PulseAudio unless VEXA_ENV_AUDIO=0,
#                                   and a prefix (WINEPREFIX, default DIR/wineprefix) booted with
#                                   ARCH's loader. Exports DISPLAY, WINEPREFIX, WINEDEBUG and
#                                   VEXA_WINE (the loader). False with a message on failure.
#   vexa_env_stop                   stops everything vexa_env_start started (safe to call twice).
#
# Overrides (mainly to check the fallback on a machine that does run 32-bit programs):
# VEXA_WINE32_LOADER, VEXA_WINE64_LOADER.

VEXA_WINE32_LOADER=${VEXA_WINE32_LOADER:-/usr/lib/wine/wine}
VEXA_WINE64_LOADER=${VEXA_WINE64_LOADER:-/usr/lib/wine/wine64}
VEXA_WINE_WHY=
VEXA_ENV_XVFB_PID=
VEXA_ENV_PULSE_DIR=
VEXA_ENV_WINESERVER=0

vexa_wine_loader() {
  case $1 in
    i686) echo "$VEXA_WINE32_LOADER" ;;
    x86_64) echo "$VEXA_WINE64_LOADER" ;;
    *) echo "vexa_wine_loader: unknown architecture '$1'" >&2; return 2 ;;
  esac
}

vexa_wine_probe() {
  local arch=$1 loader bits out
  loader=$(vexa_wine_loader "$arch") || return 2
  [[ $arch == i686 ]] && bits=32 || bits=64
  if [[ ! -e $loader ]]; then
    VEXA_WINE_WHY="$bits-bit Wine is not installed ($loader is missing; scripts/setup.sh installs it)"
    return 1
  fi
  if out=$("$loader" --version 2>&1 </dev/null); then
    VEXA_WINE_WHY="$bits-bit Wine runs here ($out)"
    return 0
  fi
  out=$(printf '%s' "$out" | tail -n 1)
  if [[ $out == *"Exec format error"* || $out == *"cannot execute"* ]]; then
    VEXA_WINE_WHY="this machine cannot start $bits-bit programs ($loader: Exec format error)"
  else
    VEXA_WINE_WHY="$bits-bit Wine does not start here ($loader: ${out:-no output})"
  fi
  return 1
}

# The machine type in the PE header of a Windows executable: i686 or x86_64 (empty if unknown).
vexa_pe_arch() {
  local exe=$1 offset machine
  offset=$(od -An -tu4 -j60 -N4 "$exe" 2>/dev/null | tr -d ' ')
  [[ -n $offset ]] || return 1
  machine=$(od -An -tx1 -j$((offset + 4)) -N2 "$exe" 2>/dev/null | tr -d ' ')
  case $machine in
    4c01) echo i686 ;;
    6486) echo x86_64 ;;
    *) return 1 ;;
  esac
}

vexa_wine_loader_for() {
  local arch
  arch=$(vexa_pe_arch "$1") || { echo "$VEXA_WINE32_LOADER"; return 0; }
  vexa_wine_loader "$arch"
}

vexa_env_start() {
  local arch=$1 dir=$2 logs=$3 loader
  loader=$(vexa_wine_loader "$arch") || return 1
  if ! vexa_wine_probe "$arch"; then
    echo "cannot run $arch Windows programs: $VEXA_WINE_WHY"
    return 1
  fi
  mkdir -p "$dir" "$logs"
  export VEXA_WINE=$loader
  export WINEDEBUG=${WINEDEBUG:--all}
  # Started already by a caller up the process tree (scripts/test.sh around ctest): use its
  # display, sound server, prefix and wineserver, and leave them running.
  if [[ -n ${VEXA_ENV_READY:-} && -n ${DISPLAY:-} && ${WINEPREFIX:-} == "$VEXA_ENV_READY" ]]; then
    return 0
  fi

  # Display.
  if [[ -z ${DISPLAY:-} || ${VEXA_ENV_OWN_DISPLAY:-0} == 1 ]]; then
    local fdfile=$dir/xvfb.display i
    rm -f "$fdfile"
    Xvfb -displayfd 3 -screen 0 "${VEXA_ENV_SCREEN:-1280x1024x24}" -nolisten tcp 3>"$fdfile" \
      </dev/null >"$logs/xvfb.log" 2>&1 &
    VEXA_ENV_XVFB_PID=$!
    for ((i = 0; i < 100; ++i)); do
      [[ -s $fdfile ]] && break
      kill -0 "$VEXA_ENV_XVFB_PID" 2>/dev/null || break
      sleep 0.1
    done
    if [[ ! -s $fdfile ]]; then
      echo "Xvfb did not start; see $logs/xvfb.log"
      return 1
    fi
    export DISPLAY=:$(tr -d '[:space:]' <"$fdfile")
  fi

  # Sound: optional; without it the tests that need a mixer see none.
  if [[ ${VEXA_ENV_AUDIO:-1} == 1 ]] && command -v pulseaudio >/dev/null 2>&1; then
    VEXA_ENV_PULSE_DIR=$dir/pulse
    rm -rf "$VEXA_ENV_PULSE_DIR"
    mkdir -p "$VEXA_ENV_PULSE_DIR"
    export PULSE_RUNTIME_PATH=$VEXA_ENV_PULSE_DIR
    export PULSE_SERVER=unix:$VEXA_ENV_PULSE_DIR/native
    if ! pulseaudio --daemonize=yes --exit-idle-time=-1 -n \
      --load="module-null-sink sink_name=dummy" --load=module-native-protocol-unix \
      </dev/null >"$logs/pulseaudio.log" 2>&1; then
      echo "note: PulseAudio did not start (see $logs/pulseaudio.log); Wine has no mixer"
      unset PULSE_SERVER
      VEXA_ENV_PULSE_DIR=
    fi
  fi

  # Wine prefix, booted once, with its services started before the first program so that they do
  # not hold the programs' output pipes open.
  export WINEPREFIX=${WINEPREFIX:-$dir/wineprefix}
  if [[ ! -f $WINEPREFIX/system.reg ]]; then
    # No Mono/Gecko install prompts: they would wait for a click on the virtual display.
    if ! WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY= "$loader" wineboot -i \
      </dev/null >"$logs/wineboot.log" 2>&1; then
      echo "wineboot failed; see $logs/wineboot.log"
      return 1
    fi
    wineserver -w </dev/null >/dev/null 2>&1
  fi
  VEXA_ENV_WINESERVER=1
  wineserver -p </dev/null >/dev/null 2>&1 || { echo "wineserver did not start"; return 1; }
  "$loader" cmd /c exit </dev/null >/dev/null 2>&1 || { echo "Wine cannot run programs"; return 1; }
  export VEXA_ENV_READY=$WINEPREFIX
  return 0
}

vexa_env_stop() {
  if ((VEXA_ENV_WINESERVER)); then
    wineserver -k >/dev/null 2>&1 || true
    VEXA_ENV_WINESERVER=0
    unset VEXA_ENV_READY
  fi
  if [[ -n $VEXA_ENV_PULSE_DIR && -f $VEXA_ENV_PULSE_DIR/pid ]]; then
    kill "$(cat "$VEXA_ENV_PULSE_DIR/pid")" 2>/dev/null || true
  fi
  VEXA_ENV_PULSE_DIR=
  if [[ -n $VEXA_ENV_XVFB_PID ]]; then
    kill "$VEXA_ENV_XVFB_PID" 2>/dev/null || true
    wait "$VEXA_ENV_XVFB_PID" 2>/dev/null || true
    VEXA_ENV_XVFB_PID=
  fi
  return 0
}
