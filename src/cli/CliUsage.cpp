#include "cli/CliUsage.h"

#include <cstdio>

bool IsHelp(const QString& argument) {
    return argument == QLatin1String("-h") || argument == QLatin1String("--help");
}

int Usage(const QString& problem, const char* command) {
    std::fprintf(stderr, "quenlo-cli: %s\nTry \"quenlo-cli %s%s--help\".\n",
                 problem.toLocal8Bit().constData(), command, *command != '\0' ? " " : "");
    return kExitUsage;
}
