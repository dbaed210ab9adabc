"""Displays on the bus: scanning, connecting, settings, actions and settings profiles."""
from __future__ import annotations

import ctypes
import errno
import json
import os
import re
import stat
from ctypes import byref, create_string_buffer
from typing import Any, Iterable, Mapping, Optional, Union

from . import _codecs
from . import lowlevel as ll
from ._codecs import BadValue, LibraryFailure
from .errors import (HostError, LinkError, QuorvexError, ResultCode, code_text, describe,
                     invalid, make_error)
from .settings import PROFILE_LIMITS, Record, Setting, all_settings, find, snake

PROFILE_FORMAT = "quorvex-settings/1"
SERIAL_ENTRY = 12  # bytes per serial number in Scan's table
SDK_VERSION_SIZE = 8  # GetSdkVersion's text and its NUL fit

_MODE_REFUSALS = (ResultCode.NOT_ALLOWED, ResultCode.NOT_SUPPORTED)
# Refusals a display's state explains: a profile lists such settings under "skipped".
_STATE_REFUSALS = _MODE_REFUSALS + (ResultCode.DEVICE_STATUS, ResultCode.INVALID_ARGUMENT)

_current: Optional["Display"] = None  # the display the library is connected to
_last_scan: list[str] = []  # serial numbers by slot, as the library recorded them last


def scan() -> list[str]:
    """The serial numbers of the displays on the bus, by slot (at most three).

    Scanning leaves no display connected; an open :class:`Display` reconnects by itself at
    its next call.
    """
    global _current, _last_scan
    with ll.lock():
        table = create_string_buffer(ll.MAX_DISPLAYS * SERIAL_ENTRY)
        found = ll.call("Scan", table)
        _current = None
        if found == ResultCode.NO_DEVICES:
            _last_scan = []
            return []
        if found < 0:
            raise make_error(found, "scan for displays", function="Scan")
        _last_scan = [_codecs.text_of(table.raw[i * SERIAL_ENTRY:(i + 1) * SERIAL_ENTRY])
                      for i in range(found)]
        return list(_last_scan)


def sdk_version() -> str:
    """The library's version text, e.g. ``"v1.0"``."""
    version = create_string_buffer(SDK_VERSION_SIZE)
    rc = ll.call("GetSdkVersion", version)
    if rc != 0:
        raise make_error(rc, "read the SDK version", function="GetSdkVersion")
    return _codecs.text_of(version.raw)


def set_log(enabled: bool) -> None:
    """Shows (True) or hides (False, the default) the library's diagnostic lines.

    The library writes them to standard output. While they are hidden, even the few lines the
    library always prints (the monitor type at every connect, among others) are kept off it.
    """
    ll.set_log(enabled)


def _shown(s: Setting, value: Any) -> str:
    if isinstance(value, Record):
        value = value.to_dict()
    if isinstance(value, Mapping):
        return " ".join(f"{k}={v!r}" if isinstance(v, str) else f"{k}={v}" for k, v in value.items())
    if isinstance(value, list):
        return "; ".join(_shown(s, v) for v in value)
    return repr(value)


def _valid_values(s: Setting) -> str:
    if s.fields:
        return "valid values: " + ", ".join(f"{f.name} {f.values}" for f in s.fields if not f.read_only)
    return f"valid values: {s.values}" if s.values else ""


class RestoreError(QuorvexError):
    """Some settings of a profile could not be written.

    Attributes:
        written: the names of the settings that were written.
        failed: setting name -> the :class:`QuorvexError` that stopped it.
    """

    def __init__(self, written: list[str], failed: dict[str, QuorvexError]) -> None:
        first = next(iter(failed.values()))
        lines = "; ".join(f"{name}: {e}" for name, e in failed.items())
        super().__init__(first.code, f"Cannot restore {len(failed)} of "
                         f"{len(failed) + len(written)} settings: {lines}")
        self.written = written
        self.failed = failed


