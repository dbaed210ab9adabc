"""How each setting's value travels through the library's C functions.

A plain setting is one byte or one 16-bit word through a ``Get...(T *)`` / ``Set...(T)`` pair;
a text is read into a buffer of the size the header states; a record is one of the header's
packed structures, or several values of one call, matched to fields by the C parameter names.
The few settings whose functions take arrays, several functions per value, or an input or
button number have a codec of their own below.

Values here are plain JSON values (numbers, texts, objects of fields by their tool names, lists
of those), the form a settings profile stores; :mod:`quorvex.display` converts to and from
records.
"""
from __future__ import annotations

import ctypes
import math
from ctypes import byref, create_string_buffer
from typing import Any, Callable, Optional

from . import lowlevel as ll
from .settings import Field, Setting, kebab

Json = Any


class LibraryFailure(Exception):
    """A library function returned a non-zero result code."""

    def __init__(self, code: int, function: str) -> None:
        super().__init__(code, function)
        self.code = code
        self.function = function


class BadValue(Exception):
    """A value that cannot be passed to the library as it stands (the text says why)."""


def call(name: str, *args: Any) -> None:
    rc = ll.call(name, *args)
    if rc != 0:
        raise LibraryFailure(rc, name)


# ---- C values

_RANGES = {ctypes.c_uint8: (0, 0xFF), ctypes.c_int16: (-0x8000, 0x7FFF),
           ctypes.c_uint16: (0, 0xFFFF), ctypes.c_uint32: (0, 0xFFFFFFFF),
           ctypes.c_int8: (-0x80, 0x7F), ctypes.c_int: (-0x80000000, 0x7FFFFFFF)}


def c_int_value(value: Any, ctype: Any, what: str) -> int:
    """``value`` as an integer that ``ctype`` holds without wrapping."""
    if isinstance(value, bool):
        value = int(value)
    elif not isinstance(value, int):
        raise BadValue(f"{what} must be an integer, not {type(value).__name__}")
    low, high = _RANGES[ctype]
    if not low <= value <= high:
        raise BadValue(f"{what} {value} does not fit the library's {ctype.__name__[2:]} "
                       f"({low}..{high})")
    return value


def text_bytes(value: Any, size: int, what: str) -> bytes:
    """``value`` as the bytes of a C text that fits ``size`` bytes with its NUL."""
    if not isinstance(value, str):
        raise BadValue(f"{what} must be a text, not {type(value).__name__}")
    data = value.encode("utf-8", "surrogateescape")
    if b"\0" in data:
        raise BadValue(f"{what} must not contain a NUL character")
    if len(data) > size - 1:
        raise BadValue(f"{what} is {len(data)} bytes long; at most {size - 1} fit")
    return data


def text_of(data: bytes) -> str:
    """A C text (up to its first NUL) as a Python text."""
    return data.split(b"\0", 1)[0].decode("utf-8", "surrogateescape")


def _pointee(ptr_type: Any) -> Any:
    return getattr(ptr_type, "_type_", None)


def _is_scalar(ctype: Any) -> bool:
    return ctype in _RANGES or ctype is ctypes.c_float


# ---- codecs

class Codec:
    """Reads and writes one setting's value through the library."""

    def __init__(self, setting: Setting) -> None:
        self.setting = setting

    def read(self) -> Json:
        raise NotImplementedError

    def write(self, value: Json) -> None:
        raise NotImplementedError

    def run(self) -> None:
        raise NotImplementedError


class Plain(Codec):
    """One byte or word: ``Get...(T *)`` and ``Set...(T)``; an optional leading index."""

    def __init__(self, setting: Setting, index: Optional[int] = None) -> None:
        super().__init__(setting)
        self.index = () if index is None else (index,)
        decl = ll.FUNCTIONS[setting.getter or setting.setter or ""]
        ctype = decl.params[-1][1]
        self.ctype = _pointee(ctype) if setting.getter else ctype

    def read(self) -> Json:
        out = self.ctype()
        call(self.setting.getter or "", *self.index, byref(out))
        return out.value

    def write(self, value: Json) -> None:
        call(self.setting.setter or "", *self.index, c_int_value(value, self.ctype, "the value"))


class Action(Codec):
    """A setter without arguments."""

    def run(self) -> None:
        call(self.setting.setter or "")


# Sizes of the buffers the library fills with a text, as the header states them.
TEXT_SIZES = {"GetDisplaySerialNumber": 11, "GetDisplayMode": 25, "GetCurrentColorSpaceName": 15,
              "GetGamma": 15, "GetFirmwareRevision": 8, "GetCustomerIDAsset": 19,
              "GetDeploymentDate": 11, "GetDeploymentLocation": 19, "GetDisplayName": 19,
              "GetSdkVersion": 5}


class Text(Codec):
    def read(self) -> Json:
        getter = self.setting.getter or ""
        buf = create_string_buffer(TEXT_SIZES[getter])
        call(getter, buf)
        return text_of(buf.raw)


