#include "cli/FleetCommands.h"

#include "cli/Fleet.h"
#include "cli/FleetUpdate.h"
#include "cli/Metrics.h"
#include "cli/OutputFile.h"
#include "cli/Sweep.h"
#include "history/History.h"
#include "net/NetIO.h"
#include "settings/AsciiText.h"
#include "settings/BundleUtilities.h"
#include "settings/Checksum.h"
#include "settings/SettingsData.h"
#include "transfer/Roads.h"
#include "usb/UsbPrinterInfo.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>

#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <future>
#include <thread>

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

constexpr int kExitOk = 0;
constexpr int kExitSomethingWrong = 1;
constexpr int kExitUsage = 2;
constexpr int kOptionsRead = -1;
constexpr int kPrintPort = 9100;
constexpr int kMaxParallel = 64;
constexpr int kVerifyIntervalMs = 5000;

CancelRequests g_cancel;

void OnInterrupt(int) {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    g_cancel.Signalled(int64_t(now.tv_sec) * 1000 + now.tv_nsec / 1000000);
}

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

int Usage(const QString& problem, const char* command) {
    std::fprintf(stderr, "quenlo-cli: %s\nTry \"quenlo-cli %s --help\".\n",
                 problem.toLocal8Bit().constData(), command);
    return kExitUsage;
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

bool IsV6(const std::string& address) {
    return address.find(':') != std::string::npos;
}

void AddOnce(std::vector<std::string>& found, const std::string& address) {
    if (std::find(found.begin(), found.end(), address) == found.end())
        found.push_back(address);
}

bool FoundCallback(char* address, char*, void* context) {
    if (address != nullptr)
        AddOnce(*static_cast<std::vector<std::string>*>(context), address);
    return true;
}

// Asks one address whether it is a printer of the model: the wizard's check
// before each printer. `scopeId` is the IPv6 interface asked through (0:
// every usable one); a link-local printer found without one sets it.
bool Probe(const std::string& address, const char* community, const char* model, int& scopeId) {
    std::vector<std::string> found;
    CNetIO net(scopeId);
    if (IsV6(address))
        net.FindSnmpAgentV6(community, address.c_str(), model, FoundCallback, &found, false);
    else
        net.FindSnmpAgent(community, address.c_str(), model, FoundCallback, &found, false);
    scopeId = net.ScopeId();
    return !found.empty();
}

// Name, firmware, status and serial of each address, all asked together.
std::vector<FleetPrinter> Describe(const std::vector<std::string>& addresses, const char* community,
                                   int scopeId) {
    std::vector<PRINTER_QUERY> queries(addresses.size());
    for (size_t i = 0; i < addresses.size(); ++i)
        queries[i].address = addresses[i].c_str();
    if (!queries.empty()) {
        CNetIO net(scopeId);
        net.QueryPrinters(community, queries.data(), int(queries.size()));
    }
    std::vector<FleetPrinter> printers;
    for (PRINTER_QUERY& q : queries) {
        FleetPrinter printer;
        printer.address = QString::fromLatin1(q.address);
        printer.addresses = QStringList{printer.address};
        printer.name = q.bNameRead ? QString::fromUtf8(q.szName) : m_Settings.szModelName;
        printer.firmware = QString::fromUtf8(q.szVersion);
        printer.status = QString::fromLatin1(ShownStatusName(&q.status));
        printer.serial = QString::fromLatin1(DeviceIdField(q.szDeviceId, "SERN").c_str());
        printers.push_back(printer);
    }
    return printers;
}

// On a worker thread: the interface is the search's, and what this probe
// finds of it stays here.
std::optional<QString> ProbeVersion(const FleetPrinter& printer, const char* community,
                                    const char* model, int scopeId) {
    const std::string address = printer.address.toStdString();
    if (!Probe(address, community, model, scopeId))
        return std::nullopt;
    const std::vector<FleetPrinter> described = Describe({address}, community, scopeId);
    if (described.empty())
        return std::nullopt;
    return described.front().firmware;
}

struct Search {
    char community[kCTextSize] = {};
    char model[kCTextSize] = {};
    // The IPv6 interface the printers were found on: set while they are
    // found, only read once the workers run.
    int scopeId = 0;
};

bool PrepareSearch(const SearchOptions& options, Search* search, QString* problem) {
    CopyAsciiText(options.community, search->community);
    if (!CopyAsciiText(m_Settings.szSysOID, search->model) || search->model[0] == '\0') {
        *problem = QStringLiteral("the package names no SysOID: it is for USB only (use --usb)");
        return false;
    }
    return true;
}

// Every printer of the model that the options reach, one entry per printer.
// The broadcast, the multicast and the sweep run at once, so that a list
// costs one quiet period, not one per way of asking; rows keep the order
// IPv4 broadcast, IPv6 multicast, sweep, typed addresses.
std::vector<FleetPrinter> FindPrinters(const SearchOptions& options, Search& search) {
    std::vector<std::string> v4, v6, swept, typed;
    int multicastScope = search.scopeId, typedScope = search.scopeId;
    std::vector<std::thread> askers;
    if (options.broadcast) {
        askers.emplace_back([&] {
            CNetIO net;
            net.FindSnmpAgent(search.community, "255.255.255.255", search.model, FoundCallback, &v4,
                              true);
        });
        askers.emplace_back([&] {
            CNetIO net(search.scopeId);
            net.FindSnmpAgentV6(search.community, "ff02::1", search.model, FoundCallback, &v6,
                                true);
            multicastScope = net.ScopeId();
        });
    }
    std::vector<std::string> hosts;
    for (const QString& text : options.subnets) {
        QString why;
        for (const QString& host : SubnetHosts(*ParseSubnet(text, &why)))
            hosts.push_back(host.toStdString());
    }
    for (const QString& address : options.addresses)
        if (!IsV6(address.toStdString()))
            hosts.push_back(address.toStdString());
    if (!hosts.empty())
        askers.emplace_back([&] { swept = SweepAgents(hosts, search.community, search.model); });
    for (const QString& address : options.addresses) {
        const std::string text = address.toStdString();
        if (IsV6(text) && Probe(text, search.community, search.model, typedScope))
            typed.push_back(text);
    }
    for (std::thread& asker : askers)
        asker.join();
    // The multicast's rows come first, and so does its interface.
    search.scopeId = multicastScope > 0 ? multicastScope : typedScope;
    std::vector<std::string> found;
    for (const auto* list : {&v4, &v6, &swept, &typed})
        for (const std::string& address : *list)
            AddOnce(found, address);
    return MergeSamePrinters(Describe(found, search.community, search.scopeId),
                             ReadNeighbourTable());
}

std::optional<FleetPrinter> FindUsbPrinter() {
    UsbPrinterRow row;
    if (!ReadUsbPrinter(&row))
        return std::nullopt;
    FleetPrinter printer;
    printer.address = QStringLiteral("usb");
    printer.addresses = QStringList{printer.address};
    printer.serial = QString::fromUtf8(row.serial.c_str());
    printer.name = QString::fromUtf8(row.name.c_str());
    printer.firmware = QString::fromUtf8(row.firmware.c_str());
    printer.status = QString::fromLatin1(ShownStatusName(&row.status));
    return printer;
}

void PrintTable(const std::vector<FleetPrinter>& printers, FILE* out) {
    std::fprintf(out, "%-28s %-24s %-12s %-14s %s\n", "ADDRESS", "NAME", "FIRMWARE", "STATUS",
                 "SERIAL");
    for (const FleetPrinter& p : printers) {
        std::fprintf(out, "%-28s %-24s %-12s %-14s %s\n", p.address.toUtf8().constData(),
                     p.name.toUtf8().constData(), p.firmware.toUtf8().constData(),
                     p.status.toUtf8().constData(), p.serial.toUtf8().constData());
        for (qsizetype i = 1; i < p.addresses.size(); ++i)
            std::fprintf(out, "  also %s\n", p.addresses[i].toUtf8().constData());
    }
    std::fprintf(out, "%zu printer(s) of %s\n", printers.size(),
                 m_Settings.szModelName.toUtf8().constData());
}

// The package's files for the report, with the SHA-256 that the check before
// sending read, or else the one a printer's transfer read.
std::vector<PackageFile> PackageFiles(const QStringList& checked,
                                      const std::vector<PrinterOutcome>& printers) {
    std::vector<PackageFile> files;
    for (int i = 0; i < m_Settings.FirmwareCount(); ++i) {
        const BINFILE_LIST_DATA& entry = m_Settings.BinfileListdata[i];
        PackageFile file;
        file.name = entry.szFileName;
        file.size = entry.szFileSize.toLongLong();
        if (i < checked.size())
            file.sha256 = checked[i];
        for (const PrinterOutcome& printer : printers)
            if (file.sha256.isEmpty() && i < printer.sha256.size())
                file.sha256 = printer.sha256[i];
        files.push_back(file);
    }
    return files;
}

// The pre-send check of the files that carry SHA256 keys, on a thread of its
// own while the printers are found and asked; nothing for a package without.
class ChecksumCheck {
public:
    explicit ChecksumCheck(const std::vector<FirmwareEntry>& files) : m_files(files) {
        std::vector<ChecksumJob> jobs = ChecksumJobs(files);
        if (jobs.empty())
            return;
        m_running = std::async(std::launch::async, [this, jobs = std::move(jobs)] {
            m_match = RunChecksums(jobs, &m_mismatch, &m_digests);
        });
    }
    // Waits for it; false with the file when one does not match.
    bool Match(QString* file) {
        if (m_running.valid())
            m_running.get();
        *file = m_mismatch;
        return m_match;
    }
    // Per firmware index: the SHA-256 read by the check, empty for a file
    // without a key.
    QStringList Digests() const {
        QStringList digests;
        int job = 0;
        for (const FirmwareEntry& file : m_files)
            digests.append(file.sha256.isNull() || job >= m_digests.size() ? QString()
                                                                           : m_digests[job++]);
        return digests;
    }

private:
    std::vector<FirmwareEntry> m_files;
    std::future<void> m_running;
    bool m_match = true;
    QString m_mismatch;
    QStringList m_digests;
};

} // namespace

