// The network road by keyboard alone: only key presses delivered to the
// window, from page 1 through the search to the completed download, against
// the printers of the private network.
#include "KeyboardDriver.h"
#include "PrivateNetwork.h"
#include "WizardFixture.h"

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

QByteArray Pattern(int size, unsigned seed) {
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = char((unsigned(i) * 2654435761u + seed) >> 13);
    return bytes;
}

int Connections(const privnet::Printer& printer) {
    return privnet::CountLines(privnet::ReadFile(printer.sinkDir + "/sink.log"), "conn ");
}

class NetworkKeyboardRoadTest : public WizardTest {
protected:
    void TearDown() override {
        tb::test::SetAlertObserver(nullptr);
        WizardTest::TearDown();
    }
};

TEST_F(NetworkKeyboardRoadTest, PageOneToACompletedDownloadWithKeysOnly) {
    const privnet::Network net = privnet::Load();
    const privnet::Printer* printer = net.Find("PRN-A");
    ASSERT_NE(printer, nullptr);
    const std::vector<QByteArray> files = {Pattern(200 * 1024, 41), Pattern(3333, 42)};
    auto settings = NetworkPackage();
    UseFirmwareFiles(settings, files);
    Open(settings);
    std::vector<int> numbers;
    tb::test::SetAlertObserver([&numbers](const tb::test::AlertRecord&) {
        numbers.push_back(g_pMainWindow != nullptr ? g_pMainWindow->MessageShown() : -1);
    });

    tb::Window* window = Window();
    keys::Press(window, Qt::Key_Return);
    ASSERT_EQ(g_pMainWindow->CurrentPage(), 2);
    ASSERT_EQ(keys::FocusName(window), "networkRadio") << "the network is chosen already";
    keys::Press(window, Qt::Key_Return); // the search runs here
    ASSERT_EQ(g_pMainWindow->CurrentPage(), 3);
    EXPECT_EQ(keys::FocusName(window), "networkList");
    int row = -1;
    for (int i = 0; i < m_Settings.nNetworkCount; ++i)
        if (m_Settings.NetworkListdata[i].szIPv4Address.toStdString() == printer->ipv4)
            row = i;
    ASSERT_GE(row, 0) << "PRN-A is listed";
    // The rows keep the order of the replies: down to PRN-A's, as a user reads it.
    for (int i = 0; i < row; ++i)
        keys::Press(window, Qt::Key_Down);
    keys::Press(window, Qt::Key_Space);
    for (int i = 0; i < m_Settings.nNetworkCount; ++i)
        EXPECT_EQ(m_Settings.bNetworkChecked[i], i == row ? 1 : 0) << "row " << i;
    ASSERT_TRUE(Enabled(kNextButton));

    const int before = Connections(*printer);
    keys::Press(window, Qt::Key_Return); // the download
    EXPECT_EQ(numbers, std::vector<int>{0}) << "message 0: the download completed";
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (Connections(*printer) < before + 2 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(10ms);
    ASSERT_EQ(Connections(*printer), before + 2);
    const auto conn = [&](int k) {
        return QByteArray::fromStdString(
            privnet::ReadFile(printer->sinkDir + "/conn-" + std::to_string(before + k) + ".bin"));
    };
    EXPECT_TRUE(conn(1) == files[0] + QByteArray("\xAA\x55\x55\xAA", 4)) << "file 0, separator";
    EXPECT_TRUE(conn(2) == files[1] + QByteArray("\x00\x00\x00\x00", 4)) << "file 1, end";
}

} // namespace
