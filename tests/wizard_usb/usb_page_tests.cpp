// The USB page against an emulated printer: what the list shows for the
// printer's replies and device ID, check marks across refreshes, and the
// firmware download as the printer's out-pipe receives it.
#include "UsbPageFixture.h"

#include "status/PrinterStatus.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QTimer>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

// A printer whose replies and device ID disagree, so that a test can tell
// which source a shown text came from.
usbemu::PrinterSetup OfficePrinter(uint8_t status = 12) {
    usbemu::PrinterSetup setup;
    setup.serial = "QX310-0042";
    setup.firmwareVersion = "F2.31";
    setup.printerName = "Office QX";
    setup.deviceId = "MFG:Emulated Printers;MDL:QX-310;CLS:PRINTER;SERN:DEVID-SERN;"
                     "DES:Device Description;" +
                     usbemu::StatusField(status, 0x11);
    return setup;
}

// Times the turns the event loop gets: a precise 10 ms timer, whose longest
// interval is the longest the window went without events.
class EventGaps {
public:
    EventGaps() {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            m_longest = std::max(m_longest, m_clock.restart());
            ++m_turns;
        });
    }
    void Start() {
        m_clock.start();
        m_timer.start();
    }
    void Stop() { m_timer.stop(); }
    qint64 LongestMs() const { return m_longest; }
    int Turns() const { return m_turns; }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_longest = 0;
    int m_turns = 0;
};

bool WatchCursorShown() {
    const QCursor* cursor = QGuiApplication::overrideCursor();
    return cursor != nullptr && cursor->shape() == Qt::WaitCursor;
}

class UsbPageTest : public UsbWizardTest {
protected:
    void SetUp() override {
        UsbWizardTest::SetUp();
        g_exchangeTimeoutMs = kDefaultExchangeTimeoutMs;
        // The last shown percentage is process-wide and an equal value is not
        // shown again: start from one that no download shows first, so that
        // the first file's progress always lets waiting events run.
        if (CProgressDlg::LastShownValue() != 100) {
            CProgressDlg primer(nullptr);
            primer.SetProgressValue(100);
        }
    }
    void TearDown() override {
        UsbWizardTest::TearDown();
        g_exchangeTimeoutMs = kDefaultExchangeTimeoutMs;
    }

    // Page 1 -> Next -> USB -> Next: the USB list is refreshed on the way.
    void ToUsbPage() {
        Next();
        ASSERT_EQ(g_pMainWindow->CurrentPage(), 2);
        Click(C(controlRadioUSB));
        ASSERT_EQ(m_Settings.nPortType, 1);
        Next();
        ASSERT_EQ(g_pMainWindow->CurrentPage(), 4);
    }

    int Rows() const { return int(tb::GetListItemCount(C(controlUSBListView))); }
    QString Cell(int row, uint32_t property) const { return WizardTest::Cell(row, property, 4); }
    void Tick(int row) { WizardTest::Tick(row, 4); }
    void Refresh() { Click(C(controlUSBRefreshButton)); }
    // The one row's serial number, firmware, name and status, as shown.
    std::vector<std::string> Row() const {
        EXPECT_EQ(Rows(), 1);
        std::vector<std::string> cells;
        for (uint32_t column : {kColumnSerial, kColumnFirmware, kColumnName, kColumnStatus})
            cells.push_back(Cell(0, column).toStdString());
        return cells;
    }
    // Page 2 with USB chosen and a printer that takes the vendor commands and
    // never answers, each read bounded by `timeoutMs`; Next reads it.
    int SilentPrinterAt(int timeoutMs) {
        g_exchangeTimeoutMs = timeoutMs;
        usbemu::PrinterSetup setup = OfficePrinter(3);
        setup.silent = true;
        const int id = emu->AddPrinter(setup);
        OpenWith({Pattern(100, 1)});
        Next();
        Click(C(controlRadioUSB));
        return id;
    }

    // The printer ticked on page 4, ready for Next.
    int AttachAndTick(const usbemu::PrinterSetup& setup = OfficePrinter()) {
        const int id = emu->AddPrinter(setup);
        ToUsbPage();
        EXPECT_EQ(Rows(), 1);
        Tick(0);
        EXPECT_TRUE(Enabled(kNextButton));
        return id;
    }

