#include "wizard/PackageChooser.h"

#include "settings/BundleUtilities.h"
#include "settings/PackageFolder.h"
#include "toolbox/Toolbox.h"
#include "wizard/mainwindow.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

#include <cstdio>

namespace {

const QString kLastFolderKey = QStringLiteral("LastPackageFolder");

// $XDG_CONFIG_HOME/quenlo/Quenlo.conf
QSettings ChooserSettings() {
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("quenlo"),
                     QStringLiteral("Quenlo"));
}

QString ProgramName() {
    const CBundle* bundle = GetMainBundle();
    return bundle != nullptr && !bundle->identifier.isEmpty() ? bundle->identifier
                                                              : QStringLiteral("Quenlo");
}

// The settings alert for a folder that holds no package; false when it
// holds one.
bool RefuseIfNoPackage(const PackageFolderLookup& lookup, const QString& programName) {
    QString title;
    QString text;
    if (!MainWindow::SettingsProblemAlert(lookup.problem, lookup.ProblemPath(programName), &title,
                                          &text))
        return false;
    tb::CautionAlert(nullptr, title, text);
    return true;
}

} // namespace

QString LastPackageFolder() {
    const QString last = ChooserSettings().value(kLastFolderKey).toString();
    return !last.isEmpty() && QFileInfo(last).isDir() ? last : QDir::homePath();
}

PackageOpening OpenPackage(const QString& givenPath, bool mayAsk) {
    // Taken before the package's own name replaces the program's.
    const QString programName = ProgramName();
    if (!givenPath.isNull()) {
        const PackageFolderLookup lookup = FindPackageSettings(givenPath, programName);
        if (RefuseIfNoPackage(lookup, programName)) {
            std::fprintf(stderr, "Quenlo: %s holds no update package (see Quenlo --help)\n",
                         qPrintable(lookup.folder));
            return PackageOpening::Refused;
        }
        UsePackageFolder(lookup);
        return PackageOpening::Opened;
    }
    if (HasSettingsBesideProgram())
        return PackageOpening::Beside;
    if (!mayAsk)
        return PackageOpening::Empty;

    const QString title =
        GetLocalizedString(GetMainBundle(), QString::fromLatin1(stringChoosePackage));
    QString start = LastPackageFolder();
    // Each turn waits for the user; Cancel ends it.
    for (;;) {
        const QString chosen = tb::ChooseFolder(nullptr, title, start);
        if (chosen.isNull())
            return PackageOpening::Cancelled;
        const PackageFolderLookup lookup = FindPackageSettings(chosen, programName);
        if (RefuseIfNoPackage(lookup, programName)) {
            start = chosen;
            continue;
        }
        ChooserSettings().setValue(kLastFolderKey, lookup.folder);
        UsePackageFolder(lookup);
        std::printf("Quenlo: package chosen: %s\n", qPrintable(lookup.folder));
        return PackageOpening::Opened;
    }
}
