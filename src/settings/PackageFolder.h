// A package opened by a program that does not lie in it (the installed
// copy): which file of the folder is the package's settings file, and the
// cores reading that folder as a copy of the program inside it would.
#pragma once

#include "settings/XML.h"

#include <QString>

struct PackageFolderLookup {
    QString folder;     // absolute, links resolved; the path as given when it is no folder
    QString identifier; // the settings file's name less ".plist"; empty when none was found
    // None, Missing (no such folder, or no .plist in it) or Ambiguous.
    SettingsProblem problem = SettingsProblem::None;

    // The file the problem is about: the settings file expected (Missing),
    // the folder (Ambiguous), the settings file found (None).
    QString ProblemPath(const QString& programName) const;
};

// The settings file of the package at path, a folder or a .plist file in
// one: the folder's one .plist file, or of several the one named after the
// program. Hidden files do not count (a copy from another system may carry
// "._Name.plist" companions).
PackageFolderLookup FindPackageSettings(const QString& path, const QString& programName);

// Whether the running program's own settings file lies beside it: then it
// is a copy inside its package.
bool HasSettingsBesideProgram();

// From now on the package paths and the settings loader read lookup's
// package, as if the program lay in its folder under the settings file's
// name. Only a lookup that found its settings file is taken.
bool UsePackageFolder(const PackageFolderLookup& lookup);
