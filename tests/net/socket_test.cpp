// The print-port channel on loopback: real sockets, peers on threads.
#include "Responder.h"
#include "net/NetIO.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <future>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

using namespace std::chrono_literals;

namespace {

// A listening socket on 127.0.0.1 with an ephemeral port.
class Listener {
public:
    Listener() {
        m_fd = BindLoopback(AF_INET, SOCK_STREAM, 0, &m_port);
        m_ok = m_fd >= 0 && listen(m_fd, 8) == 0;
    }
    ~Listener() { close(m_fd); }
    bool Ok() const { return m_ok; }
    int Port() const { return m_port; }
    // Accepts one connection, waiting at most `limit`.
    int Accept(std::chrono::milliseconds limit = 5000ms) {
        pollfd p{m_fd, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(limit.count())) != 1)
            return -1;
        return accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC);
    }

private:
    int m_fd = -1;
    int m_port = 0;
    bool m_ok = false;
};

// A port of 127.0.0.1 that nobody listens on (any more).
int ClosedPort() {
    Listener gone;
    return gone.Port();
}

// The channel connected to a listener, and the peer it accepted (closed at
// the end unless a test took it).
struct Connected {
    Connected() {
        if (listener.Ok() && net.NetworkConnect("127.0.0.1", listener.Port()) == 0)
            peer = listener.Accept();
    }
    ~Connected() {
        if (peer >= 0)
            close(peer);
    }
    Listener listener;
    CNetIO net;
    int peer = -1;
};

// Reads until end of stream or `limit` bytes; bounded in time.
std::vector<unsigned char> ReadAll(int fd, size_t limit = SIZE_MAX) {
    std::vector<unsigned char> got;
    unsigned char buf[65536];
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (got.size() < limit && std::chrono::steady_clock::now() < deadline) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 1000) <= 0)
            continue;
        const size_t want = std::min(sizeof(buf), limit - got.size());
        const ssize_t n = recv(fd, buf, want, 0);
        if (n <= 0)
            break;
        got.insert(got.end(), buf, buf + n);
    }
    return got;
}

std::vector<unsigned char> Pattern(size_t n) {
    std::vector<unsigned char> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = static_cast<unsigned char>((i * 131) ^ (i >> 11));
    return v;
}

} // namespace

TEST(Channel, UnusableAddressTextsGiveMinusOne) {
    CNetIO net;
    EXPECT_EQ(net.NetworkConnect("not an address", 9100), -1);
    EXPECT_EQ(net.NetworkConnect("", 9100), -1);
    EXPECT_EQ(net.NetworkConnect(nullptr, 9100), -1);
    // Names are not looked up: only numeric texts are addresses here.
    EXPECT_EQ(net.NetworkConnect("localhost", 9100), -1);
    EXPECT_EQ(net.NetworkConnectV6("127.0.0.1", 9100), -1);
}

// Sends `data` over a fresh connection in writes of `block` bytes, then
// closes it; what the peer received.
std::vector<unsigned char> Delivered(const std::vector<unsigned char>& data, size_t block) {
    Connected c;
    if (c.peer < 0)
        return {};
    auto reader = std::async(std::launch::async, [&c] { return ReadAll(c.peer); });
    for (size_t off = 0; off < data.size(); off += block) {
        const size_t n = std::min(block, data.size() - off);
        if (c.net.NetworkWrite(0, data.data() + off, n) != static_cast<int>(n))
            break;
    }
    c.net.NetworkClose(0);
    return reader.get();
}

TEST(Channel, DeliversEveryByteInOrder) {
    auto data = Pattern(8 << 20); // far more than the socket buffers hold
    data.insert(data.end(), {0x00, 0x00, 0x00, 0x00});
    EXPECT_TRUE(Delivered(data, 4096) == data);
}

TEST(Channel, PeerClosingMidStreamShortensTheCountWithoutSignal) {
    Connected c;
    ASSERT_GE(c.peer, 0);
    CNetIO& net = c.net;
    const int peer = std::exchange(c.peer, -1);
    auto reader = std::async(std::launch::async, [peer] {
        auto got = ReadAll(peer, 64 * 1024);
        // Unread data makes the close a reset, as a printer that gives up does.
        close(peer);
        return got.size();
    });
    const auto data = Pattern(64 << 20);
    // SIGPIPE would end the whole test program here.
    const int written = net.NetworkWrite(0, data.data(), data.size());
    EXPECT_GE(written, 64 * 1024);
    EXPECT_LT(static_cast<size_t>(written), data.size());
    reader.get();
    unsigned long more = 0;
    const int err = net.Write(data.data(), 4096, &more);
    EXPECT_TRUE(err == EPIPE || err == ECONNRESET) << err;
}

