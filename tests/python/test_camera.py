"""Images as arrays and their conversion against the C++ library's, image RAM
and sensor registers."""

import os
import subprocess

import numpy as np
import pytest

import ocamera
from conftest import program


def cxx_convert(tmp_path, raw, pattern, *wb):
    """The library's conversion of the same bytes, through the C++ helper."""
    height, width = raw.shape
    (tmp_path / "in.raw").write_bytes(raw.tobytes())
    subprocess.run([program("OCAMERA_BAYER_HELPER"), str(tmp_path / "in.raw"), str(width),
                    str(height), str(int(pattern)), str(tmp_path / "out.rgb"), *map(str, wb)],
                   check=True, cwd=tmp_path, timeout=60)
    return np.fromfile(tmp_path / "out.rgb", dtype=np.uint8).reshape(height, width, 3)


def grab(cam, width=64, height=48):
    assert cam.open_buffers(width * height, 4) == 0
    assert cam.set_read_timeout(5000) == 0  # an image request waits for the next frame
    assert cam.set_camera_window(0, 0, width, height) == 0
    assert cam.set_acquisition_mode(ocamera.AcqMode.FREE_RUN) == 0
    image = cam.get_single_image()
    assert image.result >= 0, image
    return image


def test_grabbed_frame_converts_as_the_library_does(sim, tmp_path, monkeypatch):
    with ocamera.Camera(sim.camera, check=True) as cam:
        image = grab(cam)
        raw = image.data
        assert raw.shape == (48, 64) and raw.dtype == np.uint8 and image.size == 64 * 48
        assert raw.std() > 0, "the simulated scene is not flat"
        Tools, P = ocamera.Tools, ocamera.BayerPattern
        for pattern in (P.GRGR, P.BGBG):
            rgb = Tools.bayer_to_rgb(raw, pattern)
            assert rgb.shape == (48, 64, 3) and rgb.dtype == np.uint8
            np.testing.assert_array_equal(rgb, cxx_convert(tmp_path, raw, pattern))
        # Factors beyond 100 saturate; the file's factors are read from the working directory.
        np.testing.assert_array_equal(Tools.bayer_to_rgb(raw, P.GRGR, wb=(250, 80, 130)),
                                      cxx_convert(tmp_path, raw, P.GRGR, 250, 80, 130))
        monkeypatch.chdir(tmp_path)
        assert Tools.store_white_balance_factors(120, 90, 200) == 0
        assert Tools.get_white_balance_factors() == (0, 120, 90, 200)
        np.testing.assert_array_equal(Tools.bayer_to_rgb(raw, P.GRGR, wb="file"),
                                      cxx_convert(tmp_path, raw, P.GRGR, "file"))
        os.remove(tmp_path / "wb.conf")
        assert Tools.get_white_balance_factors()[1:] == (100, 100, 100)

        # The next frame into a caller's buffer; a buffer too small is refused.
        buffer = np.zeros((48, 64), np.uint8)
        into = cam.get_single_image_into(buffer)
        assert into.data is buffer and into.seq_nr > image.seq_nr and buffer.std() > 0
        with pytest.raises(ValueError, match="3072 bytes"):
            cam.get_single_image_into(bytearray(100))


def test_conversion_reads_the_input_in_place_or_refuses_it():
    raw = np.arange(6 * 8, dtype=np.uint8).reshape(6, 8)
    out = np.empty((6, 8, 3), np.uint8)
    result = ocamera.Tools.bayer_to_rgb(raw, ocamera.BayerPattern.BGBG, out=out)
    assert result is out and out.any()
    read_only = raw.copy()
    read_only.flags.writeable = False
    np.testing.assert_array_equal(
        ocamera.Tools.bayer_to_rgb(read_only, ocamera.BayerPattern.BGBG), out)
    for bad in (raw.T, raw[:, ::2], raw.astype(np.uint16), raw.reshape(-1)):
        with pytest.raises(TypeError, match="C-contiguous uint8"):
            ocamera.Tools.bayer_to_rgb(bad, ocamera.BayerPattern.GRGR)
    with pytest.raises(ValueError):
        ocamera.Tools.bayer_to_rgb(raw, ocamera.BayerPattern.RGRG)
    shared = np.zeros(200, np.uint8)
    with pytest.raises(ValueError, match="overlap"):
        ocamera.Tools.bayer_to_rgb(shared[:16].reshape(2, 8), ocamera.BayerPattern.GRGR,
                                   out=shared[8:56].reshape(2, 8, 3))
    with pytest.raises(ValueError):
        ocamera.Tools.bayer_to_rgb(raw, ocamera.BayerPattern.GRGR, out=np.empty((6, 8, 3)))


