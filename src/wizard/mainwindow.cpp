#include "wizard/mainwindow.h"

#include "history/History.h"
#include "settings/Checksum.h"

#include "settings/BundleUtilities.h"
#include "wizard/AddIPAddress.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <tuple>

using listrows::ClampedCount;
using listrows::RowOf;
using listrows::SetText;

MainWindow* g_pMainWindow = nullptr;

namespace {

// The panes are looked up again on every switch: a pane missing from the
// interface file only leaves its page empty.
tb::Control* FindIn(tb::Window* window, tb::ControlID id) {
    tb::Control* control = nullptr;
    if (window == nullptr || tb::GetControlByID(window, id, &control) != tb::kNoErr)
        return nullptr;
    return control;
}

} // namespace

void MainWindow::Create() {
    if (g_pMainWindow != nullptr)
        return;
    auto* window = new MainWindow;
    g_pMainWindow = window;
    if (window->GetWindowRef() == nullptr) {
        std::printf("MainWindow::Create: no window \"MainWindow\" in the interface file\n");
        delete window;
        return;
    }
    tb::CenterWindowOnScreen(window->GetWindowRef());
    window->InitWindow();
    window->Show();
    // Without usable settings the window is as empty as it looks; say why.
    window->ReportSettingsProblem();
}

MainWindow::MainWindow() : TWindow("MainWindow", "main") {
    m_Settings.Clear();
}

MainWindow::~MainWindow() {
    if (g_pMainWindow == this)
        g_pMainWindow = nullptr;
    // An open Add dialog would otherwise report to a window that is gone.
    if (CAddIPAddressDlg* dialog = m_pAddIPDlg) {
        m_pAddIPDlg = nullptr;
        dialog->ForgetParent();
        dialog->Close();
    }
    m_Settings.Clear();
}

tb::Control* MainWindow::Find(tb::ControlID id) const {
    return FindIn(GetWindowRef(), id);
}

bool MainWindow::HasSysOID() const {
    return !m_Settings.szSysOID.isEmpty();
}

void MainWindow::InitSettings() {
    LoadPackageSettings();
    StartChecksumCheck();
}

void MainWindow::InitWindow() {
    InitSettings();
    tb::Window* window = GetWindowRef();

    m_mainTab = Find(controlMainTab);
    if (m_mainTab != nullptr) {
        // The tab strip itself is never shown: pages change by Next and Back.
        tb::SetControlValue(m_mainTab, 1);
        SwitchItemOfTabControl(window, m_mainTab, 1);
    }
    m_backButton = Find(kBackButton);
    m_nextButton = Find(kNextButton);
    m_cancelButton = Find(kCancelButton);

    m_communityEdit = Find(controlNetworkEditCommunity);
    if (m_communityEdit != nullptr) {
        tb::SetControlDragTrackingEnabled(m_communityEdit, false);
        tb::SetControlKeyFilter(m_communityEdit, fEditFilterProc);
    }

    if (m_backButton != nullptr) {
        tb::SetControlVisibility(m_backButton, false);
        tb::DrawControl(m_backButton);
    }

    m_languagePopup = Find(controlComboLanguage);
    int32_t items = 0;
    if (m_languagePopup != nullptr &&
        tb::GetPopupItemCount(m_languagePopup, &items) == tb::kNoErr) {
        if (m_Settings.nLanguage >= items)
            m_Settings.nLanguage = items - 1;
        if (m_Settings.nLanguage < 0)
            m_Settings.nLanguage = 0;
        tb::SetControlValue(m_languagePopup, m_Settings.nLanguage + 1);
    }

    m_binFileList = Find(controlBinFileListView);
    InitBinFileListControl();
    m_networkList = Find(controlNetworkListView);
    InitNetworkListControl();
    m_usbList = Find(controlUSBListView);
    InitUSBListControl();

    m_networkRadio = Find(controlRadioNetwork);
    m_usbRadio = Find(controlRadioUSB);
    tb::SetControlValue(m_networkRadio, m_Settings.nPortType == 0 ? 1 : 0);
    tb::SetControlValue(m_usbRadio, m_Settings.nPortType == 0 ? 0 : 1);

    m_Settings.pMainWindow = this;

    static const tb::EventType kEvents[] = {
        {tb::kClassWindow, tb::kWindowClose},
        {tb::kClassMouse, tb::kMouseMoved},
        {tb::kClassKeyboard, tb::kRawKeyDown},
        {tb::kClassKeyboard, tb::kRawKeyRepeat},
    };
    RegisterForEvents(std::size(kEvents), kEvents);

    SetControlLocalizedString();
}

