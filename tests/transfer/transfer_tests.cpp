// The transfer engine against a fake printer channel and a fake clock: what
// each connection receives, byte for byte, with its marker and pauses, and
// how each way a printer can misbehave ends.
#include "TransferFakes.h"

#include <gtest/gtest.h>

#include <optional>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

namespace {

using transfer::Cause;
using transfer::Delivery;
using transfer::OpenResult;
using transfer::Outcome;

Bytes Pattern(std::size_t size, unsigned seed) {
    return PatternOf<Bytes>(size, seed);
}

// How a run ended, compared at once.
std::tuple<Outcome, int, Cause> Ending(const transfer::Result& r) {
    return {r.outcome, r.file, r.cause};
}

// The longest time the window went without a turn, from the turn `from` on.
int64_t LongestGap(const std::vector<int64_t>& alive, std::size_t from = 1) {
    int64_t longest = 0;
    for (std::size_t i = std::max<std::size_t>(from, 1); i < alive.size(); ++i)
        longest = std::max(longest, alive[i] - alive[i - 1]);
    return longest;
}

// The window side with a clock that moves only when something waits.
class FakeObserver : public transfer::Observer {
public:
    explicit FakeObserver(std::vector<std::string>& log) : log(&log) {}
    int64_t now = 0;
    std::vector<int> progress;
    std::vector<int64_t> alive; // times at which events could run
    std::vector<std::string>* log;
    std::function<bool(int64_t)> cancelAt = [](int64_t) { return false; };
    bool cancelled = false;

    void Progress(int percent) override {
        progress.push_back(percent);
        alive.push_back(now);
    }
    void KeepAlive() override { alive.push_back(now); }
    bool CancelRequested() override {
        if (!cancelled && cancelAt(now))
            cancelled = true;
        return cancelled;
    }
    void Pause(int ms) override {
        // The window's pause lets events run all along.
        log->push_back("pause " + std::to_string(ms));
        for (int left = ms; left > 0; left -= 20) {
            now += left < 20 ? left : 20;
            alive.push_back(now);
        }
    }
    void BeforeEndMarker() override { log->push_back("dialog closes"); }
    int64_t NowMs() override { return now; }
};

// A printer behind a channel. By default it takes everything at once.
class FakeChannel : public transfer::Channel {
public:
    explicit FakeChannel(FakeObserver& clock) : log(clock.log), m_clock(clock) {}

    std::vector<Bytes> connections;
    std::vector<std::string>* log;
    std::vector<std::size_t> writeLengths;
    std::size_t piece = 64 * 1024;
    int failOpenAt = -1;  // this opening finds no printer
    int pendingOpens = 0; // calls that find the connection still being made
    bool refuse = false;
    long takePerCall = -1;   // at most this many bytes per call (-1: all)
    int64_t msPerCall = 0;   // time each call takes
    int64_t stallAfter = -1; // total bytes after which it takes none
    int64_t resetAfter = -1; // total bytes after which the connection breaks
    Delivery delivery = Delivery::Delivered;
    std::vector<Delivery> deliveries; // per connection, over `delivery`
    int64_t deliveredAfterMs = 0;     // a delivery still pending this long after the first ask
    int64_t total = 0;

