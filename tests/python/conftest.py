"""The simulated camera as a process for the Python package's tests.

The paths come from CTest: OCAMSIM (the simulator), OCAMERA_BAYER_HELPER (the
C++ conversion of a raw file) and PYTHONPATH (the package in the build tree).
A missing interpreter module, package or program fails the tests; it never
skips them.
"""

import os
import re
import subprocess
import threading

import pytest

import ocamera  # noqa: F401  (a missing package fails here, at collection)


def program(variable):
    path = os.environ.get(variable)
    assert path and os.access(path, os.X_OK), f"${variable} does not name a program: {path!r}"
    return path


class Simulator:
    """One ocamsim process on loopback; its banner gives the two addresses."""

    BANNER = re.compile(r"camera on (\S+), inputs/outputs/LEDs on (\S+)")

    def __init__(self, *args, camera_port=0, io_port=0):
        self.args = list(args)
        self.lines = []
        self._lock = threading.Lock()
        self._changed = threading.Condition(self._lock)
        self._start(camera_port, io_port)

    def _start(self, camera_port, io_port):
        self.process = subprocess.Popen(
            [program("OCAMSIM"), "--camera-port", str(camera_port), "--io-port", str(io_port),
             *self.args],
            stderr=subprocess.PIPE, stdout=subprocess.DEVNULL, text=True)
        for line in self.process.stderr:  # ends at EOF when the simulator fails to start
            match = self.BANNER.search(line)
            if match:
                self.camera, self.io = match.group(1), match.group(2)
                break
        else:
            raise AssertionError(f"ocamsim ended without its banner: {self.process.wait()}")
        self._reader = threading.Thread(target=self._read, daemon=True)
        self._reader.start()

    def _read(self):
        for line in self.process.stderr:
            with self._lock:
                self.lines.append(line.rstrip("\n"))
                self._changed.notify_all()

    def _matching(self, operation):
        return [line for line in self.lines if f" {operation} " in line]

    def requests(self, operation, at_least=0, timeout=20):
        """The verbose lines (with -v) of one operation, once at least that many
        arrived (the simulator writes a line before it replies, so the lines of
        every request answered so far come without further waiting)."""
        with self._lock:
            self._changed.wait_for(lambda: len(self._matching(operation)) >= at_least, timeout)
            return self._matching(operation)

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            assert self.process.wait(timeout=20) == 0
        self._reader.join(timeout=20)

    def restart(self):
        """Stops the simulator and starts it again on the same ports."""
        self.stop()
        self._start(self.camera.rsplit(":", 1)[1], self.io.rsplit(":", 1)[1])


@pytest.fixture
def sim():
    simulator = Simulator("--width", "64", "--height", "48", "-v")
    yield simulator
    simulator.stop()


@pytest.fixture
def refused_address():
    """A loopback address nobody listens on: bound, never listening."""
    import socket
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        yield f"127.0.0.1:{s.getsockname()[1]}"
