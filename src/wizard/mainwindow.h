// The wizard: one window whose four pages take the user from the package's
// firmware files to the printers that receive them.
#pragma once

#include <future>
#include <string>
#include <utility>
#include <vector>

#include "HIFramework/TWindow.h"
#include "settings/SettingsData.h"
#include "transfer/TransferEngine.h"

class CAddIPAddressDlg;
class CProgressDlg;

// Controls of the main window.
constexpr tb::ControlID kBackButton = {tb::Code("MAIN"), 1};
constexpr tb::ControlID kNextButton = {tb::Code("MAIN"), 2};
constexpr tb::ControlID kCancelButton = {tb::Code("MAIN"), 3};
constexpr tb::ControlID controlMainTab = {tb::Code("TABC"), 4};
constexpr tb::ControlID controlStaticModelNameTitle = {tb::Code("FIRS"), 100};
constexpr tb::ControlID controlStaticModelName = {tb::Code("FIRS"), 101};
constexpr tb::ControlID controlGroupLanguage = {tb::Code("FIRS"), 102};
constexpr tb::ControlID controlComboLanguage = {tb::Code("FIRS"), 103};
constexpr tb::ControlID controlStaticLanguageTitle = {tb::Code("FIRS"), 104};
constexpr tb::ControlID controlBinFileListView = {tb::Code("FIRS"), 105};
constexpr tb::ControlID controlGroupPort = {tb::Code("PORT"), 200};
constexpr tb::ControlID controlRadioNetwork = {tb::Code("PORT"), 201};
constexpr tb::ControlID controlStaticNetworkDesc = {tb::Code("PORT"), 202};
constexpr tb::ControlID controlRadioUSB = {tb::Code("PORT"), 203};
constexpr tb::ControlID controlStaticUSBDesc = {tb::Code("PORT"), 204};
constexpr tb::ControlID controlNetworkStaticTitle1 = {tb::Code("NETW"), 300};
constexpr tb::ControlID controlNetworkStaticTitle2 = {tb::Code("NETW"), 301};
constexpr tb::ControlID controlNetworkStaticModuleName = {tb::Code("NETW"), 302};
constexpr tb::ControlID controlNetworkEditModuleName = {tb::Code("NETW"), 303};
constexpr tb::ControlID controlNetworkListView = {tb::Code("NETW"), 304};
constexpr tb::ControlID controlNetworkStaticCommunity = {tb::Code("NETW"), 305};
constexpr tb::ControlID controlNetworkEditCommunity = {tb::Code("NETW"), 306};
constexpr tb::ControlID controlNetworkRefreshButton = {tb::Code("NETW"), 307};
constexpr tb::ControlID controlNetworkAddButton = {tb::Code("NETW"), 308};
constexpr tb::ControlID controlUSBStaticTitle1 = {tb::Code("USBP"), 400};
constexpr tb::ControlID controlUSBStaticTitle2 = {tb::Code("USBP"), 401};
constexpr tb::ControlID controlUSBStaticModuleName = {tb::Code("USBP"), 402};
constexpr tb::ControlID controlUSBEditModuleName = {tb::Code("USBP"), 403};
constexpr tb::ControlID controlUSBListView = {tb::Code("USBP"), 404};
constexpr tb::ControlID controlUSBRefreshButton = {tb::Code("USBP"), 405};

// The panes of the four pages.
constexpr uint32_t kPaneSignature = tb::Code("PANE");
constexpr int32_t kFirstPaneID = 129;
constexpr int kPageCount = 4;

// Commands of the main window.
constexpr uint32_t kCommandCancel = tb::Code("CANC");
constexpr uint32_t kCommandBack = tb::Code("BACK");
constexpr uint32_t kCommandNext = tb::Code("NEXT");
constexpr uint32_t kCommandTab = tb::Code("TABC");
constexpr uint32_t kCommandNetwork = tb::Code("NETW");
constexpr uint32_t kCommandUSB = tb::Code("USBP");
constexpr uint32_t kCommandBinFileList = tb::Code("LBIN");
constexpr uint32_t kCommandNetworkList = tb::Code("LNET");
constexpr uint32_t kCommandUSBList = tb::Code("LUSB");
constexpr uint32_t kCommandAddAddress = tb::Code("ADDD");
constexpr uint32_t kCommandRefreshNetwork = tb::Code("RNET");
constexpr uint32_t kCommandRefreshUSB = tb::Code("RUSB");

