#!/usr/bin/env bash
# Installs the Debian packages that `./run package` built with apt onto a
# fresh Debian 12 root made here (debootstrap, minbase; never the machine's
# own /usr), and uses them there as their users would: `sidera models`, the
# programs' --version and manual pages, the Alpaca server started as its
# service user with its unit's own command line, the INDI driver under
# indiserver, `location --gps-report` on an emulated GPS unit, the unit
# checked by systemd-analyze, and a small C host built against the -dev
# package with find_package(Sidera) and with pkg-config.
#
# Usage (as root): debian_install.sh DEB_DIR
#
# Kept between runs in $SIDERA_INSTALL_TEST_CACHE (/var/cache/sidera-install-test):
# debootstrap's and apt's package files, which both check against the
# archive's signed indexes before use, and the untouched minbase root as a
# tarball (see below). Each run's root is its own, and removed at the end,
# whatever happens.
set -euo pipefail

if [ "$#" -ne 1 ] || [ ! -d "$1" ]; then
  echo "usage: $0 DEB_DIR" >&2
  exit 2
fi
if [ "$(id -u)" -ne 0 ]; then
  echo "$0: needs root (debootstrap, chroot, mount)" >&2
  exit 2
fi
debs="$(cd "$1" && pwd)"
here="$(cd "$(dirname "$0")" && pwd)"
cache="${SIDERA_INSTALL_TEST_CACHE:-/var/cache/sidera-install-test}"
suite=bookworm
mkdir -p "$cache/debootstrap" "$cache/apt"

work="$(mktemp -d /var/tmp/sidera-install.XXXXXX)"
root="$work/root"
mounts=()

