// A wizard opened on a throw-away package, with alerts captured.
#pragma once

#include "TestPackage.h"
#include "toolbox/ToolboxTesting.h"
#include "wizard/CarbonApp.h"
#include "wizard/ProgressDlg.h"
#include "wizard/mainwindow.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

inline void FlushDeletes() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

inline void Click(tb::Control* control) {
    ASSERT_NE(control, nullptr);
    QWidget* widget = tb::NativeWidget(control);
    // Near the left edge: a radio button answers only over its mark and text.
    const QPoint point(std::min(10, widget->width() / 2), widget->height() / 2);
    QTest::mouseClick(widget, Qt::LeftButton, {}, point);
}

// Settings of a package with two firmware files; tests change what they need.
inline std::map<std::string, TestPackage::Section> NetworkPackage() {
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
        delete g_pMainWindow;
        FlushDeletes();
        tb::RemoveStringTable();
        tb::test::CaptureAlerts(false);
        m_package.reset();
    }

    void Open(const std::map<std::string, TestPackage::Section>& settings) {
        m_package->WriteSettings(settings);
        MainWindow::Create();
        ASSERT_NE(g_pMainWindow, nullptr);
    }

    // Replaces the package's firmware files by `files` (fw0.bin, fw1.bin, ...)
    // in the given settings.
    void UseFirmwareFiles(std::map<std::string, TestPackage::Section>& settings,
                          const std::vector<QByteArray>& files) {
        for (int i = 0; settings.erase("Fw" + std::to_string(i)) > 0; ++i) {
        }
        settings["General"]["FwCount"] = std::to_string(files.size());
        for (size_t i = 0; i < files.size(); ++i) {
            const std::string name = "fw" + std::to_string(i) + ".bin";
            m_package->WriteFile(QString::fromStdString(name), files[i]);
            settings["Fw" + std::to_string(i)] = {{"FileName", name}};
        }
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

    // Calls what(drawn) from the download's event dispatches once its
    // progress dialog has been painted, or with false once the download has
    // ended without that (bounded).
    static void WhenProgressDrawn(std::function<void(bool)> what, int tries = 1000) {
        QTimer::singleShot(0, [what, tries] {
            CProgressDlg* progress =
                g_pMainWindow != nullptr ? g_pMainWindow->ProgressDialog() : nullptr;
            const bool drawn = progress != nullptr && progress->WasDrawn() &&
                               tb::IsWindowVisible(progress->GetWindowRef());
            if (drawn || tries <= 0 || g_pMainWindow == nullptr || !g_pMainWindow->IsDownloading())
                what(drawn);
            else
                WhenProgressDrawn(what, tries - 1);
        });
    }

    tb::Window* Window() const { return g_pMainWindow->GetWindowRef(); }

    tb::Control* C(tb::ControlID id) const {
        tb::Control* control = nullptr;
        tb::GetControlByID(Window(), id, &control);
        return control;
    }

    QString Text(tb::ControlID id) const { return tb::GetControlText(C(id)); }
    bool Visible(tb::ControlID id) const { return tb::IsControlVisible(C(id)); }
    bool Enabled(tb::ControlID id) const { return tb::IsControlEnabled(C(id)); }

    int ShownPane() const {
        int shown = 0;
        for (int i = 0; i < kPageCount; ++i) {
            tb::Control* pane = C({kPaneSignature, kFirstPaneID + i});
            if (tb::IsControlVisible(pane)) {
                EXPECT_EQ(shown, 0) << "two panes shown";
                shown = i + 1;
            }
        }
        return shown;
    }

    std::unique_ptr<TestPackage> m_package;
};
