// What a monitoring system reads about the last update run: a Prometheus text
// file for node_exporter's textfile collector. Every sample carries the
// package's folder as its "package" label, so that runs of several packages
// (one file each) can lie side by side in the collector's folder.
#pragma once

#include "cli/Fleet.h"

#include <QByteArray>
#include <vector>

// The whole file: the run (version, dry run, duration, end time, bytes), the
// printers per outcome (every outcome listed, zeros included, so an alert on
// "failed" has a series to watch) and per printer its bytes and duration.
QByteArray MetricsText(const QString& model, const UpdateRun& run,
                       const std::vector<PrinterOutcome>& outcomes);

// A label value in the exposition format: backslash, quote and line break
// escaped.
QByteArray MetricsLabelValue(const QString& value);
