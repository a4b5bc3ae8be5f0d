// SHA-256 of package files, for the optional "SHA256" key of a firmware
// section: a package damaged in transit or on its medium is caught before a
// printer receives a byte of it.
#pragma once

#include "settings/FirmwareFile.h"

#include <QString>
#include <QStringList>
#include <vector>

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

// Whether any file of the list has a "SHA256" key: only then is there
// anything to check before sending.
bool AnyChecksum(const std::vector<FirmwareEntry>& files);

// The checks to make: each file with a "SHA256" key, its path resolved in
// the package folder (null when none can be formed), in the package's order.
struct ChecksumJob {
    QString name;   // as the settings file names it
    QString path;   // where it is read
    QString sha256; // the key
};
std::vector<ChecksumJob> ChecksumJobs(const std::vector<FirmwareEntry>& files);

// Checks every job's file against its key, in order, before anything is
// sent. True when all match (or there are none); otherwise false with the
// first file that does not match, or cannot be read, or whose key is not a
// SHA-256, in *fileName. *digests (when given) gets each job's SHA-256 as
// read, empty where it could not be read. Touches no process-wide state, so
// it may run on a thread of its own while printers are found.
bool RunChecksums(const std::vector<ChecksumJob>& jobs, QString* fileName,
                  QStringList* digests = nullptr);

// The same for the loaded package.
bool VerifyPackageChecksums(QString* fileName);
