// The network page against real printers: discovery filling the list, the
// community field at Refresh, manual entry, and the firmware download as the
// print-port sinks receive it, with Cancel and the window's other commands
// arriving while it runs.
#include "WizardFixture.h"

#include "PrinterNetwork.h"

#include <QCryptographicHash>
#include <QTemporaryDir>
#include <QTimer>

#include <chrono>
#include <set>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

class NetworkPageTest : public WizardTest {
protected:
    // Page 1 -> Next -> Next: the discovery runs with the network chosen.
    void ToNetworkPage() {
        Next();
        ASSERT_EQ(g_pMainWindow->CurrentPage(), 2);
        Next();
        ASSERT_EQ(g_pMainWindow->CurrentPage(), 3);
    }

    int Rows() const { return m_Settings.nNetworkCount; }
    void TickPrinter(const char* name) { Tick(RowOf(P(name).ipv4)); }
    // The package of `files` opened, the network page reached and these
    // printers ticked, ready for Next.
    void Ticked(const std::vector<QByteArray>& files, std::initializer_list<const char*> names) {
        OpenWith(files);
        ToNetworkPage();
        for (const char* name : names)
            TickPrinter(name);
    }
    // A row's name, firmware and status, as shown.
    std::vector<QString> Shown(int row) const {
        return {Cell(row, kColumnName), Cell(row, kColumnFirmware), Cell(row, kColumnStatus)};
    }
    using Texts = std::vector<QString>;
    // Rows keep the order of the discovery's replies: the two printers in
    // the order the download serves them.
    std::pair<const char*, const char*> InRowOrder(const char* x, const char* y) const {
        return RowOf(P(x).ipv4) < RowOf(P(y).ipv4) ? std::pair{x, y} : std::pair{y, x};
    }

    void ExpectWholePackage(const Sink& sink) const {
        const auto got = sink.WaitFor(2);
        ASSERT_EQ(got.size(), 2u);
        EXPECT_TRUE(got[0] == m_files[0] + kSeparator) << "file 0 and the separator";
        EXPECT_TRUE(got[1] == m_files[1] + kEnd) << "file 1 and the end marker";
    }
    // All of file 0, the cancel marker, and no later file.
    void ExpectCancelled(const Sink& sink) const {
        const auto got = sink.WaitFor(1);
        ASSERT_EQ(got.size(), 1u) << "file 1 is not sent after Cancel";
        EXPECT_TRUE(got[0] == m_files[0] + kCancel);
    }
};

TEST_F(NetworkPageTest, DiscoveryListsThePrintersOfTheModel) {
    OpenWith({Pattern(5000, 1)});
    ToNetworkPage();
    // IPv4: A, B and R answer (in any order), C is another model, T does not
    // know "orchid". IPv6: B again, after every IPv4 row.
    ASSERT_EQ(Rows(), 4);
    std::set<std::string> ipv4;
    for (int i = 0; i < 3; ++i)
        ipv4.insert(m_Settings.NetworkListdata[i].szIPv4Address.toStdString());
    EXPECT_EQ(ipv4, (std::set<std::string>{P("PRN-A").ipv4, P("PRN-B").ipv4, P("PRN-R").ipv4}));
    EXPECT_EQ(m_Settings.NetworkListdata[3].szIPv4Address.toStdString(), P("PRN-B").linkLocal);
    EXPECT_EQ(Cell(3, kColumnName), "PRN-B") << "no de-duplication";

    const int a = RowOf(P("PRN-A").ipv4);
    EXPECT_EQ(Cell(a, kColumnAddress).toStdString(), P("PRN-A").ipv4);
    EXPECT_EQ(Shown(a), (Texts{"PRN-A", "V1.02", "Power Saving"}));
    // Code 9 shows Ready.
    EXPECT_EQ(Shown(RowOf(P("PRN-B").ipv4)), (Texts{"PRN-B", "V2.00", "Ready"}));
    EXPECT_EQ(Cell(3, kColumnStatus), "Ready");
    EXPECT_EQ(Cell(RowOf(P("PRN-R").ipv4), kColumnStatus), "Processing");

    // A refresh clears the ticks.
    Tick(a);
    ASSERT_TRUE(Enabled(kNextButton));
    Click(C(controlNetworkRefreshButton));
    EXPECT_EQ(Rows(), 4);
    for (int i = 0; i < Rows(); ++i)
        EXPECT_EQ(m_Settings.bNetworkChecked[i], 0);
    EXPECT_FALSE(Enabled(kNextButton));
}

