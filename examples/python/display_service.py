#!/usr/bin/env python3
"""The displays through quorvexd's io.quorvex.Display interface, with nothing but Python's
standard library: no libquorvex, no quorvex package. Any language that can write JSON to a
Unix socket can do the same.

It lists the displays, reads and changes a setting by name, watches a change made by another
program arrive as an event carrying that program's pid, runs a calibration as a job while the
other display goes on answering, and takes a display's lock and loses it again.

    python3 display_service.py            # the daemon at $QUORVEX_SOCKET, else the system's

Try it on two simulated displays whose calibration takes two seconds:

    QUORVEX_SIMULATE=displays=2,calibration-seconds=2 quorvexd --socket /tmp/qv.sock &
    QUORVEX_SOCKET=/tmp/qv.sock python3 display_service.py
"""
import json
import os
import socket
import subprocess
import sys
import time

INTERFACE = "io.quorvex.Display"


class VarlinkError(Exception):
    def __init__(self, error, parameters):
        super().__init__(f"{error} {parameters}")
        self.error, self.parameters = error, parameters


class Varlink:
    """One connection: each message is JSON ended by a NUL byte."""

    def __init__(self, path):
        self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.sock.settimeout(60)
        self.sock.connect(path)
        self.buffer = b""

    def send(self, method, more=False, **parameters):
        message = {"method": f"{INTERFACE}.{method}", "parameters": parameters}
        if more:
            message["more"] = True
        self.sock.sendall(json.dumps(message).encode() + b"\0")

    def receive(self):
        while b"\0" not in self.buffer:
            chunk = self.sock.recv(65536)
            if not chunk:
                raise ConnectionError("quorvexd closed the connection")
            self.buffer += chunk
        text, self.buffer = self.buffer.split(b"\0", 1)
        reply = json.loads(text)
        if "error" in reply:
            raise VarlinkError(reply["error"], reply.get("parameters", {}))
        return reply["parameters"]

    def call(self, method, **parameters):
        self.send(method, **parameters)
        return self.receive()

    def close(self):
        self.sock.close()


def socket_path():
    return os.environ.get("QUORVEX_SOCKET") or "/run/quorvex/io.quorvex"


def check(condition, what):
    if not condition:
        raise SystemExit(f"display_service.py: {what}")


def next_event(events, wanted):
    """The first event for which wanted(event) holds (others are shown and passed over)."""
    while True:
        event = events.receive()["event"]
        if wanted(event):
            return event
        print(f"  (event {event['type']} {event.get('serial', '')})")


def other_program(serial, value):
    """Another program: this script again, changing luminance on its own connection."""
    service = Varlink(socket_path())
    service.call("Set", serial=serial, values={"luminance": int(value)}, context="another program")
    return 0


def main():
    if len(sys.argv) == 4 and sys.argv[1] == "--set":
        return other_program(sys.argv[2], sys.argv[3])
    service = Varlink(socket_path())

    # 1. The displays (a daemon just started serves each once it has answered).
    for _ in range(500):
        displays = service.call("List")["displays"]
        if len(displays) >= 2 and all(d["state"] == "ready" for d in displays):
            break
        time.sleep(0.02)
    for d in displays:
        print(f"display {d['serial']}: monitor type {d['monitorType']}, firmware {d['firmware']}, {d['state']}")
    check(len(displays) >= 2, "this walk-through needs two displays")
    first, second = displays[0]["serial"], displays[1]["serial"]

    # 2. A setting by name, read and changed.
    before = service.call("Get", serial=first, names=["luminance"])["values"]["luminance"]
    wanted = 100 if before != 100 else 110
    service.call("Set", serial=first, values={"luminance": wanted}, context="display_service.py")
    after = service.call("Get", serial=first, names=["luminance"])["values"]["luminance"]
    print(f"{first} luminance {before} -> {after}")
    check(after == wanted, f"luminance reads {after} after setting {wanted}")

    # 3. Another program's change, seen as an event with its pid. The events connection is
    # known to be listening once it reports a change of this script's own.
    events = Varlink(socket_path())
    events.send("Subscribe", more=True)
    for probe in range(10, 60, 5):
        service.call("Set", serial=second, values={"osd-timeout": probe})
        try:
            events.sock.settimeout(0.5)
            next_event(events, lambda e: e["type"] == "setting-changed" and e.get("pid") == os.getpid())
            break
        except socket.timeout:
            continue
        finally:
            events.sock.settimeout(60)
    else:
        check(False, "no event arrived for this script's own changes")
    other = subprocess.Popen([sys.executable, __file__, "--set", first, "150"])
    check(other.wait() == 0, "the other program failed")
    event = next_event(events, lambda e: e["type"] == "setting-changed" and e.get("pid") == other.pid)
    print(f"event: {event['serial']} {event['name']} {event.get('old')} -> {event['value']} "
          f"by uid {event['uid']} pid {event['pid']} ({event.get('context')})")
    check(event["name"] == "luminance" and event["value"] == 150, f"unexpected event {event}")

    # 4. A calibration as a job; the other display answers meanwhile.
    job = service.call("Run", serial=first, action="recalibrate")["job"]
    check(job is not None, "recalibrate returned no job")
    print(f"{first}: calibration running as job {job}")
    meanwhile = service.call("Get", serial=second, names=["luminance"])["values"]["luminance"]
    jobs = {j["id"]: j for j in service.call("Jobs")["jobs"]}
    check(job in jobs, f"Jobs does not list job {job}")
    print(f"{second} answers meanwhile: luminance {meanwhile}; job {job} is {jobs[job]['state']}")
    check(jobs[job]["state"] == "running", "the calibration ended before the other display was asked")
    ended = next_event(events, lambda e: e["type"] == "job-ended" and e.get("job") == job)
    print(f"job {job} ended: result {ended['result']} {ended.get('message', '')}")
    check(ended["result"] == 0, f"the calibration failed: {ended}")

    # 5. A lock: while this script's second connection holds it, changes from elsewhere are
    # refused with the holder named; the lock ends with the holder's connection.
    holder = Varlink(socket_path())
    holder.call("Lock", serial=second)
    try:
        service.call("Set", serial=second, values={"luminance": 90})
        check(False, "a change went through another client's lock")
    except VarlinkError as e:
        check(e.error == f"{INTERFACE}.Locked", f"refused with {e.error}")
        print(f"{second} is locked by uid {e.parameters['uid']} pid {e.parameters['pid']}")
    holder.close()
    for _ in range(200):
        try:
            service.call("Set", serial=second, values={"luminance": 90})
            break
        except VarlinkError as e:
            check(e.error == f"{INTERFACE}.Locked", f"refused with {e.error}")
            time.sleep(0.01)
    else:
        check(False, "the lock outlived its holder's connection")
    print(f"{second}: the lock ended with its holder's connection; luminance set to 90")
    return 0


if __name__ == "__main__":
    sys.exit(main())
