"""The displays through quorvexd's ``io.quorvex.Display`` interface, without the library.

Any number of programs read and change settings by name, watch every change as it happens,
hold a display for a session of work and run the long actions as jobs::

    from quorvex.service import Service

    with Service() as service:                           # the daemon the library would use
        for display in service.list():
            print(display["serial"], display["state"])
        service.set({"luminance": 120}, serial="QV12345678", context="grading")
        for event in service.events():                   # a connection of its own
            print(event["type"], event.get("name"), event.get("value"), event.get("pid"))

Names and values are ``quorvexctl``'s. The serial may be left out while the daemon serves one
display. Every Varlink error is raised as :class:`quorvex.ServiceError` with its name and
parameters. This module needs nothing but Python's standard library: importing it never loads
``libquorvex``.
"""
from __future__ import annotations

import base64
import json
import os
import socket
from typing import Any, Iterator, Optional

from .errors import ServiceError, ServiceUnavailableError

INTERFACE = "io.quorvex.Display"

# Where the library looks for the daemon (its order, for clients without the library):
# QUORVEX_SOCKET alone when set, else the system's socket, then the session's.
SYSTEM_SOCKET = "/run/quorvex/io.quorvex"
SESSION_SOCKET = "quorvex/io.quorvex"


def daemon_sockets() -> list[str]:
    """The sockets a client looks for quorvexd at, in order."""
    named = os.environ.get("QUORVEX_SOCKET")
    if named:
        return [named]
    paths = [SYSTEM_SOCKET]
    runtime = os.environ.get("XDG_RUNTIME_DIR")
    if runtime:
        paths.append(os.path.join(runtime, SESSION_SOCKET))
    return paths


class _Connection:
    """One Varlink connection: NUL-terminated JSON messages, calls answered in order."""

    def __init__(self, path: Optional[str]) -> None:
        tried = []
        for candidate in [path] if path else daemon_sockets():
            sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
            try:
                sock.connect(candidate)
            except OSError as e:
                sock.close()
                tried.append(f"{candidate} ({e.strerror or e})")
                continue
            self.sock, self.path, self._buffer = sock, candidate, b""
            return
        raise ServiceUnavailableError("connect", "no quorvexd answers", {"tried": ", ".join(tried)})

    def close(self) -> None:
        self.sock.close()

    def send(self, method: str, parameters: dict, more: bool = False) -> None:
        message: dict[str, Any] = {"method": method, "parameters": parameters}
        if more:
            message["more"] = True
        self.sock.sendall(json.dumps(message).encode() + b"\0")

    def receive(self, method: str) -> tuple[dict, bool]:
        """The next reply's parameters and whether more follow; an error is raised."""
        while b"\0" not in self._buffer:
            chunk = self.sock.recv(65536)
            if not chunk:
                raise ServiceUnavailableError(method, "quorvexd closed the connection")
            self._buffer += chunk
        text, self._buffer = self._buffer.split(b"\0", 1)
        reply = json.loads(text)
        if "error" in reply:
            raise ServiceError(method, reply["error"], reply.get("parameters"))
        return reply.get("parameters", {}), bool(reply.get("continues"))

    def call(self, method: str, parameters: dict) -> dict:
        self.send(method, parameters)
        return self.receive(method)[0]

    def stream(self, method: str, parameters: dict) -> Iterator[dict]:
        self.send(method, parameters, more=True)
        while True:
            reply, continues = self.receive(method)
            yield reply
            if not continues:
                return


def _given(**parameters: Any) -> dict:
    """The parameters that were given (Varlink's optional ones are left out when None)."""
    return {k: v for k, v in parameters.items() if v is not None}


