"""Result codes of the library and the exceptions that carry them.

Every library function returns an ``int`` result code: 0 for success, a small negative number
for each kind of failure. The Python layer turns every non-zero code into a
:class:`QuorvexError`, or the subclass for its kind, whose message says what was attempted
(the setting and value) and why it failed.
"""
from __future__ import annotations

import enum
import os
from typing import Any, Optional


class ResultCode(enum.IntEnum):
    """The library's result codes (``RC_...`` in the C header)."""

    OK = 0
    FAILED = -1
    NOT_ALLOWED = -2
    NOT_SUPPORTED = -3
    DEVICE_STATUS = -4
    EXCHANGE_FAILED = -5
    NOT_FOUND = -6
    INVALID_ARGUMENT = -7
    CLAIM_FAILED = -8
    MONITOR_TYPE_FAILED = -9
    NO_DEVICES = -10
    ENUMERATION_FAILED = -11
    USB_UNAVAILABLE = -12

    @property
    def c_name(self) -> str:
        """The constant's name in the C header, e.g. ``RC_NOT_ALLOWED``."""
        return "RC_" + self.name


_REASONS = {
    ResultCode.FAILED: "the operation failed (USB link error, not connected or no reply)",
    ResultCode.NOT_ALLOWED: "the display's current mode does not allow it",
    ResultCode.NOT_SUPPORTED: "this monitor type does not offer the feature",
    ResultCode.DEVICE_STATUS: "the display refused the command",
    ResultCode.EXCHANGE_FAILED: "the display did not answer (exchange failed)",
    ResultCode.NOT_FOUND: "the display is no longer at its recorded USB address",
    ResultCode.INVALID_ARGUMENT: "the value is not valid",
    ResultCode.CLAIM_FAILED: "the display's USB interface could not be claimed (in use by another program?)",
    ResultCode.MONITOR_TYPE_FAILED: "the monitor type could not be read after connecting",
    ResultCode.NO_DEVICES: "no display was found",
    ResultCode.ENUMERATION_FAILED: "the USB devices could not be listed",
    ResultCode.USB_UNAVAILABLE: "USB is not available (cannot initialise USB or open the device)",
}


def describe(code: int) -> str:
    """A short phrase saying what a result code means."""
    try:
        return _REASONS[ResultCode(code)]
    except (ValueError, KeyError):
        return f"unknown result code {code}"


def code_text(code: int) -> str:
    """``RC_NOT_ALLOWED, -2`` for a known code, ``-99`` otherwise."""
    try:
        return f"{ResultCode(code).c_name}, {code}"
    except ValueError:
        return str(code)


class QuorvexError(Exception):
    """A library call failed.

    Attributes:
        code: the result code (a :class:`ResultCode` when the library knows it).
        setting: the setting or action the call was for, if any.
        value: the value that was being written, if any.
        function: the library function that returned the code, if one was called.
    """

    def __init__(self, code: int, message: str, *, setting: Optional[str] = None,
                 value: Any = None, function: Optional[str] = None) -> None:
        super().__init__(message)
        try:
            self.code: int = ResultCode(code)
        except ValueError:
            self.code = code
        self.setting = setting
        self.value = value
        self.function = function
        # A file transfer that failed part way: the host file it stopped in (which may be
        # incomplete) and every host file it wrote, in the order they were written.
        self.path: Optional[str] = None
        self.files: list[str] = []


class NotAllowedError(QuorvexError):
    """The display's current mode forbids the operation (``RC_NOT_ALLOWED``)."""


class NotSupportedError(QuorvexError):
    """The connected monitor type does not offer the feature (``RC_NOT_SUPPORTED``)."""


class RefusedError(QuorvexError):
    """The display answered with a non-zero status (``RC_DEVICE_STATUS``)."""


class LinkError(QuorvexError):
    """The USB link failed: no display, no answer, the device could not be opened or claimed."""


class InvalidArgumentError(QuorvexError, ValueError):
    """A value failed validation, in Python or in the library (``RC_INVALID_ARGUMENT``)."""


class HostError(QuorvexError, OSError):
    """The host refused a transfer's file: a file to send that is missing or cannot be read,
    a directory to download into that is missing or cannot be written.

    Also an :class:`OSError`: ``errno``, ``strerror`` and ``filename`` (= ``path``) say what
    the system refused.
    """

    def __init__(self, attempt: str, path: str, error_number: int, reason: str = "") -> None:
        reason = reason or os.strerror(error_number)
        code = ResultCode.FAILED
        QuorvexError.__init__(self, code, f"Cannot {attempt}: {reason} (the host refused; "
                              f"{code_text(code)}).")
        self.errno = error_number
        self.strerror = reason
        self.filename = path
        self.path = path

    def __str__(self) -> str:
        return str(self.args[0])


_CLASSES = {
    ResultCode.NOT_ALLOWED: NotAllowedError,
    ResultCode.NOT_SUPPORTED: NotSupportedError,
    ResultCode.DEVICE_STATUS: RefusedError,
    ResultCode.INVALID_ARGUMENT: InvalidArgumentError,
}


def error_class(code: int) -> type[QuorvexError]:
    """The exception class for a result code; every code not named by a kind is a link failure."""
    try:
        return _CLASSES.get(ResultCode(code), LinkError)
    except ValueError:
        return QuorvexError


def make_error(code: int, attempt: str, *, detail: str = "", setting: Optional[str] = None,
               value: Any = None, function: Optional[str] = None) -> QuorvexError:
    """The exception for a failed call: "Cannot <attempt>: <reason>[ (<detail>)] (RC_..., n)."."""
    reason = describe(code)
    if detail:
        reason += f" ({detail})"
    message = f"Cannot {attempt}: {reason} ({code_text(code)})."
    return error_class(code)(code, message, setting=setting, value=value, function=function)


def invalid(attempt: str, why: str, *, setting: Optional[str] = None,
            value: Any = None) -> InvalidArgumentError:
    """An :class:`InvalidArgumentError` found before the library was called."""
    code = ResultCode.INVALID_ARGUMENT
    return InvalidArgumentError(code, f"Cannot {attempt}: {why} ({code_text(code)}).",
                                setting=setting, value=value)


class ServiceError(Exception):
    """quorvexd answered a call of :mod:`quorvex.service` with a Varlink error.

    Attributes:
        error: the error's full name, e.g. ``io.quorvex.Display.Locked``.
        name: its last part, e.g. ``Locked``.
        parameters: the error's parameters (``{"uid": 1000, "pid": 4242}`` for ``Locked``).
        method: the method called.
    """

    def __init__(self, method: str, error: str, parameters: Optional[dict] = None) -> None:
        self.method = method
        self.error = error
        self.name = error.rsplit(".", 1)[-1]
        self.parameters = dict(parameters or {})
        shown = ", ".join(f"{k}={v!r}" for k, v in self.parameters.items())
        super().__init__(f"{method}: {error}" + (f" ({shown})" if shown else ""))

    def __getattr__(self, key: str) -> Any:
        # The error's parameters as attributes: e.uid, e.pid, e.job, e.serial ...
        parameters = self.__dict__.get("parameters", {})
        if key in parameters:
            return parameters[key]
        raise AttributeError(key)


class ServiceUnavailableError(ServiceError, ConnectionError):
    """No quorvexd answers where it was looked for, or it closed the connection."""
