// Run by the emulator program's test: asks the printer for its name through
// the vendor command set and for its status through the device ID, as the
// wizard would.
#include "settings/SettingsData.h"
#include "usb/OstrelCmd.h"
#include "usb/OstrelRecords.h"
#include "usb/usbdevice.h"

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc < 3)
        return 2;
    m_Settings.nVID = static_cast<int32_t>(std::strtol(argv[1], nullptr, 0));
    m_Settings.nPID = static_cast<int32_t>(std::strtol(argv[2], nullptr, 0));
    CUsbDevice dev;
    COstrelCmd cmd;
    DEV_PL_PRINTER_NAME name{};
    int rc = cmd.GetPrinterName(dev, name);
    PRINTER_STATUS status{};
    int rcStatus = cmd.GetPrinterStatus(status);
    name.cPrinterName[31] = '\0';
    std::printf("probe: name=%s status=%d rc=%d/%d\n", name.cPrinterName, status.PrinterStatus, rc,
                rcStatus);
    return rc == 0 && rcStatus == 0 ? 0 : 1;
}