class Display:
    """One display, connected for as long as the object is open.

    ``Display(slot)`` takes the display in that slot of a fresh scan (0 when neither slot nor
    serial is given); ``Display(serial="...")`` the one with that serial number. Use it as a
    context manager, or call :meth:`close`::

        with quorvex.Display(0) as display:
            display.set("luminance", 120)
            print(display.get("date-time"))

    The library talks to one display at a time. Several ``Display`` objects may be open: each
    call reconnects to its own display when another one was used in between.
    """

    def __init__(self, slot: Optional[int] = None, *, serial: Optional[str] = None) -> None:
        if slot is not None and serial is not None:
            raise invalid("open a display", "give a slot or a serial number, not both")
        self._open = False
        with ll.lock():
            serials = scan()
            if serial is not None:
                if serial not in serials:
                    raise LinkError(ResultCode.NOT_FOUND, f"Cannot open the display {serial!r}: "
                                    f"no display with that serial number is on the bus "
                                    f"(found: {', '.join(serials) or 'none'}) "
                                    f"({code_text(ResultCode.NOT_FOUND)}).")
                slot = serials.index(serial)
            slot = 0 if slot is None else slot
            if isinstance(slot, bool) or not isinstance(slot, int) or not 0 <= slot < ll.MAX_DISPLAYS:
                raise invalid(f"open the display in slot {slot!r}",
                              f"a slot is 0..{ll.MAX_DISPLAYS - 1}", value=slot)
            if slot >= len(serials):
                code = ResultCode.NO_DEVICES if not serials else ResultCode.NOT_FOUND
                raise LinkError(code, f"Cannot open the display in slot {slot}: "
                                f"{len(serials)} display(s) found ({code_text(code)}).")
            self._slot = slot
            self._serial = serials[slot]
            self._monitor_type = 0xFF
            self._open = True
            try:
                self._connect()
            except QuorvexError:
                self._open = False
                raise

    # ---- connection

    @property
    def slot(self) -> int:
        """The display's slot in the last scan."""
        return self._slot

    @property
    def serial(self) -> str:
        """The display's serial number, as the scan found it."""
        return self._serial

    @property
    def monitor_type(self) -> int:
        """The monitor type the display reported when it was connected."""
        return self._monitor_type

    @property
    def closed(self) -> bool:
        return not self._open

    def _connect(self) -> None:
        global _current
        if _last_scan[self._slot:self._slot + 1] != [self._serial]:
            if self._serial not in _last_scan:
                scan()
            if self._serial not in _last_scan:
                raise LinkError(ResultCode.NOT_FOUND, f"Cannot reconnect to the display "
                                f"{self._serial}: it is no longer on the bus "
                                f"({code_text(ResultCode.NOT_FOUND)}).")
            self._slot = _last_scan.index(self._serial)
        rc = ll.call("Connect", self._slot)
        if rc != 0:
            _current = None
            ll.call("Disconnect")
            raise make_error(rc, f"connect to the display {self._serial} in slot {self._slot}",
                             function="Connect")
        _current = self
        self._monitor_type = ll.variable("gu8MonitorType").value

    def _ensure(self) -> None:
        if not self._open:
            raise LinkError(ResultCode.FAILED, f"Cannot use the display {self._serial}: it is "
                            f"closed ({code_text(ResultCode.FAILED)}).")
        if _current is not self:
            self._connect()

    def close(self) -> None:
        """Disconnects the display (when it is the connected one); the object stays closed."""
        global _current
        with ll.lock():
            if self._open and _current is self:
                _current = None
                rc = ll.call("Disconnect")
                self._open = False
                if rc != 0:
                    raise make_error(rc, f"disconnect the display {self._serial}",
                                     function="Disconnect")
            self._open = False

    def __enter__(self) -> "Display":
        return self

    def __exit__(self, *exc: object) -> None:
        self.close()

    def __repr__(self) -> str:
        state = "closed" if not self._open else f"slot {self._slot}, monitor type {self._monitor_type}"
        return f"<quorvex.Display {self._serial} ({state})>"

    # ---- settings

    def get(self, name: str) -> Any:
        """The current value of the setting ``name``.

        An ``int`` for a plain setting, a ``str`` for a text, a record dataclass for a record
        (``quorvex.record_class(name)``) and a list of records for ``input-name``.
        """
        s = find(name)
        if not s.readable:
            raise invalid(f"read {name}", f"{name} cannot be read (access {s.access})", setting=name)
        with ll.lock():
            self._ensure()
            return _to_python(s, self._read(s))

    def set(self, name: str, value: Any) -> None:
        """Changes the setting ``name`` to ``value``.

        A record may be given as its dataclass or as a mapping of fields (tool or attribute
        names); fields left out (or ``None``) keep the display's current values, and read-only
        fields are not written. ``input-name`` takes one record or a list of them, each naming
        its ``input``.
        """
        s = find(name)
        if not s.writable:
            why = (f"{name} is an action; call Display.{snake(name)}()" if s.type == "action"
                   else f"{name} cannot be changed (access {s.access})")
            raise invalid(f"set {name}", why, setting=name, value=value)
        with ll.lock():
            self._ensure()
            self._write(s, self._complete(s, value), value)

    def _read(self, s: Setting) -> Any:
        try:
            return _codecs.codec_for(s).read()
        except LibraryFailure as e:
            raise self._failure(e, f"read {s.name}", s, None) from None

    def _write(self, s: Setting, value: Any, given: Any) -> None:
        attempt = f"set {s.name} to {_shown(s, given)}"
        codec = _codecs.codec_for(s)
        try:
            for entry in value if s.type == "record-list" else [value]:
                codec.write(entry)
        except BadValue as e:
            raise invalid(attempt, str(e), setting=s.name, value=given) from None
        except LibraryFailure as e:
            raise self._failure(e, attempt, s, given) from None

    @staticmethod
    def _failure(e: LibraryFailure, attempt: str, s: Optional[Setting], value: Any) -> QuorvexError:
        detail = ""
        if s is not None and e.code in _MODE_REFUSALS and s.needs:
            detail = f"needs {s.needs}"
        elif s is not None and e.code == ResultCode.INVALID_ARGUMENT:
            detail = _valid_values(s)
        return make_error(e.code, attempt, detail=detail, setting=s.name if s else None,
                          value=value, function=e.function)

    def _complete(self, s: Setting, value: Any) -> Any:
        """``value`` as the codec takes it: records whole, missing fields from the display."""
        if not s.is_record:
            return value
        entries = value if s.type == "record-list" and isinstance(value, (list, tuple)) else [value]
        given = [self._fields_of(s, v) for v in entries]
        writable = [f.name for f in s.fields if not f.read_only]
        if all(all(n in g for n in writable) for g in given):
            return given if s.type == "record-list" else given[0]
        if not s.readable:
            raise invalid(f"set {s.name} to {_shown(s, value)}", "every field must be given",
                          setting=s.name, value=value)
        current = self._read(s)
        if s.type == "record":
            return {**current, **given[0]}
        selector = next(f.name for f in s.fields if f.selector)
        by_key = {entry[selector]: entry for entry in current}
        out = []
        for g in given:
            if g.get(selector) not in by_key:
                raise invalid(f"set {s.name} to {_shown(s, value)}",
                              f"{selector} must be one of {sorted(by_key)}", setting=s.name,
                              value=value)
            out.append({**by_key[g[selector]], **g})
        return out

    @staticmethod
    def _fields_of(s: Setting, value: Any) -> dict[str, Any]:
        if isinstance(value, Record):
            if value.setting != s.name:
                raise invalid(f"set {s.name}", f"a {value.setting} record is not a {s.name} value",
                              setting=s.name, value=value)
            value = value.to_dict()
        if not isinstance(value, Mapping):
            raise invalid(f"set {s.name} to {value!r}", f"give a {s.record.__name__} record or a "
                          f"mapping of its fields", setting=s.name, value=value)
        out: dict[str, Any] = {}
        for key, v in value.items():
            try:
                f = s.field(str(key))
            except KeyError:
                raise invalid(f"set {s.name} to {_shown(s, value)}", f"there is no field {key!r} "
                              f"(fields: {', '.join(f.name for f in s.fields)})",
                              setting=s.name, value=value) from None
            if v is not None:
                out[f.name] = v  # read-only fields go along as hints; no codec writes them
        if s.type == "record-list":
            selector = next(f.name for f in s.fields if f.selector)
            if selector not in out:
                raise invalid(f"set {s.name} to {_shown(s, value)}",
                              f"say which entry with the field {selector}", setting=s.name,
                              value=value)
        return out

    # ---- actions

    def run(self, name: str) -> None:
        """Runs the action ``name`` of the settings table (e.g. ``"factory-reset"``)."""
        s = find(name)
        if s.type != "action":
            raise invalid(f"run {name}", f"{name} is not an action", setting=name)
        with ll.lock():
            self._ensure()
            try:
                _codecs.codec_for(s).run()
            except LibraryFailure as e:
                raise self._failure(e, f"run {name}", s, None) from None

    def _invoke(self, attempt: str, function: str, *args: Any) -> int:
        """Calls a library function on this display; raises for any code but RC_OK."""
        with ll.lock():
            self._ensure()
            rc = ll.call(function, *args)
        if rc != 0:
            raise make_error(rc, attempt, function=function)
        return rc

    @staticmethod
    def _byte(value: Any, what: str, attempt: str) -> int:
        try:
            return _codecs.c_int_value(value, ctypes.c_uint8, what)
        except BadValue as e:
            raise invalid(attempt, str(e), value=value) from None

    def factory_reset(self) -> None:
        """Puts every display setting back to its factory value."""
        self.run("factory-reset")

    def internal_processor_power_off(self) -> None:
        """Powers off the display's internal management processor."""
        self.run("internal-processor-power-off")

    def clear_markers(self) -> None:
        """Clears every marker of the main picture."""
        self._invoke("clear the markers", "ClearMarkers")

    def clear_pip_markers(self) -> None:
        """Clears every marker of the picture-in-picture window."""
        self._invoke("clear the picture-in-picture markers", "ClearPIPMarkers")

    def load_user_preset(self, preset: int) -> None:
        """Loads user preset 1..4."""
        self.set("load-user-preset", preset)

    def save_user_preset(self, preset: int) -> None:
        """Saves the current settings as user preset 1..4."""
        self.set("save-user-preset", preset)

    def lock_management_menu(self, code: int) -> None:
        """Sends a management-menu lock code (any byte; the display decides)."""
        self.set("management-menu-lock", code)

    def recalibrate_active_preset(self) -> None:
        """Recalibrates the active preset (up to 60 minutes); calibration must be enabled."""
        self._invoke("recalibrate the active preset", "RecalibrateActivePreset")

    def configure_and_calibrate_preset(self, color_space: int, option2: int, option3: int,
                                       option4: int, luminance: int) -> None:
        """Configures a preset (colour space 1..8, options 1..6, 1..4, 1..6, luminance
        48..250) and calibrates it (up to 60 minutes); calibration must be enabled."""
        args = (color_space, option2, option3, option4, luminance)
        attempt = "configure and calibrate the preset " + " ".join(map(str, args))
        names = ("color space", "option 2", "option 3", "option 4", "luminance")
        self._invoke(attempt, "ConfigureAndCalibratePreset",
                     *(self._byte(v, n, attempt) for v, n in zip(args, names)))

    def align_internal_calibration_device(self) -> None:
        """Aligns the internal calibration device (up to 20 minutes); calibration and the
        external instrument must be enabled."""
        self._invoke("align the internal calibration device", "AlignInternalCalibrationDevice")

    def check_calibration_mode(self) -> None:
        """Asks the display for its calibration mode; raises when it refuses."""
        self._invoke("query the calibration mode", "GetCalibrationMode")

    def validate_calibration_xml(self) -> None:
        """Asks the display to validate its XML calibration description."""
        self._invoke("validate the XML calibration description", "ValidateTintwisecalXML")

    def position_colorimeter(self) -> None:
        """Asks the display to position its colorimeter (up to 20 minutes)."""
        self._invoke("position the colorimeter", "PositionColorimeter")

    def perform_xml_calibration(self) -> None:
        """Runs the XML-driven calibration (up to 60 minutes); calibration must be enabled."""
        self._invoke("run the XML-driven calibration", "PerformTintwiseCalibration")

    def enable_test_pattern(self) -> None:
        """Switches test-pattern mode on."""
        self._invoke("switch test-pattern mode on", "EnableTestPattern")

    def show_test_pattern(self, red: int, green: int, blue: int) -> None:
        """Shows a flat colour, each level 0..255 (test-pattern mode must be on)."""
        attempt = f"show the test colour {red} {green} {blue}"
        try:
            levels = [_codecs.c_int_value(v, ctypes.c_int16, n)
                      for v, n in ((red, "red"), (green, "green"), (blue, "blue"))]
        except BadValue as e:
            raise invalid(attempt, str(e)) from None
        self._invoke(attempt, "ShowTestPatternforUserMode", *levels)

    def show_service_test_pattern(self, pattern: int) -> None:
        """Shows built-in test pattern 0..9 (test-pattern mode must be on)."""
        attempt = f"show the built-in test pattern {pattern}"
        try:
            number = _codecs.c_int_value(pattern, ctypes.c_uint32, "the pattern")
        except BadValue as e:
            raise invalid(attempt, str(e)) from None
        self._invoke(attempt, "ShowTestPatternServiceMode", number)

    def disable_test_pattern(self) -> None:
        """Leaves test-pattern mode."""
        self._invoke("leave test-pattern mode", "DisableTestPattern")

    def send_file(self, file_type: int, path: Union[str, os.PathLike]) -> None:
        """Uploads a host file; ``file_type`` is an upload code: 0, 2, 7 (text) or 1 (binary).

        Raises :class:`HostError` when the file is missing or cannot be read.
        """
        path = os.fspath(path)
        attempt = f"send {path!r} as file type {file_type}"
        code = self._file_type(file_type, attempt)
        _check_readable(attempt, path)
        try:
            self._invoke(attempt, "SendFileToDisplay", code, os.fsencode(path))
        except QuorvexError as e:
            if e.code == ResultCode.FAILED:
                _check_readable(attempt, path)  # gone or changed meanwhile
            raise

    def get_files(self, file_type: int, directory: Union[str, os.PathLike]) -> list[str]:
        """Downloads every display file of ``file_type`` (3, 6 binary; 4, 5, 8 text) into
        ``directory``; returns the paths of the files written, in the order they arrived.

        Raises :class:`HostError` when the directory is missing or cannot be written. When the
        download fails part way, the error's ``path`` is the file it stopped in (whose last
        chunks may be missing) and its ``files`` every file written.
        """
        directory = os.fspath(directory)
        attempt = f"download the files of type {file_type} into {directory!r}"
        code = self._file_type(file_type, attempt)
        _check_writable(attempt, directory)
        before = _directory_files(directory)
        try:
            self._invoke(attempt, "GetFileFromDisplay", code, os.fsencode(directory))
        except QuorvexError as failure:
            written = _written_files(directory, before)
            if failure.code == ResultCode.FAILED:
                try:
                    _check_writable(attempt, directory)
                except HostError as host:
                    failure = host
            failure.files = [path for path, _ in written]
            if written:
                last = written[-1][1]
                stopped = [path for path, mtime in written if mtime == last]
                failure.path = stopped[-1]
                sizes = ", ".join(f"{path}: {os.path.getsize(path)} bytes" for path in stopped)
                failure.args = (f"{failure.args[0]} The download stopped in {sizes} "
                                f"(may be incomplete).",)
            raise failure from None
        return [path for path, _ in _written_files(directory, before)]

    @staticmethod
    def _file_type(file_type: Any, attempt: str) -> int:
        try:
            return _codecs.c_int_value(file_type, ctypes.c_int, "the file type")
        except BadValue as e:
            raise invalid(attempt, str(e), value=file_type) from None

    # ---- mode queries

    def resolution(self) -> tuple[int, int]:
        """The main picture's active width and height; NotAllowedError without a picture."""
        width, height = ctypes.c_int16(), ctypes.c_int16()
        self._invoke("read the main picture's resolution", "GetImageAdjustmentMode",
                     byref(width), byref(height))
        return width.value, height.value

    def _verdict(self, attempt: str, function: str, *args: Any) -> bool:
        try:
            self._invoke(attempt, function, *args)
        except QuorvexError as e:
            if e.code == ResultCode.NOT_ALLOWED:
                return False
            raise
        return True

    def dci_mode(self, picture: int = 3) -> bool:
        """Whether picture 3 (main) or 4 (picture-in-picture window) shows a DCI timing."""
        attempt = f"check picture {picture} for a DCI timing"
        return self._verdict(attempt, "GetDciMode", self._byte(picture, "the picture", attempt))

    def marker_support(self) -> bool:
        """Whether markers are available at the current resolution and monitor type."""
        return self._verdict("check marker support", "CheckMarkerSupport")

    # ---- profiles

    def dump(self) -> dict[str, Any]:
        """Every readable setting, as a settings profile (the format ``quorvexctl dump`` writes).

        A setting the display's current mode or monitor type refuses is listed under
        ``skipped`` with the reason; any other failure raises.
        """
        settings: dict[str, Any] = {}
        skipped: dict[str, str] = {}
        with ll.lock():
            self._ensure()
            serial = self._read(find("serial-number"))
            for s in all_settings():
                if not s.readable:
                    continue
                try:
                    settings[s.name] = _codecs.codec_for(s).read()
                except LibraryFailure as e:
                    if e.code not in _STATE_REFUSALS:
                        raise self._failure(e, f"read {s.name}", s, None) from None
                    mode = e.code in _MODE_REFUSALS and s.needs
                    skipped[s.name] = f"needs {s.needs}" if mode else describe(e.code)
            monitor_type = ll.variable("gu8MonitorType").value
        return {"format": PROFILE_FORMAT,
                "display": {"serial": serial, "monitor_type": monitor_type,
                            "sdk_version": sdk_version()},
                "settings": settings, "skipped": skipped}

    def restore(self, profile: Mapping[str, Any], *, dry_run: bool = False) -> list[str]:
        """Writes every read-write setting of a profile, in an order the display's mode guards
        accept (picture-in-picture on before its settings, and so on).

        The whole profile is checked first, as ``quorvexctl restore`` checks it: every name
        known, every read-write value of the right type and in range, records whole; nothing
        is written when anything is wrong (:class:`~quorvex.InvalidArgumentError`). Read-only
        settings and ``skipped`` entries are left alone; write-only settings and actions are
        never restored (:func:`restore_plan` says why). Returns the names written (with
        ``dry_run``, the names it would write, writing nothing). When some settings fail, the
        others are still written and :class:`RestoreError` says which failed.
        """
        plan, _ = restore_plan(profile)
        if dry_run:
            return [s.name for s, _ in plan]
        written: list[str] = []
        failed: dict[str, QuorvexError] = {}
        for s, value in plan:
            try:
                self.set(s.name, value)
                written.append(s.name)
            except QuorvexError as e:
                failed[s.name] = e
        if failed:
            raise RestoreError(written, failed)
        return written

    def apply(self, profile: Mapping[str, Any], include: Iterable[str] = (),
              exclude: Iterable[str] = (), check: bool = False) -> dict[str, Any]:
        """Brings the display to a golden profile, writing only what differs (``quorvexctl
        apply``): each read-write setting of the profile is read from the display in restore
        order and written when it differs, then read back. A second run writes nothing.

        Settings that belong to one display (``Setting.per_display``: its network address,
        clock, input names) are left alone unless named in ``include``; ``exclude`` leaves out
        more. With ``check`` nothing is written. The profile is checked whole first, as
        :meth:`restore` checks it. Returns the report ``quorvexctl --json apply`` prints:
        ``{"changed": bool, "settings": [{"name", "from", "to", "result"[, "reason"]}],
        "left-out": [names]}``, ``result`` being "changed", "would change" or "failed"; ``from``
        is None for a setting the display's current mode hides.
        """
        plan, _ = restore_plan(profile)
        include, exclude = {find(n).name for n in include}, {find(n).name for n in exclude}
        entries: list[dict[str, Any]] = []
        left_out: list[str] = []
        with ll.lock():
            self._ensure()
            for s, wanted in plan:
                if s.name in exclude or (s.per_display and s.name not in include):
                    left_out.append(s.name)
                    continue
                live, code = self._try_read(s)
                if code == ResultCode.OK and _holds(s, live, wanted):
                    continue
                entry = {"name": s.name, "from": live, "to": wanted, "result": "would change"}
                if code != ResultCode.OK and code not in _STATE_REFUSALS:
                    entry.update(result="failed", reason="read: " + describe(code))
                elif not check:
                    entry.update(self._apply_one(s, wanted))
                entries.append(entry)
        return {"changed": any(e["result"] != "failed" for e in entries), "settings": entries,
                "left-out": left_out}

    def _try_read(self, s: Setting) -> tuple[Any, int]:
        try:
            return _codecs.codec_for(s).read(), ResultCode.OK
        except LibraryFailure as e:
            return None, e.code

    def _apply_one(self, s: Setting, wanted: Any) -> dict[str, str]:
        """Writes one setting of :meth:`apply` and reads it back: its result and reason."""
        try:
            self._write(s, self._complete(s, wanted), wanted)
        except QuorvexError as e:
            reason = describe(e.code)
            if e.code in _MODE_REFUSALS and s.needs:
                reason += f" (needs {s.needs})"
            return {"result": "failed", "reason": reason}
        after, code = self._try_read(s)
        if code != ResultCode.OK:
            return {"result": "failed", "reason": "read back: " + describe(code)}
        if not _holds(s, after, wanted):
            return {"result": "failed", "reason": f"written, but the display reads {json.dumps(after)}"}
        return {"result": "changed"}


