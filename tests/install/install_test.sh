#!/usr/bin/env bash
# Installs a build of the library into a fresh prefix, builds the example
# against that prefix (CMake package and pkg-config), and lets both builds grab
# one frame from an ocamsim process on the loopback.
#   install_test.sh <build dir> <examples dir> <ocamsim> <work dir> <c++ compiler>
set -euo pipefail
build=$1 examples=$2 ocamsim=$3 work=$4 cxx=$5

rm -rf "$work"
mkdir -p "$work"
prefix=$work/prefix
sim_pid=
cleanup() { if [ -n "$sim_pid" ]; then kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true; fi; }
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

echo "--- install into $prefix"
# The library's own components: the shared library, headers and package files.
for component in runtime development; do
  cmake --install "$build" --prefix "$prefix" --component "$component" >/dev/null
done

# The exported headers stand on their own: nothing of Boost, gSOAP or the
# library's private layers.
if grep -nE '#include *[<"](boost/|stdsoap2|ocamH|support/|protocol/|remote/)' "$prefix"/include/ocamera/*.h; then
  fail "an installed header includes a private dependency"
fi
[ -f "$prefix/include/ocamera/ocamera.h" ] || fail "no umbrella header"
# The service definitions for other SOAP clients.
for f in DeviceManager.wsdl vdx.wsdl vdx_inputs.wsdl vdx_outputs.wsdl vdx_leds.wsdl scam.xsd; do
  grep -q 'targetNamespace' "$prefix/share/ocamera/wsdl/$f" || fail "no service definition $f"
done

echo "--- CMake package"
cmake -S "$examples" -B "$work/cmake-build" -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$work/cmake-build" >/dev/null
# Only the library itself is linked in.
needed=$(readelf -d "$work/cmake-build/grab_one" | grep NEEDED || true)
echo "$needed" | grep -q 'libocamera.so.0' || fail "grab_one does not need libocamera.so.0"
if echo "$needed" | grep -qE 'gsoap|boost'; then fail "grab_one links gSOAP or Boost itself"; fi

echo "--- pkg-config"
export PKG_CONFIG_PATH=$prefix/lib/pkgconfig
flags=$(pkg-config --cflags --libs ocamera)
# A static link needs what libocamera links itself.
static=$(pkg-config --static --libs ocamera)
for lib in -lgsoap++ -lboost_thread; do
  grep -qe "$lib" <<<"$static" || fail "pkg-config --static does not list $lib: $static"
done
[ -d "$(pkg-config --variable=wsdldir ocamera)" ] || fail "pkg-config names no wsdldir"
# shellcheck disable=SC2086
"$cxx" -std=c++17 -o "$work/grab_one_pc" "$examples/grab_one.cpp" $flags
# As docs/install.md says: a run path to the prefix's libdir, instead of LD_LIBRARY_PATH.
# shellcheck disable=SC2086
"$cxx" -std=c++17 -o "$work/grab_one_rpath" "$examples/grab_one.cpp" $flags \
  -Wl,-rpath,"$(pkg-config --variable=libdir ocamera)"

echo "--- tools"
# ocam and ocamsim with their manual pages and the bash completion, if built.
if [ -f "$build/cli/docs/stamp" ]; then
  cmake --install "$build" --prefix "$prefix" --component tools >/dev/null
  "$prefix/bin/ocam" --version | grep -q '^ocam ' || fail "installed ocam has no --version"
  for page in ocam ocam-grab ocam-wb ocamsim; do
    grep -q '^\.TH' "$prefix/share/man/man1/$page.1" || fail "no manual page $page.1"
  done
  bash -n "$prefix/share/bash-completion/completions/ocam" || fail "completion script broken"
fi

echo "--- simulator"
# ocamsim picks free ports and names them in its first line once it listens.
coproc SIM { exec "$ocamsim" --camera-port 0 --io-port 0 --width 320 --height 240 2>&1; }
sim_pid=$SIM_PID
line=
read -t 30 -r line <&"${SIM[0]}" || fail "ocamsim did not start: $line"
address=$(sed -n 's/^ocamsim: camera on \([^,]*\),.*/\1/p' <<<"$line")
[ -n "$address" ] || fail "ocamsim said: $line"

echo "--- grab"
"$work/cmake-build/grab_one" "$address" || fail "grab_one (CMake package) failed"
LD_LIBRARY_PATH=$prefix/lib "$work/grab_one_pc" "$address" ||
  fail "grab_one (pkg-config) failed"
env -u LD_LIBRARY_PATH "$work/grab_one_rpath" "$address" ||
  fail "grab_one (pkg-config with a run path) failed"
echo "PASS"
