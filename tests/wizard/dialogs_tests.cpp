// The progress dialog and the Add IP Address dialog's fields: what of the
// network page's dialogs needs no printer.
#include "WizardFixture.h"

#include <QLineEdit>

namespace {

void Type(tb::Control* field, const QString& keys) {
    QWidget* widget = tb::NativeWidget(field);
    for (const QChar c : keys)
        QTest::keyClick(widget, c.toLatin1());
}

// ---- progress dialog -------------------------------------------------------------

class ProgressTest : public WizardTest {
protected:
    void SetUp() override {
        WizardTest::SetUp();
        Open(NetworkPackage());
    }
    // A dialog shown for printer `name`.
    std::unique_ptr<CProgressDlg> Shown(const char* name = "PRN-A") {
        auto dialog = std::make_unique<CProgressDlg>(g_pMainWindow);
        dialog->ShowDialog(Window(), QString::fromLatin1(name));
        return dialog;
    }
    static QString Title(CProgressDlg& dialog) { return tb::GetWindowTitle(dialog.GetWindowRef()); }
    static QString Shows(CProgressDlg& dialog, tb::ControlID id) {
        return tb::GetControlText(In(dialog.GetWindowRef(), id));
    }
    static int Bar(CProgressDlg& dialog) {
        return tb::GetControlValue(In(dialog.GetWindowRef(), controlProcessProgressBar));
    }
};

TEST_F(ProgressTest, TitleTextsAndClampedValues) {
    auto dialog = Shown();
    EXPECT_EQ(Title(*dialog), QStringLiteral("Downloading  0%"));
    EXPECT_EQ(Shows(*dialog, controlProcessPrinterNameStatic), QStringLiteral("Printer:PRN-A"));
    EXPECT_EQ(Shows(*dialog, controlProcessStatusStatic), QStringLiteral("Sending Update data"));
    dialog->SetProgressValue(37);
    EXPECT_EQ(Title(*dialog), QStringLiteral("Downloading  37%"));
    EXPECT_EQ(Bar(*dialog), 37);
    dialog->SetProgressValue(150);
    EXPECT_EQ(Bar(*dialog), 100);
    dialog->SetProgressValue(3);
    dialog->SetProgressValue(-5);
    EXPECT_EQ(Bar(*dialog), 100);
    EXPECT_EQ(Title(*dialog), QStringLiteral("Downloading  100%"));
}

TEST_F(ProgressTest, AnUnchangedValueNeitherShowsNorDispatches) {
    auto dialog = Shown();
    dialog->SetProgressValue(41);
    int ran = 0;
    QTimer::singleShot(0, [&ran] { ++ran; });
    tb::SetWindowTitle(dialog->GetWindowRef(), QStringLiteral("marker"));
    dialog->SetProgressValue(41);
    EXPECT_EQ(ran, 0) << "events ran for an unchanged value";
    EXPECT_EQ(Title(*dialog), QStringLiteral("marker"));
    dialog->SetProgressValue(42);
    EXPECT_EQ(ran, 1) << "a changed value dispatches waiting events";

    // The last value is shared by the next dialog.
    dialog->SetProgressValue(64);
    dialog.reset();
    auto second = Shown("B");
    tb::SetWindowTitle(second->GetWindowRef(), QStringLiteral("untouched"));
    second->SetProgressValue(64);
    EXPECT_EQ(Title(*second), QStringLiteral("untouched"));
    second->SetProgressValue(0);
    EXPECT_EQ(Title(*second), QStringLiteral("Downloading  0%"));
}

TEST_F(ProgressTest, CancelAndCloseBoxBothCancelAndDisposeOnce) {
    for (bool closeBox : {false, true}) {
        delete g_pMainWindow;
        FlushDeletes();
        Open(NetworkPackage());
        auto dialog = Shown();
        EXPECT_FALSE(g_pMainWindow->IsCancelled());
        if (closeBox)
            tb::NativeWidget(dialog->GetWindowRef())->close();
        else
            Click(In(dialog->GetWindowRef(), controlProcessCancelButton));
        EXPECT_TRUE(g_pMainWindow->IsCancelled()) << closeBox;
        EXPECT_FALSE(dialog->IsShowing());
        dialog->DestroyWindow(); // once more: nothing happens
        dialog->SetProgressValue(CProgressDlg::LastShownValue() == 50 ? 51 : 50);
        FlushDeletes();
    }
}

// ---- Add IP Address dialog -------------------------------------------------------

class AddDialogTest : public WizardTest {
protected:
    void SetUp() override {
        WizardTest::SetUp();
        Open(NetworkPackage());
        g_pMainWindow->ShowPage(3);
        m_dialog = OpenAddDialog();
        ASSERT_NE(m_dialog, nullptr);
        tb::test::ResetBeepCount();
    }
    tb::Control* D(tb::ControlID id) const { return In(m_dialog->GetWindowRef(), id); }
    tb::Control* Focus() const { return tb::GetKeyboardFocus(m_dialog->GetWindowRef()); }
    QString T(tb::ControlID id) const { return tb::GetControlText(D(id)); }
    void Focus(tb::ControlID id) const { tb::SetKeyboardFocus(D(id)); }
    void Set(tb::ControlID id, const char* text) const { tb::SetControlText(D(id), text); }