void MainWindow::SetControlLocalizedString() {
    tb::Window* window = GetWindowRef();
    if (window == nullptr)
        return;
    tb::SetWindowTitle(window, m_Settings.szWindowsTitle);

    struct TextRow {
        tb::ControlID control;
        QString key;
        const char* suffix;
        bool asTitle;
    };
    const QString colon = QStringLiteral(":");
    const TextRow rows[] = {
        {kBackButton, stringBack, nullptr, true},
        {kNextButton, stringNext, nullptr, true},
        {kCancelButton, stringCancel, nullptr, true},
        {controlStaticModelNameTitle, stringModelNameTitle, ":", false},
        {controlStaticModelName, m_Settings.szModelName, nullptr, false},
        {controlGroupLanguage, stringGroupLanguageTitle, nullptr, true},
        {controlStaticLanguageTitle, stringLanguageTitle, nullptr, false},
        {controlGroupPort, stringGroupPortTitle, nullptr, true},
        {controlRadioNetwork, stringNetwork, nullptr, true},
        {controlStaticNetworkDesc, stringNetworkDesc, nullptr, false},
        {controlRadioUSB, stringUSB, nullptr, true},
        {controlStaticUSBDesc, stringUSBDesc, nullptr, false},
        {controlNetworkStaticTitle1, stringNetworkTitle1, nullptr, false},
        {controlNetworkStaticTitle2, stringNetworkTitle2, nullptr, false},
        {controlNetworkStaticModuleName, stringModuleNameTitle, ":", false},
        {controlNetworkEditModuleName, m_Settings.szModuleName, nullptr, false},
        {controlNetworkStaticCommunity, stringCommunityTitle, ":", false},
        {controlNetworkEditCommunity, m_Settings.szCommunity, nullptr, false},
        {controlNetworkRefreshButton, stringRefresh, nullptr, true},
        {controlNetworkAddButton, stringAdd, "...", true},
        {controlUSBStaticTitle1, stringUSBTitle1, nullptr, false},
        {controlUSBStaticTitle2, stringUSBTitle2, nullptr, false},
        {controlUSBStaticModuleName, stringModuleNameTitle, ":", false},
        {controlUSBEditModuleName, m_Settings.szModuleName, nullptr, false},
        {controlUSBRefreshButton, stringRefresh, nullptr, true},
    };
    const CBundle* bundle = GetMainBundle();
    for (const TextRow& row : rows) {
        tb::Control* control = Find(row.control);
        // A settings value that is absent gives no text to set.
        if (control == nullptr || row.key.isNull())
            continue;
        const QString suffix = row.suffix != nullptr ? QString::fromLatin1(row.suffix) : QString();
        const QString text = GetLocalizedString(bundle, row.key, suffix);
        if (text.isNull())
            continue;
        if (row.asTitle)
            tb::SetControlTitle(control, text);
        else
            tb::SetControlText(control, text);
    }

    struct ColumnRow {
        tb::Control* list;
        uint32_t property;
        const char* key;
    };
    const ColumnRow columns[] = {
        {m_binFileList, kColumnFile, stringFileName},
        {m_binFileList, kColumnSize, stringFileSize},
        {m_binFileList, kColumnDate, stringReleaseDate},
        {m_networkList, kColumnAddress, stringListIPv4Address},
        {m_networkList, kColumnName, stringPrinterName},
        {m_networkList, kColumnFirmware, stringPrinterFW},
        {m_networkList, kColumnStatus, stringStatus},
        {m_usbList, kColumnSerial, stringSerialNo},
        {m_usbList, kColumnName, stringPrinterName},
        {m_usbList, kColumnFirmware, stringPrinterFW},
        {m_usbList, kColumnStatus, stringStatus},
    };
    for (const ColumnRow& column : columns) {
        if (column.list == nullptr)
            continue;
        const QString text = GetLocalizedString(bundle, QString::fromLatin1(column.key));
        if (!text.isNull())
            tb::SetListColumnTitle(column.list, column.property, text);
    }
    // A printer's status is one of the names of g_szStatus, each a key too.
    for (tb::Control* list : {m_networkList, m_usbList}) {
        if (list != nullptr)
            tb::SetListColumnLocalized(list, kColumnStatus);
    }
    SetAccessibleNames();
}

