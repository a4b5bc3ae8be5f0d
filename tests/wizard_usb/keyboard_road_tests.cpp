// The USB road by keyboard alone: only key presses delivered to the window,
// from page 1 to the completed download on the emulated printer.
#include "KeyboardDriver.h"
#include "WizardFixture.h"

#include "UsbPrinterEmulator.h"
#include "usb/OstrelRecords.h"
#include "usb/UsbEnumeration.h"
#include "usb/usbdevice.h"
#include "wizard/ProgressDlg.h"

#include <cstring>
#include <vector>

namespace {

QByteArray Pattern(int size, unsigned seed) {
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = char((unsigned(i) * 2654435761u + seed) >> 13);
    return bytes;
}

class UsbKeyboardRoadTest : public WizardTest {
protected:
    void SetUp() override {
        WizardTest::SetUp();
        std::memset(szSERN, 0, sizeof szSERN);
        std::memset(szDES, 0, sizeof szDES);
        std::memset(pDeviceIdText, 0, sizeof pDeviceIdText);
        emu = std::make_unique<usbemu::Emulator>();
    }
    void TearDown() override {
        tb::test::SetAlertObserver(nullptr);
        WizardTest::TearDown();
        emu.reset();
    }
    std::unique_ptr<usbemu::Emulator> emu;
};

TEST_F(UsbKeyboardRoadTest, PageOneToACompletedDownloadWithKeysOnly) {
    usbemu::PrinterSetup setup;
    setup.serial = "QX310-0007";
    setup.printerName = "Desk QX";
    const int id = emu->AddPrinter(setup);
    const std::vector<QByteArray> files = {Pattern(70 * 1024, 3), Pattern(999, 4)};
    auto settings = NetworkPackage();
    settings["General"]["VID"] = "0x5A5A";
    settings["General"]["PID"] = "0x0310";
    UseFirmwareFiles(settings, files);
    Open(settings);
    std::vector<int> numbers;
    tb::test::SetAlertObserver([&numbers](const tb::test::AlertRecord&) {
        numbers.push_back(g_pMainWindow != nullptr ? g_pMainWindow->MessageShown() : -1);
    });

    tb::Window* window = Window();
    keys::Press(window, Qt::Key_Return);
    ASSERT_EQ(g_pMainWindow->CurrentPage(), 2);
    keys::Press(window, Qt::Key_Down); // from the network to USB
    ASSERT_EQ(m_Settings.nPortType, 1);
    keys::Press(window, Qt::Key_Return);
    ASSERT_EQ(g_pMainWindow->CurrentPage(), 4);
    ASSERT_EQ(m_Settings.nUSBCount, 1) << "the attached printer is listed";
    EXPECT_EQ(keys::FocusName(window), "usbList");
    keys::Press(window, Qt::Key_Space);
    ASSERT_EQ(m_Settings.bUSBChecked[0], 1);
    ASSERT_TRUE(Enabled(kNextButton));

    const uint64_t before = emu->WrittenCount(id);
    keys::Press(window, Qt::Key_Return);
    EXPECT_EQ(numbers, std::vector<int>{0}) << "message 0: the download completed";
    const std::vector<uint8_t> all = emu->Written(id);
    const QByteArray received(reinterpret_cast<const char*>(all.data()) + before,
                              qsizetype(all.size() - before));
    const QByteArray expected =
        files[0] + QByteArray("\xAA\x55\x55\xAA", 4) + files[1] + QByteArray("\x00\x00\x00\x00", 4);
    EXPECT_TRUE(received == expected) << "received " << received.size() << " bytes";
    EXPECT_EQ(Text(kCancelButton), QStringLiteral("Finish"));
}

} // namespace
