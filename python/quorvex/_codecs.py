"""How each setting's value travels through the library's C functions.

A plain setting is one byte or one 16-bit word through a ``Get...(T *)`` / ``Set...(T)`` pair.
Every other value is described in the shipped settings description (``_settings.json``, the
library's own description of its records): a block of bytes of a stated size, each field at its
offset with its width, type and range, and the call shape that moves the block through the
library's functions. Values are checked, encoded and decoded from that description alone.

Values here are plain JSON values (numbers, texts, objects of fields by their tool names, lists
of those), the form a settings profile stores; :mod:`quorvex.display` converts to and from
records.
"""
from __future__ import annotations

import ctypes
import math
import re
import struct
from ctypes import byref, create_string_buffer
from typing import Any, Mapping, Optional

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


# ---- values against their description

def _is_int(v: Any) -> bool:
    return isinstance(v, int) and not isinstance(v, bool)


def _valid_ipv4(text: str) -> bool:
    parts = text.split(".")
    return len(parts) == 4 and all(re.fullmatch(r"[0-9]{1,3}", p) and int(p) <= 255 for p in parts)


def _check_field(s: Setting, f: Field, v: Any) -> None:
    what = f"{s.name} {f.name}"
    if f.type in ("u8", "s16"):
        if not (_is_int(v) and f.low <= v <= f.high):
            raise BadValue(f"{what}: {v!r} is not in {f.values}")
    elif f.type in ("text", "ipv4"):
        ok = isinstance(v, str) and "\0" not in v and \
            len(v.encode("utf-8", "surrogatepass")) < f.width and (f.type == "text" or _valid_ipv4(v))
        if not ok:
            raise BadValue(f"{what}: {v!r} is not {f.values}")
    elif f.type == "float" and not (isinstance(v, (int, float)) and not isinstance(v, bool)):
        raise BadValue(f"{what}: not a number")


def _written(f: Field) -> bool:
    return not f.read_only or f.selector


def _is_off(s: Setting, v: Mapping[str, Any]) -> bool:
    return s.quirk == "off-switch" and v.get(s.fields[0].name) == 0


def check_record(s: Setting, v: Any, whole: bool) -> None:
    """``v`` as a record of ``s``: whole (every written field given) or only the fields given;
    read-only fields may hold anything, and so may the rest of a switched-off record."""
    if not isinstance(v, Mapping):
        raise BadValue(f"{s.name}: expected an object of fields")
    switch = s.fields[0]
    if s.quirk == "off-switch" and switch.name in v:
        _check_field(s, switch, v[switch.name])
    off = _is_off(s, v)
    names = {f.name: f for f in s.fields}
    for key, value in v.items():
        f = names.get(key)
        if f is None:
            raise BadValue(f"{s.name}: no field named {key!r} (fields: "
                           f"{', '.join(f.name for f in s.fields if _written(f))})")
        if not _written(f) or (off and f is not switch):
            continue
        _check_field(s, f, value)
    if whole:
        for i, f in enumerate(s.fields):
            if _written(f) and not (off and i > 0) and f.name not in v:
                raise BadValue(f"{s.name}: field {f.name} is missing")


def check_value(s: Setting, value: Any) -> None:
    """A whole value as a profile holds it, checked as the command-line tool checks it."""
    if s.type in ("u8", "s16"):
        if not (_is_int(value) and s.low <= value <= s.high and value % (s.step or 1) == 0):
            raise BadValue(f"{s.name}: {value!r} is not a valid value; valid: {s.values}")
    elif s.type == "text":
        if not isinstance(value, str):
            raise BadValue(f"{s.name}: expected a text")
    elif s.type == "record":
        check_record(s, value, True)
    elif s.type == "record-list":
        if not isinstance(value, list):
            raise BadValue(f"{s.name}: expected an array of records")
        for entry in value:
            check_record(s, entry, True)
    else:
        raise BadValue(f"{s.name} is an action, not a value")


# ---- bytes laid out as the description says

def _from_bytes(f: Field, raw: bytes) -> Json:
    at = raw[f.offset:f.offset + f.width]
    if f.type == "u8":
        return at[0]
    if f.type == "s16":
        return int.from_bytes(at, "little", signed=True)
    if f.type == "float":
        return _thousandths(struct.unpack("<f", at)[0])
    return text_of(at)


def _to_bytes(f: Field, value: Json, buf: Any) -> None:
    if f.type == "u8":
        buf[f.offset] = value
    elif f.type == "s16":
        buf[f.offset:f.offset + 2] = int(value).to_bytes(2, "little", signed=True)
    elif f.type in ("text", "ipv4"):
        data = text_bytes(value, f.width, f"field {f.name}")
        buf[f.offset:f.offset + f.width] = data.ljust(f.width, b"\0")


def _thousandths(v: float) -> float:
    # The display sends chromaticities in thousandths; round half away from zero.
    return math.copysign(math.floor(abs(v) * 1000.0 + 0.5), v) / 1000.0


def decode(s: Setting, raw: bytes) -> Json:
    return {f.name: _from_bytes(f, raw) for f in s.fields}