TEST_F(NetworkPageTest, CommunityFieldAtRefresh) {
    OpenWith({Pattern(5000, 1)});
    ToNetworkPage();
    tb::SetControlText(C(controlNetworkEditCommunity), "");
    Click(C(controlNetworkRefreshButton));
    EXPECT_EQ(Text(controlNetworkEditCommunity), "orchid");
    EXPECT_EQ(m_Settings.szCommunity, "orchid");
    EXPECT_EQ(Rows(), 4);

    // With "tulip": A and T answer, and everything is asked with "tulip"
    // (name and version with "orchid" too): T shows its own name; it has no
    // version object.
    tb::SetControlText(C(controlNetworkEditCommunity), "tulip");
    Click(C(controlNetworkRefreshButton));
    ASSERT_EQ(Rows(), 2);
    const int t = RowOf(P("PRN-T").ipv4);
    ASSERT_GE(t, 0);
    EXPECT_EQ(Shown(t), (Texts{"PRN-T", "", "Paused"}));
    EXPECT_EQ(Cell(RowOf(P("PRN-A").ipv4), kColumnName), "PRN-A");
}

TEST_F(NetworkPageTest, TwoPrintersReceiveTwoFilesByteForByte) {
    Ticked({Pattern(100 * 1024 + 5, 7), Pattern(70001, 9)}, {"PRN-A", "PRN-B"});
    const Sink a("PRN-A");
    const Sink b("PRN-B");
    bool drawn = false;
    WhenProgressDrawn([&drawn, &a](bool painted) { drawn = painted && a.Count() == a.Before(); });
    std::vector<bool> finishedAtAlert;
    tb::test::SetAlertObserver([this, &finishedAtAlert](const tb::test::AlertRecord&) {
        finishedAtAlert.push_back(!Visible(kBackButton) && !Visible(kNextButton) &&
                                  Text(kCancelButton) == "Finish");
    });
    Next();
    EXPECT_EQ(Explanations(), (std::vector<QString>{kCompleted, kCompleted}));
    EXPECT_TRUE(drawn) << "the dialog is painted during the first file";
    EXPECT_EQ(finishedAtAlert, (std::vector<bool>{true, true}))
        << "the finished state comes before the first message";
    ExpectWholePackage(a);
    ExpectWholePackage(b);
    EXPECT_FALSE(Enabled(controlNetworkListView));
    EXPECT_EQ(g_pMainWindow->ProgressDialog(), nullptr);
}

// A package whose file no longer matches its SHA256 sends nothing to anyone;
// every printer's outcome goes to the history, a refused package's none.
TEST_F(NetworkPageTest, ChecksumsGuardThePackageAndOutcomesGoToTheHistory) {
    QTemporaryDir state;
    const QByteArray savedState = qgetenv("XDG_STATE_HOME");
    qputenv("XDG_STATE_HOME", state.path().toLocal8Bit());
    const QString history = state.path() + QStringLiteral("/quenlo/history.jsonl");

    const std::vector<QByteArray> files = {Pattern(10, 3), Pattern(20, 4)};
    const auto withSum = [this, &files](const std::string& sum) {
        OpenWith(files, [&sum](Settings& s) { s["Fw1"]["SHA256"] = sum; });
        ToNetworkPage();
        TickPrinter("PRN-A");
    };
    withSum(std::string(64, '0'));
    const Sink refused("PRN-A");
    Next();
    EXPECT_EQ(Explanations(), std::vector<QString>{QStringLiteral(
                                  "A firmware file does not match its checksum, so nothing was "
                                  "sent:\nfw1.bin")});
    EXPECT_EQ(refused.Count(), refused.Before()) << "no connection at all";
    EXPECT_FALSE(QFile::exists(history));

    // With the right sum (sha256sum of the 20 pattern bytes) it is sent.
    TearDown();
    SetUp();
    QCryptographicHash sum(QCryptographicHash::Sha256);
    sum.addData(files[1]);
    withSum(sum.result().toHex().toUpper().toStdString());
    const Sink a("PRN-A");
    Next();
    EXPECT_EQ(Explanations(), std::vector<QString>{kCompleted});
    ExpectWholePackage(a);

    QFile file(history);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().trimmed().split('\n');
    ASSERT_EQ(lines.size(), 1);
    for (const std::string& field : std::vector<std::string>{
             "\"program\":\"Quenlo\"", "\"outcome\":\"completed\"",
             "\"address\":\"" + P("PRN-A").ipv4 + "\"", "\"files\":[\"fw0.bin\",\"fw1.bin\"]"})
        EXPECT_TRUE(lines[0].contains(field.c_str())) << lines[0].constData();
    qputenv("XDG_STATE_HOME", savedState);
}

