// The queries and the address probe against a responder on the loopback
// (127.0.0.1 and ::1 only, an unprivileged port): no root, no namespace,
// nothing leaves the machine, nothing is broadcast.
#include "Ber.h"
#include "NetIO.h"
#include "StatusText.h"

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

const char kModel[] = "1.3.6.1.4.1.40917.886.300.369.8531.2.7";
const Bytes kModelEncoded{0x2B, 0x06, 0x01, 0x04, 0x01, 0x82, 0xBF, 0x55, 0x86,
                          0x76, 0x82, 0x2C, 0x82, 0x71, 0xC2, 0x53, 0x02, 0x07};
// 1.3.6.1.4.1.40917.886.300.369.8531.1.2.1.0
const Bytes kVersionName{0x2B, 0x06, 0x01, 0x04, 0x01, 0x82, 0xBF, 0x55, 0x86, 0x76,
                         0x82, 0x2C, 0x82, 0x71, 0xC2, 0x53, 0x01, 0x02, 0x01, 0x00};

double Since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

bool Holds(const Bytes& request, const Bytes& name) {
    const Bytes tagged = Tlv(0x06, name);
    return std::search(request.begin(), request.end(), tagged.begin(), tagged.end()) !=
           request.end();
}

// What an agent answers to one request: a list of (datagram, from the
// agent's own socket or from a stranger's).
struct Answer {
    Bytes datagram;
    bool fromStranger = false;
};
using Script = std::function<std::vector<Answer>(const Bytes& request)>;

// A UDP agent on the loopback, on a port of its own, answering on a thread.
// The queries are pointed at its port for as long as it lives.
class Responder {
public:
    Responder(int family, Script script) : m_script(std::move(script)) {
        m_fd = Bind(family, 0, &m_port);
        int ignored = 0;
        m_stranger = Bind(family, 0, &ignored);
        m_saved = g_nSnmpPort;
        g_nSnmpPort = m_port;
        m_thread = std::thread([this] { Serve(); });
    }
    ~Responder() {
        m_stop = true;
        m_thread.join();
        close(m_fd);
        close(m_stranger);
        g_nSnmpPort = m_saved;
    }
    bool Ok() const { return m_fd >= 0 && m_stranger >= 0; }
    int Requests() const { return m_requests; }

private:
    static int Bind(int family, int port, int* bound) {
        const int fd = socket(family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_storage a{};
        socklen_t length = 0;
        if (family == AF_INET) {
            auto* v4 = reinterpret_cast<sockaddr_in*>(&a);
            v4->sin_family = AF_INET;
            v4->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            v4->sin_port = htons(static_cast<uint16_t>(port));
            length = sizeof(*v4);
        } else {
            auto* v6 = reinterpret_cast<sockaddr_in6*>(&a);
            v6->sin6_family = AF_INET6;
            v6->sin6_addr = in6addr_loopback;
            v6->sin6_port = htons(static_cast<uint16_t>(port));
            length = sizeof(*v6);
        }
        if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&a), length) != 0) {
            if (fd >= 0)
                close(fd);
            return -1;
        }
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
        *bound = ntohs(family == AF_INET ? reinterpret_cast<sockaddr_in*>(&a)->sin_port
                                         : reinterpret_cast<sockaddr_in6*>(&a)->sin6_port);
        return fd;
    }
    void Serve() {
        const auto deadline = Clock::now() + 20s;
        while (!m_stop && Clock::now() < deadline) {
            pollfd p{m_fd, POLLIN, 0};
            if (poll(&p, 1, 20) != 1)
                continue;
            unsigned char buf[4096];
            sockaddr_storage from{};
            socklen_t len = sizeof(from);
            const ssize_t n =
                recvfrom(m_fd, buf, sizeof(buf), 0, reinterpret_cast<sockaddr*>(&from), &len);
            if (n <= 0)
                continue;
            ++m_requests;
            for (const Answer& a : m_script(Bytes(buf, buf + n)))
                sendto(a.fromStranger ? m_stranger : m_fd, a.datagram.data(), a.datagram.size(), 0,
                       reinterpret_cast<sockaddr*>(&from), len);
        }
    }
    Script m_script;
    int m_fd = -1;
    int m_stranger = -1;
    int m_port = 0;
    int m_saved = 0;
    std::atomic<int> m_requests{0};
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

