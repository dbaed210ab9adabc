"""Every setting read and written through Display on the simulated display."""
from __future__ import annotations

import importlib.util
from ctypes import byref, c_int16
from pathlib import Path

import pytest

import quorvex
from quorvex import lowlevel
from quorvex.records import DateTime, InputName

PLAIN = [s for s in quorvex.settings() if s.type in ("u8", "s16")]


def other_value(s: quorvex.Setting, current: int) -> int:
    """A valid value of a plain setting other than ``current``."""
    return next(v for v in range(s.low, s.high + 1) if v != current and v % (s.step or 1) == 0)


def round_trip(display, names):
    """Writes a new value to each setting, reads it back, then puts the old value back."""
    wrong = {}
    for name in names:
        s = quorvex.setting(name)
        old = display.get(name)
        new = other_value(s, old)
        display.set(name, new)
        if display.get(name) != new:
            wrong[name] = (new, display.get(name))
        display.set(name, old)
    return wrong


def test_the_shipped_description_is_the_built_tools(tool):
    """The package's settings data is quorvexctl's own list, so a row added to the library's
    table or changed there cannot be missing or stale in Python."""
    script = Path(__file__).resolve().parents[1] / "gen_settings.py"
    spec = importlib.util.spec_from_file_location("gen_settings", script)
    gen = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(gen)
    shipped = gen.SHIPPED.read_text(encoding="utf-8")
    assert shipped == gen.render(gen.table_from_tool(tool)), "run python/gen_settings.py"


def test_every_plain_setting_of_every_family_changes(display):
    read_write = [s for s in PLAIN if s.access == "read-write"]
    pip_settings = [s.name for s in read_write if s.family == "pip" or s.name == "pip-marker-color"]
    others = [s.name for s in read_write if s.name not in pip_settings and s.name != "pip"]

    display.set("dci-image-region", 1)  # the cropped-region settings need a region
    assert round_trip(display, others + ["pip"]) == {}
    display.set("pip", 1)
    # The simulated window's source shows 1920 x 1080, not a DCI timing.
    with pytest.raises(quorvex.NotAllowedError):
        display.get("pip-dci")
    assert round_trip(display, [n for n in pip_settings if n != "pip-dci"]) == {}

    families = {s.family for s in read_write}
    assert {quorvex.setting(n).family for n in others + pip_settings + ["pip"]} == families


def test_function_buttons_are_numbered_by_their_names(display):
    for button in range(1, 5):
        display.set(f"function-button-{button}", 10 + button)
    action = c_int16()
    for button in range(1, 5):
        assert lowlevel.call("GetFunctionButtonSettings", button, byref(action)) == 0
        assert action.value == 10 + button


def test_read_only_values_match_the_table(display):
    for s in PLAIN:
        if s.access == "read":
            assert s.low <= display.get(s.name) <= s.high, s.name
    assert display.get("serial-number") == display.serial == "QVSIM00001"
    assert display.get("display-mode").startswith("4096 x 2160")
    assert display.get("monitor-type") == display.monitor_type == 2


SAMPLES = {
    "rgb-adjust": {"red-gain": 1000, "green-gain": 900, "blue-gain": 800,
                   "red-offset": 500, "green-offset": 510, "blue-offset": 520},
    "usb-binding": {"usb1": 2, "usb2": 4},
    "image-scaling": {"aspect-ratio": 3, "pixel-status": 0},
    "markers": {"marker1": 1, "marker6": 1},
    "pip-markers": {"marker2": 1},
    "pip-size": {"size-selector": 3, "height": 540},
    "pip-position": {"position-selector": 4, "x": 300, "y": 200},
    "calibration-schedule": {"schedule-status": 1, "frequency-type": 2, "frequency-count": 3,
                             "dayof-week": 4, "time-hh": 10, "time-mm": 45, "time-meridian": 1},
    "warmup": {"warmup-enable-status": 1, "warmup-time-hour": 7, "warmup-time-minute": 30,
               "warmuptime-meridian": 0, "warmup-enable-monday": 1, "warmup-enable-friday": 1},
    "date-time": {"month": 12, "day": 24, "year": 2026, "hour": 18, "minute": 30,
                  "timezone": 5, "time-format": 1, "extra-flag": 0},
    "osd-position": {"x": 10, "y": 90},
    "ip-config": {"ip-mode": 1, "ip-address": "10.0.0.5", "subnet-mask": "255.0.0.0",
                  "gateway": "10.0.0.1"},
}


