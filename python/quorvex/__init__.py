"""Control Quorvex reference displays over USB from Python.

::

    import quorvex

    print(quorvex.scan())                   # serial numbers by slot
    with quorvex.Display(0) as display:     # or Display(serial="...")
        display.set("luminance", 120)       # the names quorvexctl uses
        when = display.get("date-time")     # records are dataclasses
        profile = display.dump()            # a settings profile, as quorvexctl dump writes

Every failure raises :class:`QuorvexError` (or its subclass for the kind of failure) with the
library's result code in ``.code``. The library's diagnostic lines are off unless
``quorvex.set_log(True)``.

The package loads ``libquorvex.so.1`` through the loader's search path, or the file named by
the environment variable ``QUORVEX_LIBRARY``. The C functions themselves are in
:mod:`quorvex.lowlevel`. :mod:`quorvex.service` reaches the displays through quorvexd by setting
name instead, without the library.
"""
from .display import (PROFILE_FORMAT, Display, RestoreError, load_profile, restore_plan, scan,
                      sdk_version, set_log)
from .errors import (HostError, InvalidArgumentError, LinkError, NotAllowedError,
                     NotSupportedError, QuorvexError, RefusedError, ResultCode, ServiceError,
                     ServiceUnavailableError)
from .settings import Field, Record, Setting, all_settings as settings, find as setting, record_class

__version__ = "1.0.0"

__all__ = [
    "Display", "scan", "sdk_version", "set_log", "settings", "setting", "record_class",
    "Setting", "Field", "Record", "PROFILE_FORMAT", "RestoreError", "load_profile", "restore_plan",
    "QuorvexError", "NotAllowedError", "NotSupportedError", "RefusedError", "LinkError",
    "InvalidArgumentError", "HostError", "ResultCode", "ServiceError", "ServiceUnavailableError",
]
