#include "PackageLocation.h"

#include "BundleUtilities.h"

#include <QDir>
#include <QFileInfo>

namespace {

CBundle g_packageBundle;

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
        if (found.size() != 1) {
            *why = found.isEmpty()
                       ? QStringLiteral("%1: no settings file named after a program beside it")
                             .arg(folder.path())
                       : QStringLiteral("%1: several settings files (%2); give one with --package")
                             .arg(folder.path(), found.join(QStringLiteral(", ")));
            return false;
        }
        location->folder = folder.path();
        location->identifier = found.first();
    }
    location->settingsPath =
        location->folder + QLatin1Char('/') + location->identifier + QStringLiteral(".plist");
    return true;
}

void UsePackage(const PackageLocation& location) {
    g_packageBundle.executablePath = location.folder + QLatin1Char('/') + location.identifier;
    g_packageBundle.identifier = location.identifier;
    SetMainBundleOverride(&g_packageBundle);
}
