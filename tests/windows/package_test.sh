#!/usr/bin/env bash
# The installed Windows package as a MinGW application sees it: install the
# build into a fresh prefix, build examples/ against it with the same
# toolchain (find_package(ocamera)), and grab one frame under Wine from a
# Linux ocamsim, with the DLL loaded from the package.
#   package_test.sh <build dir> <source dir> <ocamsim> <work dir> <wine>
set -euo pipefail
build=$1 source=$2 sim=$3 work=$4 wine=$5
rm -rf "$work"
mkdir -p "$work"
prefix=$work/prefix
for component in runtime development; do
  cmake --install "$build" --prefix "$prefix" --component "$component" --strip >/dev/null
done
for f in bin/libocamera.dll lib/libocamera.dll.a lib/cmake/ocamera/ocameraConfig.cmake include/ocamera/ocamera.h; do
  [ -f "$prefix/$f" ] || { echo "FAIL: the package lacks $f" >&2; exit 1; }
done
cmake -S "$source/examples" -B "$work/examples" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$source/cmake/mingw-w64.cmake" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/examples" >/dev/null
exe=$work/examples/grab_one.exe
[ -f "$exe" ] || exe=$work/examples/bin/grab_one.exe
# The package's DLL and nothing of the build tree.
export WINEPATH="$(winepath -w "$prefix/bin")"
"$source/tests/windows/with_simulator.sh" "$sim" \
  sh -c "'$wine' '$exe' \"\$OCAMERA_TEST_CAMERA\"" | tee "$work/out"
grep -q '^frame [0-9]*: 1310720 bytes, status 0' "$work/out" || { echo "FAIL: no full frame" >&2; exit 1; }