// A response with a chosen request-id (as one content byte).
Bytes ResponseWithId(const Bytes& binding, unsigned char requestId) {
    const Bytes pdu = Tlv(0xA2, Cat({Int(requestId), Int(0), Int(0), Tlv(0x30, binding)}));
    return Tlv(0x30, Cat({Int(0), Tlv(0x04, Str("orchid")), pdu}));
}

// An agent of the model whose name, version and device ID are given.
Script Printer(const Bytes& name, const std::string& version, unsigned char status) {
    const std::string deviceId = "MFG:Maker;MDL:QX;STS:" + Base64(StatusRecord(status)) + ";";
    return [=](const Bytes& request) -> std::vector<Answer> {
        if (Holds(request, kSysObjectIdName))
            return {{Response({Binding(kSysObjectIdName, 0x06, kModelEncoded)})}};
        if (Holds(request, kSysNameName))
            return {{Response({Binding(kSysNameName, 0x04, name)})}};
        if (Holds(request, kVersionName))
            return {{Response({Binding(kVersionName, 0x04, Str(version))})}};
        if (Holds(request, kDeviceIdName))
            return {{Response({Binding(kDeviceIdName, 0x04, Str(deviceId))})}};
        return {};
    };
}

std::string Name(const char* host) {
    CNetIO net;
    char out[kSnmpValueSize];
    strcpy(out, "untouched");
    if (net.OstrelNetworkGetPrinterName(host, 4, out, sizeof(out)) != 0)
        return "failed:" + std::string(out);
    return out;
}

} // namespace

TEST(LoopbackQueries, NamesAreDecodedAndCleanedBeforeTheyReachAnyone) {
    struct Case {
        Bytes sent;
        std::string shown;
    };
    const std::vector<Case> cases = {
        {Str("B\xC3\xBCro-Drucker"), "B\xC3\xBCro-Drucker"},         // UTF-8 stays
        {Str("B\xFCro-Drucker"), "B\xC3\xBCro-Drucker"},             // Latin-1 becomes UTF-8
        {Str("A\x1B[31mB\r\nC\tD\x7F"), "A[31mBCD"},                 // C0 and DEL
        {Str("x\xE2\x80\xAEgpj.exe\xE2\x80\xAC"), "xgpj.exe"},       // RLO ... PDF
        {Str("\xC2\x85next\xE2\x81\xA6iso\xE2\x81\xA9"), "nextiso"}, // C1, isolates
        {Str("L1\x85\x9B"), "L1"},                                   // C1 read as Latin-1
        {Bytes(250, 'n'), std::string(250, 'n')},                    // too long for 256 once
        {Bytes(255, 'm'), std::string(255, 'm')},
    };
    for (const Case& c : cases) {
        Responder agent(AF_INET, Printer(c.sent, "V1", 0));
        ASSERT_TRUE(agent.Ok());
        EXPECT_EQ(Name("127.0.0.1"), c.shown);
    }
    // Longer than the text: cut before the first character that does not
    // fit whole (150 two-byte characters: 127 of them in 254 bytes).
    Bytes accents;
    for (int i = 0; i < 150; ++i)
        accents.insert(accents.end(), {0xC3, 0xA9});
    Responder agent(AF_INET, Printer(accents, "V1", 0));
    std::string expected;
    for (int i = 0; i < 127; ++i)
        expected += "\xC3\xA9";
    EXPECT_EQ(Name("127.0.0.1"), expected);
}

