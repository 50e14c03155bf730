"""Runs one example program against an ocamsim process on free loopback ports
and checks what it printed and wrote.

    run_example.py --ocamsim PATH [--sim-arg ARG]... [--expect REGEX]...
                   [--restart-after REGEX] [--png GLOB:COUNT:WIDTHxHEIGHT]...
                   [--timeout S] -- COMMAND [ARG]...

@CAMERA@ and @IO@ in the command stand for the simulator's two addresses
(OCAM_ADDRESS and OCAM_IO_ADDRESS name them too). The command runs in the
current directory, or with --workdir in a fresh one. With --restart-after the simulator is stopped once the
command printed a line matching REGEX, and started again on the same ports a
second later. Every --expect must match the command's output; every --png
glob must find COUNT valid PNG files of that size.
"""

import argparse
import glob
import os
import re
import shutil
import struct
import subprocess
import sys
import threading
import time
import zlib

BANNER = re.compile(r"camera on (\S+), inputs/outputs/LEDs on (\S+)")


def start_sim(ocamsim, args, camera_port=0, io_port=0):
    sim = subprocess.Popen([ocamsim, "--camera-port", str(camera_port), "--io-port", str(io_port),
                            *args], stderr=subprocess.PIPE, stdout=subprocess.DEVNULL, text=True)
    line = sim.stderr.readline()
    match = BANNER.search(line)
    if not match:
        sim.kill()
        sys.exit(f"ocamsim did not start: {line!r}")
    # Keep reading its standard error so that it never blocks on a full pipe.
    threading.Thread(target=sim.stderr.read, daemon=True).start()
    return sim, match.group(1), match.group(2)


def stop_sim(sim):
    if sim.poll() is None:
        sim.terminate()
        sim.wait(timeout=20)


def check_png(path, width, height):
    """Signature, chunk checksums, size and the pixel data's length."""
    data = open(path, "rb").read()
    if not data.startswith(b"\x89PNG\r\n\x1a\n"):
        return "no PNG signature"
    pos, idat, size = 8, b"", None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 4:pos + 8 + length]
        if struct.unpack(">I", data[pos + 8 + length:pos + 12 + length])[0] != zlib.crc32(body):
            return f"bad checksum of {kind!r}"
        if kind == b"IHDR":
            size = struct.unpack(">IIBB", body[4:14])
        elif kind == b"IDAT":
            idat += body[4:]
        pos += 12 + length
    if size != (width, height, 8, 2):
        return f"IHDR {size}, not {width}x{height} 8-bit RGB"
    if len(zlib.decompress(idat)) != height * (1 + 3 * width):
        return "pixel data of the wrong length"
    return None


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--ocamsim", required=True)
    parser.add_argument("--sim-arg", action="append", default=[])
    parser.add_argument("--expect", action="append", default=[])
    parser.add_argument("--restart-after")
    parser.add_argument("--png", action="append", default=[])
    parser.add_argument("--timeout", type=float, default=60)
    parser.add_argument("--workdir", help="runs in DIR/$OCAMERA_EXAMPLE_NAME, emptied first")
    parser.add_argument("command", nargs=argparse.REMAINDER)
    args = parser.parse_args()
    command = args.command[1:] if args.command[:1] == ["--"] else args.command
    if args.workdir:
        workdir = os.path.join(args.workdir, os.environ.get("OCAMERA_EXAMPLE_NAME", "example"))
        shutil.rmtree(workdir, ignore_errors=True)
        os.makedirs(workdir)
        os.chdir(workdir)

    sim, camera, io = start_sim(args.ocamsim, args.sim_arg)
    sims = [sim]
    try:
        command = [c.replace("@CAMERA@", camera).replace("@IO@", io) for c in command]
        env = dict(os.environ, OCAM_ADDRESS=camera, OCAM_IO_ADDRESS=io)
        program = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                   text=True, env=env)
        timer = threading.Timer(args.timeout, program.kill)
        timer.start()
        output = []
        restarted = args.restart_after is None
        for line in program.stdout:
            print(line, end="")
            output.append(line)
            if not restarted and re.search(args.restart_after, line):
                restarted = True
                stop_sim(sims[-1])
                time.sleep(1)  # the camera stays away for a second
                sims.append(start_sim(args.ocamsim, args.sim_arg, camera.rsplit(":", 1)[1],
                                      io.rsplit(":", 1)[1])[0])
        status = program.wait()
        timer.cancel()
    finally:
        for s in sims:
            stop_sim(s)
    text = "".join(output)
    failures = [] if status == 0 else [f"exit status {status}"]
    if not restarted:
        failures.append(f"no line matched {args.restart_after!r}")
    failures += [f"no output matches {e!r}" for e in args.expect if not re.search(e, text, re.M)]
    for spec in args.png:
        pattern, count, size = spec.rsplit(":", 2)
        width, height = map(int, size.split("x"))
        files = sorted(glob.glob(pattern))
        if len(files) != int(count):
            failures.append(f"{len(files)} files match {pattern}, not {count}")
        failures += [f"{f}: {why}" for f in files if (why := check_png(f, width, height))]
    if failures:
        sys.exit("FAIL: " + "; ".join(failures))


if __name__ == "__main__":
    main()
