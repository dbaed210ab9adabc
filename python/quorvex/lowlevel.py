"""The library's C interface as ctypes declarations: every exported function and global.

This is the layer under :mod:`quorvex`; use it to call a library function directly with the
C types the header gives. Every function returns the library's ``int`` result code, passed
back unchanged::

    from ctypes import byref, c_int16
    from quorvex import lowlevel

    value = c_int16()
    rc = lowlevel.call("GetDisplayLuminance", byref(value))

The shared library is loaded on first use: the file named by the environment variable
``QUORVEX_LIBRARY`` when it is set, otherwise ``libquorvex.so.1`` from the loader's search
path. Loading it turns the library's diagnostic lines off (see :func:`set_log`).

The library has no locks. :func:`call` serialises every call of this process with one lock,
so Python threads may share it. While the library's logging is off, each call points
descriptor 1 at /dev/null for its duration (the library prints a few lines whatever its switch
holds); what another thread writes to standard output during a call is lost with them.
"""
from __future__ import annotations

import ctypes
import os
import sys
import threading
from ctypes import (POINTER, Structure, c_char, c_char_p, c_float, c_int, c_int8, c_int16,
                    c_int64, c_uint8, c_uint16, c_uint32, c_void_p)
from typing import Any, NamedTuple, Optional

LIBRARY_NAME = "libquorvex.so.1"
MAX_DISPLAYS = 3

# Scalar types of the header, and pointers to them.
INT, U8, S8, U16, S16, U32, S64, FLOAT = c_int, c_uint8, c_int8, c_uint16, c_int16, c_uint32, c_int64, c_float
P_INT, P_U8, P_U16, P_S16, P_FLOAT = POINTER(c_int), POINTER(c_uint8), POINTER(c_uint16), POINTER(c_int16), POINTER(c_float)
# A character buffer: text in, or caller storage of a stated size out.
TEXT = c_char_p


# ---- records, byte for byte as the header packs them

class InputNameRecord(Structure):
    """An input's name as the display carries it (18 bytes)."""

    _pack_ = 1
    _fields_ = [("InputNumber", c_uint8), ("NameType", c_uint8), ("CustomName", c_char * 15),
                ("CustomNameStatus", c_uint8)]


class MarkerDetails(Structure):
    """On-screen marker switches (12 bytes)."""

    _pack_ = 1
    _fields_ = [("clearMarkers", c_uint8)] + [(f"marker{i}", c_uint8) for i in range(1, 12)]


class CalibrationSchedule(Structure):
    """The display's self-calibration schedule (8 bytes)."""

    _pack_ = 1
    _fields_ = [("ScheduleStatus", c_uint8), ("FrequencyType", c_uint8), ("FrequencyCount", c_int16),
                ("DayofWeek", c_uint8), ("TimeHH", c_uint8), ("TimeMM", c_uint8),
                ("TimeMeridian", c_uint8)]


class DisplayWarmupSettings(Structure):
    """The display's warm-up timer (11 bytes)."""

    _pack_ = 1
    _fields_ = [("WarmupEnableStatus", c_uint8), ("WarmupTimeHour", c_uint8),
                ("WarmupTimeMinute", c_uint8), ("WarmuptimeMeridian", c_uint8)] + [
                   (f"WarmupEnable{day}", c_uint8) for day in
                   ("Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday")]


class DateTimeRecord(Structure):
    """The display's date and time (9 bytes)."""

    _pack_ = 1
    _fields_ = [("month", c_uint8), ("day", c_uint8), ("year", c_int16), ("hour", c_uint8),
                ("minute", c_uint8), ("timezone", c_uint8), ("timeFormat", c_uint8),
                ("extraFlag", c_uint8)]


class IPConfigRecord(Structure):
    """The display's IP configuration (49 bytes); the addresses are dotted-decimal texts."""

    _pack_ = 1
    _fields_ = [("ipMode", c_uint8), ("ipAddress", c_char * 16), ("subnetMask", c_char * 16),
                ("gateway", c_char * 16)]


RECORDS: dict[str, type[Structure]] = {
    cls.__name__: cls for cls in (InputNameRecord, MarkerDetails, CalibrationSchedule,
                                  DisplayWarmupSettings, DateTimeRecord, IPConfigRecord)}
