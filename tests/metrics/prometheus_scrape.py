#!/usr/bin/env python3
"""A real Prometheus scrapes quorvexd serving two simulated displays.

Starts its own quorvexd (--metrics-listen on a free loopback port, a reading every second, a
golden profile) and its own prometheus (1 s scrape interval, storage and configuration in a temp
folder), waits until Prometheus answers that both displays are up under their serials, changes
one display's luminance through the daemon with quorvexctl and waits for the new value (and the
golden profile's differences gone) in Prometheus; promtool checks the daemon's exposition and
`quorvexctl metrics`'s. Everything it started is stopped at the end, failed or not.

    prometheus_scrape.py QUORVEXD QUORVEXCTL PROMETHEUS PROMTOOL
"""
import json
import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import urllib.parse
import urllib.request

FIRST, OTHER = "QVSIM00001", "METRICS002"
SIMULATE = f"displays=2,serial2={OTHER},clock=virtual"
GOLDEN_LUMINANCE = 150


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for(what, check, seconds=20):
    deadline = time.monotonic() + seconds
    last = None
    while time.monotonic() < deadline:
        try:
            last = check()
            if last:
                return last
        except OSError as e:  # not listening yet
            last = e
        time.sleep(0.2)
    raise AssertionError(f"gave up waiting for {what}; last: {last!r}")


def fetch(url):
    with urllib.request.urlopen(url, timeout=5) as r:
        return r.headers.get("Content-Type"), r.read().decode()


def query(port, expression):
    url = f"http://127.0.0.1:{port}/api/v1/query?" + urllib.parse.urlencode({"query": expression})
    answer = json.loads(fetch(url)[1])
    assert answer["status"] == "success", answer
    return {r["metric"].get("serial"): float(r["value"][1]) for r in answer["data"]["result"]}


def promtool_check(promtool, text, source):
    run = subprocess.run([promtool, "check", "metrics"], input=text, capture_output=True, text=True)
    assert run.returncode == 0, f"promtool check metrics on {source}:\n{run.stdout}{run.stderr}\n{text}"


def main(quorvexd, quorvexctl, prometheus, promtool):
    folder = tempfile.mkdtemp(prefix="quorvex-metrics-")
    started = []
    try:
        golden = os.path.join(folder, "golden.json")
        with open(golden, "w") as f:
            json.dump({"format": "quorvex-settings/1", "settings": {"luminance": GOLDEN_LUMINANCE}}, f)
        sock = os.path.join(folder, "socket")
        log_path = os.path.join(folder, "quorvexd.log")
        with open(log_path, "w") as log:
            started.append(subprocess.Popen(
                [quorvexd, "--socket", sock, "--metrics-listen", "127.0.0.1:0", "--metrics-interval", "1",
                 "--golden", golden], stderr=log, env=dict(os.environ, QUORVEX_SIMULATE=SIMULATE)))

        def metrics_port():
            found = re.search(r"serving the metrics on http://127\.0\.0\.1:(\d+)/metrics", open(log_path).read())
            return found and int(found.group(1))
        exporter = wait_for("quorvexd's metrics listener", metrics_port)

        prom_port = free_port()
        config = os.path.join(folder, "prometheus.yml")
        with open(config, "w") as f:
            f.write("global:\n  scrape_interval: 1s\n  evaluation_interval: 1s\n"
                    "scrape_configs:\n  - job_name: quorvexd\n"
                    f"    static_configs:\n      - targets: ['127.0.0.1:{exporter}']\n")
        with open(os.path.join(folder, "prometheus.log"), "w") as log:
            started.append(subprocess.Popen(
                [prometheus, f"--config.file={config}", f"--storage.tsdb.path={folder}/data",
                 f"--web.listen-address=127.0.0.1:{prom_port}"], stdout=log, stderr=log))

        up = wait_for("both displays up in Prometheus",
                      lambda: (lambda v: v if v == {FIRST: 1.0, OTHER: 1.0} else None)(
                          query(prom_port, 'quorvex_display_up{job="quorvexd"}')))
        print("up:", up)
        drift = query(prom_port, "quorvex_display_golden_differences")
        assert drift == {FIRST: 1.0, OTHER: 1.0}, f"the golden luminance differs on both displays at first: {drift}"

        client_env = {k: v for k, v in os.environ.items() if k != "QUORVEX_SIMULATE"}
        client_env["QUORVEX_SOCKET"] = sock
        subprocess.run([quorvexctl, "--serial", FIRST, "set", "luminance", str(GOLDEN_LUMINANCE)], env=client_env,
                       check=True)
        wait_for("the new luminance in Prometheus",
                 lambda: query(prom_port, f'quorvex_display_luminance_candelas_per_square_meter{{serial="{FIRST}"}}')
                 == {FIRST: float(GOLDEN_LUMINANCE)})
        drift = query(prom_port, "quorvex_display_golden_differences")
        assert drift == {FIRST: 0.0, OTHER: 1.0}, f"the changed display now matches the golden profile: {drift}"

        content_type, exposition = fetch(f"http://127.0.0.1:{exporter}/metrics")
        assert content_type == "text/plain; version=0.0.4; charset=utf-8", content_type
        promtool_check(promtool, exposition, "quorvexd's /metrics")
        tool = subprocess.run([quorvexctl, "metrics", "--golden", golden], env=client_env, capture_output=True,
                              text=True, check=True)
        promtool_check(promtool, tool.stdout, "quorvexctl metrics")
        for serial in (FIRST, OTHER):
            assert f'quorvex_display_up{{serial="{serial}"}} 1' in tool.stdout, tool.stdout
    except BaseException:
        for name in ("quorvexd.log", "prometheus.log"):
            path = os.path.join(folder, name)
            if os.path.exists(path):
                sys.stderr.write(f"---- {name}\n" + open(path).read()[-4000:])
        raise
    finally:
        for process in reversed(started):
            process.terminate()
            try:
                process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    main(*sys.argv[1:5])