    OpenResult Open(int waitMs) override {
        if (pendingOpens > 0) {
            --pendingOpens;
            m_clock.now += waitMs;
            return OpenResult::Pending;
        }
        const int n = int(m_opens++);
        if (n == failOpenAt || refuse) {
            log->push_back("open fails");
            return refuse ? OpenResult::Refused : OpenResult::Unreachable;
        }
        log->push_back("open");
        connections.emplace_back();
        m_open = true;
        return OpenResult::Open;
    }
    long Write(const unsigned char* data, std::size_t length, int waitMs) override {
        EXPECT_TRUE(m_open);
        EXPECT_LE(waitMs, 100) << "a single wait keeps the window alive";
        writeLengths.push_back(length);
        m_clock.now += msPerCall;
        if (resetAfter >= 0 && total >= resetAfter)
            return -1;
        long n = long(length);
        if (takePerCall >= 0)
            n = std::min(n, takePerCall);
        if (stallAfter >= 0)
            n = long(std::min<int64_t>(n, std::max<int64_t>(0, stallAfter - total)));
        if (resetAfter >= 0)
            n = long(std::min<int64_t>(n, resetAfter - total));
        if (n == 0) {
            m_clock.now += waitMs;
            return 0;
        }
        connections.back().insert(connections.back().end(), data, data + n);
        total += n;
        return n;
    }
    Delivery Delivered(int waitMs, int64_t* outstanding) override {
        *outstanding = 4;
        const std::size_t c = connections.size() - 1;
        Delivery answer = c < deliveries.size() ? deliveries[c] : delivery;
        if (m_askedAt < 0)
            m_askedAt = m_clock.now;
        if (answer == Delivery::Delivered && m_clock.now - m_askedAt < deliveredAfterMs)
            answer = Delivery::Pending;
        if (answer == Delivery::Pending)
            m_clock.now += waitMs;
        return answer;
    }
    void Close() override { Ended("close"); }
    void Abort() override { Ended("abort"); }
    std::size_t PieceSize() const override { return piece; }

private:
    void Ended(const char* how) {
        log->push_back(how);
        m_open = false;
        m_askedAt = -1;
    }
    FakeObserver& m_clock;
    unsigned m_opens = 0;
    bool m_open = false;
    int64_t m_askedAt = -1;
};

class EngineTest : public ::testing::Test {
protected:
    EngineTest() { policy.stallTimeoutMs = 5000; }
    transfer::Result Run() { return Run(channel, observer); }
    // A run on another printer, with its own clock and log. Each run starts
    // with no connections recorded.
    transfer::Result Run(FakeChannel& other, FakeObserver& clock) {
        other.connections.clear();
        package.log = clock.log;
        return transfer::Send(package, other, clock, policy);
    }