void MainWindow::SetAccessibleNames() {
    struct NameRow {
        tb::ControlID control;
        const char* key;
    };
    static const NameRow kNames[] = {
        {{kPaneSignature, kFirstPaneID}, stringPageFirmware},
        {{kPaneSignature, kFirstPaneID + 1}, stringPagePort},
        {{kPaneSignature, kFirstPaneID + 2}, stringPageNetwork},
        {{kPaneSignature, kFirstPaneID + 3}, stringPageUSB},
        {controlBinFileListView, stringPageFirmware},
        {controlNetworkListView, stringPageNetwork},
        {controlUSBListView, stringPageUSB},
        {controlComboLanguage, stringGroupLanguageTitle},
        {controlNetworkEditModuleName, stringModuleNameTitle},
        {controlUSBEditModuleName, stringModuleNameTitle},
        {controlNetworkEditCommunity, stringCommunityTitle},
    };
    const CBundle* bundle = GetMainBundle();
    for (const NameRow& row : kNames) {
        if (tb::Control* control = Find(row.control))
            tb::SetControlAccessibleName(control,
                                         GetLocalizedString(bundle, QString::fromLatin1(row.key)));
    }
    const QString update = GetLocalizedString(bundle, QString::fromLatin1(stringUpdateColumn));
    if (m_networkList != nullptr)
        tb::SetListColumnAccessibleName(m_networkList, kColumnNetworkCheck, update);
    if (m_usbList != nullptr)
        tb::SetListColumnAccessibleName(m_usbList, kColumnUSBCheck, update);
}

void MainWindow::SetTabValue(int page) {
    tb::SetControlValue(m_mainTab, page);
}

void MainWindow::SwitchItemOfTabControl(tb::Window* window, tb::Control* tabControl, int page) {
    tb::Control* shown = nullptr;
    for (int i = 0; i < kPageCount; ++i) {
        tb::Control* pane = FindIn(window, {kPaneSignature, kFirstPaneID + i});
        if (pane == nullptr)
            continue;
        if (i + 1 == page)
            shown = pane;
        else
            tb::SetControlVisibility(pane, false);
    }
    if (shown != nullptr) {
        tb::ClearKeyboardFocus(window);
        tb::SetControlVisibility(shown, true);
        // Every page starts with the keyboard on its first control.
        tb::AdvanceKeyboardFocus(window);
    }
    tb::DrawControl(tabControl);
    m_currentPage = int16_t(page);
    if (m_backButton != nullptr) {
        tb::SetControlVisibility(m_backButton, page > 1);
        tb::DrawControl(m_backButton);
    }
}

void MainWindow::ShowPage(int page) {
    if (m_mainTab == nullptr || page < 1 || page > kPageCount)
        return;
    SetTabValue(page);
    SwitchItemOfTabControl(GetWindowRef(), m_mainTab, page);
}

