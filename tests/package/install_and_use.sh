#!/bin/sh
# Installs the library into a fresh prefix, then builds and runs a small C
# host against the installed tree twice: found with find_package(Sidera)
# and found with pkg-config.
# Usage: install_and_use.sh <cmake> <build-dir> <host-source-dir> <c-compiler> <generator>
set -eu
cmake=$1
build=$2
host_src=$3
cc=$4
generator=$5

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

"$cmake" --install "$build" --prefix "$prefix" --component Sidera

test -f "$prefix/include/sidera.h" || { echo "missing $prefix/include/sidera.h" >&2; exit 1; }
libdir=$(dirname "$(find "$prefix" -name 'libsidera.so' | head -n 1)")
test -n "$libdir" || { echo "libsidera.so not installed" >&2; exit 1; }
# The development link, the SONAME link and the versioned file.
soname=$(objdump -p "$libdir/libsidera.so" | awk '$1 == "SONAME" { print $2 }')
test -n "$soname" || { echo "libsidera.so has no SONAME" >&2; exit 1; }
test -e "$libdir/$soname" || { echo "missing $libdir/$soname" >&2; exit 1; }

# With find_package.
"$cmake" -S "$host_src" -B "$work/host-cmake" -G "$generator" \
  -DCMAKE_C_COMPILER="$cc" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_BUILD_TYPE=Release
"$cmake" --build "$work/host-cmake"
LC_ALL=C "$work/host-cmake/sidera_host"

# With pkg-config.
pc_dir=$(dirname "$(find "$prefix" -name 'sidera.pc' | head -n 1)")
flags=$(PKG_CONFIG_PATH="$pc_dir" pkg-config --cflags --libs sidera)
# shellcheck disable=SC2086
"$cc" -std=c11 -Wall -Wextra -Werror -o "$work/sidera_host_pc" "$host_src/host.c" $flags -lm
LC_ALL=C LD_LIBRARY_PATH="$libdir" "$work/sidera_host_pc"
echo "installed package usable through find_package and pkg-config"