    // Presses Next on page 4 and returns what the out-pipe received during
    // the download, with the openings of the vendor interface it made.
    QByteArray Download(int id, std::vector<usbemu::Emulator::Claim>* claims = nullptr) {
        const uint64_t before = emu->WrittenCount(id);
        const size_t claimsBefore = emu->VendorClaims(id).size();
        Next();
        if (claims != nullptr) {
            const auto every = emu->VendorClaims(id);
            claims->assign(every.begin() + long(claimsBefore), every.end());
            for (auto& claim : *claims)
                claim.writtenBefore -= before;
        }
        return WrittenSince(id, before);
    }

    void ExpectFinished(bool finished) const {
        EXPECT_EQ(!Visible(kNextButton), finished);
        EXPECT_EQ(!Enabled(controlUSBListView), finished);
        EXPECT_EQ(Text(kCancelButton) == "Finish", finished);
    }
};

// ---- the list ------------------------------------------------------------------

// Names and versions in Latin-1 or with control characters are shown as
// text, not passed to the list as they came.
TEST_F(UsbPageTest, RowShowsTheRepliesAndTheDecodedStatus) {
    usbemu::PrinterSetup setup = OfficePrinter(12);
    setup.printerName = "B\xFCro\x1B[2J\r\nQX"; // Latin-1, ESC, CR, LF
    setup.firmwareVersion = "F\xE2\x80\xAE"
                            "1.0\x7F"; // right-to-left override, DEL
    emu->AddPrinter(setup);
    OpenWith({Pattern(100, 1)});
    ToUsbPage();
    // Serial number and name from the replies, not the device ID; codes of 9
    // and more show as Ready.
    EXPECT_EQ(Row(), (std::vector<std::string>{"QX310-0042", "F1.0", "Büro[2JQX", "Ready"}));
    EXPECT_FALSE(Enabled(kNextButton)) << "nothing ticked yet";
    EXPECT_TRUE(Explanations().empty());
}

TEST_F(UsbPageTest, FullReplyFieldsAreCutTo31Characters) {
    usbemu::PrinterSetup setup = OfficePrinter(2);
    const std::string serial(32, 'S');
    const std::string firmware = "F" + std::string(31, '9');
    std::vector<uint8_t> info = usbemu::InfoReply(serial, firmware);
    // No terminator anywhere near: the bytes after each field are text too.
    std::memset(info.data() + 76, 'X', 128);
    std::memset(info.data() + 236, 'Y', 64);
    setup.infoReply = info;
    std::vector<uint8_t> name = usbemu::NameReply(std::string(32, 'N'));
    std::memset(name.data() + 44, 'Z', 64);
    setup.nameReply = name;
    emu->AddPrinter(setup);
    OpenWith({Pattern(100, 1)});
    ToUsbPage();
    EXPECT_EQ(Row(), (std::vector<std::string>{serial.substr(0, 31), firmware.substr(0, 31),
                                               std::string(31, 'N'), StatusNameForCode(2)}));
}

TEST_F(UsbPageTest, NoPrinterOfTheModelLeavesTheListEmpty) {
    usbemu::PrinterSetup other = OfficePrinter();
    other.productId = 0x0311;
    emu->AddPrinter(other);
    OpenWith({Pattern(100, 1)});
    ToUsbPage();
    EXPECT_EQ(Rows(), 0);
    EXPECT_EQ(m_Settings.nUSBCount, 0);
    EXPECT_FALSE(Enabled(kNextButton));
    EXPECT_TRUE(Explanations().empty()) << "an absent printer is no message";
}

TEST_F(UsbPageTest, TickSurvivesRefreshAndComesBackWithThePrinter) {
    OpenWith({Pattern(100, 1)});
    const int id = AttachAndTick();
    Refresh();
    ASSERT_EQ(Rows(), 1);
    EXPECT_EQ(m_Settings.bUSBChecked[0], 1);
    EXPECT_TRUE(Enabled(kNextButton));

    emu->Unplug(id);
    Refresh();
    EXPECT_EQ(Rows(), 0);
    EXPECT_FALSE(Enabled(kNextButton)) << "a tick on no row does not count";

    emu->AddPrinter(OfficePrinter());
    Refresh();
    ASSERT_EQ(Rows(), 1);
    EXPECT_EQ(Cell(0, kColumnSerial), "QX310-0042");
    EXPECT_TRUE(Enabled(kNextButton)) << "row 0 is ticked again";

    Tick(0); // the check box flips back
    EXPECT_EQ(m_Settings.bUSBChecked[0], 0);
    EXPECT_FALSE(Enabled(kNextButton));
}