def _holds(s: Setting, live: Any, wanted: Any) -> bool:
    """Whether the display's value ``live`` already holds everything ``wanted`` sets: the same
    number or text, or the same writable fields (of the entry with the same selector, in a
    list)."""
    def same(a: Any, b: Any) -> bool:  # as JSON compares them: true is not 1
        return isinstance(a, bool) == isinstance(b, bool) and a == b

    def record_holds(have: Any, want: Any) -> bool:
        if not isinstance(have, Mapping) or not isinstance(want, Mapping):
            return False
        return all(f.name in have and same(have[f.name], want[f.name])
                   for f in s.fields if not f.read_only and f.name in want)

    if s.type == "record":
        return record_holds(live, wanted)
    if s.type != "record-list":
        return same(live, wanted)
    if not isinstance(live, list) or not isinstance(wanted, list):
        return False
    key = s.selector.name
    by_key = {entry.get(key): entry for entry in live if isinstance(entry, Mapping)}
    return all(isinstance(w, Mapping) and w.get(key) in by_key and record_holds(by_key[w.get(key)], w)
               for w in wanted)


def load_profile(text: Union[str, bytes]) -> dict[str, Any]:
    """A settings profile from its JSON text, read within the bounds ``quorvexctl`` keeps to
    (size, nesting depth, number of keys; ``quorvex.settings.PROFILE_LIMITS``) in time linear
    in its size, and checked as :meth:`Display.restore` checks it."""
    data = text.encode("utf-8", "surrogatepass") if isinstance(text, str) else bytes(text)
    _within_limits(data)
    try:
        profile = json.loads(data)
    except (ValueError, RecursionError):
        raise invalid("read the profile", "not valid JSON") from None
    restore_plan(profile)
    return profile


