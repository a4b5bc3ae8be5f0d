// The wizard by keyboard alone and as a screen reader sees it: where the
// keyboard starts on each page, the Tab order, Space in the printer lists,
// Return and Escape, the editing keys in filtered fields, dialogs that stay
// above their window, and the accessible names and states through Qt's
// accessibility interfaces.
#include "KeyboardDriver.h"
#include "WizardFixture.h"

#include "wizard/AddIPAddress.h"
#include "wizard/ProgressDlg.h"

#include <QAbstractItemView>
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
    void OpenNetwork() { Open(NetworkPackage()); }

    // Page 3 or 4 as the refresh leaves it, with `count` printers listed.
    void ShowPrinters(int page, int count) {
        if (page == 3) {
            m_Settings.nNetworkCount = count;
            for (int i = 0; i < count; ++i) {
                m_Settings.NetworkListdata[i].szIPv4Address =
                    QStringLiteral("198.18.0.%1").arg(i + 10);
                m_Settings.bNetworkChecked[i] = 0;
            }
            m_Settings.nPortType = 0;
        } else {
            m_Settings.nUSBCount = count;
            for (int i = 0; i < count; ++i) {
                m_Settings.USBListdata[i].szSerialNumber = QStringLiteral("SN%1").arg(i);
                m_Settings.bUSBChecked[i] = 0;
            }
            m_Settings.nPortType = 1;
        }
        g_pMainWindow->ShowPage(page);
        tb::Control* list = C(page == 3 ? controlNetworkListView : controlUSBListView);
        tb::RemoveListItems(list, 0, nullptr);
        if (page == 3)
            g_pMainWindow->InitNetworkListControl();
        else
            g_pMainWindow->InitUSBListControl();
        g_pMainWindow->EnableNextControl();
        QApplication::processEvents();
    }

    // The controls Tab visits from where the keyboard is, until it is back.
    Names TabWalk(Qt::KeyboardModifiers modifiers = {}) {
        Names walk{keys::FocusName(Window())};
        for (int i = 0; i < 20; ++i) {
            keys::Press(Window(), Qt::Key_Tab, modifiers);
            const std::string name = keys::FocusName(Window());
            if (name == walk.front())
                break;
            walk.push_back(name);
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
    OpenNetwork();
    EXPECT_EQ(keys::FocusName(Window()), "languagePopup") << "the window opens on page 1's first";
    EXPECT_EQ(TabWalk(), (Names{"languagePopup", "binFileList", "nextButton", "cancelButton"}));
    EXPECT_EQ(TabWalk(Qt::ShiftModifier),
              (Names{"languagePopup", "cancelButton", "nextButton", "binFileList"}));

    keys::Press(Window(), Qt::Key_Return);
    ASSERT_EQ(g_pMainWindow->CurrentPage(), 2);
    EXPECT_EQ(keys::FocusName(Window()), "networkRadio") << "a page change keeps the keyboard";
    // The two port buttons are one stop, at the chosen one; the arrow keys
    // choose between them (PortRadioButtonsByKeyboard).
    EXPECT_EQ(TabWalk(), (Names{"networkRadio", "backButton", "nextButton", "cancelButton"}));

    ShowPrinters(3, 2);
    tb::ItemID first = 1;
    tb::SetListSelectedItems(C(controlNetworkListView), 1, &first);
    EXPECT_EQ(keys::FocusName(Window()), "networkList");
    tb::Control* list = C(controlNetworkListView);
    g_pMainWindow->NetworkListDataBrowserItemDataCallback(list, 1, kColumnNetworkCheck, nullptr,
                                                          true);
    ASSERT_TRUE(Enabled(kNextButton));
    EXPECT_EQ(TabWalk(), (Names{"networkList", "communityEdit", "networkRefresh", "networkAdd",
                                "backButton", "nextButton", "cancelButton"}));

    ShowPrinters(4, 1);
    EXPECT_EQ(keys::FocusName(Window()), "usbList");
    EXPECT_EQ(TabWalk(), (Names{"usbList", "usbRefresh", "backButton", "cancelButton"}))
        << "Next is disabled with nothing ticked";
}

TEST_F(KeyboardTest, TabLeavesAFullCommunityFieldWithoutABeep) {
    OpenNetwork();
    ShowPrinters(3, 1);
    tb::SetKeyboardFocus(C(controlNetworkEditCommunity));
    tb::SetControlText(C(controlNetworkEditCommunity), QString(33, 'a'));
    tb::test::ResetBeepCount();
    keys::Press(Window(), Qt::Key_Tab);
    EXPECT_EQ(keys::FocusName(Window()), "networkRefresh");
    keys::Press(Window(), Qt::Key_Backtab);
    EXPECT_EQ(keys::FocusName(Window()), "communityEdit");
    EXPECT_EQ(tb::test::BeepCount(), 0);
    EXPECT_EQ(Text(controlNetworkEditCommunity), QString(33, 'a'));
}

TEST_F(KeyboardTest, ArrowsMoveInTheListAndSpaceTicksLikeAClick) {
    OpenNetwork();
    ShowPrinters(3, 3);
    ASSERT_EQ(keys::FocusName(Window()), "networkList");
    ASSERT_FALSE(Enabled(kNextButton));
    keys::Press(Window(), Qt::Key_Space);
    EXPECT_EQ(m_Settings.bNetworkChecked[0], 1) << "the selected first row is ticked";
    EXPECT_TRUE(Enabled(kNextButton));
    auto* view = qobject_cast<QAbstractItemView*>(tb::NativeWidget(C(controlNetworkListView)));
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->model()->index(0, 0).data(Qt::CheckStateRole).toInt(), Qt::Checked)
        << "the box shows it";
    keys::Press(Window(), Qt::Key_Space);
    EXPECT_EQ(m_Settings.bNetworkChecked[0], 0) << "a second Space unticks";
    EXPECT_FALSE(Enabled(kNextButton));
    keys::Press(Window(), Qt::Key_Down);
    keys::Press(Window(), Qt::Key_Down);
    keys::Press(Window(), Qt::Key_Space);
    EXPECT_EQ((std::vector<int>{m_Settings.bNetworkChecked[0], m_Settings.bNetworkChecked[1],
                                m_Settings.bNetworkChecked[2]}),
              (std::vector<int>{0, 0, 1}));
    EXPECT_TRUE(Enabled(kNextButton));

    ShowPrinters(4, 1);
    keys::Press(Window(), Qt::Key_Space);
    EXPECT_EQ(m_Settings.bUSBChecked[0], 1);
    EXPECT_TRUE(Enabled(kNextButton));
}

