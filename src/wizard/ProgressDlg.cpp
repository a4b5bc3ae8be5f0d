#include "wizard/ProgressDlg.h"

#include "settings/BundleUtilities.h"
#include "wizard/mainwindow.h"

#include <time.h>

#include <chrono>
#include <cstdio>

namespace {
// Shared by every progress dialog of the run and never reset: a value equal
// to the last one shown is not shown again.
int oldValue = -1;
} // namespace

CProgressDlg::CProgressDlg(MainWindow* owner) : TWindow("ProgressDlg", "main"), m_pOwner(owner) {}

int CProgressDlg::LastShownValue() {
    return oldValue;
}

void CProgressDlg::ShowDialog(tb::Window* parent, const QString& printerName) {
    m_dialogWindow = GetWindowRef();
    if (m_dialogWindow == nullptr)
        return;
    // Above the main window, never behind it.
    tb::SetWindowParent(m_dialogWindow, parent);
    tb::CenterWindowOnParent(m_dialogWindow, parent);
    if (tb::GetControlByID(m_dialogWindow, controlProcessProgressBar, &m_progressBar) != tb::kNoErr)
        m_progressBar = nullptr;
    tb::SetControlValue(m_progressBar, 0);
    SetControlLocalizedString(printerName);
    Show();
    // Painted before the first byte goes out: the download holds the main
    // thread from here on and lets events run only between its slices.
    tb::DrawWindowNow(m_dialogWindow);
    tb::DispatchPendingEvents();
}

void CProgressDlg::SetControlLocalizedString(const QString& printerName) {
    if (m_dialogWindow == nullptr)
        return;
    const CBundle* bundle = GetMainBundle();
    const QString title =
        GetLocalizedString(bundle, QString::fromLatin1(stringDownloading), QStringLiteral("  0%"));
    if (!title.isNull())
        tb::SetWindowTitle(m_dialogWindow, title);

    struct TextRow {
        tb::ControlID control;
        const char* key;
        QString suffix;
        bool asTitle;
    };
    const TextRow rows[] = {
        {controlProcessStatusStatic, stringDownloadingStatus, QString(), false},
        {controlProcessPrinterNameStatic, stringDownloadingPrinterName, printerName, false},
        {controlProcessCancelButton, stringCancel, QString(), true},
    };
    for (const TextRow& row : rows) {
        tb::Control* control = nullptr;
        tb::GetControlByID(m_dialogWindow, row.control, &control);
        SetLocalizedControlText(control, QString::fromLatin1(row.key), row.suffix, row.asTitle);
    }
    tb::SetControlAccessibleName(
        m_progressBar, GetLocalizedString(bundle, QString::fromLatin1(stringDownloading)));
}

void CProgressDlg::SetProgressValue(int percent) {
    // Negative values compare as huge unsigned ones: both ends become 100.
    int value = unsigned(percent) > 100u ? 100 : percent;
    if (value == oldValue)
        return;
    oldValue = value;
    if (m_dialogWindow != nullptr) {
        const QString shown = QString::asprintf("  %d%%", value);
        const QString title =
            GetLocalizedString(GetMainBundle(), QString::fromLatin1(stringDownloading), shown);
        if (!title.isNull())
            tb::SetWindowTitle(m_dialogWindow, title);
    }
    if (m_progressBar != nullptr)
        tb::SetControlValue(m_progressBar, value);
    tb::DispatchPendingEvents();
}

void CProgressDlg::KeepAlive() {
    tb::DispatchPendingEvents();
}

void CProgressDlg::DestroyWindow() {
    if (m_dialogWindow == nullptr)
        return;
    tb::Window* window = m_dialogWindow;
    // The bar goes with the window.
    m_dialogWindow = nullptr;
    m_progressBar = nullptr;
    tb::DisposeWindow(window);
}

bool CProgressDlg::HandleCommand(const tb::Command& command) {
    if (command.commandID != kCommandProcessCancel)
        return false;
    if (m_pOwner != nullptr)
        m_pOwner->OnCancelDownload();
    DestroyWindow();
    return true;
}

void CProgressDlg::Close() {
    if (m_pOwner != nullptr)
        m_pOwner->OnCancelDownload();
    DestroyWindow();
}

// ---- the download's window side --------------------------------------------------

void CDownloadObserver::Progress(int percent) {
    m_progress.SetProgressValue(percent);
    CloseOnCancel();
}

void CDownloadObserver::KeepAlive() {
    m_progress.KeepAlive();
    CloseOnCancel();
}

void CDownloadObserver::CloseOnCancel() {
    // Cancel may come from the main window rather than the dialog.
    if (m_cancel)
        m_progress.DestroyWindow();
}

void CDownloadObserver::Pause(int ms) {
    // The pause lets events run, so the window repaints and answers during it.
    const int64_t end = NowMs() + ms;
    for (int64_t now = NowMs(); now < end; now = NowMs()) {
        KeepAlive();
        const int64_t left = end - NowMs();
        const int64_t slice = left < 20 ? left : 20;
        if (slice > 0) {
            timespec t{0, long(slice) * 1000000L};
            nanosleep(&t, nullptr);
        }
    }
}

int64_t CDownloadObserver::NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