def test_every_writable_record_round_trips(display):
    records = [s for s in quorvex.settings() if s.type == "record" and s.writable]
    assert sorted(SAMPLES) == sorted(s.name for s in records)
    display.set("usb-port-binding", 3)
    display.set("pip", 1)
    for s in records:
        fields = SAMPLES[s.name]
        display.set(s.name, fields)
        got = display.get(s.name)
        assert isinstance(got, s.record)
        writable = {f.name for f in s.fields if not f.read_only}
        want = {name: fields.get(name, 0) for name in writable}
        assert {k: v for k, v in got.to_dict().items() if k in writable} == want, s.name
    # The window's width follows a custom height at 4096:2160.
    assert display.get("pip-size").width == 1024


def test_a_record_read_back_is_written_back_as_it_is(display):
    when = display.get("date-time")
    when.year, when.month = 2031, 3
    display.set("date-time", when)
    assert display.get("date-time") == when


def test_fields_left_out_keep_the_displays_values(display):
    before = display.get("date-time")
    display.set("date-time", DateTime(year=2030))
    display.set("date-time", {"minute": 5})
    display.set("date-time", {"time_format": 1})
    after = display.get("date-time")
    assert (after.year, after.minute) == (2030, 5)
    assert (after.month, after.day, after.hour) == (before.month, before.day, before.hour)


def test_input_names_custom_and_predefined(display):
    names = display.get("input-name")
    assert [n.input for n in names] == [0, 1, 2, 3, 4]
    display.set("input-name", InputName(input=2, name="Grading A"))
    display.set("input-name", [{"input": 3, "name": "Master"}, {"input": 0, "name": "DisplayPort 1"}])
    got = {n.input: (n.name, n.custom_name_status) for n in display.get("input-name")}
    assert got[2] == ("Grading A", 1)
    assert got[3] == ("Master", 0)  # a predefined name of input 3 stays predefined
    assert got[0] == ("DisplayPort 1", 0)
    # Back to the predefined name: the custom-name status clears.
    display.set("input-name", {"input": 2, "name": "Master"})
    assert display.get("input-name")[2].custom_name_status == 0


def test_every_readable_setting_reads_with_the_tables_fields(display):
    # Some settings need picture-in-picture off, others on: read them all between two dumps.
    display.set("usb-port-binding", 3)
    display.set("dci-image-region", 1)
    values = display.dump()["settings"]
    display.set("pip", 1)
    values.update(display.dump()["settings"])
    readable = [s for s in quorvex.settings() if s.readable]
    assert sorted(values) == sorted(s.name for s in readable if s.name != "pip-dci")
    types = {"u8": int, "s16": int, "float": float, "text": str, "ipv4": str}
    for s in readable:
        if s.name not in values:
            continue
        value = values[s.name]
        if s.is_record:
            for entry in value if s.type == "record-list" else [value]:
                assert list(entry) == [f.name for f in s.fields], s.name
                for f in s.fields:
                    assert isinstance(entry[f.name], types[f.type]), (s.name, f.name)
        else:
            assert isinstance(value, str if s.type == "text" else int), s.name


def test_presets_save_and_load(display):
    display.set("luminance", 180)
    display.save_user_preset(2)
    display.set("luminance", 60)
    display.load_user_preset(2)
    assert display.get("luminance") == 180


def test_actions_from_the_table_are_methods(display):
    actions = [s.name for s in quorvex.settings() if s.type == "action"]
    assert actions
    for name in actions:
        assert callable(getattr(display, name.replace("-", "_")))
    display.set("osd-position", {"x": 10, "y": 90})
    display.factory_reset()
    assert display.get("osd-position").to_dict() == {"x": 50, "y": 50}
    display.internal_processor_power_off()
    display.run("factory-reset")


def test_test_patterns_and_calibration(display):
    display.enable_test_pattern()
    assert display.get("test-pattern") != 0
    display.show_test_pattern(10, 20, 30)
    display.show_service_test_pattern(9)
    display.disable_test_pattern()
    assert display.get("test-pattern") == 0
    display.set("calibration", 1)
    display.set("external-instrument", 1)
    display.recalibrate_active_preset()
    display.configure_and_calibrate_preset(2, 1, 1, 1, 100)
    display.align_internal_calibration_device()
    display.check_calibration_mode()
    display.validate_calibration_xml()
    display.position_colorimeter()
    display.perform_xml_calibration()


def test_mode_queries(display):
    assert display.resolution() == (4096, 2160)
    assert display.dci_mode(3) is True
    assert display.marker_support() is True
    display.set("pip", 1)
    assert display.dci_mode(4) is False


def test_files_go_up_and_come_back(display, tmp_path):
    sent = tmp_path / "notes.txt"
    sent.write_text("line one\nline two\n")
    display.send_file(0, sent)
    out = tmp_path / "down"
    out.mkdir()
    received = display.get_files(4, out)
    assert sorted(received) == sorted(str(p) for p in out.iterdir())
    assert (out / "upload0.txt").read_text() == sent.read_text()
    assert (out / "calibration_report.txt").exists()
