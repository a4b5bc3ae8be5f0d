#!/usr/bin/env python3
"""Prints the command a systemd service would run, one argument a line,
starting with /usr/bin/env and the unit's Environment= assignments.

    unit_command.py UNIT-FILE INSTANCE STATE-DIR ENV-FILE

Reads ExecStart= of the [Service] section (continued lines joined) and
expands it as systemd does for a template instance: the specifiers %i, %I,
%S (STATE-DIR standing for /var/lib) and %%, then the variables of the
environment file: "${NAME}" stays one argument, "$NAME" as a word of its own
splits at blanks into zero or more. Only what the units beside this project
use is supported; anything else is an error, so a unit using more fails
loudly here instead of being run wrong.
"""
import re
import shlex
import sys


def service_settings(path, key):
    text = open(path, encoding="utf-8").read().replace("\\\n", " ")
    section = None
    values = []
    for line in text.splitlines():
        line = line.strip()
        if line.startswith("["):
            section = line
        elif section == "[Service]" and line.startswith(key + "="):
            values.append(line[len(key) + 1:])
    return values


def environment(path):
    values = {}
    for line in open(path, encoding="utf-8"):
        line = line.strip()
        if not line or line[0] in "#;":
            continue
        name, sep, value = line.partition("=")
        if not sep or not re.fullmatch(r"[A-Za-z_][A-Za-z0-9_]*", name.strip()):
            sys.exit(f"{path}: not NAME=VALUE: {line}")
        value = value.strip()
        if len(value) >= 2 and value[0] == value[-1] and value[0] in "\"'":
            value = value[1:-1]
        values[name.strip()] = value
    return values


def main():
    unit, instance, state, env_file = sys.argv[1:5]
    env = environment(env_file)
    specifiers = {"i": instance, "I": instance, "S": state, "%": "%"}

    def specifier(match):
        if match.group(1) not in specifiers:
            sys.exit(f"{unit}: specifier %{match.group(1)} not supported here")
        return specifiers[match.group(1)]

    starts = service_settings(unit, "ExecStart")
    if len(starts) != 1:
        sys.exit(f"{unit}: not one ExecStart= in [Service]")
    argv = ["/usr/bin/env"]
    for setting in service_settings(unit, "Environment"):
        argv += [re.sub(r"%(.)", lambda m: specifier(m), word) for word in shlex.split(setting)]
    for word in shlex.split(starts[0]):
        word = re.sub(r"%(.)", specifier, word)
        whole = re.fullmatch(r"\$([A-Za-z_][A-Za-z0-9_]*)", word)
        if whole:
            argv += env.get(whole.group(1), "").split()
            continue
        word = re.sub(r"\$\{([A-Za-z_][A-Za-z0-9_]*)\}", lambda m: env.get(m.group(1), ""), word)
        if "$" in word:
            sys.exit(f"{unit}: variable use not supported here: {word}")
        argv.append(word)
    print("\n".join(argv))


if __name__ == "__main__":
    main()
