// SHA-256 of package files, for the optional "SHA256" key of a firmware
// section: a package damaged in transit or on its medium is caught before a
// printer receives a byte of it.
#pragma once

#include <QString>

struct FileDigest {
    bool ok = false;
    QString hex;   // 64 lowercase hexadecimal digits when ok
    QString error; // why the file could not be read when not ok
};

// Reads the file in pieces (memory does not grow with the file) and hashes
// it. Opened read-only and without blocking, so a FIFO cannot hold us.
FileDigest Sha256OfFile(const QString& path);

// True when text is 64 hexadecimal digits (either case).
bool IsSha256Text(const QString& text);

// Checks every firmware file of the loaded package that has a "SHA256" key
// against it, in the package's order, before anything is sent. True when all
// match (or none has the key); otherwise false with the first file that does
// not match, or cannot be read, or whose key is not a SHA-256, in *fileName.
bool VerifyPackageChecksums(QString* fileName);
