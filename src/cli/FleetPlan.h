// What an update is to do, settled before the first byte goes out: the
// printers it serves (those that did not answer already ended
// "unreachable"), the channel and the policy of their road, the probe that
// --verify asks, and the package's files proven to match their SHA256 keys.
#pragma once

#include "cli/Fleet.h"
#include "cli/FleetOptions.h"
#include "cli/FleetUpdate.h"

#include <QString>
#include <QStringList>
#include <vector>

struct PlannedUpdate {
    UpdatePlan plan; // its record is the report's to set
    std::vector<PrinterOutcome> printers;
    // Per firmware index: the SHA-256 that the check before sending read,
    // empty for a file without a key.
    QStringList checkedDigests;
};

// The plan for the loaded package. False with *problem set when the update
// cannot run at all: the package names no firmware files, it names no model
// identifier for a network search, or a file does not match its key (then
// nothing is sent to any printer). The files are hashed while the printers
// are found.
bool PlanUpdate(const UpdateOptions& update, PlannedUpdate* planned, QString* problem);
