# shellcheck shell=bash
# Helpers shared by the end-to-end scripts (sourced): processes, program folders, the demo's place
# on the screen, and the PASS/FAIL reports. The sourcing script keeps its running Windows programs
# in the associative array PIDS (name -> process id) and reads STATUS after wait_exit.

# A Unix path as Wine sees it on drive Z:.
winpath() {
  local p=$1
  echo "Z:${p//\//\\}"
}

running() {  # name
  [[ -n ${PIDS[$1]:-} ]] && kill -0 "${PIDS[$1]}" 2>/dev/null
}

# Waits until `file` has a line containing `text` (fixed string); false after `seconds`, or as soon
# as the program `name` (when given) has ended without writing it.
wait_for() {  # file text seconds [name]
  local deadline=$((SECONDS + $3))
  while ((SECONDS < deadline)); do
    grep -qaF -- "$2" "$1" 2>/dev/null && return 0
    if [[ -n ${4:-} ]] && ! running "$4"; then
      grep -qaF -- "$2" "$1" 2>/dev/null
      return
    fi
    sleep 0.2
  done
  return 1
}

# Waits for the program `name` to end and sets STATUS to its exit status; false (STATUS empty)
# when it still runs after `seconds`.
STATUS=
wait_exit() {  # name seconds
  local deadline=$((SECONDS + $2))
  STATUS=
  while ((SECONDS < deadline)); do
    if ! running "$1"; then
      wait "${PIDS[$1]}" 2>/dev/null
      STATUS=$?
      unset "PIDS[$1]"
      return 0
    fi
    sleep 0.2
  done
  return 1
}

stop_program() {  # name
  if [[ -n ${PIDS[$1]:-} ]]; then
    kill "${PIDS[$1]}" 2>/dev/null
    wait "${PIDS[$1]}" 2>/dev/null
    unset "PIDS[$1]"
  fi
}

# Ends every program still in PIDS (for the scripts' exit traps).
stop_all_programs() {
  local name
  for name in "${!PIDS[@]}"; do
    kill "${PIDS[$name]}" 2>/dev/null
  done
}

# --- The environment -------------------------------------------------------------------------------
# Empties WORK and starts what `arch` programs need without sound (scripts/wine-env.sh): a display
# and a Wine prefix, WORK/../wineprefix unless WINEPREFIX names one. False when it did not start.
start_e2e_environment() {  # arch
  rm -rf "$WORK"
  mkdir -p "$WORK"
  [[ -n ${WINEPREFIX:-} ]] || export WINEPREFIX=$WORK/../wineprefix
  VEXA_ENV_AUDIO=0 vexa_env_start "$1" "$WORK" "$WORK" || return 1
  echo "DISPLAY=$DISPLAY WINEPREFIX=$WINEPREFIX loader=$VEXA_WINE ($VEXA_WINE_WHY)"
}

# --- Programs ------------------------------------------------------------------------------------
# The sourcing script sets WORK, the folder of the programs' folders and of their output.

# A folder of its own for a program, WORK/folder: the files given, and `pak` as its data.pak.
prepare() {  # folder pak file...
  local dir=$WORK/$1 pak=$2 file
  shift 2
  mkdir -p "$dir"
  for file in "$@"; do
    cp -l "$file" "$dir/" 2>/dev/null || cp "$file" "$dir/"
  done
  cp "$pak" "$dir/data.pak"
}

# Starts the program `exe` of folder WORK/dir under `name`: its transcript is WORK/name.transcript,
# its command log (test builds) WORK/name.log, its output WORK/name.out. Extra VAR=value arguments
# go to its environment.
start_program() {  # name dir exe [VAR=value...]
  local name=$1 dir=$WORK/$2 exe=$3
  shift 3
  : >"$WORK/$name.log"
  (cd "$dir" &&
    exec env VEXA_STANDIN_TRANSCRIPT="$(winpath "$WORK/$name.transcript")" \
      VEXA_FSCOMMAND_LOG="$(winpath "$WORK/$name.log")" "$@" "$VEXA_WINE" "$exe" \
      </dev/null >"$WORK/$name.out" 2>&1) &
  PIDS[$name]=$!
}

# Finds the demo movie's header bar, an 800x56 rectangle of #2B4C7E at the top-left of the
# player's client area, on up to `tries` screenshots 0.2 s apart saved as `png`; sets X and Y to
# that corner on the screen. False when it did not show.
X=
Y=
find_demo_header() {  # png tries
  local i w h x y
  X=
  Y=
  for ((i = 0; i < $2; ++i)); do
    import -window root "$1" 2>/dev/null
    read -r w h x y <<<"$(convert "$1" -fill black +opaque '#2B4C7E' -trim \
      -format '%w %h %X %Y' info: 2>/dev/null)"
    if [[ $w == 800 && $h == 56 ]]; then
      X=${x#+}
      Y=${y#+}
      return 0
    fi
    sleep 0.2
  done
  return 1
}

# --- Reports -------------------------------------------------------------------------------------
# Two ways to count, sharing `fail`. Scenarios: begin "name", checks that call `fail "what"`, then
# finish, which prints "PASS: <scenario>" when nothing failed; a scenario counts once. Single
# checks (outside any scenario): `pass "what"` or `fail "what" "detail"`, each counted. The script
# prints PASSED and FAILED at the end.
PASSED=0
FAILED=0
SCENARIO=
SCENARIO_FAILED=0

begin() {  # scenario
  SCENARIO=$1
  SCENARIO_FAILED=0
  echo "== $SCENARIO"
}

finish() {
  if ((SCENARIO_FAILED)); then
    FAILED=$((FAILED + 1))
  else
    echo "PASS: $SCENARIO"
    PASSED=$((PASSED + 1))
  fi
}

pass() {  # what
  echo "PASS: $1"
  PASSED=$((PASSED + 1))
}

fail() {  # what [detail]
  local text=$1
  (($# > 1)) && text+=": $2"
  if [[ -n $SCENARIO ]]; then
    echo "FAIL: $SCENARIO: $text"
    SCENARIO_FAILED=1
  else
    echo "FAIL: $text"
    FAILED=$((FAILED + 1))
  fi
}

# Passes when `got` equals `expected`.
check_equal() {  # what got expected
  if [[ $2 == "$3" ]]; then pass "$1"; else fail "$1" "got \"$2\", expected \"$3\""; fi
}

# Passes when `got` matches the extended regular expression.
check_match() {  # what got regex
  if [[ $2 =~ $3 ]]; then pass "$1"; else fail "$1" "got \"$2\", expected a match of $3"; fi
}

# Passes when `file` has a line containing `text`.
check_line() {  # what file text
  if grep -qaF -- "$3" "$2" 2>/dev/null; then pass "$1"; else fail "$1" "no line with: $3 ($2)"; fi
}

# Ends the program `name` as the check `what`: it must end with status 0 within 30 s.
expect_exit() {  # name what
  if wait_exit "$1" 30; then
    check_equal "$2" "$STATUS" 0
  else
    fail "$2" "still running after 30 s"
    stop_program "$1"
  fi
}
