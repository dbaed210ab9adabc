#!/usr/bin/env python3
"""Writes quorvex/_settings.json from the command-line tool's description of every setting.

    python3 python/gen_settings.py [--tool PATH/TO/quorvexctl] [--check]

The tool prints the library's command table with ``quorvexctl list --json``: names, access,
C functions, value types, ranges, preconditions and record fields with their layout; and with
``list --profile-limits`` the bounds a profile is read within. The package ships that
output so that its setting names and shapes are the table's own. Run this after changing the
table; with ``--check`` it only says whether the shipped file is current (exit status 1 when
not). The tool is found as --tool, else $QUORVEXCTL, else build/tools/quorvexctl/quorvexctl.
"""
from __future__ import annotations

import argparse
import json
import os
import subprocess
import sys
from pathlib import Path

HERE = Path(__file__).resolve().parent
SHIPPED = HERE / "quorvex" / "_settings.json"
DEFAULT_TOOL = HERE.parent / "build" / "tools" / "quorvexctl" / "quorvexctl"


def tool_path(given: str | None = None) -> Path:
    return Path(given or os.environ.get("QUORVEXCTL") or DEFAULT_TOOL)


def table_from_tool(tool: Path) -> dict:
    """The tool's ``list --json`` and ``list --profile-limits`` output, parsed."""
    env = dict(os.environ, QUORVEX_SIMULATE=os.environ.get("QUORVEX_SIMULATE") or "1")

    def ask(*args: str) -> object:
        return json.loads(subprocess.run([str(tool), "--json", "list", *args], env=env, check=True,
                                         capture_output=True, text=True).stdout)
    return {"profile-limits": ask("--profile-limits"), "settings": ask()}


def render(table: dict) -> str:
    return json.dumps(table, indent=2, ensure_ascii=False) + "\n"


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--tool", help="the quorvexctl to ask")
    parser.add_argument("--check", action="store_true", help="compare only; write nothing")
    args = parser.parse_args()
    text = render(table_from_tool(tool_path(args.tool)))
    if args.check:
        current = SHIPPED.read_text(encoding="utf-8") if SHIPPED.exists() else ""
        if current != text:
            print(f"{SHIPPED} is out of date; run {Path(__file__).name}", file=sys.stderr)
            return 1
        return 0
    SHIPPED.write_text(text, encoding="utf-8")
    return 0


if __name__ == "__main__":
    sys.exit(main())
