"""The display's settings as the library's command table describes them.

The package ships the table's description (``_settings.json``, written from
``quorvexctl list --json`` and ``quorvexctl list --profile-limits`` by
``python/gen_settings.py``): every setting's name, access, value type, valid values, the
display mode it needs and, for records and texts, their bytes: each field's offset, width, type
and range, and how the library's functions take them; and the bounds a profile is read within. Names are the
command-line tool's, so a name works the same in ``quorvexctl get NAME`` and
``Display.get(NAME)``.

Records (several values read or written in one call) are dataclasses made from the same
description, one class per record setting, with the field names in snake case
(``time-format`` -> ``time_format``). Every field defaults to ``None``, which
:meth:`quorvex.Display.set` reads as "keep the display's current value".
"""
from __future__ import annotations

import dataclasses
import json
import re
from dataclasses import dataclass
from importlib import resources
from typing import Any, ClassVar, Mapping, Optional

from .errors import invalid

READ, WRITE, READ_WRITE, ACTION = "read", "write", "read-write", "action"


def kebab(name: str) -> str:
    """A C member or parameter name in the tool's spelling: ``timeFormat`` -> ``time-format``."""
    return re.sub(r"([a-z0-9])([A-Z])", r"\1-\2", name).lower()


def snake(name: str) -> str:
    """A tool name as a Python identifier: ``time-format`` -> ``time_format``."""
    return name.replace("-", "_")


@dataclass(frozen=True)
class Field:
    """One field of a record setting."""

    name: str
    type: str  # "u8", "s16", "float", "text" or "ipv4"
    values: str
    read_only: bool = False  # reported by the display, never written
    selector: bool = False  # picks the entry of a list of records
    offset: int = 0  # where the field lies in the record's bytes, and how many it takes
    width: int = 0
    low: int = 0  # integers: the range a value written must keep to
    high: int = 0

    @property
    def attr(self) -> str:
        """The field's attribute name in the record dataclass."""
        return snake(self.name)


class Record:
    """Base of the record dataclasses; see :func:`record_class`."""

    setting: ClassVar[str]

    def to_dict(self) -> dict[str, Any]:
        """The fields that are set, by their tool names (a profile's record object)."""
        return {f.name.replace("_", "-"): getattr(self, f.name)
                for f in dataclasses.fields(self)  # type: ignore[arg-type]
                if getattr(self, f.name) is not None}

    @classmethod
    def from_dict(cls, values: Mapping[str, Any]) -> "Record":
        """A record from fields given by tool names (``time-format``) or attribute names."""
        names = {f.name for f in dataclasses.fields(cls)}  # type: ignore[arg-type]
        given = {}
        for key, value in values.items():
            attr = snake(str(key))
            if attr not in names:
                raise invalid(f"make a {cls.setting} record", f"it has no field {key!r} (fields: "
                              f"{', '.join(n.replace('_', '-') for n in sorted(names))})",
                              setting=cls.setting, value=dict(values))
            given[attr] = value
        return cls(**given)


@dataclass(frozen=True)
class Setting:
    """One setting of the display: a value to read or change, or an action to run."""

    name: str
    access: str
    family: str
    getter: Optional[str]  # the library's C function names
    setter: Optional[str]
    type: str  # "u8", "s16", "text", "record", "record-list" or "action"
    values: str  # the valid values, as text
    needs: Optional[str]  # the display mode or monitor type it needs, as text
    low: Optional[int] = None
    high: Optional[int] = None
    step: Optional[int] = None
    fields: tuple[Field, ...] = ()
    layout: Optional[Mapping[str, Any]] = None  # the bytes of a described value and its call
    per_display: bool = False  # belongs to one display: Display.apply leaves it unless included

    @property
    def quirk(self) -> Optional[str]:
        """The value's own behaviour beyond its layout ("off-switch", "input-name"), if any."""
        return (self.layout or {}).get("quirk")

    @property
    def selector(self) -> Field:
        """The field that picks the entry of a record-list."""
        return next(f for f in self.fields if f.selector)

    @property
    def readable(self) -> bool:
        return self.access in (READ, READ_WRITE)

    @property
    def writable(self) -> bool:
        return self.access in (WRITE, READ_WRITE)

    @property
    def is_record(self) -> bool:
        return self.type in ("record", "record-list")

    def field(self, name: str) -> Field:
        """The field named ``name`` (tool or attribute spelling)."""
        for f in self.fields:
            if f.name == name or f.attr == name:
                return f
        raise KeyError(name)

    @property
    def record(self) -> type[Record]:
        """The dataclass of this setting's records."""
        return record_class(self.name)


def _setting_from_json(item: Mapping[str, Any]) -> Setting:
    fields = tuple(Field(f["name"], f["type"], f.get("values", ""), bool(f.get("read-only", False)),
                         bool(f.get("selector", False)), f.get("offset", 0), f.get("width", 0),
                         f.get("low", 0), f.get("high", 0)) for f in item.get("fields") or ())
    return Setting(name=item["name"], access=item["access"], family=item.get("family", ""),
                   getter=item.get("getter"), setter=item.get("setter"),
                   type=item.get("type", ""), values=item.get("values", ""),
                   needs=item.get("needs"), low=item.get("low"), high=item.get("high"),
                   step=item.get("step"), fields=fields, layout=item.get("layout"),
                   per_display=bool(item.get("per-display", False)))


def _load() -> tuple[tuple[Setting, ...], dict[str, int]]:
    text = resources.files(__package__).joinpath("_settings.json").read_text(encoding="utf-8")
    description = json.loads(text)
    return (tuple(_setting_from_json(item) for item in description["settings"]),
            dict(description["profile-limits"]))


SETTINGS, PROFILE_LIMITS = _load()
_BY_NAME = {s.name: s for s in SETTINGS}

_FIELD_TYPES = {"u8": int, "s16": int, "float": float, "text": str, "ipv4": str}


def _class_name(setting: str) -> str:
    return "".join(part.capitalize() for part in setting.split("-"))


def _make_record(s: Setting) -> type[Record]:
    members = [(f.attr, Optional[_FIELD_TYPES.get(f.type, Any)], dataclasses.field(default=None))
            for f in s.fields]
    cls = dataclasses.make_dataclass(_class_name(s.name), members, bases=(Record,),
                                     namespace={"setting": s.name})
    cls.__module__ = "quorvex.records"
    cls.__doc__ = (f"A record of the {s.name!r} setting: "
                   + ", ".join(f"{f.attr} ({f.values or f.type}{', read-only' if f.read_only else ''})"
                               for f in s.fields) + ".")
    return cls


RECORDS: dict[str, type[Record]] = {s.name: _make_record(s) for s in SETTINGS if s.is_record}


def all_settings() -> tuple[Setting, ...]:
    """Every setting, in restore order (a setting another one's precondition reads comes first)."""
    return SETTINGS


def find(name: str) -> Setting:
    """The setting named ``name``; :class:`~quorvex.InvalidArgumentError` for an unknown name."""
    try:
        return _BY_NAME[name]
    except KeyError:
        raise invalid(f"use the setting {name!r}", "there is no setting of that name "
                      "(quorvex.settings() lists them)", setting=name) from None


def record_class(name: str) -> type[Record]:
    """The dataclass of the record setting ``name``, e.g. ``record_class("date-time")``."""
    s = find(name)
    if not s.is_record:
        raise invalid(f"make a {name} record", f"{name} is a {s.type} setting, not a record",
                      setting=name)
    return RECORDS[name]
