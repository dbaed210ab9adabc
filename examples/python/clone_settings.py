#!/usr/bin/env python3
"""Show every display on the bus, and copy the settings of one display to the others.

    python3 clone_settings.py              # list the displays and a few settings
    python3 clone_settings.py --save p.json    # also save display 0's settings profile
    python3 clone_settings.py --clone      # write display 0's settings to every other display

Try it without hardware: QUORVEX_SIMULATE=displays=3 python3 clone_settings.py --clone
"""
import argparse
import json
import sys

import quorvex


def main() -> int:
    parser = argparse.ArgumentParser(description="List Quorvex displays and clone settings.")
    parser.add_argument("--save", metavar="FILE", help="save display 0's profile to FILE")
    parser.add_argument("--clone", action="store_true", help="copy display 0's settings to the others")
    args = parser.parse_args()

    serials = quorvex.scan()
    if not serials:
        print("no display found", file=sys.stderr)
        return 3
    for slot, serial in enumerate(serials):
        with quorvex.Display(slot) as display:
            when = display.get("date-time")
            print(f"slot {slot}: {serial}, monitor type {display.monitor_type}, "
                  f"luminance {display.get('luminance')} cd/m2, "
                  f"colour space {display.get('color-space-name')}, "
                  f"clock {when.year}-{when.month:02}-{when.day:02} {when.hour:02}:{when.minute:02}")

    with quorvex.Display(0) as source:
        profile = source.dump()
    if args.save:
        with open(args.save, "w") as f:
            json.dump(profile, f, indent=2)
        print(f"saved {len(profile['settings'])} settings of {serials[0]} to {args.save}")
    if args.clone:
        for slot in range(1, len(serials)):
            with quorvex.Display(slot) as target:
                try:
                    written = target.restore(profile)
                    print(f"{target.serial}: {len(written)} settings written")
                except quorvex.RestoreError as e:
                    print(f"{target.serial}: {len(e.written)} written, failed: {', '.join(e.failed)}")
                    return 6
    return 0


if __name__ == "__main__":
    try:
        sys.exit(main())
    except quorvex.QuorvexError as e:
        print(e, file=sys.stderr)
        sys.exit(5)
