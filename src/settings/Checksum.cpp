#include "settings/Checksum.h"

#include "settings/BundleUtilities.h"

#include "settings/Sha256.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
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
    Sha256 hash;
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
        hash.Add(piece.data(), std::size_t(n));
    }
    ::close(fd);
    digest.ok = true;
    digest.hex = QString::fromStdString(DigestHex(hash.Finish()));
    return digest;
}

bool IsSha256Text(const QString& text) {
    return ParseDigestHex(text.toStdString()).has_value();
}

bool AnyChecksum(const std::vector<FirmwareEntry>& files) {
    return std::any_of(files.begin(), files.end(),
                       [](const FirmwareEntry& file) { return !file.sha256.isNull(); });
}

std::vector<ChecksumJob> ChecksumJobs(const std::vector<FirmwareEntry>& files) {
    std::vector<ChecksumJob> jobs;
    for (const FirmwareEntry& entry : files)
        if (!entry.sha256.isNull())
            jobs.push_back({entry.name, GetAPDirectoryFileName(entry.name, true), entry.sha256});
    return jobs;
}

bool RunChecksums(const std::vector<ChecksumJob>& jobs, QString* fileName, QStringList* digests) {
    if (digests != nullptr)
        digests->clear();
    for (const ChecksumJob& job : jobs) {
        const FileDigest digest = job.path.isNull() ? FileDigest{} : Sha256OfFile(job.path);
        if (digests != nullptr)
            digests->append(digest.hex);
        if (!IsSha256Text(job.sha256) || !digest.ok ||
            digest.hex.compare(job.sha256, Qt::CaseInsensitive) != 0) {
            *fileName = job.name;
            return false;
        }
    }
    return true;
}

bool VerifyPackageChecksums(QString* fileName) {
    return RunChecksums(ChecksumJobs(PackageFirmware()), fileName);
}
