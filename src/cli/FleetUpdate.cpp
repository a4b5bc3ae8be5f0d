#include "cli/FleetUpdate.h"

#include "transfer/Roads.h"

#include <QFileInfo>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <thread>

namespace {

int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Counts what the printer is handed and turns a second Ctrl+C into an
// immediate end of the connection.
class CountingChannel : public transfer::Channel {
public:
    CountingChannel(std::unique_ptr<transfer::Channel> inner, PrinterProgress& progress,
                    const CancelRequests& cancel)
        : m_inner(std::move(inner)), m_progress(progress), m_cancel(cancel) {}

    transfer::OpenResult Open(int waitMs) override {
        if (m_cancel.Abort())
            return transfer::OpenResult::Unreachable;
        return m_inner->Open(waitMs);
    }
    long Write(const unsigned char* data, std::size_t length, int waitMs) override {
        if (m_cancel.Abort()) {
            m_inner->Abort();
            return -1;
        }
        const long n = m_inner->Write(data, length, waitMs);
        if (n > 0)
            m_progress.bytes += uint64_t(n);
        return n;
    }
    transfer::Delivery Delivered(int waitMs, int64_t* outstanding) override {
        if (m_cancel.Abort())
            return transfer::Delivery::Lost;
        return m_inner->Delivered(waitMs, outstanding);
    }
    void Close() override { m_inner->Close(); }
    void Abort() override { m_inner->Abort(); }
    std::size_t PieceSize() const override { return m_inner->PieceSize(); }

private:
    std::unique_ptr<transfer::Channel> m_inner;
    PrinterProgress& m_progress;
    const CancelRequests& m_cancel;
};

class WorkerObserver : public transfer::Observer {
public:
    WorkerObserver(PrinterProgress& progress, const CancelRequests& cancel)
        : m_progress(progress), m_cancel(cancel) {}
    void Progress(int percent) override { m_progress.percent = percent; }
    void KeepAlive() override {}
    bool CancelRequested() override { return m_cancel.Cancel(); }
    void Pause(int ms) override {
        // The printer needs its pause after a marker; only an abort cuts it.
        const int64_t end = NowMs() + ms;
        while (NowMs() < end && !m_cancel.Abort())
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    void BeforeEndMarker() override {}
    int64_t NowMs() override { return ::NowMs(); }

private:
    PrinterProgress& m_progress;
    const CancelRequests& m_cancel;
};

QString FileName(const UpdatePlan& plan, int index) {
    if (index < 0 || index >= int(plan.files.size()))
        return QString();
    return plan.files[size_t(index)].name;
}

// What went wrong, in the words of the cause.
QString FailureText(transfer::Cause cause, const QString& file, const UpdatePlan& plan) {
    const int stallS = plan.policy.stallTimeoutMs / 1000;
    switch (cause) {
    case transfer::Cause::Refused:
        return QStringLiteral("the printer did not take the connection for %1").arg(file);
    case transfer::Cause::Stalled:
        return QStringLiteral("the printer took no byte for %1 s during %2").arg(stallS).arg(file);
    case transfer::Cause::NotAcknowledged:
        return QStringLiteral("the printer did not acknowledge all of %1 within %2 s")
            .arg(file)
            .arg(stallS);
    case transfer::Cause::Unplugged:
        return QStringLiteral("the printer was unplugged during %1").arg(file);
    case transfer::Cause::FileChanged:
        return QStringLiteral("%1 changed while it was sent; no marker followed it").arg(file);
    case transfer::Cause::FileUnreadable:
        return QStringLiteral("%1 could not be read while it was sent; no marker followed it")
            .arg(file);
    case transfer::Cause::Reset:
    case transfer::Cause::None:
    case transfer::Cause::Cancelled:
        break;
    }
    return QStringLiteral("the printer ended the connection during %1").arg(file);
}

void Describe(PrinterOutcome& out, const transfer::Result& result, const UpdatePlan& plan,
              const CancelRequests& cancel) {
    const QString file = FileName(plan, result.file);
    out.cause = QString::fromLatin1(transfer::CauseName(result.cause));
    switch (result.outcome) {
    case transfer::Outcome::Completed:
        out.outcome = QStringLiteral("completed");
        out.message = QStringLiteral("every file and the end marker delivered");
        return;
    case transfer::Outcome::Cancelled:
        out.outcome = QStringLiteral("cancelled");
        out.message = QStringLiteral("cancelled during %1; the cancel marker was sent").arg(file);
        return;
    case transfer::Outcome::Unreachable:
        if (cancel.Abort()) {
            out.outcome = QStringLiteral("cancelled");
            out.cause = QStringLiteral("cancelled");
            out.message = QStringLiteral("aborted before %1").arg(file);
        } else {
            out.outcome = QStringLiteral("unreachable");
            out.message = QStringLiteral("no connection for %1").arg(file);
        }
        return;
    case transfer::Outcome::FileUnusable:
        out.outcome = QStringLiteral("failed");
        out.message = QStringLiteral("%1 could not be read; nothing of it was sent").arg(file);
        return;
    case transfer::Outcome::Failed:
        if (cancel.Abort()) {
            out.outcome = QStringLiteral("cancelled");
            out.cause = QStringLiteral("cancelled");
            out.message = QStringLiteral("aborted during %1; no marker followed").arg(file);
        } else {
            out.outcome = QStringLiteral("failed");
            out.message = FailureText(result.cause, file, plan);
        }
        return;
    }
}

void Verify(PrinterOutcome& out, const UpdatePlan& plan, const CancelRequests& cancel) {
    const int64_t deadline = NowMs() + plan.verifyTimeoutMs;
    // The printer restarts with its new firmware; give it a first interval.
    for (;;) {
        const int64_t next = std::min(NowMs() + plan.verifyIntervalMs, deadline);
        while (NowMs() < next && !cancel.Cancel())
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (cancel.Cancel())
            break;
        if (const std::optional<QString> version = plan.probeVersion(out.printer)) {
            out.firmwareAfter = *version;
            if (*version == out.firmwareBefore) {
                out.outcome = QStringLiteral("version-unchanged");
                out.message = QStringLiteral("the printer came back with version %1").arg(*version);
            } else {
                out.message = QStringLiteral("the printer came back with version %1").arg(*version);
            }
            return;
        }
        if (NowMs() >= deadline)
            break;
    }
    out.outcome = QStringLiteral("not-verified");
    out.message = cancel.Cancel()
                      ? QStringLiteral("completed; the wait for its return was cancelled")
                      : QStringLiteral("completed, but it did not answer within %1 s")
                            .arg(plan.verifyTimeoutMs / 1000);
}

void UpdateOne(PrinterOutcome& out, PrinterProgress& progress, const UpdatePlan& plan,
               const CancelRequests& cancel) {
    out.started = QDateTime::currentDateTimeUtc();
    progress.startedMs = NowMs();
    progress.phase = PrinterProgress::Phase::Sending;
    if (plan.dryRun) {
        out.outcome = QStringLiteral("dry-run");
        out.message = QStringLiteral("found and answered; nothing was sent");
    } else {
        transfer::FilePackage package(plan.files);
        CountingChannel channel(plan.makeChannel(out.printer), progress, cancel);
        WorkerObserver observer(progress, cancel);
        const transfer::Result result = transfer::Send(package, channel, observer, plan.policy);
        out.bytesSent = uint64_t(result.bytes);
        for (const Sha256Digest& digest : result.sent)
            out.sha256.append(QString::fromStdString(DigestHex(digest)));
        Describe(out, result, plan, cancel);
        if (result.outcome == transfer::Outcome::Completed) {
            progress.percent = 100;
            if (plan.verify) {
                progress.phase = PrinterProgress::Phase::Verifying;
                Verify(out, plan, cancel);
            }
        }
    }
    out.finished = QDateTime::currentDateTimeUtc();
    progress.phase = PrinterProgress::Phase::Done;
}

} // namespace

bool Succeeded(const PrinterOutcome& outcome, const UpdatePlan& plan) {
    if (plan.dryRun)
        return outcome.outcome == QLatin1String("dry-run");
    return outcome.outcome == QLatin1String("completed");
}

void RunUpdates(std::vector<PrinterOutcome>& printers, const UpdatePlan& plan,
                const CancelRequests& cancel, UpdateDisplay& display) {
    std::vector<std::unique_ptr<PrinterProgress>> progress;
    for (size_t i = 0; i < printers.size(); ++i)
        progress.push_back(std::make_unique<PrinterProgress>());
    std::atomic<size_t> next{0};
    // events: the display and `ended`; the main thread sleeps on `change`
    // between ticks and wakes at once when the last printer has ended.
    std::mutex events;
    std::condition_variable change;
    size_t ended = 0;

    auto worker = [&] {
        for (;;) {
            const size_t i = next++;
            if (i >= printers.size())
                return;
            PrinterOutcome& out = printers[i];
            if (!out.outcome.isEmpty()) {
                // Already ended before any transfer (it did not answer).
                progress[i]->phase = PrinterProgress::Phase::Done;
            } else if (cancel.Cancel()) {
                out.outcome = QStringLiteral("cancelled");
                out.cause = QStringLiteral("cancelled");
                out.message = QStringLiteral("not started: the update was cancelled");
                progress[i]->phase = PrinterProgress::Phase::Done;
            } else {
                {
                    const std::lock_guard<std::mutex> lock(events);
                    display.Started(out);
                }
                UpdateOne(out, *progress[i], plan, cancel);
                if (plan.record && !plan.dryRun)
                    plan.record(out);
                const std::lock_guard<std::mutex> lock(events);
                display.Finished(out);
            }
            {
                const std::lock_guard<std::mutex> lock(events);
                ++ended;
            }
            change.notify_one();
        }
    };

    const int workers = std::clamp(plan.parallel, 1, int(std::max<size_t>(printers.size(), 1)));
    std::vector<std::thread> threads;
    for (int w = 0; w < workers; ++w)
        threads.emplace_back(worker);
    {
        std::unique_lock<std::mutex> lock(events);
        while (ended < printers.size()) {
            display.Tick(printers, progress);
            change.wait_for(lock, std::chrono::milliseconds(200),
                            [&] { return ended >= printers.size(); });
        }
    }
    for (std::thread& thread : threads)
        thread.join();
    const std::lock_guard<std::mutex> lock(events);
    display.Tick(printers, progress);
}

namespace {

QString Label(const PrinterOutcome& printer) {
    return printer.printer.name.isEmpty()
               ? printer.printer.address
               : QStringLiteral("%1 (%2)").arg(printer.printer.address, printer.printer.name);
}

// " (reset)" beside an outcome that has a cause of its own.
QString CauseSuffix(const PrinterOutcome& printer) {
    if (printer.cause.isEmpty() || printer.cause == printer.outcome)
        return QString();
    return QStringLiteral(" (%1)").arg(printer.cause);
}

QString Rate(uint64_t bytes, int64_t ms) {
    if (ms <= 0)
        return QStringLiteral("-");
    const double perSecond = double(bytes) * 1000.0 / double(ms);
    if (perSecond >= 1024.0 * 1024.0)
        return QStringLiteral("%1 MiB/s").arg(perSecond / (1024.0 * 1024.0), 0, 'f', 1);
    return QStringLiteral("%1 KiB/s").arg(perSecond / 1024.0, 0, 'f', 0);
}

// Plain lines for a log: one per event, with the time.
class LogDisplay : public UpdateDisplay {
public:
    explicit LogDisplay(FILE* out) : m_out(out) {}
    void Started(const PrinterOutcome& printer) override {
        Line(QStringLiteral("%1: started").arg(Label(printer)));
    }
    void Finished(const PrinterOutcome& printer) override {
        Line(QStringLiteral("%1: %2%3, %4 bytes sent: %5")
                 .arg(Label(printer), printer.outcome, CauseSuffix(printer))
                 .arg(printer.bytesSent)
                 .arg(printer.message));
    }
    void Tick(const std::vector<PrinterOutcome>& printers,
              const std::vector<std::unique_ptr<PrinterProgress>>& progress) override {
        // A line at every quarter, so a log shows a long transfer moving.
        m_quarters.resize(printers.size(), 0);
        for (size_t i = 0; i < printers.size(); ++i) {
            const int quarter = progress[i]->percent / 25;
            if (progress[i]->phase == PrinterProgress::Phase::Sending && quarter > m_quarters[i] &&
                quarter < 4) {
                m_quarters[i] = quarter;
                Line(QStringLiteral("%1: %2%").arg(Label(printers[i])).arg(quarter * 25));
            }
        }
    }

private:
    void Line(const QString& text) {
        std::fprintf(m_out, "%s %s\n",
                     QDateTime::currentDateTimeUtc().toString(Qt::ISODate).toUtf8().constData(),
                     text.toUtf8().constData());
        std::fflush(m_out);
    }
    FILE* m_out;
    std::vector<int> m_quarters;
};

// Live lines on a terminal: finished printers scroll up as plain lines, the
// running ones stay at the bottom and are redrawn in place.
class TerminalDisplay : public UpdateDisplay {
public:
    explicit TerminalDisplay(FILE* out) : m_out(out) {}
    void Started(const PrinterOutcome&) override {}
    void Finished(const PrinterOutcome& printer) override {
        Clear();
        std::fprintf(m_out, "%-40s %-18s %s\n", Label(printer).toUtf8().constData(),
                     (printer.outcome + CauseSuffix(printer)).toUtf8().constData(),
                     printer.message.toUtf8().constData());
        std::fflush(m_out);
    }
    void Tick(const std::vector<PrinterOutcome>& printers,
              const std::vector<std::unique_ptr<PrinterProgress>>& progress) override {
        Clear();
        const int64_t now = NowMs();
        int waiting = 0, done = 0;
        for (size_t i = 0; i < printers.size(); ++i) {
            const PrinterProgress& p = *progress[i];
            switch (p.phase.load()) {
            case PrinterProgress::Phase::Waiting:
                ++waiting;
                continue;
            case PrinterProgress::Phase::Done:
                ++done;
                continue;
            case PrinterProgress::Phase::Verifying:
                std::fprintf(m_out, "%-40s waiting for it to come back\n",
                             Label(printers[i]).toUtf8().constData());
                break;
            case PrinterProgress::Phase::Sending:
                std::fprintf(m_out, "%-40s %3d%%  %s\n", Label(printers[i]).toUtf8().constData(),
                             p.percent.load(),
                             Rate(p.bytes, now - p.startedMs).toUtf8().constData());
                break;
            }
            ++m_drawn;
        }
        std::fprintf(m_out, "%d of %zu done, %d waiting\n", done, printers.size(), waiting);
        ++m_drawn;
        std::fflush(m_out);
    }

private:
    void Clear() {
        for (; m_drawn > 0; --m_drawn)
            std::fputs("\x1b[1A\x1b[2K", m_out);
    }
    FILE* m_out;
    int m_drawn = 0;
};

} // namespace

std::unique_ptr<UpdateDisplay> MakeUpdateDisplay(bool terminal, FILE* out) {
    if (terminal)
        return std::make_unique<TerminalDisplay>(out);
    return std::make_unique<LogDisplay>(out);
}
