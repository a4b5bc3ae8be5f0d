#!/usr/bin/env python3
"""The layer rules of src/, read from the include lines:

  - Qt Widgets is included only in src/toolbox/;
  - the network core (src/net/) never includes the USB core;
  - no core (settings, status, net, usb, transfer, history) includes the
    wizard, the command-line tool, the frame or the toolbox;
  - every include of a project header names its layer ("net/NetIO.h").

    layer_rules.py SRC-FOLDER QT-WIDGETS-HEADER-FOLDER

Exit status 0 when every rule holds; otherwise each breach is printed and
the status is 1.
"""
import os
import re
import sys

CORES = {"settings", "status", "net", "usb", "transfer", "history"}
ABOVE_CORES = {"wizard", "cli", "HIFramework", "toolbox"}
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]', re.M)


def main():
    src, widgets_dir = sys.argv[1], sys.argv[2]
    widgets = set(os.listdir(widgets_dir)) if os.path.isdir(widgets_dir) else set()
    if not widgets:
        print(f"no Qt Widgets headers in {widgets_dir}")
        return 1
    layers = {d for d in os.listdir(src) if os.path.isdir(os.path.join(src, d))}
    headers = {}
    for layer in layers:
        for name in os.listdir(os.path.join(src, layer)):
            if name.endswith(".h"):
                headers[name] = layer
    breaches = []
    for layer in sorted(layers):
        folder = os.path.join(src, layer)
        for name in sorted(os.listdir(folder)):
            if not name.endswith((".cpp", ".h")):
                continue
            path = os.path.join(layer, name)
            with open(os.path.join(folder, name), encoding="utf-8") as f:
                text = f.read()
            for kind, target in INCLUDE.findall(text):
                first = target.split("/")[0]
                if kind == "<":
                    if layer != "toolbox" and (first == "QtWidgets" or target in widgets):
                        breaches.append(f"{path}: includes Qt Widgets ({target})")
                    continue
                if "/" not in target and target in headers:
                    breaches.append(f"{path}: \"{target}\" does not name its layer")
                if layer == "net" and first == "usb":
                    breaches.append(f"{path}: the network core includes the USB core ({target})")
                if layer in CORES and first in ABOVE_CORES:
                    breaches.append(f"{path}: a core includes {first}/ ({target})")
    for breach in breaches:
        print(breach)
    return 1 if breaches else 0


if __name__ == "__main__":
    sys.exit(main())
