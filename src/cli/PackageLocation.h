// Where the command-line tool finds its package: a folder (its settings file
// is the one .plist named after an executable file beside it) or the settings
// file itself.
#pragma once

#include <QString>

struct PackageLocation {
    QString folder;       // absolute, links resolved, no trailing "/"
    QString settingsPath; // folder + "/" + identifier + ".plist"
    QString identifier;   // the settings file's name less ".plist"
};

// Finds the package at path; on failure returns false and says why in *why.
// An empty path means the folder of the running program, as the wizard does.
bool LocatePackage(const QString& path, const QString& selfName, PackageLocation* location,
                   QString* why);

// Makes the settings loader and the package paths of the cores read this
// package, as if its program were the one running.
void UsePackage(const PackageLocation& location);
