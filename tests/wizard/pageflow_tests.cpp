// Moving through the four pages, the Next rule, closing, and the language
// pop-up.
#include "WizardFixture.h"

#include "wizard/AddIPAddress.h"
#include "wizard/ProgressDlg.h"

#include <QAbstractItemView>
#include <QTimer>

namespace {

std::map<std::string, TestPackage::Section> UsbOnlyPackage() {
    auto settings = NetworkPackage();
    settings["General"].erase("SysOID");
    return settings;
}

class PageFlowTest : public WizardTest {
protected:
    void Next() { Click(C(kNextButton)); }
    void Back() { Click(C(kBackButton)); }
    // The network page as Next would show it, without the search.
    void ShowNetworkPage() {
        g_pMainWindow->ShowPage(3);
        tb::Control* list = C(controlNetworkListView);
        tb::RemoveListItems(list, 0, nullptr);
        g_pMainWindow->InitNetworkListControl();
        g_pMainWindow->EnableNextControl();
    }

    // Puts printers into the tables as discovery would.
    static void AddNetworkPrinters(int count) {
        m_Settings.nNetworkCount = count;
        for (int i = 0; i < count; ++i) {
            m_Settings.NetworkListdata[i].szIPv4Address = QStringLiteral("198.18.0.%1").arg(i + 10);
            m_Settings.bNetworkChecked[i] = 0;
        }
    }
    void Tick(tb::ControlID list, int row) {
        auto* view = qobject_cast<QAbstractItemView*>(tb::NativeWidget(C(list)));
        ASSERT_NE(view, nullptr);
        QAbstractItemModel* model = view->model();
        ASSERT_LT(row, model->rowCount());
        model->setData(model->index(row, 0), Qt::Checked, Qt::CheckStateRole);
    }
};

TEST_F(PageFlowTest, NetworkRoadThereAndBack) {
    Open(NetworkPackage());
    EXPECT_EQ(ShownPane(), 1);
    EXPECT_FALSE(Visible(kBackButton));
    EXPECT_TRUE(Visible(kNextButton));
    EXPECT_EQ(tb::GetControlValue(C(controlRadioNetwork)), 1);
    EXPECT_EQ(tb::GetControlValue(C(controlRadioUSB)), 0);

    Next();
    EXPECT_EQ(g_pMainWindow->CurrentPage(), 2);
    EXPECT_EQ(ShownPane(), 2);
    EXPECT_TRUE(Visible(kBackButton));

    // Next from here would search the network (tested inside a private
    // network); the page itself, with no printer ticked:
    ShowNetworkPage();
    EXPECT_EQ(ShownPane(), 3);
    EXPECT_FALSE(Enabled(kNextButton));

    Back();
    EXPECT_EQ(ShownPane(), 2);
    EXPECT_TRUE(Enabled(kNextButton)) << "Back re-enables Next even with nothing ticked";
    Back();
    EXPECT_EQ(ShownPane(), 1);
    EXPECT_FALSE(Visible(kBackButton));
    Back(); // hidden; as a command it does nothing on page 1
    tb::SendCommand(Window(), kCommandBack);
    EXPECT_EQ(ShownPane(), 1);
}

TEST_F(PageFlowTest, UsbChosenOnThePortPage) {
    Open(NetworkPackage());
    Next();
    Click(C(controlRadioUSB));
    EXPECT_EQ(m_Settings.nPortType, 1);
    EXPECT_EQ(tb::GetControlValue(C(controlRadioNetwork)), 0);
    Next();
    EXPECT_EQ(ShownPane(), 4);
    Back();
    EXPECT_EQ(ShownPane(), 2);
    Click(C(controlRadioNetwork));
    EXPECT_EQ(m_Settings.nPortType, 0);
    EXPECT_EQ(tb::GetControlValue(C(controlRadioUSB)), 0);
}

TEST_F(PageFlowTest, UsbOnlyPackageSkipsThePortPage) {
    Open(UsbOnlyPackage());
    Next();
    EXPECT_EQ(ShownPane(), 4);
    EXPECT_EQ(m_Settings.nPortType, 1);
    Back();
    EXPECT_EQ(ShownPane(), 1);
    EXPECT_FALSE(Visible(kBackButton));
}

TEST_F(PageFlowTest, EmptySysOIDIsUsbOnlyToo) {
    auto settings = NetworkPackage();
    settings["General"]["SysOID"] = "";
    Open(settings);
    Next();
    EXPECT_EQ(ShownPane(), 4);
}

TEST_F(PageFlowTest, NextFollowsTheTicksOfTheChosenPort) {
    Open(NetworkPackage());
    AddNetworkPrinters(3);
    ShowNetworkPage();
    ASSERT_EQ(ShownPane(), 3);
    EXPECT_EQ(tb::GetListItemCount(C(controlNetworkListView)), 3u);
    EXPECT_FALSE(Enabled(kNextButton));
    Tick(controlNetworkListView, 1);
    EXPECT_EQ(m_Settings.bNetworkChecked[1], 1);
    EXPECT_TRUE(Enabled(kNextButton));
    Tick(controlNetworkListView, 2);
    Tick(controlNetworkListView, 1);
    EXPECT_TRUE(Enabled(kNextButton));
    Tick(controlNetworkListView, 2);
    EXPECT_FALSE(Enabled(kNextButton)) << "unticking the last printer disables Next";

    // Ticks of the other port's table do not count.
    m_Settings.nUSBCount = 1;
    m_Settings.bUSBChecked[0] = 1;
    g_pMainWindow->EnableNextControl();
    EXPECT_FALSE(Enabled(kNextButton));
}

TEST_F(PageFlowTest, NextOnAPrinterPageStaysOnIt) {
    // No firmware file: the download ends before it sends anything.
    auto settings = NetworkPackage();
    settings["General"]["FwCount"] = "0";
    Open(settings);
    AddNetworkPrinters(1);
    m_Settings.bNetworkChecked[0] = 1;
    ShowNetworkPage();
    ASSERT_EQ(ShownPane(), 3);
    Next();
    EXPECT_EQ(ShownPane(), 3);
}

TEST_F(PageFlowTest, KeyboardReturnIsNextEscapeIsCancel) {
    Open(NetworkPackage());
    QWidget* top = tb::NativeWidget(Window());
    QTest::keyClick(top, Qt::Key_Return);
    EXPECT_EQ(ShownPane(), 2);
    bool timedOut = false;
    QTimer::singleShot(0, [top] { QTest::keyClick(top, Qt::Key_Escape); });
    QTimer::singleShot(5000, [&] {
        timedOut = true;
        tb::QuitApplicationEventLoop();
    });
    tb::RunApplicationEventLoop();
    EXPECT_FALSE(timedOut);
    EXPECT_EQ(g_pMainWindow, nullptr);
}

TEST_F(PageFlowTest, CancelClosesTheWindowAndQuits) {
    Open(NetworkPackage());
    bool timedOut = false;
    tb::Control* cancel = C(kCancelButton);
    QTimer::singleShot(0, [cancel] { Click(cancel); });
    QTimer::singleShot(5000, [&] {
        timedOut = true;
        tb::QuitApplicationEventLoop();
    });
    tb::RunApplicationEventLoop();
    EXPECT_FALSE(timedOut);
    EXPECT_EQ(g_pMainWindow, nullptr);
    EXPECT_EQ(m_Settings.pMainWindow, nullptr);
    EXPECT_TRUE(m_Settings.szModelName.isNull()) << "the settings' strings are released";
}

TEST_F(PageFlowTest, CloseBoxClosesTheWindowAndQuits) {
    Open(NetworkPackage());
    QWidget* top = tb::NativeWidget(Window());
    bool timedOut = false;
    QTimer::singleShot(0, [top] { top->close(); });
    QTimer::singleShot(5000, [&] {
        timedOut = true;
        tb::QuitApplicationEventLoop();
    });
    tb::RunApplicationEventLoop();
    EXPECT_FALSE(timedOut);
    EXPECT_EQ(g_pMainWindow, nullptr);
}

TEST_F(PageFlowTest, OnlyOneMainWindow) {
    Open(NetworkPackage());
    MainWindow* first = g_pMainWindow;
    Next();
    MainWindow::Create();
    EXPECT_EQ(g_pMainWindow, first);
    EXPECT_EQ(first->CurrentPage(), 2);
}

TEST_F(PageFlowTest, TabCommandFollowsTheTabValue) {
    Open(NetworkPackage());
    tb::SetControlValue(C(controlMainTab), 3);
    EXPECT_EQ(g_pMainWindow->TabEventHandlerProc(), tb::kNoErr);
    EXPECT_EQ(g_pMainWindow->CurrentPage(), 3);
    EXPECT_TRUE(Visible(kBackButton));
    EXPECT_EQ(g_pMainWindow->TabEventHandlerProc(), tb::kEventNotHandled);
}

TEST_F(PageFlowTest, PortCommandsSetBothRadios) {
    Open(NetworkPackage());
    tb::SendCommand(Window(), kCommandUSB);
    EXPECT_EQ(tb::GetControlValue(C(controlRadioUSB)), 1);
    EXPECT_EQ(tb::GetControlValue(C(controlRadioNetwork)), 0);
}

struct LanguageCase {
    const char* language;
    int expectedItem; // from 1
    int expectedStored;
};

class LanguageTest : public WizardTest, public ::testing::WithParamInterface<LanguageCase> {};

TEST_P(LanguageTest, LanguageIsClampedToThePopup) {
    auto settings = NetworkPackage();
    settings["General"]["Language"] = GetParam().language;
    Open(settings);
    EXPECT_EQ(tb::GetControlValue(C(controlComboLanguage)), GetParam().expectedItem);
    EXPECT_EQ(m_Settings.nLanguage, GetParam().expectedStored);
}

// The pop-up holds five languages.
INSTANTIATE_TEST_SUITE_P(Clamp, LanguageTest,
                         ::testing::Values(LanguageCase{"-3", 1, 0}, LanguageCase{"0", 1, 0},
                                           LanguageCase{"2", 3, 2}, LanguageCase{"4", 5, 4},
                                           LanguageCase{"5", 5, 4},
                                           LanguageCase{"0x7FFFFFFF", 5, 4},
                                           LanguageCase{"-2147483648", 1, 0}),
                         // Stable names: CTest finds each case by the name seen at build time.
                         [](const ::testing::TestParamInfo<LanguageCase>& info) {
                             return "Case" + std::to_string(info.index);
                         });

} // namespace

