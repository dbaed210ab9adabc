#!/usr/bin/python3
"""Ansible module quorvex_profile: bring a Quorvex display to a golden settings profile."""
from __future__ import annotations

DOCUMENTATION = r"""
module: quorvex_profile
short_description: Apply a golden settings profile to a Quorvex reference display
description:
  - Reads each read-write setting of the profile from the display, in restore order, and writes
    only those that differ, then reads them back (as C(quorvexctl apply)). A second run changes
    nothing.
  - Settings that belong to one display (its network address, clock, input names) are left
    alone unless named in I(include).
  - Supports check mode (nothing is written) and diff mode (the settings that differ, before
    and after).
  - Runs on the host the display is plugged into, over the Python package C(quorvex).
options:
  profile:
    description: A settings profile, as C(quorvexctl dump) writes it; a path to its file on the
      managed host, or the profile itself as a dictionary.
    type: raw
    required: true
  serial:
    description: The display's serial number; without it (and without I(slot)) the display in
      slot 0.
    type: str
  slot:
    description: The display's slot in a scan, 0..2.
    type: int
  include:
    description: Per-display settings to apply all the same (e.g. C(date-time)).
    type: list
    elements: str
    default: []
  exclude:
    description: Settings to leave alone.
    type: list
    elements: str
    default: []
"""

EXAMPLES = r"""
- name: Golden settings on the grading display
  quorvex_profile:
    profile: /etc/quorvex/golden.json
    serial: QV12345678
    exclude: [luminance]
"""

RETURN = r"""
settings:
  description: The settings that differed, each with name, from, to and result
    (changed, would change, failed) and, for a failure, its reason.
  type: list
  returned: always
left_out:
  description: Settings of the profile that were left alone (per display, or excluded).
  type: list
  returned: always
"""

import json
import traceback

from ansible.module_utils.basic import AnsibleModule

try:
    import quorvex
except ImportError:
    quorvex = None
    IMPORT_ERROR = traceback.format_exc()


def main() -> None:
    module = AnsibleModule(
        argument_spec=dict(
            profile=dict(type="raw", required=True),
            serial=dict(type="str"),
            slot=dict(type="int"),
            include=dict(type="list", elements="str", default=[]),
            exclude=dict(type="list", elements="str", default=[]),
        ),
        mutually_exclusive=[("serial", "slot")],
        supports_check_mode=True,
    )
    if quorvex is None:
        module.fail_json(msg="the Python package quorvex cannot be imported", exception=IMPORT_ERROR)
    p = module.params
    try:
        if isinstance(p["profile"], dict):
            profile = p["profile"]
        else:
            with open(str(p["profile"]), "rb") as f:
                profile = quorvex.load_profile(f.read())
        with quorvex.Display(p["slot"], serial=p["serial"]) as display:
            report = display.apply(profile, include=p["include"], exclude=p["exclude"],
                                   check=module.check_mode)
    except (OSError, quorvex.QuorvexError) as e:
        module.fail_json(msg=str(e))
    result = dict(changed=report["changed"], settings=report["settings"], left_out=report["left-out"])
    if module._diff:
        differs = [e for e in report["settings"] if e["result"] != "failed"]
        result["diff"] = dict(
            before=json.dumps({e["name"]: e["from"] for e in differs}, indent=2) + "\n",
            after=json.dumps({e["name"]: e["to"] for e in differs}, indent=2) + "\n")
    failed = [f"{e['name']}: {e.get('reason', '')}" for e in report["settings"] if e["result"] == "failed"]
    if failed:
        module.fail_json(msg="some settings could not be applied: " + "; ".join(failed), **result)
    module.exit_json(**result)


if __name__ == "__main__":
    main()
