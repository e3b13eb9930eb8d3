#!/usr/bin/env bash
# Checks the author's kit (scripts/kit.sh) as an author would use it: its layout and archive, and
# its own Linux vexaship shipping its own demo with its own runtime players and stand-ins, for both
# architectures. The shipped executables must be Release players (no Debug warning), valid images
# to objdump, and carry the demo's icon.
# Usage: check_kit.sh <kit folder>     (the archive is <kit folder>.zip)
set -uo pipefail
(($# == 1)) || { echo "usage: $0 <kit folder>" >&2; exit 2; }
KIT=$(realpath -m "$1")
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
PASSED=0
FAILED=0
pass() { echo "PASS: $1"; PASSED=$((PASSED + 1)); }
fail() { echo "FAIL: $1${2:+: $2}"; FAILED=$((FAILED + 1)); }

missing=()
for file in README.txt bin/linux-x86_64/vexaship bin/linux-x86_64/vexapak bin/linux-x86_64/vexasaves \
  bin/windows/vexaship.exe bin/windows/vexapak.exe bin/windows/vexasaves.exe \
  runtime/i686/vexa_player.exe runtime/x86_64/vexa_player.exe \
  standin/i686/vexa_standin.dll standin/x86_64/vexa_standin.dll docs/authoring.md \
  examples/demo/init.xml examples/demo.ico sdk/include/vexa/plugin.h; do
  [[ -f $KIT/$file ]] || missing+=("$file")
done
if ((${#missing[@]})); then fail "the kit's files" "missing ${missing[*]}"; else pass "the kit's files"; fi
if grep -q "Shipping your game" "$KIT/docs/authoring.md"; then pass "the guide has its shipping chapter"; else fail "the guide has its shipping chapter"; fi

if unzip -l "$KIT.zip" >"$WORK/zip.txt" 2>&1 &&
  grep -q "$(basename "$KIT")/runtime/x86_64/vexa_player.exe" "$WORK/zip.txt" &&
  grep -q "$(basename "$KIT")/bin/linux-x86_64/vexaship" "$WORK/zip.txt"; then
  pass "the kit's archive holds the kit"
else
  fail "the kit's archive holds the kit" "$(head -n 5 "$WORK/zip.txt")"
fi

# Unpacked from the archive, as an author gets it: the executable bits must survive.
(cd "$WORK" && unzip -q "$KIT.zip")
UNPACKED=$WORK/$(basename "$KIT")
for arch in i686 x86_64; do
  objdump=$arch-w64-mingw32-objdump
  out=$WORK/shipped-$arch
  if (cd "$UNPACKED" && bin/linux-x86_64/vexaship examples/demo --out "$out" --arch "$arch" \
    --plugin "standin/$arch/vexa_standin.dll" --icon examples/demo.ico --single-file --zip \
    >"$WORK/ship-$arch.txt" 2>&1); then
    pass "$arch: the kit's vexaship ships the kit's demo"
  else
    # The kit's demo carries the i686 example library: a 64-bit game refuses it, by design.
    if [[ $arch == x86_64 ]] && grep -q "vexa_sample.dll' is built for i686" "$WORK/ship-$arch.txt"; then
      rm "$UNPACKED/examples/demo/vexa_sample.dll"
      if (cd "$UNPACKED" && bin/linux-x86_64/vexaship examples/demo --out "$out" --arch "$arch" \
        --plugin "standin/$arch/vexa_standin.dll" --icon examples/demo.ico --single-file --zip \
        >"$WORK/ship-$arch.txt" 2>&1); then
        pass "$arch: the kit's vexaship ships the kit's demo (after refusing a 32-bit library)"
      else
        fail "$arch: the kit's vexaship ships the kit's demo" "$(tail -n 5 "$WORK/ship-$arch.txt")"
        continue
      fi
    else
      fail "$arch: the kit's vexaship ships the kit's demo" "$(tail -n 5 "$WORK/ship-$arch.txt")"
      continue
    fi
  fi
  exe=$out/VexaDemo/VexaDemo.exe
  if grep -q "Debug build" "$WORK/ship-$arch.txt"; then fail "$arch: the runtime player is a Release build"; else pass "$arch: the runtime player is a Release build"; fi
  if "$objdump" -p "$exe" >"$WORK/objdump-$arch.txt" 2>&1; then pass "$arch: objdump reads the shipped executable"; else fail "$arch: objdump reads the shipped executable" "$(tail -n 3 "$WORK/objdump-$arch.txt")"; fi
  if wrestool -l "$exe" 2>/dev/null | grep -q "VEXAPACKAGE"; then pass "$arch: the package is carried"; else fail "$arch: the package is carried"; fi
  [[ -f $out/VexaDemo-1.0.0.0.zip ]] && pass "$arch: the zip is written" || fail "$arch: the zip is written"
  echo "$arch: shipped executable $(stat -c %s "$exe") bytes"
done
echo "kit: $PASSED passed, $FAILED failed"
((FAILED == 0))