def test_image_ram_and_registers(sim):
    with ocamera.Camera(sim.camera) as cam:
        data = bytes(range(256)) * 4
        assert cam.init_image_ram() == 0
        assert cam.write_image_ram(data, 4096) == 0
        assert cam.read_image_ram(4096, len(data)) == (0, data)
        target = np.zeros(512, np.uint8)
        assert cam.read_image_ram_into(target, 4096 + 256) == 0
        assert target.tobytes() == data[256:768]
        status, reduced = cam.read_image_ram_reduced_data(4096, len(data))
        assert status == 0 and len(reduced) <= len(data)
        # Copies inside image RAM land where asked.
        assert cam.image_ram_to_image_ram(4096, 256, 65536, 256) == 0
        assert cam.read_image_ram(65536, 256) == (0, data[:256])
        with pytest.raises(BufferError):
            cam.read_image_ram_into(b"read-only", 0)

        names = cam.get_sensor_register_names()
        assert isinstance(names, list) and names and all(isinstance(n, str) for n in names)
        writable = [n for n in names if cam.set_sensor_register(n, 0x5A) == 0]
        assert writable and len(writable) < len(names)  # some registers are read-only
        assert all(cam.get_sensor_register(n) == (0, 0x5A) for n in writable)
        assert cam.set_shutter_time(1234) == 0 and cam.get_shutter_time() == 1234
        assert cam.set_frame_rate(25) == 0 and cam.set_frame_rate(12.5) == 0
        with pytest.raises(ValueError, match="768"):
            cam.set_white_balance(ocamera.BayerPattern.GRGR, bytes(10))
        assert cam.set_white_balance(ocamera.BayerPattern.GRGR, bytes(768)) == 0


def test_image_ram_reads_are_checked_before_memory_is_taken(sim):
    import resource
    with ocamera.Camera(sim.camera) as cam:
        assert cam.init_image_ram() == 0
        before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss  # KiB
        # 1 GiB past the end of the 16 MiB image RAM: refused as the camera would.
        assert cam.read_image_ram(0, (1 << 30) + 1) == (-17, b"")
        assert cam.read_image_ram_reduced_data(1 << 20, 1 << 30) == (-17, b"")
        assert resource.getrusage(resource.RUSAGE_SELF).ru_maxrss - before < 256 * 1024
        # Inside, a long read still comes whole.
        status, data = cam.read_image_ram((16 << 20) - (2 << 20), 2 << 20)
        assert status == 0 and len(data) == 2 << 20
    with ocamera.Camera(sim.camera, check=True) as cam:
        with pytest.raises(ocamera.CameraError):
            cam.read_image_ram(0xFFFF0000, 1 << 21)


def test_out_of_range_arguments_name_themselves(tmp_path):
    Tools, P = ocamera.Tools, ocamera.BayerPattern
    raw = np.zeros((4, 4), np.uint8)
    for wb, name in (((-1, 100, 100), "wb red"), ((100, 100, 10001), "wb blue"),
                     ((100, 2**40, 100), "wb green")):
        with pytest.raises(ValueError, match=name):
            Tools.bayer_to_rgb(raw, P.GRGR, wb=wb)
    with pytest.raises(ValueError, match="green"):
        Tools.store_white_balance_factors(100, -5, 100)
    # An array wider than the conversion's int takes is refused, never cut down.
    # (A sparse file: nothing of it is read.)
    wide = np.memmap(tmp_path / "wide.raw", np.uint8, "w+", shape=(3, 2**32 + 2))
    with pytest.raises(ValueError, match="width 4294967298"):
        Tools.bayer_to_rgb(wide, P.GRGR)
    del wide
    with pytest.raises(ValueError, match="width must be 0..65535, not 2147483648"):
        ocamera.Stream("127.0.0.1:1", width=2**31)
    with pytest.raises(TypeError, match="height"):
        ocamera.Stream("127.0.0.1:1", height=1.5)
