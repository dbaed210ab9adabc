"""Settings profiles: dump and restore between displays, and between Python and quorvexctl."""
from __future__ import annotations

import ctypes
import json
import os
import subprocess

import pytest

import quorvex
from quorvex import lowlevel
from quorvex.settings import kebab

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
    simulate("displays=3")
    with quorvex.Display(0) as a, quorvex.Display(1) as b, quorvex.Display(2) as c:
        factory = c.dump()
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
        # A factory profile restores as it was read: among others no calibration schedule,
        # whose all-zero record the library's checks refuse.
        b.restore(factory)
        assert writable(b.dump()) == writable(factory)
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


# ---- with the command-line tool

def run_tool(tool, *args, env_text, check=True):
    # Through a daemon, the tool reaches the same one as this process.
    env = dict(os.environ) if "QUORVEX_SOCKET" in os.environ else dict(os.environ, QUORVEX_SIMULATE=env_text)
    done = subprocess.run([str(tool), *args], env=env, check=check, capture_output=True, text=True)
    return done.stdout if check else done


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

    # The other way: the tool restores a Python profile (restore through both is the corpus's).
    mine["settings"]["osd-timeout"] = 55
    file = tmp_path / "profile.json"
    file.write_text(json.dumps(mine))
    run_tool(tool, "--display", "1", "restore", str(file), env_text=text)
    shared_bus()
    with quorvex.Display(1) as d:
        assert writable(d.dump()) == writable(mine)


# ---- one description of every record, the same bytes through both

READY = [("usb-port-binding", 3), ("pip", 1), ("pip-mode", 1), ("web-server", 1)]
# Records the display changes by its own rules as it takes them (the pixel status follows the
# aspect ratio, the window its selector): the same bytes on both displays, not always the
# value written.
KEEPS_ITS_OWN = {"image-scaling", "pip-size", "pip-position"}


def displays_of(state):
    """The two simulated displays' kept state, without what tells them apart."""
    return [{k: v for k, v in d.items() if k != "serial"} for d in json.loads(state.read_text())["displays"]]


def field_values(s):
    """A valid record of every written field at its lowest value (a switch on), and for each
    field, the record with that field alone changed; then values no field may take."""
    def low(f):
        if f.type == "ipv4":
            return "0.0.0.0"
        if f.type == "text":
            return ""
        # A leading 0..1 field switches the rest on (a schedule, the addressing mode).
        return f.high if (f is s.fields[0] and (f.low, f.high) == (0, 1)) else f.low

    def other(f):
        return {"ipv4": "0.0.0.1", "text": "N" * (f.width - 1)}.get(f.type, f.low + 1 if low(f) == f.low else f.low)

    written = [f for f in s.fields if not f.read_only or f.selector]
    base = {f.name: low(f) for f in written}
    good = [dict(base, **{f.name: other(f)}) for f in written]
    bad = []
    for f in written:
        if f.type in ("u8", "s16"):
            bad += [dict(base, **{f.name: v}) for v in (f.low - 1, f.high + 1)]
        else:
            bad.append(dict(base, **{f.name: "999.1.1.1" if f.type == "ipv4" else "N" * f.width}))
    return [(v, written[i]) for i, v in enumerate(good)], bad


def test_record_layouts_are_the_headers(tool):
    """Fields of a record the header declares lie where the header's members lie."""
    for s in quorvex.settings():
        cls = lowlevel.RECORDS.get((s.layout or {}).get("ctype", ""))
        if cls is None:
            continue
        members = {kebab(name): (getattr(cls, name).offset, getattr(cls, name).size) for name, _ in cls._fields_}
        for f in s.fields:
            if f.offset < ctypes.sizeof(cls):
                assert (f.offset, f.width) in members.values(), (s.name, f.name)
            if f.name in members:
                assert members[f.name] == (f.offset, f.width), (s.name, f.name)


