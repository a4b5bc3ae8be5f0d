// The wizard by keyboard alone and as a screen reader sees it: where the
// keyboard starts on each page, the Tab order, Space in the printer lists,
// Return and Escape, the editing keys in filtered fields, dialogs that stay
// above their window, and the accessible names and states through Qt's
// accessibility interfaces.
#include "WizardFixture.h"

#include <QAccessible>
#include <QClipboard>
#include <QDropEvent>
#include <QGuiApplication>
#include <QIcon>
#include <QImage>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QTabBar>
#include <QTabWidget>

#include <functional>
#include <string>
#include <vector>

namespace {

using Names = std::vector<std::string>;

class KeyboardTest : public WizardTest {
protected:
    void SetUp() override {
        WizardTest::SetUp();
        Open(NetworkPackage());
    }

    // The controls Tab visits from where the keyboard is, until it is back.
    Names TabWalk(Qt::KeyboardModifiers modifiers = {}) {
        Names walk{Focus()};
        for (int i = 0; i < 20; ++i) {
            Press(Qt::Key_Tab, modifiers);
            if (Focus() == walk.front())
                break;
            walk.push_back(Focus());
        }
        return walk;
    }

    static QAccessibleInterface* A(QWidget* widget) {
        return QAccessible::queryAccessibleInterface(widget);
    }
    QAccessibleInterface* A(tb::ControlID id) const { return A(tb::NativeWidget(C(id))); }
    static QString Name(QAccessibleInterface* iface) {
        return iface != nullptr ? iface->text(QAccessible::Name) : QStringLiteral("<none>");
    }
};

// Every node of an accessibility tree, depth first (bounded).
void Walk(QAccessibleInterface* iface, const std::function<void(QAccessibleInterface*)>& visit,
          int depth = 0) {
    if (iface == nullptr || depth > 12)
        return;
    visit(iface);
    for (int i = 0; i < iface->childCount() && i < 200; ++i)
        Walk(iface->child(i), visit, depth + 1);
}

// ---- keyboard ----------------------------------------------------------------------

TEST_F(KeyboardTest, EveryPageStartsOnItsFirstControlAndTabWalksItInReadingOrder) {
    EXPECT_EQ(Focus(), "languagePopup") << "the window opens on page 1's first";
    EXPECT_EQ(TabWalk(), (Names{"languagePopup", "binFileList", "nextButton", "cancelButton"}));
    EXPECT_EQ(TabWalk(Qt::ShiftModifier),
              (Names{"languagePopup", "cancelButton", "nextButton", "binFileList"}));

    Press(Qt::Key_Return);
    ASSERT_EQ(g_pMainWindow->CurrentPage(), 2);
    EXPECT_EQ(Focus(), "networkRadio") << "a page change keeps the keyboard";
    // The two port buttons are one stop, at the chosen one; the arrow keys
    // choose between them (PortRadioButtonsByKeyboard).
    EXPECT_EQ(TabWalk(), (Names{"networkRadio", "backButton", "nextButton", "cancelButton"}));

    ShowPrinters(3, 2);
    EXPECT_EQ(Focus(), "networkList");
    Tick(0);
    ASSERT_TRUE(Enabled(kNextButton));
    EXPECT_EQ(TabWalk(), (Names{"networkList", "communityEdit", "networkRefresh", "networkAdd",
                                "backButton", "nextButton", "cancelButton"}));

    ShowPrinters(4, 1);
    EXPECT_EQ(Focus(), "usbList");
    EXPECT_EQ(TabWalk(), (Names{"usbList", "usbRefresh", "backButton", "cancelButton"}))
        << "Next is disabled with nothing ticked";
}

TEST_F(KeyboardTest, ArrowsMoveInTheListAndSpaceTicksLikeAClick) {
    ShowPrinters(3, 3);
    ASSERT_EQ(Focus(), "networkList");
    ASSERT_FALSE(Enabled(kNextButton));
    Press(Qt::Key_Space);
    EXPECT_EQ(m_Settings.bNetworkChecked[0], 1) << "the selected first row is ticked";
    EXPECT_TRUE(Enabled(kNextButton));
    auto* view = qobject_cast<QAbstractItemView*>(tb::NativeWidget(C(controlNetworkListView)));
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->model()->index(0, 0).data(Qt::CheckStateRole).toInt(), Qt::Checked)
        << "the box shows it";
    Press(Qt::Key_Space);
    EXPECT_EQ(m_Settings.bNetworkChecked[0], 0) << "a second Space unticks";
    EXPECT_FALSE(Enabled(kNextButton));
    Press(Qt::Key_Down);
    Press(Qt::Key_Down);
    Press(Qt::Key_Space);
    EXPECT_EQ((std::vector<int>{m_Settings.bNetworkChecked[0], m_Settings.bNetworkChecked[1],
                                m_Settings.bNetworkChecked[2]}),
              (std::vector<int>{0, 0, 1}));
    EXPECT_TRUE(Enabled(kNextButton));
}

