// The USB page of the wizard: the list of the attached printer of the
// package's model, and the firmware download through the printer's bulk
// out-pipe.
#include "settings/AsciiText.h"
#include "settings/BundleUtilities.h"
#include "status/DisplayText.h"
#include "transfer/Roads.h"
#include "usb/OstrelCmd.h"
#include "usb/OstrelRecords.h"
#include "usb/UsbEnumeration.h"
#include "usb/UsbPrinterInfo.h"
#include "usb/usbdevice.h"
#include "wizard/ListRows.h"
#include "wizard/ProgressDlg.h"
#include "wizard/mainwindow.h"

#include <cstdio>
#include <cstring>
#include <string>

using listrows::ClampedCount;

namespace {

// Ends the download's busy state on every way out.
class UsbDownloadScope {
public:
    UsbDownloadScope(bool& busy, CProgressDlg*& dialogSlot, CProgressDlg* dialog)
        : m_busy(busy), m_slot(dialogSlot) {
        m_busy = true;
        m_slot = dialog;
    }
    ~UsbDownloadScope() {
        m_slot = nullptr;
        m_busy = false;
    }
    UsbDownloadScope(const UsbDownloadScope&) = delete;
    UsbDownloadScope& operator=(const UsbDownloadScope&) = delete;

private:
    bool& m_busy;
    CProgressDlg*& m_slot;
};

} // namespace

// ---- the list ------------------------------------------------------------------

void MainWindow::InitUSBListControl() {
    listrows::SetUpList(m_usbList, &MainWindow::USBListDataBrowserItemDataCallback,
                        ClampedCount(m_Settings.nUSBCount, kMaxUSBPrinters));
}

tb::Status MainWindow::USBListDataBrowserItemDataCallback(tb::Control* /*browser*/, tb::ItemID item,
                                                          uint32_t property, tb::ItemData* data,
                                                          bool setValue) {
    static constexpr listrows::PrinterTable<USB_LIST_DATA, kMaxUSBPrinters> kTable(
        &SETTINGS_DATA::nUSBCount, &SETTINGS_DATA::bUSBChecked, &SETTINGS_DATA::USBListdata,
        kColumnUSBCheck, kColumnSerial, &USB_LIST_DATA::szSerialNumber);
    return listrows::PrinterItemData(kTable, item, property, data, setValue);
}

void MainWindow::USBRefresh() {
    if (Busy())
        return;
    // The check marks stay: they belong to row positions, so a printer
    // ticked before the refresh is ticked again after it.
    if (m_usbList != nullptr)
        tb::RemoveListItems(m_usbList, 0, nullptr);
    m_Settings.nUSBCount = 0;

    // The vendor commands wait for the printer's replies (at most
    // g_exchangeTimeoutMs each step) with the window alive; a close asked
    // for meanwhile gives the reading up, and happens once it has returned.
    tb::SetWatchCursor();
    UsbPrinterRow row;
    bool found = false;
    {
        FlagScope reading(m_bReadingUsb);
        found = ReadUsbPrinter(&row, [this] {
            tb::DispatchPendingEvents();
            return !m_bCloseAfterDownload;
        });
    }
    if (found && !m_bCloseAfterDownload)
        AddUSBSerialNumber(row.serial.c_str(), row.name.c_str(), row.firmware.c_str(),
                           ShownStatusName(&row.status));
    EnableNextControl();
    tb::SetArrowCursor();
}

void MainWindow::AddUSBSerialNumber(const char* serialNumber, const char* printerName,
                                    const char* firmware, const char* status) {
    if (m_Settings.nUSBCount < 0 || m_Settings.nUSBCount >= kMaxUSBPrinters)
        return;
    // Printers mean ASCII, but send UTF-8 or Latin-1 and control characters
    // too: the list shows display text.
    const auto text = [](const char* s) {
        char shown[kDisplayTextSize];
        const std::string bytes = s != nullptr ? s : "";
        MakeDisplayText(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), shown,
                        sizeof shown);
        return QString::fromUtf8(shown);
    };
    USB_LIST_DATA& entry = m_Settings.USBListdata[m_Settings.nUSBCount];
    entry.szSerialNumber = text(serialNumber);
    entry.szPrinterName = text(printerName);
    entry.szPrinterFW = text(firmware);
    entry.szStatus = text(status);
    ++m_Settings.nUSBCount;
    if (m_usbList != nullptr) {
        const tb::ItemID item = tb::ItemID(m_Settings.nUSBCount);
        tb::AddListItems(m_usbList, 1, &item);
    }
}

// ---- the download ----------------------------------------------------------------

// One target per run: the device of the package's IDs, opened anew for every
// file so that the printer sees each file on an opening of its own.
int MainWindow::USBFWUpgrade() {
    if (m_Settings.nFWCount <= 0 || m_bDownloading)
        return -1;
    if (!PackageChecksumsMatch())
        return -1;
    const int files = ClampedCount(m_Settings.nFWCount, kMaxFirmwareFiles);
    const QString printerName = m_Settings.USBListdata[0].szPrinterName;

    CProgressDlg progress(this);
    UsbDownloadScope busy(m_bDownloading, m_pProgressDlg, &progress);
    m_bCancel = false;
    progress.ShowDialog(GetWindowRef(), printerName);

    transfer::FilePackage package(PackageFirmware());
    transfer::UsbChannel channel(m_Settings.nVID, m_Settings.nPID);
    const transfer::Policy policy = transfer::UsbPolicy(m_Settings.nStallTimeout * 1000);
    CDownloadObserver observer(progress, m_bCancel);
    const transfer::Result result = transfer::Send(package, channel, observer, policy);
    EndDownload(QStringLiteral("usb"), printerName, result, 1, 6);
    if (result.outcome == transfer::Outcome::Unreachable) {
        // Once a file has not reached the printer no later one is sent; each
        // is reported as not delivered.
        for (int j = result.file; j < files; ++j)
            ShowMessage(6, printerName);
    }
    return 0;
}
