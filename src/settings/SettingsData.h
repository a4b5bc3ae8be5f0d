// The one process-wide settings record: the package's settings and the state
// the wizard pages share (port, community, printer tables with their ticks).
#pragma once

#include "settings/XML.h"

#include <QString>
#include <cstdint>

class MainWindow;

constexpr int kMaxFirmwareFiles = 100;
constexpr int kMaxModelNames = 5;
constexpr int kMaxNetworkPrinters = 200;
constexpr int kMaxUSBPrinters = 100;
// Seconds a printer may take no byte before its download fails.
constexpr int kDefaultStallTimeout = 120;
constexpr int kMinStallTimeout = 5;
constexpr int kMaxStallTimeout = 3600;

struct BINFILE_LIST_DATA {
    QString szFileName; // as written in the settings file
    QString szFileSize; // decimal bytes; null when no path could be formed
    QString szReleaseDate;
    QString szSHA256; // "SHA256" of the section: hexadecimal SHA-256, null when absent
};

struct NETWORK_LIST_DATA {
    QString szIPv4Address; // address text (IPv4 or IPv6) shown and connected to
    QString szIPv6Address; // the same text; the IPv6 duplicate test compares this one
    QString szPrinterName;
    QString szPrinterFW;
    QString szStatus;
    QString szSerial; // "SERN:" of the device ID, empty when unknown: tells rows of one printer
};

struct USB_LIST_DATA {
    QString szSerialNumber;
    QString szPrinterName;
    QString szPrinterFW;
    QString szStatus;
};

struct SETTINGS_DATA {
    int32_t nPID = 0;
    int32_t nVID = 0;
    QString szWindowsTitle;
    QString szModelName;
    int32_t nMode = 0;
    QString szModuleName;
    int32_t nLanguage = 0;
    int32_t nFWCount = 0;                         // zero or less means no files
    int32_t nStallTimeout = kDefaultStallTimeout; // General/StallTimeout, seconds
    int32_t nEncoding = 0;
    int32_t nMDLCount = 0;
    QString szMDL[kMaxModelNames];
    QString szSysOID; // null or empty: the package is USB-only
    int32_t nBinfileIndex = 0;
    BINFILE_LIST_DATA BinfileListdata[kMaxFirmwareFiles];
    int32_t nPortType = 0; // 0 network, 1 USB
    QString szCommunity;
    int32_t nNetworkCount = 0;
    uint8_t bNetworkChecked[kMaxNetworkPrinters] = {};
    NETWORK_LIST_DATA NetworkListdata[kMaxNetworkPrinters];
    int32_t nUSBCount = 0;
    uint8_t bUSBChecked[kMaxUSBPrinters] = {};
    USB_LIST_DATA USBListdata[kMaxUSBPrinters];
    MainWindow* pMainWindow = nullptr;

    // Every field back to its starting value ("zero-filled").
    void Clear() { *this = SETTINGS_DATA{}; }
    // Number of usable firmware entries: negative counts mean none.
    int FirmwareCount() const { return nFWCount > 0 ? nFWCount : 0; }
};

extern SETTINGS_DATA m_Settings;

// Fills m_Settings from the package's settings file (the body of
// MainWindow::InitSettings, kept here so that it needs no widgets).
void LoadPackageSettings();

// What the last LoadPackageSettings found wrong with the settings file, and
// which file it was, so that the window can tell the user.
struct SETTINGS_LOAD_REPORT {
    SettingsProblem problem = SettingsProblem::None;
    QString path;
};
const SETTINGS_LOAD_REPORT& LastSettingsLoad();