    CAddIPAddressDlg* m_dialog = nullptr;
};

TEST_F(AddDialogTest, OctetsMoveOnAfterThreeDigitsOrAFullStop) {
    Focus(controlIPv4Edit1);
    Type(D(controlIPv4Edit1), "192");
    EXPECT_EQ(T(controlIPv4Edit1), "192");
    EXPECT_EQ(Focus(), D(controlIPv4Edit2));
    Type(D(controlIPv4Edit2), "10.");
    EXPECT_EQ(T(controlIPv4Edit2), "10");
    EXPECT_EQ(Focus(), D(controlIPv4Edit3));
    Type(D(controlIPv4Edit3), ".");
    EXPECT_EQ(Focus(), D(controlIPv4Edit3)) << "a full stop in an empty field stays put";
    Type(D(controlIPv4Edit3), "0.");
    EXPECT_EQ(Focus(), D(controlIPv4Edit3)) << "nor after 0";
    EXPECT_EQ(T(controlIPv4Edit3), "0");
    Focus(controlIPv4Edit4);
    Type(D(controlIPv4Edit4), "300");
    EXPECT_EQ(T(controlIPv4Edit4), "255");
    EXPECT_EQ(Focus(), D(controlIPv4Edit1)) << "the fourth field wraps to the first";
    EXPECT_EQ(tb::test::BeepCount(), 0);

    // A fourth digit is dropped and moves on; over a selection it replaces it.
    Set(controlIPv4Edit2, "123");
    Focus(controlIPv4Edit2);
    auto* edit = qobject_cast<QLineEdit*>(tb::NativeWidget(D(controlIPv4Edit2)));
    edit->deselect();
    edit->setCursorPosition(3);
    Type(D(controlIPv4Edit2), "4");
    EXPECT_EQ(T(controlIPv4Edit2), "123");
    EXPECT_EQ(Focus(), D(controlIPv4Edit3));
    Focus(controlIPv4Edit2);
    edit->selectAll();
    Type(D(controlIPv4Edit2), "7");
    EXPECT_EQ(T(controlIPv4Edit2), "7");
}

TEST_F(AddDialogTest, FilterTakesHexDigitsColonAndFullStopOnly) {
    Focus(controlIPv6Edit);
    Type(D(controlIPv6Edit), "fe80::aB:1");
    EXPECT_EQ(T(controlIPv6Edit), "fe80::aB:1");
    EXPECT_EQ(tb::test::BeepCount(), 0);
    Type(D(controlIPv6Edit), "g ");
    EXPECT_EQ(T(controlIPv6Edit), "fe80::aB:1");
    EXPECT_EQ(tb::test::BeepCount(), 2);
    Focus(controlIPv4Edit1);
    Type(D(controlIPv4Edit1), "g");
    EXPECT_EQ(tb::test::BeepCount(), 3);
    QTest::keyClick(tb::NativeWidget(D(controlIPv4Edit1)), Qt::Key_Shift);
    EXPECT_EQ(tb::test::BeepCount(), 3) << "a modifier alone is no key";
}

TEST_F(AddDialogTest, RadioButtonsFollowTheFieldTypedIn) {
    EXPECT_EQ(m_dialog->AddressType(), 1);
    Focus(controlIPv6Edit);
    Type(D(controlIPv6Edit), "1");
    EXPECT_EQ(m_dialog->AddressType(), 0);
    EXPECT_EQ(tb::GetControlValue(D(controlIPv6Radio)), 1);
    EXPECT_EQ(tb::GetControlValue(D(controlIPv4Radio)), 0);
    Focus(controlIPv4Edit3);
    Type(D(controlIPv4Edit3), "1");
    EXPECT_EQ(m_dialog->AddressType(), 1);
    EXPECT_EQ(tb::GetControlValue(D(controlIPv4Radio)), 1);
    Click(D(controlIPv6Radio));
    EXPECT_EQ(m_dialog->AddressType(), 0);
}

// A listed address is refused before anything goes to the network; four
// empty octets do nothing at all.
TEST_F(AddDialogTest, OkComposesTheAddressAndARepeatStaysOpen) {
    Click(D(controlAddOKButton));
    EXPECT_TRUE(m_dialog->IPv4Address().isNull());
    EXPECT_TRUE(Explanations().empty());
    EXPECT_EQ(g_pMainWindow->AddIPDialog(), m_dialog);

    m_Settings.nNetworkCount = 1;
    m_Settings.NetworkListdata[0].szIPv4Address = QStringLiteral("10.0.0.5");
    m_Settings.NetworkListdata[0].szIPv6Address = QStringLiteral("fe80::5");
    Set(controlIPv4Edit1, "10");
    Set(controlIPv4Edit2, "");
    Set(controlIPv4Edit3, "0");
    Set(controlIPv4Edit4, "5x");
    Click(D(controlAddOKButton));
    EXPECT_EQ(m_dialog->IPv4Address(), "10.0.0.5");
    const std::vector<QString> repeated{QStringLiteral("The IP Address is repeated.")};
    EXPECT_EQ(Explanations(), repeated);
    ASSERT_EQ(g_pMainWindow->AddIPDialog(), m_dialog) << "the dialog stays open";

    Click(D(controlIPv6Radio));
    Set(controlIPv6Edit, "fe80::5");
    Click(D(controlAddOKButton));
    EXPECT_EQ(m_dialog->IPv6Address(), "fe80::5");
    EXPECT_EQ(Explanations(), repeated);
    EXPECT_EQ(m_Settings.nNetworkCount, 1);
}

TEST_F(AddDialogTest, OneDialogAtATimeAndForgottenWhenClosed) {
    tb::SendCommand(Window(), kCommandAddAddress);
    EXPECT_EQ(g_pMainWindow->AddIPDialog(), m_dialog) << "Add again shows the same dialog";
    tb::NativeWidget(m_dialog->GetWindowRef())->close(); // the close box
    FlushDeletes();
    EXPECT_EQ(g_pMainWindow->AddIPDialog(), nullptr);
    CAddIPAddressDlg* second = OpenAddDialog();
    ASSERT_NE(second, nullptr);
    Click(In(second->GetWindowRef(), controlAddCancelButton));
    FlushDeletes();
    EXPECT_EQ(g_pMainWindow->AddIPDialog(), nullptr);
    // Closing the main window takes an open dialog with it.
    ASSERT_NE(OpenAddDialog(), nullptr);
    delete g_pMainWindow;
    FlushDeletes();
}

} // namespace
