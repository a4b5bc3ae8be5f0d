// Any bytes at all as the package's settings file, through the whole loader:
// the size and shape checks, the property-list parser, and every read the
// wizard makes of the result.
#include "settings/SettingsData.h"
#include "settings/XML.h"

#include <QString>

#include <cstdint>
#include <cstdio>
#include <sys/mman.h>
#include <unistd.h>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The diagnostic lines would drown the fuzzer's own output.
    if (freopen("/dev/null", "w", stdout) == nullptr)
        return 0;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // An anonymous file stands for the settings file: the loader opens it by
    // path as it would the real one.
    const int fd = memfd_create("settings", MFD_CLOEXEC);
    if (fd < 0)
        return 0;
    size_t written = 0;
    while (written < size) {
        const ssize_t n = write(fd, data + written, size - written);
        if (n <= 0)
            break;
        written += static_cast<size_t>(n);
    }
    {
        const CXML xml(QStringLiteral("/proc/self/fd/%1").arg(fd));
        // Unsigned: the values read are the file's own and may be any int.
        volatile unsigned sink = 0;
        if (xml.IsLoaded()) {
            const QString general = QStringLiteral("General");
            for (const char* key : {"PID", "VID", "MDLCnt", "FwCount", "Language", "Mode"})
                sink = sink +
                       static_cast<unsigned>(xml.ReadIntValue(general, QString::fromLatin1(key)));
            for (const char* key : {"WindowsTitle", "SysOID", "ModelName", "ModuleName", "MDL0"})
                sink = sink + static_cast<unsigned>(
                                  xml.ReadStringValue(general, QString::fromLatin1(key)).size());
            for (int i = 0; i < 3; ++i) {
                const QString section = QStringLiteral("Fw%1").arg(i);
                sink = sink + static_cast<unsigned>(
                                  xml.ReadStringValue(section, QStringLiteral("FileName")).size());
                sink =
                    sink + static_cast<unsigned>(
                               xml.ReadStringValue(section, QStringLiteral("ReleaseDate")).size());
            }
        } else if (xml.Problem() == SettingsProblem::None) {
            __builtin_trap(); // not loaded must say why
        }
    }
    close(fd);
    return 0;
}
