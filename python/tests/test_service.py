"""quorvexd's io.quorvex.Display from its clients: quorvex.service, quorvexctl watch and lock."""
from __future__ import annotations

import json
import os
import queue
import signal
import subprocess
import sys
import threading
from pathlib import Path

import pytest

from quorvex import ServiceUnavailableError
from quorvex.service import Service

ROOT = Path(__file__).resolve().parents[2]

# Each test starts a daemon of its own; the run through a daemon per bus adds nothing here.
pytestmark = pytest.mark.skipif(bool(os.environ.get("QUORVEX_TEST_DAEMON")),
                                reason="the service's clients are tested in the plain run")

SERIAL_A, SERIAL_B = "QVSIM00001", "QVSIM00002"


@pytest.fixture
def daemon(tmp_path, monkeypatch):
    """A quorvexd ($QUORVEXD, else the build tree's) on two simulated displays; its socket."""
    path = os.environ.get("QUORVEXD") or str(ROOT / "build" / "quorvexd" / "quorvexd")
    socket = str(tmp_path / "socket")
    env = dict(os.environ, QUORVEX_SIMULATE="displays=2,clock=virtual")
    env.pop("QUORVEX_SOCKET", None)
    process = subprocess.Popen([path, "--socket", socket], env=env, stderr=subprocess.PIPE, text=True)
    for _ in range(1000):
        if os.path.exists(socket) or process.poll() is not None:
            break
        threading.Event().wait(0.01)
    assert os.path.exists(socket), process.stderr.read() if process.poll() is not None else "no socket"
    monkeypatch.setenv("QUORVEX_SOCKET", socket)
    monkeypatch.delenv("QUORVEX_SIMULATE", raising=False)
    with Service() as service:  # the displays are served once they have answered
        for _ in range(1000):
            if [d["state"] for d in service.list()] == ["ready", "ready"]:
                break
            threading.Event().wait(0.01)
    yield socket
    process.terminate()
    log = process.communicate(timeout=30)[1]
    assert process.returncode == 0, log


