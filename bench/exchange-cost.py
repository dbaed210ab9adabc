#!/usr/bin/env python3
"""Instructions and heap calls per exchange, for each case of bench_exchange.

Runs bench_exchange once per case under valgrind's callgrind with collection switched on only
inside the measured loop (qvbench::measured_loop) and off again inside every bus call
(qvbench::MeteredBus::bulk_transfer), so that what is counted is the host's work for the
exchange and nothing of the bus. The self cost of every function counted is then sorted by
where it lives:

  library   functions compiled from src/ and from the sources the build generates from the
            command table (and the PLT stubs through which they call libc)
  libc      everything in libc.so (memcpy, memset, printf, malloc, ...)
  harness   the benchmark's own loop in bench/ (and its counting malloc)
  other     anything else (named, so nothing hides)

Usage: bench/exchange-cost.py [--build DIR] [--iterations N] [--detail] [CASE ...]
CASE is bus:op:log, e.g. canned:get:off; the default is every case.
"""

import argparse
import os
import re
import subprocess
import sys
import tempfile
from collections import defaultdict

CASES = [f"{bus}:{op}:{log}" for bus in ("canned", "simulated") for op in ("get", "set", "raw")
         for log in ("off", "on")]


def parse_callgrind(path):
    """Self cost (first event, Ir) per (object, file, function) from a callgrind output file."""
    names = {"ob": {}, "fl": {}, "fn": {}}
    kind_of = {"ob": "ob", "cob": "ob", "fl": "fl", "fi": "fl", "fe": "fl", "cfl": "fl", "cfi": "fl",
               "fn": "fn", "cfn": "fn"}
    entry = re.compile(r"^(ob|cob|fl|fi|fe|cfl|cfi|fn|cfn)=(?:\((\d+)\))?\s*(.*)$")
    cost = defaultdict(int)
    ob = fl = fn = None
    skip_next_cost = False  # the line after calls= is the call's inclusive cost
    with open(path) as f:
        for line in f:
            line = line.rstrip("\n")
            m = entry.match(line)
            if m:
                key, ident, name = m.groups()
                table = names[kind_of[key]]
                if ident is not None:
                    if name:
                        table[ident] = name
                    name = table.get(ident, f"({ident})")
                if key == "ob":
                    ob = name
                elif key == "fl":
                    fl = name
                elif key == "fn":
                    fn = name
                continue
            if line.startswith("calls="):
                skip_next_cost = True
                continue
            if not line or not (line[0].isdigit() or line[0] in "+-*"):
                continue
            fields = line.split()
            if skip_next_cost:
                skip_next_cost = False
                continue
            if len(fields) >= 2 and fn is not None:
                cost[(ob, fl, fn)] += int(fields[1])
    return cost


def where(ob, fl, bench_exe):
    if ob and re.search(r"/libc\.so", ob):
        return "libc"
    if ob == bench_exe:
        if fl and ("/src/" in fl or "/generated/" in fl):
            return "library"  # its sources, and the functions the build writes from the table
        if fl and "/bench/" in fl:
            return "harness"
        if fl in (None, "???"):
            return "library"  # PLT stubs: the library's calls into libc
    return "other"


def run_case(bench_exe, case, iterations, workdir):
    out = os.path.join(workdir, case.replace(":", "_") + ".callgrind")
    cmd = ["valgrind", "--tool=callgrind", "--collect-atstart=no",
           "--toggle-collect=qvbench::measured_loop*",
           "--toggle-collect=qvbench::MeteredBus::bulk_transfer*",
           f"--callgrind-out-file={out}", bench_exe, case, str(iterations)]
    run = subprocess.run(cmd, capture_output=True, text=True)
    if run.returncode != 0:
        sys.exit(f"{case}: bench_exchange failed under callgrind:\n{run.stdout}{run.stderr}")
    heap = "?"
    for line in run.stdout.splitlines():
        if line.startswith(case):
            heap = line.split()[1]
    return parse_callgrind(out), heap


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--build", default=os.path.join(here, "..", "build"), help="build directory")
    ap.add_argument("--iterations", type=int, default=1000, help="exchanges measured per case")
    ap.add_argument("--detail", action="store_true", help="also list each function's share")
    ap.add_argument("cases", nargs="*", default=CASES)
    args = ap.parse_args()

    bench_exe = os.path.realpath(os.path.join(args.build, "bench", "bench_exchange"))
    if not os.path.exists(bench_exe):
        sys.exit(f"{bench_exe} not found: build the default preset first")

    n = args.iterations
    print(f"Per exchange, {n} exchanges per case, callgrind Ir (instructions executed)\n")
    print(f"{'case':<20} {'library':>9} {'libc':>9} {'lib+libc':>9} {'harness':>8} {'other':>7} {'heap calls':>11}")
    details = []
    with tempfile.TemporaryDirectory(prefix="qv-exchange-cost-") as workdir:
        for case in args.cases:
            cost, heap = run_case(bench_exe, case, n, workdir)
            sums = defaultdict(int)
            for (ob, fl, fn), ir in cost.items():
                sums[where(ob, fl, bench_exe)] += ir
            lib, libc = sums["library"] / n, sums["libc"] / n
            print(f"{case:<20} {lib:9.1f} {libc:9.1f} {lib + libc:9.1f} {sums['harness'] / n:8.1f} "
                  f"{sums['other'] / n:7.1f} {heap:>11}")
            details.append((case, cost))
    if args.detail:
        for case, cost in details:
            print(f"\n{case}: self instructions per exchange by function")
            for (ob, fl, fn), ir in sorted(cost.items(), key=lambda kv: -kv[1]):
                if ir / n >= 0.5:
                    print(f"  {ir / n:9.1f}  {where(ob, fl, bench_exe):<8} {fn}")


if __name__ == "__main__":
    main()
