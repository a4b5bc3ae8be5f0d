#include "cli/FleetOptions.h"

#include "cli/CliUsage.h"
#include "cli/Fleet.h"
#include "cli/OutputFile.h"
#include "settings/AsciiText.h"

const char kListHelp[] = R"(Usage: quenlo-cli [--package PATH] list [OPTIONS]

Lists the printers of the package's model with address, name, firmware
version and status. Printers are found by IPv4 broadcast and IPv6 multicast
on the local links, as the wizard finds them, plus every host of each
--subnet and each --address. A printer that answers on several addresses
(the same serial number, or an IPv6 link-local address made from the
hardware address of an IPv4 one) is listed once with all of them.

Options:
  --json              print {"format": 1, "printers": [...]} with address,
                      addresses, name, serial, firmware and status
  --csv               print the same columns as CSV
  --community TEXT    SNMP community (default: orchid)
  --subnet CIDR       also ask every host of this IPv4 range by unicast
                      (at most a /16; repeatable; 1000 requests per second
                      in all)
  --address ADDR      also ask this IPv4 or IPv6 address (repeatable)
  --no-broadcast      do not broadcast or multicast; only --subnet and
                      --address are asked
  --usb               list the attached USB printer of the model instead
  -h, --help          show this help

Exit status: 0 when the search ran (even if it found nothing), 2 for a usage
error or a package that cannot be used.
)";

const char kUpdateHelp[] =
    R"(Usage: quenlo-cli [--package PATH] update (--all | ADDR... | --usb) [OPTIONS]

Sends the package to each chosen printer: every firmware file whole and in
order, each followed by its marker, exactly as the wizard sends it, up to N
printers at a time. A package whose files do not match their SHA256 keys
sends nothing.

Which printers:
  --all               every printer that "list" finds with the same options
  ADDR...             these addresses; one that does not answer as the
                      package's model is reported "unreachable"
  --usb               the attached USB printer of the model

Options:
  --parallel N        printers updated at once (default 4, at most 64)
  --verify            after a printer completes, wait for it to answer again
                      (asked every 5 s) and read its firmware version
  --verify-timeout S  how long to wait for it (default 600 seconds)
  --report FILE       write a report; FILE ending in .json gives JSON, in
                      .csv gives CSV
  --metrics FILE.prom write the run's figures for Prometheus (node_exporter's
                      textfile collector): printers per outcome, bytes sent,
                      durations, end time; replaced whole at the end of the run
  --dry-run           find and ask the printers, send nothing
  --community TEXT, --subnet CIDR, --address ADDR, --no-broadcast
                      as for "list"
  -h, --help          show this help

Outcomes: completed, failed, cancelled, unreachable, not-verified (completed
but did not answer in time), version-unchanged (came back with the version
it had), dry-run.

Ctrl+C cancels as the wizard's Cancel does: each running printer gets the
rest of its current file and the cancel marker; printers not yet started get
nothing. A second Ctrl+C ends the connections at once.

Exit status: 0 when every chosen printer completed (with --verify: and came
back with a new version; with --dry-run: answered), 1 when any printer ended
otherwise, 2 for a usage error or a package that cannot be used.
)";

namespace {

constexpr int kOptionsRead = -1;
constexpr int kMaxParallel = 64;

// Takes the value of an option given as "--name VALUE" or "--name=VALUE".
bool TakeValue(const QString& name, QStringList& arguments, QString* argument, QString* value) {
    if (*argument == name) {
        if (arguments.isEmpty())
            return false;
        *value = arguments.takeFirst();
        return true;
    }
    if (argument->startsWith(name + QLatin1Char('='))) {
        *value = argument->mid(name.size() + 1);
        return true;
    }
    return false;
}

// Search options shared by list and update; true when argument was one.
bool SearchOption(QString argument, QStringList& rest, SearchOptions& search, QString* problem) {
    QString value;
    if (TakeValue(QStringLiteral("--community"), rest, &argument, &value)) {
        char probe[kCTextSize];
        if (value.isEmpty() || !CopyAsciiText(value, probe))
            *problem = QStringLiteral("--community needs an ASCII text");
        search.community = value;
        return true;
    }
    if (TakeValue(QStringLiteral("--subnet"), rest, &argument, &value)) {
        QString why;
        if (!ParseSubnet(value, &why))
            *problem = why;
        search.subnets.append(value);
        return true;
    }
    if (TakeValue(QStringLiteral("--address"), rest, &argument, &value)) {
        search.addresses.append(value);
        return true;
    }
    if (argument == QLatin1String("--no-broadcast")) {
        search.broadcast = false;
        return true;
    }
    if (argument == QLatin1String("--usb")) {
        search.usb = true;
        return true;
    }
    if (argument == QLatin1String("--community") || argument == QLatin1String("--subnet") ||
        argument == QLatin1String("--address")) {
        *problem = QStringLiteral("%1 needs a value").arg(argument);
        return true;
    }
    return false;
}

} // namespace

