#include "FirmwareFile.h"

#include "BundleUtilities.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <climits>

bool FirmwareImage::Allocate(std::size_t bytes) {
    Release();
    // Straight from the kernel, with large pages where it has them: filling
    // tens of MiB of fresh small pages costs more faults than sending the
    // file over the network takes.
    void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED)
        return false;
    madvise(p, bytes, MADV_HUGEPAGE); // a hint; small pages work as well
    m_bytes = static_cast<unsigned char*>(p);
    m_length = bytes;
    return true;
}

void FirmwareImage::Release() {
    if (m_bytes != nullptr)
        munmap(m_bytes, m_length);
    m_bytes = nullptr;
    m_length = 0;
    size = 0;
}

bool ReadFirmwareFile(const QString& fileName, FirmwareImage* image) {
    image->Release();
    image->path[0] = '\0';
    const QString path = GetAPDirectoryFileName(fileName, true);
    if (path.isNull() || !CopyAsciiText(path, image->path))
        return false;
    const int fd = open(image->path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const off_t end = lseek(fd, 0, SEEK_END);
    if (end < 0 || end >= off_t(INT_MAX) || lseek(fd, 0, SEEK_SET) != 0) {
        close(fd);
        return false;
    }
    const int size = int(end);
    const bool allocated = image->Allocate(std::size_t(size) + 1);
    int got = 0;
    // Bounded: every turn either reads something or ends the loop.
    while (allocated && got < size) {
        const ssize_t n = read(fd, image->Bytes() + got, std::size_t(size - got));
        if (n <= 0)
            break;
        got += int(n);
    }
    close(fd);
    if (!allocated || got != size) {
        image->Release();
        return false;
    }
    image->size = size;
    return true;
}