def encode(s: Setting, value: Mapping[str, Json], buf: Any) -> None:
    """A whole, checked record into ``buf``; a switched-off record goes out with its other
    fields at their lowest values, and an input name marked custom stays custom."""
    off = _is_off(s, value)
    for i, f in enumerate(s.fields):
        if not _written(f):
            if s.quirk == "input-name":
                buf[f.offset] = 1 if value.get(f.name) == 1 and _is_int(value.get(f.name)) else 0
            continue
        if off and i > 0:
            _to_bytes(f, f.low if f.type in ("u8", "s16") else "", buf)
        else:
            _to_bytes(f, value[f.name], buf)


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


class Described(Codec):
    """A text or record moved as the bytes its description lays out; ``layout["call"]`` says
    how those bytes meet the library's functions."""

    def __init__(self, setting: Setting) -> None:
        super().__init__(setting)
        self.size = int(setting.layout["size"])
        self.shape = setting.layout["call"]

    def buffer(self) -> Any:
        return create_string_buffer(self.size + 1)

    @staticmethod
    def at(buf: Any, offset: int, argtype: Any) -> Any:
        return ctypes.cast(ctypes.addressof(buf) + offset, argtype)

    def args(self, function: str, buf: Any, offsets: list[int]) -> list[Any]:
        params = ll.FUNCTIONS[function].params
        return [self.at(buf, o, t) for o, (_, t) in zip(offsets, params)]

    def runs(self, function: str) -> list[int]:
        """Offsets of the arguments of an ``arrays`` call: the fields in equal runs."""
        n = len(ll.FUNCTIONS[function].params)
        run = len(self.setting.fields) // n
        return [self.setting.fields[i * run].offset for i in range(n)]

    def read(self) -> Json:
        s, buf = self.setting, self.buffer()
        getter = s.getter or ""
        if self.shape == "text":
            call(getter, self.at(buf, 0, ll.TEXT))
            return text_of(buf.raw[:self.size])
        if self.shape == "indexed":
            return [self.read_entry(i) for i in range(s.selector.low, s.selector.high + 1)]
        if self.shape == "per-field-pair":
            for a, b in zip(s.fields[::2], s.fields[1::2]):
                colour = a.name.split("-")[0].capitalize()
                function = getter.replace("Red", colour, 1)
                call(function, *self.args(function, buf, [a.offset, b.offset]))
        elif self.shape == "record":
            extra = [f.offset for f in s.fields if f.offset >= int(s.layout["record-size"])]
            call(getter, *self.args(getter, buf, [0] + extra))
        elif self.shape == "values":
            call(getter, *self.args(getter, buf, [f.offset for f in s.fields]))
        elif self.shape == "arrays":
            call(getter, *self.args(getter, buf, self.runs(getter)))
        return decode(s, buf.raw)

    def write(self, value: Json) -> None:
        s, buf = self.setting, self.buffer()
        setter = s.setter or ""
        check_record(s, value, True)
        view = memoryview(buf).cast("B")
        encode(s, value, view)
        if self.shape == "indexed":
            self.write_entry(buf, value)
        elif self.shape == "record":
            call(setter, *self.args(setter, buf, [0]))
        elif self.shape == "arrays":
            call(setter, *self.args(setter, buf, self.runs(setter)))
        elif self.shape == "values":
            raw = buf.raw
            args = [c_int_value(_from_bytes(f, raw), t, f"field {f.name}")
                    for f, (_, t) in zip([f for f in s.fields if _written(f)], ll.FUNCTIONS[setter].params)]
            call(setter, *args)

    # An input's name (the quirk "input-name"): read per input; the setter takes the input, a
    # name type worked out from the name, and the text.
    CUSTOM = 11

    def read_entry(self, i: int) -> Json:
        s, buf = self.setting, self.buffer()
        name, status = s.field("name"), s.field("custom-name-status")
        call(s.getter or "", i, self.at(buf, name.offset, ll.TEXT), self.at(buf, status.offset, ll.P_U8))
        memoryview(buf).cast("B")[s.selector.offset] = i
        return decode(s, buf.raw)

    def name_type(self, i: int, name: str, custom: bool) -> int:
        if custom:
            return self.CUSTOM
        if name == text_of(ll.variable("byDefaultInputNames")[i] or b""):
            return 0
        predefined = ll.variable("byPredefinedInputNames")[i]
        kind = self.CUSTOM
        for k in range(10):
            entry = text_of(bytes(predefined[k]))
            if entry and entry == name:
                kind = k + 1
        return kind

    def write_entry(self, buf: Any, value: Json) -> None:
        s = self.setting
        i = value[s.selector.name]
        name = s.field("name")
        custom = buf.raw[s.field("custom-name-status").offset] == 1
        kind = self.name_type(i, value[name.name], custom)
        call(s.setter or "", i, kind, self.at(buf, name.offset, ll.TEXT))


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
    params = ll.FUNCTIONS[function].params
    if s.type in ("u8", "s16"):
        if len(params) == 1:
            return Plain(s)
        if len(params) == 2 and _is_scalar(params[0][1]):
            return Plain(s, _index_of(s))
    elif s.layout:
        return Described(s)
    raise LookupError(f"{s.name}: no codec takes {function}'s parameters")
