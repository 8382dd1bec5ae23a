#!/usr/bin/env bash
# Smoke tests of the sidera program against the built library.
#   cli_smoke.sh CASE SIDERA JSON_CHECK
# SIDERA_LIBRARY names the library; the language is English (LC_ALL=C).
set -u
case_name="$1"
sidera="$2"
json_check="$3"
out="$(mktemp)"
trap 'rm -f "$out"' EXIT

fail() {
  echo "FAIL ($case_name): $*" >&2
  echo "--- output:" >&2
  cat "$out" >&2
  exit 1
}

# expect_line TEXT: the output has a line exactly equal to TEXT.
expect_line() { grep -Fxq -- "$1" "$out" || fail "missing line: $1"; }
# expect_text TEXT: the output contains TEXT somewhere.
expect_text() { grep -Fq -- "$1" "$out" || fail "missing text: $1"; }
# expect_status WANT GOT
expect_status() { [ "$2" -eq "$1" ] || fail "exit status $2, want $1"; }
# expect_json_near KEY VALUE TOLERANCE: a "KEY":number in the output is within TOLERANCE.
expect_json_near() {
  local got
  got="$(grep -o "\"$1\":[-0-9.eE+]*" "$out" | head -n1 | cut -d: -f2)"
  [ -n "$got" ] || fail "no number for $1"
  awk -v g="$got" -v w="$2" -v t="$3" 'BEGIN { d = g - w; if (d < 0) d = -d; exit !(d <= t) }' ||
    fail "$1 is $got, want $2 +- $3"
}
check_json() { "$json_check" <"$out" || fail "output is not JSON lines"; }

# A fixed instant and site at which Arcturus is well up and Antares is below
# the horizon (40.7 N, 74.0 W, 2026-03-20 04:00 UTC: Arcturus at about 42
# degrees in the east).
site=(--model 6 --lat 40.7 --lon -74.0 --elev 10 --utc 2026-03-20T04:00:00 --clock-scale 50)

