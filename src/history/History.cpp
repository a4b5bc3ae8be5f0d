#include "history/History.h"

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

namespace {

// A descriptor that closes itself.
class Fd {
public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    ~Fd() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

// The history's folder and file are opened by name only relative to the
// folder above them, and never through a link: a link put in place of
// either would otherwise have the history written, and the folder's mode
// changed, wherever it points. The base folder ($XDG_STATE_HOME) is the
// user's own choice and may be a link.
struct HistoryFolder {
    int fd = -1;
    QString why; // when fd < 0
};

HistoryFolder OpenHistoryFolder(const QString& path, bool create) {
    HistoryFolder result;
    const QString folder = QFileInfo(path).absolutePath();
    const QString base = QFileInfo(folder).absolutePath();
    if (create && !QDir().mkpath(base)) {
        result.why = QStringLiteral("cannot create %1").arg(base);
        return result;
    }
    const Fd baseFd(
        ::open(QFile::encodeName(base).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (baseFd.get() < 0) {
        result.why =
            QStringLiteral("%1: %2").arg(base, QString::fromLocal8Bit(std::strerror(errno)));
        return result;
    }
    const QByteArray name = QFile::encodeName(QFileInfo(folder).fileName());
    if (create && ::mkdirat(baseFd.get(), name.constData(), 0700) != 0 && errno != EEXIST) {
        result.why = QStringLiteral("cannot create %1: %2")
                         .arg(folder, QString::fromLocal8Bit(std::strerror(errno)));
        return result;
    }
    const int fd =
        ::openat(baseFd.get(), name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        result.why =
            error == ENOTDIR || error == ELOOP
                ? QStringLiteral("%1 is a link or not a folder; it is not followed").arg(folder)
                : QStringLiteral("%1: %2").arg(folder,
                                               QString::fromLocal8Bit(std::strerror(error)));
        return result;
    }
    // Only our own folder is made private; another's is left as it is.
    struct stat info {};
    if (create && ::fstat(fd, &info) == 0 && info.st_uid == ::geteuid())
        ::fchmod(fd, 0700);
    result.fd = fd;
    return result;
}

// The history file in its folder, never through a link and never blocking
// on something that is not a regular file. -1 with *why otherwise.
int OpenHistoryFile(const QString& path, int flags, QString* why) {
    const HistoryFolder folder = OpenHistoryFolder(path, (flags & O_CREAT) != 0);
    if (folder.fd < 0) {
        *why = folder.why;
        return -1;
    }
    const Fd folderFd(folder.fd);
    const QByteArray name = QFile::encodeName(QFileInfo(path).fileName());
    const int fd = ::openat(folderFd.get(), name.constData(),
                            flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0) {
        const int error = errno;
        *why =
            error == ELOOP
                ? QStringLiteral("%1 is a link; it is not followed").arg(path)
                : QStringLiteral("%1: %2").arg(path, QString::fromLocal8Bit(std::strerror(error)));
        return -1;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        *why = QStringLiteral("%1 is not a regular file").arg(path);
        return -1;
    }
    return fd;
}

} // namespace

bool AppendHistory(const HistoryEntry& entry) {
    const QString path = HistoryFilePath();
    if (path.isEmpty()) {
        std::fprintf(stderr, "quenlo: history not written: no home folder\n");
        return false;
    }
    QByteArray line = QJsonDocument(HistoryEntryToJson(entry)).toJson(QJsonDocument::Compact);
    line.append('\n');
    QString why;
    const Fd fd(OpenHistoryFile(path, O_WRONLY | O_APPEND | O_CREAT, &why));
    if (fd.get() < 0) {
        std::fprintf(stderr, "quenlo: history not written: %s\n", why.toLocal8Bit().constData());
        return false;
    }
    ssize_t written = -1;
    do {
        written = ::write(fd.get(), line.constData(), static_cast<size_t>(line.size()));
    } while (written < 0 && errno == EINTR);
    if (written != line.size()) {
        std::fprintf(stderr, "quenlo: history not written: %s: %s\n",
                     path.toLocal8Bit().constData(),
                     written < 0 ? std::strerror(errno) : "short write");
        return false;
    }
    return true;
}

std::vector<HistoryEntry> ReadHistory(QString* error) {
    std::vector<HistoryEntry> entries;
    const QString path = HistoryFilePath();
    if (path.isEmpty() || !QFileInfo(path).exists())
        return entries;
    QString why;
    const Fd fd(OpenHistoryFile(path, O_RDONLY, &why));
    QFile file;
    if (fd.get() < 0 || !file.open(fd.get(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle)) {
        if (error != nullptr)
            *error = fd.get() < 0 ? why : path + QStringLiteral(": ") + file.errorString();
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
