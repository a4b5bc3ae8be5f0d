#include "Checksum.h"

#include "BundleUtilities.h"
#include "SettingsData.h"

#include <QCryptographicHash>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

FileDigest Sha256OfFile(const QString& path) {
    FileDigest digest;
    const QByteArray native = path.toLocal8Bit();
    const int fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        digest.error = QString::fromLocal8Bit(std::strerror(errno));
        return digest;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        digest.error = QStringLiteral("not a regular file");
        ::close(fd);
        return digest;
    }
    QCryptographicHash hash(QCryptographicHash::Sha256);
    std::vector<char> piece(1 << 20);
    for (;;) {
        const ssize_t n = ::read(fd, piece.data(), piece.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            digest.error = QString::fromLocal8Bit(std::strerror(errno));
            ::close(fd);
            return digest;
        }
        if (n == 0)
            break;
        hash.addData(QByteArrayView(piece.data(), n));
    }
    ::close(fd);
    digest.ok = true;
    digest.hex = QString::fromLatin1(hash.result().toHex());
    return digest;
}

bool IsSha256Text(const QString& text) {
    if (text.size() != 64)
        return false;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        const bool digit =
            (u >= '0' && u <= '9') || (u >= 'a' && u <= 'f') || (u >= 'A' && u <= 'F');
        if (!digit)
            return false;
    }
    return true;
}

bool VerifyPackageChecksums(QString* fileName) {
    for (int i = 0; i < m_Settings.FirmwareCount(); ++i) {
        const BINFILE_LIST_DATA& entry = m_Settings.BinfileListdata[i];
        if (entry.szSHA256.isNull())
            continue;
        const QString path = GetAPDirectoryFileName(entry.szFileName, true);
        const FileDigest digest = path.isNull() ? FileDigest{} : Sha256OfFile(path);
        if (!IsSha256Text(entry.szSHA256) || !digest.ok ||
            digest.hex.compare(entry.szSHA256, Qt::CaseInsensitive) != 0) {
            *fileName = entry.szFileName;
            return false;
        }
    }
    return true;
}
