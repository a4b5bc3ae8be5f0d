// The network page of the wizard: the printer list and its discovery, the
// community field, the address check and manual entry, and the firmware
// download over the print port.
#include "net/NetIO.h"
#include "net/SamePrinter.h"
#include "settings/AsciiText.h"
#include "settings/BundleUtilities.h"
#include "transfer/Roads.h"
#include "wizard/AddIPAddress.h"
#include "wizard/ListRows.h"
#include "wizard/ProgressDlg.h"
#include "wizard/mainwindow.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

using listrows::ClampedCount;

tb::KeyFilterProc fEditFilterProc = CommunityNumericFilter;
bool g_bFindIPAddress = false;

namespace {

const char kDefaultCommunity[] = "orchid";

// A Refresh never holds the window for ten seconds: the passes and the
// queries share this budget, leaving room for adding the rows.
constexpr int kRefreshLimitMs = 9500;

// The addresses one Refresh found, in the order they answered.
struct FoundPrinters {
    std::vector<std::string> addresses;
};

bool IsEditingKey(int c) {
    return c == tb::kHomeChar || c == tb::kEndChar || c == tb::kBackspaceChar ||
           (c >= tb::kLeftArrowChar && c <= tb::kDownArrowChar) || c == tb::kDeleteChar;
}

} // namespace

// ---- the list ------------------------------------------------------------------

void MainWindow::InitNetworkListControl() {
    listrows::SetUpList(m_networkList, &MainWindow::NetworkListDataBrowserItemDataCallback,
                        ClampedCount(m_Settings.nNetworkCount, kMaxNetworkPrinters));
}

tb::Status MainWindow::NetworkListDataBrowserItemDataCallback(tb::Control* /*browser*/,
                                                              tb::ItemID item, uint32_t property,
                                                              tb::ItemData* data, bool setValue) {
    static constexpr listrows::PrinterTable<NETWORK_LIST_DATA, kMaxNetworkPrinters> kTable(
        &SETTINGS_DATA::nNetworkCount, &SETTINGS_DATA::bNetworkChecked,
        &SETTINGS_DATA::NetworkListdata, kColumnNetworkCheck, kColumnAddress,
        &NETWORK_LIST_DATA::szIPv4Address);
    return listrows::PrinterItemData(kTable, item, property, data, setValue);
}

void MainWindow::NetworkRefresh() {
    tb::SetWatchCursor();
    if (m_networkList != nullptr)
        tb::RemoveListItems(m_networkList, 0, nullptr);
    const int count = ClampedCount(m_Settings.nNetworkCount, kMaxNetworkPrinters);
    for (int i = 0; i < count; ++i)
        m_Settings.bNetworkChecked[i] = 0;
    m_Settings.nNetworkCount = 0;

    m_Settings.szCommunity = QString();
    if (m_communityEdit != nullptr)
        m_Settings.szCommunity = tb::GetControlText(m_communityEdit);
    char community[kCTextSize] = {};
    // A text that is no usable ASCII community counts as empty.
    if (!CopyAsciiText(m_Settings.szCommunity, community) || community[0] == '\0') {
        m_Settings.szCommunity = QString::fromLatin1(kDefaultCommunity);
        tb::SetControlText(m_communityEdit, m_Settings.szCommunity);
        CopyAsciiText(m_Settings.szCommunity, community);
    }
    char sysOID[kCTextSize] = {};
    CopyAsciiText(m_Settings.szSysOID, sysOID);

    // The whole Refresh, both passes and the queries of every printer found,
    // stays within kRefreshLimitMs whatever the peers do.
    const auto started = std::chrono::steady_clock::now();
    auto remainingMs = [started] {
        const auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(
                               std::chrono::steady_clock::now() - started)
                               .count();
        return int(kRefreshLimitMs - spent);
    };
    // Both passes at once, each with its own CNetIO (IPv4 on a thread of its
    // own, IPv6 here), so that a Refresh waits for one quiet period, not one
    // per family. The core's passes are reused whole (one receive loop, one
    // reply rule); the main thread alone writes scope_id afterwards.
    FoundPrinters v4, v6;
    const int passLimitMs = remainingMs() - kQueryTimeoutMs;
    CNetIO net6(scope_id);
    {
        std::thread ipv4([&] {
            CNetIO net;
            net.SetDiscoveryPassLimit(passLimitMs);
            net.FindSnmpAgent(community, "255.255.255.255", sysOID, FindNetworkCallback, &v4, true);
        });
        net6.SetDiscoveryPassLimit(passLimitMs);
        net6.FindSnmpAgentV6(community, "ff02::1", sysOID, FindNetworkCallback, &v6, true);
        ipv4.join();
    }
    // The wizard remembers the interface where the model answered for every
    // later IPv6 exchange.
    scope_id = net6.ScopeId();
    // IPv4 rows first, then IPv6; each address once, at most a table full.
    FoundPrinters found = v4;
    for (std::string& address : v6.addresses)
        FindNetworkCallback(address.data(), nullptr, &found);
    AddNetworkRows(found.addresses, community, remainingMs());
    EnableNextControl();
    tb::SetArrowCursor();
}

