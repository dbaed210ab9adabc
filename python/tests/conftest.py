"""Fixtures: the package from this tree, the built library, a fresh simulated bus per test."""
from __future__ import annotations

import atexit
import itertools
import os
import shutil
import subprocess
import tempfile
import time
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]
BUILD = ROOT / "build"

# The built library of this tree unless the caller names one.
os.environ.setdefault("QUORVEX_LIBRARY", str(BUILD / "libquorvex.so.1"))
os.environ.setdefault("QUORVEX_SIMULATE", "clock=virtual")

import quorvex  # noqa: E402

_bus = itertools.count(1)

# With $QUORVEX_TEST_DAEMON (a quorvexd), every simulated bus is served by a daemon of its own
# and the library reaches it through QUORVEX_SOCKET.
_DAEMON = os.environ.get("QUORVEX_TEST_DAEMON")


class _Daemons:
    def __init__(self):
        self.folder = tempfile.TemporaryDirectory()
        self.running = []

    def serve(self, text: str) -> str:
        # Displays kept in a state file are claimed by one process at a time, as on USB: the
        # daemon that served them before lets them go first.
        state = next((item for item in text.split(",") if item.startswith("state=")), None)
        for process, served in self.running:
            if state and served == state and process.poll() is None:
                process.terminate()
                process.wait()
        socket = os.path.join(self.folder.name, f"socket{len(self.running)}")
        process = subprocess.Popen([_DAEMON, "--socket", socket], env=dict(os.environ, QUORVEX_SIMULATE=text),
                                   stderr=subprocess.DEVNULL)
        self.running.append((process, state))
        for _ in range(500):
            if os.path.exists(socket) or process.poll() is not None:
                break
            time.sleep(0.01)
        return socket  # a malformed text starts no daemon: nothing answers there

    def stop(self):
        for process, _ in self.running:
            process.terminate()
            process.wait()
        self.folder.cleanup()


if _DAEMON:
    _session_daemons = _Daemons()
    atexit.register(_session_daemons.stop)
    os.environ["QUORVEX_SOCKET"] = _session_daemons.serve(os.environ.pop("QUORVEX_SIMULATE"))


@pytest.fixture
def simulate(monkeypatch):
    """simulate("displays=2,type=1") puts a new simulated bus with that configuration in place.

    Every call gives displays in their factory state: the library builds a new bus whenever the
    configuration text changes, and an unused fourth display's serial number makes each text
    new. Pauses take no time.
    """
    daemons = _Daemons() if _DAEMON else None

    def use(config: str = "displays=1") -> str:
        text = f"{config},clock=virtual,serial4=PYTEST{next(_bus):04d}"
        if daemons:
            monkeypatch.setenv("QUORVEX_SOCKET", daemons.serve(text))
        else:
            monkeypatch.setenv("QUORVEX_SIMULATE", text)
        return text
    yield use
    if daemons:
        daemons.stop()


@pytest.fixture
def display(simulate):
    """Display 0 of two simulated displays of monitor type 2 showing a DCI timing."""
    simulate("displays=2,mode=4096x2160")
    with quorvex.Display(0) as d:
        yield d


@pytest.fixture(scope="session")
def tool() -> Path:
    """The built quorvexctl ($QUORVEXCTL, else the build tree's). When $QUORVEXCTL names one,
    a missing tool fails the tests that need it instead of skipping them."""
    named = os.environ.get("QUORVEXCTL")
    path = Path(named or BUILD / "tools" / "quorvexctl" / "quorvexctl")
    if not path.exists() and shutil.which(str(path)) is None:
        if named:
            pytest.fail(f"QUORVEXCTL names {named}, which does not exist")
        pytest.skip(f"no quorvexctl at {path}")
    return path
