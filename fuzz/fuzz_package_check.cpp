// Any bytes as the settings file of a small package, through quenlo-cli's
// "package check": the bounded reader, every key's check, the firmware files
// it names found, measured and hashed, and on odd inputs the checksums
// written back into the settings file.
#include "cli/PackageCheck.h"
#include "cli/PackageLocation.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>

namespace {

QTemporaryDir* g_package = nullptr;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (freopen("/dev/null", "w", stdout) == nullptr)
        return 0;
    // The package around the settings: a program and two firmware files the
    // seeds name, one empty.
    g_package = new QTemporaryDir;
    const QString dir = g_package->path();
    for (const char* name : {"Quenlo", "a.bin", "b.bin", "empty.bin"}) {
        QFile file(dir + QLatin1Char('/') + QLatin1String(name));
        if (file.open(QIODevice::WriteOnly) && QLatin1String(name) != QLatin1String("empty.bin"))
            file.write(QByteArray(3000, name[0]));
    }
    QFile::setPermissions(dir + QStringLiteral("/Quenlo"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QDir(dir).mkdir(QStringLiteral("folder.bin"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString folder = QDir(g_package->path()).canonicalPath();
    const QString settings = folder + QStringLiteral("/Quenlo.plist");
    {
        QFile file(settings);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        file.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    PackageLocation location;
    location.folder = folder;
    location.identifier = QStringLiteral("Quenlo");
    location.settingsPath = settings;
    PackageCheckOptions options;
    options.writeChecksums = size > 0 && (data[size - 1] & 1) != 0;
    const PackageReport report = CheckPackage(location, options);
    // Every firmware section checked has its place among the digests.
    if (report.digests.size() > 100)
        __builtin_trap();
    return 0;
}
