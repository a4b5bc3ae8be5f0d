// Measuring helper for bench/download_net.sh; runs inside its private network.
//   download_net_bench PACKAGE-DIR ADDRESS
// Opens the wizard on the package in PACKAGE-DIR (Quenlo.plist and its
// firmware files), lists the printer at ADDRESS, ticks it and presses Next,
// as a user would. Prints one line: the seconds from the progress dialog
// appearing to the completion message, which comes once the printer has
// acknowledged every byte (the address check before it is not counted), the
// bytes the package holds and the process's peak memory in KiB. Exit 1
// unless the completion message was shown.
#include "BenchWizard.h"
#include "settings/BundleUtilities.h"
#include "toolbox/ToolboxTesting.h"
#include "wizard/mainwindow.h"

#include <QApplication>
#include <QEvent>
#include <QFileInfo>
#include <QWidget>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>
#include <unistd.h>

using Clock = std::chrono::steady_clock;

namespace {

// Notes when the progress dialog is shown.
class ProgressWatch : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!watched->isWidgetType() || !static_cast<QWidget*>(watched)->isWindow() ||
            !static_cast<QWidget*>(watched)->windowTitle().startsWith(stringDownloading))
            return false;
        if (event->type() == QEvent::Show && !started) {
            started = true;
            start = Clock::now();
        }
        return false;
    }
    bool started = false;
    Clock::time_point start;
};

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: download_net_bench PACKAGE-DIR ADDRESS\n");
        return 2;
    }
    const int out = QuietOffscreen();
    if (out < 0)
        return 2;
    int qtArgc = 1;
    QApplication application(qtArgc, argv);
    QApplication::setQuitOnLastWindowClosed(false);

    CBundle bundle;
    UsePackageFolder(argv[1], bundle);

    ProgressWatch watch;
    application.installEventFilter(&watch);
    bool completed = false;
    Clock::time_point end;
    tb::test::CaptureAlerts(true);
    tb::test::SetAlertObserver([&](const tb::test::AlertRecord& alert) {
        if (alert.explanation == QString::fromLatin1(stringSUCCESS)) {
            completed = true;
            end = Clock::now();
        }
    });

    MainWindow::Create();
    if (g_pMainWindow == nullptr)
        return 2;
    g_pMainWindow->ShowPage(3);
    g_pMainWindow->AddNetworkIP(argv[2]);
    m_Settings.bNetworkChecked[0] = 1;
    tb::SendCommand(g_pMainWindow->GetWindowRef(), kCommandNext);

    long long bytes = 0;
    for (int j = 0; j < m_Settings.FirmwareCount(); ++j)
        bytes += QFileInfo(GetAPDirectoryFileName(m_Settings.BinfileListdata[j].szFileName, true))
                     .size();
    delete g_pMainWindow;
    tb::Shutdown();
    SetMainBundleOverride(nullptr);
    if (!completed || !watch.started)
        return 1;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    dprintf(out, "%.6f %lld %ld\n", std::chrono::duration<double>(end - watch.start).count(), bytes,
            usage.ru_maxrss);
    return 0;
}
