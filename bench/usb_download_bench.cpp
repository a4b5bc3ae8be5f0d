// The whole USB firmware download of the wizard, timed: the package beside
// this program (a USB-only package: page 1 leads straight to the USB list),
// the attached printer ticked, Next pressed on page 4. Prints the time the
// download took, the throughput and the peak memory of this process.
//
//   usb_download_bench PACKAGE-DIR
#include "settings/BundleUtilities.h"
#include "toolbox/ToolboxTesting.h"
#include "wizard/mainwindow.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace {

long PeakKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: usb_download_bench PACKAGE-DIR\n");
        return 2;
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    int qtArgc = 1;
    QApplication application(qtArgc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    CBundle bundle;
    bundle.executablePath =
        QDir(QString::fromLocal8Bit(argv[1])).filePath(QStringLiteral("Quenlo"));
    bundle.identifier = QStringLiteral("Quenlo");
    SetMainBundleOverride(&bundle);
    tb::test::CaptureAlerts(true);

    int status = 1;
    MainWindow::Create();
    if (g_pMainWindow != nullptr) {
        g_pMainWindow->OnNext();
        if (g_pMainWindow->CurrentPage() == 4 && m_Settings.nUSBCount == 1) {
            m_Settings.bUSBChecked[0] = 1;
            g_pMainWindow->EnableNextControl();
            const long before = PeakKiB();
            const auto start = std::chrono::steady_clock::now();
            g_pMainWindow->OnNext();
            const double seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            const auto alerts = tb::test::TakeAlerts();
            const bool completed =
                alerts.size() == 1 && alerts[0].explanation == QString::fromLatin1(stringSUCCESS);
            const QString file =
                GetAPDirectoryFileName(m_Settings.BinfileListdata[0].szFileName, true);
            const double mib = double(QFileInfo(file).size()) / 1048576.0;
            std::printf("bench: %.0f MiB through the USB download in %.3f s = %.1f MiB/s; "
                        "peak RSS before %ld KiB, after %ld KiB; %s\n",
                        mib, seconds, mib / seconds, before, PeakKiB(),
                        completed ? "completed" : "NOT completed");
            status = completed ? 0 : 1;
        } else {
            std::fprintf(stderr, "usb_download_bench: the USB printer is not listed\n");
        }
        delete g_pMainWindow;
    }
    tb::test::CaptureAlerts(false);
    tb::Shutdown();
    SetMainBundleOverride(nullptr);
    return status;
}