def _within_limits(data: bytes) -> None:
    limits = PROFILE_LIMITS
    if len(data) > limits["bytes"]:
        raise invalid("read the profile", f"the profile is {len(data)} bytes; at most "
                      f"{limits['bytes']} are read")
    # Depth and member count in one pass over the structure's characters outside strings.
    depth = keys = 0
    for token in _STRUCTURE.finditer(data):
        c = token.group()
        if c in (b"{", b"["):
            depth += 1
            if depth > limits["depth"]:
                raise invalid("read the profile", f"the profile nests deeper than {limits['depth']} levels")
        elif c in (b"}", b"]"):
            depth = max(depth - 1, 0)
        elif c == b":":
            keys += 1
            if keys > limits["keys"]:
                raise invalid("read the profile", f"the profile has more than {limits['keys']} keys")


# A string (to its closing quote, or the end of the text) or one structural character.
_STRUCTURE = re.compile(rb'"(?:[^"\\]|\\.)*"?|[][{}:]', re.DOTALL)


def _check_readable(attempt: str, path: str) -> None:
    """Raises HostError unless ``path`` is a regular file this process can read."""
    try:
        # Non-blocking: a FIFO must not hold the open until a writer comes.
        fd = os.open(path, os.O_RDONLY | os.O_NONBLOCK | os.O_CLOEXEC)
    except OSError as e:
        raise HostError(attempt, path, e.errno or errno.EIO) from None
    try:
        mode = os.fstat(fd).st_mode
    finally:
        os.close(fd)
    if stat.S_ISDIR(mode):
        raise HostError(attempt, path, errno.EISDIR)
    if not stat.S_ISREG(mode):
        raise HostError(attempt, path, errno.EINVAL, "not a regular file")


