"""The record dataclasses, one per record setting, made from the settings table.

``from quorvex.records import DateTime`` gives the class of ``date-time``; ``RECORDS`` maps
every record setting's name to its class.
"""
from .settings import RECORDS, Record

globals().update({cls.__name__: cls for cls in RECORDS.values()})

__all__ = ["RECORDS", "Record"]
__all__ += sorted(cls.__name__ for cls in RECORDS.values())