int ParseListOptions(const QStringList& arguments, ListOptions* list, FILE* out) {
    SearchOptions& options = list->search;
    QStringList rest = arguments;
    while (!rest.isEmpty()) {
        const QString argument = rest.takeFirst();
        QString problem;
        if (IsHelp(argument)) {
            std::fputs(kListHelp, out);
            return kExitOk;
        }
        if (argument == QLatin1String("--json"))
            list->json = true;
        else if (argument == QLatin1String("--csv"))
            list->csv = true;
        else if (!SearchOption(argument, rest, options, &problem))
            return Usage(QStringLiteral("list: unknown option %1").arg(argument), "list");
        if (!problem.isEmpty())
            return Usage(QStringLiteral("list: %1").arg(problem), "list");
    }
    if (list->json && list->csv)
        return Usage(QStringLiteral("list: --json or --csv, not both"), "list");
    return kOptionsRead;
}

int ParseUpdateOptions(const QStringList& arguments, UpdateOptions* update, FILE* out) {
    SearchOptions& options = update->search;
    QStringList rest = arguments;
    while (!rest.isEmpty()) {
        QString argument = rest.takeFirst();
        QString problem, value;
        if (IsHelp(argument)) {
            std::fputs(kUpdateHelp, out);
            return kExitOk;
        }
        if (argument == QLatin1String("--all")) {
            update->all = true;
        } else if (argument == QLatin1String("--verify")) {
            update->verify = true;
        } else if (argument == QLatin1String("--dry-run")) {
            update->dryRun = true;
        } else if (TakeValue(QStringLiteral("--parallel"), rest, &argument, &value)) {
            bool ok = false;
            update->parallel = value.toInt(&ok);
            if (!ok || update->parallel < 1 || update->parallel > kMaxParallel)
                problem = QStringLiteral("--parallel takes 1 to %1").arg(kMaxParallel);
        } else if (TakeValue(QStringLiteral("--verify-timeout"), rest, &argument, &value)) {
            bool ok = false;
            update->verifyTimeoutS = value.toInt(&ok);
            if (!ok || update->verifyTimeoutS < 1 || update->verifyTimeoutS > 86400)
                problem = QStringLiteral("--verify-timeout takes 1 to 86400 seconds");
        } else if (TakeValue(QStringLiteral("--report"), rest, &argument, &value)) {
            update->report = value;
            if (!value.endsWith(QLatin1String(".json")) && !value.endsWith(QLatin1String(".csv")))
                problem = QStringLiteral("--report FILE must end in .json or .csv");
        } else if (TakeValue(QStringLiteral("--metrics"), rest, &argument, &value)) {
            update->metrics = value;
            // The textfile collector reads only these.
            if (!value.endsWith(QLatin1String(".prom")))
                problem = QStringLiteral("--metrics FILE must end in .prom");
        } else if (SearchOption(argument, rest, options, &problem)) {
        } else if (argument.startsWith(QLatin1Char('-'))) {
            problem = QStringLiteral("unknown option %1").arg(argument);
        } else {
            update->targets.append(argument);
        }
        if (!problem.isEmpty())
            return Usage(QStringLiteral("update: %1").arg(problem), "update");
    }
    const int choices = int(update->all) + int(!update->targets.isEmpty()) + int(options.usb);
    if (choices != 1)
        return Usage(QStringLiteral("update: choose the printers with --all, addresses or --usb"),
                     "update");
    // The files left for others are found writable before anything is read.
    QString unwritable;
    if (!update->report.isEmpty() && !CanReplaceFile(update->report, &unwritable))
        return Usage(QStringLiteral("update: --report %1").arg(unwritable), "update");
    if (!update->metrics.isEmpty() && !CanReplaceFile(update->metrics, &unwritable))
        return Usage(QStringLiteral("update: --metrics %1").arg(unwritable), "update");
    return kOptionsRead;
}