class Service:
    """A connection to quorvexd's ``io.quorvex.Display``.

    ``path`` names the socket; by default it is found as the library finds it
    (``QUORVEX_SOCKET``, ``/run/quorvex/io.quorvex``, ``$XDG_RUNTIME_DIR/quorvex/io.quorvex``).
    A lock taken here lasts as long as this connection (or until :meth:`unlock`). Under
    ``quorvexctl lock`` (``QUORVEX_LOCK`` set) the connection presents the lock's token at once,
    as the library does: its changes are the lock holder's.
    """

    def __init__(self, path: Optional[str] = None) -> None:
        self._path = path
        self._connection = _Connection(path)
        if os.environ.get("QUORVEX_LOCK"):
            try:
                self.use_lock()
            except BaseException:
                self.close()
                raise

    @property
    def path(self) -> str:
        """The socket connected to."""
        return self._connection.path

    def close(self) -> None:
        self._connection.close()

    def __enter__(self) -> "Service":
        return self

    def __exit__(self, *exc: Any) -> None:
        self.close()

    def _call(self, method: str, **parameters: Any) -> dict:
        return self._connection.call(f"{INTERFACE}.{method}", _given(**parameters))

    def list(self) -> list[dict]:
        """Every display: serial, monitorType, firmware, state, job, lockedBy, bus, address."""
        return self._call("List")["displays"]

    def get(self, names: list[str], serial: Optional[str] = None) -> dict:
        """Settings by name: ``{"luminance": 120, ...}``."""
        return self._call("Get", serial=serial, names=list(names))["values"]

    def set(self, values: dict, serial: Optional[str] = None, context: Optional[str] = None) -> None:
        """Changes settings by name; ``context`` goes to every subscriber with the change."""
        self._call("Set", serial=serial, values=values, context=context)

    def dump(self, serial: Optional[str] = None) -> dict:
        """Every readable setting as a settings profile."""
        return self._call("Dump", serial=serial)["profile"]

    def restore(self, profile: dict, serial: Optional[str] = None, dry_run: bool = False) -> dict:
        """Writes a profile; what was written, failed and skipped."""
        return self._call("Restore", serial=serial, profile=profile, dryRun=dry_run)["results"]

    def diff(self, profile: dict, serial: Optional[str] = None) -> dict:
        """The settings whose values differ between the profile and the display."""
        return self._call("Diff", serial=serial, profile=profile)["differences"]

    def run(self, action: str, arguments: Optional[dict] = None, serial: Optional[str] = None) -> Optional[str]:
        """Runs an action: the job's id for a long one (a calibration), None once a short one is done."""
        return self._call("Run", serial=serial, action=action, arguments=arguments).get("job")

    def jobs(self) -> list[dict]:
        """Jobs running, and those ended a short while ago."""
        return self._call("Jobs")["jobs"]

    def send_file(self, file_type: int, data: bytes, serial: Optional[str] = None) -> str:
        """Uploads a file; the id of the job that sends it."""
        content = base64.b64encode(bytes(data)).decode("ascii")
        return self._call("SendFile", serial=serial, fileType=file_type, content=content)["job"]

    def get_files(self, file_type: int, serial: Optional[str] = None) -> list[tuple[str, bytes]]:
        """Every display file of a type, as (name, content)."""
        method = f"{INTERFACE}.GetFiles"
        return [(r["name"], base64.b64decode(r["content"]))
                for r in self._connection.stream(method, _given(serial=serial, fileType=file_type))
                if r["name"]]  # a type without files answers once, with no name

    def lock(self, serial: Optional[str] = None) -> str:
        """Holds the display for this connection; the token programs started by this one present."""
        return self._call("Lock", serial=serial)["token"]

    def unlock(self, serial: Optional[str] = None, force: bool = False) -> None:
        """Lets go of the display's lock (root may take another client's with ``force``)."""
        self._call("Unlock", serial=serial, force=force or None)

    def use_lock(self, token: Optional[str] = None) -> str:
        """Presents a lock's token (default ``$QUORVEX_LOCK``): this connection's changes are then
        the holder's. The serial of the display it locks."""
        token = token if token is not None else os.environ.get("QUORVEX_LOCK", "")
        return self._call("UseLock", token=token)["serial"]

    def events(self) -> Iterator[dict]:
        """Every event from now on, on a connection of its own, for as long as it is iterated:
        ``{"type": "setting-changed", "serial": ..., "name": ..., "value": ..., "old": ...,
        "uid": ..., "pid": ..., "context": ...}``, display, job and lock events. Closing the
        iterator (or leaving the loop and dropping it) closes its connection."""
        connection = _Connection(self._path or self.path)
        try:
            for reply in connection.stream(f"{INTERFACE}.Subscribe", {}):
                yield reply["event"]
        finally:
            connection.close()