void MainWindow::OnNext() {
    if (m_mainTab == nullptr)
        return;
    switch (m_currentPage) {
    case 1:
        if (HasSysOID()) {
            SetTabValue(2);
        } else {
            // A package without an object identifier is for USB only.
            m_Settings.nPortType = 1;
            SetTabValue(4);
            USBRefresh();
            if (CloseIfAsked())
                return;
        }
        break;
    case 2:
        if (m_Settings.nPortType == 0) {
            SetTabValue(3);
            NetworkRefresh();
        } else {
            SetTabValue(4);
            USBRefresh();
            if (CloseIfAsked())
                return;
        }
        break;
    case 3:
        NetworkFWUpgrade();
        CloseIfAsked();
        return;
    case 4:
        USBFWUpgrade();
        CloseIfAsked();
        return;
    default:
        return;
    }
    // The download may have closed the window; nothing here runs after that.
    SwitchItemOfTabControl(GetWindowRef(), m_mainTab, tb::GetControlValue(m_mainTab));
}

void MainWindow::OnBack() {
    if (m_mainTab == nullptr)
        return;
    switch (m_currentPage) {
    case 2:
        SetTabValue(1);
        SwitchItemOfTabControl(GetWindowRef(), m_mainTab, tb::GetControlValue(m_mainTab));
        break;
    case 3:
    case 4:
        SetTabValue(HasSysOID() ? 2 : 1);
        SwitchItemOfTabControl(GetWindowRef(), m_mainTab, tb::GetControlValue(m_mainTab));
        tb::EnableControl(m_nextButton);
        break;
    default:
        break;
    }
}

bool MainWindow::CloseIfAsked() {
    if (!m_bCloseAfterDownload)
        return false;
    // Closed during the work: the close happens now.
    m_bCloseAfterDownload = false;
    OnCancel();
    return true;
}

void MainWindow::OnCancel() {
    if (Busy()) {
        // Cancel (or Finish) during a download: cancelled now, closed after.
        Close();
        return;
    }
    Close();
    tb::QuitApplicationEventLoop();
}

void MainWindow::Close() {
    if (Busy()) {
        m_bCancel = true;
        m_bCloseAfterDownload = true;
        return;
    }
    TWindow::Close();
}

tb::Status MainWindow::TabEventHandlerProc() {
    if (m_mainTab == nullptr)
        return tb::kEventNotHandled;
    const int page = tb::GetControlValue(m_mainTab);
    if (page == m_currentPage)
        return tb::kEventNotHandled;
    SwitchItemOfTabControl(GetWindowRef(), m_mainTab, page);
    return tb::kNoErr;
}

void MainWindow::EnableNextControl() {
    std::printf("m_Settings.nPortType=%d\n", m_Settings.nPortType);
    bool ticked = false;
    if (m_Settings.nPortType != 0) {
        const int count = ClampedCount(m_Settings.nUSBCount, kMaxUSBPrinters);
        ticked = std::any_of(m_Settings.bUSBChecked, m_Settings.bUSBChecked + count,
                             [](uint8_t b) { return b == 1; });
    } else {
        const int count = ClampedCount(m_Settings.nNetworkCount, kMaxNetworkPrinters);
        ticked = std::any_of(m_Settings.bNetworkChecked, m_Settings.bNetworkChecked + count,
                             [](uint8_t b) { return b == 1; });
    }
    if (ticked)
        tb::EnableControl(m_nextButton);
    else
        tb::DisableControl(m_nextButton);
}

bool MainWindow::HandleCommand(const tb::Command& command) {
    if (Busy())
        return HandleCommandWhileDownloading(command.commandID);
    switch (command.commandID) {
    case kCommandCancel:
        OnCancel();
        return true;
    case kCommandBack:
        OnBack();
        return true;
    case kCommandNext:
        OnNext();
        return true;
    case kCommandTab:
        TabEventHandlerProc();
        return true;
    case kCommandNetwork:
        tb::SetControlValue(m_networkRadio, 1);
        tb::SetControlValue(m_usbRadio, 0);
        m_Settings.nPortType = 0;
        return true;
    case kCommandUSB:
        tb::SetControlValue(m_networkRadio, 0);
        tb::SetControlValue(m_usbRadio, 1);
        m_Settings.nPortType = 1;
        return true;
    case kCommandBinFileList:
        OnBinFileListClicked();
        return true;
    case kCommandNetworkList:
    case kCommandUSBList:
        return true;
    case kCommandAddAddress:
        OpenAddIPDialog();
        return true;
    case kCommandRefreshNetwork:
        NetworkRefresh();
        return true;
    case kCommandRefreshUSB:
        USBRefresh();
        CloseIfAsked();
        return true;
    default:
        return false;
    }
}

