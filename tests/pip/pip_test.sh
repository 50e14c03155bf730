#!/usr/bin/env bash
# pip install . as a Python user does it, in a fresh virtual environment that
# sees Debian's packages (setuptools, wheel, numpy) and nothing else: no
# build isolation, no package index. The build reuses this build's CMake
# directory (OCAMERA_BUILD_DIR), so only what is missing gets built. Then the
# installed package, and not the build tree, grabs 10 frames from ocamsim.
#   pip_test.sh <source dir> <build dir> <work dir> <python> <run_example.py> <ocamsim>
set -euo pipefail
source=$1 build=$2 work=$3 python=$4 run_example=$5 ocamsim=$6
unset PYTHONPATH

rm -rf "$work"
"$python" -m venv --system-site-packages "$work/venv"
start=$SECONDS
OCAMERA_BUILD_DIR=$build "$work/venv/bin/pip" install --quiet --no-build-isolation --no-index \
  --no-cache-dir "$source"
echo "pip install took $((SECONDS - start)) s"

cat >"$work/grab.py" <<'PY'
import itertools, os, sys
import ocamera
# The installed package, beside its library: nothing of the build tree.
assert ocamera.__file__.startswith(sys.prefix), ocamera.__file__
assert os.path.exists(os.path.join(os.path.dirname(ocamera.__file__), "py.typed"))
with ocamera.Stream(sys.argv[1], width=320, height=240, frame_limit=10,
                    when_full=ocamera.QueuePolicy.BLOCK) as stream:
    stream.start()
    frames = [(f.seq_nr, f.array.shape) for f in itertools.islice(stream, 10)]
assert len(frames) == 10 and all(shape == (240, 320) for _, shape in frames), frames
print(f"ocamera {ocamera.__version__}: 10 frames, seq_nr {frames[0][0]}..{frames[-1][0]}")
PY
"$work/venv/bin/python" "$run_example" --ocamsim "$ocamsim" \
  --expect '^ocamera [0-9.]+: 10 frames, seq_nr' -- "$work/venv/bin/python" "$work/grab.py" @CAMERA@