TEST(Channel, WritesWithoutAConnectionOrWithNothingToWrite) {
    CNetIO net;
    const unsigned char b[4] = {1, 2, 3, 4};
    EXPECT_EQ(net.NetworkWrite(0, b, sizeof(b)), 0);
    unsigned long written = 77;
    EXPECT_EQ(net.Write(b, sizeof(b), &written), -1);
    EXPECT_EQ(written, 77u); // untouched on refusal

    Listener l;
    ASSERT_EQ(net.NetworkConnect("127.0.0.1", l.Port()), 0);
    EXPECT_EQ(net.Write(b, 0, &written), 0);
    EXPECT_EQ(written, 0u);
    EXPECT_EQ(net.Write(nullptr, 0, nullptr), 0);
    net.NetworkClose(0);
    EXPECT_EQ(net.NetworkWrite(0, b, sizeof(b)), 0);
}

TEST(Channel, SecondConnectClosesTheFirst) {
    Listener first, second;
    CNetIO net;
    ASSERT_EQ(net.NetworkConnect("127.0.0.1", first.Port()), 0);
    const int a = first.Accept();
    ASSERT_GE(a, 0);
    ASSERT_EQ(net.NetworkConnect("127.0.0.1", second.Port()), 0);
    const int b = second.Accept();
    ASSERT_GE(b, 0);
    // The first peer sees end of stream; the second gets the data.
    EXPECT_TRUE(ReadAll(a).empty());
    const unsigned char x[3] = {'a', 'b', 'c'};
    EXPECT_EQ(net.NetworkWrite(0, x, 3), 3);
    net.NetworkClose(0);
    EXPECT_EQ(ReadAll(b).size(), 3u);
    close(a);
    close(b);
}

TEST(Cancel, BeforeAWaitEndsEveryWaitAtOnceUntilClosed) {
    CSocket s;
    EXPECT_NE(s.Cancel(), 0); // nothing open: the write fails
    ASSERT_EQ(s.Open(AF_INET, SOCK_STREAM, 0), 0);
    EXPECT_EQ(s.Cancel(), 0);
    EXPECT_EQ(s.Cancel(), 0); // second one writes nothing
    for (SOCKETSELECTMODE m : {SOCKETSELECT_CONNECT, SOCKETSELECT_READ, SOCKETSELECT_WRITE}) {
        bool ready = true;
        EXPECT_EQ(s.Select(m, &ready), ECANCELED);
    }
    s.Close();
    EXPECT_FALSE(s.IsOpen());
    ASSERT_EQ(s.Open(AF_INET, SOCK_STREAM, 0), 0);
    // An unconnected TCP socket reports itself writable (hung up) at once,
    // so this wait returns without a cancel.
    bool ready = false;
    EXPECT_EQ(s.Select(SOCKETSELECT_WRITE, &ready), 0);
    EXPECT_TRUE(ready);
}

TEST(Cancel, DuringAWaitEndsTheWriteWithWhatWasSent) {
    Connected c; // accepts and never reads
    ASSERT_GE(c.peer, 0);
    CNetIO& net = c.net;
    const auto data = Pattern(64 << 20);
    std::atomic<bool> started{false};
    auto writer = std::async(std::launch::async, [&] {
        unsigned long written = 0;
        started = true;
        const int rc = net.Write(data.data(), data.size(), &written);
        return std::make_pair(rc, written);
    });
    while (!started)
        std::this_thread::yield();
    // The writer is stuck once the buffers fill; then cancel from here.
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(net.Cancel(), 0);
    ASSERT_EQ(writer.wait_for(5s), std::future_status::ready);
    const auto [rc, written] = writer.get();
    EXPECT_EQ(rc, ECANCELED);
    EXPECT_GT(written, 0u);
    EXPECT_LT(written, data.size());
}