TEST(LoopbackQueries, OnlyTheAskedAgentWithOurRequestIdIsHeard) {
    const Bytes good = Response({Binding(kSysNameName, 0x04, Str("Right"))});
    const Bytes stranger = Response({Binding(kSysNameName, 0x04, Str("Stranger"))});
    const Bytes otherId = ResponseWithId(Binding(kSysNameName, 0x04, Str("Other id")), 7);
    // Wrong answers first, then the right one: the right one is taken.
    {
        Responder agent(AF_INET, [&](const Bytes&) -> std::vector<Answer> {
            return {{stranger, true}, {otherId}, {good}};
        });
        EXPECT_EQ(Name("127.0.0.1"), "Right");
    }
    // Only wrong answers: the query fails after its second, untouched.
    {
        Responder agent(AF_INET, [&](const Bytes&) -> std::vector<Answer> {
            return {{stranger, true}, {otherId}};
        });
        const auto start = Clock::now();
        EXPECT_EQ(Name("127.0.0.1"), "failed:untouched");
        EXPECT_GT(Since(start), 0.9);
        EXPECT_LT(Since(start), 1.8);
    }
    // Status: a reply from elsewhere leaves the record as it was.
    {
        const Bytes status =
            Response({Binding(kDeviceIdName, 0x04, Str("STS:" + Base64(StatusRecord(6)) + ";"))});
        Responder agent(AF_INET, [&](const Bytes&) -> std::vector<Answer> {
            return {{status, true}};
        });
        CNetIO net;
        PRINTER_STATUS record;
        memset(&record, 0x33, sizeof(record));
        EXPECT_EQ(net.NetworkReadStatus("orchid", "127.0.0.1", &record), 1);
        EXPECT_EQ(record.PrinterStatus, 0x33);
    }
}

TEST(LoopbackQueries, VersionAndStatusOverBothFamilies) {
    for (const char* host : {"127.0.0.1", "::1"}) {
        SCOPED_TRACE(host);
        Responder agent(strchr(host, ':') ? AF_INET6 : AF_INET, Printer(Str("P"), "V2.10", 5));
        ASSERT_TRUE(agent.Ok());
        CNetIO net;
        char version[kSnmpValueSize] = {};
        EXPECT_EQ(net.OstrelNetworkGetFwVersion(host, 4, version, sizeof(version)), 0);
        EXPECT_STREQ(version, "V2.10");
        PRINTER_STATUS record{};
        EXPECT_EQ(net.NetworkReadStatus("orchid", host, &record), 1);
        EXPECT_EQ(record.PrinterStatus, 5);
    }
}

TEST(LoopbackQueries, PrintersAreAskedTogetherSoSilentOnesCostOneSecondInAll) {
    // One responder (the queries ask every printer on the same port).
    Responder v6(AF_INET6, Printer(Str("Six"), "V6", 8));
    ASSERT_TRUE(v6.Ok());
    std::vector<PRINTER_QUERY> queries(6);
    const char* hosts[] = {"::1", "127.0.0.2", "127.0.0.3", "127.0.0.4", "::1", "not an address"};
    for (size_t i = 0; i < queries.size(); ++i)
        queries[i].address = hosts[i];
    queries[1].status.PrinterStatus = 0x44;
    CNetIO net;
    const auto start = Clock::now();
    EXPECT_EQ(net.QueryPrinters("orchid", queries.data(), static_cast<int>(queries.size())), 2);
    const double took = Since(start);
    EXPECT_LT(took, 1.5) << "four silent printers cost one wait, not four";
    EXPECT_TRUE(queries[0].bNameRead && queries[0].bVersionRead && queries[0].bStatusRead);
    EXPECT_STREQ(queries[0].szName, "Six");
    EXPECT_STREQ(queries[0].szVersion, "V6");
    EXPECT_EQ(queries[0].status.PrinterStatus, 8);
    EXPECT_STREQ(queries[4].szName, "Six");
    EXPECT_FALSE(queries[1].bNameRead || queries[1].bVersionRead || queries[1].bStatusRead);
    EXPECT_EQ(queries[1].status.PrinterStatus, 0x44) << "unanswered: as the caller filled it";
    EXPECT_FALSE(queries[5].bNameRead);
}

