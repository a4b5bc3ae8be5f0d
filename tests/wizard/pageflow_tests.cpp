// Moving through the four pages, the Next rule, closing, the language pop-up
// and the controls the interface file must hold.
#include "WizardFixture.h"

namespace {

using PageFlowTest = WizardTest;

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
    ShowPrinters(3, 0);
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

// The port follows a click on its button and the command alike, and both
// buttons show it.
TEST_F(PageFlowTest, UsbChosenOnThePortPage) {
    Open(NetworkPackage());
    Next();
    Click(C(controlRadioUSB));
    EXPECT_EQ(m_Settings.nPortType, 1);
    EXPECT_EQ(tb::GetControlValue(C(controlRadioNetwork)), 0);
    Click(C(controlRadioNetwork));
    EXPECT_EQ(m_Settings.nPortType, 0);
    EXPECT_EQ(tb::GetControlValue(C(controlRadioUSB)), 0);
    tb::SendCommand(Window(), kCommandUSB);
    EXPECT_EQ(tb::GetControlValue(C(controlRadioUSB)), 1);
    EXPECT_EQ(tb::GetControlValue(C(controlRadioNetwork)), 0);
}

// Without a system object identifier, or with an empty one, a package is
// USB-only.
TEST_F(PageFlowTest, UsbOnlyPackageSkipsThePortPage) {
    for (const bool empty : {false, true}) {
        auto settings = NetworkPackage();
        if (empty)
            settings["General"]["SysOID"] = "";
        else
            settings["General"].erase("SysOID");
        Open(settings);
        Next();
        EXPECT_EQ(ShownPane(), 4) << empty;
        EXPECT_EQ(m_Settings.nPortType, 1);
        Back();
        EXPECT_EQ(ShownPane(), 1);
        EXPECT_FALSE(Visible(kBackButton));
        delete g_pMainWindow;
        FlushDeletes();
    }
}

TEST_F(PageFlowTest, NextFollowsTheTicksOfTheChosenPort) {
    Open(NetworkPackage());
    ShowPrinters(3, 3);
    ASSERT_EQ(ShownPane(), 3);
    EXPECT_EQ(tb::GetListItemCount(C(controlNetworkListView)), 3u);
    EXPECT_FALSE(Enabled(kNextButton));
    Tick(1);
    EXPECT_EQ(m_Settings.bNetworkChecked[1], 1);
    EXPECT_TRUE(Enabled(kNextButton));
    Tick(2);
    Tick(1);
    EXPECT_TRUE(Enabled(kNextButton));
    Tick(2);
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
    ShowPrinters(3, 1);
    m_Settings.bNetworkChecked[0] = 1;
    Next();
    EXPECT_EQ(ShownPane(), 3);
}

// Escape, Cancel and the close box each close the window and end the event
// loop; the settings' strings are released.
TEST_F(PageFlowTest, EscapeCancelAndTheCloseBoxCloseTheWindowAndQuit) {
    for (int way = 0; way < 3; ++way) {
        Open(NetworkPackage());
        QWidget* top = tb::NativeWidget(Window());
        tb::Control* cancel = C(kCancelButton);
        EXPECT_TRUE(RunsToItsEnd([way, top, cancel] {
            if (way == 0)
                QTest::keyClick(top, Qt::Key_Escape);
            else if (way == 1)
                Click(cancel);
            else
                top->close();
        })) << way;
        EXPECT_EQ(g_pMainWindow, nullptr);
        EXPECT_EQ(m_Settings.pMainWindow, nullptr);
        EXPECT_TRUE(m_Settings.szModelName.isNull()) << "the settings' strings are released";
    }
}

TEST_F(PageFlowTest, TabCommandFollowsTheTabValue) {
    Open(NetworkPackage());
    tb::SetControlValue(C(controlMainTab), 3);
    EXPECT_EQ(g_pMainWindow->TabEventHandlerProc(), tb::kNoErr);
    EXPECT_EQ(g_pMainWindow->CurrentPage(), 3);
    EXPECT_TRUE(Visible(kBackButton));
    EXPECT_EQ(g_pMainWindow->TabEventHandlerProc(), tb::kEventNotHandled);
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

// Every control the wizard and its dialogs look up is in the interface file.
TEST_F(WizardTest, InterfaceFileHoldsEveryControl) {
    Open(NetworkPackage());
    CProgressDlg progress(g_pMainWindow);
    CAddIPAddressDlg* add = OpenAddDialog();
    ASSERT_NE(add, nullptr);
    // By window, and the main window's by page.
    const std::pair<tb::Window*, std::vector<tb::ControlID>> windows[] = {
        {Window(), {kBackButton, kNextButton, kCancelButton, controlMainTab}},
        {Window(),
         {controlStaticModelNameTitle, controlStaticModelName, controlGroupLanguage,
          controlComboLanguage, controlStaticLanguageTitle, controlBinFileListView}},
        {Window(),
         {controlGroupPort, controlRadioNetwork, controlStaticNetworkDesc, controlRadioUSB,
          controlStaticUSBDesc}},
        {Window(),
         {controlNetworkStaticTitle1, controlNetworkStaticTitle2, controlNetworkStaticModuleName,
          controlNetworkEditModuleName, controlNetworkListView, controlNetworkStaticCommunity,
          controlNetworkEditCommunity, controlNetworkRefreshButton, controlNetworkAddButton}},
        {Window(),
         {controlUSBStaticTitle1, controlUSBStaticTitle2, controlUSBStaticModuleName,
          controlUSBEditModuleName, controlUSBListView, controlUSBRefreshButton}},
        {progress.GetWindowRef(),
         {controlProcessCancelButton, controlProcessProgressBar, controlProcessStatusStatic,
          controlProcessPrinterNameStatic}},
        {add->GetWindowRef(),
         {controlIPv6Radio, controlIPv6Edit, controlIPv4Radio, controlAddOKButton,
          controlAddCancelButton, controlIPv4Edit1, controlIPv4Edit2, controlIPv4Edit3,
          controlIPv4Edit4}},
    };
    for (int i = 0; i < kPageCount; ++i)
        EXPECT_NE(C({kPaneSignature, kFirstPaneID + i}), nullptr) << "pane " << i;
    for (const auto& [window, ids] : windows) {
        ASSERT_NE(window, nullptr);
        for (tb::ControlID id : ids)
            EXPECT_NE(In(window, id), nullptr)
                << tb::CodeText(id.signature).toStdString() << " " << id.id;
    }
}

} // namespace
