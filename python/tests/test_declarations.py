"""The ctypes declarations against the public header, the export list and the built library."""
from __future__ import annotations

import ctypes
from ctypes import POINTER
from pathlib import Path

import cheader
from quorvex import lowlevel as ll

ROOT = Path(__file__).resolve().parents[2]
HEADER = cheader.parse(ROOT / "include" / "quorvex.h")

_BASE = {"int": ctypes.c_int, "uint8_t": ctypes.c_uint8, "int8_t": ctypes.c_int8,
         "int16_t": ctypes.c_int16, "uint16_t": ctypes.c_uint16, "uint32_t": ctypes.c_uint32,
         "int64_t": ctypes.c_int64, "float": ctypes.c_float, "char": ctypes.c_char}


def _base(name: str):
    return ll.RECORDS[name] if name in ll.RECORDS else _BASE[name]


def expected_param(t: cheader.CType):
    """The ctypes type a parameter of C type ``t`` is passed as (arrays decay to pointers)."""
    dims, pointers = list(t.dims), t.pointers
    if dims:
        dims.pop(0)
        pointers += 1
    if t.base == "void":
        return None if pointers == 0 else ctypes.c_void_p
    if t.base == "char" and pointers == 1 and not dims:
        return ctypes.c_char_p
    inner = _base(t.base)
    for d in reversed(dims):
        inner = inner * d
    assert pointers <= 1, t
    return POINTER(inner) if pointers else inner


def expected_global(t: cheader.CType):
    if t.base == "libusb_device_handle":
        return ctypes.c_void_p
    inner = ctypes.c_char_p if (t.base, t.pointers) == ("char", 1) else _base(t.base)
    for d in reversed(t.dims):
        inner = inner * d
    return inner


def export_list() -> set[str]:
    names = set()
    for path in (ROOT / "exports").glob("*.txt"):
        for line in path.read_text().splitlines():
            line = line.strip()
            if line and not line.startswith("#"):
                names.add(line)
    return names


def test_every_function_declared_as_in_header():
    wrong = []
    for name, c in HEADER.functions.items():
        py = ll.FUNCTIONS.get(name)
        if py is None:
            wrong.append(f"{name}: not declared")
            continue
        # Types decide the calls; the header's parameter names are kept where the package
        # uses them (a record's fields from a function's parameters), so they are compared
        # wherever Python names a parameter other than a plain setting's "value".
        want = [(p.name, expected_param(p.type)) for p in c.params]
        have = [(w if n == "value" else n, t) for (n, t), (w, _) in zip(py.params, want)]
        if len(py.params) != len(want) or have != want or py.result != expected_param(c.result):
            wrong.append(f"{name}: declared {py.result} {list(py.params)}, header {want}")
    assert wrong == []


def test_same_names_in_header_python_and_export_list():
    header = set(HEADER.functions) | set(HEADER.globals)
    python = set(ll.FUNCTIONS) | set(ll.GLOBALS)
    exported = export_list()
    assert exported, "no export list found under exports/"
    assert python - header == set(), "declared in Python but not in the header"
    assert exported - python == set(), "exported but not declared in Python"
    assert header - exported == set(), "in the header but not exported"


def test_globals_typed_as_in_header():
    for name, t in HEADER.globals.items():
        assert ll.GLOBALS[name] == expected_global(t), name


def test_records_laid_out_as_in_header():
    assert set(ll.RECORDS) == set(HEADER.records)
    for name, members in HEADER.records.items():
        cls = ll.RECORDS[name]
        assert cls._pack_ == 1
        assert [m for m, _ in cls._fields_] == [p.name for p in members], name
        assert [t for _, t in cls._fields_] == [expected_global(p.type) for p in members], name
        assert ctypes.sizeof(cls) == HEADER.record_sizes[name], name


def test_every_declaration_resolves_in_the_built_library():
    lib = ll.library()
    missing = [name for name in ll.FUNCTIONS if not hasattr(lib, name)]
    assert missing == []
    for name in ll.GLOBALS:
        ll.variable(name)  # raises ValueError when the library does not export it
    assert ll.variable("baudrate").value == 115200
    assert ll.variable("byDefaultInputNames")[0]  # a table the library fills