def _field_value(f: Field, raw: Any) -> Json:
    if isinstance(raw, bytes):
        return text_of(raw)
    return raw


def _store(record: ctypes.Structure, member: str, ctype: Any, f: Field, value: Json) -> None:
    what = f"field {f.name}"
    if issubclass(ctype, ctypes.Array):
        data = text_bytes(value, ctypes.sizeof(ctype), what)
        setattr(record, member, data)
    else:
        setattr(record, member, c_int_value(value, ctype, what))


class Struct(Codec):
    """One of the header's packed records, read and written whole; members by kebab name."""

    def __init__(self, setting: Setting) -> None:
        super().__init__(setting)
        decl = ll.FUNCTIONS[setting.getter or setting.setter or ""]
        self.cls = _pointee(decl.params[0][1])
        members = {kebab(m): (m, t) for m, t in self.cls._fields_}
        missing = [f.name for f in setting.fields if f.name not in members]
        if missing:
            raise LookupError(f"{setting.name}: {self.cls.__name__} has no member for {missing}")
        self.members = {f.name: members[f.name] for f in setting.fields}

    def read(self) -> Json:
        record = self.cls()
        call(self.setting.getter or "", byref(record))
        return {f.name: _field_value(f, getattr(record, self.members[f.name][0]))
                for f in self.setting.fields}

    def write(self, value: Json) -> None:
        record = self.cls()
        for f in self.setting.fields:
            if not f.read_only:
                member, ctype = self.members[f.name]
                _store(record, member, ctype, f, value[f.name])
        call(self.setting.setter or "", byref(record))


class Schedule(Struct):
    """The self-calibration schedule.

    The display reports an all-zero record while no schedule is set, and the library checks
    every field even then (the hour must be 1..12) though it sends none of them: a schedule
    that is off goes out as off with an hour the check accepts, so that what was read can be
    written back.
    """

    def write(self, value: Json) -> None:
        if value["schedule-status"] != 0:
            super().write(value)
            return
        off = self.cls()
        off.TimeHH = 1
        call(self.setting.setter or "", byref(off))


class Scalars(Codec):
    """Several values of one call: ``Get...(A *a, B *b)`` and ``Set...(A a, B b)``."""

    def __init__(self, setting: Setting) -> None:
        super().__init__(setting)
        self.get_params = [(kebab(n), _pointee(t)) for n, t in ll.FUNCTIONS[setting.getter].params] \
            if setting.getter else []
        self.set_params = [(kebab(n), t) for n, t in ll.FUNCTIONS[setting.setter].params] \
            if setting.setter else []
        names = {f.name for f in setting.fields}
        for name, _ in self.get_params + self.set_params:
            if name not in names:
                raise LookupError(f"{setting.name}: no field for the parameter {name}")

    def read(self) -> Json:
        outs = [t() for _, t in self.get_params]
        call(self.setting.getter or "", *(byref(o) for o in outs))
        return {name: out.value for (name, _), out in zip(self.get_params, outs)}

    def write(self, value: Json) -> None:
        args = [c_int_value(value[name], t, f"field {name}") for name, t in self.set_params]
        call(self.setting.setter or "", *args)


class RgbAdjust(Codec):
    """Gains and offsets of red, green and blue: two arrays of three in one call."""

    COLOURS = ("red", "green", "blue")

    def read(self) -> Json:
        gains, offsets = (ctypes.c_int16 * 3)(), (ctypes.c_int16 * 3)()
        call(self.setting.getter or "", gains, offsets)
        out = {f"{c}-gain": gains[i] for i, c in enumerate(self.COLOURS)}
        out.update({f"{c}-offset": offsets[i] for i, c in enumerate(self.COLOURS)})
        return out

    def write(self, value: Json) -> None:
        def array(kind: str) -> Any:
            return (ctypes.c_int16 * 3)(*(c_int_value(value[f"{c}-{kind}"], ctypes.c_int16,
                                                      f"field {c}-{kind}") for c in self.COLOURS))
        call(self.setting.setter or "", array("gain"), array("offset"))


def _thousandths(v: float) -> float:
    # The display sends chromaticities in thousandths; round half away from zero.
    return math.copysign(math.floor(abs(v) * 1000.0 + 0.5), v) / 1000.0


class Primaries(Codec):
    """x, y (or u', v') of red, green, blue and white: one function per colour."""

    COLOURS = ("Red", "Green", "Blue", "White")

    def __init__(self, setting: Setting) -> None:
        super().__init__(setting)
        getter = setting.getter or ""
        self.suffix = getter[len("GetRedPrimary"):]  # "XY" or "UV"
        self.axes = [kebab(n) for n, _ in ll.FUNCTIONS[getter].params]

    def read(self) -> Json:
        out = {}
        for colour in self.COLOURS:
            a, b = ctypes.c_float(), ctypes.c_float()
            call(f"Get{colour}Primary{self.suffix}", byref(a), byref(b))
            out[f"{colour.lower()}-{self.axes[0]}"] = _thousandths(a.value)
            out[f"{colour.lower()}-{self.axes[1]}"] = _thousandths(b.value)
        return out


