// A wizard opened on a throw-away package, with alerts captured, and what
// the page tests do on it: clicks, key presses, ticks, cells, the progress
// dialog's Cancel, an event loop bounded in time.
#pragma once

#include "TestBytes.h"
#include "TestPackage.h"
#include "toolbox/ToolboxTesting.h"
#include "wizard/AddIPAddress.h"
#include "wizard/CarbonApp.h"
#include "wizard/ProgressDlg.h"
#include "wizard/mainwindow.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QEvent>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

inline void FlushDeletes() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

inline tb::Control* In(tb::Window* window, tb::ControlID id) {
    tb::Control* control = nullptr;
    tb::GetControlByID(window, id, &control);
    return control;
}

inline void Click(tb::Control* control) {
    ASSERT_NE(control, nullptr);
    QWidget* widget = tb::NativeWidget(control);
    // Near the left edge: a radio button answers only over its mark and text.
    const QPoint point(std::min(10, widget->width() / 2), widget->height() / 2);
    QTest::mouseClick(widget, Qt::LeftButton, {}, point);
}

// Key presses as the window system delivers them: to a window, which hands
// them to its control with the keyboard focus.
namespace keys {

inline QWindow* Of(tb::Window* window) {
    QWidget* widget = tb::NativeWidget(window);
    return widget != nullptr ? widget->windowHandle() : nullptr;
}

inline void Press(tb::Window* window, Qt::Key key, Qt::KeyboardModifiers modifiers = {}) {
    if (QWindow* handle = Of(window))
        QTest::keyClick(handle, key, modifiers);
}

// Printable ASCII only, as typed on the keyboard.
inline void Type(tb::Window* window, const QString& text) {
    if (QWindow* handle = Of(window))
        for (const QChar c : text)
            QTest::keyClick(handle, c.toLatin1());
}

// Object name of the widget with the keyboard in a window, "" when none.
inline std::string FocusName(tb::Window* window) {
    QWidget* widget = tb::NativeWidget(window);
    QWidget* focus = widget != nullptr ? widget->focusWidget() : nullptr;
    return focus != nullptr ? focus->objectName().toStdString() : std::string();
}

} // namespace keys

inline QByteArray Pattern(int size, unsigned seed) {
    return PatternOf<QByteArray>(size_t(size), seed);
}

// What a printer must receive after each file, and the messages as the user
// reads them, written out here rather than taken from the program.
inline const QByteArray kSeparator("\xAA\x55\x55\xAA", 4);
inline const QByteArray kEnd("\x00\x00\x00\x00", 4);
inline const QByteArray kCancel("\xFF\xFF\xFF\xFF", 4);
inline const QString kCompleted = QStringLiteral("Firmware download completed!");
inline const QString kNetworkFail = QStringLiteral("Firmware download via Network fail!");
inline const QString kUsbFail = QStringLiteral("Firmware download via USB fail!");
inline const QString kUnable = QStringLiteral("Unable to download data to the printer:");

using Settings = std::map<std::string, TestPackage::Section>;

// Settings of a package with two firmware files; tests change what they need.
inline Settings NetworkPackage() {
    return {
        {"General",
         {{"VID", "0x1234"},
          {"PID", "0x5678"},
          {"SysOID", "1.3.6.1.4.1.99999.1"},
          {"ModelName", "Demo MFP 100"},
          {"ModuleName", "DMFP100"},
          {"WindowsTitle", "Demo MFP 100 Update"},
          {"Language", "0"},
          {"FwCount", "2"}}},
        {"Fw0", {{"FileName", "a.bin"}, {"ReleaseDate", "2026-11-02"}}},
        {"Fw1", {{"FileName", "b.bin"}, {"ReleaseDate", "2026-11-20"}}},
    };
}

class WizardTest : public ::testing::Test {
protected:
    void SetUp() override {
        tb::test::CaptureAlerts(true);
        tb::test::TakeAlerts();
        m_package = std::make_unique<TestPackage>();
        m_package->WriteFile("a.bin", QByteArray(3000, 'a'));
        m_package->WriteFile("b.bin", QByteArray(1234, 'b'));
    }

    void TearDown() override {
        tb::test::SetAlertObserver(nullptr);
        delete g_pMainWindow;
        FlushDeletes();
        tb::RemoveStringTable();
        tb::test::CaptureAlerts(false);
        m_package.reset();
    }

    void Open(const Settings& settings) {
        m_package->WriteSettings(settings);
        MainWindow::Create();
        ASSERT_NE(g_pMainWindow, nullptr);
    }

    // The package with `files` (fw0.bin, fw1.bin, ...) in place of its own,
    // its settings then changed by `change`.
    void OpenWith(const std::vector<QByteArray>& files,
                  const std::function<void(Settings&)>& change = {}) {
        Settings settings = NetworkPackage();
        settings.erase("Fw1");
        settings["General"]["FwCount"] = std::to_string(files.size());
        for (size_t i = 0; i < files.size(); ++i) {
            const std::string name = "fw" + std::to_string(i) + ".bin";
            m_package->WriteFile(QString::fromStdString(name), files[i]);
            settings["Fw" + std::to_string(i)] = {{"FileName", name}};
        }
        if (change)
            change(settings);
        m_files = files;
        Open(settings);
    }

    // The explanations of the alerts shown since the last call.
    static std::vector<QString> Explanations() {
        std::vector<QString> texts;
        for (const auto& alert : tb::test::TakeAlerts())
            texts.push_back(alert.explanation);
        return texts;
    }

    // Runs `what` from inside the download's first event dispatch.
    static void DuringDownload(std::function<void()> what) {
        QTimer::singleShot(0, [what] {
            ASSERT_NE(g_pMainWindow, nullptr);
            ASSERT_TRUE(g_pMainWindow->IsDownloading());
            what();
        });
    }

