// Start-up: the application object, the one main window, the event loop.
#include "wizard/CarbonApp.h"
#include "wizard/PackageChooser.h"
#include "wizard/mainwindow.h"

#include <QDir>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifndef QUENLO_VERSION
#define QUENLO_VERSION "unknown"
#endif

namespace {

void PrintHelp(const char* program) {
    std::printf("Usage: %s [--package FOLDER] [Qt options]\n"
                "       %s --help | --version\n"
                "\n"
                "Sends a firmware update package to network or USB printers of its model,\n"
                "through a four-page wizard. A copy of the program inside a package folder,\n"
                "beside its settings file, opens that package; otherwise the program asks\n"
                "for the package folder first (starting in the one chosen last).\n"
                "\n"
                "  --package FOLDER  open the package in FOLDER (or the settings file given)\n"
                "                    without asking; its settings file is the folder's one\n"
                "                    .plist, or of several the one named after the program\n"
                "  -h, --help        print this help and exit\n"
                "  -v, --version     print the version and exit\n"
                "\n"
                "Qt's own options are understood too, for example -style NAME or\n"
                "-platform NAME. Environment: QUENLO_PICTURES=FOLDER saves a picture of\n"
                "each page there instead of waiting for the user (needs no display; asks\n"
                "for no package).\n",
                program, program);
}

// --help and --version answer before any window exists; 0 when neither was
// asked for.
int AnswerInformationOptions(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            PrintHelp(argv[0]);
            return 1;
        }
        if (std::strcmp(arg, "--version") == 0 || std::strcmp(arg, "-v") == 0) {
            std::printf("Quenlo %s\n", QUENLO_VERSION);
            return 1;
        }
    }
    return 0;
}

bool AsksForPlatform(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0 ||
            std::strncmp(argv[i], "-platform=", 10) == 0)
            return true;
    }
    return false;
}

bool HasDisplay() {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform != nullptr && *platform != '\0')
        return true;
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0')
            return true;
    }
    return false;
}

// One picture per page of the open main window, page1.png to page4.png.
bool SavePictures(const QString& folder) {
    MainWindow* window = g_pMainWindow;
    if (window == nullptr || !QDir().mkpath(folder))
        return false;
    bool saved = true;
    for (int page = 1; page <= kPageCount; ++page) {
        window->ShowPage(page);
        tb::DispatchPendingEvents();
        const QString path = QDir(folder).filePath(QStringLiteral("page%1.png").arg(page));
        if (tb::SaveWindowPicture(window->GetWindowRef(), path)) {
            std::printf("Quenlo: saved %s\n", qPrintable(path));
        } else {
            std::fprintf(stderr, "Quenlo: could not save %s\n", qPrintable(path));
            saved = false;
        }
    }
    return saved;
}

} // namespace

int main(int argc, char** argv) {
    const auto started = std::chrono::steady_clock::now();
    if (AnswerInformationOptions(argc, argv) != 0)
        return 0;
    const QString pictures = QString::fromLocal8Bit(qgetenv("QUENLO_PICTURES"));
    if (!HasDisplay() && !AsksForPlatform(argc, argv)) {
        if (pictures.isEmpty()) {
            std::fprintf(stderr, "Quenlo: no display (DISPLAY and WAYLAND_DISPLAY are not set). "
                                 "Set QUENLO_PICTURES to a folder to save pictures of the "
                                 "wizard's pages instead.\n");
            return 1;
        }
        std::fprintf(stderr, "Quenlo: no display; saving pictures of the pages only.\n");
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    // Qt takes its own options (-style, -platform, ...) out of the list.
    const tb::ApplicationScope application(argc, argv);
    QStringList rest = application.Arguments().mid(1);
    QString package;
    if (!rest.isEmpty() && rest.first().startsWith(QLatin1String("--package="))) {
        package = rest.takeFirst().mid(10);
    } else if (!rest.isEmpty() && rest.first() == QLatin1String("--package")) {
        rest.removeFirst();
        package = rest.isEmpty() ? QString() : rest.takeFirst();
        if (package.isNull())
            package = QLatin1String("");
    }
    if (package.isEmpty() && !package.isNull()) {
        std::fprintf(stderr, "Quenlo: --package needs a folder (see %s --help)\n", argv[0]);
        return 2;
    }
    if (!rest.isEmpty()) {
        std::fprintf(stderr, "Quenlo: unknown argument \"%s\" (see %s --help)\n",
                     qPrintable(rest.first()), argv[0]);
        return 2;
    }
    tb::SetApplicationIdentity(QStringLiteral("org.quenlo.Quenlo"),
                               QStringLiteral(":/icons/org.quenlo.Quenlo.svg"));
    tb::InstallStringTableForUserLocale();
    // Nobody could dismiss an alert while only pictures are taken: they are
    // answered at once (and their text is still printed where it is made).
    if (!pictures.isEmpty())
        tb::AnswerAlertsAtOnce(true);

    switch (OpenPackage(package, pictures.isEmpty())) {
    case PackageOpening::Cancelled:
        std::printf("Quenlo: no update package chosen\n");
        tb::Shutdown();
        return 0;
    case PackageOpening::Refused:
        tb::Shutdown();
        return 2;
    case PackageOpening::Empty:
        std::fprintf(stderr, "Quenlo: no settings file beside the program and no --package: "
                             "the pages show no package.\n");
        break;
    case PackageOpening::Beside:
    case PackageOpening::Opened:
        break;
    }

    int status = 0;
    {
        CarbonApp app;
        MainWindow::Create();
        if (g_pMainWindow == nullptr) {
            std::fprintf(stderr, "Quenlo: the main window could not be opened.\n");
            status = 1;
        } else {
            // Let the window reach the screen before taking the time.
            tb::DispatchPendingEvents();
            const std::chrono::duration<double, std::milli> shown =
                std::chrono::steady_clock::now() - started;
            std::printf("Quenlo: main window shown %.1f ms after start\n", shown.count());
            std::fflush(stdout);
            if (!pictures.isEmpty())
                status = SavePictures(pictures) ? 0 : 1;
            else
                app.Run();
        }
        // Quit from the menu leaves the window open.
        delete g_pMainWindow;
    }
    tb::Shutdown();
    return status;
}
