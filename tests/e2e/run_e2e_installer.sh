#!/usr/bin/env bash
# End-to-end test of a game's installer (setup.exe, made by vexaship --installer) under Wine.
# Usage: run_e2e_installer.sh <setup.exe> <product> <exe name> <saves folder> <work folder>
#                             [<run command>]
#   <saves folder>  the game's saves folder relative to %APPDATA% ("Quorva\MyGame"), as given to
#                   vexaship
#   <run command>   optional: run_installed_game calls it after the first install as
#                   `<run command> <exe, Windows path> <exe, Unix path> <working folder, Windows>`
#                   from the working folder, with VEXA_WINE, WINEPREFIX and DISPLAY set; the target
#                   and working folder are the Start-menu shortcut's. It passes when it exits with 0
#                   within VEXA_RUN_TIMEOUT seconds (default 120).
# Environment: VEXA_SHIPPED_FOLDER, the folder setup.exe was made from: every file in it (setup.exe
# aside) must be installed byte for byte, count in EstimatedSize, and go with the uninstaller.
# Without it only the exe and uninstall.exe are checked.
#
# 1. Silent install for the current user: the files in %LOCALAPPDATA%\Programs\..., the Start-menu
#    shortcut (target, working folder, icon), no desktop shortcut, the Apps & features entry in
#    HKCU and its values; the run command.
# 2. A save file in the saves folder and a file of the user's own in the install folder; the silent
#    uninstall from the entry's QuietUninstallString: every installed file, the shortcut and the
#    entry go, the save and the user's file stay.
# 3. Install again (with /DESKTOP when the prefix has a desktop folder of its own, not the home
#    folder), uninstall with /DELETESAVES: the saves folder goes too.
# 4. /AllUsers: Program Files, the all-users Start menu, the entry in HKLM; uninstalled again.
#
# Every check prints "PASS: <what>" or "FAIL: <what>: <detail>"; the last line counts them. Exit
# status 1 when a check failed, 77 when this machine cannot run setup.exe (a 32-bit program where
# only 64-bit programs start). Uses DISPLAY and WINEPREFIX when set (scripts/test.sh sets them) and
# starts its own Xvfb and prefix otherwise.
set -uo pipefail

