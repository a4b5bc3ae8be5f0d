#include "usb/UsbPrinterInfo.h"

#include "settings/SettingsData.h"
#include "status/DisplayText.h"
#include "usb/OstrelCmd.h"
#include "usb/OstrelRecords.h"
#include "usb/UsbEnumeration.h"
#include "usb/usbdevice.h"

#include <libusb.h>

#include <cstdio>
#include <cstring>

namespace {

// A text field of a reply record holds at most 31 characters: the 32nd byte
// becomes the terminator whatever the printer sent there.
template <std::size_t N> void CutField(char (&field)[N]) {
    field[N - 1] = '\0';
}

// Printers mean ASCII, but send UTF-8 or Latin-1 and control characters too.
std::string Shown(const char* text) {
    char shown[kDisplayTextSize];
    MakeDisplayText(reinterpret_cast<const unsigned char*>(text), std::strlen(text), shown,
                    sizeof shown);
    return shown;
}

} // namespace

bool ReadUsbPrinter(UsbPrinterRow* row, const UsbKeepAlive& keepAlive) {
    CUsbDevice device;
    if (device.Dev_Open(m_Settings.nVID, m_Settings.nPID) != 0)
        return false;
    COstrelCmd command;
    // Each command opens and closes the device by itself.
    device.Dev_Close();
    device.SetKeepAlive(keepAlive);
    const auto givenUp = [&device] { return device.LastError() == LIBUSB_ERROR_INTERRUPTED; };

    DEV_PSR_PRINTERINFORMATION info{};
    const bool haveInfo = command.GetPrinterInfo(device, info) == 0;
    if (haveInfo) {
        CutField(info.cSerialNumber);
        CutField(info.cFirmwareVersion);
    }
    if (givenUp())
        return false;

    DEV_PL_PRINTER_NAME name{};
    const bool haveName = command.GetPrinterName(device, name) == 0;
    if (givenUp())
        return false;
    if (haveName) {
        CutField(name.cPrinterName);
        char shown[kDisplayTextSize];
        MakeDisplayText(reinterpret_cast<const unsigned char*>(name.cPrinterName),
                        std::strlen(name.cPrinterName), shown, sizeof shown);
        std::printf("printName.cPrinterName=%s\n", shown);
    }

    // The enumeration behind the status query refills both from the
    // printer's device ID; a printer without them leaves them empty.
    std::memset(szSERN, 0, sizeof szSERN);
    std::memset(szDES, 0, sizeof szDES);
    row->status = PRINTER_STATUS{};
    command.GetPrinterStatus(row->status);
    std::printf("status.PrinterStatus=%d\n", row->status.PrinterStatus);
    szSERN[sizeof szSERN - 1] = '\0';
    szDES[sizeof szDES - 1] = '\0';

    row->serial = Shown(haveInfo ? info.cSerialNumber : szSERN);
    row->name = Shown(haveName ? name.cPrinterName : szDES);
    row->firmware = Shown(haveInfo ? info.cFirmwareVersion : "");
    return true;
}
