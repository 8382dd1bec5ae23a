#!/usr/bin/env bash
# Smoke tests of the sidera program against the built library.
#   cli_smoke.sh CASE SIDERA PYTHON
# SIDERA_LIBRARY names the library; the language is English (LC_ALL=C).
set -u
sidera="$2"
python="$3"
out="$(mktemp)"
trap 'rm -f "$out"' EXIT

fail() {
  echo "FAIL ($1): $2" >&2
  cat "$out" >&2
  exit 1
}
# run STATUS ARGS...: runs the program into $out and checks its exit status.
run() {
  local want="$1"
  shift
  "$sidera" "$@" >"$out" 2>&1
  local got=$?
  [ "$got" -eq "$want" ] || fail "$*" "exit status $got, want $want"
}
line() { grep -Fxq -- "$1" "$out" || fail line "$1"; }
text() { grep -Fq -- "$1" "$out" || fail text "$1"; }

# A fixed instant and site at which Arcturus is well up and Antares is below
# the horizon (40.7 N, 74.0 W, 2026-03-20 04:00 UTC).
site=(--model 6 --lat 40.7 --lon -74.0 --elev 10 --utc 2026-03-20T04:00:00 --clock-scale 50)

case "$1" in
  models)
    run 0 models
    [ "$(wc -l <"$out")" -eq 12 ] || fail models "want exactly twelve lines"
    for name in "  0  Vexlor Alt/Az Mount" "  1  Vexlor EQ Mount" "  2  Qualen Alt/Az Mount" \
      "  3  Qualen EQ Mount" "  4  Brantel EQ-K Mount" "  5  Brantel Drifter Mount" \
      "  6  EQ Mount Simulator" "  7  Alt/Az Mount Simulator" \
      "  8  Vexlor Pathway-80 Alt/Az Mount" "  9  Vexlor Pathway-114 Alt/Az Mount" \
      " 10  Brantel Wayfarer-80 Alt/Az Mount" " 11  Brantel Wayfarer-114 Alt/Az Mount"; do
      line "$name"
    done
    # Names in the user's language come through as UTF-8.
    LC_ALL=zh_CN.UTF-8 run 0 models
    line "  6  仿真赤道仪"
    ;;
  sidereal)
    # J2000.0 (2000-01-01 12:00 UT): GMST 18.697374558 h = 280.46062 degrees;
    # at 74 W the local time is 74 degrees less.
    run 0 sidereal --utc 2000-01-01T12:00:00 --longitude -74
    text "Greenwich  18h41m50.5s  280.4606"
    text "Local      13h45m50.5s  206.4606"
    # 2026-03-20 18:30 UT: D = 9574.5 + 18.5/24 days after J2000.0, GMST =
    # 18.697374558 + 24.06570982441908 D (mod 24) = 6.386740 h = 95.80110 deg.
    run 0 --json sidereal --utc 2026-03-20T18:30:00 --longitude 10
    "$python" - "$out" <<'PY' || fail json "not one JSON value a line, or a wrong sidereal time"
import json, sys
rows = [json.loads(l) for l in open(sys.argv[1]) if l.strip()]
assert len(rows) == 1
assert abs(rows[0]["greenwichDegrees"] - 95.80110) < 5e-4
assert abs(rows[0]["localDegrees"] - 105.80110) < 5e-4
PY
    ;;
  run_goto_status)
    run 0 run "${site[@]}" -- goto Arcturus -- status
    text "Connected: EQ Mount Simulator (model 6, equatorial)"
    text "Arrived at Arcturus after"
    line "Mount     EQ Mount Simulator, tracking"
    # Arrival is within the goto tolerance of two arc-minutes.
    grep -q 'Dec +19°1[01]' "$out" || fail run "declination of Arcturus not shown"
    ;;
  run_below_horizon)
    # The mount refuses a target below its lower altitude limit (104).
    run 1 run "${site[@]}" -- goto Antares
    text "goto Antares: 104 Target position too low"
    ;;
  refusals)
    run 1 run --model 12 -- status
    text "connect: 1 Invalid mount ID"
    # A site the mount rejects is reported, not replaced by a default.
    run 1 run --model 6 --elev 9000 -- status
    text "site: 4 Invalid parameter/data"
    ;;
  *)
    fail "$1" "unknown case"
    ;;
esac
