// The window shown while firmware is sent to one printer. Besides showing the
// percentage it is the download's only door to the event system: every change
// of the shown value lets waiting events (Cancel among them) run.
#pragma once

#include "TWindow.h"

class MainWindow;

constexpr tb::ControlID controlProcessCancelButton = {tb::Code("PROC"), 100};
constexpr tb::ControlID controlProcessProgressBar = {tb::Code("PROC"), 200};
constexpr tb::ControlID controlProcessStatusStatic = {tb::Code("PROC"), 300};
constexpr tb::ControlID controlProcessPrinterNameStatic = {tb::Code("PROC"), 301};

constexpr uint32_t kCommandProcessCancel = tb::Code("CANC");

class CProgressDlg : public TWindow {
public:
    explicit CProgressDlg(MainWindow* owner);
    ~CProgressDlg() override = default;

    void ShowDialog(tb::Window* parent, const QString& printerName);
    void SetControlLocalizedString(const QString& printerName);
    // Shows percent (held to 0..100) and, when it changed, lets every waiting
    // event run before it returns.
    void SetProgressValue(int percent);
    void DestroyWindow();
    bool HandleCommand(const tb::Command& command) override;
    // The close box counts as Cancel: the object belongs to the download,
    // which is still using it.
    void Close() override;

    bool IsShowing() const { return m_dialogWindow != nullptr; }
    // The value last shown by any progress dialog of the process (-1: none).
    static int LastShownValue();

private:
    tb::Window* m_dialogWindow = nullptr;
    MainWindow* m_pOwner = nullptr; // told about Cancel; not owned
    tb::Control* m_progressBar = nullptr;
};
