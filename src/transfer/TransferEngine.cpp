#include "transfer/TransferEngine.h"

#include "transfer/PieceHasher.h"

#include <algorithm>
#include <vector>

namespace transfer {

const char* CauseName(Cause cause) {
    switch (cause) {
    case Cause::None:
        return "";
    case Cause::Refused:
        return "refused";
    case Cause::Reset:
        return "reset";
    case Cause::Stalled:
        return "stalled";
    case Cause::NotAcknowledged:
        return "not-acknowledged";
    case Cause::Unplugged:
        return "unplugged";
    case Cause::FileChanged:
        return "file-changed";
    case Cause::FileUnreadable:
        return "file-unreadable";
    case Cause::Cancelled:
        return "cancelled";
    }
    return "";
}

namespace {

Result End(Outcome outcome, int file, Cause cause = Cause::None) {
    Result result;
    result.outcome = outcome;
    result.file = file;
    result.cause = cause;
    return result;
}

// How handing over bytes (or waiting for their acknowledgement) ended.
enum class Put { Done, Failed, Stalled };

// One printer's run through the package.
class Run {
public:
    Run(Package& package, Channel& channel, Observer& observer, const Policy& policy)
        : m_package(package), m_channel(channel), m_observer(observer), m_policy(policy),
          m_files(package.FileCount()) {}

    Result Go() {
        Result result = SendAll();
        result.bytes = m_bytes;
        result.sent = std::move(m_sent);
        return result;
    }

private:
    struct FileProgress {
        int file = 0;
        int64_t size = 0;
        int64_t taken = 0;
        int64_t blocks = 1; // size / blockSize + 1, the count the percentage divides by
        int64_t doneBlocks = 0;
    };

    Result SendAll() {
        const std::size_t piece = std::max<std::size_t>(m_channel.PieceSize(), 1);
        // Two buffers: one piece is read while the one before is still hashed.
        std::vector<unsigned char> buffers[2] = {std::vector<unsigned char>(piece),
                                                 std::vector<unsigned char>(piece)};
        PieceHasher hasher;
        m_lastAlive = m_observer.NowMs();
        for (int j = 0; j < m_files; ++j) {
            // A file that cannot be sent is found before its connection
            // opens: the printer sees nothing of it.
            std::unique_ptr<Source> source = m_package.Open(j);
            if (!source)
                return End(Outcome::FileUnusable, j, Cause::FileUnreadable);
            switch (OpenChannel()) {
            case OpenResult::Open:
                break;
            case OpenResult::Unreachable:
                return End(Outcome::Unreachable, j, m_channel.Failure());
            case OpenResult::Pending: // gave up waiting
                m_channel.Abort();
                if (m_cancelled)
                    return End(Outcome::Cancelled, j, Cause::Cancelled);
                return End(Outcome::Failed, j, Cause::Refused);
            case OpenResult::Refused:
                return End(Outcome::Failed, j, m_channel.Failure());
            }
            m_lastTake = m_observer.NowMs();

            Sha256Digest digest{};
            const Put file = SendFile(j, *source, buffers, hasher, &digest);
            if (file != Put::Done) {
                // No marker after part of a file.
                m_channel.Abort();
                return Ended(file, j);
            }
            // A marker vouches for the bytes before it: none follows bytes
            // that are not the package's own.
            const std::optional<Sha256Digest> expected = source->Expected();
            if (expected ? *expected != digest : !source->Unchanged()) {
                m_channel.Abort();
                return End(Outcome::Failed, j, Cause::FileChanged);
            }
            m_sent.push_back(digest);
            if (m_policy.progress == ProgressStep::PerFile && source->Size() > 0 && !m_cancelled) {
                Report(int(int64_t(j) * 100 / m_files));
            }
            PollCancel();

            if (m_cancelled) {
                if (WriteAll(kCancelMarker, sizeof kCancelMarker, nullptr) != Put::Done) {
                    m_channel.Abort();
                    return End(Outcome::Cancelled, j, Cause::Cancelled);
                }
                m_observer.Pause(m_policy.pauseMs);
                m_channel.Close();
                return End(Outcome::Cancelled, j, Cause::Cancelled);
            }
            const bool last = j + 1 == m_files;
            if (last)
                m_observer.BeforeEndMarker();
            // Without its separator the next file would run into this one.
            const Put marker = last ? WriteAll(kEndMarker, sizeof kEndMarker, nullptr)
                                    : WriteAll(kSeparatorMarker, sizeof kSeparatorMarker, nullptr);
            if (marker != Put::Done) {
                m_channel.Abort();
                return Ended(marker, j);
            }
            // A connection closed with bytes in flight loses them when the
            // printer resets it: every file is acknowledged before its close,
            // and the pause after a separator runs meanwhile, never shorter.
            const int64_t markerAt = m_observer.NowMs();
            const Put delivered = m_policy.checkDelivery ? WaitDelivered() : Put::Done;
            if (delivered != Put::Done) {
                m_channel.Abort();
                if (delivered == Put::Stalled)
                    return m_cancelled ? End(Outcome::Cancelled, j, Cause::Cancelled)
                                       : End(Outcome::Failed, j, Cause::NotAcknowledged);
                return End(Outcome::Failed, j, m_channel.Failure());
            }
            if (last) {
                m_channel.Close();
                return End(Outcome::Completed, -1);
            }
            const int64_t rest = m_policy.pauseMs - (m_observer.NowMs() - markerAt);
            if (rest > 0)
                m_observer.Pause(int(rest));
            m_channel.Close();
        }
        return End(Outcome::Failed, m_files);
    }

