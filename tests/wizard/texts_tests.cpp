// Texts of the wizard in English and German, messages and the finished
// state; translations_tests.cpp holds every language to its table.
#include "WizardFixture.h"

namespace {

class TextsTest : public WizardTest {
protected:
    QString ColumnTitle(tb::ControlID list, uint32_t property) {
        QString title;
        EXPECT_EQ(tb::GetListColumnTitle(C(list), property, &title), tb::kNoErr);
        return title;
    }
};

// Texts the window composes: the suffixes it appends, the package's values in
// their places, the column titles of each list. (Fixed texts of the interface
// file are held to the tables by translations_tests.cpp.)
TEST_F(TextsTest, EnglishTextsAndSuffixes) {
    Open(NetworkPackage());
    EXPECT_EQ(tb::GetWindowTitle(Window()), QStringLiteral("Demo MFP 100 Update"));
    EXPECT_EQ(Text(controlStaticModelNameTitle), QStringLiteral("Model:"));
    EXPECT_EQ(Text(controlStaticModelName), QStringLiteral("Demo MFP 100"));
    EXPECT_EQ(Text(controlRadioNetwork), QStringLiteral("Network (Port9100)"));
    EXPECT_EQ(Text(controlNetworkStaticModuleName), QStringLiteral("Module Name:"));
    EXPECT_EQ(Text(controlUSBStaticModuleName), QStringLiteral("Module Name:"));
    EXPECT_EQ(Text(controlNetworkEditModuleName), QStringLiteral("DMFP100"));
    EXPECT_EQ(Text(controlUSBEditModuleName), QStringLiteral("DMFP100"));
    EXPECT_EQ(Text(controlNetworkStaticCommunity), QStringLiteral("Community:"));
    EXPECT_EQ(Text(controlNetworkEditCommunity), QStringLiteral("orchid"));
    EXPECT_EQ(Text(controlNetworkAddButton), QStringLiteral("Add..."));

    EXPECT_EQ(ColumnTitle(controlBinFileListView, kColumnSize), QStringLiteral("File Size"));
    EXPECT_EQ(ColumnTitle(controlNetworkListView, kColumnAddress), QStringLiteral("IP Address"));
    EXPECT_EQ(ColumnTitle(controlNetworkListView, kColumnFirmware), QStringLiteral("Printer F/W"));
    EXPECT_EQ(ColumnTitle(controlUSBListView, kColumnSerial), QStringLiteral("Serial No."));
    EXPECT_EQ(ColumnTitle(controlUSBListView, kColumnStatus), QStringLiteral("Status"));
}

TEST_F(TextsTest, SettingsValuesThatAreKeysAreTranslated) {
    ASSERT_TRUE(tb::InstallStringTable("de"));
    auto settings = NetworkPackage();
    settings["General"]["ModelName"] = "Printer Name";
    settings["General"]["WindowsTitle"] = "Warning";
    Open(settings);
    EXPECT_EQ(Text(controlStaticModelName), QStringLiteral("Druckername"));
    EXPECT_EQ(tb::GetWindowTitle(Window()), QStringLiteral("Warning"));
}

TEST_F(TextsTest, MessagesWithTitleAndDirectlyAppendedExtra) {
    Open(NetworkPackage());
    g_pMainWindow->ShowMessage(5, QStringLiteral("198.18.0.10"));
    g_pMainWindow->ShowMessage(9);
    g_pMainWindow->ShowMessage(-1);
    g_pMainWindow->ShowMessage(3);
    const auto alerts = tb::test::TakeAlerts();
    ASSERT_EQ(alerts.size(), 4u);
    EXPECT_EQ(alerts[0].title, QStringLiteral("Warning"));
    EXPECT_EQ(alerts[0].explanation,
              QStringLiteral("Unable to download data to the printer:198.18.0.10"));
    EXPECT_EQ(alerts[0].buttonCount, 1);
    EXPECT_TRUE(alerts[0].centredOnParent);
    EXPECT_EQ(alerts[1].explanation, QStringLiteral("Firmware download completed!"));
    EXPECT_EQ(alerts[2].explanation, QStringLiteral("Firmware download completed!"));
    EXPECT_EQ(alerts[3].explanation, QStringLiteral("The IP Address is repeated."));
}

TEST_F(TextsTest, UnusableSettingsAreToldOnceTheWindowIsOpen) {
    // A missing file, then a corrupt one: the window still opens, empty, and
    // one alert names the file and the reason.
    MainWindow::Create();
    ASSERT_NE(g_pMainWindow, nullptr);
    const QString path = m_package->Path(QStringLiteral("Quenlo.plist"));
    auto alerts = tb::test::TakeAlerts();
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0].title, QStringLiteral("Warning"));
    EXPECT_EQ(alerts[0].explanation, QStringLiteral("The settings file cannot be used:\n") + path +
                                         QStringLiteral("\nThe file does not exist."));
    EXPECT_TRUE(alerts[0].centredOnParent);
    EXPECT_EQ(Text(kNextButton), QStringLiteral("Next"));
    delete g_pMainWindow;
    FlushDeletes();

    ASSERT_TRUE(tb::InstallStringTable("de"));
    m_package->WriteFile(QStringLiteral("Quenlo.plist"), "<plist><dict>");
    MainWindow::Create();
    alerts = tb::test::TakeAlerts();
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0].explanation,
              QStringLiteral("Die Einstellungsdatei kann nicht verwendet werden:\n") + path +
                  QStringLiteral("\nDie Datei ist keine gültige Eigenschaftsliste."));
}

TEST_F(TextsTest, FinishedStateKeepsThePagesButNotTheirUse) {
    Open(NetworkPackage());
    g_pMainWindow->ShowPage(3);
    g_pMainWindow->FinishedContorl();
    EXPECT_FALSE(Visible(kBackButton));
    EXPECT_FALSE(Visible(kNextButton));
    EXPECT_EQ(Text(kCancelButton), QStringLiteral("Finish"));
    for (tb::ControlID id : {controlNetworkListView, controlNetworkEditCommunity,
                             controlNetworkStaticCommunity, controlNetworkRefreshButton,
                             controlNetworkAddButton, controlUSBListView, controlUSBRefreshButton})
        EXPECT_FALSE(Enabled(id)) << tb::CodeText(id.signature).toStdString() << id.id;
    EXPECT_EQ(Text(controlNetworkStaticTitle1), QStringLiteral("Firmware download completed!"));
    EXPECT_EQ(Text(controlUSBStaticTitle2), QString::fromLatin1(stringUSBTitle3));
    EXPECT_EQ(g_pMainWindow->CurrentPage(), 3);
    EXPECT_EQ(Text(controlNetworkEditModuleName), QStringLiteral("DMFP100"));
}

TEST_F(TextsTest, MissingModuleNameLeavesTheFieldAlone) {
    auto settings = NetworkPackage();
    settings["General"].erase("ModuleName");
    settings["General"].erase("ModelName");
    Open(settings);
    EXPECT_TRUE(Text(controlNetworkEditModuleName).isEmpty());
    EXPECT_TRUE(Text(controlStaticModelName).isEmpty());
    EXPECT_EQ(Text(controlStaticModelNameTitle), QStringLiteral("Model:"));
}

} // namespace
