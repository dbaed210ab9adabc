"""A reader of the public C header: its exported functions, globals and packed records.

The header keeps to a small, regular subset of C: every exported declaration starts with
``QV_API``, records are ``typedef struct Name { ... } Name;`` between ``#pragma pack`` lines,
and each record's size is asserted with ``_Static_assert``. That is all this reader handles.
"""
from __future__ import annotations

import re
from dataclasses import dataclass, field
from pathlib import Path


@dataclass(frozen=True)
class CType:
    """A C type as written: base name, pointer depth, array dimensions, const-ness."""

    base: str
    pointers: int = 0
    dims: tuple[int, ...] = ()
    const: bool = False


@dataclass(frozen=True)
class Param:
    name: str
    type: CType


@dataclass(frozen=True)
class Function:
    name: str
    result: CType
    params: tuple[Param, ...]


@dataclass
class Header:
    functions: dict[str, Function] = field(default_factory=dict)
    globals: dict[str, CType] = field(default_factory=dict)
    records: dict[str, list[Param]] = field(default_factory=dict)
    record_sizes: dict[str, int] = field(default_factory=dict)


_DECL = re.compile(r"^(?P<type>.*?)(?P<name>[A-Za-z_]\w*)\s*(?P<dims>(\[\s*\d+\s*\])*)$")


def _strip_comments(text: str) -> str:
    text = re.sub(r"/\*.*?\*/", " ", text, flags=re.S)
    return re.sub(r"//[^\n]*", " ", text)


def parse_declarator(text: str) -> Param:
    """``const int16_t gains[3]`` -> Param('gains', CType('int16_t', 0, (3,), True))."""
    text = " ".join(text.split())
    m = _DECL.match(text)
    if m is None:
        raise ValueError(f"cannot read the declaration {text!r}")
    type_text = m.group("type")
    pointers = type_text.count("*")
    words = type_text.replace("*", " ").split()
    const = "const" in words
    words = [w for w in words if w not in ("const", "struct", "extern")]
    if len(words) != 1:
        raise ValueError(f"cannot read the type of {text!r}")
    dims = tuple(int(d) for d in re.findall(r"\d+", m.group("dims")))
    return Param(m.group("name"), CType(words[0], pointers, dims, const))


def parse(path: Path) -> Header:
    text = _strip_comments(path.read_text())
    header = Header()

    for m in re.finditer(r"typedef\s+struct\s+(\w+)\s*\{(.*?)\}\s*(\w+)\s*;", text, flags=re.S):
        members = [parse_declarator(d) for d in m.group(2).split(";") if d.strip()]
        header.records[m.group(3)] = members
    for m in re.finditer(r"_Static_assert\s*\(\s*sizeof\s*\(\s*(\w+)\s*\)\s*==\s*(\d+)", text):
        header.record_sizes[m.group(1)] = int(m.group(2))

    # Exported declarations end at the first ';' after QV_API (a declaration may span lines).
    for m in re.finditer(r"(?m)^\s*QV_API\s+([^;]*);", text):
        decl = " ".join(m.group(1).split()).replace("QV_NOEXCEPT", "").strip()
        if decl.startswith("extern "):
            g = parse_declarator(decl[len("extern "):])
            header.globals[g.name] = g.type
            continue
        fm = re.match(r"^(?P<head>.*?)\((?P<params>.*)\)$", decl)
        if fm is None:
            raise ValueError(f"cannot read the declaration {decl!r}")
        head = parse_declarator(fm.group("head"))
        params_text = fm.group("params").strip()
        params: tuple[Param, ...] = ()
        if params_text and params_text != "void":
            params = tuple(parse_declarator(p) for p in params_text.split(","))
        header.functions[head.name] = Function(head.name, head.type, params)
    return header