RECORD_SIZES = {"InputNameRecord": 18, "MarkerDetails": 12, "CalibrationSchedule": 8,
                "DisplayWarmupSettings": 11, "DateTimeRecord": 9, "IPConfigRecord": 49}
for _name, _cls in RECORDS.items():
    if ctypes.sizeof(_cls) != RECORD_SIZES[_name]:  # pragma: no cover - a layout slip
        raise ImportError(f"{_name} is {ctypes.sizeof(_cls)} bytes, not {RECORD_SIZES[_name]}")


# ---- exported globals

GLOBALS: dict[str, Any] = {
    "ConnectFlag": c_int,
    "g_glimmetHandle": c_void_p,
    "m_claimed_interface": c_uint8,
    "bus_num": c_int8 * 5,
    "dev_num": c_int8 * 5,
    "conn_bus_num": c_int8,
    "conn_dev_num": c_int8,
    "baudrate": c_int,
    "gu8MonitorType": c_uint8,
    "LogMessage": c_uint8,
    "byDefaultInputNames": c_char_p * 5,
    "byPredefinedInputNames": ((c_char * 15) * 10) * 5,
    "sPipLimits": (c_int64 * 6) * 2,
}


# ---- exported functions

class Declaration(NamedTuple):
    """One exported function: its name, C result type and named parameters."""

    name: str
    result: Any
    params: tuple[tuple[str, Any], ...]


FUNCTIONS: dict[str, Declaration] = {}


def _fn(name: str, *params: tuple[str, Any], result: Any = INT) -> None:
    FUNCTIONS[name] = Declaration(name, result, params)

# Discovery and connection
_fn("Scan", ("serialNumbers", TEXT))
_fn("Connect", ("slot", S8))
_fn("Disconnect")
_fn("GetDisplaySerialNumber", ("serialNumber", TEXT))

# Serial-bridge port I/O
_fn("WritePort", ("packet", P_U8), ("length", U16))
_fn("ReadPort", ("packet", P_U8), ("count", P_U16), ("timeout", S64))
_fn("read_data_logic", ("buffer", P_U8), ("size", INT), ("timeout", S64))

# Command exchange
_fn("RegUsbApi", ("packet", P_U8), ("length", U16))
_fn("SetTimeOutForReadPort", ("opcode", U8))
_fn("ubGetGroupId", ("identifier", U8), result=U8)

# Call frame and shared helpers
_fn("s16ValidateSWord16Var", ("value", INT), ("low", INT), ("high", INT))
_fn("SetLog", ("enable", U8))
_fn("GetSdkVersion", ("version", TEXT))

# Display-mode guards
_fn("GetDisplayMode", ("mode", TEXT))
_fn("GetImageAdjustmentMode", ("width", P_S16), ("height", P_S16))
_fn("GetPIPResolution", ("width", P_S16), ("height", P_S16))
_fn("GetDciMode", ("picture", U8))
_fn("CheckMarkerSupport")

# Colour
_fn("GetDownstreamRGBAdjust", ("gains", P_S16), ("offsets", P_S16))
_fn("SetDownstreamRGBAdjust", ("gains", P_S16), ("offsets", P_S16))
_fn("GetCurrentColorSpaceName", ("name", TEXT))
_fn("GetGamma", ("name", TEXT))
_fn("GetRedPrimaryXY", ("x", P_FLOAT), ("y", P_FLOAT))
_fn("GetRedPrimaryUV", ("u", P_FLOAT), ("v", P_FLOAT))
_fn("GetGreenPrimaryXY", ("x", P_FLOAT), ("y", P_FLOAT))
_fn("GetGreenPrimaryUV", ("u", P_FLOAT), ("v", P_FLOAT))
_fn("GetBluePrimaryXY", ("x", P_FLOAT), ("y", P_FLOAT))
_fn("GetBluePrimaryUV", ("u", P_FLOAT), ("v", P_FLOAT))
_fn("GetWhitePrimaryXY", ("x", P_FLOAT), ("y", P_FLOAT))
_fn("GetWhitePrimaryUV", ("u", P_FLOAT), ("v", P_FLOAT))
_fn("GetPresetNameList", ("names", POINTER(c_char * 15)))

