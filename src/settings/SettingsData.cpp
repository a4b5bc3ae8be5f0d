#include "SettingsData.h"

#include "AsciiText.h"
#include "BundleUtilities.h"
#include "XML.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

SETTINGS_DATA m_Settings;

namespace {
SETTINGS_LOAD_REPORT g_lastLoad;
} // namespace

const SETTINGS_LOAD_REPORT& LastSettingsLoad() {
    return g_lastLoad;
}

namespace {

// Size of a firmware file in bytes; 0 when it cannot be opened or is not a
// regular file. Opened read-only: a file the user may read but not write is
// still a firmware file that can be sent.
long long MeasureFile(const char* path) {
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    struct stat info {};
    long long size = 0;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        const off_t end = ::lseek(fd, 0, SEEK_END);
        size = end < 0 ? 0 : static_cast<long long>(end);
    }
    ::close(fd);
    return size;
}

void LoadFirmwareEntry(const CXML& xml, int index) {
    BINFILE_LIST_DATA& entry = m_Settings.BinfileListdata[index];
    const QString section = QString::asprintf("Fw%d", index);
    entry.szFileName = xml.ReadStringValue(section, QStringLiteral("FileName"));
    if (!entry.szFileName.isNull()) {
        const QString path = GetAPDirectoryFileName(entry.szFileName, true);
        if (!path.isNull()) {
            char cPath[kCTextSize];
            long long size = 0;
            if (CopyAsciiText(path, cPath)) {
                std::printf("m_Settings.BinfileListdata[i].szFileName=%s\n", cPath);
                size = MeasureFile(cPath);
            }
            entry.szFileSize = QString::number(size);
        }
    }
    entry.szReleaseDate = xml.ReadStringValue(section, QStringLiteral("ReleaseDate"));
}

} // namespace

void LoadPackageSettings() {
    const CXML xml;
    m_Settings.Clear();
    g_lastLoad.problem = xml.Problem();
    g_lastLoad.path = xml.Path();

    const QString general = QStringLiteral("General");
    m_Settings.nPID = xml.ReadIntValue(general, QStringLiteral("PID"));
    m_Settings.nVID = xml.ReadIntValue(general, QStringLiteral("VID"));
    m_Settings.szWindowsTitle = xml.ReadStringValue(general, QStringLiteral("WindowsTitle"));
    m_Settings.nEncoding = xml.ReadIntValue(general, QStringLiteral("Encoding"));
    m_Settings.nMDLCount = xml.ReadIntValue(general, QStringLiteral("MDLCnt"));
    if (m_Settings.nMDLCount > kMaxModelNames)
        m_Settings.nMDLCount = kMaxModelNames;
    for (int i = 0; i < m_Settings.nMDLCount; ++i)
        m_Settings.szMDL[i] = xml.ReadStringValue(general, QString::asprintf("MDL%d", i));
    m_Settings.szSysOID = xml.ReadStringValue(general, QStringLiteral("SysOID"));
    m_Settings.szModelName = xml.ReadStringValue(general, QStringLiteral("ModelName"));
    m_Settings.nMode = xml.ReadIntValue(general, QStringLiteral("Mode"));
    m_Settings.szModuleName = xml.ReadStringValue(general, QStringLiteral("ModuleName"));
    m_Settings.nLanguage = xml.ReadIntValue(general, QStringLiteral("Language"));
    m_Settings.nFWCount = xml.ReadIntValue(general, QStringLiteral("FwCount"));
    if (m_Settings.nFWCount > kMaxFirmwareFiles)
        m_Settings.nFWCount = kMaxFirmwareFiles;
    std::printf("m_Settings.nFWCount = %d\n", m_Settings.nFWCount);

    for (int i = 0; i < m_Settings.nFWCount; ++i)
        LoadFirmwareEntry(xml, i);

    m_Settings.nPortType = 0;
    m_Settings.szCommunity = QStringLiteral("orchid");
}
