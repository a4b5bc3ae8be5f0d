// quenlo-cli: the command-line side of Quenlo, for administrators of many
// printers and for vendors preparing a package. Built from the same cores as
// the wizard, without widgets.
#include "cli/CliUsage.h"
#include "cli/Fleet.h"
#include "cli/FleetCommands.h"
#include "cli/PackageCheck.h"
#include "cli/PackageLocation.h"
#include "history/History.h"
#include "settings/SettingsData.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char kVersion[] = QUENLO_VERSION;

// Results go here; standard output itself carries the cores' diagnostic
// lines, which must never mix into a JSON or CSV result.
FILE* g_out = stdout;

const char kMainHelp[] = R"(Usage: quenlo-cli [--package PATH] COMMAND [OPTIONS]

Works with a Quenlo firmware update package from the command line.

Commands:
  list            list the printers of the package's model
  update          send the package to printers, many at once
  package check   check a package before shipping it
  history         show past firmware updates, newest first

Global options (before the command):
  --package PATH  the package folder, or its settings file (.plist). In a
                  folder the settings file is the one .plist whose name, less
                  ".plist", names an executable file beside it. Default: the
                  folder that holds quenlo-cli.
  --verbose       let the diagnostic lines of the printer exchanges through
                  to standard error
  -h, --help      show this help; "quenlo-cli COMMAND --help" for a command
  --version       show the version

Exit status: 0 when everything went well, 1 when something is wrong,
2 for a usage error or a package that cannot be used.
)";

const char kPackageCheckHelp[] =
    R"(Usage: quenlo-cli [--package PATH] package check [--write-checksums]

Checks a package as its vendor would before shipping it: the settings file is
readable and not too large or deep; every key has the right kind and lies
within its bound; every firmware file named is present, a regular file inside
the package folder, under 2 GiB, readable, and matches its SHA256 key when the
section has one. Prints one line per finding:
  error:    the package should not ship like this
  warning:  the package works, but look at it
  ok:       a firmware file that passed, with its size and SHA-256

Options:
  --write-checksums  add or renew the SHA256 key (hexadecimal SHA-256) in
                     every firmware section whose file is usable, keeping
                     every other key; the wizard and quenlo-cli then refuse
                     to send a file that no longer matches.
  -h, --help         show this help

Exit status: 0 when nothing is wrong, 1 when something is, 2 for a usage error.
)";

const char kHistoryHelp[] = R"(Usage: quenlo-cli history [--json]

Shows past firmware updates, newest first: one line per printer and update,
from the wizard and from quenlo-cli alike, read from
$XDG_STATE_HOME/quenlo/history.jsonl (~/.local/state/quenlo/history.jsonl
when XDG_STATE_HOME is not set).

Options:
  --json      print {"format": 1, "history": [...]} with time, program,
              model, address, name, files, outcome and message of each entry
  -h, --help  show this help
)";

void Print(FILE* stream, const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stream);
}

int PackageCheckCommand(const PackageLocation& location, const QStringList& arguments) {
    PackageCheckOptions options;
    for (const QString& argument : arguments) {
        if (IsHelp(argument)) {
            std::fputs(kPackageCheckHelp, g_out);
            return kExitOk;
        }
        if (argument == QLatin1String("--write-checksums"))
            options.writeChecksums = true;
        else
            return Usage(QStringLiteral("package check: unknown option %1").arg(argument),
                         "package check");
    }
    const PackageReport report = CheckPackage(location, options);
    for (const QString& line : report.errors)
        Print(g_out, QStringLiteral("error: %1\n").arg(line));
    for (const QString& line : report.warnings)
        Print(g_out, QStringLiteral("warning: %1\n").arg(line));
    for (const QString& line : report.notes)
        Print(g_out, QStringLiteral("ok: %1\n").arg(line));
    if (report.errors.isEmpty())
        Print(g_out, QStringLiteral("%1: no problems found\n").arg(location.settingsPath));
    else
        Print(g_out, QStringLiteral("%1: %2 problem(s) found\n")
                         .arg(location.settingsPath)
                         .arg(report.errors.size()));
    return report.errors.isEmpty() ? kExitOk : kExitSomethingWrong;
}

