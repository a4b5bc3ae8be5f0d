#include "settings/BundleUtilities.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QUrl>

#include <climits>
#include <cstdlib>
#include <optional>

namespace {

const CBundle* g_bundleOverride = nullptr;

std::optional<CBundle> FindRunningProgram() {
    // The program may be started through a link; the package is the folder
    // of the file itself.
    char* real = ::realpath("/proc/self/exe", nullptr);
    if (real == nullptr)
        return std::nullopt;
    CBundle bundle;
    bundle.executablePath = QString::fromLocal8Bit(real);
    std::free(real);
    bundle.identifier = QFileInfo(bundle.executablePath).fileName();
    return bundle;
}

} // namespace

const CBundle* GetMainBundle() {
    if (g_bundleOverride != nullptr)
        return g_bundleOverride;
    static const std::optional<CBundle> running = FindRunningProgram();
    return running ? &*running : nullptr;
}

void SetMainBundleOverride(const CBundle* bundle) {
    g_bundleOverride = bundle;
}

QString CombiningTwoString(const QString& first, const QString& second) {
    if (first.isNull())
        return QString();
    if (second.isNull())
        return first;
    return first + second;
}

QString GetLocalizedString(const CBundle* bundle, const QString& key, const QString& suffix) {
    if (bundle == nullptr)
        return key;
    const QByteArray utf8 = key.toUtf8();
    QString text = QCoreApplication::translate("StringTable", utf8.constData());
    if (text.isNull())
        text = key;
    return suffix.isNull() ? text : CombiningTwoString(text, suffix);
}

QString GetAPDirectoryFileName(const QString& fileName, bool pathForm) {
    const CBundle* bundle = GetMainBundle();
    if (fileName.isNull() || bundle == nullptr || bundle->executablePath.isEmpty())
        return QString();
    QString location =
        pathForm ? bundle->executablePath
                 : QUrl::fromLocalFile(bundle->executablePath).toString(QUrl::FullyEncoded);
    // Dropping the last character keeps a trailing "/" from being taken as
    // the separator before the program's own name.
    location.chop(1);
    const qsizetype slash = location.lastIndexOf(QLatin1Char('/'));
    if (slash < 0)
        return QString();
    return CombiningTwoString(location.left(slash + 1), fileName);
}
