"""Outputs, LEDs and inputs read back, the GIL released during a wait, and the
reply time-out cutting a wait short."""

import threading
import time

import pytest

import ocamera
from conftest import Simulator


def test_outputs_and_leds_read_back(sim):
    O, L = ocamera.Output, ocamera.LED
    with ocamera.Outputs(sim.io, check=True) as out, ocamera.LEDs(sim.io, check=True) as leds:
        assert out.open_io() == 0 and leds.open_io() == 0
        assert out.set_outputs(O.ALL, 0) == 0
        assert out.set_outputs(O.O0 | O.O2, O.O0 | O.O2) == 0
        assert out.get_outputs() == 0b0101
        assert [out.get_output(o) for o in (O.O0, O.O1, O.O2, O.O3)] == [1, 0, 1, 0]
        assert out.toggle_output(O.O1) == 0 and out.toggle_outputs(O.O0 | O.O3) == 0
        assert out.get_outputs() == 0b1110
        assert out.set_output(O.O2, 0) == 0 and out.get_outputs() == 0b1010

        assert leds.set_leds(L.LED_ALL, 0) == 0
        assert leds.set_led(L.LED_1_GREEN, 1) == 0 and leds.set_led(L.LED_3_YELLOW, 1) == 0
        assert leds.get_leds() == int(L.LED_1_GREEN) | int(L.LED_3_YELLOW)
        assert leds.get_led(L.LED_1_GREEN) == 1 and leds.get_led(L.LED_1_RED) == 0
        assert leds.toggle_leds(L.LED_ALL_RED) == 0
        assert leds.get_leds() == int(L.LED_1_GREEN) | int(L.LED_3_YELLOW) | int(L.LED_ALL_RED)
        assert leds.toggle_led(L.LED_1_GREEN) == 0 and leds.get_led(L.LED_1_GREEN) == 0
        # A second object sees the same lines.
        with ocamera.Outputs(sim.io) as other:
            assert other.open_io() == 0 and other.get_outputs() == 0b1010


def test_input_wait_releases_the_gil():
    # I0 goes high and low every 700 ms; I1 stays low.
    sim = Simulator("--input-schedule", "0:0,700:1", "--input-period", "1400")
    try:
        with ocamera.Inputs(sim.io, check=True) as inputs:
            assert inputs.open_io() == 0 and inputs.set_timeout(5000) == 0
            assert inputs.get_input(ocamera.Input.I1) == 0
            wait = {}

            def waiter():
                inputs.wait_for_input_change(ocamera.Input.I0)  # onto an edge
                wait["start"] = time.monotonic()
                wait["result"] = inputs.wait_for_input_change(ocamera.Input.I0)
                wait["end"] = time.monotonic()

            thread = threading.Thread(target=waiter)
            thread.start()
            progress, reads = [], []
            deadline = time.monotonic() + 30
            while thread.is_alive() and time.monotonic() < deadline:
                progress.append(time.monotonic())
                if len(progress) % 5000 == 0:
                    reads.append(inputs.get_inputs())  # the same object, while it waits
            thread.join(timeout=30)
            assert wait["result"] == 0
            start, end = wait["start"], wait["end"]
            assert end - start > 0.3, "the wait did not block"
            inside = [t for t in progress if start + 0.1 < t < end - 0.1]
            assert len(inside) > 1000, f"{len(inside)} steps of another thread during the wait"
            assert reads and all(0 <= r <= 0x7F for r in reads)

            assert inputs.clear_edges(ocamera.Input.I0_RE | ocamera.Input.I0_FE) == 0
            # A wait that times out is a status: an integer, or CameraError with check.
            assert inputs.set_timeout(50) == 0
            with pytest.raises(ocamera.CameraError) as caught:
                inputs.wait_for_input(ocamera.Input.I1, 1)
            assert caught.value.operation == "iWaitForInput" and caught.value.status not in (0, -1)
    finally:
        sim.stop()


def test_reply_timeout_cuts_a_longer_wait_short(sim):
    # The library's reply time-out holds for the objects' requests: an input wait
    # the camera would end after 3 s fails as a failed request (-1) under 200 ms;
    # switched off, a wait ends with the camera's own time-out status again.
    assert ocamera.reply_timeout() == 0
    with ocamera.Inputs(sim.io) as inputs:
        assert inputs.open_io() == 0 and inputs.set_timeout(3000) == 0
        try:
            ocamera.set_reply_timeout(200)
            assert ocamera.reply_timeout() == 200
            assert inputs.wait_for_input(ocamera.Input.I1, 1) == -1
        finally:
            ocamera.set_reply_timeout(-1)  # off, as 0 is
        assert ocamera.reply_timeout() == 0
        assert inputs.set_timeout(50) == 0
        assert inputs.wait_for_input(ocamera.Input.I1, 1) not in (0, -1)