tb::Status MainWindow::HandleEvent(tb::HandlerCall* call, TCarbonEvent& event) {
    const uint32_t eventClass = event.GetClass();
    const uint32_t kind = event.GetKind();
    // A close deletes this object inside the frame's routing: after it only
    // the loop is told.
    if (Busy() && eventClass == tb::kClassWindow && kind == tb::kWindowClose) {
        Close();
        return tb::kNoErr;
    }
    TWindow::HandleEvent(call, event);
    if (eventClass == tb::kClassWindow && kind == tb::kWindowClose) {
        tb::QuitApplicationEventLoop();
        return tb::kNoErr;
    }
    if (eventClass == tb::kClassMouse && kind == tb::kMouseMoved) {
        // The watch stays while the USB printer is read.
        if (!m_bReadingUsb)
            tb::SetArrowCursor();
        return tb::kEventNotHandled;
    }
    if (eventClass == tb::kClassKeyboard && (kind == tb::kRawKeyDown || kind == tb::kRawKeyRepeat))
        return EditChanged(call, event);
    return tb::kEventNotHandled;
}

// ---- messages and the finished state ---------------------------------------

void MainWindow::ShowMessage(int code, const QString& extra) {
    static const char* const kKeys[] = {
        stringSUCCESS,           stringUSB_FWDOANLOAD_FAIL, stringNETWORK_FWDOANLOAD_FAIL,
        stringIPRepeated,        stringIPInvalid,           stringDisconnectPrinter,
        stringDisconnectPrinter, stringChecksumMismatch,    stringFileChanged,
    };
    const CBundle* bundle = GetMainBundle();
    const QString title = GetLocalizedString(bundle, QString::fromLatin1(stringMessageTitle));
    if (unsigned(code) >= std::size(kKeys))
        code = 0;
    const QString text = GetLocalizedString(bundle, QString::fromLatin1(kKeys[code]), extra);
    const int before = m_messageShown;
    m_messageShown = code;
    StandardCautionAlert(title, text);
    m_messageShown = before;
}

void MainWindow::StartChecksumCheck() {
    m_checksumsMatch = true;
    m_checksumMismatch.clear();
    std::vector<ChecksumJob> jobs = ChecksumJobs(PackageFirmware());
    if (jobs.empty())
        return;
    m_checksums = std::async(std::launch::async, [jobs = std::move(jobs)] {
        QString file;
        const bool match = RunChecksums(jobs, &file);
        return std::make_pair(match, file);
    });
}

bool MainWindow::PackageChecksumsMatch() {
    // A second download asked for while the first waits here is the same
    // click twice: it does nothing.
    if (m_waitingForChecksums)
        return false;
    if (m_checksums.valid()) {
        m_waitingForChecksums = true;
        tb::SetWatchCursor();
        while (m_checksums.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready)
            tb::DispatchPendingEvents();
        std::tie(m_checksumsMatch, m_checksumMismatch) = m_checksums.get();
        tb::SetArrowCursor();
        m_waitingForChecksums = false;
    }
    if (m_checksumsMatch)
        return true;
    std::printf("checksum mismatch: %s\n", qPrintable(m_checksumMismatch));
    ShowMessage(7, QLatin1Char('\n') + m_checksumMismatch);
    return false;
}

