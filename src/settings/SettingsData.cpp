#include "settings/SettingsData.h"

#include "settings/AsciiText.h"
#include "settings/BundleUtilities.h"
#include "settings/FirmwareFile.h"
#include "settings/XML.h"

#include <cstdio>

SETTINGS_DATA m_Settings;

namespace {
SETTINGS_LOAD_REPORT g_lastLoad;
} // namespace

const SETTINGS_LOAD_REPORT& LastSettingsLoad() {
    return g_lastLoad;
}

namespace {

// Size of a firmware file in bytes; 0 (listed as missing) when it cannot be
// sent: not there, not a regular file, outside the package folder.
long long MeasureFile(const QString& fileName) {
    FirmwareReader reader;
    return reader.Open(fileName) ? static_cast<long long>(reader.Size()) : 0;
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
                size = MeasureFile(entry.szFileName);
            }
            entry.szFileSize = QString::number(size);
        }
    }
    entry.szReleaseDate = xml.ReadStringValue(section, QStringLiteral("ReleaseDate"));
    entry.szSHA256 = xml.ReadStringValue(section, QStringLiteral("SHA256"));
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
    // Optional: printers that pause while they write flash need longer.
    const int seconds = xml.ReadIntValue(general, QStringLiteral("StallTimeout"));
    if (seconds != 0 || !xml.ReadStringValue(general, QStringLiteral("StallTimeout")).isNull()) {
        m_Settings.nStallTimeout = seconds < kMinStallTimeout
                                       ? kMinStallTimeout
                                       : (seconds > kMaxStallTimeout ? kMaxStallTimeout : seconds);
    }

    for (int i = 0; i < m_Settings.nFWCount; ++i)
        LoadFirmwareEntry(xml, i);

    m_Settings.nPortType = 0;
    m_Settings.szCommunity = QStringLiteral("orchid");
}