int ParseListOptions(const QStringList& arguments, ListOptions* list, FILE* out) {
    SearchOptions& options = list->search;
    QStringList rest = arguments;
    while (!rest.isEmpty()) {
        const QString argument = rest.takeFirst();
        QString problem;
        if (argument == QLatin1String("-h") || argument == QLatin1String("--help")) {
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

int ListCommand(const ListOptions& list, FILE* out) {
    const SearchOptions& options = list.search;
    const bool json = list.json, csv = list.csv;
    std::vector<FleetPrinter> printers;
    if (options.usb) {
        if (const std::optional<FleetPrinter> printer = FindUsbPrinter())
            printers.push_back(*printer);
    } else {
        Search search;
        QString problem;
        if (!PrepareSearch(options, &search, &problem)) {
            std::fprintf(stderr, "quenlo-cli: %s\n", problem.toLocal8Bit().constData());
            return kExitUsage;
        }
        printers = FindPrinters(options, search);
    }
    if (json)
        std::fputs(ListJson(printers).constData(), out);
    else if (csv)
        std::fputs(ListCsv(printers).constData(), out);
    else
        PrintTable(printers, out);
    return kExitOk;
}

int ParseUpdateOptions(const QStringList& arguments, UpdateOptions* update, FILE* out) {
    SearchOptions& options = update->search;
    QStringList rest = arguments;
    while (!rest.isEmpty()) {
        QString argument = rest.takeFirst();
        QString problem, value;
        if (argument == QLatin1String("-h") || argument == QLatin1String("--help")) {
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

int UpdateCommand(const UpdateOptions& update, FILE* out) {
    const SearchOptions& options = update.search;
    const bool all = update.all;
    const QStringList& targets = update.targets;
    const QString& report = update.report;
    const QString& metrics = update.metrics;
    const QDateTime begun = QDateTime::currentDateTimeUtc();
    UpdatePlan plan;
    plan.parallel = update.parallel;
    plan.verify = update.verify;
    plan.dryRun = update.dryRun;
    if (m_Settings.FirmwareCount() == 0) {
        std::fprintf(stderr, "quenlo-cli: the package names no firmware files\n");
        return kExitUsage;
    }
    plan.files = PackageFirmware();
    // Hashed while the printers are found: a mismatch still sends nothing.
    ChecksumCheck checksums(plan.files);

    const int stallMs = m_Settings.nStallTimeout * 1000;
    plan.verifyTimeoutMs = update.verifyTimeoutS * 1000;
    plan.verifyIntervalMs = kVerifyIntervalMs;
    Search search;
    std::vector<PrinterOutcome> printers;
    if (options.usb) {
        plan.policy = transfer::UsbPolicy(stallMs);
        plan.parallel = 1;
        plan.verify = false;
        plan.makeChannel = [](const FleetPrinter&) {
            return std::make_unique<transfer::UsbChannel>(m_Settings.nVID, m_Settings.nPID);
        };
        PrinterOutcome one;
        if (const std::optional<FleetPrinter> printer = FindUsbPrinter()) {
            one.printer = *printer;
            one.firmwareBefore = printer->firmware;
        } else {
            one.printer.address = QStringLiteral("usb");
            one.outcome = QStringLiteral("unreachable");
            one.message = QStringLiteral("no USB printer of the model is attached");
        }
        printers.push_back(one);
    } else {
        QString problem;
        if (!PrepareSearch(options, &search, &problem)) {
            std::fprintf(stderr, "quenlo-cli: %s\n", problem.toLocal8Bit().constData());
            return kExitUsage;
        }
        plan.policy = transfer::NetworkPolicy(stallMs);
        plan.makeChannel = [&search](const FleetPrinter& printer) {
            return std::make_unique<transfer::NetChannel>(printer.address.toStdString(), kPrintPort,
                                                          search.scopeId);
        };
        plan.probeVersion = [&search](const FleetPrinter& printer) {
            return ProbeVersion(printer, search.community, search.model, search.scopeId);
        };
        std::vector<FleetPrinter> chosen;
        if (all) {
            chosen = FindPrinters(options, search);
        } else {
            std::vector<std::string> answered;
            for (const QString& target : targets) {
                const std::string address = target.toStdString();
                if (Probe(address, search.community, search.model, search.scopeId)) {
                    AddOnce(answered, address);
                } else {
                    PrinterOutcome gone;
                    gone.printer.address = target;
                    gone.printer.addresses = QStringList{target};
                    gone.outcome = QStringLiteral("unreachable");
                    gone.message =
                        QStringLiteral("did not answer as a %1").arg(m_Settings.szModelName);
                    printers.push_back(gone);
                }
            }
            chosen = MergeSamePrinters(Describe(answered, search.community, search.scopeId),
                                       ReadNeighbourTable());
        }
        for (const FleetPrinter& printer : chosen) {
            PrinterOutcome outcome;
            outcome.printer = printer;
            outcome.firmwareBefore = printer.firmware;
            printers.push_back(outcome);
        }
    }
    QString mismatch;
    if (!checksums.Match(&mismatch)) {
        std::fprintf(stderr,
                     "quenlo-cli: %s: SHA256 mismatch: the file is not the one the package "
                     "names; nothing was sent to any printer\n",
                     mismatch.toLocal8Bit().constData());
        return kExitUsage;
    }
    // Nothing found still gets its report and metrics: a scheduled run that
    // reached no printer must not look like the last good one.
    if (printers.empty())
        std::fprintf(out, "No printer of %s found.\n", m_Settings.szModelName.toUtf8().constData());

    const QString model = m_Settings.szModelName;
    QStringList files;
    for (const FirmwareEntry& file : plan.files)
        files.append(file.name);
    plan.record = [model, files](const PrinterOutcome& outcome) {
        HistoryEntry entry;
        entry.time = outcome.finished;
        entry.program = QStringLiteral("quenlo-cli");
        entry.model = model;
        entry.address = outcome.printer.address;
        entry.name = outcome.printer.name;
        entry.files = files;
        entry.outcome = outcome.outcome;
        entry.cause = outcome.cause;
        entry.message = outcome.message;
        entry.sha256 = outcome.sha256;
        AppendHistory(entry);
    };

    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    const std::unique_ptr<UpdateDisplay> display = MakeUpdateDisplay(::isatty(::fileno(out)), out);
    RunUpdates(printers, plan, g_cancel, *display);

    int succeeded = 0;
    for (const PrinterOutcome& outcome : printers)
        succeeded += Succeeded(outcome, plan) ? 1 : 0;
    if (!printers.empty())
        std::fprintf(out, "%d of %zu printer(s) %s.\n", succeeded, printers.size(),
                     plan.dryRun ? "answered" : "completed");
    int status =
        !printers.empty() && succeeded == int(printers.size()) ? kExitOk : kExitSomethingWrong;

    UpdateRun run;
    run.programVersion = QCoreApplication::applicationVersion();
    run.host = QSysInfo::machineHostName();
    if (const CBundle* bundle = GetMainBundle())
        run.packagePath = QFileInfo(bundle->executablePath).path();
    run.dryRun = plan.dryRun;
    run.started = begun;
    run.finished = QDateTime::currentDateTimeUtc();
    QString why;
    if (!report.isEmpty()) {
        const QByteArray bytes =
            report.endsWith(QLatin1String(".json"))
                ? ReportJson(model, PackageFiles(checksums.Digests(), printers), printers, run)
                : ReportCsv(printers);
        if (!WriteFileAtomically(report, bytes, &why)) {
            std::fprintf(stderr, "quenlo-cli: report not written: %s\n",
                         why.toLocal8Bit().constData());
            status = kExitSomethingWrong;
        }
    }
    if (!metrics.isEmpty() &&
        !WriteFileAtomically(metrics, MetricsText(model, run, printers), &why)) {
        std::fprintf(stderr, "quenlo-cli: metrics not written: %s\n",
                     why.toLocal8Bit().constData());
        status = kExitSomethingWrong;
    }
    return status;
}
