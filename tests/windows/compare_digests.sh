#!/usr/bin/env bash
# The Bayer conversions of the Windows build are byte for byte those of the
# Linux build: both bayer_digest programs print the same lines.
#   compare_digests.sh <Linux bayer_digest> <command running the Windows one...>
set -euo pipefail
linux=$1
shift
[ -x "$linux" ] || { echo "no Linux bayer_digest at $linux (build the Linux tree first)" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$linux" >"$work/linux"
"$@" | tr -d '\r' >"$work/windows"
lines=$(grep -c . "$work/linux" || true)
[ "$lines" -gt 0 ] || { echo "the Linux build printed no digests" >&2; exit 1; }
if ! diff -u "$work/linux" "$work/windows"; then
  echo "FAIL: the Windows conversions differ from the Linux ones (lines above)" >&2
  exit 1
fi
echo "$lines digests equal ($(grep -vc unavailable "$work/linux") conversions)"
