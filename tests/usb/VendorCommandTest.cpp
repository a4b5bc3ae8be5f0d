// The vendor command set over the emulated printer's pipes: the exact bytes
// of each command, the fields of each reply, and what a failure leaves.
#include "UsbTestSupport.h"
#include "usb/OstrelCmd.h"
#include "usb/usbdevice.h"

namespace {

const std::vector<uint8_t> kInfoCommand = {0x1B, 0x4D, 0x53, 0x55, 0x01, 0x01, 0, 0, 0, 0};
const std::vector<uint8_t> kNameCommand = {0x1B, 0x4D, 0x53, 0x55, 0xE0, 0x0B, 0, 0, 0, 0};

bool AllZero(const void* p, std::size_t n) {
    const auto* b = static_cast<const uint8_t*>(p);
    for (std::size_t i = 0; i < n; ++i)
        if (b[i] != 0)
            return false;
    return true;
}

} // namespace

TEST_F(UsbTest, PrinterInfoWritesItsCommandAndReadsSerialAndFirmware) {
    const int id = AddPrinter([](auto& s) {
        s.serial = "SER-12345";
        s.firmwareVersion = "V2.34";
    });
    CUsbDevice dev;
    DEV_PSR_PRINTERINFORMATION info;
    std::memset(&info, 0xAB, sizeof info);
    EXPECT_EQ(COstrelCmd().GetPrinterInfo(dev, info), 0);
    EXPECT_EQ(emu->Written(id), kInfoCommand);
    EXPECT_STREQ(info.cSerialNumber, "SER-12345");
    EXPECT_STREQ(info.cFirmwareVersion, "V2.34");
    // Each exchange closes, clearing both pipes.
    EXPECT_EQ(emu->ClearHalts(id, 0x02), 1);
    EXPECT_EQ(emu->ClearHalts(id, 0x82), 1);
}

TEST_F(UsbTest, PrinterNameWritesItsCommandAndReadsTheName) {
    const int id = AddPrinter([](auto& s) { s.printerName = "Office 3rd floor"; });
    CUsbDevice dev;
    DEV_PL_PRINTER_NAME name;
    std::string log = CapturedStdout([&] { EXPECT_EQ(COstrelCmd().GetPrinterName(dev, name), 0); });
    EXPECT_EQ(emu->Written(id), kNameCommand);
    EXPECT_STREQ(name.cPrinterName, "Office 3rd floor");
    EXPECT_TRUE(Contains(log, "GetPrinterName nWritesized=10, sizeof(cmd)=a, cmd.size=0\n"));
}

TEST_F(UsbTest, RepliesLongerThanTheOldStagingBufferArriveWhole) {
    // Bytes past 1000 are carried, not interpreted; they must still come
    // through unclipped and without overrunning anything.
    AddPrinter([](auto& s) {
        s.infoReply = usbemu::InfoReply("S", "F");
        s.infoReply[1000] = 0x5A;
        s.infoReply[1387] = 0xA5;
        s.nameReply = usbemu::NameReply("N");
        s.nameReply[1067] = 0x77;
    });
    CUsbDevice dev;
    DEV_PSR_PRINTERINFORMATION info;
    DEV_PL_PRINTER_NAME name;
    ASSERT_EQ(COstrelCmd().GetPrinterInfo(dev, info), 0);
    ASSERT_EQ(COstrelCmd().GetPrinterName(dev, name), 0);
    const auto* ib = reinterpret_cast<const uint8_t*>(&info);
    const auto* nb = reinterpret_cast<const uint8_t*>(&name);
    EXPECT_EQ(ib[1000], 0x5A);
    EXPECT_EQ(ib[1387], 0xA5);
    EXPECT_EQ(nb[1067], 0x77);
}

TEST_F(UsbTest, ShortReplyLeavesTheRestOfTheRecordZeroAndSucceeds) {
    AddPrinter([](auto& s) {
        s.infoReply = usbemu::InfoReply("SHORT", "V9");
        s.infoReply.resize(100); // serial inside, firmware version not
    });
    CUsbDevice dev;
    DEV_PSR_PRINTERINFORMATION info;
    EXPECT_EQ(COstrelCmd().GetPrinterInfo(dev, info), 0);
    EXPECT_STREQ(info.cSerialNumber, "SHORT");
    const auto* b = reinterpret_cast<const uint8_t*>(&info);
    EXPECT_TRUE(AllZero(b + 100, sizeof info - 100));
}

