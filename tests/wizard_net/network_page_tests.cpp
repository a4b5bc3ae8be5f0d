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
    // Rows keep the order of the discovery's replies: the two printers in
    // the order the download serves them.
    std::pair<const char*, const char*> InRowOrder(const char* x, const char* y) const {
        return RowOf(P(x).ipv4) < RowOf(P(y).ipv4) ? std::pair{x, y} : std::pair{y, x};
    }

    // The stream one file makes on its connection.
    QByteArray Stream(size_t file, const QByteArray& marker) const {
        return m_files[file] + marker;
    }
    void ExpectWholePackage(const Sink& sink) const {
        const auto got = sink.WaitFor(2);
        ASSERT_EQ(got.size(), 2u);
        EXPECT_TRUE(got[0] == Stream(0, kSeparator)) << "file 0 and the separator";
        EXPECT_TRUE(got[1] == Stream(1, kEnd)) << "file 1 and the end marker";
    }
    // Presses Next and returns the seconds the download took.
    double TimedNext() {
        const auto start = Clock::now();
        Next();
        return std::chrono::duration<double>(Clock::now() - start).count();
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
    EXPECT_EQ(Cell(a, kColumnName), "PRN-A");
    EXPECT_EQ(Cell(a, kColumnFirmware), "V1.02");
    EXPECT_EQ(Cell(a, kColumnStatus), "Power Saving");
    const int b = RowOf(P("PRN-B").ipv4);
    EXPECT_EQ(Cell(b, kColumnStatus), "Ready") << "code 9 shows Ready";
    EXPECT_EQ(Cell(3, kColumnStatus), "Ready");
    EXPECT_EQ(Cell(RowOf(P("PRN-R").ipv4), kColumnStatus), "Processing");

    // Ticks drive Next.
    EXPECT_FALSE(Enabled(kNextButton));
    Tick(b);
    EXPECT_TRUE(Enabled(kNextButton));
    Tick(a);
    Tick(b);
    EXPECT_TRUE(Enabled(kNextButton));
    Tick(a);
    EXPECT_FALSE(Enabled(kNextButton));

    // A refresh clears the ticks.
    Tick(a);
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
    EXPECT_EQ(Cell(t, kColumnName), "PRN-T");
    EXPECT_EQ(Cell(t, kColumnFirmware), "");
    EXPECT_EQ(Cell(t, kColumnStatus), "Paused");
    EXPECT_EQ(Cell(RowOf(P("PRN-A").ipv4), kColumnName), "PRN-A");
}

TEST_F(NetworkPageTest, TwoPrintersReceiveTwoFilesByteForByte) {
    OpenWith({Pattern(100 * 1024 + 5, 7), Pattern(70001, 9)});
    ToNetworkPage();
    TickPrinter("PRN-A");
    TickPrinter("PRN-B");
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
    OpenWith(files, [](Settings& s) { s["Fw1"]["SHA256"] = std::string(64, '0'); });
    ToNetworkPage();
    TickPrinter("PRN-A");
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
    OpenWith(files, [&sum](Settings& s) {
        s["Fw1"]["SHA256"] = sum.result().toHex().toUpper().toStdString();
    });
    ToNetworkPage();
    TickPrinter("PRN-A");
    const Sink a("PRN-A");
    Next();
    EXPECT_EQ(Explanations(), std::vector<QString>{kCompleted});
    ExpectWholePackage(a);

    QFile file(history);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().trimmed().split('\n');
    ASSERT_EQ(lines.size(), 1);
    EXPECT_TRUE(lines[0].contains("\"program\":\"Quenlo\"")) << lines[0].constData();
    EXPECT_TRUE(lines[0].contains("\"outcome\":\"completed\""));
    EXPECT_TRUE(lines[0].contains(("\"address\":\"" + P("PRN-A").ipv4 + "\"").c_str()));
    EXPECT_TRUE(lines[0].contains("\"files\":[\"fw0.bin\",\"fw1.bin\"]"));
    qputenv("XDG_STATE_HOME", savedState);
}

// A file that cannot be sent ends the printer with a message before its
// connection opens: no end marker follows part of a package.
TEST_F(NetworkPageTest, AMissingFileEndsThePrinterWithAMessage) {
    OpenWith({Pattern(10, 3), Pattern(20, 4)});
    ToNetworkPage();
    TickPrinter("PRN-A");
    QFile::remove(m_package->Path("fw1.bin"));
    const Sink a("PRN-A");
    Next();
    EXPECT_EQ(Explanations(), std::vector<QString>{kNetworkFail});
    const auto got = a.WaitFor(2);
    ASSERT_EQ(got.size(), 1u) << "no connection for the missing file";
    EXPECT_TRUE(got[0] == Stream(0, kSeparator));
}