bool FindNetworkCallback(char* address, char* /*unused*/, void* context) {
    if (context == nullptr || address == nullptr)
        return true;
    // One row per address within a Refresh, and no more rows than the table
    // holds.
    auto& addresses = static_cast<FoundPrinters*>(context)->addresses;
    const std::string text(address);
    if (int(addresses.size()) < kMaxNetworkPrinters &&
        std::find(addresses.begin(), addresses.end(), text) == addresses.end())
        addresses.push_back(text);
    return true;
}

void MainWindow::AddNetworkIP(const char* address) {
    if (address == nullptr)
        return;
    char community[kCTextSize] = {};
    CopyAsciiText(m_Settings.szCommunity, community);
    AddNetworkRows({std::string(address)}, community, kQueryTimeoutMs);
}

// Asks every printer at once and adds a row for each, in the given order.
void MainWindow::AddNetworkRows(const std::vector<std::string>& addresses, const char* community,
                                int limitMs) {
    const int room =
        kMaxNetworkPrinters - ClampedCount(m_Settings.nNetworkCount, kMaxNetworkPrinters);
    const int count = std::min(int(addresses.size()), room);
    if (count <= 0)
        return;
    std::vector<PRINTER_QUERY> queries(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        queries[size_t(i)].address = addresses[size_t(i)].c_str();
    {
        CNetIO net(scope_id);
        net.QueryPrinters(community, queries.data(), count, std::max(limitMs, 0));
    }
    for (PRINTER_QUERY& q : queries) {
        // A printer whose name cannot be read is listed under the model name;
        // one whose status cannot be read shows entry 0.
        if (!q.bNameRead)
            CopyAsciiText(m_Settings.szModelName, q.szName, sizeof q.szName);
        const int row = m_Settings.nNetworkCount;
        NETWORK_LIST_DATA& entry = m_Settings.NetworkListdata[row];
        entry.szIPv4Address = QString::fromLatin1(q.address);
        entry.szIPv6Address = QString::fromLatin1(q.address);
        entry.szStatus = QString::fromLatin1(ShownStatusName(&q.status));
        // Display text: UTF-8 without control characters (NetIO made it so).
        entry.szPrinterName = QString::fromUtf8(q.szName);
        entry.szPrinterFW = QString::fromUtf8(q.szVersion);
        entry.szSerial = q.bStatusRead
                             ? QString::fromLatin1(DeviceIdField(q.szDeviceId, "SERN").c_str())
                             : QString();
        m_Settings.bNetworkChecked[row] = 0;
        m_Settings.nNetworkCount = row + 1;
        if (m_networkList != nullptr) {
            const tb::ItemID item = tb::ItemID(m_Settings.nNetworkCount);
            tb::AddListItems(m_networkList, 1, &item);
        }
    }
}

// ---- the community field -------------------------------------------------------

int CommunityNumericFilter(tb::Control* /*control*/, int16_t* /*keyCode*/, int16_t* charCode,
                           uint32_t* /*modifiers*/) {
    const int c = charCode != nullptr ? *charCode : 0;
    if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' ||
        c == '-' || IsEditingKey(c))
        return tb::kKeyFilterPass;
    tb::Beep();
    return tb::kKeyFilterBlock;
}

