#include "cli/FleetCommands.h"

#include "cli/CliUsage.h"
#include "cli/Fleet.h"
#include "cli/FleetPlan.h"
#include "cli/FleetReport.h"
#include "cli/FleetSearch.h"
#include "cli/FleetUpdate.h"
#include "settings/SettingsData.h"

#include <QDateTime>

#include <signal.h>
#include <time.h>
#include <unistd.h>

namespace {

CancelRequests g_cancel;

void OnInterrupt(int) {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    g_cancel.Signalled(int64_t(now.tv_sec) * 1000 + now.tv_nsec / 1000000);
}

// Runs the plan, shown on out, with Ctrl+C as the wizard's Cancel: the count
// of printers that succeeded.
int Run(PlannedUpdate& planned, FILE* out) {
    std::vector<PrinterOutcome>& printers = planned.printers;
    // Nothing found still gets its report and metrics: a scheduled run that
    // reached no printer must not look like the last good one.
    if (printers.empty())
        std::fprintf(out, "No printer of %s found.\n", m_Settings.szModelName.toUtf8().constData());

    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    const std::unique_ptr<UpdateDisplay> display = MakeUpdateDisplay(::isatty(::fileno(out)), out);
    RunUpdates(printers, planned.plan, g_cancel, *display);

    int succeeded = 0;
    for (const PrinterOutcome& outcome : printers)
        succeeded += Succeeded(outcome, planned.plan) ? 1 : 0;
    if (!printers.empty())
        std::fprintf(out, "%d of %zu printer(s) %s.\n", succeeded, printers.size(),
                     planned.plan.dryRun ? "answered" : "completed");
    return succeeded;
}

} // namespace

int ListCommand(const ListOptions& list, FILE* out) {
    const SearchOptions& options = list.search;
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
    const QByteArray text = list.json  ? ListJson(printers)
                            : list.csv ? ListCsv(printers)
                                       : ListTable(printers, m_Settings.szModelName);
    std::fputs(text.constData(), out);
    return kExitOk;
}

int UpdateCommand(const UpdateOptions& update, FILE* out) {
    const QDateTime begun = QDateTime::currentDateTimeUtc();
    PlannedUpdate planned;
    QString problem;
    if (!PlanUpdate(update, &planned, &problem)) {
        std::fprintf(stderr, "quenlo-cli: %s\n", problem.toLocal8Bit().constData());
        return kExitUsage;
    }
    planned.plan.record = HistoryRecorder(planned.plan.files);
    const int succeeded = Run(planned, out);
    const std::vector<PrinterOutcome>& printers = planned.printers;
    int status =
        !printers.empty() && succeeded == int(printers.size()) ? kExitOk : kExitSomethingWrong;
    if (!WriteRunFiles(update.report, update.metrics, planned.checkedDigests, printers,
                       FinishedRun(begun, planned.plan.dryRun)))
        status = kExitSomethingWrong;
    return status;
}
