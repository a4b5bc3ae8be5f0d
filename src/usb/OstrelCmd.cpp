#include "usb/OstrelCmd.h"

#include "settings/SettingsData.h"
#include "usb/OstrelRecords.h"
#include "usb/UsbEnumeration.h"
#include "usb/usbdevice.h"

#include <cstdio>
#include <cstring>

char pDeviceIdText[kDeviceIdTextSize];

namespace {

DEV_COMMAND MakeCommand(uint8_t code, uint8_t subcode) {
    DEV_COMMAND cmd{};
    cmd.cmd_mark = kCmdMark;
    cmd.utility_mark1 = kUtilityMark1;
    cmd.cmd_mark2 = kCmdMark2;
    cmd.utility_mark3 = kUtilityMark3;
    cmd.cmd_code = code;
    cmd.cmd_subcode = subcode;
    cmd.size = 0;
    return cmd;
}

void DumpRecord(const void* record, std::size_t length) {
    const auto* bytes = static_cast<const unsigned char*>(record);
    for (std::size_t i = 0; i < length; ++i)
        std::printf((i + 1) % 8 == 0 ? "%02x\n" : "%02x ", bytes[i]);
    std::printf("\n");
}

// Open, write the command, read the reply, close. The reply is read into
// the zeroed record, so a shorter one leaves the rest zero. Each step waits
// at most g_exchangeTimeoutMs, with the device's keep-alive running.
int Exchange(CUsbDevice& device, DEV_COMMAND& cmd, void* reply, int replyLength, bool logWritten) {
    if (device.Dev_Open(m_Settings.nVID, m_Settings.nPID) != 0)
        return -1;
    int result = -1;
    int written = 0;
    if (device.Dev_Write(reinterpret_cast<char*>(&cmd), sizeof cmd, &written,
                         g_exchangeTimeoutMs) == 0) {
        if (logWritten)
            std::printf("GetPrinterName nWritesized=%d, sizeof(cmd)=%x, cmd.size=%x\n", written,
                        static_cast<unsigned>(sizeof cmd), static_cast<unsigned>(cmd.size));
        int read = 0;
        result = device.Dev_Read(static_cast<char*>(reply), replyLength, &read);
    }
    device.Dev_Close();
    return result;
}

} // namespace

int COstrelCmd::GetPrinterInfo(CUsbDevice& device, DEV_PSR_PRINTERINFORMATION& info) {
    std::memset(&info, 0, sizeof info);
    DEV_COMMAND cmd = MakeCommand(kPrinterInfoCode, kPrinterInfoSubcode);
    std::printf("cmd.cmd_mark=%x, cmd.utility_mark1=%x,cmd.cmd_mark2=%x, cmd.utility_mark3=%x\n",
                cmd.cmd_mark, cmd.utility_mark1, cmd.cmd_mark2, cmd.utility_mark3);
    std::printf("GetPrinterInfo sizeof(cmd)=%x, cmd.size=%x\n", static_cast<unsigned>(sizeof cmd),
                static_cast<unsigned>(cmd.size));

    int result = Exchange(device, cmd, &info, sizeof info, false);

    std::printf("length=%d, printerInfo=\n", static_cast<int>(sizeof info));
    DumpRecord(&info, sizeof info);
    return result;
}

int COstrelCmd::GetPrinterName(CUsbDevice& device, DEV_PL_PRINTER_NAME& name) {
    std::memset(&name, 0, sizeof name);
    DEV_COMMAND cmd = MakeCommand(kPrinterNameCode, kPrinterNameSubcode);

    int result = Exchange(device, cmd, &name, sizeof name, true);

    std::printf("printerName=\n");
    DumpRecord(&name, sizeof name);
    return result;
}

int COstrelCmd::GetPrinterStatus(PRINTER_STATUS& status) {
    std::memset(&status, 0, sizeof status);
    list_devices();
    return DecodStatusFromDeviceID(pDeviceIdText, &status);
}
