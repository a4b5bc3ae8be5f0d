// Updating many printers at once: each printer's package goes through the
// same transfer engine as the wizard's, on a worker of its own, up to a
// chosen number at a time; a cancel finishes what runs as the wizard's Cancel
// does and starts nothing new; a second cancel drops the connections.
#pragma once

#include "cli/Fleet.h"
#include "settings/FirmwareFile.h"
#include "transfer/TransferEngine.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

// Where one printer is, for the live display.
struct PrinterProgress {
    enum class Phase { Waiting, Sending, Verifying, Done };
    std::atomic<Phase> phase{Phase::Waiting};
    std::atomic<int> percent{0};
    std::atomic<uint64_t> bytes{0}; // handed to the printer, markers included
    std::atomic<int64_t> startedMs{0};
};

// Ctrl+C: the first asks every running printer to cancel, the second aborts.
struct CancelRequests {
    // Signals this close together are one request: `timeout` (a maintenance
    // window's end) and a kill of the process group deliver the same signal
    // twice, to the program and to its group, and a thread on another core
    // can take the first before the second arrives.
    static constexpr int64_t kBurstMs = 200;

    std::atomic<int> count{0};
    std::atomic<int64_t> lastMs{0};
    bool Cancel() const { return count.load() >= 1; }
    bool Abort() const { return count.load() >= 2; }
    // One signal at `nowMs` (a monotonic clock); safe in a signal handler.
    void Signalled(int64_t nowMs) {
        const int64_t last = lastMs.exchange(nowMs);
        if (count.load() > 0 && nowMs - last < kBurstMs)
            return;
        count.fetch_add(1);
    }
};

// What the command line shows while printers are updated.
class UpdateDisplay {
public:
    virtual ~UpdateDisplay() = default;
    virtual void Started(const PrinterOutcome& printer) = 0;
    virtual void Finished(const PrinterOutcome& printer) = 0;
    // Called every few hundred milliseconds with everyone's progress, and
    // once more at the end.
    virtual void Tick(const std::vector<PrinterOutcome>& printers,
                      const std::vector<std::unique_ptr<PrinterProgress>>& progress) = 0;
};

struct UpdatePlan {
    std::vector<FirmwareEntry> files;
    transfer::Policy policy;
    int parallel = 4;
    bool dryRun = false;
    bool verify = false;
    int verifyTimeoutMs = 600000;
    int verifyIntervalMs = 5000;
    // The channel to one printer (the print port or the USB pipe).
    std::function<std::unique_ptr<transfer::Channel>(const FleetPrinter&)> makeChannel;
    // Asks the printer whether it is back, and its firmware version when it
    // is: empty when it did not answer.
    std::function<std::optional<QString>(const FleetPrinter&)> probeVersion;
    // Every printer's outcome also goes to the history.
    std::function<void(const PrinterOutcome&)> record;
};

// Runs the plan over printers (their firmwareBefore already read) and fills
// in each one's outcome. Returns when every printer has ended.
void RunUpdates(std::vector<PrinterOutcome>& printers, const UpdatePlan& plan,
                const CancelRequests& cancel, UpdateDisplay& display);

// True when the outcome counts as success for the exit status.
bool Succeeded(const PrinterOutcome& outcome, const UpdatePlan& plan);

// The live display on a terminal: one line per running printer, redrawn in
// place; otherwise plain lines, one per event, for a log.
std::unique_ptr<UpdateDisplay> MakeUpdateDisplay(bool terminal, FILE* out);
