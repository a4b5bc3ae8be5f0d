#include "cli/FleetPlan.h"

#include "cli/FleetSearch.h"
#include "settings/Checksum.h"
#include "settings/SettingsData.h"
#include "transfer/Roads.h"

#include <future>
#include <memory>

namespace {

constexpr int kPrintPort = 9100;
constexpr int kVerifyIntervalMs = 5000;

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

PrinterOutcome Unreachable(const QString& address, const QString& message) {
    PrinterOutcome gone;
    gone.printer.address = address;
    gone.outcome = QStringLiteral("unreachable");
    gone.message = message;
    return gone;
}

void PlanUsb(PlannedUpdate& planned, int stallMs) {
    UpdatePlan& plan = planned.plan;
    plan.policy = transfer::UsbPolicy(stallMs);
    // One printer on the port; --verify asks by SNMP, which this road has not.
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
        one = Unreachable(QStringLiteral("usb"),
                          QStringLiteral("no USB printer of the model is attached"));
    }
    planned.printers.push_back(one);
}

bool PlanNetwork(const UpdateOptions& update, PlannedUpdate& planned, int stallMs,
                 QString* problem) {
    Search search;
    if (!PrepareSearch(update.search, &search, problem))
        return false;
    UpdatePlan& plan = planned.plan;
    plan.policy = transfer::NetworkPolicy(stallMs);
    std::vector<FleetPrinter> chosen;
    QStringList silent;
    if (update.all)
        chosen = FindPrinters(update.search, search);
    else
        chosen = FindTypedPrinters(update.targets, search, &silent);
    // The interface the printers were found on is known now; the workers
    // only read their copy of it.
    plan.makeChannel = [scopeId = search.scopeId](const FleetPrinter& printer) {
        return std::make_unique<transfer::NetChannel>(printer.address.toStdString(), kPrintPort,
                                                      scopeId);
    };
    plan.probeVersion = [search](const FleetPrinter& printer) {
        return ProbeVersion(printer, search);
    };
    for (const QString& target : silent) {
        PrinterOutcome gone = Unreachable(
            target, QStringLiteral("did not answer as a %1").arg(m_Settings.szModelName));
        gone.printer.addresses = QStringList{target};
        planned.printers.push_back(gone);
    }
    for (const FleetPrinter& printer : chosen) {
        PrinterOutcome outcome;
        outcome.printer = printer;
        outcome.firmwareBefore = printer.firmware;
        planned.printers.push_back(outcome);
    }
    return true;
}

} // namespace

bool PlanUpdate(const UpdateOptions& update, PlannedUpdate* planned, QString* problem) {
    if (m_Settings.FirmwareCount() == 0) {
        *problem = QStringLiteral("the package names no firmware files");
        return false;
    }
    UpdatePlan& plan = planned->plan;
    plan.parallel = update.parallel;
    plan.verify = update.verify;
    plan.dryRun = update.dryRun;
    plan.files = PackageFirmware();
    plan.verifyTimeoutMs = update.verifyTimeoutS * 1000;
    plan.verifyIntervalMs = kVerifyIntervalMs;
    // Hashed while the printers are found: a mismatch still sends nothing.
    ChecksumCheck checksums(plan.files);

    const int stallMs = m_Settings.nStallTimeout * 1000;
    if (update.search.usb)
        PlanUsb(*planned, stallMs);
    else if (!PlanNetwork(update, *planned, stallMs, problem))
        return false;

    QString mismatch;
    if (!checksums.Match(&mismatch)) {
        *problem = QStringLiteral("%1: SHA256 mismatch: the file is not the one the package "
                                  "names; nothing was sent to any printer")
                       .arg(mismatch);
        return false;
    }
    planned->checkedDigests = checksums.Digests();
    return true;
}