int HistoryCommand(const QStringList& arguments) {
    bool json = false;
    for (const QString& argument : arguments) {
        if (IsHelp(argument)) {
            std::fputs(kHistoryHelp, g_out);
            return kExitOk;
        }
        if (argument == QLatin1String("--json"))
            json = true;
        else
            return Usage(QStringLiteral("history: unknown option %1").arg(argument), "history");
    }
    QString error;
    const std::vector<HistoryEntry> entries = ReadHistory(&error);
    if (!error.isEmpty()) {
        Print(stderr, QStringLiteral("quenlo-cli: history: %1\n").arg(error));
        return kExitSomethingWrong;
    }
    if (json) {
        QJsonArray array;
        for (const HistoryEntry& entry : entries)
            array.append(HistoryEntryToJson(entry));
        std::fputs(JsonListDocument(QStringLiteral("history"), array).constData(), g_out);
        return kExitOk;
    }
    if (entries.empty()) {
        std::fputs("No updates recorded yet.\n", g_out);
        return kExitOk;
    }
    Print(g_out, QStringLiteral("%1  %2  %3  %4  %5  %6\n")
                     .arg(QStringLiteral("TIME (UTC)"), -20)
                     .arg(QStringLiteral("PROGRAM"), -10)
                     .arg(QStringLiteral("MODEL"), -12)
                     .arg(QStringLiteral("ADDRESS"), -26)
                     .arg(QStringLiteral("NAME"), -20)
                     .arg(QStringLiteral("OUTCOME")));
    for (const HistoryEntry& entry : entries) {
        Print(g_out, QStringLiteral("%1  %2  %3  %4  %5  %6\n")
                         .arg(entry.time.toUTC().toString(Qt::ISODate), -20)
                         .arg(entry.program, -10)
                         .arg(entry.model, -12)
                         .arg(entry.address, -26)
                         .arg(entry.name, -20)
                         .arg(entry.outcome));
    }
    return kExitOk;
}

// Reads the package's settings as the wizard does; false (with the reason on
// standard error) when they cannot be used. A list needs only the settings;
// an update needs the whole package sound (its files matching their sums is
// checked by the update itself).
bool LoadCliPackage(const PackageLocation& location, bool whole, PackageReport* checked) {
    UsePackage(location);
    PackageReport& report = *checked;
    // The files' sums are the update's to check, while it finds the printers.
    PackageCheckOptions options;
    options.hashFiles = false;
    report = CheckPackage(location, options);
    if (!whole)
        report.errors.removeIf(
            [](const QString& error) { return error.startsWith(QLatin1String("Fw")); });
    if (!QFileInfo(location.settingsPath).isFile() || !report.errors.isEmpty()) {
        for (const QString& error : report.errors)
            Print(stderr, QStringLiteral("quenlo-cli: %1\n").arg(error));
        Print(stderr, QStringLiteral("quenlo-cli: %1 cannot be used; \"quenlo-cli package "
                                     "check\" tells more\n")
                          .arg(location.settingsPath));
        return false;
    }
    LoadPackageSettings();
    return true;
}

// Results keep the real standard output; the descriptor 1 that the cores'
// printf lines use goes to /dev/null, or to standard error with --verbose.
void SeparateDiagnostics(bool verbose) {
    std::fflush(stdout);
    const int results = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    if (results < 0)
        return;
    FILE* out = ::fdopen(results, "w");
    if (out == nullptr) {
        ::close(results);
        return;
    }
    const int sink = verbose ? ::dup(STDERR_FILENO) : ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (sink >= 0) {
        ::dup2(sink, STDOUT_FILENO);
        ::close(sink);
    }
    g_out = out;
}