def test_every_record_field_round_trips_through_the_tool_and_python(tool, simulate, tmp_path):
    state = tmp_path / "state.json"
    text = simulate(f"displays=2,mode=4096x2160,state={state}")
    for name, value in READY:
        for slot in ("0", "1"):
            run_tool(tool, "-d", slot, "set", name, str(value), env_text=text)
    records = [s for s in quorvex.settings() if s.is_record and s.writable]
    assert records
    tried = 0
    for s in records:
        good, bad = field_values(s)
        for value, changed in good:
            words = [f"{k}={v}" for k, v in value.items()]
            by_tool = run_tool(tool, "-d", "0", "set", s.name, *words, env_text=text, check=False)
            text = simulate(f"displays=2,mode=4096x2160,state={state}")
            with quorvex.Display(1) as d:
                try:
                    d.set(s.name, value)
                    by_python = 0
                except quorvex.QuorvexError:
                    by_python = 1
                assert (by_tool.returncode == 0) == (by_python == 0), (s.name, value, by_tool.stderr)
                if by_python == 0 and s.name not in KEEPS_ITS_OWN:
                    tried += 1
                    got = d.get(s.name)
                    got = got[value[s.selector.name]] if s.type == "record-list" else got
                    assert getattr(got, changed.attr) == value[changed.name], (s.name, changed.name)
            first, second = displays_of(state)
            assert first == second, (s.name, value)
        for value in bad:
            before = state.read_text()
            words = [f"{k}={v}" for k, v in value.items()]
            assert run_tool(tool, "-d", "0", "set", s.name, *words, env_text=text, check=False).returncode == 2, \
                (s.name, value)
            text = simulate(f"displays=2,mode=4096x2160,state={state}")
            with quorvex.Display(1) as d, pytest.raises(quorvex.InvalidArgumentError):
                d.set(s.name, value)
            assert state.read_text() == before, (s.name, value)
    assert tried > 50


# ---- a shared corpus of profiles: the tool and Python give the same result

def corpus(good):
    """name -> profile text: valid, malformed and hostile."""
    def with_settings(**changes):
        settings = dict(good["settings"])
        for k, v in changes.items():
            settings[k.replace("_", "-")] = v
        return json.dumps(dict(good, settings=settings))

    ip = dict(good["settings"]["ip-config"])
    many = ", ".join(f'"k{i}": {i}' for i in range(100_000))
    return {
        "valid": json.dumps(good),
        "write-only-and-actions": with_settings(save_user_preset=3, management_menu_lock=7, factory_reset=0),
        "read-only-of-any-type": with_settings(serial_number=5, backlight_hours="many", display_mode=[1, [2]],
                                               ip_config=dict(ip, mac={"x": 1})),
        "luminance-text": with_settings(luminance="high"),
        "luminance-out-of-range": with_settings(luminance=251),
        "luminance-fraction": with_settings(luminance=120.0),
        "luminance-true": with_settings(luminance=True),
        "year-beyond-64-bits": with_settings(date_time=dict(good["settings"]["date-time"], year=2**64 - 1)),
        "timeout-off-step": with_settings(osd_timeout=7),
        "date-time-partial": with_settings(date_time={"year": 2030}),
        "address-out-of-range": with_settings(ip_config=dict(ip, gateway="999.1.1.1")),
        "unknown-field": with_settings(warmup=dict(good["settings"]["warmup"], sunday=1)),
        "unknown-name": with_settings(brightness=3),
        "other-format": json.dumps(dict(good, format="quorvex-settings/2")),
        "no-settings": json.dumps({"format": "quorvex-settings/1"}),
        "not-json": '{"format": "quorvex-settings/1", "settings": {',
        "deep-nesting": '{"format": "quorvex-settings/1", "settings": {"serial-number": ' + "[" * 100_000 + "]" * 100_000 + "}}",
        "100000-keys": '{"format": "quorvex-settings/1", "settings": {' + many + "}}",
        "too-big": json.dumps(dict(good, padding="x" * (2 << 20))),
    }