TEST_F(KeyboardTest, PortRadioButtonsByKeyboard) {
    OpenNetwork();
    keys::Press(Window(), Qt::Key_Return);
    ASSERT_EQ(keys::FocusName(Window()), "networkRadio");
    keys::Press(Window(), Qt::Key_Down);
    EXPECT_EQ(keys::FocusName(Window()), "usbRadio");
    EXPECT_EQ(m_Settings.nPortType, 1) << "the arrow chooses USB as a click would";
    EXPECT_EQ(tb::GetControlValue(C(controlRadioUSB)), 1);
    EXPECT_EQ(tb::GetControlValue(C(controlRadioNetwork)), 0);
    keys::Press(Window(), Qt::Key_Up);
    EXPECT_EQ(m_Settings.nPortType, 0);
    EXPECT_EQ(tb::GetControlValue(C(controlRadioNetwork)), 1);
}

// Return in the community field is dropped even when Next could be pressed;
// anywhere else on the page it is Next.
TEST_F(KeyboardTest, ReturnInTheCommunityFieldIsNotNext) {
    OpenNetwork();
    ShowPrinters(3, 1);
    m_Settings.bNetworkChecked[0] = 1;
    g_pMainWindow->EnableNextControl();
    ASSERT_TRUE(Enabled(kNextButton));
    tb::SetKeyboardFocus(C(controlNetworkEditCommunity));
    keys::Press(Window(), Qt::Key_Return);
    EXPECT_TRUE(Explanations().empty()) << "no download was started";
    EXPECT_EQ(Text(controlNetworkEditCommunity), QStringLiteral("orchid"));

    // These tests have no network: the printer cannot be reached.
    tb::SetKeyboardFocus(C(controlNetworkListView));
    keys::Press(Window(), Qt::Key_Return);
    const auto messages = Explanations();
    ASSERT_EQ(messages.size(), 1u) << "Return in the list is Next: the download ran";
    EXPECT_TRUE(messages[0].startsWith(QStringLiteral("Unable to download data to the printer:")));
}

// ---- editing keys in filtered fields ------------------------------------------------

