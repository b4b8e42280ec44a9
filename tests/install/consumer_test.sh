#!/usr/bin/env bash
# Installs the library into a temporary prefix and builds the consumer program
# outside the project against that prefix only: with pkg-config, and with the
# CMake package (shared and static). Each program must print the message it
# formats; the version must agree between pkg-config, the CMake package, the
# SONAME and `mvx info`; the installed library must export interface names only.
set -euo pipefail
build=$1 src=$2 version=$3 list=$4 pending=$5
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
cp "$src/tests/install/consumer.c" "$src/tests/install/CMakeLists.txt" "$work/"
pc=$(find "$prefix" -name mvx.pc)
libdir=$(dirname "$(dirname "$pc")")
expected="libmvx $version: Invalid size = 0"
fail() { echo "FAILED: $*"; exit 1; }

export PKG_CONFIG_PATH=$(dirname "$pc")
[ "$(pkg-config --modversion mvx)" = "$version" ] || fail "pkg-config version"
cc -Wall -Werror -o "$work/consumer_pc" "$work/consumer.c" $(pkg-config --cflags --libs mvx) \
   -Wl,-rpath,"$libdir"
[ "$("$work/consumer_pc")" = "$expected" ] || fail "pkg-config consumer printed $("$work/consumer_pc")"

cmake -S "$work" -B "$work/b" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/b" >/dev/null
for exe in consumer_cmake consumer_static; do
  [ "$("$work/b/$exe")" = "$expected" ] || fail "$exe printed $("$work/b/$exe")"
done
grep -q "PACKAGE_VERSION \"$version\"" "$libdir/cmake/mvx/mvxConfigVersion.cmake" \
  || fail "CMake package version"
soname=$(readelf -d "$libdir/libmvx.so" | sed -n 's/.*SONAME.*\[\(.*\)\]/\1/p')
[ "$soname" = "libmvx.so.${version%%.*}" ] || fail "SONAME $soname"
[ "$("$prefix/bin/mvx" info | sed -n 4p)" = "libmvx $version" ] || fail "mvx info version"
"$src/tests/check_exports.sh" "$libdir/libmvx.so" "$list" "$pending"
echo "installed consumers built and ran"
