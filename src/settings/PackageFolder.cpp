#include "settings/PackageFolder.h"

#include "settings/BundleUtilities.h"

#include <QDir>
#include <QFileInfo>

namespace {

const QString kSuffix = QStringLiteral(".plist");

CBundle g_packageBundle;

} // namespace

QString PackageFolderLookup::ProblemPath(const QString& programName) const {
    switch (problem) {
    case SettingsProblem::Ambiguous:
        return folder;
    case SettingsProblem::None:
        return folder + QLatin1Char('/') + identifier + kSuffix;
    default:
        return folder + QLatin1Char('/') + programName + kSuffix;
    }
}

PackageFolderLookup FindPackageSettings(const QString& path, const QString& programName) {
    PackageFolderLookup lookup;
    const QFileInfo given(path);
    if (given.isFile() && given.fileName().endsWith(kSuffix) && given.fileName().size() > 6) {
        lookup.folder = QFileInfo(given.canonicalFilePath()).absolutePath();
        lookup.identifier = given.fileName().chopped(kSuffix.size());
        return lookup;
    }
    if (!given.isDir()) {
        lookup.folder = given.absoluteFilePath();
        lookup.problem = SettingsProblem::Missing;
        return lookup;
    }
    lookup.folder = given.canonicalFilePath();
    QStringList names;
    // Links are followed: a package may link its settings file from elsewhere.
    for (const QFileInfo& file :
         QDir(lookup.folder)
             .entryInfoList({QStringLiteral("*") + kSuffix}, QDir::Files | QDir::CaseSensitive)) {
        if (file.fileName().size() > kSuffix.size())
            names.append(file.fileName().chopped(kSuffix.size()));
    }
    if (names.size() == 1)
        lookup.identifier = names.first();
    else if (names.contains(programName))
        lookup.identifier = programName;
    else
        lookup.problem = names.isEmpty() ? SettingsProblem::Missing : SettingsProblem::Ambiguous;
    return lookup;
}

bool HasSettingsBesideProgram() {
    const CBundle* bundle = GetMainBundle();
    if (bundle == nullptr)
        return false;
    const QString path = GetAPDirectoryFileName(bundle->identifier + kSuffix, true);
    return !path.isNull() && QFileInfo::exists(path);
}

bool UsePackageFolder(const PackageFolderLookup& lookup) {
    if (lookup.problem != SettingsProblem::None || lookup.identifier.isEmpty())
        return false;
    g_packageBundle.executablePath = lookup.folder + QLatin1Char('/') + lookup.identifier;
    g_packageBundle.identifier = lookup.identifier;
    SetMainBundleOverride(&g_packageBundle);
    return true;
}
