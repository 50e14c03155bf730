"""The stream as an iterator and with next(timeout), frames viewing the pool
buffers, and recovery after the simulator restarted."""

import gc
import itertools
import threading

import numpy as np
import pytest

import ocamera


def test_frames_view_the_pool_and_outlive_release(sim):
    with ocamera.Stream(sim.camera, width=64, height=48, buffer_count=3, queue_depth=2,
                        check=True) as stream:
        assert stream.start() == 0
        kept, seq = [], []
        for frame in stream:
            array = frame.array
            assert array.shape == (48, 64) and array.dtype == np.uint8
            assert not array.flags.writeable and not array.flags.owndata
            assert np.asarray(frame) is array or np.shares_memory(np.asarray(frame), array)
            seq.append(frame.seq_nr)
            # The view keeps the buffer: the frame is released, the pixels stay.
            copy = array.copy()
            frame.release()
            assert frame.released
            with pytest.raises(ocamera.ClosedError):
                frame.array
            kept.append((array, copy))
            if len(seq) == 2:
                break
        # The two kept views hold two of the three buffers: the last one is
        # never handed out as a view; the frame in it comes as a copy.
        with pytest.warns(RuntimeWarning, match="raise buffer_count"):
            frame = stream.next(timeout=10)
        assert frame is not None and frame.seq_nr > seq[-1]
        third = frame.array
        assert third.flags.owndata and not third.flags.writeable
        assert stream.copied_frames == 1
        for array, copy in kept:  # no buffer under a live view was reused
            np.testing.assert_array_equal(array, copy)
        del frame, third
        for array, copy in kept:
            np.testing.assert_array_equal(array, copy)
        kept.clear()
        gc.collect()
        more = []
        for _ in range(4):
            with stream.next(timeout=10) as frame:
                more.append((frame.seq_nr, frame.array.copy(), frame.pattern))
        assert [m[0] for m in more] == sorted(m[0] for m in more)
        rgb = ocamera.Tools.bayer_to_rgb(more[0][1], more[0][2])
        assert rgb.shape == (48, 64, 3)
        stats = stream.stats()
        assert stats.delivered >= 7 and stats.state == ocamera.StreamState.RUNNING
        # A frame's pixels survive the stream itself.
        last = stream.next(timeout=10).array
        snapshot = last.copy()
    assert stream.closed
    np.testing.assert_array_equal(last, snapshot)


def test_arrays_kept_from_every_frame_never_stall_the_stream(sim):
    # The loop users of other SDKs write: keep every array, release nothing.
    with ocamera.Stream(sim.camera, width=64, height=48) as stream:  # 8 buffers
        assert stream.start() == 0
        arrays = []
        watchdog = threading.Timer(60, stream.stop)  # ends a stalled loop as a failure
        watchdog.start()
        try:
            with pytest.warns(RuntimeWarning, match="held by frames or their arrays") as warned:
                for f in itertools.islice(stream, 20):
                    arrays.append(f.array)
        finally:
            watchdog.cancel()
        assert len(arrays) == 20
        assert len(warned) == 1  # once per stream
        # Seven views of the pool, then copies; every array keeps its own pixels.
        assert stream.copied_frames == 13
        assert [a.flags.owndata for a in arrays] == [False] * 7 + [True] * 13
        snapshots = [a.copy() for a in arrays]
        more = [stream.next(10).array for _ in range(3)]
        assert all(m is not None for m in more)
        for array, snapshot in zip(arrays, snapshots):
            np.testing.assert_array_equal(array, snapshot)
        # Once the views go, frames are views of the pool again.
        del arrays, snapshots, more
        gc.collect()
        with stream.next(10) as frame:
            assert not frame.array.flags.owndata


def test_next_timeout_stop_and_rgb(sim):
    with ocamera.Stream(sim.camera, width=64, height=48, rgb=True,
                        acquisition_mode=ocamera.AcqMode.SELECT_SHOT) as stream:
        assert stream.start() == 0
        assert stream.next(timeout=0.05) is None  # no trigger, no frame
        assert stream.try_next() is None
        assert stream.trigger_image() == 0
        frame = stream.next(timeout=10)
        assert frame.channels == 3 and frame.array.shape == (48, 64, 3)
        stream.stop()
        with pytest.raises(ocamera.StreamStopped):
            stream.next(timeout=1)
        assert list(stream) == []  # iteration of a stopped stream ends at once
        assert stream.fetch(0)[0] == ocamera.FetchResult.STOPPED
    with pytest.raises(ocamera.ClosedError):
        stream.start()
    assert stream.closed
    with ocamera.Stream(sim.camera, width=32, height=16, when_full=ocamera.QueuePolicy.BLOCK) as s:
        assert s.set_camera_window(0, 0, 48, 24) == 0
        options = s.options()
        assert (options["width"], options["height"]) == (48, 24)
        assert options["when_full"] == ocamera.QueuePolicy.BLOCK and options["queue_depth"] == 4
    with pytest.raises(TypeError, match="unknown option 'widht'"):
        ocamera.Stream(sim.camera, widht=64)
    # Every option of the library's table is a keyword, checked against its range
    # before anything is sent.
    assert set(options) >= {"frame_limit", "reply_timeout_ms", "retry_limit"}
    with pytest.raises(ValueError, match=r"^width must be 0\.\.65535, not 2147483648$"):
        ocamera.Stream(sim.camera, width=2**31)
    with pytest.raises(ValueError, match="bufferCount must be 2..1024, not 1"):
        ocamera.Stream(sim.camera, buffer_count=1)
    with pytest.raises(ValueError, match="frameLimit"):
        ocamera.Stream(sim.camera, frame_limit=2**70)
    with ocamera.Stream(sim.camera, width=64, height=48, frame_limit=2) as limited:
        assert limited.start() == 0
        assert [f.seq_nr >= 0 for f in limited] == [True, True]


def test_iteration_recovers_after_a_restart(sim):
    with ocamera.Stream(sim.camera, width=64, height=48, retry_initial_ms=50,
                        retry_max_ms=200) as stream:
        assert stream.start() == 0
        before = [f.seq_nr for f, _ in zip(stream, range(3))]
        assert len(before) == 3
        sim.restart()
        # The iterator waits through the loss; frames come again from the new
        # camera. A watchdog stops the stream (ending the iteration) if not.
        watchdog = threading.Timer(60, stream.stop)
        watchdog.start()
        after = []
        try:
            for frame in stream:
                if stream.stats().recoveries >= 1:
                    after.append(frame)
                    if len(after) == 3:
                        break
        finally:
            watchdog.cancel()
        assert len(after) == 3
        stats = stream.stats()
        assert stats.recoveries >= 1 and stats.state == ocamera.StreamState.RUNNING
        assert all(f.array.shape == (48, 64) for f in after)
        event, detail = stream.last_event
        assert event == ocamera.StreamEvent.RECOVERED, detail