def test_the_profile_corpus_gives_the_same_result_through_the_tool_and_python(tool, simulate, tmp_path):
    state = tmp_path / "state.json"
    text = simulate(f"displays=2,state={state}")
    run_tool(tool, "-d", "0", "set", "luminance", "200", env_text=text)
    run_tool(tool, "-d", "0", "set", "warmup", "warmup-enable-status=1", "warmup-time-hour=7",
             "warmup-enable-saturday=1", env_text=text)
    good = json.loads(run_tool(tool, "dump", env_text=text))
    base = state.read_text()
    refused = 0
    for name, profile in corpus(good).items():
        file = tmp_path / f"{name}.json"
        file.write_text(profile)
        state.write_text(base)
        by_tool = run_tool(tool, "-d", "1", "--json", "restore", str(file), env_text=text, check=False)
        after_tool = state.read_text()
        state.write_text(base)
        text = simulate(f"displays=2,state={state}")
        try:
            loaded = quorvex.load_profile(profile)
            _, skipped = quorvex.restore_plan(loaded)
            with quorvex.Display(1) as d:
                result = {"written": d.restore(loaded), "failed": {}, "skipped": skipped}
        except quorvex.InvalidArgumentError:
            result = None
        except quorvex.RestoreError as e:
            result = {"written": e.written, "failed": sorted(e.failed), "skipped": skipped}
        if result is None:
            refused += 1
            assert by_tool.returncode == 2, (name, by_tool.stdout)
            assert after_tool == base == state.read_text(), f"{name}: nothing is written"
            continue
        assert by_tool.returncode in (0, 6), (name, by_tool.stderr)
        theirs = json.loads(by_tool.stdout)
        assert theirs["written"] == result["written"], name
        assert sorted(theirs["failed"]) == sorted(result["failed"]), name
        assert theirs["skipped"] == result["skipped"], name
        assert json.loads(after_tool) == json.loads(state.read_text()), name
    assert refused == 16
    for written in (base, state.read_text()):
        power = [d["power"] for d in json.loads(written)["displays"]]
        assert power[0] == power[1], "no action of a profile runs"


# ---- golden profiles: apply writes what differs, the same through the tool and Python

def without_reasons(report):
    return dict(report, settings=[{k: v for k, v in e.items() if k != "reason"} for e in report["settings"]])


def test_apply_gives_the_same_report_and_display_through_the_tool_and_python(tool, simulate, tmp_path):
    state = tmp_path / "state.json"
    text = simulate(f"displays=2,type2=1,state={state}")
    with quorvex.Display(0) as d:
        change_many(d)
        golden = d.dump()
    file = tmp_path / "golden.json"
    file.write_text(json.dumps(golden))
    base = state.read_text()
    cases = [((), (), False), ((), (), True), (("ip-config", "date-time"), ("luminance",), False),
             (("input-name",), (), True)]
    for include, exclude, check in cases:
        args = ["-d", "1", "--json", "apply", str(file)]
        args += ["--include", *include] if include else []
        args += ["--exclude", *exclude] if exclude else []
        args += ["--check"] if check else []
        state.write_text(base)
        by_tool = run_tool(tool, *args, env_text=text, check=False)
        after_tool = state.read_text()
        state.write_text(base)
        text = simulate(f"displays=2,type2=1,state={state}")
        with quorvex.Display(1) as d:
            mine = d.apply(golden, include=include, exclude=exclude, check=check)
            again = d.apply(golden, include=include, exclude=exclude, check=True)
        case = (include, exclude, check)
        assert by_tool.returncode == (8 if check else 6), (case, by_tool.stderr)
        assert without_reasons(json.loads(by_tool.stdout)) == without_reasons(mine), case
        assert json.loads(after_tool) == json.loads(state.read_text()), case
        assert mine["changed"]
        # What the other monitor type refuses fails; all else holds afterwards, and only that.
        failed = [e["name"] for e in mine["settings"] if e["result"] == "failed"]
        assert ("usb-c-input-config" in failed) != check, case
        left = [e["name"] for e in again["settings"]]
        assert left == (failed if not check else [e["name"] for e in mine["settings"]]), case
        assert ("ip-config" in mine["left-out"]) != ("ip-config" in include), case
        assert ("luminance" in mine["left-out"]) == ("luminance" in exclude), case
    with pytest.raises(quorvex.InvalidArgumentError):
        quorvex.Display(1).apply(golden, exclude=["brightness"])
