// The printer command class: the vendor command set on USB, and the status
// decoding that both roads share (kept here for its callers; it lives in
// the status library). Made on the stack for one call; holds no data.
#pragma once

#include "status/PrinterStatus.h"

class CUsbDevice;

class COstrelCmd {
public:
    COstrelCmd() = default;
    ~COstrelCmd() = default;

    int DecodStatusFromDeviceID(const char* deviceId, PRINTER_STATUS* status) {
        return DecodeStatusFromDeviceID(deviceId, status);
    }

    // --- USB vendor commands (OstrelCmd.cpp) ---
    // Each opens the device of m_Settings.nVID/nPID, writes one command,
    // reads one reply into the zeroed record and closes: 0 or -1. The
    // records are in OstrelRecords.h.
    int GetPrinterInfo(CUsbDevice& device, struct DEV_PSR_PRINTERINFORMATION& info);
    int GetPrinterName(CUsbDevice& device, struct DEV_PL_PRINTER_NAME& name);
    // A fresh USB enumeration, then the status of the kept device ID.
    int GetPrinterStatus(PRINTER_STATUS& status);
};