TEST_F(KeyboardTest, PortRadioButtonsByKeyboard) {
    Press(Qt::Key_Return);
    ASSERT_EQ(Focus(), "networkRadio");
    Press(Qt::Key_Down);
    EXPECT_EQ(Focus(), "usbRadio");
    EXPECT_EQ(m_Settings.nPortType, 1) << "the arrow chooses USB as a click would";
    EXPECT_EQ(tb::GetControlValue(C(controlRadioUSB)), 1);
    EXPECT_EQ(tb::GetControlValue(C(controlRadioNetwork)), 0);
    Press(Qt::Key_Up);
    EXPECT_EQ(m_Settings.nPortType, 0);
    EXPECT_EQ(tb::GetControlValue(C(controlRadioNetwork)), 1);
}

// Return in the community field is dropped even when Next could be pressed
// (in the list it is Next: the keyboard roads download so).
TEST_F(KeyboardTest, ReturnInTheCommunityFieldIsNotNext) {
    ShowPrinters(3, 1);
    m_Settings.bNetworkChecked[0] = 1;
    g_pMainWindow->EnableNextControl();
    ASSERT_TRUE(Enabled(kNextButton));
    tb::SetKeyboardFocus(C(controlNetworkEditCommunity));
    Press(Qt::Key_Return);
    EXPECT_TRUE(Explanations().empty()) << "no download was started";
    EXPECT_EQ(Text(controlNetworkEditCommunity), QStringLiteral("orchid"));
}

// ---- editing keys in filtered fields ------------------------------------------------

class EditingKeysTest : public KeyboardTest {
protected:
    void SetUp() override {
        KeyboardTest::SetUp();
        ShowPrinters(3, 1);
        m_field = C(controlNetworkEditCommunity);
        tb::SetKeyboardFocus(m_field);
        tb::test::ResetBeepCount();
    }
    QLineEdit* Edit() const { return qobject_cast<QLineEdit*>(tb::NativeWidget(m_field)); }
    tb::Control* m_field = nullptr;
};

TEST_F(EditingKeysTest, StartsAsTheDefaultAndTakesItsCharacters) {
    EXPECT_EQ(tb::GetControlText(m_field), "orchid");
    tb::SetControlText(m_field, "");
    keys::Type(Window(), "Ab_-9z");
    EXPECT_EQ(tb::GetControlText(m_field), "Ab_-9z");
    EXPECT_EQ(tb::test::BeepCount(), 0);
    keys::Type(Window(), ".+");
    EXPECT_EQ(tb::GetControlText(m_field), "Ab_-9z");
    EXPECT_EQ(tb::test::BeepCount(), 2);
    keys::Type(Window(), " ");
    Press(Qt::Key_Return);
    EXPECT_EQ(tb::GetControlText(m_field), "Ab_-9z");
    EXPECT_EQ(tb::test::BeepCount(), 2) << "space and return are dropped silently";
}

TEST_F(EditingKeysTest, ThirtyThreeCharactersAtMostEditingStillWorks) {
    tb::SetControlText(m_field, QString(32, 'a'));
    keys::Type(Window(), "b");
    EXPECT_EQ(tb::GetControlText(m_field).size(), 33);
    EXPECT_EQ(tb::test::BeepCount(), 0);
    keys::Type(Window(), "c");
    EXPECT_EQ(tb::GetControlText(m_field).size(), 33);
    EXPECT_EQ(tb::test::BeepCount(), 1);
    for (Qt::Key key : {Qt::Key_Home, Qt::Key_Delete, Qt::Key_End, Qt::Key_Backspace, Qt::Key_Left})
        Press(key);
    EXPECT_EQ(tb::GetControlText(m_field), QString(31, 'a'));
    EXPECT_EQ(tb::test::BeepCount(), 1);
}

