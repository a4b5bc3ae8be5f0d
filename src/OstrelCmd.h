// The printer command class: status decoding shared by both roads, and the
// vendor command set on USB. Made on the stack for one call; holds no data.
#pragma once

#include "PrinterStatus.h"

class CUsbDevice;

class COstrelCmd {
public:
    COstrelCmd() = default;
    ~COstrelCmd() = default;

    // --- status decoding (PrinterStatus.cpp) ---
    int DecodStatusFromDeviceID(const char* deviceId, PRINTER_STATUS* status);

    // --- USB vendor commands (OstrelCmd.cpp) ---
    // declared by the USB core
};
