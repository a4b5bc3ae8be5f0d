#include "cli/PackageLocation.h"

#include "settings/BundleUtilities.h"
#include "settings/PackageFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>

namespace {

QString OwnFolder() {
    const CBundle* self = GetMainBundle();
    return self == nullptr ? QString() : QFileInfo(self->executablePath).absolutePath();
}

} // namespace

bool LocatePackage(const QString& path, const QString& selfName, PackageLocation* location,
                   QString* why) {
    const QString given = path.isEmpty() ? OwnFolder() : path;
    const QFileInfo info(given);
    if (given.isEmpty() || (!info.exists() && !info.isSymLink())) {
        *why = QStringLiteral("%1: no such file or folder").arg(given);
        return false;
    }
    if (!info.isDir()) {
        if (!given.endsWith(QLatin1String(".plist"))) {
            *why =
                QStringLiteral("%1: a package is a folder or its .plist settings file").arg(given);
            return false;
        }
        // A settings file linked from elsewhere brings its own folder; one
        // that is no regular file at all is the reader's to refuse.
        location->folder = info.isFile() ? QFileInfo(info.canonicalFilePath()).absolutePath()
                                         : QFileInfo(info.absolutePath()).canonicalFilePath();
        location->identifier = info.completeBaseName();
    } else {
        const QDir folder(info.canonicalFilePath());
        QStringList found;
        for (const QFileInfo& plist :
             folder.entryInfoList({QStringLiteral("*.plist")}, QDir::Files)) {
            const QString name = plist.completeBaseName();
            const QFileInfo program(folder.filePath(name));
            if (name != selfName && program.isFile() && program.isExecutable())
                found.append(name);
        }
        if (found.size() > 1) {
            *why = QStringLiteral("%1: several settings files (%2); give one with --package")
                       .arg(folder.path(), found.join(QStringLiteral(", ")));
            return false;
        }
        if (found.size() == 1) {
            location->folder = folder.path();
            location->identifier = found.first();
        } else {
            // A package being made has no program in it yet: a given folder
            // that holds one settings file (or the one named after the
            // program among several) is taken, and the choice told.
            const PackageFolderLookup lookup =
                path.isEmpty()
                    ? PackageFolderLookup{folder.path(), QString(), SettingsProblem::Missing}
                    : FindPackageSettings(folder.path(), QStringLiteral("Quenlo"));
            if (lookup.problem != SettingsProblem::None) {
                *why = lookup.problem == SettingsProblem::Ambiguous
                           ? QStringLiteral("%1: several settings files and none named "
                                            "Quenlo.plist; give one with --package")
                                 .arg(folder.path())
                           : QStringLiteral("%1: no settings file named after a program beside it")
                                 .arg(folder.path());
                return false;
            }
            location->folder = lookup.folder;
            location->identifier = lookup.identifier;
            std::fprintf(stderr, "quenlo-cli: using %s\n",
                         QFile::encodeName(lookup.ProblemPath(QString())).constData());
        }
    }
    location->settingsPath =
        location->folder + QLatin1Char('/') + location->identifier + QStringLiteral(".plist");
    return true;
}

void UsePackage(const PackageLocation& location) {
    PackageFolderLookup lookup;
    lookup.folder = location.folder;
    lookup.identifier = location.identifier;
    UsePackageFolder(lookup);
}