TEST_F(UsbPageTest, UsbOnlyPackageGoesFromPage1StraightToTheUsbList) {
    emu->AddPrinter(OfficePrinter());
    OpenWith({Pattern(100, 1)}, false);
    Next();
    EXPECT_EQ(g_pMainWindow->CurrentPage(), 4);
    ASSERT_EQ(Rows(), 1) << "the list is read on the way";
    EXPECT_EQ(Cell(0, kColumnName), "Office QX");
}

// ---- the download ----------------------------------------------------------------

// Refresh would talk to the printer in the middle of the firmware, and Back
// would leave the page under the download: both wait it out.
TEST_F(UsbPageTest, TwoFilesEachOnAnOpeningOfItsOwnWhileRefreshAndBackWait) {
    OpenWith({Pattern(70000, 1), Pattern(3001, 2)});
    const int id = AttachAndTick();
    int page = 0;
    DuringDownload([this, &page] {
        Refresh();
        Back();
        page = g_pMainWindow->CurrentPage();
    });
    std::vector<usbemu::Emulator::Claim> claims;
    const QByteArray got = Download(id, &claims);
    EXPECT_EQ(page, 4);
    EXPECT_TRUE(got == m_files[0] + kSeparator + m_files[1] + kEnd)
        << "received " << got.size() << " bytes";
    ASSERT_EQ(claims.size(), 2u) << "one opening per file, no vendor exchange between";
    EXPECT_EQ(claims[0].writtenBefore, 0u);
    EXPECT_EQ(claims[1].writtenBefore, uint64_t(m_files[0].size() + 4))
        << "the second opening comes after file 1 and its separator";
    EXPECT_GE(claims[1].seconds - claims[0].seconds, 0.95) << "the pause after the separator";
    EXPECT_EQ(Explanations(), std::vector<QString>{kCompleted});
    ExpectFinished(true);
    EXPECT_FALSE(g_pMainWindow->IsDownloading());
    EXPECT_EQ(g_pMainWindow->ProgressDialog(), nullptr);
}

TEST_F(UsbPageTest, NoDeviceAtDownloadShowsOneMessagePerFileAndSendsNothing) {
    OpenWith({Pattern(1000, 1), Pattern(1000, 2), Pattern(1000, 3)});
    const int id = AttachAndTick();
    emu->Unplug(id);
    usbemu::PrinterSetup other = OfficePrinter();
    other.productId = 0x0311;
    const int otherId = emu->AddPrinter(other);
    const uint64_t before = emu->WrittenCount(id);
    Next();
    const QString unable = kUnable + "Office QX";
    EXPECT_EQ(Explanations(), (std::vector<QString>{unable, unable, unable}));
    EXPECT_EQ(emu->WrittenCount(id), before);
    EXPECT_EQ(emu->WrittenCount(otherId), 0u) << "nothing to a printer of another model";
    ExpectFinished(false);
}

TEST_F(UsbPageTest, MissingFileStopsTheDownloadBeforeTheEndMarker) {
    OpenWith({Pattern(5000, 3), Pattern(6000, 4), Pattern(7000, 5)});
    QFile::remove(m_package->Path("fw1.bin"));
    const int id = AttachAndTick();
    const QByteArray got = Download(id);
    EXPECT_TRUE(got == m_files[0] + kSeparator)
        << "nothing after the missing file: the printer never sees an end";
    EXPECT_EQ(Explanations(), std::vector<QString>{kUsbFail});
    ExpectFinished(false);
}

// ---- a slow printer, a silent printer --------------------------------------------

