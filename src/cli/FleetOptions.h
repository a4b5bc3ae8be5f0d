// The options of quenlo-cli's fleet commands, list and update, and their
// help texts.
#pragma once

#include <QString>
#include <QStringList>
#include <cstdio>

extern const char kListHelp[];
extern const char kUpdateHelp[];

// Where and how the printers are asked: shared by list and update.
struct SearchOptions {
    QString community = QStringLiteral("orchid");
    QStringList subnets;
    QStringList addresses;
    bool broadcast = true;
    bool usb = false;
};

struct ListOptions {
    SearchOptions search;
    bool json = false;
    bool csv = false;
};

struct UpdateOptions {
    SearchOptions search;
    bool all = false;
    QStringList targets;
    bool verify = false;
    bool dryRun = false;
    int parallel = 4;
    int verifyTimeoutS = 600;
    QString report;  // .json or .csv, found writable
    QString metrics; // .prom, found writable
};

// The options of a command, read before anything else (the package
// included): -1 when the command is to run, otherwise its exit status (0
// after --help, 2 after a usage error, told on standard error).
int ParseListOptions(const QStringList& arguments, ListOptions* list, FILE* out);
int ParseUpdateOptions(const QStringList& arguments, UpdateOptions* update, FILE* out);
