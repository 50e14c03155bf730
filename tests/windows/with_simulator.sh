#!/usr/bin/env bash
# Runs a Windows test program (under Wine) against a Linux ocamsim on 127.0.0.1.
# The program finds the simulator in OCAMERA_TEST_CAMERA and OCAMERA_TEST_IO
# ("127.0.0.1:port"). A line "@@restart-simulator" on its standard output
# stops the simulator and starts a new one on the same ports; every other line
# is passed on.
#   with_simulator.sh <ocamsim> <command...>
set -euo pipefail
shopt -s lastpipe
sim=$1
shift
[ -x "$sim" ] || { echo "no simulator at $sim" >&2; exit 1; }
work=$(mktemp -d)
sim_pid=
stop_sim() {
  if [ -n "$sim_pid" ]; then
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
    sim_pid=
  fi
  exec 3<&- 2>/dev/null || true
}
trap 'stop_sim; rm -rf "$work"' EXIT

# Starts the simulator on <camera port> <io port> (0: free ones) and reads the
# addresses from its first line.
start_sim() {
  rm -f "$work/err"
  mkfifo "$work/err"
  timeout 600 "$sim" --bind 127.0.0.1 --camera-port "$1" --io-port "$2" 2>"$work/err" &
  sim_pid=$!
  exec 3<"$work/err"
  local line
  IFS= read -r -t 10 line <&3 || { echo "ocamsim did not start" >&2; exit 1; }
  [[ $line =~ camera\ on\ ([0-9.]+:[0-9]+),.*on\ ([0-9.]+:[0-9]+) ]] ||
    { echo "ocamsim: $line" >&2; exit 1; }
  export OCAMERA_TEST_CAMERA=${BASH_REMATCH[1]} OCAMERA_TEST_IO=${BASH_REMATCH[2]}
}

start_sim 0 0
"$@" | while IFS= read -r line; do
  line=${line%$'\r'}
  if [ "$line" = "@@restart-simulator" ]; then
    stop_sim
    start_sim "${OCAMERA_TEST_CAMERA##*:}" "${OCAMERA_TEST_IO##*:}"
    echo "(ocamsim restarted on $OCAMERA_TEST_CAMERA)"
  else
    printf '%s\n' "$line"
  fi
done
exit "${PIPESTATUS[0]}"