TEST_F(NetworkPageTest, CancelSendsTheRestOfTheFileThenTheCancelMarker) {
    Ticked({Pattern(600 * 1024, 11), Pattern(3000, 12)}, {"PRN-A", "PRN-B"});
    const auto [first, second] = InRowOrder("PRN-A", "PRN-B");
    const Sink a(first);
    const Sink b(second);
    DuringDownload([] { CancelProgress(); });
    Next();
    EXPECT_EQ(Explanations(), std::vector<QString>{kCompleted}) << "only the second printer";
    ExpectCancelled(a);
    ExpectWholePackage(b);
}

TEST_F(NetworkPageTest, FailuresEndOnePrinterAndTheNextIsServed) {
    // PRN-R answers SNMP and refuses the print port.
    Ticked({Pattern(9000, 5), Pattern(100, 6)}, {"PRN-R", "PRN-A"});
    // A row whose printer no longer answers as the model.
    g_pMainWindow->AddNetworkIP(P("OTHER-C").ipv4.c_str());
    Tick(Rows() - 1);
    const Sink a("PRN-A");
    const Sink c("OTHER-C");
    Next();
    std::multiset<QString> texts;
    for (const QString& t : Explanations())
        texts.insert(t);
    EXPECT_EQ(texts, (std::multiset<QString>{kNetworkFail, kCompleted,
                                             kUnable + QString::fromStdString(P("OTHER-C").ipv4)}));
    ExpectWholePackage(a);
    EXPECT_TRUE(c.WaitFor(0).empty()) << "nothing goes to a printer of another model";
}

// PRN-B answers over IPv4 and IPv6 and is listed twice; ticked twice, it gets
// the package once, over IPv4, with one message.
TEST_F(NetworkPageTest, APrinterTickedOnBothAddressesGetsThePackageOnce) {
    OpenWith({Pattern(50 * 1024, 11), Pattern(3000, 12)});
    ToNetworkPage();
    const int v4 = RowOf(P("PRN-B").ipv4);
    const int v6 = RowOf(P("PRN-B").linkLocal);
    ASSERT_GE(v4, 0);
    ASSERT_GE(v6, 0) << "listed on both addresses";
    Tick(v6);
    Tick(v4);
    const Sink b("PRN-B");
    Next();
    EXPECT_EQ(Explanations(), std::vector<QString>{kCompleted});
    ExpectWholePackage(b);
}

TEST_F(NetworkPageTest, ManualEntryChecksTheAddress) {
    OpenWith({Pattern(100, 1)});
    g_pMainWindow->ShowPage(3);
    CAddIPAddressDlg* dialog = OpenAddDialog();
    ASSERT_NE(dialog, nullptr);
    auto field = [dialog](int i) {
        return In(dialog->GetWindowRef(), {tb::Code("ADDI"), 501 + i});
    };
    auto typeAddress = [&field](const std::string& address) {
        const QStringList octets = QString::fromStdString(address).split('.');
        for (int i = 0; i < 4; ++i)
            tb::SetControlText(field(i), octets[i]);
    };
    tb::Control* ok = In(dialog->GetWindowRef(), controlAddOKButton);

    typeAddress(P("OTHER-C").ipv4);
    Click(ok);
    EXPECT_EQ(Explanations(),
              std::vector<QString>{"Please make sure that the MFP is connected correctly."});
    ASSERT_EQ(g_pMainWindow->AddIPDialog(), dialog) << "the dialog stays open";
    EXPECT_EQ(tb::GetControlText(field(3)), "13") << "with the address still typed";
    EXPECT_EQ(Rows(), 0);

    typeAddress(P("PRN-A").ipv4);
    Click(ok);
    EXPECT_TRUE(Explanations().empty());
    FlushDeletes();
    EXPECT_EQ(g_pMainWindow->AddIPDialog(), nullptr) << "closed and forgotten";
    ASSERT_EQ(Rows(), 1);
    EXPECT_EQ(m_Settings.bNetworkChecked[0], 0) << "added unticked";
    EXPECT_EQ(Shown(0), (Texts{"PRN-A", "V1.02", "Power Saving"}));
    EXPECT_EQ(tb::GetListItemCount(C(controlNetworkListView)), 1u);

    // An empty community field still finds printers answering to "orchid".
    tb::SetControlText(C(controlNetworkEditCommunity), "");
    EXPECT_TRUE(g_pMainWindow->IsValidIPAddress(P("PRN-B").ipv4.c_str()));
    EXPECT_EQ(Text(controlNetworkEditCommunity), "") << "the field is left alone";
}