class EditingKeysTest : public KeyboardTest {
protected:
    void SetUp() override {
        KeyboardTest::SetUp();
        OpenNetwork();
        ShowPrinters(3, 1);
        m_field = C(controlNetworkEditCommunity);
        tb::SetKeyboardFocus(m_field);
        tb::test::ResetBeepCount();
    }
    QLineEdit* Edit() const { return qobject_cast<QLineEdit*>(tb::NativeWidget(m_field)); }
    tb::Control* m_field = nullptr;
};

TEST_F(EditingKeysTest, SelectAllCopyCutAndPasteWorkInTheCommunityField) {
    keys::Press(Window(), Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(Edit()->selectedText(), QStringLiteral("orchid"));
    keys::Press(Window(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("orchid"));
    keys::Press(Window(), Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(Text(controlNetworkEditCommunity), QString());
    keys::Press(Window(), Qt::Key_V, Qt::ControlModifier);
    keys::Press(Window(), Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(Text(controlNetworkEditCommunity), QStringLiteral("orchidorchid"));
    EXPECT_EQ(tb::test::BeepCount(), 0) << "editing keys are no refused characters";
}

TEST_F(EditingKeysTest, PastedTextKeepsTheTypingRules) {
    tb::SetControlText(m_field, QString());
    QGuiApplication::clipboard()->setText(QStringLiteral("ab.c d+e_f\nsecond line"));
    keys::Press(Window(), Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(Text(controlNetworkEditCommunity), QStringLiteral("abcde_f"))
        << "refused characters are dropped, the text ends at the line break";
    EXPECT_EQ(tb::test::BeepCount(), 1) << "one beep for the whole text";

    tb::SetControlText(m_field, QString());
    tb::test::ResetBeepCount();
    QGuiApplication::clipboard()->setText(QString(40, 'z'));
    keys::Press(Window(), Qt::Key_Insert, Qt::ShiftModifier);
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

QDropEvent* TextDrop(QWidget* target, const QString& text, QMimeData* data) {
    data->setText(text);
    return new QDropEvent(QPointF(2, target->height() / 2.0), Qt::CopyAction | Qt::MoveAction, data,
                          Qt::LeftButton, Qt::NoModifier);
}

TEST_F(EditingKeysTest, DropsAreOffInTheCommunityFieldAndFilteredInTheAddressFields) {
    EXPECT_FALSE(tb::IsControlDragTrackingEnabled(m_field));
    EXPECT_FALSE(Edit()->acceptDrops());

    tb::SendCommand(Window(), kCommandAddAddress);
    CAddIPAddressDlg* dialog = g_pMainWindow->AddIPDialog();
    ASSERT_NE(dialog, nullptr);
    tb::Control* ipv6 = nullptr;
    tb::GetControlByID(dialog->GetWindowRef(), controlIPv6Edit, &ipv6);
    QWidget* field = tb::NativeWidget(ipv6);
    ASSERT_TRUE(field->acceptDrops());
    QMimeData data;
    std::unique_ptr<QDropEvent> drop(TextDrop(field, QStringLiteral("fe80::1 zz"), &data));
    QDragEnterEvent enter(drop->position().toPoint(), drop->possibleActions(), &data,
                          Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(field, &enter);
    ASSERT_TRUE(enter.isAccepted());
    QApplication::sendEvent(field, drop.get());
    EXPECT_EQ(tb::GetControlText(ipv6), QStringLiteral("fe80::1"));
    EXPECT_EQ(tb::test::BeepCount(), 1);
    EXPECT_EQ(dialog->AddressType(), 0) << "typed into the IPv6 field: IPv6 chosen";
    EXPECT_EQ(drop->dropAction(), Qt::CopyAction);
}

TEST_F(EditingKeysTest, PastingIntoAnOctetMovesOnAsTypingDoes) {
    tb::SendCommand(Window(), kCommandAddAddress);
    CAddIPAddressDlg* dialog = g_pMainWindow->AddIPDialog();
    ASSERT_NE(dialog, nullptr);
    tb::Window* window = dialog->GetWindowRef();
    auto octet = [window](tb::ControlID id) {
        tb::Control* control = nullptr;
        tb::GetControlByID(window, id, &control);
        return control;
    };
    tb::SetKeyboardFocus(octet(controlIPv4Edit1));
    QGuiApplication::clipboard()->setText(QStringLiteral("198.18.999"));
    keys::Press(window, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(tb::GetControlText(octet(controlIPv4Edit1)), QStringLiteral("198"));
    EXPECT_EQ(tb::GetControlText(octet(controlIPv4Edit2)), QStringLiteral("18"));
    EXPECT_EQ(tb::GetControlText(octet(controlIPv4Edit3)), QStringLiteral("255"))
        << "no octet above 255";
}

// ---- dialogs ------------------------------------------------------------------------

// The Add dialog by keyboard alone: opened from the Add button, an address
// already listed refused with a message over the dialog, which keeps the
// keyboard; Escape then closes the dialog and nothing else.
TEST_F(KeyboardTest, AddDialogByKeyboardStaysAboveAndEscapeClosesOnlyIt) {
    OpenNetwork();
    ShowPrinters(3, 1);
    tb::SetKeyboardFocus(C(controlNetworkAddButton));
    keys::Press(Window(), Qt::Key_Space);
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
    OpenNetwork();
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
    OpenNetwork();
    tb::Event* moved = tb::CreateEvent(tb::kClassMouse, tb::kMouseMoved);
    EXPECT_EQ(tb::SendEvent(moved, tb::WindowTarget(Window())), tb::kEventNotHandled);
    tb::SendCommand(Window(), kCommandAddAddress);
    ASSERT_NE(g_pMainWindow->AddIPDialog(), nullptr);
    EXPECT_EQ(tb::SendEvent(moved, tb::WindowTarget(g_pMainWindow->AddIPDialog()->GetWindowRef())),
              tb::kEventNotHandled);
    tb::ReleaseEvent(moved);
}

// ---- screen readers -----------------------------------------------------------------

TEST_F(KeyboardTest, TheHiddenTabStripIsNeitherShownNorExposed) {
    OpenNetwork();
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
    OpenNetwork();
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
    OpenNetwork();
    tb::SendCommand(Window(), kCommandAddAddress);
    CAddIPAddressDlg* dialog = g_pMainWindow->AddIPDialog();
    ASSERT_NE(dialog, nullptr);
    const std::pair<tb::ControlID, const char*> fields[] = {
        {controlIPv4Edit1, "First octet"}, {controlIPv4Edit2, "Second octet"},
        {controlIPv4Edit3, "Third octet"}, {controlIPv4Edit4, "Fourth octet"},
        {controlIPv6Edit, "IPv6 Address"},
    };
    for (const auto& [id, name] : fields) {
        tb::Control* control = nullptr;
        tb::GetControlByID(dialog->GetWindowRef(), id, &control);
        EXPECT_EQ(Name(A(tb::NativeWidget(control))), QString::fromLatin1(name));
    }

    CProgressDlg progress(g_pMainWindow);
    progress.ShowDialog(Window(), QStringLiteral("P"));
    tb::Control* bar = nullptr;
    tb::GetControlByID(progress.GetWindowRef(), controlProcessProgressBar, &bar);
    QAccessibleInterface* iface = A(tb::NativeWidget(bar));
    ASSERT_NE(iface, nullptr);
    EXPECT_EQ(Name(iface), QStringLiteral("Downloading"));
    ASSERT_NE(iface->valueInterface(), nullptr);
    progress.SetProgressValue(CProgressDlg::LastShownValue() == 42 ? 43 : 42);
    EXPECT_EQ(iface->valueInterface()->currentValue().toInt(), CProgressDlg::LastShownValue());
    EXPECT_EQ(iface->valueInterface()->maximumValue().toInt(), 100);
    progress.DestroyWindow();
}

TEST_F(KeyboardTest, NamesAreTranslated) {
    ASSERT_TRUE(tb::InstallStringTable("de"));
    OpenNetwork();
    ShowPrinters(3, 1);
    EXPECT_EQ(Name(A(controlNetworkListView)), QStringLiteral("Netzwerkdrucker"));
    EXPECT_EQ(Name(A(controlBinFileListView)), QStringLiteral("Firmware-Dateien"));
    QAccessibleTableInterface* table = A(controlNetworkListView)->tableInterface();
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(Name(table->cellAt(0, 0)), QStringLiteral("Aktualisieren"));
    tb::SendCommand(Window(), kCommandAddAddress);
    tb::Control* octet = nullptr;
    tb::GetControlByID(g_pMainWindow->AddIPDialog()->GetWindowRef(), controlIPv4Edit3, &octet);
    EXPECT_EQ(Name(A(tb::NativeWidget(octet))), QStringLiteral("Drittes Oktett"));
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
