// A vendor's check of a package before shipping it: the settings file
// readable, every key of the right kind and within its bound, every firmware
// file present, regular, inside the package folder and matching its SHA256.
#pragma once

#include "cli/PackageLocation.h"

#include <QString>
#include <QStringList>

struct PackageReport {
    QStringList errors;   // what is wrong: the package should not ship so
    QStringList warnings; // worth a look, but the package works
    QStringList notes;    // what was checked or written
    QStringList digests;  // per firmware index: the file's SHA-256, empty when unusable
};

struct PackageCheckOptions {
    // Adds or renews the "SHA256" key of every firmware section whose file
    // is usable, keeping every other key; the settings file keeps its format.
    bool writeChecksums = false;
    // Reads and hashes every firmware file. Off, the files are only found,
    // measured and opened: a list or an update hashes what it needs itself.
    bool hashFiles = true;
};

PackageReport CheckPackage(const PackageLocation& location, const PackageCheckOptions& options);