// Columns of the three lists.
constexpr uint32_t kColumnFile = tb::Code("FILE");
constexpr uint32_t kColumnSize = tb::Code("SIZE");
constexpr uint32_t kColumnDate = tb::Code("DATE");
constexpr uint32_t kColumnNetworkCheck = tb::Code("NCHK");
constexpr uint32_t kColumnAddress = tb::Code("IPV4");
constexpr uint32_t kColumnName = tb::Code("NAME");
constexpr uint32_t kColumnFirmware = tb::Code("PRFW");
constexpr uint32_t kColumnStatus = tb::Code("STAT");
constexpr uint32_t kColumnUSBCheck = tb::Code("UCHK");
constexpr uint32_t kColumnSerial = tb::Code("SENO");

// User-visible texts: each is the English text and its key in the string table.
inline constexpr const char* stringBack = "Back";
inline constexpr const char* stringNext = "Next";
inline constexpr const char* stringCancel = "Cancel";
inline constexpr const char* stringFinish = "Finish";
inline constexpr const char* stringModelNameTitle = "Model";
inline constexpr const char* stringGroupLanguageTitle = "Language";
inline constexpr const char* stringLanguageTitle = "Please select the language.";
inline constexpr const char* stringGroupPortTitle = "Select a port for updating";
inline constexpr const char* stringNetwork = "Network (Port9100)";
inline constexpr const char* stringNetworkDesc =
    "When updating Firmware via Network interface. do not print jobs or open the printer "
    "driver properties until the update is completed.";
inline constexpr const char* stringUSB = "USB";
inline constexpr const char* stringUSBDesc =
    "When updating Firmware via USB interface. do not print jobs or open the printer driver "
    "properties until the update is completed.";
inline constexpr const char* stringNetworkTitle1 = "Please select printers to update.";
inline constexpr const char* stringNetworkTitle2 =
    "Update data will be sent to the printer when you click Next.";
inline constexpr const char* stringNetworkTitle3 =
    "Do not switch off the power until the Ready indicator lights, or [Ready to print] is "
    "displayed.";
inline constexpr const char* stringModuleNameTitle = "Module Name";
inline constexpr const char* stringCommunityTitle = "Community";
inline constexpr const char* stringRefresh = "Refresh";
inline constexpr const char* stringAdd = "Add";
inline constexpr const char* stringUSBTitle1 = "Please select printers to update.";
inline constexpr const char* stringUSBTitle2 =
    "Update data will be sent to the printer when you click Next.";
inline constexpr const char* stringUSBTitle3 =
    "Do not switch off the power until the Ready indicator lights, or [Ready to print] is "
    "displayed.";
inline constexpr const char* stringFileName = "File Name";
inline constexpr const char* stringFileSize = "File Size";
inline constexpr const char* stringReleaseDate = "Release Date";
inline constexpr const char* stringListIPv4Address = "IP Address";
inline constexpr const char* stringPrinterName = "Printer Name";
inline constexpr const char* stringPrinterFW = "Printer F/W";
inline constexpr const char* stringStatus = "Status";
inline constexpr const char* stringSerialNo = "Serial No.";
inline constexpr const char* stringMessageTitle = "Warning";
inline constexpr const char* stringSUCCESS = "Firmware download completed!";
inline constexpr const char* stringUSB_FWDOANLOAD_FAIL = "Firmware download via USB fail!";
inline constexpr const char* stringNETWORK_FWDOANLOAD_FAIL = "Firmware download via Network fail!";
inline constexpr const char* stringIPRepeated = "The IP Address is repeated.";
inline constexpr const char* stringIPInvalid =
    "Please make sure that the MFP is connected correctly.";
inline constexpr const char* stringDisconnectPrinter = "Unable to download data to the printer:";
inline constexpr const char* stringSettingsUnusable = "The settings file cannot be used:";
inline constexpr const char* stringChecksumMismatch =
    "A firmware file does not match its checksum, so nothing was sent:";
inline constexpr const char* stringFileChanged =
    "A firmware file changed while it was sent, so the printer did not get it whole:";
inline constexpr const char* stringSettingsMissing = "The file does not exist.";
inline constexpr const char* stringSettingsUnreadable = "The file cannot be read.";
inline constexpr const char* stringSettingsCorrupt = "The file is not a valid property list.";
inline constexpr const char* stringSettingsTooLarge =
    "The file is larger than 16 MiB and was not read.";
inline constexpr const char* stringSettingsTooDeep =
    "The file nests deeper than 32 levels and was not read.";
inline constexpr const char* stringSettingsTooManyValues =
    "The file holds more than 65536 values and was not read.";
inline constexpr const char* stringSettingsAmbiguous =
    "The folder holds several settings files (.plist) and none is named after the program.";
