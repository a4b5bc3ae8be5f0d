#include "TransferEngine.h"

#include <algorithm>
#include <vector>

namespace transfer {
namespace {

enum class Put { Done, Failed, Stalled };

// One printer's run through the package.
class Run {
public:
    Run(Package& package, Channel& channel, Observer& observer, const Policy& policy)
        : m_package(package), m_channel(channel), m_observer(observer), m_policy(policy),
          m_files(package.FileCount()) {}

    Result Go() {
        const std::size_t piece = std::max<std::size_t>(m_channel.PieceSize(), 1);
        std::vector<unsigned char> buffer(piece);
        m_lastAlive = m_observer.NowMs();
        for (int j = 0; j < m_files; ++j) {
            // A file that cannot be sent is found before its connection
            // opens: the printer sees nothing of it.
            std::unique_ptr<Source> source = m_package.Open(j);
            if (!source)
                return {Outcome::FileUnusable, j};
            switch (OpenChannel()) {
            case OpenResult::Open:
                break;
            case OpenResult::Unreachable:
                return {Outcome::Unreachable, j};
            case OpenResult::Pending: // gave up waiting
                m_channel.Abort();
                return {m_cancelled ? Outcome::Cancelled : Outcome::Failed, j};
            case OpenResult::Refused:
                return {Outcome::Failed, j};
            }
            m_lastTake = m_observer.NowMs();

            const Put file = SendFile(j, *source, buffer);
            if (file != Put::Done) {
                // No marker after part of a file.
                m_channel.Abort();
                if (file == Put::Stalled && m_cancelled)
                    return {Outcome::Cancelled, j};
                return {Outcome::Failed, j};
            }
            if (m_policy.progress == ProgressStep::PerFile && source->Size() > 0 && !m_cancelled) {
                Report(int(int64_t(j) * 100 / m_files));
            }
            PollCancel();

            if (m_cancelled) {
                if (WriteAll(kCancelMarker, sizeof kCancelMarker, nullptr) != Put::Done) {
                    m_channel.Abort();
                    return {Outcome::Cancelled, j};
                }
                m_observer.Pause(m_policy.pauseMs);
                m_channel.Close();
                return {Outcome::Cancelled, j};
            }
            if (j + 1 == m_files) {
                m_observer.BeforeEndMarker();
                if (WriteAll(kEndMarker, sizeof kEndMarker, nullptr) != Put::Done ||
                    (m_policy.checkDelivery && !WaitDelivered())) {
                    m_channel.Abort();
                    return {Outcome::Failed, j};
                }
                m_channel.Close();
                return {Outcome::Completed, -1};
            }
            // Without its separator the next file would run into this one.
            if (WriteAll(kSeparatorMarker, sizeof kSeparatorMarker, nullptr) != Put::Done) {
                m_channel.Abort();
                return {Outcome::Failed, j};
            }
            m_observer.Pause(m_policy.pauseMs);
            m_channel.Close();
        }
        return {Outcome::Failed, m_files};
    }

private:
    struct FileProgress {
        int file = 0;
        int64_t size = 0;
        int64_t taken = 0;
        int64_t blocks = 1; // size / blockSize + 1, the count the percentage divides by
        int64_t doneBlocks = 0;
    };

    // A printer that answers no connection attempt is bounded like one that
    // takes no bytes; Pending when the wait was given up.
    OpenResult OpenChannel() {
        const int64_t start = m_observer.NowMs();
        for (;;) {
            const OpenResult result = m_channel.Open(m_policy.sliceMs);
            if (result != OpenResult::Pending)
                return result;
            const int limit = m_cancelled
                                  ? std::min(m_policy.stallTimeoutMs, m_policy.cancelStallMs)
                                  : m_policy.stallTimeoutMs;
            if (m_observer.NowMs() - start >= limit)
                return OpenResult::Pending;
            Alive();
        }
    }

