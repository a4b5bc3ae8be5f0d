// The network road by keyboard alone: only key presses delivered to the
// window, from page 1 through the search to the completed download, against
// the printers of the private network.
#include "PrinterNetwork.h"
#include "WizardFixture.h"

namespace {

using NetworkKeyboardRoadTest = WizardTest;

TEST_F(NetworkKeyboardRoadTest, PageOneToACompletedDownloadWithKeysOnly) {
    const privnet::Printer& printer = P("PRN-A");
    OpenWith({Pattern(200 * 1024, 41), Pattern(3333, 42)});
    std::vector<int> numbers;
    tb::test::SetAlertObserver([&numbers](const tb::test::AlertRecord&) {
        numbers.push_back(g_pMainWindow != nullptr ? g_pMainWindow->MessageShown() : -1);
    });

    Press(Qt::Key_Return);
    ASSERT_EQ(g_pMainWindow->CurrentPage(), 2);
    ASSERT_EQ(Focus(), "networkRadio") << "the network is chosen already";
    Press(Qt::Key_Return); // the search runs here
    ASSERT_EQ(g_pMainWindow->CurrentPage(), 3);
    EXPECT_EQ(Focus(), "networkList");
    const int row = RowOf(printer.ipv4);
    ASSERT_GE(row, 0) << "PRN-A is listed";
    // The rows keep the order of the replies: down to PRN-A's, as a user reads it.
    for (int i = 0; i < row; ++i)
        Press(Qt::Key_Down);
    Press(Qt::Key_Space);
    for (int i = 0; i < m_Settings.nNetworkCount; ++i)
        EXPECT_EQ(m_Settings.bNetworkChecked[i], i == row ? 1 : 0) << "row " << i;
    ASSERT_TRUE(Enabled(kNextButton));

    const Sink sink("PRN-A");
    Press(Qt::Key_Return); // the download
    EXPECT_EQ(numbers, std::vector<int>{0}) << "message 0: the download completed";
    const auto conn = sink.WaitFor(2);
    ASSERT_EQ(conn.size(), 2u);
    EXPECT_TRUE(conn[0] == m_files[0] + kSeparator) << "file 0, separator";
    EXPECT_TRUE(conn[1] == m_files[1] + kEnd) << "file 1, end";
}

} // namespace
