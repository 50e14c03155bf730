#!/usr/bin/env bash
# gst-inspect-1.0 finds ocamerasrc in the build tree and documents every
# property: each has a line "name : description" with a non-empty description.
set -euo pipefail
plugin_dir=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
export GST_PLUGIN_PATH=$plugin_dir GST_REGISTRY=$tmp/registry.bin
gst-inspect-1.0 ocamerasrc >"$tmp/out"
status=0
for p in address camera-type shutter gain frame-rate x0 y0 width height pattern white-balance timeout retry-limit \
         num-buffers do-timestamp; do
  if ! grep -Eq "^  $p +: [^ ].{8,}" "$tmp/out"; then
    echo "property $p missing or undocumented" >&2
    status=1
  fi
done
grep -q 'video/x-bayer' "$tmp/out" || { echo "no video/x-bayer in the pad template" >&2; status=1; }
grep -q 'format: RGB' "$tmp/out" || { echo "no RGB in the pad template" >&2; status=1; }
exit $status
