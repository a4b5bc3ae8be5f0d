// The fleet commands of quenlo-cli: list and update.
#pragma once

#include <QStringList>
#include <cstdio>

extern const char kListHelp[];
extern const char kUpdateHelp[];

// Both return the exit status; out is where results go (diagnostic lines of
// the cores never reach it). The package's settings are loaded.
int ListCommand(const QStringList& arguments, FILE* out);
int UpdateCommand(const QStringList& arguments, FILE* out);