namespace {

// Every control the wizard and its dialogs look up is in the interface file.
TEST_F(WizardTest, InterfaceFileHoldsEveryControl) {
    Open(NetworkPackage());
    const tb::ControlID mainControls[] = {
        kBackButton,
        kNextButton,
        kCancelButton,
        controlMainTab,
        controlStaticModelNameTitle,
        controlStaticModelName,
        controlGroupLanguage,
        controlComboLanguage,
        controlStaticLanguageTitle,
        controlBinFileListView,
        controlGroupPort,
        controlRadioNetwork,
        controlStaticNetworkDesc,
        controlRadioUSB,
        controlStaticUSBDesc,
        controlNetworkStaticTitle1,
        controlNetworkStaticTitle2,
        controlNetworkStaticModuleName,
        controlNetworkEditModuleName,
        controlNetworkListView,
        controlNetworkStaticCommunity,
        controlNetworkEditCommunity,
        controlNetworkRefreshButton,
        controlNetworkAddButton,
        controlUSBStaticTitle1,
        controlUSBStaticTitle2,
        controlUSBStaticModuleName,
        controlUSBEditModuleName,
        controlUSBListView,
        controlUSBRefreshButton,
        {kPaneSignature, 129},
        {kPaneSignature, 130},
        {kPaneSignature, 131},
        {kPaneSignature, 132},
    };
    for (tb::ControlID id : mainControls)
        EXPECT_NE(C(id), nullptr) << tb::CodeText(id.signature).toStdString() << " " << id.id;

    CProgressDlg progress(g_pMainWindow);
    ASSERT_NE(progress.GetWindowRef(), nullptr);
    for (tb::ControlID id : {controlProcessCancelButton, controlProcessProgressBar,
                             controlProcessStatusStatic, controlProcessPrinterNameStatic}) {
        tb::Control* control = nullptr;
        EXPECT_EQ(tb::GetControlByID(progress.GetWindowRef(), id, &control), tb::kNoErr) << id.id;
    }
}

TEST_F(WizardTest, AddOpensTheAddressDialogAndItsCancelClosesIt) {
    Open(NetworkPackage());
    g_pMainWindow->ShowPage(3);
    Click(C(controlNetworkAddButton));
    tb::Window* dialog = tb::ActiveNonFloatingWindow();
    ASSERT_NE(dialog, nullptr);
    ASSERT_NE(dialog, Window());
    ASSERT_NE(dynamic_cast<CAddIPAddressDlg*>(TWindow::GetTWindow(dialog)), nullptr);
    EXPECT_TRUE(tb::IsWindowVisible(dialog));
    for (tb::ControlID id : {controlIPv6Radio, controlIPv6Edit, controlIPv4Radio,
                             controlAddOKButton, controlAddCancelButton, controlIPv4Edit1,
                             controlIPv4Edit2, controlIPv4Edit3, controlIPv4Edit4}) {
        tb::Control* control = nullptr;
        EXPECT_EQ(tb::GetControlByID(dialog, id, &control), tb::kNoErr) << id.id;
    }
    tb::Control* cancel = nullptr;
    tb::GetControlByID(dialog, controlAddCancelButton, &cancel);
    Click(cancel);
    EXPECT_TRUE(tb::IsWindowDisposed(dialog));
    FlushDeletes();
    EXPECT_NE(g_pMainWindow, nullptr);
}

} // namespace
