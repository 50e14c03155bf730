"""The package explains itself: docstrings, signatures, reprs, the version and
the exceptions a Python user catches."""

import inspect
import pathlib
import re

import pytest

import ocamera


def public_members():
    """(qualified name, object) of every public class, function, method and
    property of the package."""
    for name in ocamera.__all__:
        obj = getattr(ocamera, name)
        if inspect.isclass(obj) or callable(obj):
            yield name, obj
        if inspect.isclass(obj) and not issubclass(obj, BaseException):
            enum = hasattr(obj, "__members__")  # pybind11's own name, value and __init__
            for member, value in vars(obj).items():
                if member.startswith("_") and member not in ("__init__", "__next__", "__iter__"):
                    continue
                if enum and member in ("__init__", "name", "value"):
                    continue
                if callable(value) or isinstance(value, property):
                    yield f"{name}.{member}", value


def explanation(obj):
    """The docstring without pybind11's signature lines."""
    doc = inspect.getdoc(obj) or ""
    lines = [line for line in doc.splitlines()
             if line.strip() and not re.match(r"^\w+\(.*\) -> ", line)
             and not re.match(r"^\d+\. \w+\(", line) and line != "Overloaded function."]
    return " ".join(lines)


def test_every_class_function_method_and_property_has_its_own_words():
    members = dict(public_members())
    assert len(members) > 150  # the walk found the classes' members
    missing = sorted(name for name, obj in members.items() if len(explanation(obj)) < 12)
    assert not missing, f"no explanation: {missing}"
    # Units, ranges and results where they matter, the refusal in the library's words.
    shutter = explanation(ocamera.Camera.set_shutter_time)
    assert "microseconds" in shutter and "1..1000000" in shutter
    assert ocamera.status_text(-15) in shutter and "CameraError" in shutter
    assert "0..10000 percent" in explanation(ocamera.Tools.bayer_to_rgb)
    assert ocamera.status_text(-21) in explanation(ocamera.Inputs.set_timeout)


def test_stream_signature_is_the_option_table_with_its_defaults(sim):
    signature = inspect.signature(ocamera.Stream)
    params = signature.parameters
    assert list(params)[:2] == ["address", "check"]
    assert all(p.kind is p.KEYWORD_ONLY for p in list(params.values())[1:])
    with ocamera.Stream(sim.camera, width=64, height=48) as stream:
        options = stream.options()
    defaults = {name: p.default for name, p in params.items() if name not in ("address", "check")}
    assert defaults.keys() == options.keys()
    # A default stream's options, but for the window given here; its settings
    # document holds what the stream makes at every start (the window among them).
    assert defaults["settings"] is None
    assert options["settings"]["window"] == {"x0": 0, "y0": 0, "width": 64, "height": 48}
    assert defaults["pattern"] is None and options["pattern"] == ocamera.BayerPattern.GRGR
    assert {**defaults, "width": 64, "height": 48, "pattern": ocamera.BayerPattern.GRGR,
            "settings": options["settings"]} == options
    for name, p in params.items():
        if name != "address":
            assert not isinstance(p.annotation, type) or isinstance(p.default, p.annotation), name
    # help() and stub generators read the same list from the docstring's first line.
    first = ocamera.Stream.__init__.__doc__.splitlines()[0]
    assert first.startswith("__init__(self: ocamera._ocamera.Stream, address: str, *, check: bool")
    assert all(f" {name}: " in first for name in defaults)
    assert "when_full: ocamera._ocamera.QueuePolicy = ocamera._ocamera.QueuePolicy.DROP_OLDEST" \
        in first


def test_version_is_the_projects():
    cmake = (pathlib.Path(__file__).resolve().parents[2] / "CMakeLists.txt").read_text()
    assert ocamera.__version__ == re.search(r"project\(ocamera VERSION (\S+)", cmake).group(1)