    // A file or marker that did not go out whole.
    Result Ended(Put put, int j) const {
        if (put == Put::Stalled)
            return m_cancelled ? End(Outcome::Cancelled, j, Cause::Cancelled)
                               : End(Outcome::Failed, j, Cause::Stalled);
        return End(Outcome::Failed, j,
                   m_readFailure != Cause::None ? m_readFailure : m_channel.Failure());
    }

    // The longest a printer may take nothing: after Cancel it is held to
    // the shorter cancel limit.
    int StallLimitMs() const {
        return m_cancelled ? std::min(m_policy.stallTimeoutMs, m_policy.cancelStallMs)
                           : m_policy.stallTimeoutMs;
    }

    // A printer that answers no connection attempt is bounded like one that
    // takes no bytes; Pending when the wait was given up.
    OpenResult OpenChannel() {
        const int64_t start = m_observer.NowMs();
        for (;;) {
            const OpenResult result = m_channel.Open(m_policy.sliceMs);
            if (result != OpenResult::Pending)
                return result;
            if (m_observer.NowMs() - start >= StallLimitMs())
                return OpenResult::Pending;
            Alive();
        }
    }

    Put SendFile(int j, Source& source, std::vector<unsigned char> (&buffers)[2],
                 PieceHasher& hasher, Sha256Digest* digest) {
        FileProgress fp;
        fp.file = j;
        fp.size = source.Size();
        const int64_t bs = std::max(m_policy.blockSize, 1);
        fp.blocks = fp.size / bs + 1;
        // A piece left half hashed by a failure is dropped with the file.
        hasher.Finish();
        uint64_t pieces = 0;
        while (fp.taken < fp.size) {
            std::vector<unsigned char>& buffer = buffers[pieces % 2];
            // The piece that used this buffer before must be hashed.
            hasher.WaitFor(pieces > 0 ? pieces - 1 : 0);
            const std::size_t want =
                std::size_t(std::min<int64_t>(int64_t(buffer.size()), fp.size - fp.taken));
            std::size_t got = 0;
            // Bounded: every turn reads something or ends the loop.
            while (got < want) {
                const long n = source.Read(buffer.data() + got, want - got);
                if (n <= 0) {
                    // A short or failed read: the file is not whole.
                    m_readFailure = n == 0 ? Cause::FileChanged : source.ReadFailure();
                    return Put::Failed;
                }
                got += std::size_t(n);
            }
            // The bytes hashed are the very bytes handed to the printer: the
            // buffer is not written again until both are done with it.
            hasher.Add(buffer.data(), want);
            ++pieces;
            const Put put = WriteAll(buffer.data(), want, &fp);
            if (put != Put::Done)
                return put;
        }
        *digest = hasher.Finish();
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
                const std::size_t took = std::min<std::size_t>(std::size_t(n), length - done);
                done += took;
                m_bytes += int64_t(took);
                m_lastTake = now;
                if (fp != nullptr)
                    Taken(*fp, long(took));
            } else if (now - m_lastTake >= StallLimitMs()) {
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

    // After a marker: until the printer has acknowledged every byte of the
    // connection (Done), the connection is lost (Failed), or the count of
    // unacknowledged bytes has not moved for the stall limit (Stalled).
    Put WaitDelivered() {
        int64_t lastOutstanding = -1;
        int64_t lastMove = m_observer.NowMs();
        for (;;) {
            int64_t outstanding = -1;
            switch (m_channel.Delivered(m_policy.sliceMs, &outstanding)) {
            case Delivery::Delivered:
                return Put::Done;
            case Delivery::Lost:
                return Put::Failed;
            case Delivery::Pending:
                break;
            }
            const int64_t now = m_observer.NowMs();
            if (outstanding != lastOutstanding) {
                lastOutstanding = outstanding;
                lastMove = now;
            } else if (now - lastMove >= StallLimitMs()) {
                return Put::Stalled;
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
    int64_t m_bytes = 0;
    Cause m_readFailure = Cause::None;
    std::vector<Sha256Digest> m_sent;
};

} // namespace

Result Send(Package& package, Channel& channel, Observer& observer, const Policy& policy) {
    if (package.FileCount() <= 0)
        return End(Outcome::Failed, -1);
    Run run(package, channel, observer, policy);
    return run.Go();
}

} // namespace transfer
