#!/usr/bin/env bash
# The capture-style sentence files in captures/, each played through
# nmea-feeder at its receiver's baud rate and read with
# `location --gps-report`, as a user checks a receiver from a terminal.
#   captures_test.sh CASE FEEDER LOCATION PYTHON
# Each case: the file, its receiver's rate, how it is played, the report's
# time limit, the exit status, and the report (every field but the device).
# A receiver that gets a fix is switched on as the reader starts listening
# at its rate (--wait-for-reader --once), so that the first usable second,
# and so the site and time reported, are known; one that never does is
# played over and over, as a receiver talks whether anyone listens or not.
set -u
name="$1" feeder="$2" location="$3" python="$4"
captures="$(dirname "$0")/captures"
once=(--wait-for-reader --once)
case "$name" in
  gn_multi_gnss)
    file=gn_multi_gnss_nmea411.nmea baud=9600 play=("${once[@]}") seconds=20 status=0
    want='{"receiver":"nmea","rate":9600,"talker":"GN","satellites":9,"usable_fix":true,
           "latitude":47.37688333,"longitude":8.54168333,"elevation":408.2,
           "utc":"2023-08-14T21:03:12Z"}' ;;
  mtk_cold_start)
    file=mtk_cold_start.nmea baud=9600 play=("${once[@]}") seconds=20 status=0
    want='{"receiver":"nmea","rate":9600,"talker":"GP","satellites":5,"usable_fix":true,
           "latitude":25.033,"longitude":121.5654,"elevation":9.5,
           "utc":"2012-11-03T14:22:41Z"}' ;;
  garmin_crlf)
    file=garmin_pgrm_crlf.nmea baud=4800 play=("${once[@]}") seconds=20 status=0
    want='{"receiver":"nmea","rate":4800,"talker":"GP","satellites":7,"usable_fix":true,
           "latitude":35.1983,"longitude":-111.6513,"elevation":2106.0,
           "utc":"2007-04-15T03:27:09Z"}' ;;
  skytraq_banner)
    file=skytraq_banner.nmea baud=9600 play=("${once[@]}") seconds=20 status=0
    want='{"receiver":"nmea","rate":9600,"talker":"GP","satellites":6,"usable_fix":true,
           "latitude":-31.2739,"longitude":149.0701,"elevation":1165.0,
           "utc":"2016-12-31T23:59:59Z"}' ;;
  southern_western)
    file=sirf_southern_western.nmea baud=4800 play=("${once[@]}") seconds=20 status=0
    want='{"receiver":"nmea","rate":4800,"talker":"GP","satellites":5,"usable_fix":true,
           "latitude":-30.169,"longitude":-70.8063,"elevation":2207.0,
           "utc":"2001-09-27T06:12:44Z"}' ;;
  no_fix)
    file=no_fix_impossible_dates.nmea baud=2400 play=() seconds=6 status=1
    want='{"receiver":"nmea","rate":2400,"talker":"GP","satellites":0,"usable_fix":false,
           "latitude":null,"longitude":null,"elevation":null,"utc":null}' ;;
  simulator)
    file=simulator_mode.nmea baud=9600 play=() seconds=4 status=1
    want='{"receiver":"nmea","rate":9600,"talker":"GN","satellites":12,"usable_fix":false,
           "latitude":null,"longitude":null,"elevation":null,"utc":null}' ;;
  *)
    echo "unknown case $name" >&2
    exit 2 ;;
esac

work="$(mktemp -d)"
feeder_pid=""
cleanup() {
  [ -n "$feeder_pid" ] && kill "$feeder_pid" 2>/dev/null && wait "$feeder_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

"$feeder" "$captures/$file" --baud "$baud" --rate 40 "${play[@]}" >"$work/feeder" 2>&1 </dev/null &
feeder_pid=$!
device=""
for _ in $(seq 50); do
  device="$(head -n1 "$work/feeder" 2>/dev/null)"
  [ -n "$device" ] && break
  sleep 0.1
done
[ -n "$device" ] || { echo "FAIL: the feeder printed no device" >&2; exit 1; }

"$location" --gps-report "$device" --seconds "$seconds" >"$work/out" 2>"$work/err"
got=$?
echo "exit status $got"; cat "$work/out" "$work/err"
[ "$got" -eq "$status" ] || { echo "FAIL: exit status $got, want $status" >&2; exit 1; }
"$python" - "$work/out" "$want" "$device" <<'PY' || exit 1
import json, sys
report = json.loads(open(sys.argv[1]).read())  # one object and nothing else
want = json.loads(sys.argv[2])
want["device"] = sys.argv[3]
def same(got, expected):
    if isinstance(expected, float):
        return isinstance(got, (int, float)) and not isinstance(got, bool) and abs(got - expected) < 1e-7
    return type(got) is type(expected) and got == expected
wrong = [k for k in sorted(set(want) | set(report)) if not same(report.get(k), want.get(k))]
for k in wrong:
    print(f"FAIL: {k} is {report.get(k)!r}, want {want.get(k)!r}", file=sys.stderr)
sys.exit(1 if wrong else 0)
PY
