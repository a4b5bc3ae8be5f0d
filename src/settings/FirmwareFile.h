// One firmware file of the package, read whole before any of it is sent, so
// that a file that cannot be read in full is never sent in part.
#pragma once

#include "AsciiText.h"

#include <QString>
#include <cstddef>

class FirmwareImage {
public:
    FirmwareImage() = default;
    ~FirmwareImage() { Release(); }
    FirmwareImage(const FirmwareImage&) = delete;
    FirmwareImage& operator=(const FirmwareImage&) = delete;

    // Room for `bytes` bytes, zeroed; false when memory is short.
    bool Allocate(std::size_t bytes);
    void Release();

    unsigned char* Bytes() const { return m_bytes; }
    char* Chars() const { return reinterpret_cast<char*>(m_bytes); }

    int size = 0;               // bytes of the file; fits one signed 32-bit count
    char path[kCTextSize] = {}; // the file's path, empty when none could be formed

private:
    unsigned char* m_bytes = nullptr;
    std::size_t m_length = 0;
};

// Reads the package's file named fileName (beside the program) into image.
// False when no path can be formed, or the file cannot be opened, sized or
// read in full, or is 2 GiB or larger. Opened read-only: a package on
// read-only media must still be sent. An empty file is whole with nothing in
// it. image->path is filled as soon as the path is known.
bool ReadFirmwareFile(const QString& fileName, FirmwareImage* image);
