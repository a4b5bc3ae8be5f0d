// The fleet commands of quenlo-cli: list and update.
#pragma once

#include "cli/FleetOptions.h"

#include <cstdio>

// Both return the exit status; out is where results go (diagnostic lines of
// the cores never reach it). The package's settings are loaded.
int ListCommand(const ListOptions& list, FILE* out);
// Options, then the plan (FleetPlan.h), the run (FleetUpdate.h), and what it
// leaves behind (FleetReport.h).
int UpdateCommand(const UpdateOptions& update, FILE* out);