def _check_writable(attempt: str, directory: str) -> None:
    """Raises HostError unless files can be created in ``directory``."""
    try:
        info = os.stat(directory)
    except OSError as e:
        raise HostError(attempt, directory, e.errno or errno.EIO) from None
    if not stat.S_ISDIR(info.st_mode):
        raise HostError(attempt, directory, errno.ENOTDIR)
    if not os.access(directory, os.W_OK | os.X_OK, effective_ids=os.access in os.supports_effective_ids):
        read_only = os.statvfs(directory).f_flag & os.ST_RDONLY
        raise HostError(attempt, directory, errno.EROFS if read_only else errno.EACCES)
    if os.statvfs(directory).f_bavail == 0:
        raise HostError(attempt, directory, errno.ENOSPC)


def _directory_files(directory: str) -> dict[str, tuple[int, int]]:
    """Size and modification time of each regular file in ``directory``, by path."""
    files = {}
    with os.scandir(directory) as entries:
        for entry in entries:
            try:
                if entry.is_file(follow_symlinks=False):
                    info = entry.stat(follow_symlinks=False)
                    files[entry.path] = (info.st_size, info.st_mtime_ns)
            except OSError:
                pass
    return files


def _written_files(directory: str, before: Mapping[str, tuple[int, int]]) -> list[tuple[str, int]]:
    """The files new or changed since ``before`` and their modification times, oldest first."""
    written = [(path, state[1]) for path, state in _directory_files(directory).items()
               if before.get(path) != state]
    return sorted(written, key=lambda item: (item[1], item[0]))


