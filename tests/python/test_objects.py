"""Making and ending every kind of object, failures on creation and in check
mode, and the device list."""

import gc
import os
import pathlib
import subprocess
import sys

import numpy as np
import pytest

import ocamera
from conftest import Simulator


def make_all(sim):
    return [ocamera.Camera(sim.camera), ocamera.Inputs(sim.io), ocamera.Outputs(sim.io),
            ocamera.LEDs(sim.io), ocamera.Stream(sim.camera, width=64, height=48)]


def test_every_kind_is_destroyed_exactly_once(sim):
    # close() twice, a with block around a closed object and garbage collection:
    # each object sends one destroy, no more, no less.
    first = make_all(sim)
    for obj in first:
        assert not obj.closed
        if not isinstance(obj, (ocamera.Camera, ocamera.Stream)):
            assert obj.open_io() == 0
        obj.close()
        obj.close()
        assert obj.closed
    with ocamera.Camera(sim.camera) as cam, ocamera.Outputs(sim.io) as out:
        assert out.open_io() == 0
        assert cam.get_shutter_time() >= 0 and out.get_outputs() >= 0
    cam.close()
    make_all(sim)  # dropped at once
    gc.collect()
    # Camera and Stream's camera (x2 rounds) + one in the with block; I/O objects.
    for service, count in [("scam", 5), ("sinp", 2), ("sout", 3), ("sled", 2)]:
        assert len(sim.requests(f"{service}:destroy", count)) == count, sim.lines
    with pytest.raises(ocamera.ClosedError):
        cam.get_shutter_time()
    with pytest.raises(ValueError):  # ClosedError is a ValueError, as for a closed file
        first[2].get_outputs()


def test_creation_failure_names_address_and_reason(refused_address, capfd):
    kinds = [("camera", lambda: ocamera.Camera(refused_address)),
             ("inputs", lambda: ocamera.Inputs(refused_address)),
             ("outputs", lambda: ocamera.Outputs(refused_address)),
             ("LEDs", lambda: ocamera.LEDs(refused_address)),
             ("stream", lambda: ocamera.Stream(refused_address))]
    for what, make in kinds:
        with pytest.raises(ocamera.CreationError) as caught:
            make()
        error = caught.value
        assert isinstance(error, ConnectionError)
        assert (error.what, error.address) == (what, refused_address)
        assert "refused" in error.reason.lower(), error.reason
        # The library's words: the step and the network's reason, no SOAP fault text.
        assert str(error) == f"cannot create the {what} at {refused_address}: " \
                             "listing the devices: connection refused"
    # The library's own creation lines went into the exceptions, not to the terminal.
    captured = capfd.readouterr()
    assert "refused" not in captured.err.lower(), captured.err


def test_results_are_integers_unless_check_raises(sim):
    with ocamera.Camera(sim.camera) as cam, ocamera.Camera(sim.camera, check=True) as checked:
        # Refused by the library without traffic.
        assert cam.set_acquisition_mode(ocamera.AcqMode.FREE_RUN_SLAVE_STOP) == -1
        with pytest.raises(ocamera.CameraError) as caught:
            checked.set_acquisition_mode(ocamera.AcqMode.FREE_RUN_SLAVE_STOP)
        assert (caught.value.status, caught.value.operation) == (-1, "setAcquisitionMode")
        assert str(caught.value) == \
            "setAcquisitionMode: the request failed (no answer from the camera)"
        # No image outside the acquisition modes that deliver them.
        assert cam.set_acquisition_mode(ocamera.AcqMode.STOP) == 0
        image = cam.get_single_image()
        assert image.result == -1 and image.data is None
        assert checked.set_acquisition_mode(ocamera.AcqMode.STOP) == 0
        with pytest.raises(ocamera.CameraError, match="getSingleImage"):
            checked.get_single_image()
        # A status the camera answers is the result, or the error's status.
        assert cam.get_sensor_register("no-such-register")[0] not in (0, -1)
        with pytest.raises(ocamera.CameraError) as caught:
            checked.get_sensor_register("no-such-register")
        assert caught.value.status == cam.get_sensor_register("no-such-register")[0]
        assert str(caught.value) == "getSensorRegister: no such register (status -19)"
        assert cam.reserved1() == 0 and cam.reserved2() == -1