    // Whether the download's progress dialog is shown and has been painted.
    static bool ProgressDrawn() {
        CProgressDlg* progress =
            g_pMainWindow != nullptr ? g_pMainWindow->ProgressDialog() : nullptr;
        return progress != nullptr && progress->WasDrawn() &&
               tb::IsWindowVisible(progress->GetWindowRef());
    }

    // Calls what(drawn) from the download's event dispatches once its
    // progress dialog has been painted, or with false once the download has
    // ended without that (bounded).
    static void WhenProgressDrawn(std::function<void(bool)> what, int tries = 1000) {
        QTimer::singleShot(0, [what, tries] {
            const bool drawn = ProgressDrawn();
            if (drawn || tries <= 0 || g_pMainWindow == nullptr || !g_pMainWindow->IsDownloading())
                what(drawn);
            else
                WhenProgressDrawn(what, tries - 1);
        });
    }

    // Presses the progress dialog's Cancel; whether the dialog went at once.
    static bool CancelProgress() {
        CProgressDlg* progress = g_pMainWindow->ProgressDialog();
        EXPECT_NE(progress, nullptr);
        if (progress == nullptr)
            return false;
        Click(In(progress->GetWindowRef(), controlProcessCancelButton));
        return !progress->IsShowing();
    }

    // Runs the application's event loop (by `run`) with `first` as its first
    // event; false when it had to be ended after five seconds.
    static bool RunsToItsEnd(std::function<void()> first,
                             const std::function<void()>& run = tb::RunApplicationEventLoop) {
        bool timedOut = false;
        QTimer::singleShot(0, first);
        QTimer::singleShot(5000, [&timedOut] {
            timedOut = true;
            tb::QuitApplicationEventLoop();
        });
        run();
        return !timedOut;
    }

    tb::Window* Window() const { return g_pMainWindow->GetWindowRef(); }
    tb::Control* C(tb::ControlID id) const { return In(Window(), id); }
    QString Text(tb::ControlID id) const { return tb::GetControlText(C(id)); }
    bool Visible(tb::ControlID id) const { return tb::IsControlVisible(C(id)); }
    bool Enabled(tb::ControlID id) const { return tb::IsControlEnabled(C(id)); }
    void Next() { Click(C(kNextButton)); }
    void Back() { Click(C(kBackButton)); }
    void Press(Qt::Key key, Qt::KeyboardModifiers modifiers = {}) {
        keys::Press(Window(), key, modifiers);
    }
    std::string Focus() const { return keys::FocusName(Window()); }

    int ShownPane() const {
        int shown = 0;
        for (int i = 0; i < kPageCount; ++i) {
            if (tb::IsControlVisible(C({kPaneSignature, kFirstPaneID + i}))) {
                EXPECT_EQ(shown, 0) << "two panes shown";
                shown = i + 1;
            }
        }
        return shown;
    }

    // The printer lists: page 3's (network) or page 4's (USB).
    static tb::ControlID ListOf(int page) {
        return page == 3 ? controlNetworkListView : controlUSBListView;
    }
    // Clicks a row's check box (rows from 0).
    void Tick(int row, int page = 3) {
        auto* view = qobject_cast<QAbstractItemView*>(tb::NativeWidget(C(ListOf(page))));
        ASSERT_NE(view, nullptr);
        ASSERT_GE(row, 0);
        ASSERT_LT(row, view->model()->rowCount());
        view->model()->setData(view->model()->index(row, 0), Qt::Checked, Qt::CheckStateRole);
    }
    QString Cell(int row, uint32_t property, int page = 3) const {
        return tb::GetListCellText(C(ListOf(page)), tb::ItemID(row + 1), property);
    }
    // The network row of an address, -1 when none.
    static int RowOf(const std::string& address) {
        for (int i = 0; i < m_Settings.nNetworkCount; ++i)
            if (m_Settings.NetworkListdata[i].szIPv4Address.toStdString() == address)
                return i;
        return -1;
    }

    // Page 3 or 4 as a refresh leaves it, with `count` printers listed and
    // that page's port chosen, without asking any printer.
    void ShowPrinters(int page, int count) {
        m_Settings.nPortType = page == 3 ? 0 : 1;
        (page == 3 ? m_Settings.nNetworkCount : m_Settings.nUSBCount) = count;
        for (int i = 0; i < count; ++i) {
            if (page == 3) {
                m_Settings.NetworkListdata[i].szIPv4Address =
                    QStringLiteral("198.18.0.%1").arg(i + 10);
                m_Settings.bNetworkChecked[i] = 0;
            } else {
                m_Settings.USBListdata[i].szSerialNumber = QStringLiteral("SN%1").arg(i);
                m_Settings.bUSBChecked[i] = 0;
            }
        }
        g_pMainWindow->ShowPage(page);
        tb::RemoveListItems(C(ListOf(page)), 0, nullptr);
        if (page == 3)
            g_pMainWindow->InitNetworkListControl();
        else
            g_pMainWindow->InitUSBListControl();
        g_pMainWindow->EnableNextControl();
        QApplication::processEvents();
    }

    // The Add IP Address dialog, opened by its command.
    CAddIPAddressDlg* OpenAddDialog() {
        tb::SendCommand(Window(), kCommandAddAddress);
        CAddIPAddressDlg* dialog = g_pMainWindow->AddIPDialog();
        EXPECT_NE(dialog, nullptr);
        return dialog;
    }

    std::unique_ptr<TestPackage> m_package;
    std::vector<QByteArray> m_files;
};
