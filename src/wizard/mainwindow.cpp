// The main window and its page flow: opening it, Next and Back, the
// commands it dispatches (and those it refuses while work runs), the close
// that waits for a download, and the Next button that follows the ticks.
#include "wizard/mainwindow.h"

#include "wizard/AddIPAddress.h"
#include "wizard/ListRows.h"

#include <algorithm>
#include <cstdio>

using listrows::ClampedCount;

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

bool MainWindow::HandleCommandWhileDownloading(uint32_t commandID) {
    switch (commandID) {
    case kCommandCancel:
        // Cancel the download; the window closes once it has ended.
        OnCancel();
        return true;
    case kCommandNetwork:
    case kCommandUSB:
        // The click has already moved the mark: put it back.
        tb::SetControlValue(m_networkRadio, m_Settings.nPortType == 0 ? 1 : 0);
        tb::SetControlValue(m_usbRadio, m_Settings.nPortType == 0 ? 0 : 1);
        return true;
    case kCommandBinFileList:
        if (m_binFileList != nullptr && m_Settings.FirmwareCount() > 0) {
            const tb::ItemID keep = tb::ItemID(m_Settings.nBinfileIndex + 1);
            tb::SetListSelectedItems(m_binFileList, 1, &keep);
        }
        return true;
    case kCommandBack:
    case kCommandNext:
    case kCommandTab:
    case kCommandNetworkList:
    case kCommandUSBList:
    case kCommandAddAddress:
    case kCommandRefreshNetwork:
    case kCommandRefreshUSB:
        std::printf("command %s ignored during the download\n",
                    qPrintable(tb::CodeText(commandID)));
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