tb::Status MainWindow::EditChanged(tb::HandlerCall* call, TCarbonEvent& event) {
    tb::Control* focus = tb::GetKeyboardFocus(GetWindowRef());
    if (focus == nullptr)
        return tb::kEventNotHandled;
    uint8_t keyChar = 0;
    event.GetParameter(tb::kParamKeyChar, tb::kTypeChar, sizeof keyChar, &keyChar);
    std::printf("EditChanged keyChar = %c, %d\n", keyChar, keyChar);
    if (focus != m_communityEdit)
        return tb::kEventNotHandled;
    if (keyChar == ' ' || keyChar == tb::kReturnChar)
        return tb::kNoErr;
    if (IsEditingKey(keyChar)) {
        tb::CallNextHandler(call, event.GetEventRef());
        return tb::kNoErr;
    }
    // A field of 32 characters still takes one more: 33 is the longest.
    if (tb::GetControlText(m_communityEdit).size() > 32) {
        tb::Beep();
        return tb::kNoErr;
    }
    return tb::kEventNotHandled;
}

// ---- address check and manual entry ---------------------------------------------

bool IsValidIPAddressCallback(char* /*address*/, char* /*unused*/, void* /*context*/) {
    g_bFindIPAddress = true;
    return true;
}

bool MainWindow::IsValidIPAddress(const char* address) {
    std::printf("IsValidIPAddress ip=%s\n", address != nullptr ? address : "");
    tb::SetWatchCursor();
    // An empty field stays empty (discovery then asks with the default);
    // only a missing field falls back to the default here.
    tb::Control* field = Find(controlNetworkEditCommunity);
    if (field != nullptr) {
        m_Settings.szCommunity = tb::GetControlText(field);
        if (m_Settings.szCommunity.isNull())
            m_Settings.szCommunity = QStringLiteral("");
    } else {
        m_Settings.szCommunity = QString::fromLatin1(kDefaultCommunity);
    }
    g_bFindIPAddress = false;
    char community[kCTextSize] = {};
    char sysOID[kCTextSize] = {};
    CopyAsciiText(m_Settings.szCommunity, community);
    CopyAsciiText(m_Settings.szSysOID, sysOID);
    if (address != nullptr && address[0] != '\0') {
        // A typed IPv6 address may be where the interface is found first.
        CNetIO net(scope_id);
        net.FindSnmpAgent(community, address, sysOID, IsValidIPAddressCallback, nullptr, false);
        scope_id = net.ScopeId();
    }
    tb::SetArrowCursor();
    return g_bFindIPAddress;
}

int MainWindow::OnAddIPAddressOKV4(CAddIPAddressDlg* dialog) {
    if (m_pAddIPDlg == nullptr || dialog != m_pAddIPDlg)
        return 0;
    return AddTypedAddress(dialog->IPv4Address(), &NETWORK_LIST_DATA::szIPv4Address);
}

int MainWindow::OnAddIPAddressOKV6(CAddIPAddressDlg* dialog) {
    if (m_pAddIPDlg == nullptr || dialog != m_pAddIPDlg)
        return 0;
    return AddTypedAddress(dialog->IPv6Address(), &NETWORK_LIST_DATA::szIPv6Address);
}

// The two address families differ only in which copy of a row's address a
// repeated entry is compared with.
int MainWindow::AddTypedAddress(QString typed, QString NETWORK_LIST_DATA::*listed) {
    if (m_bDownloading) {
        // Rows are not added under a running download; the dialog stays.
        tb::Beep();
        return -1;
    }
    const int count = ClampedCount(m_Settings.nNetworkCount, kMaxNetworkPrinters);
    for (int i = 0; i < count; ++i) {
        if (m_Settings.NetworkListdata[i].*listed == typed) {
            ShowMessage(3);
            return -1;
        }
    }
    char address[kCTextSize] = {};
    if (!CopyAsciiText(typed, address) || !IsValidIPAddress(address)) {
        ShowMessage(4);
        return -1;
    }
    AddNetworkIP(address);
    return 0;
}