TEST_F(EditingKeysTest, SelectAllCopyCutAndPasteWorkInTheCommunityField) {
    Press(Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(Edit()->selectedText(), QStringLiteral("orchid"));
    Press(Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("orchid"));
    Press(Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(Text(controlNetworkEditCommunity), QString());
    Press(Qt::Key_V, Qt::ControlModifier);
    Press(Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(Text(controlNetworkEditCommunity), QStringLiteral("orchidorchid"));
    EXPECT_EQ(tb::test::BeepCount(), 0) << "editing keys are no refused characters";

    // Tab leaves a full field, and comes back, without a beep.
    tb::SetControlText(m_field, QString(33, 'a'));
    Press(Qt::Key_Tab);
    EXPECT_EQ(Focus(), "networkRefresh");
    Press(Qt::Key_Backtab);
    EXPECT_EQ(Focus(), "communityEdit");
    EXPECT_EQ(tb::test::BeepCount(), 0);
    EXPECT_EQ(Text(controlNetworkEditCommunity), QString(33, 'a'));
}

TEST_F(EditingKeysTest, PastedTextKeepsTheTypingRules) {
    tb::SetControlText(m_field, QString());
    QGuiApplication::clipboard()->setText(QStringLiteral("ab.c d+e_f\nsecond line"));
    Press(Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(Text(controlNetworkEditCommunity), QStringLiteral("abcde_f"))
        << "refused characters are dropped, the text ends at the line break";
    EXPECT_EQ(tb::test::BeepCount(), 1) << "one beep for the whole text";

    tb::SetControlText(m_field, QString());
    tb::test::ResetBeepCount();
    QGuiApplication::clipboard()->setText(QString(40, 'z'));
    Press(Qt::Key_Insert, Qt::ShiftModifier);
    EXPECT_EQ(Text(controlNetworkEditCommunity), QString(33, 'z'))
        << "no longer than typing allows";
    EXPECT_EQ(tb::test::BeepCount(), 1);
}

TEST_F(EditingKeysTest, TheFieldsMenuPastesThroughTheFilter) {
    tb::SetControlText(m_field, QString());
    QGuiApplication::clipboard()->setText(QStringLiteral("x.y"));
    QWidget* edit = Edit();
    QContextMenuEvent menuEvent(QContextMenuEvent::Keyboard, QPoint(5, 5),
                                edit->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(edit, &menuEvent);
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr);
    QAction* paste = nullptr;
    for (QAction* action : menu->actions())
        if (action->objectName() == QLatin1String("edit-paste"))
            paste = action;
    ASSERT_NE(paste, nullptr);
    paste->trigger();
    menu->close();
    EXPECT_EQ(Text(controlNetworkEditCommunity), QStringLiteral("xy"));
    EXPECT_EQ(tb::test::BeepCount(), 1);
}

TEST_F(EditingKeysTest, DropsAreOffInTheCommunityFieldAndFilteredInTheAddressFields) {
    EXPECT_FALSE(tb::IsControlDragTrackingEnabled(m_field));
    EXPECT_FALSE(Edit()->acceptDrops());

    CAddIPAddressDlg* dialog = OpenAddDialog();
    ASSERT_NE(dialog, nullptr);
    tb::Control* ipv6 = In(dialog->GetWindowRef(), controlIPv6Edit);
    QWidget* field = tb::NativeWidget(ipv6);
    ASSERT_TRUE(field->acceptDrops());
    QMimeData data;
    data.setText(QStringLiteral("fe80::1 zz"));
    const QPointF at(2, field->height() / 2.0);
    QDropEvent drop(at, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    QDragEnterEvent enter(at.toPoint(), drop.possibleActions(), &data, Qt::LeftButton,
                          Qt::NoModifier);
    QApplication::sendEvent(field, &enter);
    ASSERT_TRUE(enter.isAccepted());
    QApplication::sendEvent(field, &drop);
    EXPECT_EQ(tb::GetControlText(ipv6), QStringLiteral("fe80::1"));
    EXPECT_EQ(tb::test::BeepCount(), 1);
    EXPECT_EQ(dialog->AddressType(), 0) << "typed into the IPv6 field: IPv6 chosen";
    EXPECT_EQ(drop.dropAction(), Qt::CopyAction);
}

TEST_F(EditingKeysTest, PastingIntoAnOctetMovesOnAsTypingDoes) {
    CAddIPAddressDlg* dialog = OpenAddDialog();
    ASSERT_NE(dialog, nullptr);
    tb::Window* window = dialog->GetWindowRef();
    auto octet = [window](tb::ControlID id) { return tb::GetControlText(In(window, id)); };
    tb::SetKeyboardFocus(In(window, controlIPv4Edit1));
    QGuiApplication::clipboard()->setText(QStringLiteral("198.18.999"));
    keys::Press(window, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(octet(controlIPv4Edit1), QStringLiteral("198"));
    EXPECT_EQ(octet(controlIPv4Edit2), QStringLiteral("18"));
    EXPECT_EQ(octet(controlIPv4Edit3), QStringLiteral("255")) << "no octet above 255";
}

// ---- dialogs ------------------------------------------------------------------------

// The Add dialog by keyboard alone: opened from the Add button, an address
// already listed refused with a message over the dialog, which keeps the
// keyboard; Escape then closes the dialog and nothing else.
TEST_F(KeyboardTest, AddDialogByKeyboardStaysAboveAndEscapeClosesOnlyIt) {
    ShowPrinters(3, 1);
    tb::SetKeyboardFocus(C(controlNetworkAddButton));
    Press(Qt::Key_Space); // a click of the button
    CAddIPAddressDlg* dialog = g_pMainWindow->AddIPDialog();
    ASSERT_NE(dialog, nullptr);
    tb::Window* window = dialog->GetWindowRef();
    QWidget* dialogWidget = tb::NativeWidget(window);
    QWidget* mainWidget = tb::NativeWidget(Window());
    EXPECT_EQ(dialogWidget->parentWidget(), mainWidget) << "a dialog of the main window";
    EXPECT_TRUE(dialogWidget->isWindow());
    ASSERT_NE(dialogWidget->windowHandle(), nullptr);
    EXPECT_EQ(dialogWidget->windowHandle()->transientParent(), mainWidget->windowHandle());
    EXPECT_EQ(keys::FocusName(window), "ipv4Radio") << "the dialog opens on its first control";

    keys::Press(window, Qt::Key_Tab);
    EXPECT_EQ(keys::FocusName(window), "ipv4Edit1");
    // A full stop after 0 stays in its field: Tab moves on instead.
    keys::Type(window, "198.18.0");
    keys::Press(window, Qt::Key_Tab);
    keys::Type(window, "10");
    QWidget* alertOwner = nullptr;
    tb::test::SetAlertObserver(
        [&](const tb::test::AlertRecord& alert) { alertOwner = alert.owner; });
    keys::Press(window, Qt::Key_Return);
    tb::test::SetAlertObserver(nullptr);
    EXPECT_EQ(Explanations(), std::vector<QString>{QStringLiteral("The IP Address is repeated.")});
    EXPECT_EQ(alertOwner, dialogWidget) << "the message comes up over the dialog";
    ASSERT_EQ(g_pMainWindow->AddIPDialog(), dialog) << "the dialog stays open";

    keys::Press(window, Qt::Key_Escape);
    FlushDeletes();
    EXPECT_EQ(g_pMainWindow->AddIPDialog(), nullptr) << "Escape closed the dialog";
    ASSERT_NE(g_pMainWindow, nullptr) << "and only the dialog";
    EXPECT_TRUE(tb::IsWindowVisible(Window()));
}

TEST_F(KeyboardTest, MainWindowGoneFirstLeavesTheDialogItsOwn) {
    tb::Window* main = Window();
    CProgressDlg progress(g_pMainWindow);
    progress.ShowDialog(main, QStringLiteral("P"));
    QWidget* widget = tb::NativeWidget(progress.GetWindowRef());
    ASSERT_NE(widget, nullptr);
    EXPECT_EQ(widget->parentWidget(), tb::NativeWidget(main));
    tb::DisposeWindow(main);
    FlushDeletes();
    EXPECT_NE(progress.GetWindowRef(), nullptr) << "the progress dialog lives on with its owner";
    EXPECT_EQ(tb::NativeWidget(progress.GetWindowRef()), widget);
    progress.DestroyWindow();
}

// ---- the frame's answers ------------------------------------------------------------

TEST_F(KeyboardTest, MouseMovedIsLeftToTheNextHandler) {
    tb::Event* moved = tb::CreateEvent(tb::kClassMouse, tb::kMouseMoved);
    EXPECT_EQ(tb::SendEvent(moved, tb::WindowTarget(Window())), tb::kEventNotHandled);
    CAddIPAddressDlg* dialog = OpenAddDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(tb::SendEvent(moved, tb::WindowTarget(dialog->GetWindowRef())), tb::kEventNotHandled);
    tb::ReleaseEvent(moved);
}

// ---- screen readers -----------------------------------------------------------------

TEST_F(KeyboardTest, TheHiddenTabStripIsNeitherShownNorExposed) {
    auto* tabs = qobject_cast<QTabWidget*>(tb::NativeWidget(C(controlMainTab)));
    ASSERT_NE(tabs, nullptr);
    for (int page = 1; page <= kPageCount; ++page) {
        g_pMainWindow->ShowPage(page);
        EXPECT_FALSE(tabs->tabBar()->isVisible()) << "page " << page;
        EXPECT_EQ(tabs->tabBar()->focusPolicy(), Qt::NoFocus);
        EXPECT_EQ(tabs->focusProxy(), nullptr);
        EXPECT_EQ(tabs->focusPolicy(), Qt::NoFocus);
    }
    int pageTabs = 0;
    int panes = 0;
    Walk(A(tb::NativeWidget(Window())), [&](QAccessibleInterface* iface) {
        if (iface->role() == QAccessible::PageTabList || iface->role() == QAccessible::PageTab)
            ++pageTabs;
        if (iface->object() == tabs->tabBar())
            ++pageTabs;
        const QString name = Name(iface);
        panes += name == QStringLiteral("Network printers") && iface->object() != nullptr &&
                 iface->object()->property("number").toInt() == kFirstPaneID + 2;
    });
    EXPECT_EQ(pageTabs, 0) << "no page tab \"1\" to \"4\" and no scroll buttons";
    EXPECT_EQ(panes, 1) << "the pages themselves are still there, by their titles";
}

TEST_F(KeyboardTest, ListsFieldsAndCheckCellsHaveNamesAndStates) {
    ShowPrinters(3, 2);
    m_Settings.bNetworkChecked[1] = 1;
    tb::UpdateListItems(C(controlNetworkListView));
    EXPECT_EQ(Name(A(controlBinFileListView)), QStringLiteral("Firmware files"));
    EXPECT_EQ(Name(A(controlNetworkListView)), QStringLiteral("Network printers"));
    EXPECT_EQ(Name(A(controlUSBListView)), QStringLiteral("USB printers"));
    EXPECT_EQ(Name(A(controlNetworkEditModuleName)), QStringLiteral("Module Name"));
    EXPECT_EQ(Name(A(controlUSBEditModuleName)), QStringLiteral("Module Name"));
    EXPECT_EQ(Name(A(controlNetworkEditCommunity)), QStringLiteral("Community"));
    // On Linux a pop-up's name is its choice; its label comes as a relation.
    QAccessibleInterface* popup = A(controlComboLanguage);
    ASSERT_NE(popup, nullptr);
    QStringList labels;
    for (const auto& relation : popup->relations(QAccessible::Label))
        labels << Name(relation.first);
    EXPECT_TRUE(labels.contains(QStringLiteral("Please select the language.")))
        << labels.join(", ").toStdString();

    QAccessibleInterface* list = A(controlNetworkListView);
    ASSERT_NE(list, nullptr);
    QAccessibleTableInterface* table = list->tableInterface();
    ASSERT_NE(table, nullptr);
    ASSERT_EQ(table->rowCount(), 2);
    // The first child of the list is the heading of its first column.
    QAccessibleInterface* header = list->child(0);
    ASSERT_NE(header, nullptr);
    EXPECT_EQ(header->role(), QAccessible::ColumnHeader);
    EXPECT_EQ(Name(header), QStringLiteral("Update")) << "the check column";
    for (int row = 0; row < 2; ++row) {
        QAccessibleInterface* cell = table->cellAt(row, 0);
        ASSERT_NE(cell, nullptr);
        EXPECT_EQ(Name(cell), QStringLiteral("Update")) << "row " << row;
        EXPECT_TRUE(cell->state().checkable) << "row " << row;
        EXPECT_EQ(bool(cell->state().checked), row == 1) << "row " << row;
        EXPECT_EQ(Name(table->cellAt(row, 1)), QStringLiteral("198.18.0.%1").arg(row + 10));
    }

    // Every control the keyboard reaches says what it is.
    Walk(A(tb::NativeWidget(Window())), [&](QAccessibleInterface* iface) {
        auto* widget = qobject_cast<QWidget*>(iface->object());
        if (widget == nullptr || !(widget->focusPolicy() & Qt::TabFocus) ||
            widget->window() != tb::NativeWidget(Window()))
            return;
        EXPECT_FALSE(Name(iface).isEmpty()) << widget->objectName().toStdString();
    });
}

TEST_F(KeyboardTest, AddressFieldsAndTheProgressBarHaveNames) {
    CAddIPAddressDlg* dialog = OpenAddDialog();
    ASSERT_NE(dialog, nullptr);
    const std::pair<tb::ControlID, const char*> fields[] = {
        {controlIPv4Edit1, "First octet"}, {controlIPv4Edit2, "Second octet"},
        {controlIPv4Edit3, "Third octet"}, {controlIPv4Edit4, "Fourth octet"},
        {controlIPv6Edit, "IPv6 Address"},
    };
    for (const auto& [id, name] : fields)
        EXPECT_EQ(Name(A(tb::NativeWidget(In(dialog->GetWindowRef(), id)))), name);

    CProgressDlg progress(g_pMainWindow);
    progress.ShowDialog(Window(), QStringLiteral("P"));
    QAccessibleInterface* iface =
        A(tb::NativeWidget(In(progress.GetWindowRef(), controlProcessProgressBar)));
    ASSERT_NE(iface, nullptr);
    EXPECT_EQ(Name(iface), QStringLiteral("Downloading"));
    ASSERT_NE(iface->valueInterface(), nullptr);
    progress.SetProgressValue(CProgressDlg::LastShownValue() == 42 ? 43 : 42);
    EXPECT_EQ(iface->valueInterface()->currentValue().toInt(), CProgressDlg::LastShownValue());
    EXPECT_EQ(iface->valueInterface()->maximumValue().toInt(), 100);
    progress.DestroyWindow();
}

TEST_F(KeyboardTest, NamesAreTranslated) {
    delete g_pMainWindow;
    ASSERT_TRUE(tb::InstallStringTable("de"));
    Open(NetworkPackage());
    ShowPrinters(3, 1);
    EXPECT_EQ(Name(A(controlNetworkListView)), QStringLiteral("Netzwerkdrucker"));
    EXPECT_EQ(Name(A(controlBinFileListView)), QStringLiteral("Firmware-Dateien"));
    QAccessibleTableInterface* table = A(controlNetworkListView)->tableInterface();
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(Name(table->cellAt(0, 0)), QStringLiteral("Aktualisieren"));
    CAddIPAddressDlg* dialog = OpenAddDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(Name(A(tb::NativeWidget(In(dialog->GetWindowRef(), controlIPv4Edit3)))),
              QStringLiteral("Drittes Oktett"));
}

TEST(ApplicationIdentity, TheWindowIconIsTheInstalledSvg) {
    EXPECT_FALSE(tb::SetApplicationIdentity(QStringLiteral("org.quenlo.Quenlo"),
                                            QStringLiteral(":/icons/missing.svg")));
    ASSERT_TRUE(tb::SetApplicationIdentity(QStringLiteral("org.quenlo.Quenlo"),
                                           QStringLiteral(":/icons/org.quenlo.Quenlo.svg")));
    EXPECT_EQ(QGuiApplication::desktopFileName(), QStringLiteral("org.quenlo.Quenlo"));
    const QIcon icon = QApplication::windowIcon();
    ASSERT_FALSE(icon.isNull());
    const QImage image = icon.pixmap(48, 48).toImage();
    ASSERT_EQ(image.width(), 48);
    int opaque = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            opaque += qAlpha(image.pixel(x, y)) > 0 ? 1 : 0;
    EXPECT_GT(opaque, 48 * 48 / 3) << "the icon is drawn, not empty";
}

} // namespace
