"""ocamera.Settings: the JSON round trip, the table's checks, apply with
refusals by key, reset, the session record and a stream made with a document."""

import threading

import pytest

import ocamera


def camera_gain(address):
    """The gain as the camera reports it: its ANALOG_GAIN register counts sixteenths."""
    with ocamera.Camera(address, check=True) as cam:
        _, sixteenths = cam.get_sensor_register("ANALOG_GAIN")
        return sixteenths // 16, cam.get_shutter_time()


def test_settings_round_trip_by_name_and_refuse_what_the_table_does_not_allow():
    s = ocamera.Settings({"gain": 4})
    s["shutter_time"] = 5000
    s["frame-rate"] = 12.5
    s["window"] = {"x0": 8, "y0": 4, "width": 320, "height": 240}
    s["triggerSource"] = {"source": "external_e0", "polarity": ocamera.TrigPolarity.ACTIVE_LOW}
    s["illumination"] = True
    s.set_register("ANALOG_GAIN", 0x40)
    s.sensor = ocamera.SensorGeometry(752, 480, ocamera.BayerPattern.BGBG)

    back = ocamera.Settings.from_json(s.to_json())
    assert back == s and back.diff(s) == []
    assert sorted(back) == sorted(["gain", "shutterTime", "frameRate", "window",
                                   "triggerSource", "illumination"])
    assert back["shutter-time"] == 5000 and isinstance(back["gain"], int)
    assert back["frameRate"] == 12.5
    assert back["window"] == {"x0": 8, "y0": 4, "width": 320, "height": 240}
    assert back["trigger_source"] == {"source": "EXTERNAL_E0", "polarity": "ACTIVE_LOW"}
    assert back["illumination"] is True
    assert back.registers == {"ANALOG_GAIN": 0x40}
    assert (back.sensor.width, back.sensor.height, back.sensor.pattern) == (
        752, 480, ocamera.BayerPattern.BGBG)
    assert set(back.origins.values()) == {ocamera.SettingOrigin.GIVEN}
    # Stable text: the same document writes the same bytes.
    assert back.to_json() == s.to_json()

    back["gain"] = 2
    assert back.diff(s) == [("gain", "2", "4")]
    del back["gain"]
    assert "gain" not in back and back.get("gain") is None
    assert back.diff(s) == [("gain", None, "4")]

    with pytest.raises(ValueError, match=r"gain.*1\.\.32"):
        s["gain"] = 40
    assert s["gain"] == 4, "a refused value left the document changed"
    with pytest.raises(KeyError, match="colour"):
        s["colour"] = 1
    with pytest.raises(TypeError, match="gain takes an int"):
        s["gain"] = "4"
    with pytest.raises(KeyError, match="height"):
        s["window"] = {"x0": 0, "y0": 0, "width": 64}
    with pytest.raises(ValueError, match="source"):
        s["trigger_source"] = {"source": "E7", "polarity": "ACTIVE_LOW"}
    with pytest.raises(ValueError, match="colour"):
        ocamera.Settings.from_json('{"format": 1, "colour": 3}')
    with pytest.raises(ValueError, match="format"):
        ocamera.Settings.from_json('{"format": 2}')

    names = [entry["name"] for entry in ocamera.setting_table()]
    assert {"gain", "shutterTime", "window", "acquisitionMode"} <= set(names)
    assert "gain" in ocamera.Settings.__doc__ and "1..32" in ocamera.Settings.__doc__


def test_apply_names_refusals_by_key_and_reset_goes_back_to_power_on(sim, tmp_path):
    with ocamera.Camera(sim.camera) as cam:
        assert (cam.sensor_geometry().width, cam.sensor_geometry().height) == (64, 48)
        profile = ocamera.Settings({"gain": 3, "shutter_time": 4000,
                                    "window": {"x0": 0, "y0": 0, "width": 2000, "height": 48}})
        stopped = cam.apply(profile)
        assert not stopped.ok
        assert [(r.name, r.status) for r in stopped.refused] == [("window", -15)]
        assert "gain" in stopped.not_sent and "shutterTime" in stopped.not_sent
        assert camera_gain(sim.camera) == (1, 10000)

        skipped = cam.apply(profile, skip_refused=True)
        assert [r.name for r in skipped.refused] == ["window"] and not skipped.not_sent
        assert {"gain", "shutterTime"} <= set(skipped.applied)
        assert camera_gain(sim.camera) == (3, 4000)
        record = cam.session_record()
        assert record["gain"] == 3 and "window" not in record
        assert record.origin("gain") == ocamera.SettingOrigin.RECORDED

        read, error = cam.read_settings()
        assert error is None
        assert read["shutter_time"] == 4000
        assert read.origin("shutter_time") == ocamera.SettingOrigin.READ

        reset = cam.reset_settings()
        assert reset.ok, reset.refused
        assert camera_gain(sim.camera) == (1, 10000)
        assert cam.session_record()["window"] == {"x0": 0, "y0": 0, "width": 64, "height": 48}

        # A file round trip, applied back.
        path = str(tmp_path / "good.json")
        skipped_record = ocamera.Settings({"gain": 3, "shutter_time": 4000})
        skipped_record.write_file(path)
        assert cam.apply(ocamera.Settings.read_file(path)).ok
        assert camera_gain(sim.camera) == (3, 4000)
    with pytest.raises(ValueError, match="missing.json"):
        ocamera.Settings.read_file(str(tmp_path / "missing.json"))


def test_stream_applies_its_settings_at_start_and_after_a_restart(sim):
    profile = ocamera.Settings({"gain": 5, "shutter_time": 3000})
    with ocamera.Stream(sim.camera, width=64, height=48, settings=profile, retry_initial_ms=50,
                        retry_max_ms=200) as stream:
        assert stream.start() == 0
        assert camera_gain(sim.camera) == (5, 3000)
        sim.restart()  # the camera comes back at its power-on settings
        watchdog = threading.Timer(60, stream.stop)
        watchdog.start()
        try:
            for _ in stream:
                if stream.stats().recoveries >= 1:
                    break
        finally:
            watchdog.cancel()
        assert stream.stats().recoveries >= 1
        assert camera_gain(sim.camera) == (5, 3000)
