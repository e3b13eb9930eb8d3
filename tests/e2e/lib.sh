# Process helpers shared by the end-to-end scripts (sourced). The sourcing script keeps its running
# Windows programs in the associative array PIDS (name -> process id) and reads STATUS after
# wait_exit.

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
