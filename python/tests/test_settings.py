"""Every setting read and written through Display on the simulated display."""
from __future__ import annotations

import importlib.util
from ctypes import byref, c_int16
from pathlib import Path

import quorvex
from quorvex import lowlevel
from quorvex.records import DateTime, InputName


def test_the_shipped_description_is_the_built_tools(tool):
    """The package's settings data is quorvexctl's own list, so a row added to the library's
    table or changed there cannot be missing or stale in Python."""
    script = Path(__file__).resolve().parents[1] / "gen_settings.py"
    spec = importlib.util.spec_from_file_location("gen_settings", script)
    gen = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(gen)
    shipped = gen.SHIPPED.read_text(encoding="utf-8")
    assert shipped == gen.render(gen.table_from_tool(tool)), "run python/gen_settings.py"


def test_function_buttons_are_numbered_by_their_names(display):
    for button in range(1, 5):
        display.set(f"function-button-{button}", 10 + button)
    action = c_int16()
    for button in range(1, 5):
        assert lowlevel.call("GetFunctionButtonSettings", button, byref(action)) == 0
        assert action.value == 10 + button


def test_records_are_written_over_what_the_display_holds(display):
    before = display.get("date-time")
    display.set("date-time", DateTime(year=2030))
    display.set("date-time", {"minute": 5})
    display.set("date-time", {"time_format": 1})
    after = display.get("date-time")
    assert (after.year, after.minute) == (2030, 5)
    assert (after.month, after.day, after.hour) == (before.month, before.day, before.hour)
    after.year, after.month = 2031, 3  # a record read back is written back as it is
    display.set("date-time", after)
    assert display.get("date-time") == after


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
