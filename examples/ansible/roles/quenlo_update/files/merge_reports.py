#!/usr/bin/env python3
"""Merges the sites' quenlo-cli reports into one fleet report.

    merge_reports.py FLEET_REPORT REPORT_DIR SITE[,SITE...]

Each site's report is REPORT_DIR/SITE.json. A site whose report is missing or
unreadable is listed with an error instead of silently dropped.
"""
import collections
import json
import os
import sys


def main():
    fleet_path, report_dir, sites = sys.argv[1], sys.argv[2], sys.argv[3].split(",")
    fleet = {"sites": [], "summary": {}}
    summary = collections.Counter()
    for site in filter(None, sites):
        path = os.path.join(report_dir, site + ".json")
        entry = {"site": site}
        try:
            with open(path, encoding="utf-8") as report:
                entry["report"] = json.load(report)
            for printer in entry["report"].get("printers", []):
                summary[printer.get("outcome", "unknown")] += 1
        except (OSError, ValueError) as error:
            entry["error"] = str(error)
            summary["site-without-report"] += 1
        fleet["sites"].append(entry)
    fleet["summary"] = dict(sorted(summary.items()))
    os.makedirs(os.path.dirname(os.path.abspath(fleet_path)), exist_ok=True)
    with open(fleet_path + ".tmp", "w", encoding="utf-8") as out:
        json.dump(fleet, out, indent=2)
        out.write("\n")
    os.replace(fleet_path + ".tmp", fleet_path)
    print(json.dumps(fleet["summary"]))


if __name__ == "__main__":
    main()
