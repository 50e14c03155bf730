"""Benchmark of the Python package against the C++ library in the same run.

  PYTHONPATH=build/python /usr/bin/python3 python/bench/bench_python.py \\
      --ocamsim build/sim/ocamsim --reference build/python/python_bench_reference

1. frames/s of a Python stream loop (for frame in stream) against a C++
   next() loop, both on the same simulated camera, rounds interleaved;
2. seconds per Tools.bayer_to_rgb against OCameraTools::Bayer2RGB (called
   through ctypes in the same process) on the same grabbed frame, interleaved.
Prints the medians and the Python/C++ ratios (goal: 0.95 or more each).
"""

import argparse
import os
import re
import statistics
import subprocess
import sys
import time

import ocamera


def start_simulator(ocamsim, width, height):
    process = subprocess.Popen([ocamsim, "--camera-port", "0", "--io-port", "-1",
                                "--width", str(width), "--height", str(height)],
                               stderr=subprocess.PIPE, text=True)
    for line in process.stderr:
        match = re.search(r"camera on (\S+),", line)
        if match:
            return process, match.group(1)
    raise SystemExit("ocamsim did not start")


def python_stream_rate(address, width, height, frames, fps):
    with ocamera.Stream(address, width=width, height=height, check=True) as stream:
        stream.set_frame_rate(fps)
        stream.start()
        for _ in range(3):
            stream.next(timeout=10).release()
        got = 0
        start = time.perf_counter()
        for frame in stream:
            frame.release()
            got += 1
            if got == frames:
                break
        return got / (time.perf_counter() - start)


def library_bayer2rgb():
    """OCameraTools::Bayer2RGB of the libocamera this process loaded, called
    straight through ctypes: the C++ conversion in the same process."""
    import ctypes
    path = next(line.split()[-1] for line in open("/proc/self/maps") if "libocamera.so" in line)
    function = ctypes.CDLL(path)._ZN12OCameraTools9Bayer2RGBEPhS0_iiNS_13eBayerPatternE
    function.argtypes = [ctypes.c_void_p, ctypes.c_void_p, ctypes.c_int, ctypes.c_int,
                         ctypes.c_int]
    function.restype = None
    return function


def bayer_times(raw, pattern, count):
    """Seconds per conversion of the same frame, the three kinds interleaved:
    C++ into one buffer, Python into out=, Python into a new array."""
    import numpy as np
    cxx = library_bayer2rgb()
    height, width = raw.shape
    rgb = np.empty((height, width, 3), np.uint8)
    reference = np.empty_like(rgb)
    source, destination = raw.ctypes.data, reference.ctypes.data
    times = ([], [], [])
    for _ in range(count):
        start = time.perf_counter()
        cxx(source, destination, width, height, int(pattern))
        middle = time.perf_counter()
        ocamera.Tools.bayer_to_rgb(raw, pattern, out=rgb)
        end = time.perf_counter()
        ocamera.Tools.bayer_to_rgb(raw, pattern)
        times[0].append(middle - start)
        times[1].append(end - middle)
        times[2].append(time.perf_counter() - end)
    assert (rgb == reference).all()
    return times


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--ocamsim", required=True)
    parser.add_argument("--reference", required=True)
    parser.add_argument("--width", type=int, default=1280)
    parser.add_argument("--height", type=int, default=1024)
    parser.add_argument("--frames", type=int, default=200)
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--fps", type=float, default=1000,
                        help="the simulated camera's frame rate (high: the client is the limit)")
    args = parser.parse_args()

    sim, address = start_simulator(args.ocamsim, args.width, args.height)
    try:
        cxx, py = [], []
        for _ in range(args.rounds):
            out = subprocess.run([args.reference, "stream", address, str(args.width),
                                  str(args.height), str(args.frames), str(args.fps)],
                                 check=True, capture_output=True, text=True, timeout=600)
            cxx.append(float(out.stdout))
            py.append(python_stream_rate(address, args.width, args.height, args.frames, args.fps))
        cxx_fps, py_fps = statistics.median(cxx), statistics.median(py)

        with ocamera.Camera(address, check=True) as cam:
            cam.open_buffers(args.width * args.height, 4)
            cam.set_read_timeout(5000)
            cam.set_camera_window(0, 0, args.width, args.height)
            cam.set_acquisition_mode(ocamera.AcqMode.FREE_RUN)
            raw = cam.get_single_image().data
        pattern = ocamera.BayerPattern.GRGR
        cxx_t, py_out_t, py_new_t = bayer_times(raw, pattern, args.rounds * 20)
        cxx_bayer = statistics.median(cxx_t)
        py_bayer_out = statistics.median(py_out_t)
        py_bayer_new = statistics.median(py_new_t)
    finally:
        sim.terminate()
        sim.wait(timeout=20)

    print(f"frame {args.width}x{args.height} at up to {args.fps:g} frames/s, "
          f"{args.frames} frames x {args.rounds} rounds, medians")
    print(f"stream        C++ {cxx_fps:9.1f} frames/s   Python {py_fps:9.1f} frames/s"
          f"   ratio {py_fps / cxx_fps:.3f}")
    print(f"bayer_to_rgb  C++ {cxx_bayer * 1e3:9.3f} ms         Python {py_bayer_out * 1e3:9.3f} ms"
          f" (out=)  ratio {cxx_bayer / py_bayer_out:.3f}")
    print(f"                                        Python {py_bayer_new * 1e3:9.3f} ms"
          f" (new)   ratio {cxx_bayer / py_bayer_new:.3f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