// Next, Back, Refresh, Add, the port buttons, the file list and the tab
// command do nothing while the download runs; the download ends normally.
TEST_F(NetworkPageTest, TheWindowsCommandsWaitForTheDownload) {
    Ticked({Pattern(300 * 1024, 21), Pattern(5000, 22)}, {"PRN-A"});
    const int rows = Rows();
    const Sink a("PRN-A");
    DuringDownload([this] {
        for (uint32_t command : {kCommandNext, kCommandBack, kCommandRefreshNetwork,
                                 kCommandAddAddress, kCommandTab, kCommandBinFileList})
            tb::SendCommand(Window(), command);
        Click(C(controlRadioUSB));
        Click(C(controlNetworkRefreshButton));
        Click(C(controlNetworkAddButton));
        EXPECT_EQ(m_Settings.nPortType, 0);
        EXPECT_EQ(tb::GetControlValue(C(controlRadioNetwork)), 1);
        EXPECT_EQ(g_pMainWindow->AddIPDialog(), nullptr);
        EXPECT_EQ(g_pMainWindow->CurrentPage(), 3);
    });
    Next();
    EXPECT_EQ(Explanations(), std::vector<QString>{kCompleted});
    EXPECT_EQ(Rows(), rows) << "no refresh ran";
    ExpectWholePackage(a);
    EXPECT_EQ(a.WaitFor(2).size(), 2u) << "no second download";
    EXPECT_FALSE(g_pMainWindow->IsDownloading());
}

// Cancel/Finish or the close box during a download: the download is
// cancelled like the progress dialog's Cancel, then the window closes; a
// further ticked printer is not started.
TEST_F(NetworkPageTest, ClosingTheWindowCancelsTheDownloadFirst) {
    for (bool closeBox : {false, true}) {
        SCOPED_TRACE(closeBox ? "close box" : "Cancel");
        Ticked({Pattern(300 * 1024, 31), Pattern(5000, 32)}, {"PRN-A", "PRN-B"});
        const auto [first, second] = InRowOrder("PRN-A", "PRN-B");
        const Sink a(first);
        const Sink b(second);
        DuringDownload([this, closeBox] {
            if (closeBox)
                tb::NativeWidget(Window())->close();
            else
                Click(C(kCancelButton));
            ASSERT_NE(g_pMainWindow, nullptr) << "not closed under the download";
        });
        Next();
        FlushDeletes();
        EXPECT_EQ(g_pMainWindow, nullptr) << "closed once the download ended";
        EXPECT_TRUE(Explanations().empty());
        ExpectCancelled(a);
        EXPECT_TRUE(b.WaitFor(0).empty()) << "the next printer is not started";
    }
}

// ---- printers that misbehave on the print port -----------------------------------

// A printer that never reads its print port, known only to the community
// "stall", with a stall limit of five seconds: the window answers meanwhile.
TEST_F(NetworkPageTest, CancelDuringTheStallEndsItWithinTwoSeconds) {
    OpenWith({Pattern(16 * 1024 * 1024, 4)},
             [](Settings& s) { s["General"]["StallTimeout"] = "5"; });
    g_pMainWindow->ShowPage(3);
    tb::SetControlText(C(controlNetworkEditCommunity), "stall");
    g_pMainWindow->AddNetworkIP(P("PRN-S").ipv4.c_str());
    ASSERT_EQ(Rows(), 1);
    Tick(0);
    Clock::time_point cancelledAt{};
    bool dialogGone = false;
    DuringDownload([&cancelledAt, &dialogGone] {
        QTimer::singleShot(3500, [&cancelledAt, &dialogGone] {
            cancelledAt = Clock::now();
            dialogGone = CancelProgress();
        });
    });
    Next();
    const double after = std::chrono::duration<double>(Clock::now() - cancelledAt).count();
    ASSERT_NE(cancelledAt, Clock::time_point{}) << "the window answered during the stall";
    EXPECT_TRUE(dialogGone);
    EXPECT_LT(after, 2.0);
    EXPECT_TRUE(Explanations().empty()) << "cancelled, neither failed nor completed";
}

} // namespace