TEST_F(UsbTest, FieldFilledToAllThirtyTwoBytesStaysInItsField) {
    AddPrinter([](auto& s) {
        s.infoReply = usbemu::InfoReply(std::string(32, 'S'), std::string(32, 'F'));
        s.infoReply[76] = 0xEE; // the byte after the serial number's field
    });
    CUsbDevice dev;
    DEV_PSR_PRINTERINFORMATION info;
    ASSERT_EQ(COstrelCmd().GetPrinterInfo(dev, info), 0);
    EXPECT_EQ(std::string(info.cSerialNumber, 32), std::string(32, 'S'));
    EXPECT_EQ(std::string(info.cFirmwareVersion, 32), std::string(32, 'F'));
    EXPECT_EQ(reinterpret_cast<const uint8_t*>(&info)[76], 0xEE);
}

TEST_F(UsbTest, WithoutTheConfiguredPrinterNothingIsWrittenAndZerosAreLogged) {
    const int id = AddPrinter([](auto& s) { s.productId = kPid + 1; });
    CUsbDevice dev;
    DEV_PSR_PRINTERINFORMATION info;
    DEV_PL_PRINTER_NAME name;
    std::memset(&info, 0xAB, sizeof info);
    std::memset(&name, 0xAB, sizeof name);
    std::string log = CapturedStdout([&] {
        EXPECT_EQ(COstrelCmd().GetPrinterInfo(dev, info), -1);
        EXPECT_EQ(COstrelCmd().GetPrinterName(dev, name), -1);
    });
    EXPECT_TRUE(emu->Written(id).empty());
    EXPECT_TRUE(AllZero(&info, sizeof info));
    EXPECT_TRUE(AllZero(&name, sizeof name));
    EXPECT_TRUE(Contains(log, "length=1388, printerInfo=\n00 00 00 00 00 00 00 00\n"));
    EXPECT_TRUE(Contains(log, "printerName=\n00 00 00"));
}

TEST_F(UsbTest, FailedCommandWriteGivesFailureAndStillCloses) {
    const int id = AddPrinter([](auto& s) { s.writeFault = usbemu::WriteFault::Stall; });
    CUsbDevice dev;
    DEV_PL_PRINTER_NAME name;
    EXPECT_EQ(COstrelCmd().GetPrinterName(dev, name), -1);
    EXPECT_TRUE(AllZero(&name, sizeof name));
    EXPECT_EQ(emu->ClearHalts(id, 0x02), 1);
}

TEST_F(UsbTest, AnOpenChannelIsReopenedByACommand) {
    int id = emu->AddPrinter(DefaultPrinter());
    CUsbDevice dev;
    ASSERT_EQ(dev.Dev_Open(kVid, kPid), 0);
    DEV_PL_PRINTER_NAME name;
    EXPECT_EQ(COstrelCmd().GetPrinterName(dev, name), 0);
    EXPECT_STREQ(name.cPrinterName, "Emulated Printer");
    EXPECT_EQ(emu->ClearHalts(id, 0x02), 2); // the caller's open, then the command's
}

// --- status from the device ID -------------------------------------------

TEST_F(UsbTest, StatusIsDecodedFromTheDeviceIdOfAFreshEnumeration) {
    AddPrinter(
        [](auto& s) { s.deviceId = "MFG:Acme;MDL:Laser 9;SERN:X1;DES:Office;" + StatusField(5); });
    PRINTER_STATUS status;
    std::memset(&status, 0xFF, sizeof status);
    EXPECT_EQ(COstrelCmd().GetPrinterStatus(status), 0);
    EXPECT_EQ(status.PrinterStatus, 5);
}

TEST_F(UsbTest, StatusWithoutAnyEnumeratedIdFails) {
    PRINTER_STATUS status;
    std::memset(&status, 0xFF, sizeof status);
    std::string log = CapturedStdout([&] { EXPECT_EQ(COstrelCmd().GetPrinterStatus(status), -1); });
    EXPECT_TRUE(Contains(log, "STS: not found"));
    EXPECT_TRUE(AllZero(&status, sizeof status));
}

TEST_F(UsbTest, StatusOfAPrinterGoneSinceIsTheKeptOne) {
    const int id = AddPrinter([](auto& s) { s.deviceId = "SERN:X1;DES:Office;" + StatusField(3); });
    PRINTER_STATUS status;
    ASSERT_EQ(COstrelCmd().GetPrinterStatus(status), 0);
    emu->Unplug(id);
    std::memset(&status, 0xFF, sizeof status);
    EXPECT_EQ(COstrelCmd().GetPrinterStatus(status), 0);
    EXPECT_EQ(status.PrinterStatus, 3);
}