TEST(LoopbackQueries, EachAnswerIsMatchedToTheObjectItNames) {
    // The agent answers the three requests in reverse order, plus a reply
    // naming an object nobody asked for.
    const std::string deviceId = "STS:" + Base64(StatusRecord(3)) + ";";
    Responder agent(AF_INET, [&](const Bytes& request) -> std::vector<Answer> {
        if (!Holds(request, kDeviceIdName))
            return {};
        return {{Response({Binding(kSysObjectIdName, 0x06, kModelEncoded)})},
                {Response({Binding(kDeviceIdName, 0x04, Str(deviceId))})},
                {Response({Binding(kVersionName, 0x05, {})}, 0xA2, 2)},
                {Response({Binding(kSysNameName, 0x04, Str("Named"))})}};
    });
    PRINTER_QUERY q;
    q.address = "127.0.0.1";
    CNetIO net;
    EXPECT_EQ(net.QueryPrinters("orchid", &q, 1), 1);
    EXPECT_TRUE(q.bNameRead);
    EXPECT_STREQ(q.szName, "Named");
    EXPECT_TRUE(q.bVersionRead) << "noSuchName answers with an empty text";
    EXPECT_STREQ(q.szVersion, "");
    EXPECT_EQ(q.status.PrinterStatus, 3);
}

TEST(LoopbackProbe, EndsAsSoonAsTheAskedPrinterHasAnswered) {
    std::vector<std::string> found;
    auto collect = [](char* address, char*, void* user) {
        static_cast<std::vector<std::string>*>(user)->push_back(address);
        return true;
    };
    for (const char* host : {"127.0.0.1", "::1"}) {
        SCOPED_TRACE(host);
        Responder agent(strchr(host, ':') ? AF_INET6 : AF_INET, Printer(Str("P"), "V", 0));
        ASSERT_TRUE(agent.Ok());
        found.clear();
        CNetIO net;
        const auto start = Clock::now();
        EXPECT_TRUE(net.FindSnmpAgent("orchid", host, kModel, collect, &found, false));
        EXPECT_LT(Since(start), 0.5);
        EXPECT_EQ(found, std::vector<std::string>{host});
    }
    // Another model answers: no printer of ours, and no second lost either.
    {
        Responder agent(AF_INET, [](const Bytes&) -> std::vector<Answer> {
            return {{Response({Binding(kSysObjectIdName, 0x06, Bytes{0x2B, 0x06, 0x01, 0x09})})}};
        });
        found.clear();
        CNetIO net;
        const auto start = Clock::now();
        EXPECT_TRUE(net.FindSnmpAgent("orchid", "127.0.0.1", kModel, collect, &found, false));
        EXPECT_LT(Since(start), 0.5);
        EXPECT_TRUE(found.empty());
    }
    // A stranger's copy of the right answer, or junk, does not count and
    // does not end the wait: one second, nothing found.
    {
        const Bytes match = Response({Binding(kSysObjectIdName, 0x06, kModelEncoded)});
        Responder agent(AF_INET, [&](const Bytes&) -> std::vector<Answer> {
            return {{match, true},
                    {Bytes{0x30, 0x03, 0x02, 0x01, 0x00}},
                    {ResponseWithId(Binding(kSysObjectIdName, 0x06, kModelEncoded), 1)}};
        });
        found.clear();
        CNetIO net;
        const auto start = Clock::now();
        EXPECT_TRUE(net.FindSnmpAgent("orchid", "127.0.0.1", kModel, collect, &found, false));
        EXPECT_GT(Since(start), 0.9);
        EXPECT_LT(Since(start), 1.8);
        EXPECT_TRUE(found.empty());
    }
}