if (($# < 5 || $# > 6)); then
  echo "usage: $0 <setup.exe> <product> <exe name> <saves folder> <work folder> [<run command>]" >&2
  exit 2
fi
SETUP=$(realpath -m "$1")
PRODUCT=$2
EXE=$3
SAVES=${4//\//\\}
WORK=$(realpath -m "$5")
RUN_COMMAND=${6:-}
SHIPPED=${VEXA_SHIPPED_FOLDER:+$(realpath -m "$VEXA_SHIPPED_FOLDER")}
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

give_up() {  # reason
  echo "FAIL: $1"
  echo "e2e-installer: 0 passed, 1 failed"
  exit 1
}

# shellcheck source-path=SCRIPTDIR source=../../scripts/wine-env.sh
source "$HERE/../../scripts/wine-env.sh"
[[ -f $SETUP ]] || give_up "$SETUP is missing"
ARCH=$(vexa_pe_arch "$SETUP") || give_up "$SETUP is not a Windows program"
if ! vexa_wine_probe "$ARCH"; then
  if [[ $ARCH == i686 ]]; then
    echo "SKIP: 32-bit programs cannot run here (setup.exe is a 32-bit program)"
    exit 77
  fi
  give_up "cannot run $ARCH programs: $VEXA_WINE_WHY"
fi
[[ -z $SHIPPED || -d $SHIPPED ]] || give_up "VEXA_SHIPPED_FOLDER $SHIPPED is not a folder"
command -v iconv >/dev/null || give_up "iconv is not installed"

# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$HERE/lib.sh"

# Passes when the command succeeds.
check() {  # what detail command [argument...]
  local what=$1 detail=$2
  shift 2
  if "$@"; then pass "$what"; else fail "$what" "$detail"; fi
}
not() {
  ! "$@"
}

cleanup() {
  vexa_env_stop
}
trap cleanup EXIT

# Shortcuts must not become menu entries and desktop files in the real home folder.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:+$WINEDLLOVERRIDES;}winemenubuilder.exe=d"
start_e2e_environment "$ARCH" || give_up "no environment for $ARCH programs"

# --- Wine -----------------------------------------------------------------------------------------
# Wine's background processes keep inherited pipes open: every program's output goes to a file.
LOG=$WORK/wine.log

wine_run() {  # seconds program [argument...]
  local seconds=$1
  shift
  echo "> $*" >>"$LOG"
  timeout "$seconds" "$VEXA_WINE" "$@" </dev/null >>"$LOG" 2>&1
}

# A Windows path of drive C: or Z: as a Unix path (empty for other drives).
unix_path() {  # windows path
  local p=${1//\\//}
  case ${p:0:2} in
    [Cc]:) echo "$WINEPREFIX/drive_c${p:2}" ;;
    [Zz]:) echo "${p:2}" ;;
  esac
}

# Windows paths compare without case.
same_path() {  # a b
  [[ ${1,,} == "${2,,}" ]]
}

# The Windows environment of the programs (the user's folders).
declare -A WINENV=()
read_windows_environment() {
  local line
  while IFS= read -r line; do
    line=${line%$'\r'}
    [[ $line == *=* ]] && WINENV[${line%%=*}]=${line#*=}
  done < <(timeout 60 "$VEXA_WINE" cmd /c set </dev/null 2>/dev/null)
  [[ -n ${WINENV[LOCALAPPDATA]:-} && -n ${WINENV[APPDATA]:-} && -n ${WINENV[ProgramFiles]:-} ]]
}

# --- The Apps & features entry ----------------------------------------------------------------
# ENTRY: the values of the entry under Uninstall in `root` whose DisplayName is the product (name
# -> text; DWORDs in decimal), ENTRY_KEY its key. False when there is none. Read from an export
# (UTF-16) rather than from reg query, whose console output loses what the code page cannot spell.
UNINSTALL='Software\Microsoft\Windows\CurrentVersion\Uninstall'
declare -A ENTRY=()
ENTRY_KEY=
find_entry() {  # HKCU|HKLM
  local export=$WORK/uninstall-$1.reg line key='' name value
  local -A values=()
  ENTRY=()
  ENTRY_KEY=
  rm -f "$export"
  timeout 60 "$VEXA_WINE" reg export "$1\\$UNINSTALL" "$(winpath "$export")" /y \
    </dev/null >>"$LOG" 2>&1 || return 1
  # Blocks of a key line "[HKEY_...\<id>]" and value lines "name"="text" or "name"=dword:hex.
  while IFS= read -r line; do
    line=${line%$'\r'}
    if [[ $line == \[* || $line == END ]]; then
      if [[ -n $key && -z $ENTRY_KEY && ${values[DisplayName]-} == "$PRODUCT" ]]; then
        ENTRY_KEY=$key
        for name in "${!values[@]}"; do ENTRY[$name]=${values[$name]}; done
      fi
      key=${line:1:-1}
      values=()
    elif [[ -n $key && $line =~ ^\"([^\"]+)\"=\"(.*)\"$ ]]; then
      name=${BASH_REMATCH[1]}
      value=${BASH_REMATCH[2]//\\\\/$'\x01'}
      value=${value//\\\"/\"}
      values[$name]=${value//$'\x01'/\\}
    elif [[ -n $key && $line =~ ^\"([^\"]+)\"=dword:([0-9a-fA-F]{8})$ ]]; then
      values[${BASH_REMATCH[1]}]=$((16#${BASH_REMATCH[2]}))
    fi
  done < <(iconv -f UTF-16 -t UTF-8 "$export"; echo END)
  [[ -n $ENTRY_KEY ]]
}

# The installed program of a "\"path\" switches" command line, run with those switches, plus more.
run_uninstall_string() {  # command line [extra switch...]
  local line=$1 exe args
  shift
  if [[ ! $line =~ ^\"([^\"]+)\"(.*)$ ]]; then
    fail "the uninstall string is a quoted program and switches" "got \"$line\""
    return 1
  fi
  exe=${BASH_REMATCH[1]}
  read -r -a args <<<"${BASH_REMATCH[2]}"
  wine_run 120 "$exe" "${args[@]}" "$@"
}

# --- Shortcuts ------------------------------------------------------------------------------------
# The parts of a shell link (.lnk) a shortcut check needs: LNK_TARGET (the local base path, in
# the ANSI code page, taken as 1252), LNK_WORKDIR, LNK_ICON and LNK_ICON_INDEX. False when the
# file is no link.
LNK_TARGET=
LNK_WORKDIR=
LNK_ICON=
LNK_ICON_INDEX=
le() {  # file offset bytes
  od -An -tu"$3" -j"$2" -N"$3" "$1" 2>/dev/null | tr -d ' '
}
lnk_utf16() {  # file offset characters
  tail -c +$(($2 + 1)) "$1" | head -c $((2 * $3)) | iconv -f UTF-16LE -t UTF-8 2>/dev/null |
    tr -d '\0'
}
read_lnk() {  # file
  local f=$1 flags pos info base count bit field
  LNK_TARGET=
  LNK_WORKDIR=
  LNK_ICON=
  LNK_ICON_INDEX=
  [[ $(le "$f" 0 4) == 76 ]] || return 1
  flags=$(le "$f" 20 4)
  LNK_ICON_INDEX=$(le "$f" 56 4)
  pos=76
  ((flags & 1)) && pos=$((pos + 2 + $(le "$f" 76 2)))  # target ID list
  if ((flags & 2)); then                                # link info
    info=$pos
    if (($(le "$f" $((info + 8)) 4) & 1)); then
      base=$(le "$f" $((info + 16)) 4)
      LNK_TARGET=$(tail -c +$((info + base + 1)) "$f" | head -c 1024 | tr '\0' '\n' |
        head -n 1 | iconv -c -f CP1252 -t UTF-8)
    fi
    pos=$((pos + $(le "$f" "$info" 4)))
  fi
  # Strings, each a count of characters then UTF-16 (flag 0x80): name, relative path, working
  # folder, arguments, icon location, in that order when present.
  for bit in 2 3 4 5 6; do
    ((flags & (1 << bit))) || continue
    count=$(le "$f" "$pos" 2)
    field=$(lnk_utf16 "$f" $((pos + 2)) "$count")
    pos=$((pos + 2 + 2 * count))
    case $bit in
      4) LNK_WORKDIR=$field ;;
      6) LNK_ICON=$field ;;
    esac
  done
  return 0
}

# True when the shortcut's target is `path`. Wine writes the target in the ANSI code page only,
# where a character it lacks becomes another: each non-ASCII character of `path` matches any one.
target_is() {  # path
  local LC_ALL=C.UTF-8 pattern='' c i
  same_path "$LNK_TARGET" "$1" && return 0
  for ((i = 0; i < ${#1}; ++i)); do
    c=${1:i:1}
    if [[ $c == [[:ascii:]] ]]; then pattern+="\\${c,,}"; else pattern+='?'; fi
  done
  # shellcheck disable=SC2053  # the pattern is a glob on purpose
  [[ ${LNK_TARGET,,} == $pattern ]]
}

# LINK: the shortcut in `folder` (Windows path) whose target is `exe` (Windows path); empty when
# there is none.
LINK=
find_link() {  # folder exe
  local dir link
  LINK=
  dir=$(unix_path "$1")
  for link in "$dir"/*.lnk; do
    [[ -f $link ]] || continue
    read_lnk "$link" && target_is "$2" && LINK=$link && return 0
  done
  return 1
}

# Checks the shortcut of an install in `folder`: target, working folder, icon, name.
check_shortcut() {  # what folder install
  local exe="$3\\$EXE" name
  if ! find_link "$2" "$exe"; then
    fail "$1: a shortcut in $2 starts $exe" "none there does"
    return
  fi
  pass "$1: a shortcut in $2 starts the game"
  check "$1: the shortcut's bytes name $EXE" "$LINK" grep -qaF -- "$EXE" "$LINK"
  check "$1: the shortcut's working folder is the install folder" "got \"$LNK_WORKDIR\"" \
    same_path "$LNK_WORKDIR" "$3"
  if same_path "$LNK_ICON" "$exe" && [[ $LNK_ICON_INDEX == 0 ]]; then
    pass "$1: the shortcut's icon is the exe's first icon"
  else
    fail "$1: the shortcut's icon is the exe's first icon" "got \"$LNK_ICON\",$LNK_ICON_INDEX"
  fi
  # Named after the product; characters Windows refuses in file names are replaced or dropped.
  name=$(basename "$LINK" .lnk)
  if [[ $PRODUCT != *[\<\>:\"/\\\|?*]* ]]; then
    check_equal "$1: the shortcut is named after the product" "$name" "$PRODUCT"
  else
    echo "note: the shortcut of \"$PRODUCT\" is named \"$name\""
  fi
}

# --- Files ----------------------------------------------------------------------------------------
# The shipped files relative to SHIPPED (setup.exe aside), one a line; just the exe without it.
expected_files() {
  if [[ -z $SHIPPED ]]; then
    echo "$EXE"
    return
  fi
  (cd "$SHIPPED" && find . -type f -printf '%P\n') | while IFS= read -r rel; do
    [[ $(realpath -m "$SHIPPED/$rel") == "$SETUP" ]] || echo "$rel"
  done | sort
}
mapfile -t FILES < <(expected_files)
((${#FILES[@]} > 0)) || give_up "no shipped files in $SHIPPED"
[[ -n $SHIPPED ]] || echo "note: VEXA_SHIPPED_FOLDER is not set: only $EXE is checked of the files"

check_installed_files() {  # what install folder (Unix)
  local rel missing=() differ=()
  for rel in "${FILES[@]}" uninstall.exe; do
    if [[ ! -f $2/$rel ]]; then
      missing+=("$rel")
    elif [[ -n $SHIPPED && $rel != uninstall.exe ]] && ! cmp -s "$SHIPPED/$rel" "$2/$rel"; then
      differ+=("$rel")
    fi
  done
  check "$1: all ${#FILES[@]} shipped files and uninstall.exe are there" \
    "missing: ${missing[*]}" test ${#missing[@]} -eq 0
  [[ -z $SHIPPED ]] || check "$1: the installed files are the shipped bytes" \
    "differ: ${differ[*]}" test ${#differ[@]} -eq 0
}

# Waits until the uninstaller has finished: every installed file gone, and no program of this
# prefix left that is the uninstaller or the copy it runs from (~nsu*.tmp\Un_*.exe in %TEMP%) --
# the copy deletes the saves after the files, so the files alone say too little.
uninstaller_running() {
  local p cmd
  for p in /proc/[0-9]*; do
    grep -qzx -- "WINEPREFIX=$WINEPREFIX" "$p/environ" 2>/dev/null || continue
    cmd=$(tr '\0' ' ' <"$p/cmdline" 2>/dev/null)
    [[ ${cmd,,} == *'\uninstall.exe'* || $cmd == *'~nsu'* || $cmd == *'\Un_'*.exe* ]] && return 0
  done
  return 1
}
wait_uninstalled() {  # what install folder (Unix)
  local deadline=$((SECONDS + 90)) rel left
  while ((SECONDS < deadline)); do
    left=0
    for rel in "${FILES[@]}" uninstall.exe; do
      [[ -e $2/$rel ]] && left=$((left + 1))
    done
    ((left == 0)) && ! uninstaller_running && break
    sleep 0.2
  done
  if ((left == 0)); then
    pass "$1: every installed file is gone"
  else
    fail "$1: every installed file is gone" "$left still there after 90 s"
  fi
  uninstaller_running && fail "$1: the uninstaller ended" "still running after 90 s"
  # Folders of the shipped files, deepest first: gone unless something of the user's is in them.
  local folder
  while IFS= read -r folder; do
    [[ -d $2/$folder ]] && fail "$1: the shipped folder $folder is gone" "it is still there"
  done < <(printf '%s\n' "${FILES[@]}" | grep / | sed 's|/[^/]*$||' | sort -ru)
}

# --- Checks of one install ------------------------------------------------------------------------
INSTALL=      # the install folder, Windows path
INSTALL_UNIX=

check_install() {  # what root(HKCU|HKLM) expected parent folder (Windows) start menu (Windows)
  local what=$1 root=$2 parent=$3 menu=$4 kb_min=0 kb_max=0 rel size
  INSTALL=
  INSTALL_UNIX=
  if ! find_entry "$root"; then
    fail "$what: an Apps & features entry in $root is named \"$PRODUCT\"" \
      "none ($WORK/uninstall-$root.reg)"
    return 1
  fi
  pass "$what: the Apps & features entry is in $root (${ENTRY_KEY##*\\})"
  INSTALL=${ENTRY[InstallLocation]-}
  INSTALL_UNIX=$(unix_path "$INSTALL")
  if same_path "${INSTALL%\\*}" "$parent" && [[ -n $INSTALL_UNIX && -d $INSTALL_UNIX ]]; then
    pass "$what: InstallLocation is a folder in $parent"
  else
    fail "$what: InstallLocation is a folder in $parent" "got \"$INSTALL\""
    return 1
  fi
  check_installed_files "$what" "$INSTALL_UNIX"

  check_match "$what: DisplayVersion is a.b.c.d" "${ENTRY[DisplayVersion]-}" \
    '^[0-9]+\.[0-9]+\.[0-9]+\.[0-9]+$'
  check "$what: the entry names a Publisher" "no Publisher value" test -v 'ENTRY[Publisher]'
  check_equal "$what: DisplayIcon is the installed exe's first icon" "${ENTRY[DisplayIcon]-}" \
    "\"$INSTALL\\$EXE\",0"
  local mode=CurrentUser
  [[ $root == HKLM ]] && mode=AllUsers
  check_equal "$what: UninstallString" "${ENTRY[UninstallString]-}" \
    "\"$INSTALL\\uninstall.exe\" /$mode"
  check_equal "$what: QuietUninstallString" "${ENTRY[QuietUninstallString]-}" \
    "\"$INSTALL\\uninstall.exe\" /$mode /S"
  check_equal "$what: NoModify" "${ENTRY[NoModify]-}" 1
  check_equal "$what: NoRepair" "${ENTRY[NoRepair]-}" 1
  # EstimatedSize in KB: at least the files' total, at most each file rounded up to a whole KB.
  for rel in "${FILES[@]}"; do
    size=$(stat -c %s "$INSTALL_UNIX/$rel" 2>/dev/null || echo 0)
    kb_min=$((kb_min + size))
    kb_max=$((kb_max + (size + 1023) / 1024))
  done
  kb_min=$(((kb_min + 1023) / 1024))
  local estimated=${ENTRY[EstimatedSize]:-0}
  if [[ -z $SHIPPED ]]; then
    check "$what: EstimatedSize covers the exe" "$estimated KB for a $kb_min KB exe" \
      test "$estimated" -ge "$kb_min"
  elif ((estimated >= kb_min && estimated <= kb_max)); then
    pass "$what: EstimatedSize is the installed files' size ($estimated KB)"
  else
    fail "$what: EstimatedSize is the installed files' size" \
      "$estimated KB, expected $kb_min..$kb_max"
  fi
  local icon=${ENTRY[DisplayIcon]-}
  icon=${icon#\"}
  icon=$(unix_path "${icon%\",0}")
  check "$what: the installed exe is where DisplayIcon says" "no file $icon" test -f "$icon"
  check_shortcut "$what" "$menu" "$INSTALL"
  return 0
}

# --- The hook for the shipping test ---------------------------------------------------------------
# Starts the installed game through the run command (6th argument) the way the Start menu would:
# the shortcut's target from its working folder.
run_installed_game() {  # exe (Windows) working folder (Windows)
  [[ -n $RUN_COMMAND ]] || return 0
  local out=$WORK/run-installed-game.out dir
  dir=$(unix_path "$2")
  echo "== the run command: $RUN_COMMAND"
  if (cd "$dir" && exec timeout "${VEXA_RUN_TIMEOUT:-120}" bash -c "$RUN_COMMAND \"\$@\"" \
    run-installed-game "$1" "$(unix_path "$1")" "$2") </dev/null >"$out" 2>&1; then
    pass "the run command started the installed game from its shortcut"
  else
    fail "the run command started the installed game from its shortcut" \
      "exit status $? (output in $out)"
  fi
}

# ===============================================================================================
read_windows_environment || give_up "Wine did not tell the user's folders (see $LOG)"
LOCAL_PROGRAMS="${WINENV[LOCALAPPDATA]}\\Programs"
USER_MENU="${WINENV[APPDATA]}\\Microsoft\\Windows\\Start Menu\\Programs"
COMMON_MENU="${WINENV[ProgramData]:-C:\\ProgramData}\\Microsoft\\Windows\\Start Menu\\Programs"
DESKTOP="${WINENV[USERPROFILE]}\\Desktop"
SAVES_UNIX=$(unix_path "${WINENV[APPDATA]}\\$SAVES")
[[ -n $SAVES_UNIX ]] || give_up "%APPDATA% is not on drive C: or Z: (${WINENV[APPDATA]})"
# A desktop folder that is the Unix home folder (as wineboot links it) stays untouched.
PRIVATE_DESKTOP=0
[[ -d $(unix_path "$DESKTOP") && ! -L $(unix_path "$DESKTOP") ]] && PRIVATE_DESKTOP=1

# A product left installed by an earlier run would hide what this run's installer does; its
# removal is no check of this run.
for root in HKCU HKLM; do
  if find_entry "$root"; then
    echo "note: removing an earlier install of \"$PRODUCT\" ($root)"
    counts=("$PASSED" "$FAILED")
    run_uninstall_string "${ENTRY[QuietUninstallString]-}"
    wait_uninstalled "the earlier install" "$(unix_path "${ENTRY[InstallLocation]-}")" >/dev/null
    PASSED=${counts[0]}
    FAILED=${counts[1]}
  fi
done
rm -rf "$SAVES_UNIX"

echo "== 1. silent install for the current user"
check "setup.exe /S ends with status 0" "see $LOG" wine_run 180 "$SETUP" /S
if check_install "per user" HKCU "$LOCAL_PROGRAMS" "$USER_MENU"; then
  check "per user: no desktop shortcut without /DESKTOP" "one is in $DESKTOP" \
    not find_link "$DESKTOP" "$INSTALL\\$EXE"
  # The link's own spelling of its target is ANSI: the run command gets the path it matched.
  find_link "$USER_MENU" "$INSTALL\\$EXE" && run_installed_game "$INSTALL\\$EXE" "$LNK_WORKDIR"

  echo "== 2. silent uninstall keeps the saves and the user's own files"
  mkdir -p "$SAVES_UNIX"
  echo "a saved game" >"$SAVES_UNIX/vexa-e2e-save.dat"
  echo "the user's own notes" >"$INSTALL_UNIX/vexa-e2e-notes.txt"
  folder=$INSTALL_UNIX
  run_uninstall_string "${ENTRY[QuietUninstallString]}"
  wait_uninstalled "uninstall" "$folder"
  check "uninstall: the entry is gone" "still in HKCU" not find_entry HKCU
  check "uninstall: the shortcut is gone" "still in $USER_MENU" \
    not find_link "$USER_MENU" "$INSTALL\\$EXE"
  check "uninstall: the save stays" "$SAVES_UNIX/vexa-e2e-save.dat is gone" \
    test -f "$SAVES_UNIX/vexa-e2e-save.dat"
  check "uninstall: the user's own file stays" "$folder/vexa-e2e-notes.txt is gone" \
    test -f "$folder/vexa-e2e-notes.txt"
  rm -f "$folder/vexa-e2e-notes.txt"
  rmdir "$folder" 2>/dev/null
fi

echo "== 3. install again, uninstall with /DELETESAVES"
switches=(/S)
if ((PRIVATE_DESKTOP)); then
  switches+=(/DESKTOP)
else
  echo "note: the prefix's desktop is the home folder: /DESKTOP is not tried"
fi
check "setup.exe ${switches[*]} ends with status 0" "see $LOG" \
  wine_run 180 "$SETUP" "${switches[@]}"
if check "the second install made its entry" "none in HKCU" find_entry HKCU; then
  INSTALL=${ENTRY[InstallLocation]}
  folder=$(unix_path "$INSTALL")
  if ((PRIVATE_DESKTOP)); then
    check "/DESKTOP: a desktop shortcut starts the game" "none in $DESKTOP" \
      find_link "$DESKTOP" "$INSTALL\\$EXE"
  fi
  run_uninstall_string "${ENTRY[QuietUninstallString]}" /DELETESAVES
  wait_uninstalled "uninstall /DELETESAVES" "$folder"
  check "uninstall /DELETESAVES: the saves folder is gone" "$SAVES_UNIX is still there" \
    test ! -e "$SAVES_UNIX"
  check "uninstall /DELETESAVES: the entry is gone" "still in HKCU" not find_entry HKCU
  if ((PRIVATE_DESKTOP)); then
    check "uninstall /DELETESAVES: the desktop shortcut is gone" "still in $DESKTOP" \
      not find_link "$DESKTOP" "$INSTALL\\$EXE"
  fi
fi

echo "== 4. /AllUsers"
check "setup.exe /S /AllUsers ends with status 0" "see $LOG" wine_run 180 "$SETUP" /S /AllUsers
if check_install "all users" HKLM "${WINENV[ProgramFiles]}" "$COMMON_MENU"; then
  check "all users: no entry in HKCU" "one is there" not find_entry HKCU
  find_entry HKLM
  folder=$INSTALL_UNIX
  run_uninstall_string "${ENTRY[QuietUninstallString]}"
  wait_uninstalled "all users: uninstall" "$folder"
  check "all users: the install folder is gone" "$folder is still there" test ! -e "$folder"
  check "all users: the entry is gone" "still in HKLM" not find_entry HKLM
  check "all users: the shortcut is gone" "still in $COMMON_MENU" \
    not find_link "$COMMON_MENU" "$INSTALL\\$EXE"
fi

echo "e2e-installer: logs in $WORK"
echo "e2e-installer: $PASSED passed, $FAILED failed"
((FAILED == 0))
