#!/usr/bin/env bash
# Installs what building and testing need on Debian 12 (bookworm): the MinGW-w64 i686 and x86_64
# compilers and zlib for them, 32-bit and 64-bit Wine (32-bit Wine installs on every machine, even
# one that cannot start 32-bit programs; scripts/wine-env.sh finds out at run time which runs), an
# X server for windows under test (Xvfb, xdotool, ImageMagick), PulseAudio for the mixer tests and
# the shipping tools (NSIS, osslsigncode, icoutils, OpenSSL, zip). Idempotent: returns at once when everything is there.
# Needs root (or sudo) only when something must be installed.
set -euo pipefail

# "package|check": the check is a command name, or an absolute path that must exist.
REQUIRED=(
  "cmake|cmake"
  "ninja-build|ninja"
  "g++|g++"
  "clang|clang++"
  "libgtest-dev|/usr/src/googletest/CMakeLists.txt"
  "libbenchmark-dev|/usr/include/benchmark/benchmark.h"
  "zlib1g-dev|/usr/include/zlib.h"
  "wine|wine"
  "wine64|/usr/lib/wine/wine64"
  "wine32:i386|/usr/lib/wine/wine"
  "g++-mingw-w64-i686-posix|i686-w64-mingw32-g++-posix"
  "g++-mingw-w64-x86-64-posix|x86_64-w64-mingw32-g++-posix"
  "libz-mingw-w64-dev|/usr/i686-w64-mingw32/lib/libz.a"
  "libz-mingw-w64-dev|/usr/x86_64-w64-mingw32/lib/libz.a"
  "xvfb|Xvfb"
  "xauth|xauth"
  "xdotool|xdotool"
  "imagemagick|import"
  "x11-xserver-utils|xset"
  "pulseaudio|pulseaudio"
  "pulseaudio-utils|pactl"
  "nsis|makensis"
  "osslsigncode|osslsigncode"
  "icoutils|wrestool"
  "openssl|openssl"
  "zip|zip"
  "unzip|unzip"
)

missing=()
for entry in "${REQUIRED[@]}"; do
  package=${entry%%|*}
  check=${entry#*|}
  if [[ $check == /* ]]; then
    [[ -e $check ]] && continue
  else
    command -v "$check" >/dev/null 2>&1 && continue
  fi
  [[ " ${missing[*]} " == *" $package "* ]] || missing+=("$package")
done

# VEXA_SETUP_FORCE=1 runs the install of every package anyway (to check this script itself).
if [[ ${VEXA_SETUP_FORCE:-0} == 1 ]]; then
  missing=()
  for entry in "${REQUIRED[@]}"; do
    [[ " ${missing[*]} " == *" ${entry%%|*} "* ]] || missing+=("${entry%%|*}")
  done
fi

if ((${#missing[@]} == 0)); then
  echo "setup: all tools present"
  exit 0
fi

echo "setup: installing ${missing[*]}"
SUDO=()
if ((EUID != 0)); then
  command -v sudo >/dev/null 2>&1 || { echo "setup: need root (or sudo) to install" >&2; exit 1; }
  SUDO=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
# Wait for another apt/dpkg run instead of failing on its lock.
APT=("${SUDO[@]}" apt-get -o DPkg::Lock::Timeout=900)

if [[ " ${missing[*]} " == *":i386 "* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  "${SUDO[@]}" dpkg --add-architecture i386
fi
# The mirror's i386 security index can fail its size check ("Mirror sync in progress?"); the
# packages needed here come from the main suite, so a partly failed update is good enough.
"${APT[@]}" update || echo "setup: apt-get update reported errors; continuing"
# -t bookworm keeps amd64 and i386 versions of shared libraries in step (otherwise apt reports
# held broken packages for wine32).
"${APT[@]}" install -y --no-install-recommends -t bookworm "${missing[@]}"

# Check again: a package that installed but does not provide the tool is a failure here, not later.
for entry in "${REQUIRED[@]}"; do
  check=${entry#*|}
  if [[ $check == /* ]]; then
    [[ -e $check ]] || { echo "setup: still missing $check" >&2; exit 1; }
  else
    command -v "$check" >/dev/null 2>&1 || { echo "setup: still missing $check" >&2; exit 1; }
  fi
done
echo "setup: done"
