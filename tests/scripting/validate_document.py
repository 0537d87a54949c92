#!/usr/bin/env python3
"""Checks one tarnexctl --json document, read from standard input, against the schema.

Usage: validate_document.py SCHEMA < DOCUMENT
Exit status: 0 valid, 1 invalid (each reason on standard error), 2 usage or an unusable schema.
"""

import json
import sys

# A document lists at most every display of a table; anything far larger is not one.
MAX_DOCUMENT_BYTES = 64 * 1024 * 1024


def load_validator(path):
    import jsonschema

    with open(path, encoding="utf-8") as file:
        schema = json.load(file)
    cls = jsonschema.validators.validator_for(schema, default=jsonschema.Draft202012Validator)
    cls.check_schema(schema)
    return cls(schema)


def read_document():
    data = sys.stdin.buffer.read(MAX_DOCUMENT_BYTES + 1)
    if len(data) > MAX_DOCUMENT_BYTES:
        raise ValueError(f"more than {MAX_DOCUMENT_BYTES} bytes")
    return json.loads(data.decode("utf-8"))


def said(error):
    # A failed "not" or "if" quotes the whole instance; its start is enough to find it.
    text = error.message
    return text if len(text) <= 200 else text[:200] + "..."


def path_key(error):
    # A path mixes list positions and field names, which Python does not order together.
    return [str(part) for part in error.absolute_path]


def main(argv):
    if len(argv) != 2 or argv[1].startswith("-"):
        print("usage: validate_document.py SCHEMA < DOCUMENT", file=sys.stderr)
        return 2
    try:
        validator = load_validator(argv[1])
    except Exception as error:  # missing module, unreadable file, bad schema: all unusable
        print(f"validate_document.py: schema {argv[1]}: {error}", file=sys.stderr)
        return 2
    try:
        document = read_document()
    except ValueError as error:  # JSONDecodeError and UnicodeDecodeError included
        print(f"not a JSON document: {error}", file=sys.stderr)
        return 1
    errors = sorted(validator.iter_errors(document), key=path_key)
    for error in errors:
        where = "/".join(str(part) for part in error.absolute_path) or "(document)"
        print(f"{where}: {said(error)}", file=sys.stderr)
        # An if/then or a oneOf says little by itself: its deepest reasons say what failed.
        for cause in sorted(error.context or [], key=path_key):
            inner = "/".join(str(part) for part in cause.absolute_path) or "(document)"
            print(f"  {inner}: {said(cause)}", file=sys.stderr)
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