void MainWindow::EndDownload(const QString& address, const QString& name,
                             const transfer::Result& result, int failMessage,
                             int unreachableMessage) {
    const std::vector<QString> files = FirmwareFileNames();
    const QString file = result.file >= 0 && size_t(result.file) < files.size()
                             ? files[size_t(result.file)]
                             : QString();
    std::printf("download to %s ended: outcome %d, cause %s, file %d (%s), %lld bytes\n",
                qPrintable(address), int(result.outcome), transfer::CauseName(result.cause),
                result.file, qPrintable(file), static_cast<long long>(result.bytes));
    switch (result.outcome) {
    case transfer::Outcome::Completed:
        RecordOutcome(address, name, "completed", 0, &result);
        FinishedContorl();
        ShowMessage(0);
        break;
    case transfer::Outcome::Failed:
    case transfer::Outcome::FileUnusable:
        if (result.cause == transfer::Cause::FileChanged) {
            RecordOutcome(address, name, "failed", 8, &result);
            ShowMessage(8, QLatin1Char('\n') + file);
        } else {
            RecordOutcome(address, name, "failed", failMessage, &result);
            ShowMessage(failMessage);
        }
        break;
    case transfer::Outcome::Cancelled:
        RecordOutcome(address, name, "cancelled", -1, &result);
        break;
    case transfer::Outcome::Unreachable:
        RecordOutcome(address, name, "unreachable", unreachableMessage, &result);
        break;
    }
}

void MainWindow::RecordOutcome(const QString& address, const QString& name, const char* outcome,
                               int message, const transfer::Result* result) {
    HistoryEntry entry;
    entry.time = QDateTime::currentDateTimeUtc();
    entry.program = QStringLiteral("Quenlo");
    entry.model = m_Settings.szModelName;
    entry.address = address;
    entry.name = name;
    for (const QString& file : FirmwareFileNames())
        entry.files.append(file);
    entry.outcome = QString::fromLatin1(outcome);
    static const char* const kTexts[] = {stringSUCCESS,
                                         stringUSB_FWDOANLOAD_FAIL,
                                         stringNETWORK_FWDOANLOAD_FAIL,
                                         "",
                                         "",
                                         stringDisconnectPrinter,
                                         stringDisconnectPrinter,
                                         "",
                                         stringFileChanged};
    if (message >= 0 && unsigned(message) < std::size(kTexts))
        entry.message = QString::fromLatin1(kTexts[message]);
    if (result != nullptr) {
        entry.cause = QString::fromLatin1(transfer::CauseName(result->cause));
        for (const Sha256Digest& digest : result->sent)
            entry.sha256.append(QString::fromStdString(DigestHex(digest)));
    }
    AppendHistory(entry);
}

void MainWindow::ReportSettingsProblem() {
    const SETTINGS_LOAD_REPORT& report = LastSettingsLoad();
    QString title;
    QString text;
    if (SettingsProblemAlert(report.problem, report.path, &title, &text))
        StandardCautionAlert(title, text);
}

bool MainWindow::SettingsProblemAlert(SettingsProblem problem, const QString& path, QString* title,
                                      QString* text) {
    const char* reason = nullptr;
    switch (problem) {
    case SettingsProblem::None:
        return false;
    case SettingsProblem::Missing:
        reason = stringSettingsMissing;
        break;
    case SettingsProblem::Unreadable:
        reason = stringSettingsUnreadable;
        break;
    case SettingsProblem::Corrupt:
        reason = stringSettingsCorrupt;
        break;
    case SettingsProblem::TooLarge:
        reason = stringSettingsTooLarge;
        break;
    case SettingsProblem::TooDeep:
        reason = stringSettingsTooDeep;
        break;
    case SettingsProblem::TooManyValues:
        reason = stringSettingsTooManyValues;
        break;
    case SettingsProblem::Ambiguous:
        reason = stringSettingsAmbiguous;
        break;
    }
    std::printf("InitSettings: %s: %s\n", qPrintable(path), reason);
    const CBundle* bundle = GetMainBundle();
    *title = GetLocalizedString(bundle, QString::fromLatin1(stringMessageTitle));
    *text = GetLocalizedString(bundle, QString::fromLatin1(stringSettingsUnusable)) +
            QLatin1Char('\n') + path + QLatin1Char('\n') +
            GetLocalizedString(bundle, QString::fromLatin1(reason));
    return true;
}

int MainWindow::StandardCautionAlert(const QString& title, const QString& message) {
    tb::CautionAlert(GetWindowRef(), title, message);
    return 0;
}

