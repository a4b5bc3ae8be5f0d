// What a list shows of the attached USB printer of the package's model: its
// serial number, name, firmware version and status, read through the vendor
// commands and the device ID. Shared by the wizard's USB page and the
// command-line tool.
#pragma once

#include "status/PrinterStatus.h"
#include "usb/usbdevice.h"

#include <string>

struct UsbPrinterRow {
    std::string serial;
    std::string name;
    std::string firmware;
    PRINTER_STATUS status{};
};

// Reads the printer of m_Settings.nVID / nPID. False when no such printer
// could be opened, or when keepAlive gave the reading up; each part it could
// not read stays empty (the serial and name then come from the device ID
// when it has them). The texts are display text: UTF-8 without control
// characters. Each vendor command waits at most g_exchangeTimeoutMs per step,
// calling keepAlive (when given) every few milliseconds meanwhile.
bool ReadUsbPrinter(UsbPrinterRow* row, const UsbKeepAlive& keepAlive = {});
