// quenlo-demo: the wizard on the package beside this program, driven without
// a display along one road, with pictures of every step.
//   quenlo-demo [--road NAME] PICTURE-FOLDER      (road: network, usb or printers)
// Placed in a package folder like the program itself; it reads the package's
// Quenlo.plist. Exit status 0 when the road ended as expected.
#include "DemoDriver.h"
#include "settings/BundleUtilities.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const DemoRoad kRoads[] = {
    {"network", "page 1, port, printer search, download to every printer found", RunNetworkRoad},
    {"usb", "page 1, port, the attached USB printer, download to it", RunUsbRoad},
    {"printers", "page 1, port, printer search, every printer ticked; nothing is sent",
     RunPrinterListRoad},
};

int Usage() {
    std::fprintf(stderr, "usage: quenlo-demo [--road NAME] PICTURE-FOLDER\nroads:\n");
    for (const DemoRoad& road : kRoads)
        std::fprintf(stderr, "  %-8s %s\n", road.name, road.description);
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    const char* roadName = "network";
    const char* folder = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--road") == 0 && i + 1 < argc)
            roadName = argv[++i];
        else if (argv[i][0] != '-' && folder == nullptr)
            folder = argv[i];
        else
            return Usage();
    }
    const DemoRoad* road = nullptr;
    for (const DemoRoad& r : kRoads)
        if (std::strcmp(r.name, roadName) == 0)
            road = &r;
    if (road == nullptr || folder == nullptr)
        return Usage();

    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    int qtArgc = 1;
    QApplication application(qtArgc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    tb::InstallStringTableForUserLocale();
    if (!QDir().mkpath(QString::fromLocal8Bit(folder))) {
        std::fprintf(stderr, "quenlo-demo: cannot make %s\n", folder);
        return 1;
    }
    // The package is the folder this program lies in, read as the program's.
    const QString self = QFileInfo(QString::fromLocal8Bit("/proc/self/exe")).canonicalFilePath();
    CBundle bundle;
    bundle.executablePath = QFileInfo(self).absolutePath() + QStringLiteral("/Quenlo");
    bundle.identifier = QStringLiteral("Quenlo");
    SetMainBundleOverride(&bundle);

    bool ok = false;
    {
        DemoDriver driver(QString::fromLocal8Bit(folder));
        if (!driver.OpenWizard())
            driver.Fail(QStringLiteral("the wizard could not be opened"));
        else
            ok = road->run(driver);
        driver.Log(ok ? QStringLiteral("road \"%1\" done").arg(road->name)
                      : QStringLiteral("road \"%1\" did not end as expected").arg(road->name));
    }
    tb::Shutdown();
    SetMainBundleOverride(nullptr);
    return ok ? 0 : 1;
}