class Lines:
    """The lines a child process prints, as they come."""

    def __init__(self, args):
        self.process = subprocess.Popen(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        self.lines: queue.Queue = queue.Queue()
        threading.Thread(target=lambda: [self.lines.put(l) for l in self.process.stdout], daemon=True).start()

    def next(self, timeout=0.5):
        return self.lines.get(timeout=timeout)


def in_background(iterator):
    """An iterator read on a thread of its own, into a queue, until the daemon stops."""
    q: queue.Queue = queue.Queue()

    def read():
        try:
            for e in iterator:
                q.put(e)
        except ServiceUnavailableError:
            pass
    threading.Thread(target=read, daemon=True).start()
    return q


SETTER = ("import sys; from quorvex.service import Service; "
          "Service().set({'luminance': int(sys.argv[1])}, serial=sys.argv[2], context=sys.argv[3])")


def test_every_client_sees_another_clients_change_with_its_pid_and_context(daemon, tool):
    watch_json = Lines([str(tool), "watch", "--json"])
    watch_text = Lines([str(tool), "watch"])
    events = in_background(Service().events())
    # Each is listening once it reports a change made here.
    with Service() as mine:
        listening = [False, False, False]
        for value in range(60, 250, 10):
            mine.set({"luminance": value}, serial=SERIAL_B)
            for i, source in enumerate((watch_json.lines, watch_text.lines, events)):
                try:
                    while not listening[i]:
                        source.get(timeout=0.2)
                        listening[i] = True
                except queue.Empty:
                    pass
            if all(listening):
                break
        assert all(listening)
    for source in (watch_json.lines, watch_text.lines, events):
        while not source.empty():
            source.get()

    with Service() as reader:  # the daemon learns the old value from a read
        assert reader.get(["luminance"], serial=SERIAL_A) == {"luminance": 120}
    other = subprocess.run([sys.executable, "-c", SETTER, "222", SERIAL_A, "grading suite"],
                           env=dict(os.environ, PYTHONPATH=str(ROOT / "python")), capture_output=True, text=True)
    assert other.returncode == 0, other.stderr
    # The child's pid is gone with it; its change names it all the same. (The changes made above
    # to wait for the listeners may still be on their way: they are on the other display.)
    def on_a(get):
        while (event := get())["serial"] != SERIAL_A:
            pass
        return event

    seen = [on_a(lambda: json.loads(watch_json.next(5))), on_a(lambda: events.get(timeout=5))]
    for event in seen:
        assert {k: event.get(k) for k in ("type", "serial", "name", "value", "old", "uid", "pid", "context")} == {
            "type": "setting-changed", "serial": SERIAL_A, "name": "luminance", "value": 222, "old": 120,
            "uid": os.getuid(), "pid": event["pid"], "context": "grading suite"}
    assert seen[0]["pid"] == seen[1]["pid"] != os.getpid()
    while SERIAL_A not in (line := watch_text.next(5)):
        pass
    assert f"{SERIAL_A} luminance 120 -> 222 by uid {os.getuid()} pid {seen[0]['pid']} context \"grading suite\"" in line

    # Ctrl-C ends a watch quietly.
    for watch in (watch_json, watch_text):
        watch.process.send_signal(signal.SIGINT)
        assert watch.process.wait(timeout=10) == 0
        assert watch.process.stderr.read() == ""


def test_a_command_runs_under_the_lock_and_the_lock_ends_with_it(daemon, tool):
    # Inside, the command's clients present QUORVEX_LOCK and their sets go through: the tool
    # (through the library) and Python's service client. Without the token they are other
    # clients: refused by the display through the library, with Locked through the interface.
    script = f"""
        "$QV" --serial {SERIAL_A} set luminance 90; tool=$?
        env -u QUORVEX_LOCK "$QV" --serial {SERIAL_A} set luminance 91; other_tool=$?
        env -u QUORVEX_LOCK "$PY" -c "$SETTER" 92 {SERIAL_A} other; other_python=$?
        "$PY" -c "$SETTER" 94 {SERIAL_A} mine; python=$?
        echo "$tool $other_tool $other_python $python"
        exit 7
    """
    env = dict(os.environ, QV=str(tool), PY=sys.executable, SETTER=SETTER, PYTHONPATH=str(ROOT / "python"))
    done = subprocess.run([str(tool), "lock", SERIAL_A, "--", "sh", "-c", script], env=env,
                          capture_output=True, text=True, timeout=60)
    assert done.returncode == 7, done.stderr
    assert done.stdout.split() == ["0", "5", "1", "0"], done.stderr
    assert "io.quorvex.Display.Locked" in done.stderr
    with Service() as after:
        assert after.get(["luminance"], serial=SERIAL_A) == {"luminance": 94}
        after.set({"luminance": 93}, serial=SERIAL_A)  # released


@pytest.mark.parametrize("case, status, said", [
    ("held", 9, "lock QVSIM00001: the display is locked by uid {uid} pid {pid}"),
    ("unknown", 3, "lock NOSUCHDISP: no display with serial number NOSUCHDISP is served"),
    ("no daemon", 5, "(is quorvexd running?)"),
])
def test_a_lock_that_cannot_be_taken_runs_nothing(daemon, tool, tmp_path, monkeypatch, case, status, said):
    holder = Service()
    holder.lock(SERIAL_A)
    if case == "no daemon":
        monkeypatch.setenv("QUORVEX_SOCKET", str(tmp_path / "nothing"))
    serial = "NOSUCHDISP" if case == "unknown" else SERIAL_A
    marker = tmp_path / "ran"
    done = subprocess.run([str(tool), "lock", serial, "--", "touch", str(marker)], capture_output=True, text=True)
    assert (done.returncode, marker.exists()) == (status, False)
    assert said.format(uid=os.getuid(), pid=os.getpid()) in done.stderr
    holder.close()
