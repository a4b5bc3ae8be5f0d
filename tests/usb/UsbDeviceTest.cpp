// The byte channel against the emulated printer: which device and which
// pipes it takes, whole-buffer writes, reads, faults, and what every close
// leaves behind.
#include "usb/usbdevice.h"
#include "UsbTestSupport.h"

#include <algorithm>
#include <chrono>

namespace {

// Opens, writes data in one call, closes; the result of the write.
int WriteOnce(std::vector<char>& data, int* written = nullptr) {
    CUsbDevice dev;
    if (dev.Dev_Open(kVid, kPid) != 0)
        return -2;
    int count = 0;
    int rc = dev.Dev_Write(data.data(), static_cast<int>(data.size()), &count);
    if (written)
        *written = count;
    return rc;
}

} // namespace

// --- opening: which device, which interface, which pipes -------------------

// Pipes are taken by direction, whichever the interface lists first.
TEST_F(UsbTest, OpensTheSecondInterfaceAndTakesOnePipePerDirection) {
    for (const bool inFirst : {false, true}) {
        TearDown();
        SetUp();
        const int id = AddPrinter([&](auto& s) { s.inPipeFirst = inFirst; });
        CUsbDevice dev;
        ASSERT_EQ(dev.Dev_Open(kVid, kPid), 0);
        EXPECT_EQ(dev.Record(g_index).outPipeRef, inFirst ? 2 : 1);
        EXPECT_EQ(dev.Record(g_index).inPipeRef, inFirst ? 1 : 2);
        char data[] = "hello";
        int written = 0;
        EXPECT_EQ(dev.Dev_Write(data, 5, &written), 0);
        EXPECT_EQ(written, 5);
        dev.Dev_Close();
        EXPECT_EQ(emu->Written(id), (std::vector<uint8_t>{'h', 'e', 'l', 'l', 'o'}));
        // The printing interface was never touched: usblp kept it throughout.
        EXPECT_TRUE(emu->KernelDriverBound(id));
        EXPECT_EQ(emu->KernelDriverDetaches(id), 0);
    }
}

TEST_F(UsbTest, OfTwoMatchingPrintersOnlyTheFirstListedIsUsed) {
    auto [first, second] =
        InListedOrder(emu->AddPrinter(DefaultPrinter()), emu->AddPrinter(DefaultPrinter()));
    ASSERT_NE(first, second);
    std::vector<char> data = Pattern(4096);
    EXPECT_EQ(WriteOnce(data), 0);
    EXPECT_TRUE(SameBytes(emu->Written(first), data));
    EXPECT_TRUE(emu->Written(second).empty());
    EXPECT_EQ(emu->ClearHalts(second, 0x02), 0);
}