    std::vector<std::string> log;
    FakeObserver observer{log};
    FakePackage package;
    FakeChannel channel{observer};
    transfer::Policy policy;
};

TEST_F(EngineTest, EachFileOnItsOwnConnectionWithItsMarkerAndThePause) {
    package.files = {Pattern(100000, 1), Pattern(4097, 2), Bytes()};
    channel.takePerCall = 777; // short writes: the rest must follow
    const auto result = Run();
    EXPECT_EQ(result.outcome, Outcome::Completed);
    EXPECT_EQ(channel.connections,
              (std::vector<Bytes>{Cat(package.files[0], kSep), Cat(package.files[1], kSep), kEnd}))
        << "an empty file is nothing, then its marker";
    EXPECT_EQ(result.bytes, channel.total) << "every byte taken is counted, markers too";
    EXPECT_EQ(result.sent.size(), 3u);
    EXPECT_EQ(log, (std::vector<std::string>{"file 0", "open", "pause 1000", "close", "file 1",
                                             "open", "pause 1000", "close", "file 2", "open",
                                             "dialog closes", "close"}))
        << "a pause after each separator, none after the end marker";
}

TEST_F(EngineTest, NetworkProgressPerBlockAndUsbPerFile) {
    package.files = {Pattern(10000, 1), Pattern(10000, 2)};
    channel.piece = 4096;
    EXPECT_EQ(Run().outcome, Outcome::Completed);
    // 10000 bytes make 10000 / 4096 + 1 = 3 blocks; each term truncates.
    EXPECT_EQ(observer.progress, (std::vector<int>{0, 16, 33, 50, 66, 83}));

    std::vector<std::string> usbLog;
    FakeObserver usb(usbLog);
    FakeChannel usbChannel(usb);
    package.files = {Pattern(10, 1), Bytes(), Pattern(10, 2), Pattern(10, 3)};
    policy.progress = transfer::ProgressStep::PerFile;
    EXPECT_EQ(Run(usbChannel, usb).outcome, Outcome::Completed);
    EXPECT_EQ(usb.progress, (std::vector<int>{0, 50, 75})) << "nothing for the empty file";
}

TEST_F(EngineTest, FilesGoInPiecesOfTheChannelsSize) {
    package.files = {Pattern(2000, 1)};
    channel.piece = 512; // a multiple of the pipe's packet size
    EXPECT_EQ(Run().outcome, Outcome::Completed);
    EXPECT_EQ(channel.writeLengths, (std::vector<std::size_t>{512, 512, 512, 464, 4}));
    EXPECT_EQ(channel.connections[0], Cat(package.files[0], kEnd));
}

TEST_F(EngineTest, SlowPrinterFinishesAndTheWindowStaysAlive) {
    package.files = {Pattern(300000, 1), Pattern(3000, 2)};
    channel.takePerCall = 1000;
    channel.msPerCall = 30;
    EXPECT_EQ(Run().outcome, Outcome::Completed);
    EXPECT_EQ(channel.connections[1], Cat(package.files[1], kEnd));
    ASSERT_FALSE(observer.alive.empty());
    EXPECT_LE(LongestGap(observer.alive), 100);
}

TEST_F(EngineTest, StalledPrinterFailsAfterTheLimitWithoutMarker) {
    package.files = {Pattern(200000, 1), Pattern(100, 2)};
    channel.stallAfter = 50000;
    const auto result = Run();
    EXPECT_EQ(Ending(result), std::tuple(Outcome::Failed, 0, Cause::Stalled));
    EXPECT_EQ(result.bytes, 50000);
    EXPECT_EQ(channel.connections, std::vector<Bytes>{Bytes(package.files[0].begin(),
                                                            package.files[0].begin() + 50000)});
    EXPECT_EQ(log.back(), "abort");
    EXPECT_GE(observer.now, 5000);
    EXPECT_LT(observer.now, 5200);
    EXPECT_LE(LongestGap(observer.alive), 100);
}

TEST_F(EngineTest, CancelSendsTheRestOfTheFileThenTheCancelMarker) {
    package.files = {Pattern(300000, 1), Pattern(100, 2)};
    channel.takePerCall = 4096;
    channel.msPerCall = 10;
    observer.cancelAt = [](int64_t now) { return now >= 200; };
    const auto result = Run();
    EXPECT_EQ(result.outcome, Outcome::Cancelled);
    EXPECT_EQ(channel.connections, std::vector<Bytes>{Cat(package.files[0], kCancel)})
        << "file 1 is not sent";
    EXPECT_EQ(std::vector<std::string>(log.end() - 2, log.end()),
              (std::vector<std::string>{"pause 1000", "close"}));
    const int shown = observer.progress.back();
    EXPECT_LT(shown, 100);
    EXPECT_LT(observer.progress.size(), 60u) << "no progress after Cancel";
}

TEST_F(EngineTest, CancelDuringAStallEndsAsCancelled) {
    package.files = {Pattern(200000, 1)};
    channel.stallAfter = 1000;
    policy.stallTimeoutMs = 120000;
    observer.cancelAt = [](int64_t now) { return now >= 3000; };
    const auto result = Run();
    EXPECT_EQ(result.outcome, Outcome::Cancelled);
    EXPECT_EQ(log.back(), "abort");
    EXPECT_GE(observer.now, 10000) << "ten seconds without a byte";
    EXPECT_LT(observer.now, 10200);

    // A shorter stall limit bounds the wait after Cancel as well.
    std::vector<std::string> l2;
    FakeObserver o2(l2);
    FakeChannel c2(o2);
    c2.stallAfter = 1000;
    o2.cancelAt = [](int64_t now) { return now >= 3500; };
    policy.stallTimeoutMs = 5000;
    EXPECT_EQ(Run(c2, o2).outcome, Outcome::Cancelled);
    EXPECT_LT(o2.now, 5200);
}

TEST_F(EngineTest, ResetMidwayEndsThePrinterWithoutMarker) {
    package.files = {Pattern(100000, 1), Pattern(100, 2)};
    channel.resetAfter = 30000; // in the middle of a piece: that part is taken, then it fails
    const auto result = Run();
    EXPECT_EQ(Ending(result), std::tuple(Outcome::Failed, 0, Cause::Reset));
    EXPECT_EQ(result.bytes, 30000) << "the part of a piece taken before the failure counts";
    ASSERT_EQ(channel.connections.size(), 1u);
    EXPECT_EQ(channel.connections[0].size(), 30000u);
}

// A connection closed with bytes in flight loses them when the printer then
// resets it: every file, not only the last, is acknowledged before its close.
TEST_F(EngineTest, EveryFileIsAcknowledgedBeforeItsConnectionCloses) {
    package.files = {Pattern(100000, 1), Pattern(100, 2)};
    policy.checkDelivery = true;
    channel.deliveries = {Delivery::Pending}; // takes file 0 and its separator, acknowledges never
    auto result = Run();
    EXPECT_EQ(Ending(result), std::tuple(Outcome::Failed, 0, Cause::NotAcknowledged));
    EXPECT_EQ(channel.connections, std::vector<Bytes>{Cat(package.files[0], kSep)})
        << "the wire is unchanged, no later file goes to that printer";
    EXPECT_EQ(log.back(), "abort");
    EXPECT_GE(observer.now, 5000);

    channel.deliveries = {Delivery::Lost}; // resets the connection after taking the file
    EXPECT_EQ(Ending(Run()), std::tuple(Outcome::Failed, 0, Cause::Reset));
    EXPECT_EQ(channel.connections.size(), 1u);

    // Acknowledged some 300 ms after the separator: the pause runs meanwhile
    // and is never shorter than a second in all.
    const int waited = 8 * policy.sliceMs;
    channel.deliveries.clear();
    channel.deliveredAfterMs = waited;
    log.clear();
    result = Run();
    EXPECT_EQ(result.outcome, Outcome::Completed);
    EXPECT_EQ(channel.connections,
              (std::vector<Bytes>{Cat(package.files[0], kSep), Cat(package.files[1], kEnd)}));
    EXPECT_EQ(std::count(log.begin(), log.end(), "pause " + std::to_string(1000 - waited)), 1)
        << "the rest of the second after the acknowledgement";
}

// A marker vouches for the bytes before it: none follows bytes that are not
// the package's own, whether the file has a SHA-256 key or not.
TEST_F(EngineTest, BytesThatAreNotThePackagesOwnGetNoMarker) {
    Sha256 sha;
    package.files = {Pattern(300000, 1), Pattern(100, 2)};
    sha.Add(package.files[0].data(), package.files[0].size());
    const Sha256Digest original = sha.Finish();

    package.rewritten = 0;
    for (const bool keyed : {true, false}) {
        package.expected = {keyed ? std::optional(original) : std::nullopt};
        const auto result = Run();
        EXPECT_EQ(Ending(result), std::tuple(Outcome::Failed, 0, Cause::FileChanged)) << keyed;
        ASSERT_EQ(channel.connections.size(), 1u);
        EXPECT_EQ(channel.connections[0].size(), package.files[0].size()) << "bytes, no marker";
        EXPECT_EQ(log.back(), "abort");
        EXPECT_TRUE(result.sent.empty());
    }

    // The file is as it was, but its key names other bytes.
    package.rewritten = -1;
    Sha256Digest other = original;
    other[31] ^= 1;
    package.expected = {other};
    EXPECT_EQ(Run().cause, Cause::FileChanged);
    EXPECT_EQ(channel.connections[0].size(), package.files[0].size());

    // Matching: sent, and each file's SHA-256 is the one of its bytes.
    package.files = {Bytes{'a', 'b', 'c'}, Bytes()};
    package.expected = {};
    const auto result = Run();
    EXPECT_EQ(result.outcome, Outcome::Completed);
    ASSERT_EQ(result.sent.size(), 2u);
    EXPECT_EQ(DigestHex(result.sent[0]),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(DigestHex(result.sent[1]),
              "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
}

TEST_F(EngineTest, CompletedOnlyWhenDelivered) {
    package.files = {Pattern(1000, 1)};
    policy.checkDelivery = true;
    channel.delivery = Delivery::Pending; // accepts, never acknowledges
    EXPECT_EQ(Ending(Run()), std::tuple(Outcome::Failed, 0, Cause::NotAcknowledged));
    EXPECT_GE(observer.now, 5000);
    EXPECT_EQ(channel.connections[0], Cat(package.files[0], kEnd));
    EXPECT_EQ(log.back(), "abort");

    channel.delivery = Delivery::Lost; // reset after the end marker
    EXPECT_EQ(Run().cause, Cause::Reset);

    channel.delivery = Delivery::Delivered;
    EXPECT_EQ(Run().outcome, Outcome::Completed);

    // Without the check (USB: a transfer completes only when taken whole)
    // the marker's write is the delivery.
    channel.delivery = Delivery::Pending;
    policy.checkDelivery = false;
    EXPECT_EQ(Run().outcome, Outcome::Completed);
}

TEST_F(EngineTest, AFileThatCannotBeSentIsFoundBeforeItsConnection) {
    package.files = {Pattern(100, 1), Pattern(100, 2), Pattern(100, 3)};
    package.unusable = 1;
    EXPECT_EQ(Ending(Run()), std::tuple(Outcome::FileUnusable, 1, Cause::FileUnreadable));
    EXPECT_EQ(channel.connections, std::vector<Bytes>{Cat(package.files[0], kSep)})
        << "no connection for the unusable file";
}

TEST_F(EngineTest, AReadThatFailsMidwayEndsLikeAFailedWrite) {
    package.files = {Pattern(100, 1), Pattern(300000, 2), Pattern(100, 3)};
    package.failingRead = 1;
    channel.piece = 4096;
    EXPECT_EQ(Ending(Run()), std::tuple(Outcome::Failed, 1, Cause::FileUnreadable));
    ASSERT_EQ(channel.connections.size(), 2u);
    const Bytes& second = channel.connections[1];
    EXPECT_LE(second.size(), 150000u);
    EXPECT_TRUE(std::equal(second.begin(), second.end(), package.files[1].begin()))
        << "only bytes of the file, no marker";
    EXPECT_EQ(log.back(), "abort");
}

TEST_F(EngineTest, DeviceGoneBetweenFilesOrPrinterUnreachable) {
    package.files = {Pattern(100, 1), Pattern(100, 2)};
    channel.failOpenAt = 1;
    auto result = Run();
    EXPECT_EQ(result.outcome, Outcome::Unreachable);
    EXPECT_EQ(result.file, 1);
    EXPECT_EQ(channel.connections, std::vector<Bytes>{Cat(package.files[0], kSep)})
        << "never the end marker";

    channel.refuse = true;
    result = Run();
    EXPECT_EQ(result.outcome, Outcome::Failed) << "a refused connection is a failure";
    EXPECT_EQ(result.file, 0);

    package.files.clear();
    EXPECT_EQ(Run().outcome, Outcome::Failed) << "no files: nothing is opened";
}

TEST_F(EngineTest, AConnectionThatIsNeverMadeIsBoundedToo) {
    package.files = {Pattern(1000, 1)};
    channel.pendingOpens = 3; // slow, but it comes
    EXPECT_EQ(Run().outcome, Outcome::Completed);
    EXPECT_EQ(channel.connections[0], Cat(package.files[0], kEnd));

    channel.pendingOpens = 1000000; // never answers
    const int64_t start = observer.now;
    EXPECT_EQ(Run().outcome, Outcome::Failed);
    EXPECT_GE(observer.now - start, 5000);
    EXPECT_LT(observer.now - start, 5200);
    EXPECT_EQ(log.back(), "abort");

    observer.cancelAt = [start](int64_t now) { return now >= start + 7000; };
    const std::size_t first = observer.alive.size() + 1;
    EXPECT_EQ(Run().outcome, Outcome::Cancelled) << "Cancel while connecting";
    EXPECT_LE(LongestGap(observer.alive, first), 100);
}

} // namespace
