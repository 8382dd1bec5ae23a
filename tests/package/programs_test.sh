#!/usr/bin/env bash
# What every installed program shares: --version prints "NAME VERSION" and
# --help answers without a display (the manual pages are made from both),
# and `sidera` finds the library beside itself in a build tree and by its
# SONAME through the system's loader once installed.
# Usage: programs_test.sh VERSION SIDERA LIBRARY PROGRAM...
set -u
version="$1"
sidera="$2"
library="$3"
shift 3
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM SIDERA_LIBRARY
export LC_ALL=C

for program in "$sidera" "$@"; do
  name="$(basename "$program")"
  got="$("$program" --version 2>&1)" || fail "$name --version exits $?"
  [ "$got" = "$name $version" ] || fail "$name --version says '$got', want '$name $version'"
  "$program" --help >"$work/help" 2>&1 || fail "$name --help exits $? without a display"
  [ -s "$work/help" ] || fail "$name --help prints nothing"
done

# In the build tree: ../lib/libsidera.so beside the program.
"$sidera" models >"$work/out" 2>&1 || fail "sidera models in the build tree: $(cat "$work/out")"
# Installed: no ../lib beside it, the library found by its SONAME.
soname="$(objdump -p "$library" | awk '$1 == "SONAME" { print $2 }')"
mkdir -p "$work/bin" "$work/system"
cp "$sidera" "$work/bin/sidera"
cp "$library" "$work/system/$soname"
LD_LIBRARY_PATH="$work/system" "$work/bin/sidera" models >"$work/out" 2>&1 ||
  fail "sidera models with $soname on the loader's path: $(cat "$work/out")"
grep -Fq "EQ Mount Simulator" "$work/out" || fail "sidera models by SONAME lists no simulator"
if "$work/bin/sidera" models >"$work/out" 2>&1; then
  fail "sidera models ran without any library to load"
fi
grep -Fq "$soname" "$work/out" || fail "the message of a missing library does not name $soname: $(cat "$work/out")"

exit $((failures > 0))
