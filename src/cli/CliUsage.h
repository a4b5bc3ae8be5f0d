// The exit statuses every quenlo-cli command ends with, and how a command
// line it cannot run is told.
#pragma once

#include <QString>

constexpr int kExitOk = 0;
constexpr int kExitSomethingWrong = 1;
constexpr int kExitUsage = 2;

// "-h" or "--help".
bool IsHelp(const QString& argument);

// Tells problem on standard error with the help to try ("quenlo-cli COMMAND
// --help", or "quenlo-cli --help" for an empty command) and returns
// kExitUsage.
int Usage(const QString& problem, const char* command);