def test_reprs_say_what_an_object_is(sim):
    cam = ocamera.Camera(sim.camera)
    assert repr(cam) == f"<ocamera.Camera address='{sim.camera}' open>"
    cam.close()
    assert repr(cam) == f"<ocamera.Camera address='{sim.camera}' closed>"
    with ocamera.Outputs(sim.io, check=True) as out:
        assert repr(out) == f"<ocamera.Outputs address='{sim.io}' open check=True>"
    with ocamera.Stream(sim.camera, width=64, height=48, rgb=True) as stream:
        assert repr(stream) == f"<ocamera.Stream address='{sim.camera}' STOPPED>"
        stream.start()
        frame = stream.next(10)
        assert repr(stream) == f"<ocamera.Stream address='{sim.camera}' RUNNING>"
        assert repr(frame) == f"<ocamera.Frame seq_nr={frame.seq_nr} 64x48 RGB>"
        frame.release()
        assert repr(frame).endswith(" released>")
        stats = stream.stats()
        assert re.fullmatch(r"<ocamera\.StreamStats state=RUNNING delivered=[1-9]\d* dropped=\d+ "
                            r"missing=\d+ sequence_resets=\d+ failed_requests=\d+ recoveries=0 "
                            r"frames_per_second=[\d.]+ megabytes_per_second=[\d.]+>", repr(stats))
    assert repr(stream).endswith(" closed>")
    with ocamera.Stream(sim.camera, width=64, height=48) as stream:
        stream.start()
        assert re.fullmatch(r"<ocamera\.Frame seq_nr=\d+ 64x48 GRGR>", repr(stream.next(10)))


def test_time_outs_raise_timeout_error_other_failures_camera_error(sim):
    cam = ocamera.Camera(sim.camera, check=True)
    cam.open_buffers(64 * 48, 4)
    cam.set_camera_window(0, 0, 64, 48)
    cam.set_frame_rate(1)
    cam.set_read_timeout(100)
    cam.set_acquisition_mode(ocamera.AcqMode.FREE_RUN)
    with pytest.raises(TimeoutError) as timed_out:  # the built-in class catches it
        for _ in range(6):  # a frame a second: one read soon waits in vain
            cam.get_single_image()
    e = timed_out.value
    assert isinstance(e, ocamera.TimeoutError) and isinstance(e, ocamera.CameraError)
    assert (e.status, e.operation, e.text) == (-21, "getSingleImage", ocamera.status_text(-21))
    with pytest.raises(ocamera.CameraError) as refused:
        cam.set_gain(1000)
    assert not isinstance(refused.value, TimeoutError) and refused.value.status == -15
    cam.close()

    # The reply time-out: the library fails the request with -1 like any other
    # failure; the wait it cut makes it a TimeoutError.
    inputs = ocamera.Inputs(sim.io, check=True)
    inputs.open_io()
    inputs.set_timeout(5000)
    ocamera.set_reply_timeout(300)
    try:
        with pytest.raises(ocamera.TimeoutError) as cut:
            inputs.wait_for_input_change(ocamera.Input.I0)  # nothing drives the inputs
    finally:
        ocamera.set_reply_timeout(0)
    assert cut.value.status == -1 and "no answer within 300 ms" in str(cut.value)
    inputs.close()

    # A request that fails at once is no time-out, reply time-out or not.
    out = ocamera.Outputs(sim.io, check=True)
    out.open_io()
    sim.stop()
    ocamera.set_reply_timeout(5000)
    try:
        with pytest.raises(ocamera.CameraError) as failed:
            out.get_outputs()
    finally:
        ocamera.set_reply_timeout(0)
    assert failed.value.status == -1 and not isinstance(failed.value, TimeoutError)
    out.close()


def test_stream_start_with_check_raises_the_streams_own_words(sim):
    with ocamera.Stream(sim.camera, width=64, height=48, check=True,
                        white_balance=ocamera.WhiteBalance.FILE, rgb=True) as stream:
        with pytest.raises(ocamera.CameraError) as failed:
            stream.start()  # no wb.conf in the test's directory
    assert failed.value.operation == "start" and "wb.conf" in str(failed.value)
