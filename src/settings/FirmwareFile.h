// One firmware file of the package, opened for sending and read in pieces
// while it is sent, so that memory does not grow with the firmware.
//
// A file name is usable only when it resolves, links followed, to a regular
// file inside the package folder: a settings file must not be able to send
// /etc/passwd, a device or a FIFO to a printer.
#pragma once

#include <QString>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// One firmware file as the settings file names it.
struct FirmwareEntry {
    QString name;   // relative to the package folder
    QString sha256; // the section's SHA256 key; null when it has none
};

// The loaded package's firmware files (m_Settings), in their order.
std::vector<FirmwareEntry> PackageFirmware();

// The real path of the package's file fileName, or empty when it is not a
// regular file inside the package folder (or no path can be formed).
std::string ResolveFirmwareFile(const QString& fileName);

class FirmwareReader {
public:
    FirmwareReader() = default;
    ~FirmwareReader();
    FirmwareReader(const FirmwareReader&) = delete;
    FirmwareReader& operator=(const FirmwareReader&) = delete;

    // Opens and measures the file; false when it is unusable, cannot be
    // opened or sized, or is 2 GiB or larger. Never blocks (a FIFO put in
    // place of the file is refused, not waited for).
    bool Open(const QString& fileName);
    void Close();

    int64_t Size() const { return m_size; }
    // Up to length bytes: the count read, 0 at the end of the measured size,
    // -1 when the read fails or the file ends early.
    long Read(unsigned char* into, std::size_t length);
    // After a Read of -1: whether the file ended before its measured size
    // (it was cut while open) rather than failing to read.
    bool EndedEarly() const { return m_endedEarly; }
    // Whether the open file still has the size and modification time it had
    // when it was opened: one rewritten in place while it was sent has not.
    bool Unchanged() const;

    const std::string& Path() const { return m_path; }

private:
    int m_fd = -1;
    int64_t m_size = 0;
    int64_t m_read = 0;
    int64_t m_modifiedNs = 0;
    bool m_endedEarly = false;
    std::string m_path;
};
