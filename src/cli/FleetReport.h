// What an update leaves behind once its printers have ended: a history line
// per printer, and the report and the metrics file the options name.
#pragma once

#include "cli/Fleet.h"
#include "settings/FirmwareFile.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

// Appends each outcome to the history, as a printer sent the files of the
// loaded package's model.
std::function<void(const PrinterOutcome&)> HistoryRecorder(const std::vector<FirmwareEntry>& files);

// The run as report and metrics speak of it, ended now.
UpdateRun FinishedRun(const QDateTime& started, bool dryRun);

// Writes the report (when report is not empty; JSON or CSV by its ending)
// and the metrics (when metrics is not empty), each replaced whole. checked
// holds, per firmware index, the SHA-256 that the check before sending read.
// False when either could not be written, each told on standard error.
bool WriteRunFiles(const QString& report, const QString& metrics, const QStringList& checked,
                   const std::vector<PrinterOutcome>& printers, const UpdateRun& run);