def restore_plan(profile: Any) -> tuple[list[tuple[Setting, Any]], dict[str, str]]:
    """What restoring ``profile`` writes, in restore order, and the settings it names that are
    never restored with the reason (write-only settings, actions). Checks the whole profile
    first; :class:`~quorvex.InvalidArgumentError` when it is not one ``quorvexctl`` restores."""
    if not isinstance(profile, Mapping) or profile.get("format") != PROFILE_FORMAT:
        raise invalid("restore the profile", f"it is not a settings profile (\"format\" must be "
                      f"\"{PROFILE_FORMAT}\")")
    values = profile.get("settings")
    if not isinstance(values, Mapping):
        raise invalid("restore the profile", "it has no \"settings\" object")
    for name in values:
        find(name)
    plan: list[tuple[Setting, Any]] = []
    skipped: dict[str, str] = {}
    for s in all_settings():
        if s.name not in values:
            continue
        value = values[s.name]
        if s.readable and s.writable:
            try:
                _codecs.check_value(s, value)
            except BadValue as e:
                raise invalid(f"restore {s.name}", str(e), setting=s.name, value=value) from None
            plan.append((s, value))
        elif s.type == "action":
            skipped[s.name] = "an action, never restored"
        elif s.writable:
            skipped[s.name] = "write-only, never restored"
    return plan, skipped


def _to_python(s: Setting, value: Any) -> Any:
    if s.type == "record":
        return s.record.from_dict(value)
    if s.type == "record-list":
        return [s.record.from_dict(v) for v in value]
    return value
