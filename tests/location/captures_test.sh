#!/usr/bin/env bash
# One capture-style sentence file played through nmea-feeder at its
# receiver's baud rate and read with `location --gps-report`, as a user
# checks a receiver from a terminal.
#   captures_test.sh FILE FEEDER LOCATION PYTHON
# The file's "#!" lines say how: "feeder OPTIONS", "report OPTIONS", "exit
# STATUS" and "expect JSON" (every field of the report but the device). A
# receiver that gets a fix is switched on as the reader starts listening at
# its rate (--wait-for-reader --once), so that its first usable second, and
# so the site and time reported, are known; one that never does is played
# over and over, as a receiver talks whether anyone listens or not.
set -u
file="$1" feeder="$2" location="$3" python="$4"
header() { sed -n "s/^#! $1 //p" "$file" | tr -d '\r'; }
read -ra feed <<<"$(header feeder)"
read -ra report <<<"$(header report)"
status="$(header exit)"
want="$(header expect)"

work="$(mktemp -d)"
feeder_pid=""
cleanup() {
  [ -n "$feeder_pid" ] && kill "$feeder_pid" 2>/dev/null && wait "$feeder_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

"$feeder" "$file" --rate 40 "${feed[@]}" >"$work/feeder" 2>&1 </dev/null &
feeder_pid=$!
device=""
for _ in $(seq 50); do
  device="$(head -n1 "$work/feeder" 2>/dev/null)"
  [ -n "$device" ] && break
  sleep 0.1
done
[ -n "$device" ] || { echo "FAIL: the feeder printed no device" >&2; exit 1; }

"$location" --gps-report "$device" "${report[@]}" >"$work/out" 2>"$work/err"
got=$?
echo "exit status $got"; cat "$work/out" "$work/err"
[ "$got" -eq "$status" ] || { echo "FAIL: exit status $got, want $status" >&2; exit 1; }
"$python" - "$work/out" "$want" "$device" <<'PY'
import json, sys
report = json.loads(open(sys.argv[1]).read())  # one object and nothing else
want = dict(json.loads(sys.argv[2]), device=sys.argv[3])
def same(got, expected):
    if isinstance(expected, float):
        return type(got) in (int, float) and abs(got - expected) < 1e-7
    return type(got) is type(expected) and got == expected
wrong = [k for k in sorted(set(want) | set(report)) if not same(report.get(k), want.get(k))]
for k in wrong:
    print(f"FAIL: {k} is {report.get(k)!r}, want {want.get(k)!r}", file=sys.stderr)
sys.exit(1 if wrong else 0)
PY
