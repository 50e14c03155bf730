"""Ctrl-C ends every blocking call with KeyboardInterrupt and leaves its object
usable; a negative time-out means no limit, as in C++."""

import os
import signal
import threading
import time

import pytest

import ocamera
from conftest import Simulator

# Far more than the promise (about 0.2 s) but far less than the waits cut short.
SOON = 5.0


def interrupted(call, stop=None):
    """Sends SIGINT to this process once call() runs; returns how long after
    the signal KeyboardInterrupt came. A watchdog (stop) ends a call that
    ignores the signal, so that a failing test fails instead of hanging."""
    sent = {}

    def send():
        sent["at"] = time.monotonic()
        os.kill(os.getpid(), signal.SIGINT)

    timer = threading.Timer(0.3, send)
    watchdog = threading.Timer(30, stop) if stop else None
    timer.start()
    if watchdog:
        watchdog.start()
    try:
        with pytest.raises(KeyboardInterrupt):
            call()
        return time.monotonic() - sent["at"]
    finally:
        timer.join()
        if watchdog:
            watchdog.cancel()


def test_stream_waits_end_on_ctrl_c_and_the_stream_goes_on(sim):
    # Select-shot without a trigger: no frame comes until one is asked for.
    with ocamera.Stream(sim.camera, width=64, height=48,
                        acquisition_mode=ocamera.AcqMode.SELECT_SHOT) as stream:
        assert stream.start() == 0
        for call in (stream.next, lambda: stream.next(20.0), lambda: stream.next(-1),
                     lambda: stream.fetch(-0.5)):
            assert interrupted(call, stop=stream.stop) < SOON
            assert stream.state == ocamera.StreamState.RUNNING
        assert stream.next(0) is None  # 0 still returns at once
        assert stream.trigger_image() == 0
        frame = stream.next(-1)  # no limit: waits for the triggered frame
        assert frame is not None and frame.array.shape == (48, 64)


def test_input_wait_ends_on_ctrl_c_and_the_object_stays_usable():
    sim = Simulator()  # inputs that never change
    try:
        with ocamera.Inputs(sim.io, check=True) as inputs:
            assert inputs.open_io() == 0 and inputs.set_timeout(8000) == 0
            started = time.monotonic()
            assert interrupted(lambda: inputs.wait_for_input_change(ocamera.Input.I0)) < SOON
            # The abandoned wait is still in the camera; the object answers meanwhile.
            assert time.monotonic() - started < 8
            assert inputs.get_inputs() == 0
            assert inputs.set_timeout(50) == 0
            with pytest.raises(ocamera.CameraError) as caught:  # the camera's time-out
                inputs.wait_for_inputs(int(ocamera.Input.I0 | ocamera.Input.I1), 3)
            assert caught.value.status not in (0, -1)
        # close() waited for both abandoned waits: nothing is left in flight.
        assert inputs.closed
    finally:
        sim.stop()
