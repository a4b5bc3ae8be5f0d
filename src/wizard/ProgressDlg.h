// The window shown while firmware is sent to one printer. Besides showing the
// percentage it is the download's only door to the event system: every change
// of the shown value lets waiting events (Cancel among them) run.
#pragma once

#include "HIFramework/TWindow.h"
#include "transfer/TransferEngine.h"

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
    // Lets every waiting event run, whatever the value: the download calls
    // it while bytes wait, so that the window and Cancel stay alive.
    void KeepAlive();
    void DestroyWindow();
    bool HandleCommand(const tb::Command& command) override;
    // The close box counts as Cancel: the object belongs to the download,
    // which is still using it.
    void Close() override;

    void Draw() override { m_drawn = true; }

    bool IsShowing() const { return m_dialogWindow != nullptr; }
    // Whether the window has been painted since it was shown.
    bool WasDrawn() const { return m_drawn; }
    // The value last shown by any progress dialog of the process (-1: none).
    static int LastShownValue();

private:
    tb::Window* m_dialogWindow = nullptr;
    MainWindow* m_pOwner = nullptr; // told about Cancel; not owned
    tb::Control* m_progressBar = nullptr;
    bool m_drawn = false;
};

// The window side of a download for the transfer engine: the progress
// dialog shows and lets events run; the owner's cancel flag answers.
class CDownloadObserver : public transfer::Observer {
public:
    CDownloadObserver(CProgressDlg& progress, const bool& cancel)
        : m_progress(progress), m_cancel(cancel) {}
    void Progress(int percent) override;
    void KeepAlive() override;
    bool CancelRequested() override { return m_cancel; }
    void Pause(int ms) override;
    void BeforeEndMarker() override { m_progress.DestroyWindow(); }
    int64_t NowMs() override;

private:
    void CloseOnCancel();
    CProgressDlg& m_progress;
    const bool& m_cancel;
};
