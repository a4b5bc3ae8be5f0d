// Measuring helper for bench/refresh.sh; runs inside its private network.
//   refresh_bench PACKAGE-DIR [COMMUNITY]
// Opens the wizard on the package in PACKAGE-DIR, types COMMUNITY (when
// given) into the Community field and runs the network list's Refresh once,
// as the Refresh button does. Prints one line: the
// seconds it took, the rows listed, and how many of them show a name read
// from the printer (not the package's model name).
#include "BenchWizard.h"
#include "settings/BundleUtilities.h"
#include "toolbox/ToolboxTesting.h"
#include "wizard/mainwindow.h"

#include <QApplication>
#include <QFileInfo>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

using Clock = std::chrono::steady_clock;

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: refresh_bench PACKAGE-DIR [COMMUNITY]\n");
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
    tb::test::CaptureAlerts(true);

    MainWindow::Create();
    if (g_pMainWindow == nullptr)
        return 2;
    g_pMainWindow->ShowPage(3);
    if (argc == 3) {
        tb::Control* field = nullptr;
        tb::GetControlByID(g_pMainWindow->GetWindowRef(), controlNetworkEditCommunity, &field);
        tb::SetControlText(field, QString::fromLocal8Bit(argv[2]));
    }
    const auto start = Clock::now();
    g_pMainWindow->NetworkRefresh();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    int named = 0;
    for (int i = 0; i < m_Settings.nNetworkCount; ++i)
        named += m_Settings.NetworkListdata[i].szPrinterName != m_Settings.szModelName ? 1 : 0;
    dprintf(out, "%.6f %d %d\n", seconds, m_Settings.nNetworkCount, named);
    delete g_pMainWindow;
    tb::Shutdown();
    SetMainBundleOverride(nullptr);
    return 0;
}