inline constexpr const char* stringChoosePackage = "Choose an update package";
inline constexpr const char* stringAddIPAddress = "Add IP Address";
inline constexpr const char* stringIPv4Address = "IPv4 Address";
inline constexpr const char* stringIPv6Address = "IPv6 Address";
inline constexpr const char* stringOK = "OK";
inline constexpr const char* stringDownloading = "Downloading";
inline constexpr const char* stringDownloadingStatus = "Sending Update data";
inline constexpr const char* stringDownloadingPrinterName = "Printer:";
// Names that screen readers announce: the pages and their lists, the check
// box column, the address fields of the Add IP Address dialog.
inline constexpr const char* stringPageFirmware = "Firmware files";
inline constexpr const char* stringPagePort = "Port";
inline constexpr const char* stringPageNetwork = "Network printers";
inline constexpr const char* stringPageUSB = "USB printers";
inline constexpr const char* stringUpdateColumn = "Update";
inline constexpr const char* stringFirstOctet = "First octet";
inline constexpr const char* stringSecondOctet = "Second octet";
inline constexpr const char* stringThirdOctet = "Third octet";
inline constexpr const char* stringFourthOctet = "Fourth octet";

// Sets a control's text from the string table, the key's text followed by
// suffix, as its title (buttons, groups) or its text. No control, a null key
// or a key without text leaves it as it is.
void SetLocalizedControlText(tb::Control* control, const QString& key, const QString& suffix,
                             bool asTitle);

// Key filter of the community field: letters, digits, "_", "-" and the
// editing keys.
int CommunityNumericFilter(tb::Control* control, int16_t* keyCode, int16_t* charCode,
                           uint32_t* modifiers);
extern tb::KeyFilterProc fEditFilterProc;
// Discovery callbacks: the Refresh's collection of answering printers (one
// entry per address; the rows are added once all have been asked), and the
// address check.
bool FindNetworkCallback(char* address, char* unused, void* context);
bool IsValidIPAddressCallback(char* address, char* unused, void* context);
extern bool g_bFindIPAddress;

// The printers' raw print port; the download itself is the transfer engine's.
constexpr int kPrintPort = 9100;

// Sets a flag for as long as it lives and clears it on every way out: a
// download or the USB reading under way.
class FlagScope {
public:
    explicit FlagScope(bool& flag) : m_flag(flag) { m_flag = true; }
    ~FlagScope() { m_flag = false; }
    FlagScope(const FlagScope&) = delete;
    FlagScope& operator=(const FlagScope&) = delete;

private:
    bool& m_flag;
};

class MainWindow : public TWindow {
public:
    // Opens the one main window; does nothing while it is open.
    static void Create();

    MainWindow();
    ~MainWindow() override;

    tb::Status HandleEvent(tb::HandlerCall* call, TCarbonEvent& event) override;
    bool HandleCommand(const tb::Command& command) override;

    void InitWindow();
    void InitSettings();
    void SetControlLocalizedString();
    // Names for screen readers, from the string table.
    void SetAccessibleNames();

    void OnNext();
    void OnBack();
    void OnCancel();
    void OnCancelDownload() { m_bCancel = true; }
    // While a download runs, closing only cancels it; the window closes when
    // the download has ended.
    void Close() override;
    tb::Status TabEventHandlerProc();
    void SwitchItemOfTabControl(tb::Window* window, tb::Control* tabControl, int page);
    void EnableNextControl();

    // Messages: code 0 to 8, anything else shows code 0.
    void ShowMessage(int code, const QString& extra = QString());
    // The English text of a message (its key in the string table), as the
    // history records it; null for a code without a message.
    static const char* MessageText(int code);
    // The code of the message on the screen, -1 when none is (a script that
    // walks the wizard reads outcomes by number, in any language).
    int MessageShown() const { return m_messageShown; }
    // A caution alert naming the settings file and why it could not be used,
    // when it could not.
    void ReportSettingsProblem();
    // That alert's title and text, for a problem with the file at path;
    // false for no problem.
    static bool SettingsProblemAlert(SettingsProblem problem, const QString& path, QString* title,
                                     QString* text);
    int StandardCautionAlert(const QString& title, const QString& message);
    void FinishedContorl();

    // Firmware file list.
    void InitBinFileListControl();
    static tb::Status BinFileListDataBrowserItemDataCallback(tb::Control* browser, tb::ItemID item,
                                                             uint32_t property, tb::ItemData* data,
                                                             bool setValue);
    void OnBinFileListClicked();

    // Printer lists; discovery and downloads are filled in by their own work.
    void InitNetworkListControl();
    static tb::Status NetworkListDataBrowserItemDataCallback(tb::Control* browser, tb::ItemID item,
                                                             uint32_t property, tb::ItemData* data,
                                                             bool setValue);
    void InitUSBListControl();
    static tb::Status USBListDataBrowserItemDataCallback(tb::Control* browser, tb::ItemID item,
                                                         uint32_t property, tb::ItemData* data,
                                                         bool setValue);
    void NetworkRefresh();
    void AddNetworkIP(const char* address);
    void AddNetworkRows(const std::vector<std::string>& addresses, const char* community,
                        int limitMs);
    void USBRefresh();
    void AddUSBSerialNumber(const char* serialNumber, const char* printerName, const char* firmware,
                            const char* status);
    int NetworkFWUpgrade();
    int USBFWUpgrade();
    tb::Status EditChanged(tb::HandlerCall* call, TCarbonEvent& event);