// Another model, no printer, or no vendor interface: every transfer is
// refused, leaves the count alone and sends the printer nothing.
TEST_F(UsbTest, WithoutAUsablePrinterTransfersRefuse) {
    const struct {
        const char* name;
        bool attached;
        uint16_t productId;
        bool secondInterface;
        int open;
    } cases[] = {
        {"other ids", true, kPid + 1, true, -1},
        {"none attached", false, kPid, true, -1},
        {"one interface: opens, cannot transfer", true, kPid, false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        usbemu::PrinterSetup setup = DefaultPrinter();
        setup.productId = c.productId;
        setup.secondInterface = c.secondInterface;
        const int id = c.attached ? emu->AddPrinter(setup) : -1;
        CUsbDevice dev;
        EXPECT_EQ(dev.Dev_Open(kVid, kPid), c.open);
        char buf[16] = {};
        int count = 77;
        EXPECT_EQ(dev.Dev_Write(buf, sizeof buf, &count), -1);
        EXPECT_EQ(dev.Dev_Read(buf, sizeof buf, &count), -1);
        EXPECT_EQ(count, 77) << "a refused transfer leaves the count alone";
        EXPECT_EQ(dev.Dev_Close(), 0);
        if (c.attached) {
            EXPECT_TRUE(emu->Written(id).empty());
        }
    }
}

TEST_F(UsbTest, InterfaceWithoutEndpointsSwitchesToSettingOneAndProbesItsPipes) {
    const int id = AddPrinter([](auto& s) { s.noEndpointsAtFirst = true; });
    CUsbDevice dev;
    std::string log = CapturedStdout([&] { ASSERT_EQ(dev.Dev_Open(kVid, kPid), 0); });
    EXPECT_EQ(emu->AlternateSetting(id), 1);
    // Setting 1 lists OUT 0x03, IN 0x84, OUT 0x05: the first of each
    // direction, and probing ends at the first pipe that is not there.
    EXPECT_EQ(dev.Record(g_index).outPipeRef, 1);
    EXPECT_EQ(dev.Record(g_index).inPipeRef, 2);
    EXPECT_TRUE(Contains(log, "dealWithInterface: found 0 pipes"));
    EXPECT_TRUE(Contains(log, "grabbing BULK OUT pipe index 1, number 3"));
    EXPECT_TRUE(Contains(log, "grabbing BULK IN pipe index 2, number 4"));
    EXPECT_TRUE(Contains(log, "unable to get pipe properties for pipe 4,"));
    EXPECT_FALSE(Contains(log, "pipe properties for pipe 5,"));
    EXPECT_FALSE(Contains(log, "intf=")) << "a failed probe ends the step without its summary";

    std::vector<char> data = Pattern(100);
    EXPECT_EQ(dev.Dev_Write(data.data(), 100, nullptr), 0);
    dev.Dev_Close();
    EXPECT_TRUE(SameBytes(emu->Written(id), data));
    EXPECT_EQ(emu->ClearHalts(id, 0x03), 1);
    EXPECT_EQ(emu->ClearHalts(id, 0x84), 1);
}

// --- writing whole files -----------------------------------------------

// One urb where the kernel takes one that large, else pieces that arrive
// whole.
TEST_F(UsbTest, SeveralMegabytesGoInOneTransferByteForByte) {
    for (const bool scatterGather : {true, false}) {
        SCOPED_TRACE(scatterGather ? "one urb" : "in pieces");
        emu.reset(); // one emulated kernel at a time
        emu = std::make_unique<usbemu::Emulator>(scatterGather);
        const int id = emu->AddPrinter(DefaultPrinter());
        std::vector<char> firmware = Pattern(5 * 1024 * 1024 + 123);
        int written = 0;
        EXPECT_EQ(WriteOnce(firmware, &written), 0);
        EXPECT_EQ(written, static_cast<int>(firmware.size()));
        EXPECT_TRUE(SameBytes(emu->Written(id), firmware));
        if (scatterGather)
            EXPECT_EQ(emu->OutUrbs(id), 1);
        else
            EXPECT_GT(emu->OutUrbs(id), 100) << "the emulated kernel took no large urb";
    }
}

// The download's pieces: multiples of the packet size, then the short rest,
// arrive as the one stream a whole-file transfer makes. Bad arguments are
// refused without a transfer.
TEST_F(UsbTest, PiecesOfAFileArriveAsOneStream) {
    int id = emu->AddPrinter(DefaultPrinter());
    std::vector<char> firmware = Pattern(3 * 512 * 1024 + 1000, 5);
    CUsbDevice dev;
    EXPECT_EQ(dev.OutPacketSize(), 0) << "no pipe before the opening";
    int written = -1;
    EXPECT_EQ(dev.Dev_WriteSome(firmware.data(), 10, &written, 40), -1);
    EXPECT_EQ(written, 0);
    ASSERT_EQ(dev.Dev_Open(kVid, kPid), 0);
    EXPECT_EQ(dev.Dev_Write(firmware.data(), -1, nullptr), -1);
    EXPECT_EQ(dev.Dev_Write(nullptr, 4, nullptr), -1);
    EXPECT_EQ(dev.Dev_Read(nullptr, 4, nullptr), -1);
    EXPECT_EQ(dev.Dev_Read(firmware.data(), -5, nullptr), -1);
    EXPECT_EQ(emu->OutUrbs(id), 0);
    const int packet = dev.OutPacketSize();
    ASSERT_GT(packet, 0);
    EXPECT_EQ((512 * 1024) % packet, 0);
    // Each piece is offered again from the first byte not yet taken, as
    // the engine does, until the printer has all of it.
    for (size_t off = 0; off < firmware.size();) {
        const int piece = int(std::min<size_t>(512 * 1024, firmware.size() - off));
        int done = 0;
        for (int call = 0; done < piece && call < 1000; ++call) {
            const int rc =
                dev.Dev_WriteSome(firmware.data() + off + done, piece - done, &written, 40);
            ASSERT_GE(rc, 0);
            done += written;
            EXPECT_EQ(rc == 0, done == piece);
        }
        ASSERT_EQ(done, piece);
        off += size_t(piece);
    }
    EXPECT_EQ(dev.QueuedBytes(), 0);
    dev.Dev_Close();
    EXPECT_TRUE(SameBytes(emu->Written(id), firmware));

    emu->SetWriteFault(id, usbemu::WriteFault::Error);
    ASSERT_EQ(dev.Dev_Open(kVid, kPid), 0);
    EXPECT_EQ(dev.Dev_WriteSome(firmware.data(), 4096, &written, 40), -1);
}

TEST_F(UsbTest, FailedWritesReportFailureWithTheFullLengthCounted) {
    int id = emu->AddPrinter(DefaultPrinter());
    for (auto fault : {usbemu::WriteFault::Stall, usbemu::WriteFault::Error}) {
        emu->SetWriteFault(id, fault);
        std::vector<char> data = Pattern(50000);
        int written = 0;
        std::string log = CapturedStdout([&] { EXPECT_EQ(WriteOnce(data, &written), -1); });
        EXPECT_EQ(written, 50000);
        EXPECT_TRUE(Contains(log, "unable to do bulk write"));
        EXPECT_FALSE(Contains(log, "WritePipe OK!"));
    }
    // A stalled pipe is cleared at close, so the next exchange works.
    emu->SetWriteFault(id, usbemu::WriteFault::None);
    std::vector<char> data = Pattern(10);
    EXPECT_EQ(WriteOnce(data), 0);
    EXPECT_TRUE(SameBytes(emu->Written(id), data));
}

// --- closing --------------------------------------------------------------

// The destructor closes too, and a closed channel's interface is given back
// at once.
TEST_F(UsbTest, EveryCloseClearsTheHaltOfBothPipes) {
    int id = emu->AddPrinter(DefaultPrinter());
    {
        CUsbDevice never;
        EXPECT_EQ(never.Dev_Close(), 0);
    }
    {
        CUsbDevice dev;
        for (int round = 1; round <= 3; ++round) {
            ASSERT_EQ(dev.Dev_Open(kVid, kPid), 0); // also closes the previous round
            EXPECT_EQ(emu->ClearHalts(id, 0x02), round - 1);
        }
    }
    EXPECT_EQ(emu->ClearHalts(id, 0x02), 3);
    CUsbDevice dev;
    ASSERT_EQ(dev.Dev_Open(kVid, kPid), 0);
    char data[] = "x";
    EXPECT_EQ(dev.Dev_Write(data, 1, nullptr), 0);
    EXPECT_EQ(dev.Dev_Close(), 0);
    EXPECT_EQ(dev.Dev_Close(), 0);
    EXPECT_EQ(emu->ClearHalts(id, 0x02), 4);
    EXPECT_EQ(emu->ClearHalts(id, 0x82), 4);
    EXPECT_EQ(emu->ClearHalts(id, 0x01), 0) << "the printing interface's pipes are not ours";
}

// --- unplugging ----------------------------------------------------------

TEST_F(UsbTest, WriteToAnUnpluggedPrinterFailsPromptly) {
    int id = emu->AddPrinter(DefaultPrinter());
    CUsbDevice dev;
    ASSERT_EQ(dev.Dev_Open(kVid, kPid), 0);
    emu->Unplug(id);
    std::vector<char> data = Pattern(1000);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(dev.Dev_Write(data.data(), 1000, nullptr), -1);
    EXPECT_EQ(dev.Dev_Close(), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    CUsbDevice again;
    EXPECT_EQ(again.Dev_Open(kVid, kPid), -1);
}

// --- a printer that never answers ------------------------------------------

TEST_F(UsbTest, ReadFromASilentPrinterGivesUpAfterTheReadTimeLimit) {
    const int id = AddPrinter([](auto& s) { s.silent = true; });
    unsigned int saved = g_exchangeTimeoutMs;
    g_exchangeTimeoutMs = 300;
    CUsbDevice dev;
    ASSERT_EQ(dev.Dev_Open(kVid, kPid), 0);
    char command[10] = {0x1B, 'M', 'S', 'U', 1, 1, 0, 0, 0, 0};
    ASSERT_EQ(dev.Dev_Write(command, 10, nullptr), 0);
    char reply[64];
    int count = -1;
    auto start = std::chrono::steady_clock::now();
    std::string log = CapturedStdout([&] { EXPECT_EQ(dev.Dev_Read(reply, 64, &count), -1); });
    auto took = std::chrono::steady_clock::now() - start;
    g_exchangeTimeoutMs = saved;
    EXPECT_GE(took, std::chrono::milliseconds(250));
    EXPECT_LT(took, std::chrono::seconds(10));
    EXPECT_EQ(count, 0);
    EXPECT_TRUE(Contains(log, "unable to do ReadPipe"));
    // The abandoned read leaves the channel usable.
    char more[] = "next";
    EXPECT_EQ(dev.Dev_Write(more, 4, nullptr), 0);
    dev.Dev_Close();
    EXPECT_EQ(emu->WrittenCount(id), 14u);
}
