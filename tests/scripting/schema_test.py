#!/usr/bin/env python3
"""The document schema stays as strict as the code: wrong documents are refused, and what
tarnexctl itself prints for `list` and for a target not found is accepted.

Usage: schema_test.py SCHEMA VALIDATOR TARNEXCTL
"""

import copy
import json
import os
import subprocess
import sys
import tempfile

SCHEMA, VALIDATOR, TARNEXCTL = sys.argv[1:4]
try:
    import jsonschema  # noqa: F401  (the validator's; without it there is nothing to check)
except ImportError:
    print("python3-jsonschema is not installed: skipped", file=sys.stderr)
    sys.exit(77)
failures = []


def validate(text):
    run = subprocess.run([sys.executable, VALIDATOR, SCHEMA], input=text.encode(),
                         capture_output=True, timeout=60)
    return run.returncode, run.stderr.decode(errors="replace")


def expect(name, text, status):
    got, why = validate(text)
    if got != status:
        failures.append(f"{name}: status {got}, not {status}\n{why}")


def status_document():
    result = {"display": {"key": "10.0.0.20", "label": "Lobby", "set_id": "01"}, "ok": True,
              "acked": True, "values": {"power": "on", "input": "hdmi1", "mute": "off"},
              "error": None}
    silent = {"display": {"key": "10.0.0.21", "label": "", "set_id": "01"}, "ok": False,
              "acked": False, "values": {},
              "error": {"code": "no_reply", "message": "the display's link is down"}}
    return {"schema": 1,
            "request": {"verb": "status", "targets": ["group:Hall"], "timeout": 30},
            "results": [result, silent],
            "summary": {"total": 2, "ok": 1, "failed": 1, "skipped": 0}, "exit": 4}


def mutated(change):
    document = status_document()
    change(document)
    return json.dumps(document)


def check_hand_written():
    expect("a valid status document", json.dumps(status_document()), 0)
    wrong = {
        "an unknown error code": lambda d: d["results"][1]["error"].update(code="timeout"),
        "exit 5": lambda d: d.update(exit=5),
        "a summary without skipped": lambda d: d["summary"].pop("skipped"),
        "an extra field in a result": lambda d: d["results"][0].update(reason="x"),
        "an extra field in the document": lambda d: d.update(timed_out=False),
        "an ok result with an error": lambda d: d["results"][0].update(
            error=copy.deepcopy(d["results"][1]["error"])),
        "a value status does not report": lambda d: d["results"][0]["values"].update(reply="x"),
        "another verb's argument": lambda d: d["request"].update(input="hdmi1"),
        "a run-wide error with a display's exit": lambda d: d.update(
            error={"code": "not_found", "message": "not found: x"}),
        "exit 10 without its error": lambda d: d.update(exit=10),
        "a request without targets": lambda d: d["request"].update(targets=[]),
    }
    for name, change in wrong.items():
        expect(name, mutated(change), 1)
    expect("not JSON", "{", 1)


# A folder of two displays in one group; `list` contacts none and a name not found stops
# before any connect, so the addresses are only text.
CONFIG = """[Communication]
m_docCommunicationTrue=1
m_docCommunicationSelect=1
[VALUE]
m_docSocketNumber=2
[TREENAME]
0=[Lobby]127.0.0.20
[SINGLE]
0=127.0.0.20
1=127.0.0.21
[GROUPCOUNT]
m_docGroupNumCount=1
[GROUPCHILDCOUNT]
0=2
[GROUPNAME]
0=Hall
[GROUPCHILDNAME]
0=[1][Lobby]127.0.0.20
1=[2]127.0.0.21
[GROUPIPLIST]
0=127.0.0.20
1=127.0.0.21
"""


def check_program(folder):
    with open(os.path.join(folder, "QXMNTConfig.ini"), "w", encoding="ascii") as file:
        file.write(CONFIG)
    env = dict(os.environ, XDG_RUNTIME_DIR=folder)
    for arguments, status in ((["list"], 0), (["status", "group:Nowhere"], 10)):
        run = subprocess.run([TARNEXCTL, "--config", folder + "/", "--json", *arguments],
                             capture_output=True, timeout=60, env=env)
        name = "tarnexctl " + " ".join(arguments)
        if run.returncode != status:
            failures.append(f"{name}: exit {run.returncode}, not {status}")
            continue
        expect(name, run.stdout.decode(), 0)
        if arguments == ["list"]:
            listed = json.loads(run.stdout)["results"]
            if [r["values"]["groups"] for r in listed] != [["Hall"], ["Hall"]]:
                failures.append(f"{name}: groups as listed: {listed}")


check_hand_written()
with tempfile.TemporaryDirectory(prefix="tarnex-schema-") as scratch:
    check_program(scratch)
for failure in failures:
    print("FAIL:", failure, file=sys.stderr)
sys.exit(1 if failures else 0)
