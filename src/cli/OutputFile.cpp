#include "cli/OutputFile.h"

#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryFile>

namespace {

// The file written: a link's target, so that the rename replaces the file
// the link names rather than the link.
QString Target(const QString& path) {
    const QFileInfo info(path);
    return info.isSymLink() && info.exists() ? info.canonicalFilePath() : path;
}

} // namespace

bool CanReplaceFile(const QString& path, QString* why) {
    const QFileInfo target(Target(path));
    if (target.isDir()) {
        *why = QStringLiteral("%1 is a folder").arg(path);
        return false;
    }
    // A FIFO, socket or device would be silently replaced by a file.
    if (target.exists() && !target.isFile()) {
        *why = QStringLiteral("%1 is not a regular file (a FIFO, socket or device)").arg(path);
        return false;
    }
    // QSaveFile refuses to replace a file that is not writable.
    if (target.exists() && !target.isWritable()) {
        *why = QStringLiteral("%1 cannot be replaced: it is not writable").arg(path);
        return false;
    }
    const QFileInfo folder(target.absolutePath());
    if (!folder.isDir()) {
        *why = QStringLiteral("%1: the folder %2 does not exist").arg(path, folder.filePath());
        return false;
    }
    // Permissions, read-only mounts, quotas and security modules all have a
    // say; only creating a file tells.
    QTemporaryFile trial(folder.filePath() + QStringLiteral("/.quenlo-cli-check-XXXXXX"));
    if (!trial.open()) {
        *why = QStringLiteral("%1: cannot create a file in %2: %3")
                   .arg(path, folder.filePath(), trial.errorString());
        return false;
    }
    return true;
}

bool WriteFileAtomically(const QString& path, const QByteArray& bytes, QString* why) {
    QSaveFile file(Target(path));
    // Never written in place: a reader sees the old file or the new one.
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        *why = QStringLiteral("%1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}
