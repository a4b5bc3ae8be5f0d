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

// The record holds the reply and zeros after it.
template <typename Record> bool IsReply(const Record& record, std::vector<uint8_t> reply) {
    reply.resize(sizeof record);
    return std::memcmp(&record, reply.data(), sizeof record) == 0;
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

// Each record is its reply byte for byte: fields filled to all 32 bytes stay
// in their place, bytes past 1000 (carried, not interpreted) come through
// unclipped, and what a short reply leaves out is zero.
TEST_F(UsbTest, EachRecordIsItsReplyByteForByte) {
    using Reply = std::vector<uint8_t>;
    Reply fullInfo = usbemu::InfoReply(std::string(32, 'S'), std::string(32, 'F'));
    fullInfo[76] = 0xEE; // the byte after the serial number's field
    Reply longInfo = usbemu::InfoReply("S", "F");
    longInfo[1000] = 0x5A;
    longInfo[1387] = 0xA5;
    Reply longName = usbemu::NameReply("N");
    longName[1067] = 0x77;
    Reply shortInfo = usbemu::InfoReply("SHORT", "V9");
    shortInfo.resize(100); // serial inside, firmware version not
    Reply shortName = usbemu::NameReply("Short");
    shortName.resize(20);
    const std::pair<Reply, Reply> replies[] = {
        {fullInfo, usbemu::NameReply(std::string(32, 'N'))},
        {longInfo, longName},
        {shortInfo, shortName},
    };
    for (const auto& [infoReply, nameReply] : replies) {
        TearDown();
        SetUp();
        AddPrinter([&](auto& s) {
            s.infoReply = infoReply;
            s.nameReply = nameReply;
        });
        CUsbDevice dev;
        DEV_PSR_PRINTERINFORMATION info;
        DEV_PL_PRINTER_NAME name;
        std::memset(&info, 0xAB, sizeof info);
        std::memset(&name, 0xAB, sizeof name);
        ASSERT_EQ(COstrelCmd().GetPrinterInfo(dev, info), 0);
        ASSERT_EQ(COstrelCmd().GetPrinterName(dev, name), 0);
        EXPECT_TRUE(IsReply(info, infoReply)) << infoReply.size();
        EXPECT_TRUE(IsReply(name, nameReply)) << nameReply.size();
    }
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

// Without any ID the status fails and reads zero; a printer's comes from the
// device ID of a fresh enumeration, and stays once the printer is gone.
TEST_F(UsbTest, StatusIsDecodedFromTheDeviceIdOfAFreshEnumeration) {
    PRINTER_STATUS status;
    std::memset(&status, 0xFF, sizeof status);
    std::string log = CapturedStdout([&] { EXPECT_EQ(COstrelCmd().GetPrinterStatus(status), -1); });
    EXPECT_TRUE(Contains(log, "STS: not found"));
    EXPECT_TRUE(AllZero(&status, sizeof status));

    const int id = AddPrinter(
        [](auto& s) { s.deviceId = "MFG:Acme;MDL:Laser 9;SERN:X1;DES:Office;" + StatusField(5); });
    for (const bool gone : {false, true}) {
        SCOPED_TRACE(gone ? "gone" : "attached");
        if (gone)
            emu->Unplug(id);
        std::memset(&status, 0xFF, sizeof status);
        EXPECT_EQ(COstrelCmd().GetPrinterStatus(status), 0);
        EXPECT_EQ(status.PrinterStatus, 5);
    }
}
