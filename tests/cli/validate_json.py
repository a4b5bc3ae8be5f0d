#!/usr/bin/env python3
"""Checks JSON documents against one of docs/schemas/.

    validate_json.py SCHEMA FILE...

Exit status 0 when every file is valid, 1 when any is not (each error is
printed with where in the document it is), 2 when the schema itself is no
valid Draft 2020-12 schema.
"""
import json
import sys

import jsonschema


def main():
    with open(sys.argv[1], encoding="utf-8") as f:
        schema = json.load(f)
    try:
        jsonschema.Draft202012Validator.check_schema(schema)
    except jsonschema.SchemaError as error:
        print(f"{sys.argv[1]}: not a valid schema: {error.message}")
        return 2
    validator = jsonschema.Draft202012Validator(schema)
    status = 0
    for path in sys.argv[2:]:
        with open(path, encoding="utf-8") as f:
            document = json.load(f)
        for error in validator.iter_errors(document):
            where = "/".join(str(p) for p in error.absolute_path) or "(root)"
            print(f"{path}: {where}: {error.message}")
            status = 1
    return status


if __name__ == "__main__":
    sys.exit(main())