# Video inputs and USB binding
_fn("GetVideoInputName", ("input", U8), ("name", TEXT), ("customNameStatus", P_U8))
_fn("SetVideoInputName", ("input", U8), ("nameType", U8), ("customName", TEXT))
_fn("GetUSBBindingConfiguration", ("usb1", P_U8), ("usb2", P_U8))
_fn("SetUSBBindingConfiguration", ("usb1", U8), ("usb2", U8))

# Image processing
_fn("GetImageScaling", ("aspectRatio", P_U8), ("pixelStatus", P_U8))
_fn("SetImageScaling", ("aspectRatio", U8), ("pixelStatus", U8))

# Markers
_fn("ClearMarkers")
_fn("GetMarkerDetails", ("details", POINTER(MarkerDetails)))
_fn("SetMarkerDetails", ("details", POINTER(MarkerDetails)))
_fn("ClearPIPMarkers")
_fn("GetPIPMarkerDetails", ("details", POINTER(MarkerDetails)))
_fn("SetPIPMarkerDetails", ("details", POINTER(MarkerDetails)))

# Picture-in-picture
_fn("GetPIPPosition", ("positionSelector", P_U8), ("x", P_S16), ("y", P_S16))
_fn("SetPIPPosition", ("positionSelector", U8), ("x", S16), ("y", S16))
_fn("GetPIPSize", ("sizeSelector", P_U8), ("width", P_S16), ("height", P_S16))
_fn("SetPIPSize", ("sizeSelector", U8), ("height", S16))

# Presets and calibration
_fn("GetCalibrationSchedule", ("schedule", POINTER(CalibrationSchedule)))
_fn("SetCalibrationSchedule", ("schedule", POINTER(CalibrationSchedule)))
_fn("GetDisplayWarmupSettings", ("settings", POINTER(DisplayWarmupSettings)))
_fn("SetDisplayWarmupSettings", ("settings", POINTER(DisplayWarmupSettings)))
_fn("RecalibrateActivePreset")
_fn("ConfigureAndCalibratePreset", ("colorSpaceIndex", U8), ("option2", U8), ("option3", U8),
    ("option4", U8), ("luminance", U8))
_fn("AlignInternalCalibrationDevice")
_fn("GetCalibrationMode")

# Power, connectivity, maintenance
_fn("PowerOffManageInternalProcessor")
_fn("FactoryReset")

# Clock and on-screen display
_fn("GetDateAndTime", ("record", POINTER(DateTimeRecord)))
_fn("SetDateAndTime", ("record", POINTER(DateTimeRecord)))
_fn("GetOSDPosition", ("x", P_S16), ("y", P_S16))
_fn("SetOSDPosition", ("x", S16), ("y", S16))

# Network
_fn("GetIPConfiguration", ("config", TEXT), ("mac", TEXT))
_fn("SetIPConfiguration", ("config", P_U8))
_fn("SplitIPV4", ("text", TEXT), ("bytes", P_U8), result=None)

# Identity, counters, readouts
_fn("GetFirmwareRevision", ("revision", TEXT))
_fn("GetCustomerIDAsset", ("text", TEXT))
_fn("GetDeploymentDate", ("text", TEXT))
_fn("GetDeploymentLocation", ("text", TEXT))
_fn("GetDisplayName", ("text", TEXT))

# Bezel buttons and notices
_fn("GetFunctionButtonSettings", ("button", U16), ("setting", P_S16))
_fn("SetFunctionButtonSettings", ("button", U16), ("setting", S16))

# Test patterns
_fn("EnableTestPattern")
_fn("ShowTestPatternforUserMode", ("red", S16), ("green", S16), ("blue", S16))
_fn("ShowTestPatternServiceMode", ("pattern", U32))
_fn("DisableTestPattern")

# File transfer and XML calibration
_fn("SendFileToDisplay", ("fileType", INT), ("filePath", TEXT))
_fn("GetFileFromDisplay", ("fileType", INT), ("directory", TEXT))
_fn("ValidateTintwisecalXML")
_fn("PositionColorimeter")
_fn("PerformTintwiseCalibration")