TEST(Cancel, EndsAPendingConnect) {
    // A listener whose backlog is full leaves a further connect pending.
    Listener l;
    std::vector<CNetIO> fillers(64);
    for (CNetIO& f : fillers)
        f.NetworkConnectStart("127.0.0.1", l.Port());
    CNetIO net;
    auto connecting =
        std::async(std::launch::async, [&] { return net.NetworkConnect("127.0.0.1", l.Port()); });
    if (connecting.wait_for(500ms) == std::future_status::ready)
        GTEST_SKIP() << "the stack completed the connect at once";
    EXPECT_EQ(net.Cancel(), 0);
    ASSERT_EQ(connecting.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(connecting.get(), ECANCELED);
}

TEST(Select, WorksWithDescriptorsAbove1024) {
    rlimit lim{};
    getrlimit(RLIMIT_NOFILE, &lim);
    if (lim.rlim_cur < 1200) {
        lim.rlim_cur = std::min<rlim_t>(lim.rlim_max, 1200);
        setrlimit(RLIMIT_NOFILE, &lim);
    }
    struct Spare : std::vector<int> {
        ~Spare() {
            for (const int fd : *this)
                close(fd);
        }
    } spare;
    for (int i = 0; i < 1100 && (spare.empty() || spare.back() >= 0); ++i)
        spare.push_back(dup(0));
    if (spare.back() < 1024)
        GTEST_SKIP() << "cannot open enough descriptors";
    const auto data = Pattern(4 << 20);
    EXPECT_TRUE(Delivered(data, data.size()) == data);
}

// ---- the download's sliced writes and delivery check ------------------------------

TEST(Slices, AWriteToAPeerThatStopsReadingReturnsWithinItsWait) {
    EXPECT_EQ(CNetIO().NetworkWriteSome("x", 1, 10, nullptr), -1) << "not connected";
    Connected c;
    ASSERT_GE(c.peer, 0);
    CNetIO& net = c.net;
    const auto data = Pattern(1 << 20);
    unsigned long taken = 1;
    long total = 0;
    // The peer never reads: the buffers fill, then a slice takes nothing.
    for (int turn = 0; turn < 10000 && taken > 0; ++turn) {
        ASSERT_EQ(net.NetworkWriteSome(data.data(), data.size(), 20, &taken), 0);
        total += long(taken);
    }
    ASSERT_EQ(taken, 0u);
    // The kernel may still find a little room (the peer's buffer collapsed,
    // a late acknowledgement); a slice that takes bytes returns early, so
    // the wait is measured on one that takes nothing.
    std::chrono::steady_clock::duration waited{};
    for (int turn = 0; turn < 5; ++turn) {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(net.NetworkWriteSome(data.data(), data.size(), 50, &taken), 0);
        waited = std::chrono::steady_clock::now() - start;
        total += long(taken);
        if (taken == 0)
            break;
    }
    EXPECT_EQ(taken, 0u);
    EXPECT_GE(waited, 40ms);
    EXPECT_LT(waited, 1000ms);
    long pending = 0;
    EXPECT_EQ(net.NetworkUnacknowledged(&pending), 0);
    EXPECT_GT(pending, 0) << "bytes the peer's window did not take";
    EXPECT_LE(pending, total);
}

TEST(Slices, DeliveredOnlyWhenThePeerAcknowledgedAndNotAfterAReset) {
    Connected c;
    ASSERT_GE(c.peer, 0);
    CNetIO& net = c.net;
    const int peer = std::exchange(c.peer, -1);
    const auto data = Pattern(300000);
    auto reader = std::async(std::launch::async, [peer] { return ReadAll(peer, 300000).size(); });
    size_t off = 0;
    for (int turn = 0; turn < 100000 && off < data.size(); ++turn) {
        unsigned long taken = 0;
        ASSERT_EQ(net.NetworkWriteSome(data.data() + off, data.size() - off, 20, &taken), 0);
        off += taken;
    }
    ASSERT_EQ(reader.get(), data.size());
    long pending = -1;
    for (int turn = 0; turn < 1000 && pending != 0; ++turn) {
        ASSERT_EQ(net.NetworkUnacknowledged(&pending), 0);
        std::this_thread::sleep_for(1ms);
    }
    EXPECT_EQ(pending, 0);

    // The peer resets: an empty queue is no delivery then.
    const linger drop = {1, 0};
    setsockopt(peer, SOL_SOCKET, SO_LINGER, &drop, sizeof(drop));
    close(peer);
    int err = 0;
    for (int turn = 0; turn < 1000 && err == 0; ++turn) {
        err = net.NetworkUnacknowledged(&pending);
        std::this_thread::sleep_for(1ms);
    }
    EXPECT_EQ(err, ECONNRESET);
}

TEST(Slices, AbortResetsTheConnection) {
    Connected c;
    ASSERT_GE(c.peer, 0);
    c.net.NetworkAbort();
    EXPECT_FALSE(c.net.IsOpen());
    pollfd p{c.peer, POLLIN, 0};
    ASSERT_EQ(poll(&p, 1, 5000), 1);
    char byte = 0;
    EXPECT_EQ(recv(c.peer, &byte, 1, 0), -1);
    EXPECT_EQ(errno, ECONNRESET);
}

TEST(Slices, AConnectInBoundedSteps) {
    Listener l;
    CNetIO net;
    auto connect = [&net](int port) {
        int rc = net.NetworkConnectStart("127.0.0.1", port);
        for (int turn = 0; turn < 100 && rc == EINPROGRESS; ++turn)
            rc = net.NetworkConnectWait(20);
        return rc;
    };
    EXPECT_EQ(connect(l.Port()), 0);
    const int peer = l.Accept();
    EXPECT_GE(peer, 0);
    close(peer);
    EXPECT_EQ(connect(ClosedPort()), ECONNREFUSED);
    EXPECT_EQ(net.NetworkConnectStart("not an address", 9100), -1);
}
