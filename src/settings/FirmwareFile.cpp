#include "settings/FirmwareFile.h"

#include "settings/BundleUtilities.h"
#include "settings/SettingsData.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>

namespace {

std::string RealPath(const std::string& path) {
    char* real = realpath(path.c_str(), nullptr);
    if (real == nullptr)
        return std::string();
    std::string result(real);
    std::free(real);
    return result;
}

int64_t ModifiedNs(const struct stat& info) {
    return int64_t(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
}

} // namespace

std::vector<FirmwareEntry> PackageFirmware() {
    std::vector<FirmwareEntry> files;
    const int count = std::min(m_Settings.FirmwareCount(), kMaxFirmwareFiles);
    for (int j = 0; j < count; ++j) {
        const BINFILE_LIST_DATA& entry = m_Settings.BinfileListdata[j];
        files.push_back({entry.szFileName, entry.szSHA256});
    }
    return files;
}

std::string ResolveFirmwareFile(const QString& fileName) {
    if (fileName.isEmpty())
        return std::string();
    const QString path = GetAPDirectoryFileName(fileName, true);
    const QString folder = GetAPDirectoryFileName(QStringLiteral("."), true);
    if (path.isNull() || folder.isNull())
        return std::string();
    const std::string realFile = RealPath(path.toStdString());
    std::string realFolder = RealPath(folder.toStdString());
    if (realFile.empty() || realFolder.empty())
        return std::string();
    if (realFolder.back() != '/')
        realFolder += '/';
    // Inside means below the folder, not the folder itself.
    if (realFile.size() <= realFolder.size() ||
        realFile.compare(0, realFolder.size(), realFolder) != 0)
        return std::string();
    struct stat info {};
    if (::stat(realFile.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return std::string();
    return realFile;
}

FirmwareReader::~FirmwareReader() {
    Close();
}

bool FirmwareReader::Open(const QString& fileName) {
    Close();
    m_path = ResolveFirmwareFile(fileName);
    if (m_path.empty())
        return false;
    // The path is free of links now: O_NOFOLLOW refuses one swapped in
    // since, and O_NONBLOCK keeps a FIFO swapped in from holding the open.
    m_fd = ::open(m_path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
    if (m_fd < 0)
        return false;
    struct stat info {};
    if (::fstat(m_fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 0 ||
        info.st_size >= off_t(INT_MAX)) {
        Close();
        return false;
    }
    m_size = int64_t(info.st_size);
    m_read = 0;
    m_modifiedNs = ModifiedNs(info);
    return true;
}

void FirmwareReader::Close() {
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_size = 0;
    m_read = 0;
    m_modifiedNs = 0;
    m_endedEarly = false;
}

bool FirmwareReader::Unchanged() const {
    struct stat info {};
    return m_fd >= 0 && ::fstat(m_fd, &info) == 0 && int64_t(info.st_size) == m_size &&
           ModifiedNs(info) == m_modifiedNs;
}

long FirmwareReader::Read(unsigned char* into, std::size_t length) {
    if (m_fd < 0 || into == nullptr)
        return -1;
    const int64_t left = m_size - m_read;
    if (left <= 0)
        return 0;
    if (int64_t(length) > left)
        length = std::size_t(left);
    for (;;) {
        const ssize_t n = ::read(m_fd, into, length);
        if (n > 0) {
            m_read += n;
            return long(n);
        }
        if (n < 0 && errno == EINTR)
            continue;
        // A file that ends before its measured size is not whole.
        m_endedEarly = n == 0;
        return -1;
    }
}