def _declare_plain_rows() -> None:
    """Declares the getter and setter of every plain setting of the command table.

    A plain setting's functions all have one shape: ``Get<X>(uint8_t* value)`` or
    ``Get<X>(int16_t* value)``, and ``Set<X>(uint8_t value)`` or ``Set<X>(int16_t value)``, by
    the setting's type. Their names and types come from the table's description the package
    ships (``_settings.json``), so a setting added to the library needs no declaration here.
    The functions declared above by hand take precedence.
    """
    from importlib import resources
    import json

    text = resources.files(__package__).joinpath("_settings.json").read_text(encoding="utf-8")
    shapes = {"u8": (P_U8, U8), "s16": (P_S16, S16)}
    for item in json.loads(text)["settings"]:
        if item.get("type") not in shapes:
            continue
        out, arg = shapes[item["type"]]
        if item.get("getter") and item["getter"] not in FUNCTIONS:
            _fn(item["getter"], ("value", out))
        if item.get("setter") and item["setter"] not in FUNCTIONS:
            _fn(item["setter"], ("value", arg))


_declare_plain_rows()


# ---- loading and calling

_lock = threading.RLock()
_library: Optional[ctypes.CDLL] = None
_log_message: Any = None  # the library's LogMessage switch
_libc = ctypes.CDLL(None)
_libc.fflush.argtypes = [c_void_p]


def library_path() -> str:
    """The file to load: ``$QUORVEX_LIBRARY`` when set, else ``libquorvex.so.1``."""
    return os.environ.get("QUORVEX_LIBRARY") or LIBRARY_NAME


def library() -> ctypes.CDLL:
    """The loaded library, with every function declared; loaded on first use."""
    global _library, _log_message
    with _lock:
        if _library is None:
            path = library_path()
            try:
                lib = ctypes.CDLL(path)
            except OSError as e:
                raise OSError(f"cannot load the Quorvex library {path!r} ({e}); install "
                              f"libquorvex1 or point QUORVEX_LIBRARY at the file") from e
            for decl in FUNCTIONS.values():
                fn = getattr(lib, decl.name)
                fn.restype = decl.result
                fn.argtypes = [t for _, t in decl.params]
            lib.SetLog(0)
            _log_message = c_uint8.in_dll(lib, "LogMessage")
            _library = lib
        return _library


def function(name: str) -> Any:
    """The declared library function ``name`` (a ctypes function pointer)."""
    if name not in FUNCTIONS:
        raise AttributeError(f"the library exports no function {name!r}")
    return getattr(library(), name)


def variable(name: str) -> Any:
    """The exported global ``name`` as a ctypes object living in the library."""
    return GLOBALS[name].in_dll(library(), name)


class _QuietStdout:
    """Points descriptor 1 at /dev/null around a call while the library's logging is off.

    The library writes its lines to the C stdout, a few of them whatever its logging switch
    holds (the monitor type at every connect, the resolution lines of every mode guard). With
    logging off they go nowhere; with logging on they are left alone.
    """

    def __init__(self) -> None:
        self._saved = -1

    def __enter__(self) -> None:
        if _log_message.value == 1:
            return
        try:
            sys.stdout.flush()
        except (AttributeError, ValueError, OSError):
            pass
        _libc.fflush(None)
        try:
            saved = os.dup(1)
        except OSError:
            return  # no standard output to protect
        null = os.open(os.devnull, os.O_WRONLY)
        os.dup2(null, 1)
        os.close(null)
        self._saved = saved

    def __exit__(self, *exc: object) -> None:
        if self._saved < 0:
            return
        _libc.fflush(None)
        os.dup2(self._saved, 1)
        os.close(self._saved)
        self._saved = -1


def call(name: str, *args: Any) -> Any:
    """Calls the library function ``name`` and returns its result unchanged.

    Calls are serialised with a process-wide lock; while logging is off the library's
    standard output is silenced for the call.
    """
    fn = function(name)  # loads the library first
    with _lock, _QuietStdout():
        return fn(*args)


def lock() -> threading.RLock:
    """The lock :func:`call` holds; hold it to make several calls one uninterrupted step."""
    return _lock


def set_log(enabled: bool) -> None:
    """Turns the library's diagnostic lines on standard output on or off (off after loading)."""
    call("SetLog", 1 if enabled else 0)


def log_enabled() -> bool:
    """Whether the library's diagnostic lines are on."""
    library()
    return _log_message.value == 1
