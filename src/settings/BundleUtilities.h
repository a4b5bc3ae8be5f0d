// Files beside the program and localized texts.
//
// A package is a folder holding the program, its settings file and its
// firmware files side by side; the "bundle" is the program as found on disk.
#pragma once

#include <QString>

struct CBundle {
    QString executablePath; // real path of the program, links resolved
    QString identifier;     // the program's file name; names the settings file
};

// The running program's bundle, or null when its path cannot be found.
const CBundle* GetMainBundle();
// Tests place the program elsewhere; null restores the real one.
void SetMainBundleOverride(const CBundle* bundle);

// first + second; null when first is null; first when second is null.
QString CombiningTwoString(const QString& first, const QString& second);

// The localized text of key from the "StringTable" context, followed by
// suffix when one is given; the key itself when bundle is null.
QString GetLocalizedString(const CBundle* bundle, const QString& key,
                           const QString& suffix = QString());

// The folder that holds the program, ending in "/", followed by fileName: a
// file-system path when pathForm is true, a file:// URL text otherwise. Null
// when fileName is null or no folder can be found.
QString GetAPDirectoryFileName(const QString& fileName, bool pathForm);
