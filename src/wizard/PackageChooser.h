// Which update package the wizard opens: the one its program lies in, one
// given on the command line, or one the user chooses.
#pragma once

#include <QString>

enum class PackageOpening {
    Beside,    // the program's own settings file lies beside it
    Opened,    // the package given or chosen is the one the wizard reads
    Cancelled, // the user cancelled the chooser
    Refused,   // the package given holds no settings file (the alert said so)
    Empty,     // nothing beside the program and nobody to ask
};

// givenPath: the folder (or settings file) of --package, or null. Without
// one, a program with no settings file beside it asks with a folder chooser
// when mayAsk (nobody could answer while only pictures are taken), starting
// in the folder chosen last; a folder that holds no package is refused with
// the settings alert and the chooser asks again.
PackageOpening OpenPackage(const QString& givenPath, bool mayAsk);

// Where the chooser starts: the package folder chosen last, when it is
// still there, else the home folder.
QString LastPackageFolder();