void MainWindow::FinishedContorl() {
    struct Change {
        tb::ControlID control;
        bool hide;
    };
    static const Change kChanges[] = {
        {kBackButton, true},
        {kNextButton, true},
        {controlNetworkListView, false},
        {controlNetworkEditCommunity, false},
        {controlNetworkStaticCommunity, false},
        {controlNetworkRefreshButton, false},
        {controlNetworkAddButton, false},
        {controlUSBListView, false},
        {controlUSBRefreshButton, false},
    };
    for (const Change& change : kChanges) {
        tb::Control* control = Find(change.control);
        if (control == nullptr)
            continue;
        if (change.hide)
            tb::SetControlVisibility(control, false);
        else
            tb::DisableControl(control);
    }
    const CBundle* bundle = GetMainBundle();
    if (m_cancelButton != nullptr)
        tb::SetControlTitle(m_cancelButton,
                            GetLocalizedString(bundle, QString::fromLatin1(stringFinish)));
    struct TextChange {
        tb::ControlID control;
        const char* key;
    };
    static const TextChange kTexts[] = {
        {controlNetworkStaticTitle1, stringSUCCESS},
        {controlUSBStaticTitle1, stringSUCCESS},
        {controlNetworkStaticTitle2, stringNetworkTitle3},
        {controlUSBStaticTitle2, stringUSBTitle3},
    };
    for (const TextChange& change : kTexts) {
        tb::Control* control = Find(change.control);
        if (control == nullptr)
            continue;
        const QString text = GetLocalizedString(bundle, QString::fromLatin1(change.key));
        if (!text.isNull())
            tb::SetControlText(control, text);
    }
}

// ---- firmware file list ------------------------------------------------------

void MainWindow::InitBinFileListControl() {
    if (m_binFileList == nullptr)
        return;
    tb::SetListItemDataCallback(m_binFileList, &MainWindow::BinFileListDataBrowserItemDataCallback);
    const int count = ClampedCount(m_Settings.nFWCount, kMaxFirmwareFiles);
    for (tb::ItemID item = 1; int(item) <= count; ++item) {
        tb::AddListItems(m_binFileList, 1, &item);
        if (item == 1)
            tb::SetListSelectedItems(m_binFileList, 1, &item);
    }
}

tb::Status MainWindow::BinFileListDataBrowserItemDataCallback(tb::Control* /*browser*/,
                                                              tb::ItemID item, uint32_t property,
                                                              tb::ItemData* data, bool setValue) {
    const int count = ClampedCount(m_Settings.nFWCount, kMaxFirmwareFiles);
    if (count <= 0)
        return tb::kNoErr;
    const BINFILE_LIST_DATA& row = m_Settings.BinfileListdata[RowOf(item, count)];
    if (setValue)
        return tb::kPropertyNotSupported;
    switch (property) {
    case kColumnFile:
        return SetText(data, row.szFileName);
    case kColumnSize:
        return SetText(data, row.szFileSize);
    case kColumnDate:
        return SetText(data, row.szReleaseDate);
    default:
        return tb::kPropertyNotSupported;
    }
}

void MainWindow::OnBinFileListClicked() {
    const int count = ClampedCount(m_Settings.nFWCount, kMaxFirmwareFiles);
    if (count <= 0 || m_binFileList == nullptr)
        return;
    tb::ItemID first = 0;
    tb::ItemID last = 0;
    tb::GetListSelectionAnchor(m_binFileList, &first, &last);
    if (first == last && first != 0 && first <= tb::ItemID(count)) {
        m_Settings.nBinfileIndex = int32_t(first) - 1;
    } else {
        // The list always keeps one file selected.
        const tb::ItemID keep = tb::ItemID(std::clamp(m_Settings.nBinfileIndex, 0, count - 1) + 1);
        tb::SetListSelectedItems(m_binFileList, 1, &keep);
    }
    std::printf("m_Settings.nBinfileIndex=%d\n", m_Settings.nBinfileIndex);
}