TEST_F(NetworkPageTest, CancelSendsTheRestOfTheFileThenTheCancelMarker) {
    OpenWith({Pattern(600 * 1024, 11), Pattern(3000, 12)});
    ToNetworkPage();
    TickPrinter("PRN-A");
    TickPrinter("PRN-B");
    const auto [first, second] = InRowOrder("PRN-A", "PRN-B");
    const Sink a(first);
    const Sink b(second);
    DuringDownload([] { CancelProgress(); });
    Next();
    EXPECT_EQ(Explanations(), std::vector<QString>{kCompleted}) << "only the second printer";
    const auto got = a.WaitFor(1);
    ASSERT_EQ(got.size(), 1u) << "file 1 is not sent after Cancel";
    EXPECT_TRUE(got[0] == Stream(0, kCancel));
    ExpectWholePackage(b);
}

TEST_F(NetworkPageTest, FailuresEndOnePrinterAndTheNextIsServed) {
    OpenWith({Pattern(9000, 5), Pattern(100, 6)});
    ToNetworkPage();
    TickPrinter("PRN-R"); // answers SNMP, refuses the print port
    TickPrinter("PRN-A");
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
    EXPECT_EQ(Cell(0, kColumnName), "PRN-A");
    EXPECT_EQ(Cell(0, kColumnFirmware), "V1.02");
    EXPECT_EQ(Cell(0, kColumnStatus), "Power Saving");
    EXPECT_EQ(tb::GetListItemCount(C(controlNetworkListView)), 1u);

    // An empty community field still finds printers answering to "orchid".
    tb::SetControlText(C(controlNetworkEditCommunity), "");
    EXPECT_TRUE(g_pMainWindow->IsValidIPAddress(P("PRN-B").ipv4.c_str()));
    EXPECT_EQ(Text(controlNetworkEditCommunity), "") << "the field is left alone";
}

// Next, Back, Refresh, Add, the port buttons, the file list and the tab
// command do nothing while the download runs; the download ends normally.
TEST_F(NetworkPageTest, TheWindowsCommandsWaitForTheDownload) {
    OpenWith({Pattern(300 * 1024, 21), Pattern(5000, 22)});
    ToNetworkPage();
    TickPrinter("PRN-A");
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
        OpenWith({Pattern(300 * 1024, 31), Pattern(5000, 32)});
        ToNetworkPage();
        TickPrinter("PRN-A");
        TickPrinter("PRN-B");
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
        const auto got = a.WaitFor(1);
        ASSERT_EQ(got.size(), 1u);
        EXPECT_TRUE(got[0] == Stream(0, kCancel)) << closeBox;
        EXPECT_TRUE(b.WaitFor(0).empty()) << "the next printer is not started";
    }
}

// ---- printers that misbehave on the print port -----------------------------------

class MisbehavingPrinterTest : public NetworkPageTest {
protected:
    // The printer's row, ticked, with the community only it answers to and
    // a stall limit of five seconds.
    void OnlyPrinter(const char* name, const std::vector<QByteArray>& files) {
        OpenWith(files, [](Settings& s) { s["General"]["StallTimeout"] = "5"; });
        g_pMainWindow->ShowPage(3);
        tb::SetControlText(C(controlNetworkEditCommunity), "stall");
        g_pMainWindow->AddNetworkIP(P(name).ipv4.c_str());
        ASSERT_EQ(Rows(), 1);
        Tick(0);
    }
};

TEST_F(MisbehavingPrinterTest, PrinterThatNeverReadsFailsAfterTheStallLimit) {
    OnlyPrinter("PRN-S", {Pattern(16 * 1024 * 1024, 3)});
    const double took = TimedNext();
    EXPECT_EQ(Explanations(), std::vector<QString>{kNetworkFail}) << "and no completion";
    EXPECT_GE(took, 5.0);
    EXPECT_LT(took, 9.0);
    EXPECT_FALSE(g_pMainWindow->IsDownloading());
}

TEST_F(MisbehavingPrinterTest, CancelDuringTheStallEndsItWithinTwoSeconds) {
    OnlyPrinter("PRN-S", {Pattern(16 * 1024 * 1024, 4)});
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

TEST_F(MisbehavingPrinterTest, PrinterThatResetsAfterTheEndMarkerIsNotCompleted) {
    OnlyPrinter("PRN-X", {Pattern(100 * 1024, 5)});
    Next();
    EXPECT_EQ(Explanations(), std::vector<QString>{kNetworkFail});
}

// A printer that takes most of its first file, then resets that connection
// or never reads it again, while it would read the second whole: the first
// file is never acknowledged, so it fails there and gets no second file.
TEST_F(MisbehavingPrinterTest, AFileBeforeTheLastMustBeAcknowledgedToo) {
    for (const char* name : {"PRN-Y", "PRN-Z"}) {
        SCOPED_TRACE(name);
        OnlyPrinter(name, {Pattern(600 * 1024, 6), Pattern(10 * 1024, 7)});
        const Sink sink(name);
        Next();
        EXPECT_EQ(Explanations(), std::vector<QString>{kNetworkFail}) << "and no completion";
        const auto got = sink.WaitFor(1);
        ASSERT_EQ(got.size(), 1u) << "no second connection";
        EXPECT_LT(got[0].size(), m_files[0].size()) << "the printer holds part of file 0";
        TearDown();
        SetUp();
    }
}

} // namespace
