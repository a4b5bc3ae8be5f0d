// Start-up shared by the benchmark helpers that drive the wizard: its
// diagnostic lines dropped, offscreen, on the package in a given folder.
#pragma once

#include "settings/BundleUtilities.h"

#include <QFileInfo>
#include <QString>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

// Sends standard output to /dev/null and returns a descriptor of the real
// one for the helper's figures; -1 when that fails. Asks Qt for offscreen.
inline int QuietOffscreen() {
    const int out = dup(1);
    if (out < 0 || std::freopen("/dev/null", "w", stdout) == nullptr)
        return -1;
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    return out;
}

// The program "Quenlo" as if it lay in packageDir, so that the wizard reads
// that folder's Quenlo.plist; bundle must outlive the wizard.
inline void UsePackageFolder(const char* packageDir, CBundle& bundle) {
    bundle.executablePath = QFileInfo(QString::fromLocal8Bit(packageDir)).absoluteFilePath() +
                            QStringLiteral("/Quenlo");
    bundle.identifier = QStringLiteral("Quenlo");
    SetMainBundleOverride(&bundle);
}
