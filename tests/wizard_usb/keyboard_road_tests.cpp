// The USB road by keyboard alone: only key presses delivered to the window,
// from page 1 to the completed download on the emulated printer.
#include "UsbPageFixture.h"

namespace {

using UsbKeyboardRoadTest = UsbWizardTest;

TEST_F(UsbKeyboardRoadTest, PageOneToACompletedDownloadWithKeysOnly) {
    usbemu::PrinterSetup setup;
    setup.serial = "QX310-0007";
    setup.printerName = "Desk QX";
    const int id = emu->AddPrinter(setup);
    OpenWith({Pattern(70 * 1024, 3), Pattern(999, 4)});
    std::vector<int> numbers;
    tb::test::SetAlertObserver([&numbers](const tb::test::AlertRecord&) {
        numbers.push_back(g_pMainWindow != nullptr ? g_pMainWindow->MessageShown() : -1);
    });

    Press(Qt::Key_Return);
    ASSERT_EQ(g_pMainWindow->CurrentPage(), 2);
    Press(Qt::Key_Down); // from the network to USB
    ASSERT_EQ(m_Settings.nPortType, 1);
    Press(Qt::Key_Return);
    ASSERT_EQ(g_pMainWindow->CurrentPage(), 4);
    ASSERT_EQ(m_Settings.nUSBCount, 1) << "the attached printer is listed";
    EXPECT_EQ(Focus(), "usbList");
    Press(Qt::Key_Space);
    ASSERT_EQ(m_Settings.bUSBChecked[0], 1);
    ASSERT_TRUE(Enabled(kNextButton));

    const uint64_t before = emu->WrittenCount(id);
    Press(Qt::Key_Return);
    EXPECT_EQ(numbers, std::vector<int>{0}) << "message 0: the download completed";
    const QByteArray received = WrittenSince(id, before);
    const QByteArray expected = m_files[0] + kSeparator + m_files[1] + kEnd;
    EXPECT_TRUE(received == expected) << "received " << received.size() << " bytes";
    EXPECT_EQ(Text(kCancelButton), QStringLiteral("Finish"));
}

} // namespace