# Ends every process still running inside the root, unmounts what was
# mounted (lazily if a mount stays busy) and removes the root, on success,
# failure or interruption alike.
cleanup() {
  local status=$? pid m i
  for pid in /proc/[0-9]*; do
    [ "$(readlink "$pid/root" 2>/dev/null)" = "$root" ] && kill -KILL "${pid#/proc/}" 2>/dev/null
  done
  for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do
    m="${mounts[$i]}"
    if mountpoint -q "$m"; then umount "$m" 2>/dev/null || umount -l "$m"; fi
  done
  rm -rf --one-file-system "$work"
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

phase_start=$SECONDS
phase() {
  echo "--- $1 (after $((SECONDS - phase_start)) s)"
}
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
mount_in_root() {
  local target="$root$1"
  shift
  mount "$@" "$target"
  mounts+=("$target")
}
# Runs a command inside the root with a clean environment.
in_root() {
  chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LC_ALL=C.UTF-8 \
    DEBIAN_FRONTEND=noninteractive "$@"
}
# A TCP port that nothing on this machine listens on now (the root shares
# the machine's network).
free_port() {
  /usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}
# wait_for FILE TEXT SECONDS: until TEXT appears in FILE.
wait_for() {
  local i
  for ((i = 0; i < $3 * 5; i++)); do
    grep -Fq -- "$2" "$1" 2>/dev/null && return 0
    sleep 0.2
  done
  return 1
}

# The root as debootstrap leaves it, before anything else touches it, is
# kept as a tarball for up to a week: each run unpacks a copy of its own in
# seconds instead of a minute or two, and apt brings what it installs up to
# date. It is written under a temporary name and renamed, so that a run
# never unpacks a part of one.
tarball="$cache/$suite-minbase.tar"
mkdir -p "$root"
# The root lives in memory when there is plenty (it grows to about 1 GB):
# unpacking is faster, and removing it at the end takes no time.
available_kb="$(awk '/^MemAvailable:/ { print $2 }' /proc/meminfo)"
if [ "${available_kb:-0}" -gt $((6 * 1024 * 1024)) ]; then
  mount -t tmpfs -o size=3g,mode=0755 sidera-install-root "$root"
  mounts+=("$root")
fi
if [ -n "$(find "$tarball" -mtime -7 2>/dev/null)" ]; then
  phase "a fresh $suite root from $tarball"
  tar --numeric-owner --xattrs -xpf "$tarball" -C "$root"
else
  phase "debootstrap --variant=minbase $suite"
  debootstrap --variant=minbase --cache-dir="$cache/debootstrap" "$suite" "$root" \
    >"$work/debootstrap.log" 2>&1 || {
    tail -n 30 "$work/debootstrap.log"
    fail "debootstrap"
  }
  tar --numeric-owner --xattrs -cpf "$tarball.$$" -C "$root" . && mv "$tarball.$$" "$tarball"
fi
# The same archive sections as the machine that built the packages (their
# dependencies may name versions from the updates).
cat >"$root/etc/apt/sources.list" <<EOF
deb http://deb.debian.org/debian $suite main
deb http://deb.debian.org/debian $suite-updates main
deb http://deb.debian.org/debian-security $suite-security main
EOF
# No service starts inside the root while packages install; a root thrown
# away afterwards needs neither dpkg's syncs nor man-db's index.
printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
chmod 755 "$root/usr/sbin/policy-rc.d"
echo force-unsafe-io >"$root/etc/dpkg/dpkg.cfg.d/sidera-install-test"
echo "man-db man-db/auto-update boolean false" | chroot "$root" debconf-set-selections
mount_in_root /proc -t proc proc
# A pseudo-terminal instance of the root's own, for the emulators.
mount_in_root /dev/pts -t devpts -o newinstance,ptmxmode=0666,mode=0620 devpts
mount_in_root /var/cache/apt/archives --bind "$cache/apt"

phase "apt-get install the packages"
mkdir -p "$root/tmp/debs"
find "$debs" -maxdepth 1 -name "*.deb" ! -name "*-dbgsym_*" -exec cp {} "$root/tmp/debs/" \;
in_root apt-get update -qq >"$work/apt.log" 2>&1 || {
  tail -n 30 "$work/apt.log"
  fail "apt-get update"
}
# Besides the packages: indiserver, man, systemd-analyze, and a compiler
# with CMake and pkg-config for the host built against the -dev package.
# shellcheck disable=SC2046
in_root apt-get install -y -q --no-install-recommends $(cd "$root" && ls tmp/debs/*.deb | sed 's|^|/|') \
  indi-bin man-db systemd cmake make gcc libc6-dev pkgconf >>"$work/apt.log" 2>&1 || {
  tail -n 40 "$work/apt.log"
  fail "apt-get install"
}
for p in libsidera1 libsidera-dev sidera-tools indi-sidera sidera-alpaca sidera-location; do
  in_root dpkg-query -W -f='${Status}\n' "$p" | grep -q "install ok installed" || fail "$p is not installed"
done

phase "the programs"
in_root sidera models >"$work/models" 2>&1 || { cat "$work/models"; fail "sidera models"; }
grep -Fq "EQ Mount Simulator" "$work/models" || { cat "$work/models"; fail "sidera models lists no simulator"; }
[ ! -e "$root/usr/lib/libsidera.so" ] || fail "a libsidera.so beside /usr/bin: the SONAME path is not what was tested"
version="$(in_root dpkg-query -W -f='${Version}' libsidera1)"
for program in sidera sidera-alpaca location packet-bus-emulator byte-command-emulator hex-command-emulator; do
  got="$(in_root "$program" --version 2>&1)" || fail "$program --version: $got"
  [ "$got" = "$program $version" ] || fail "$program --version says '$got', the package is $version"
  # Without a display (the root has none): help must still come.
  in_root "$program" --help >"$work/help" 2>&1 || { cat "$work/help"; fail "$program --help"; }
  in_root env MANWIDTH=80 man -P cat "$program" >"$work/man" 2>"$work/man.err" ||
    { cat "$work/man.err"; fail "man $program"; }
  # help2man's page: the program's name, and its --version in the footer.
  grep -Eq "^ *$program +- " "$work/man" && tail -n 1 "$work/man" | grep -Fq "$program $version" ||
    { cat "$work/man"; fail "the manual page of $program is not made from the program"; }
done

phase "the Alpaca service"
unit=/lib/systemd/system/sidera-alpaca.service
[ -f "$root$unit" ] || fail "no $unit"
in_root systemd-analyze verify "$unit" >"$work/verify" 2>&1 || { cat "$work/verify"; fail "systemd-analyze verify"; }
[ ! -s "$work/verify" ] || { cat "$work/verify"; fail "systemd-analyze verify complains"; }
user="$(sed -n 's/^User=//p' "$root$unit")"
group="$(sed -n 's/^Group=//p' "$root$unit")"
state="/var/lib/$(sed -n 's/^StateDirectory=//p' "$root$unit")"
in_root id -nG "$user" | grep -qw dialout || fail "$user is not in dialout"
# The administrator's settings: a free port; no UDP discovery, whose fixed
# port other servers on this machine may be using.
port="$(free_port)"
sed -i -e "s/^SIDERA_ALPACA_PORT=.*/SIDERA_ALPACA_PORT=$port/" \
  -e "s/^SIDERA_ALPACA_DISCOVERY_PORT=.*/SIDERA_ALPACA_DISCOVERY_PORT=0/" \
  "$root/etc/default/sidera-alpaca"
# As systemd starts it: the state folder made for the user, the unit's
# Environment= lines, then its EnvironmentFile, then ExecStart expanded by
# the shell as systemd expands it (${X} one word, $X split on blanks).
install -d -o "$(in_root id -u "$user")" -g "$(in_root id -g "$user")" "$root$state"
environment="$(sed -n 's/^Environment=//p' "$root$unit" | tr '\n' ' ')"
env_file="$(sed -n 's/^EnvironmentFile=-\{0,1\}//p' "$root$unit")"
command="$(sed -n 's/^ExecStart=//p' "$root$unit")"
in_root /bin/sh -c "cd '$state' && set -a && export $environment && . '$env_file' && set +a &&
  exec setpriv --reuid='$user' --regid='$group' --init-groups -- $command" \
  >"$work/alpaca.log" 2>&1 &
alpaca=$!
wait_for "$work/alpaca.log" "serving ASCOM Alpaca" 30 || { cat "$work/alpaca.log"; fail "the server did not start"; }
grep -Fq "this computer only" "$work/alpaca.log" || { cat "$work/alpaca.log"; fail "the server does not serve loopback only"; }
# The background job is the server itself, or the shell that started it.
server_pid="$(pgrep -P "$alpaca" -x sidera-alpaca || echo "$alpaca")"
[ "$(cat "/proc/$server_pid/comm")" = sidera-alpaca ] || fail "cannot find the server's process"
[ "$(awk '/^Uid:/ { print $2 }' "/proc/$server_pid/status")" = "$(in_root id -u "$user")" ] ||
  fail "the server does not run as $user"
in_root /bin/bash -c "exec 3<>/dev/tcp/127.0.0.1/$port &&
  printf 'GET /management/apiversions HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n' >&3 && cat <&3" \
  >"$work/apiversions" 2>&1 || { cat "$work/apiversions"; fail "no answer on port $port"; }
grep -q '"Value": *\[ *1 *\]' "$work/apiversions" || { cat "$work/apiversions"; fail "/management/apiversions"; }
kill -TERM "$server_pid"
wait "$alpaca" || { cat "$work/alpaca.log"; fail "the server did not end cleanly on SIGTERM"; }

phase "the INDI driver"
grep -Fq "<driver name=\"Sidera Mount\">indi_sidera_telescope</driver>" \
  "$root/usr/share/indi/indi_sidera_telescope.xml" || fail "no driver entry in /usr/share/indi"
indi_port="$(free_port)"
in_root indiserver -p "$indi_port" -u /tmp/indi.sock indi_sidera_telescope >"$work/indi.log" 2>&1 &
found=""
for _ in 1 2 3 4 5 6; do
  if in_root indi_getprop -h 127.0.0.1 -p "$indi_port" -t 5 "Sidera Mount.CONNECTION.*" >"$work/getprop" 2>&1 &&
    grep -q "^Sidera Mount.CONNECTION.CONNECT=" "$work/getprop"; then
    found=1
    break
  fi
  sleep 1
done
[ -n "$found" ] || { cat "$work/indi.log" "$work/getprop"; fail "the device Sidera Mount did not appear"; }

phase "location --gps-report"
in_root packet-bus-emulator --gps 46.5,7.25 >"$work/gps-emulator.log" 2>&1 &
wait_for "$work/gps-emulator.log" "/dev/" 10 || { cat "$work/gps-emulator.log"; fail "the emulator did not start"; }
device="$(head -n 1 "$work/gps-emulator.log")"
in_root location --gps-report "$device" --seconds 30 >"$work/gps-report" 2>&1 ||
  { cat "$work/gps-report"; fail "location --gps-report $device"; }
grep -Eq '"usable_fix": *true' "$work/gps-report" && grep -Eq '"latitude": *46\.(5|49)' "$work/gps-report" ||
  { cat "$work/gps-report"; fail "the report has not the emulated position"; }

phase "a host built against libsidera-dev"
cp -r "$here/host" "$root/tmp/host"
in_root /bin/sh -c 'cmake -S /tmp/host -B /tmp/host-cmake -DCMAKE_BUILD_TYPE=Release &&
  cmake --build /tmp/host-cmake && /tmp/host-cmake/sidera_host' >"$work/host.log" 2>&1 ||
  { cat "$work/host.log"; fail "find_package(Sidera)"; }
in_root /bin/sh -c 'cc -std=c11 -Wall -Wextra -Werror -o /tmp/host-pc /tmp/host/host.c \
  $(pkg-config --cflags --libs sidera) -lm && /tmp/host-pc' >"$work/host-pc.log" 2>&1 ||
  { cat "$work/host-pc.log"; fail "pkg-config sidera"; }

phase "done"
echo "the packages install and work on a fresh Debian 12 root"