void MainWindow::OpenAddIPDialog() {
    // One dialog at a time: Add again brings the open one to the front.
    if (m_pAddIPDlg != nullptr) {
        m_pAddIPDlg->Show();
        return;
    }
    auto* dialog = new CAddIPAddressDlg;
    m_pAddIPDlg = dialog;
    dialog->ShowDialog(this);
}

void MainWindow::AddIPDialogClosed(CAddIPAddressDlg* dialog) {
    if (m_pAddIPDlg == dialog)
        m_pAddIPDlg = nullptr;
}

// ---- the download ----------------------------------------------------------------

// The ticked rows, each printer once: a printer listed on several addresses
// (IPv4 and IPv6, or two addresses with one serial) is sent its package over
// the first of them, IPv4 first, and its other rows follow its outcome.
std::vector<std::vector<int>> MainWindow::TickedPrinters() const {
    std::vector<int> ticked;
    std::vector<PrinterIdentity> identities;
    for (int i = 0; i < ClampedCount(m_Settings.nNetworkCount, kMaxNetworkPrinters); ++i) {
        if (m_Settings.bNetworkChecked[i] == 0)
            continue;
        const NETWORK_LIST_DATA& entry = m_Settings.NetworkListdata[i];
        ticked.push_back(i);
        identities.push_back({entry.szSerial.toStdString(), {entry.szIPv4Address.toStdString()}});
    }
    std::vector<std::vector<int>> printers;
    for (const std::vector<std::size_t>& group :
         GroupSamePrinters(identities, ReadNeighbourTable())) {
        printers.emplace_back();
        for (const std::size_t member : group)
            printers.back().push_back(ticked[member]);
    }
    return printers;
}

// Ticked rows in, numbered messages out; the transfer engine sends.
int MainWindow::NetworkFWUpgrade() {
    if (m_Settings.nFWCount <= 0 || m_bDownloading)
        return -1;
    FlagScope busy(m_bDownloading);
    if (!PackageChecksumsMatch())
        return -1;
    transfer::FilePackage package(PackageFirmware());
    const transfer::Policy policy = transfer::NetworkPolicy(m_Settings.nStallTimeout * 1000);
    for (const std::vector<int>& rows : TickedPrinters()) {
        // The window was closed: no further printer is started.
        if (m_bCloseAfterDownload)
            break;
        const NETWORK_LIST_DATA& entry = m_Settings.NetworkListdata[rows.front()];
        for (std::size_t k = 1; k < rows.size(); ++k)
            std::printf("row %s is the printer at %s: it gets the package once, over %s\n",
                        qPrintable(m_Settings.NetworkListdata[rows[k]].szIPv4Address),
                        qPrintable(entry.szIPv4Address), qPrintable(entry.szIPv4Address));
        char address[kCTextSize] = {};
        CopyAsciiText(entry.szIPv4Address, address);
        if (!IsValidIPAddress(address)) {
            RecordOutcome(entry.szIPv4Address, entry.szPrinterName, "unreachable", 5);
            ShowMessage(5, entry.szIPv4Address);
            continue;
        }
        CProgressDlg progress(this);
        m_pProgressDlg = &progress;
        m_bCancel = false;
        progress.ShowDialog(GetWindowRef(), entry.szPrinterName);
        transfer::NetChannel channel(address, kPrintPort, scope_id);
        CDownloadObserver observer(progress, m_bCancel);
        const transfer::Result result = transfer::Send(package, channel, observer, policy);
        EndDownload(entry.szIPv4Address, entry.szPrinterName, result, 2, -1);
        m_pProgressDlg = nullptr;
    }
    return 0;
}