// A printer taking 1 MiB a second: the window gets its events every 100 ms
// at most, and a Cancel half a second in, with the progress painted, closes
// the dialog at once; the rest of the file and the cancel marker follow as
// always, file 2 never.
TEST_F(UsbPageTest, SlowPrinterLeavesTheWindowAliveAndCancelIsAnswered) {
    usbemu::PrinterSetup setup = OfficePrinter();
    setup.bytesPerSecond = 1024 * 1024;
    OpenWith({Pattern(4 * 1024 * 1024, 51), Pattern(5000, 52)});
    const int id = AttachAndTick(setup);
    EventGaps gaps;
    QElapsedTimer sinceStart;
    qint64 cancelledAt = -1;
    bool drawn = false;
    bool dialogGone = false;
    DuringDownload([&] {
        sinceStart.start();
        gaps.Start();
        QTimer::singleShot(500, Qt::PreciseTimer, [&] {
            cancelledAt = sinceStart.elapsed();
            drawn = ProgressDrawn();
            dialogGone = CancelProgress();
        });
    });
    const QByteArray got = Download(id);
    gaps.Stop();
    EXPECT_GE(cancelledAt, 500);
    EXPECT_LT(cancelledAt, 1500) << "the Cancel pressed at 500 ms waited for the printer";
    EXPECT_TRUE(drawn) << "the dialog is painted during the first file";
    EXPECT_TRUE(dialogGone) << "Cancel closes the dialog at once";
    EXPECT_LE(gaps.LongestMs(), 100) << "the window went without events";
    // The events came in the engine's slices: some 40 ms apart over the
    // seconds the printer needs, so the measure covered the download.
    EXPECT_GT(gaps.Turns(), 30);
    EXPECT_TRUE(got == m_files[0] + kCancel) << "received " << got.size();
    EXPECT_TRUE(Explanations().empty());
    ExpectFinished(false);
}

// A printer that takes the vendor commands and never answers: the list waits
// the bound of each read with the window alive and the watch cursor shown
// (a mouse move does not take it away), then shows the printer from its
// device ID; Next, Back and Refresh clicked meanwhile do nothing.
TEST_F(UsbPageTest, SilentPrinterIsWaitedForWithTheWindowAlive) {
    const int id = SilentPrinterAt(400);
    EventGaps gaps;
    bool reading = false;
    bool watch = false;
    bool watchAfterMove = false;
    int page = 0;
    QTimer::singleShot(0, [&] {
        reading = g_pMainWindow->IsReadingUsb();
        watch = WatchCursorShown();
        gaps.Start();
        QWidget* window = tb::NativeWidget(Window());
        QMouseEvent move(QEvent::MouseMove, QPointF(20, 20), window->mapToGlobal(QPointF(20, 20)),
                         Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window, &move);
        watchAfterMove = WatchCursorShown();
        Next();
        Back();
        Click(C(controlUSBRefreshButton));
        page = g_pMainWindow->CurrentPage();
    });
    QElapsedTimer took;
    took.start();
    Next();
    const qint64 ms = took.elapsed();
    gaps.Stop();
    EXPECT_TRUE(reading);
    EXPECT_TRUE(watch) << "the watch cursor while the printer is read";
    EXPECT_TRUE(watchAfterMove);
    EXPECT_FALSE(WatchCursorShown()) << "the arrow once the list is there";
    EXPECT_GE(ms, 2 * 400 - 20);
    EXPECT_LT(ms, 2 * 400 + 2000);
    EXPECT_LE(gaps.LongestMs(), 100);
    EXPECT_EQ(page, 2) << "the page changes only after the reading";
    EXPECT_EQ(g_pMainWindow->CurrentPage(), 4);
    EXPECT_EQ(emu->WrittenCount(id), 20u) << "the two commands once: no second reading";
    // The row comes from the device ID.
    EXPECT_EQ(Row(), (std::vector<std::string>{"DEVID-SERN", "", "Device Description",
                                               StatusNameForCode(3)}));
    EXPECT_TRUE(Explanations().empty());
    EXPECT_FALSE(g_pMainWindow->IsReadingUsb());
}

// Closing the window while the printer is read gives the reading up at once;
// the window closes when it has ended.
TEST_F(UsbPageTest, CloseWhileASilentPrinterIsReadEndsTheReadingThenCloses) {
    const int id = SilentPrinterAt(2000);
    QTimer::singleShot(100, [this] {
        ASSERT_NE(g_pMainWindow, nullptr);
        ASSERT_TRUE(g_pMainWindow->IsReadingUsb());
        Click(C(kCancelButton));
        ASSERT_NE(g_pMainWindow, nullptr) << "not closed under the reading";
    });
    QElapsedTimer took;
    took.start();
    Next();
    EXPECT_LT(took.elapsed(), 1000) << "far less than two reads of 2 s";
    FlushDeletes();
    EXPECT_EQ(g_pMainWindow, nullptr) << "closed once the reading ended";
    EXPECT_EQ(emu->WrittenCount(id), 10u) << "the second command is never sent";
    EXPECT_FALSE(WatchCursorShown());
}

} // namespace