class PresetNames(Codec):
    """The eight colour-space preset names, 15 bytes each."""

    def read(self) -> Json:
        names = ((ctypes.c_char * 15) * 8)()
        call(self.setting.getter or "", names)
        return {f"name-{i + 1}": text_of(bytes(n)) for i, n in enumerate(names)}


class IpConfig(Codec):
    """The IP configuration record (passed as bytes) and the MAC text beside it."""

    MAC_SIZE = 18

    def __init__(self, setting: Setting) -> None:
        super().__init__(setting)
        self.members = {kebab(m): (m, t) for m, t in ll.IPConfigRecord._fields_}

    def read(self) -> Json:
        record = ll.IPConfigRecord()
        mac = create_string_buffer(self.MAC_SIZE)
        call(self.setting.getter or "", ctypes.cast(byref(record), ctypes.c_char_p), mac)
        out = {name: _field_value(self.setting.field(name), getattr(record, m))
               for name, (m, _) in self.members.items()}
        out["mac"] = text_of(mac.raw)
        return out

    def write(self, value: Json) -> None:
        record = ll.IPConfigRecord()
        for name, (member, ctype) in self.members.items():
            _store(record, member, ctype, self.setting.field(name), value[name])
        call(self.setting.setter or "", ctypes.cast(byref(record), ll.P_U8))


class InputNames(Codec):
    """The name of every video input, one record per input.

    The display reports a name and whether it is a custom one; a name that is not custom is
    written back as the default or predefined name of that input it matches.
    """

    INPUTS = 5
    CUSTOM = 11
    NAME_SIZE = 15

    def read(self) -> Json:
        out = []
        for i in range(self.INPUTS):
            out.append(self.read_one(i))
        return out

    def read_one(self, i: int) -> Json:
        name = create_string_buffer(self.NAME_SIZE)
        status = ctypes.c_uint8()
        call(self.setting.getter or "", i, name, byref(status))
        return {"input": i, "name": text_of(name.raw), "custom-name-status": status.value}

    def name_type(self, i: int, name: str, custom: bool) -> int:
        if custom or not 0 <= i < self.INPUTS:
            return self.CUSTOM
        if name == text_of(ll.variable("byDefaultInputNames")[i] or b""):
            return 0
        predefined = ll.variable("byPredefinedInputNames")[i]
        for k in range(10):
            entry = text_of(bytes(predefined[k]))
            if entry and entry == name:
                return k + 1
        return self.CUSTOM

    def write(self, value: Json) -> None:
        i = c_int_value(value["input"], ctypes.c_uint8, "field input")
        name = value["name"]
        data = text_bytes(name, self.NAME_SIZE, "field name")
        kind = self.name_type(i, name, value.get("custom-name-status") == 1)
        call(self.setting.setter or "", i, kind, data)


_SPECIAL: dict[str, Callable[[Setting], Codec]] = {
    "GetCalibrationSchedule": Schedule,
    "GetDownstreamRGBAdjust": RgbAdjust,
    "GetRedPrimaryXY": Primaries,
    "GetRedPrimaryUV": Primaries,
    "GetPresetNameList": PresetNames,
    "GetIPConfiguration": IpConfig,
    "GetVideoInputName": InputNames,
}


def _index_of(s: Setting) -> int:
    # Rows that share one indexed function are numbered by their names: function-button-3.
    try:
        return int(s.name.rsplit("-", 1)[1])
    except (IndexError, ValueError):
        raise LookupError(f"{s.name}: its functions take a number the name does not give") from None


def codec_for(s: Setting) -> Codec:
    """The codec of a setting; LookupError when its functions have a shape no codec takes."""
    function = s.getter or s.setter
    if s.type == "action":
        return Action(s)
    if function is None or function not in ll.FUNCTIONS:
        raise LookupError(f"{s.name}: the library declares no function {function!r}")
    if function in _SPECIAL:
        return _SPECIAL[function](s)
    params = ll.FUNCTIONS[function].params
    if s.type in ("u8", "s16"):
        if len(params) == 1:
            return Plain(s)
        if len(params) == 2 and _is_scalar(params[0][1]):
            return Plain(s, _index_of(s))
    elif s.type == "text" and function in TEXT_SIZES:
        return Text(s)
    elif s.type == "record" and len(params) == 1 and _pointee(params[0][1]) in ll.RECORDS.values():
        return Struct(s)
    elif s.type == "record" and all(_is_scalar(_pointee(t)) for _, t in params):
        return Scalars(s)
    raise LookupError(f"{s.name}: no codec takes {function}'s parameters")