    Put SendFile(int j, Source& source, std::vector<unsigned char>& buffer) {
        FileProgress fp;
        fp.file = j;
        fp.size = source.Size();
        const int64_t bs = std::max(m_policy.blockSize, 1);
        fp.blocks = fp.size / bs + 1;
        while (fp.taken < fp.size) {
            const std::size_t want =
                std::size_t(std::min<int64_t>(int64_t(buffer.size()), fp.size - fp.taken));
            std::size_t got = 0;
            // Bounded: every turn reads something or ends the loop.
            while (got < want) {
                const long n = source.Read(buffer.data() + got, want - got);
                if (n <= 0)
                    return Put::Failed; // short or failed read: the file is not whole
                got += std::size_t(n);
            }
            const Put put = WriteAll(buffer.data(), want, &fp);
            if (put != Put::Done)
                return put;
        }
        return Put::Done;
    }

    // Hands every byte to the channel in slices, keeping the window alive and
    // watching for a printer that stops taking them.
    Put WriteAll(const unsigned char* data, std::size_t length, FileProgress* fp) {
        std::size_t done = 0;
        while (done < length) {
            const long n = m_channel.Write(data + done, length - done, m_policy.sliceMs);
            if (n < 0)
                return Put::Failed;
            const int64_t now = m_observer.NowMs();
            if (n > 0) {
                done += std::size_t(std::min<std::size_t>(std::size_t(n), length - done));
                m_lastTake = now;
                if (fp != nullptr)
                    Taken(*fp, n);
            } else {
                const int limit = m_cancelled
                                      ? std::min(m_policy.stallTimeoutMs, m_policy.cancelStallMs)
                                      : m_policy.stallTimeoutMs;
                if (now - m_lastTake >= limit)
                    return Put::Stalled;
            }
            Alive();
        }
        return Put::Done;
    }

    void Taken(FileProgress& fp, long n) {
        fp.taken += n;
        if (m_policy.progress != ProgressStep::PerBlock)
            return;
        const int64_t bs = std::max(m_policy.blockSize, 1);
        const int64_t complete = fp.taken >= fp.size ? (fp.size + bs - 1) / bs : fp.taken / bs;
        // Block k (from 0) of file j of n: j*100/n + (k*100/blocks)/n, each
        // term truncated on its own; shown block by block, as before the
        // blocks went out several at a time.
        for (; fp.doneBlocks < complete && !m_cancelled; ++fp.doneBlocks) {
            const int64_t k = fp.doneBlocks;
            Report(int(int64_t(fp.file) * 100 / m_files + (k * 100 / fp.blocks) / m_files));
        }
        fp.doneBlocks = complete;
    }

    void Report(int percent) {
        if (percent == m_lastPercent)
            return;
        m_lastPercent = percent;
        m_observer.Progress(percent);
        m_lastAlive = m_observer.NowMs();
        PollCancel();
    }

    void Alive() {
        const int64_t now = m_observer.NowMs();
        if (now - m_lastAlive < m_policy.keepAliveMs)
            return;
        m_observer.KeepAlive();
        m_lastAlive = m_observer.NowMs();
        PollCancel();
    }

    void PollCancel() {
        if (!m_cancelled && m_observer.CancelRequested())
            m_cancelled = true;
    }

    // After the end marker: until the printer has acknowledged every byte,
    // or has stopped acknowledging for the stall limit.
    bool WaitDelivered() {
        int64_t lastOutstanding = -1;
        int64_t lastMove = m_observer.NowMs();
        for (;;) {
            int64_t outstanding = -1;
            switch (m_channel.Delivered(m_policy.sliceMs, &outstanding)) {
            case Delivery::Delivered:
                return true;
            case Delivery::Lost:
                return false;
            case Delivery::Pending:
                break;
            }
            const int64_t now = m_observer.NowMs();
            if (outstanding != lastOutstanding) {
                lastOutstanding = outstanding;
                lastMove = now;
            } else if (now - lastMove >= m_policy.stallTimeoutMs) {
                return false;
            }
            Alive();
        }
    }

    Package& m_package;
    Channel& m_channel;
    Observer& m_observer;
    const Policy& m_policy;
    const int m_files;
    bool m_cancelled = false;
    int m_lastPercent = -1;
    int64_t m_lastTake = 0;
    int64_t m_lastAlive = 0;
};

} // namespace

Result Send(Package& package, Channel& channel, Observer& observer, const Policy& policy) {
    if (package.FileCount() <= 0)
        return {Outcome::Failed, -1};
    Run run(package, channel, observer, policy);
    return run.Go();
}

} // namespace transfer
