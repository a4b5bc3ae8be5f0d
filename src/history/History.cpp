#include "History.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Reading is for people and scripts looking back; a history grown beyond
// this is read from its end.
constexpr qint64 kMaxHistoryRead = 64 * 1024 * 1024;

QString TimeText(const QDateTime& time) {
    return time.toUTC().toString(Qt::ISODate);
}

} // namespace

QString HistoryFilePath() {
    QString base = qEnvironmentVariable("XDG_STATE_HOME");
    // Relative values are invalid by the base-directory rules and are ignored.
    if (base.isEmpty() || !QDir::isAbsolutePath(base)) {
        const QString home = qEnvironmentVariable("HOME");
        if (home.isEmpty() || !QDir::isAbsolutePath(home))
            return QString();
        base = home + QStringLiteral("/.local/state");
    }
    return base + QStringLiteral("/quenlo/history.jsonl");
}

QJsonObject HistoryEntryToJson(const HistoryEntry& entry) {
    QJsonObject object;
    object.insert(QStringLiteral("time"), TimeText(entry.time));
    object.insert(QStringLiteral("program"), entry.program);
    object.insert(QStringLiteral("model"), entry.model);
    object.insert(QStringLiteral("address"), entry.address);
    object.insert(QStringLiteral("name"), entry.name);
    object.insert(QStringLiteral("files"), QJsonArray::fromStringList(entry.files));
    object.insert(QStringLiteral("outcome"), entry.outcome);
    if (!entry.cause.isEmpty())
        object.insert(QStringLiteral("cause"), entry.cause);
    if (!entry.message.isEmpty())
        object.insert(QStringLiteral("message"), entry.message);
    if (!entry.sha256.isEmpty())
        object.insert(QStringLiteral("sha256"), QJsonArray::fromStringList(entry.sha256));
    return object;
}

bool AppendHistory(const HistoryEntry& entry) {
    const QString path = HistoryFilePath();
    if (path.isEmpty()) {
        std::fprintf(stderr, "quenlo: history not written: no home folder\n");
        return false;
    }
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "quenlo: history not written: cannot create %s\n",
                     folder.toLocal8Bit().constData());
        return false;
    }
    ::chmod(QFile::encodeName(folder).constData(), 0700);

    QByteArray line = QJsonDocument(HistoryEntryToJson(entry)).toJson(QJsonDocument::Compact);
    line.append('\n');
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        std::fprintf(stderr, "quenlo: history not written: %s: %s\n",
                     path.toLocal8Bit().constData(), std::strerror(errno));
        return false;
    }
    ssize_t written = -1;
    do {
        written = ::write(fd, line.constData(), static_cast<size_t>(line.size()));
    } while (written < 0 && errno == EINTR);
    const int saved = errno;
    ::close(fd);
    if (written != line.size()) {
        std::fprintf(stderr, "quenlo: history not written: %s: %s\n",
                     path.toLocal8Bit().constData(),
                     written < 0 ? std::strerror(saved) : "short write");
        return false;
    }
    return true;
}

std::vector<HistoryEntry> ReadHistory(QString* error) {
    std::vector<HistoryEntry> entries;
    const QString path = HistoryFilePath();
    QFile file(path);
    if (path.isEmpty() || !file.exists())
        return entries;
    if (!file.open(QIODevice::ReadOnly)) {
        if (error != nullptr)
            *error = file.errorString();
        return entries;
    }
    if (file.size() > kMaxHistoryRead)
        file.seek(file.size() - kMaxHistoryRead);
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (const QByteArray& line : lines) {
        const QJsonDocument document = QJsonDocument::fromJson(line);
        if (!document.isObject())
            continue;
        const QJsonObject object = document.object();
        HistoryEntry entry;
        entry.time =
            QDateTime::fromString(object.value(QStringLiteral("time")).toString(), Qt::ISODate);
        if (!entry.time.isValid())
            continue;
        entry.program = object.value(QStringLiteral("program")).toString();
        entry.model = object.value(QStringLiteral("model")).toString();
        entry.address = object.value(QStringLiteral("address")).toString();
        entry.name = object.value(QStringLiteral("name")).toString();
        for (const QJsonValue& file : object.value(QStringLiteral("files")).toArray())
            entry.files.append(file.toString());
        entry.outcome = object.value(QStringLiteral("outcome")).toString();
        entry.cause = object.value(QStringLiteral("cause")).toString();
        entry.message = object.value(QStringLiteral("message")).toString();
        for (const QJsonValue& digest : object.value(QStringLiteral("sha256")).toArray())
            entry.sha256.append(digest.toString());
        entries.push_back(std::move(entry));
    }
    // Lines are appended in time order, but two programs may append at once;
    // among equal times the later line stays first.
    std::reverse(entries.begin(), entries.end());
    std::stable_sort(entries.begin(), entries.end(),
                     [](const HistoryEntry& a, const HistoryEntry& b) { return a.time > b.time; });
    return entries;
}
