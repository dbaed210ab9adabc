"""Settings profiles: dump and restore between displays, and between Python and quorvexctl."""
from __future__ import annotations

import json
import os
import subprocess

import pytest

import quorvex

WRITABLE = [s.name for s in quorvex.settings() if s.access == "read-write"]


def writable(profile):
    return {k: v for k, v in profile["settings"].items() if k in WRITABLE}


def change_many(d: quorvex.Display) -> None:
    """Moves settings of most families away from their factory values."""
    d.set("luminance", 200)
    d.set("color-space", 3)
    d.set("osd-timeout", 45)
    d.set("date-time", {"year": 2027, "month": 1, "day": 31})
    d.set("input-name", {"input": 1, "name": "Grade B"})
    d.set("rgb-adjust", {"red-gain": 700})
    d.set("markers", {"marker1": 1})
    d.set("calibration-schedule", {"schedule-status": 1, "frequency-type": 1, "frequency-count": 2,
                                   "dayof-week": 3, "time-hh": 9, "time-mm": 15,
                                   "time-meridian": 0})
    d.set("web-server", 1)
    d.set("ip-config", {"ip-mode": 1, "ip-address": "10.1.2.3"})
    d.set("bezel-button-brightness", 30)
    d.set("function-button-2", 17)
    d.set("pip", 1)
    d.set("pip-size", {"size-selector": 3, "height": 900})
    d.set("pip-secondary-input", 4)


def test_restore_makes_another_display_the_same(simulate):
    simulate("displays=2")
    with quorvex.Display(0) as a, quorvex.Display(1) as b:
        change_many(a)
        profile = a.dump()
        assert profile["format"] == quorvex.PROFILE_FORMAT
        assert profile["display"] == {"serial": "QVSIM00001", "monitor_type": 2,
                                      "sdk_version": "v1.0"}
        assert "pip-dci" in profile["skipped"]
        assert writable(b.dump()) != writable(profile)
        written = b.restore(json.loads(json.dumps(profile)))  # as if read back from a file
        assert set(written) == set(writable(profile))
        copy = b.dump()
    assert writable(copy) == writable(profile)
    assert copy["skipped"] == profile["skipped"]
    assert copy["settings"]["serial-number"] == "QVSIM00002"


def test_a_factory_profile_restores_as_it_was_read(simulate):
    # Among others: no calibration schedule, whose all-zero record the library's checks refuse.
    simulate("displays=2")
    with quorvex.Display(0) as a, quorvex.Display(1) as b:
        b.set("calibration-schedule", {"schedule-status": 1, "frequency-type": 1,
                                       "frequency-count": 2, "dayof-week": 3, "time-hh": 9,
                                       "time-mm": 15, "time-meridian": 0})
        profile = a.dump()
        b.restore(profile)
        assert writable(b.dump()) == writable(profile)
        assert b.get("calibration-schedule").schedule_status == 0


def test_restore_reports_what_the_target_refuses(simulate):
    simulate("displays=2,mode2=none")  # display 2 shows no picture: no image processing
    with quorvex.Display(0) as a, quorvex.Display(1) as b:
        a.set("overscan", 1)
        profile = a.dump()
        with pytest.raises(quorvex.RestoreError) as e:
            b.restore(profile)
        assert "overscan" in e.value.failed
        assert isinstance(e.value.failed["overscan"], quorvex.NotAllowedError)
        assert "luminance" in e.value.written
        assert "overscan" in str(e.value)
        b.set("luminance", 60)
        a.set("luminance", 90)
        with pytest.raises(quorvex.RestoreError):
            b.restore(a.dump())
        assert b.get("luminance") == 90  # the rest was written


def test_profiles_are_checked_before_anything_is_written(display):
    good = display.dump()
    bad = [dict(good, format="quorvex-settings/2"),
           dict(good, settings={**good["settings"], "brightness": 3}),
           dict(good, settings={**good["settings"], "luminance": "high"}),
           dict(good, settings={**good["settings"], "luminance": 60, "date-time": [1, 2]})]
    for profile in bad:
        with pytest.raises(quorvex.InvalidArgumentError):
            display.restore(profile)
    assert display.get("luminance") == 120
    plan = display.restore(dict(good, settings={"luminance": 60, "serial-number": "X"}),
                           dry_run=True)
    assert plan == ["luminance"]
    assert display.get("luminance") == 120


# ---- with the command-line tool

def run_tool(tool, *args, env_text):
    # Through a daemon, the tool reaches the same one as this process.
    env = dict(os.environ) if "QUORVEX_SOCKET" in os.environ else dict(os.environ, QUORVEX_SIMULATE=env_text)
    return subprocess.run([str(tool), *args], env=env, check=True, capture_output=True,
                          text=True).stdout


@pytest.fixture
def shared_bus(tool, simulate, tmp_path):
    """reopen() -> a configuration of two simulated displays kept in a state file, so that
    quorvexctl and this process see the same displays; each call makes this process load the
    file afresh (the library builds a new bus when the configuration text changes)."""
    state = tmp_path / "state.json"
    return lambda: simulate(f"displays=2,state={state}")


def test_profiles_move_between_the_tool_and_python(tool, shared_bus, tmp_path):
    text = shared_bus()
    run_tool(tool, "set", "luminance", "210", env_text=text)
    run_tool(tool, "set", "date-time", "year=2029", env_text=text)

    text = shared_bus()
    with quorvex.Display(0) as d:
        assert d.get("luminance") == 210
        assert d.get("date-time").year == 2029
        change_many(d)
        mine = d.dump()
    assert json.loads(run_tool(tool, "dump", env_text=text)) == mine

    # The tool restores a Python profile onto display 1; Python reads it back.
    mine["settings"]["osd-timeout"] = 55
    file = tmp_path / "profile.json"
    file.write_text(json.dumps(mine))
    run_tool(tool, "--display", "1", "restore", str(file), env_text=text)
    shared_bus()
    with quorvex.Display(1) as d:
        assert writable(d.dump()) == writable(mine)
        # And the other way: a profile of the tool's restored by Python.
        theirs = json.loads(run_tool(tool, "dump", env_text=text))
        d.restore(theirs)
        assert writable(d.dump()) == writable(theirs)