def test_device_list_and_the_command(sim, refused_address):
    devices = ocamera.list_devices(sim.camera)
    assert len(devices) == 4
    assert len({d.id for d in devices}) == 4
    assert all(d.max_timeout == 10 and d.version.count(".") == 1 for d in devices)
    with pytest.raises(ocamera.CreationError, match=refused_address):
        ocamera.list_devices(refused_address)

    env = dict(os.environ)
    env.pop("OCAM_ADDRESS", None)
    run = subprocess.run([sys.executable, "-m", "ocamera", sim.camera], env=env,
                         capture_output=True, text=True, timeout=60)
    assert run.returncode == 0, run.stderr
    lines = run.stdout.splitlines()
    assert lines[0].split()[:3] == ["ID", "TYPE", "VENDOR"]
    assert [line.split()[1] for line in lines[1:]] == [d.type for d in devices]
    failed = subprocess.run([sys.executable, "-m", "ocamera", refused_address], env=env,
                            capture_output=True, text=True, timeout=60)
    assert failed.returncode == 1 and failed.stdout == ""
    assert failed.stderr.count("\n") == 1 and refused_address in failed.stderr
    # Without an address: $OCAM_ADDRESS, else ocam's default, the local simulator.
    failed = subprocess.run([sys.executable, "-m", "ocamera"],
                            env=dict(env, OCAM_ADDRESS=refused_address),
                            capture_output=True, text=True, timeout=60)
    assert failed.returncode == 1 and refused_address in failed.stderr
    default = subprocess.run([sys.executable, "-m", "ocamera"], env=env,
                             capture_output=True, text=True, timeout=60)
    # Something may serve 127.0.0.1:8000 on this machine; if not, the line names it.
    assert default.returncode == 0 or "at 127.0.0.1:8000:" in default.stderr, default.stderr


def test_led_names_read_as_in_cpp_and_the_old_ones_still_work():
    L = ocamera.LED
    assert L.LED_1_GREEN.name == "LED_1_GREEN" and L.LED_ALL_RED.name == "LED_ALL_RED"
    assert L.L1_GREEN == L.LED_1_GREEN and int(L.L1_GREEN) == int(L.LED_1_GREEN)
    assert (L.L3_YELLOW, L.ALL_RED, L.ALL) == (L.LED_3_YELLOW, L.LED_ALL_RED, L.LED_ALL)
    assert L.L1_GREEN.name == "LED_1_GREEN"  # shown by the name users type


def test_readme_example_runs_as_written(tmp_path, monkeypatch):
    readme = (pathlib.Path(__file__).resolve().parents[2] / "README.md").read_text()
    after = readme.split("Grabbing frames and writing them as image files")[1]
    example = after.split("```python\n", 1)[1].split("```", 1)[0]
    sim = Simulator()  # the 1280 x 1024 sensor the example asks for
    try:
        code = example.replace('"127.0.0.1:8000"', repr(sim.camera))
        assert code != example
        monkeypatch.chdir(tmp_path)
        exec(compile(code, "README.md", "exec"), {})
    finally:
        sim.stop()
    files = sorted(tmp_path.glob("frame-*.ppm"))
    assert len(files) == 10
    header = b"P6 1280 1024 255\n"
    for path in files:
        data = path.read_bytes()
        assert data.startswith(header) and len(data) == len(header) + 1280 * 1024 * 3
        pixels = np.frombuffer(data[len(header):], np.uint8).reshape(1024, 1280, 3)
        assert (pixels[..., 0] != pixels[..., 1]).any()  # colour, not grey


def test_installed_package_imports_without_the_build_tree(tmp_path):
    prefix = tmp_path / "prefix"
    subprocess.run([os.environ["OCAMERA_CMAKE"], "--install", os.environ["OCAMERA_BUILD_DIR"],
                    "--prefix", str(prefix)], check=True, capture_output=True, timeout=120)
    env = {"PATH": os.environ.get("PATH", ""),
           "PYTHONPATH": str(prefix / os.environ["OCAMERA_PYTHON_INSTALL_DIR"])}
    probe = ("import ocamera\n"
             "print(ocamera.__file__)\n"
             "print([l.split()[-1] for l in open('/proc/self/maps') if 'libocamera' in l][0])\n")
    run = subprocess.run([sys.executable, "-c", probe], env=env, cwd=tmp_path,
                         capture_output=True, text=True, timeout=60)
    assert run.returncode == 0, run.stderr
    package, library = run.stdout.split()
    assert package.startswith(str(prefix)) and library.startswith(str(prefix)), run.stdout