    // Address check and manual entry. The dialog passed is the one whose OK
    // was pressed; one that is not this window's open dialog is refused.
    bool IsValidIPAddress(const char* address);
    int OnAddIPAddressOKV4(CAddIPAddressDlg* dialog);
    int OnAddIPAddressOKV6(CAddIPAddressDlg* dialog);
    void AddIPDialogClosed(CAddIPAddressDlg* dialog);
    CAddIPAddressDlg* AddIPDialog() const { return m_pAddIPDlg; }

    bool IsDownloading() const { return m_bDownloading; }
    // The USB list is being read: the vendor commands wait with the window's
    // events running and the watch cursor shown.
    bool IsReadingUsb() const { return m_bReadingUsb; }
    // The progress dialog of the printer being served, or null.
    CProgressDlg* ProgressDialog() const { return m_pProgressDlg; }

    // Shows a page directly (pictures of the pages); 1 to 4.
    void ShowPage(int page);
    int CurrentPage() const { return m_currentPage; }
    bool IsCancelled() const { return m_bCancel; }

private:
    int AddTypedAddress(QString typed, QString NETWORK_LIST_DATA::*listed);
    tb::Control* m_languagePopup = nullptr;
    tb::Control* m_binFileList = nullptr;
    tb::Control* m_networkList = nullptr;
    tb::Control* m_usbList = nullptr;
    int16_t m_currentPage = 1;
    tb::Control* m_mainTab = nullptr;
    tb::Control* m_backButton = nullptr;
    tb::Control* m_nextButton = nullptr;
    tb::Control* m_cancelButton = nullptr;
    tb::Control* m_networkRadio = nullptr;
    tb::Control* m_usbRadio = nullptr;
    tb::Control* m_communityEdit = nullptr;
    CAddIPAddressDlg* m_pAddIPDlg = nullptr;
    bool m_bCancel = false;
    // A download is running (events are dispatched from inside it).
    bool m_bDownloading = false;
    // The USB printer is being read (USBRefresh): commands wait as during a
    // download.
    bool m_bReadingUsb = false;
    // The user closed the window during the download or the USB reading.
    bool m_bCloseAfterDownload = false;
    CProgressDlg* m_pProgressDlg = nullptr;
    int m_messageShown = -1;

    bool HandleCommandWhileDownloading(uint32_t commandID);
    // A download or the USB reading runs, with events dispatched from inside
    // it: commands that would start other work are ignored and a close waits.
    bool Busy() const { return m_bDownloading || m_bReadingUsb; }
    // After work that let events run: the window closes now if the user
    // closed it meanwhile. True when it did (this object is gone then).
    bool CloseIfAsked();
    // The package's firmware files, by name, in their order.
    std::vector<QString> FirmwareFileNames() const;
    // False, after message 7 naming the file, when a firmware file of the
    // package does not match its SHA256: then no printer gets anything. The
    // check runs once per run, on a thread of its own from the moment the
    // settings are read, so that it is usually done before the first
    // download; a package without SHA256 keys is not read for it at all.
    bool PackageChecksumsMatch();
    void StartChecksumCheck();
    std::future<std::pair<bool, QString>> m_checksums; // (all match, first file that did not)
    bool m_checksumsMatch = true;
    QString m_checksumMismatch;
    bool m_waitingForChecksums = false;
    // One line of the update history for one printer's outcome: what the
    // user was told (message code, -1 for none), why, and what was sent.
    void RecordOutcome(const QString& address, const QString& name, const char* outcome,
                       int message, const transfer::Result* result = nullptr);
    // Tells the user how a download ended and records it: message 0 and the
    // finished state, failMessage (1 USB, 2 network) for a failure, message 8
    // for a file that changed while it was sent, nothing for a cancel. An
    // unreachable printer is recorded with unreachableMessage and left to the
    // caller to tell.
    void EndDownload(const QString& address, const QString& name, const transfer::Result& result,
                     int failMessage, int unreachableMessage);
    // The ticked rows by printer: each printer's rows, the one its package
    // goes to first.
    std::vector<std::vector<int>> TickedPrinters() const;
    void OpenAddIPDialog();

    tb::Control* Find(tb::ControlID id) const;
    bool HasSysOID() const;
    void SetTabValue(int page);
};

extern MainWindow* g_pMainWindow;
