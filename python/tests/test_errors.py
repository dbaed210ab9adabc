"""Every failure raises QuorvexError of its kind, with the result code and a sentence."""
from __future__ import annotations

import errno
import os

import pytest

import quorvex
from quorvex import ResultCode, lowlevel


def test_mode_guard_refuses_with_not_allowed(display):
    with pytest.raises(quorvex.NotAllowedError) as e:
        display.set("pip-mode", 2)
    assert e.value.code == ResultCode.NOT_ALLOWED == -2
    assert (e.value.setting, e.value.value, e.value.function) == ("pip-mode", 2, "SetPIPMode")
    assert str(e.value) == ("Cannot set pip-mode to 2: the display's current mode does not allow "
                            "it (needs picture-in-picture on) (RC_NOT_ALLOWED, -2).")


def test_monitor_type_refuses_with_not_supported(simulate):
    simulate("type=1")
    with quorvex.Display() as d:
        assert d.monitor_type == 1
        with pytest.raises(quorvex.NotSupportedError) as e:
            d.get("usb-c-input-config")
    assert e.value.code == ResultCode.NOT_SUPPORTED
    assert "usb-c-input-config" in str(e.value) and "needs monitor type 2" in str(e.value)


def test_display_refusal_is_refused_error(display):
    # The library checks each field's range; the display knows February has no 30th.
    with pytest.raises(quorvex.RefusedError) as e:
        display.set("date-time", {"month": 2, "day": 30})
    assert e.value.code == ResultCode.DEVICE_STATUS
    assert e.value.function == "SetDateAndTime"
    assert str(e.value).startswith("Cannot set date-time to month=2 day=30")
    assert "the display refused the command (RC_DEVICE_STATUS, -4)" in str(e.value)


def test_library_range_check_is_invalid_argument(display):
    with pytest.raises(quorvex.InvalidArgumentError) as e:
        display.set("luminance", 251)
    assert e.value.code == ResultCode.INVALID_ARGUMENT
    assert str(e.value) == ("Cannot set luminance to 251: the value is not valid (valid values: "
                            "48..250) (RC_INVALID_ARGUMENT, -7).")
    with pytest.raises(quorvex.InvalidArgumentError):
        display.set("osd-timeout", 12)  # not a multiple of 5
    with pytest.raises(quorvex.InvalidArgumentError) as e:
        display.set("markers", {"marker1": 1, "marker2": 1})  # a combination the library refuses
    assert e.value.function == "SetMarkerDetails"
    assert display.get("luminance") == 120
    assert isinstance(e.value, ValueError)


def test_values_the_c_types_cannot_hold_never_reach_the_library(display):
    # 257 would arrive as 1 in the library's uint8_t and pass its range check.
    for name, value in [("color-space", 257), ("luminance", 40000), ("color-space", "2"),
                        ("color-space", 1.0), ("input-name", {"input": 1, "name": "x" * 15}),
                        ("ip-config", {"ip-address": "10.0.0.1\0"})]:
        with pytest.raises(quorvex.InvalidArgumentError, match=name):
            display.set(name, value)
    assert display.get("color-space") == 1
    with pytest.raises(quorvex.InvalidArgumentError, match="no field 'colour'"):
        display.set("osd-position", {"colour": 1})
    with pytest.raises(quorvex.InvalidArgumentError, match="cannot be changed"):
        display.set("serial-number", "X")
    with pytest.raises(quorvex.InvalidArgumentError, match="no setting of that name"):
        display.get("brightness")
    with pytest.raises(quorvex.InvalidArgumentError, match="say which entry"):
        display.set("input-name", {"name": "Cam"})


def test_link_failures(simulate, display):
    # The library refuses a malformed bus description without touching real USB.
    simulate("displays=banana")
    with pytest.raises(quorvex.LinkError) as e:
        quorvex.scan()
    assert e.value.code == ResultCode.USB_UNAVAILABLE
    simulate("displays=0")
    assert quorvex.scan() == []
    with pytest.raises(quorvex.LinkError) as e:
        quorvex.Display()
    assert e.value.code == ResultCode.NO_DEVICES


def test_exchange_fails_when_the_link_is_gone(display):
    lowlevel.call("Disconnect")  # behind the object's back: the library has no display now
    with pytest.raises(quorvex.LinkError) as e:
        display.get("luminance")
    assert e.value.code == ResultCode.EXCHANGE_FAILED
    assert e.value.function == "GetDisplayLuminance"


def test_a_display_gone_from_the_bus(simulate):
    simulate("displays=2")
    second = quorvex.Display(serial="QVSIM00002")
    assert second.slot == 1
    simulate("displays=1")
    assert quorvex.scan() == ["QVSIM00001"]
    with pytest.raises(quorvex.LinkError, match="no longer on the bus"):
        second.get("luminance")
    with pytest.raises(quorvex.LinkError, match="no display with that serial"):
        quorvex.Display(serial="QVSIM00002")
    with pytest.raises(quorvex.LinkError) as e:
        quorvex.Display(1)
    assert e.value.code == ResultCode.NOT_FOUND


def test_closed_display_refuses(display):
    display.close()
    assert display.closed
    with pytest.raises(quorvex.LinkError, match="closed"):
        display.get("luminance")


def test_two_displays_share_the_one_connection(simulate):
    simulate("displays=3")
    with quorvex.Display(0) as a, quorvex.Display(2) as c:
        a.set("luminance", 100)
        c.set("luminance", 200)
        assert (a.get("luminance"), c.get("luminance")) == (100, 200)
        assert (a.get("serial-number"), c.get("serial-number")) == ("QVSIM00001", "QVSIM00003")


def test_diagnostic_lines_off_by_default_and_on_when_asked(display, capfd):
    with quorvex.Display(1) as other:  # a connect prints the monitor type whatever logging holds
        other.get("luminance")
    assert capfd.readouterr().out == ""
    quorvex.set_log(True)
    try:
        display.get("luminance")
        with quorvex.Display(1):
            pass
    finally:
        quorvex.set_log(False)
    out = capfd.readouterr().out
    assert "Moniter Type is 2" in out
    assert "Luminance value received = 120 \n" in out


def test_host_files_a_transfer_cannot_use_are_host_errors(display, tmp_path):
    plain = tmp_path / "plain.txt"
    plain.write_text("x")
    for call, path, number in [(display.send_file, tmp_path / "missing", errno.ENOENT),
                               (display.send_file, tmp_path, errno.EISDIR),
                               (display.get_files, tmp_path / "missing", errno.ENOENT),
                               (display.get_files, plain, errno.ENOTDIR),
                               (display.get_files, "/proc/self", None)]:
        with pytest.raises(quorvex.HostError) as e:
            call(1 if call == display.send_file else 3, path)
        assert e.value.path == os.fspath(path) == e.value.filename
        assert isinstance(e.value, OSError) and e.value.code == ResultCode.FAILED
        if number is not None:
            assert e.value.errno == number
            assert str(e.value).endswith(f": {os.strerror(number)} (the host refused; RC_FAILED, -1).")


def test_a_download_that_fails_part_way_names_the_file_it_stopped_in(simulate, tmp_path):
    # The display refuses the third chunk of its first file of type 3 (300 bytes).
    simulate("refuse-chunk=3")
    with quorvex.Display() as d, pytest.raises(quorvex.RefusedError) as e:
        d.get_files(3, tmp_path)
    assert e.value.path == str(tmp_path / "colorimeter_dump.bin")
    assert e.value.files == [e.value.path]
    assert os.path.getsize(e.value.path) == 256
    assert "stopped in" in str(e.value) and "256 bytes" in str(e.value)