int Run(QCoreApplication& app);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(QString::fromLatin1(kVersion));
    const int status = Run(app);
    std::fflush(g_out);
    return status;
}

namespace {

int Run(QCoreApplication& app) {
    QStringList arguments = app.arguments();
    arguments.removeFirst();
    SeparateDiagnostics(arguments.contains(QStringLiteral("--verbose")));

    QString packagePath;
    bool packageGiven = false;
    while (!arguments.isEmpty() && arguments.first().startsWith(QLatin1Char('-'))) {
        const QString option = arguments.takeFirst();
        if (IsHelp(option)) {
            std::fputs(kMainHelp, g_out);
            return kExitOk;
        }
        if (option == QLatin1String("--version")) {
            Print(g_out,
                  QStringLiteral("quenlo-cli %1\n").arg(QCoreApplication::applicationVersion()));
            return kExitOk;
        }
        if (option == QLatin1String("--verbose"))
            continue;
        if (option == QLatin1String("--package")) {
            if (arguments.isEmpty())
                return Usage(QStringLiteral("--package needs a path"), "");
            packagePath = arguments.takeFirst();
            packageGiven = true;
        } else if (option.startsWith(QLatin1String("--package="))) {
            packagePath = option.mid(10);
            packageGiven = true;
        } else {
            return Usage(QStringLiteral("unknown option %1").arg(option), "");
        }
    }
    if (packageGiven && packagePath.isEmpty())
        return Usage(QStringLiteral("--package needs a path"), "");
    if (arguments.isEmpty())
        return Usage(QStringLiteral("no command given"), "");

    const QString command = arguments.takeFirst();
    if (command == QLatin1String("history"))
        return HistoryCommand(arguments);
    if (command == QLatin1String("list") || command == QLatin1String("update")) {
        const bool wantsHelp = std::any_of(arguments.begin(), arguments.end(), IsHelp);
        if (wantsHelp) {
            std::fputs(command == QLatin1String("list") ? kListHelp : kUpdateHelp, g_out);
            return kExitOk;
        }
        // A usage error is told before anything is read.
        const bool list = command == QLatin1String("list");
        ListOptions listOptions;
        UpdateOptions updateOptions;
        const int parsed = list ? ParseListOptions(arguments, &listOptions, g_out)
                                : ParseUpdateOptions(arguments, &updateOptions, g_out);
        if (parsed >= 0)
            return parsed;
        PackageLocation location;
        QString why;
        if (!LocatePackage(packagePath, QFileInfo(app.applicationFilePath()).fileName(), &location,
                           &why)) {
            Print(stderr, QStringLiteral("quenlo-cli: %1\n").arg(why));
            return kExitUsage;
        }
        PackageReport checked;
        if (!LoadCliPackage(location, !list, &checked))
            return kExitUsage;
        return list ? ListCommand(listOptions, g_out) : UpdateCommand(updateOptions, g_out);
    }
    if (command != QLatin1String("package"))
        return Usage(QStringLiteral("unknown command %1").arg(command), "");

    if (arguments.isEmpty())
        return Usage(QStringLiteral("package: give a subcommand (check)"), "package check");
    if (IsHelp(arguments.first())) {
        std::fputs(kPackageCheckHelp, g_out);
        return kExitOk;
    }
    if (arguments.takeFirst() != QLatin1String("check"))
        return Usage(QStringLiteral("package: the only subcommand is check"), "package check");

    const bool wantsHelp = std::any_of(arguments.begin(), arguments.end(), IsHelp);
    PackageLocation location;
    QString why;
    if (!wantsHelp && !LocatePackage(packagePath, QFileInfo(app.applicationFilePath()).fileName(),
                                     &location, &why)) {
        Print(stderr, QStringLiteral("quenlo-cli: %1\n").arg(why));
        return kExitUsage;
    }
    return PackageCheckCommand(location, arguments);
}

} // namespace
