#!/usr/bin/env python3
"""Checks one --json document: the whole of the file is one JSON document,
valid against the repository's schema, and each PATH (keys and list
indices, dot-separated) holds the JSON value given.

    json_check.py SCHEMA DOCUMENT [PATH=VALUE]...

Prints what is wrong and exits 1; exits 0 when everything holds."""
import json
import sys

import jsonschema


def main():
    with open(sys.argv[1]) as f:
        schema = json.load(f)
    with open(sys.argv[2]) as f:
        text = f.read()
    try:
        document = json.loads(text)
        jsonschema.Draft202012Validator(schema).validate(document)
    except (ValueError, jsonschema.ValidationError) as error:
        print(f"    {sys.argv[2]}: {error}".splitlines()[0])
        return 1
    wrong = 0
    for check in sys.argv[3:]:
        path, expected = check.split("=", 1)
        value = document
        try:
            for part in path.split("."):
                value = value[int(part)] if isinstance(value, list) else value[part]
        except (KeyError, IndexError, ValueError):
            value = "(missing)"
        if value != json.loads(expected):
            print(f"    {path}: {json.dumps(value)}, expected {expected}")
            wrong = 1
    return wrong


sys.exit(main())