case "$case_name" in
  models)
    "$sidera" models >"$out" 2>&1
    expect_status 0 $?
    expected=(
      "  0  Vexlor Alt/Az Mount" "  1  Vexlor EQ Mount" "  2  Qualen Alt/Az Mount"
      "  3  Qualen EQ Mount" "  4  Brantel EQ-K Mount" "  5  Brantel Drifter Mount"
      "  6  EQ Mount Simulator" "  7  Alt/Az Mount Simulator"
      "  8  Vexlor Pathway-80 Alt/Az Mount" "  9  Vexlor Pathway-114 Alt/Az Mount"
      " 10  Brantel Wayfarer-80 Alt/Az Mount" " 11  Brantel Wayfarer-114 Alt/Az Mount")
    [ "$(wc -l <"$out")" -eq 12 ] || fail "want exactly twelve lines"
    for line in "${expected[@]}"; do expect_line "$line"; done
    # The names in the user's language come through as UTF-8.
    LC_ALL=zh_CN.UTF-8 "$sidera" models >"$out" 2>&1
    expect_line "  6  仿真赤道仪"
    LC_ALL=zh_TW.UTF-8 "$sidera" models >"$out" 2>&1
    expect_line "  1  Vexlor 赤道儀"
    ;;
  models_json)
    "$sidera" --json models >"$out" 2>&1
    expect_status 0 $?
    check_json
    expect_text '{"id":6,"name":"EQ Mount Simulator"}'
    expect_text '{"id":11,"name":"Brantel Wayfarer-114 Alt/Az Mount"}'
    ;;
  message)
    "$sidera" message 105 >"$out" 2>&1
    expect_status 0 $?
    expect_line "105: User interrupt"
    "$sidera" message 400 >"$out" 2>&1
    expect_line "400: The saved alignment data is invalid or not for this telescope mount."
    # Code 0 and unknown codes share the unknown-code text.
    "$sidera" message 0 >"$out" 2>&1
    expect_line "0: Unknown error ID"
    "$sidera" message -7 >"$out" 2>&1
    expect_line "-7: Unknown error ID"
    ;;
  message_json)
    "$sidera" message 3 --json >"$out" 2>&1
    expect_status 0 $?
    check_json
    expect_text '"message":"Haven'"'"'t connecte to a telescope"'
    ;;
  sidereal)
    # J2000.0 (2000-01-01 12:00 UT): Greenwich mean sidereal time is
    # 18.697374558 h = 280.46062 degrees; at 74 W the local time is 74
    # degrees less.
    "$sidera" sidereal --utc 2000-01-01T12:00:00 --longitude -74 >"$out" 2>&1
    expect_status 0 $?
    expect_text "Greenwich  18h41m50.5s  280.4606"
    expect_text "Local      13h45m50.5s  206.4606"
    # 2026-03-20 18:30 UT: D = 9574.5 + 18.5/24 days after J2000.0, GMST =
    # 18.697374558 + 24.06570982441908 D (mod 24) = 6.386740 h = 95.80110 deg.
    "$sidera" --json sidereal --utc 2026-03-20T18:30:00 --longitude 10 >"$out" 2>&1
    expect_json_near greenwichDegrees 95.80110 0.0005
    expect_json_near localDegrees 105.80110 0.0005
    ;;
  sidereal_zone)
    # The same instant read from a clock in zone +8 with daylight saving
    # (21:00 on the wall) gives the same sidereal time.
    "$sidera" sidereal --utc 2000-01-01T12:00:00 --zone 8 --daylight >"$out" 2>&1
    expect_status 0 $?
    expect_text "2000-01-01T21:00:00.000 (zone 8.00, daylight saving)"
    expect_text "Greenwich  18h41m50.5s  280.4606"
    ;;
  sidereal_json)
    "$sidera" --json sidereal --utc 2000-01-01T12:00:00 >"$out" 2>&1
    expect_status 0 $?
    check_json
    expect_json_near greenwichHours 18.697374558 0.000002
    ;;
  usage_errors)
    "$sidera" sidereal --utc 2023-02-29T00:00:00 >"$out" 2>&1
    expect_status 2 $?
    "$sidera" message seven >"$out" 2>&1
    expect_status 2 $?
    "$sidera" run "${site[@]}" -- goto Nosuchstar >"$out" 2>&1
    expect_status 2 $?
    expect_text "unknown star 'Nosuchstar'"
    "$sidera" run --lat 95 -- status >"$out" 2>&1
    expect_status 2 $?
    # A site the mount rejects is reported, not replaced by a default.
    "$sidera" run --model 6 --elev 9000 -- status >"$out" 2>&1
    expect_status 1 $?
    expect_text "site: 4 Invalid parameter/data"
    SIDERA_LIBRARY=/nonexistent/libsidera.so "$sidera" models >"$out" 2>&1
    expect_status 1 $?
    expect_text "cannot load /nonexistent/libsidera.so"
    ;;
  run_goto_status)
    "$sidera" run "${site[@]}" -- goto Arcturus -- status >"$out" 2>&1
    expect_status 0 $?
    expect_text "Connected: EQ Mount Simulator (model 6, equatorial)"
    expect_text "Arrived at Arcturus after"
    expect_line "Mount     EQ Mount Simulator, tracking"
    expect_text "Target    Arcturus"
    # Arrival is within the goto tolerance of two arc-minutes.
    grep -q 'Dec +19°1[01]' "$out" || fail "declination of Arcturus not shown"
    ;;
  run_json)
    "$sidera" --json run "${site[@]}" -- goto Arcturus -- status >"$out" 2>&1
    expect_status 0 $?
    check_json
    expect_text '"step":"goto","result":0'
    expect_text '"mountStateName":"tracking"'
    # The error on arrival stays within the two arc-minute goto tolerance.
    err="$(grep -o '"errorArcsec":[-0-9.eE+]*' "$out" | cut -d: -f2)"
    awk -v e="$err" 'BEGIN { exit !(e >= 0 && e <= 120) }' || fail "errorArcsec $err"
    expect_json_near declination 19.1825 0.04
    ;;
  run_below_horizon)
    # The mount refuses a target below its lower altitude limit (104) and the
    # tool shows the library's text and fails.
    "$sidera" run "${site[@]}" -- goto Antares >"$out" 2>&1
    expect_status 1 $?
    expect_text "goto Antares: 104 Target position too low"
    ;;
  run_slew_sync)
    # A timed slew ends stopped; a sync then makes the stopped mount report
    # exactly the star's position, whatever it pointed at before.
    "$sidera" run "${site[@]}" -- slew ra 100 20 -- sync Arcturus -- status >"$out" 2>&1
    expect_status 0 $?
    expect_text "Axis 0 slewed at 100.00 x sidereal for 20 s, then stopped"
    expect_line "Mount     EQ Mount Simulator, stopped"
    grep -Eq "^Sky       RA 14h15m(39|40)\.[0-9]s  Dec \+19°10'57\"" "$out" ||
      fail "the synced position is not Arcturus"
    ;;
  run_bad_model)
    "$sidera" run --model 12 -- status >"$out" 2>&1
    expect_status 1 $?
    expect_text "connect: 1 Invalid mount ID"
    ;;
  shell_steps)
    printf '%s\n' "# a comment line" "goto 'Arcturus'" "bogus" "track 30" "quit" "status" |
      "$sidera" shell "${site[@]}" >"$out" 2>&1
    # The unknown step fails the exit status but the shell goes on; nothing
    # after quit runs.
    expect_status 1 $?
    expect_text "Arrived at Arcturus"
    expect_text "usage: steps:"
    expect_text "Tracked for 3"
    grep -q "^Mount " "$out" && fail "a step after quit ran"
    ;;
  *)
    echo "unknown case $case_name" >&2
    exit 2
    ;;
esac
exit 0
