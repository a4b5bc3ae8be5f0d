// The queries and the address probe against a responder on the loopback
// (127.0.0.1 and ::1 only, an unprivileged port): no root, no namespace,
// nothing leaves the machine, nothing is broadcast.
#include "Responder.h"
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
#include <sys/resource.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

// An agent of the model whose name, version and status are given, under
// any community.
Script Printer(const Bytes& name, const std::string& version, unsigned char status) {
    const Holdings h{kPrinterModelValue, name, Str(version),
                     Str("MFG:Maker;MDL:QX;STS:" + Base64(StatusRecord(status)) + ";")};
    return Agent([=](const std::string&) { return h; });
}

// What a query read: "name;version;status", each part only when read.
std::string Read(const PRINTER_QUERY& q) {
    std::string read;
    if (q.bNameRead)
        read += std::string(q.szName) + ";";
    if (q.bVersionRead)
        read += std::string(q.szVersion) + ";";
    if (q.bStatusRead)
        read += std::to_string(q.status.PrinterStatus);
    return read;
}

// The addresses a unicast probe found, each followed by a space.
std::string Probe(const char* host) {
    std::vector<std::string> found;
    CNetIO net;
    net.FindSnmpAgent(
        "orchid", host, kPrinterModel,
        [](char* address, char*, void* user) {
            static_cast<std::vector<std::string>*>(user)->push_back(address);
            return true;
        },
        &found, false);
    std::string text;
    for (const std::string& address : found)
        text += address + " ";
    return text;
}

std::string Times(const std::string& text, int n) {
    std::string out;
    for (int i = 0; i < n; ++i)
        out += text;
    return out;
}

// The text a single query read, empty when it read none.
std::string Text(int (CNetIO::*query)(const char*, unsigned char, char*, int, const char*),
                 const char* host, const char* community = nullptr) {
    CNetIO net;
    char out[kSnmpValueSize] = {};
    return (net.*query)(host, 4, out, sizeof(out), community) == 0 ? out : "";
}

} // namespace

TEST(LoopbackQueries, NamesAreDecodedAndCleanedBeforeTheyReachAnyone) {
    struct Case {
        std::string sent, shown;
    };
    const std::vector<Case> cases = {
        {"B\xC3\xBCro-Drucker", "B\xC3\xBCro-Drucker"},         // UTF-8 stays
        {"B\xFCro-Drucker", "B\xC3\xBCro-Drucker"},             // Latin-1 becomes UTF-8
        {"A\x1B[31mB\r\nC\tD\x7F", "A[31mBCD"},                 // C0 and DEL
        {"x\xE2\x80\xAEgpj.exe\xE2\x80\xAC", "xgpj.exe"},       // RLO ... PDF
        {"\xC2\x85next\xE2\x81\xA6iso\xE2\x81\xA9", "nextiso"}, // C1, isolates
        {"L1\x85\x9B", "L1"},                                   // C1 read as Latin-1
        {std::string(250, 'n'), std::string(250, 'n')},         // too long for 256 once
        {std::string(255, 'm'), std::string(255, 'm')},
        // Longer than the text: cut before the first character that does not
        // fit whole (150 two-byte characters: 127 of them in 254 bytes).
        {Times("\xC3\xA9", 150), Times("\xC3\xA9", 127)},
    };
    for (const Case& c : cases) {
        Responder agent(AF_INET, Printer(Str(c.sent), "V1", 0));
        ASSERT_TRUE(agent.Ok());
        EXPECT_EQ(Text(&CNetIO::OstrelNetworkGetPrinterName, "127.0.0.1"), c.shown);
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
    EXPECT_LT(Since(start), 1.5) << "four silent printers cost one wait, not four";
    EXPECT_EQ(Read(queries[0]), "Six;V6;8");
    EXPECT_EQ(Read(queries[4]), "Six;V6;8");
    EXPECT_EQ(Read(queries[1]), "");
    EXPECT_EQ(queries[1].status.PrinterStatus, 0x44) << "unanswered: as the caller filled it";
    EXPECT_EQ(Read(queries[5]), "");
}

namespace {

// Every address of 127.0.0.0/8 as an agent of its own: one socket on a free
// port answers each request from the address it was sent to (IP_PKTINFO),
// with that address as the name and status code 3; 127.0.2.0/24 stays
// silent. Its receive buffer is the
// system's default, as a printer's would be.
class LoopbackFleet {
public:
    LoopbackFleet() {
        m_fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        const int on = 1;
        setsockopt(m_fd, IPPROTO_IP, IP_PKTINFO, &on, sizeof(on));
        sockaddr_in a{};
        a.sin_family = AF_INET;
        socklen_t length = sizeof(a);
        bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof(a));
        getsockname(m_fd, reinterpret_cast<sockaddr*>(&a), &length);
        m_saved = g_nSnmpPort;
        g_nSnmpPort = ntohs(a.sin_port);
        m_thread = std::thread([this] { Serve(); });
    }
    ~LoopbackFleet() {
        m_stop = true;
        m_thread.join();
        close(m_fd);
        g_nSnmpPort = m_saved;
    }

private:
    void Serve() {
        const std::string deviceId = "STS:" + Base64(StatusRecord(3)) + ";";
        const auto end = Clock::now() + 20s;
        while (!m_stop && Clock::now() < end) {
            pollfd p{m_fd, POLLIN, 0};
            if (poll(&p, 1, 20) <= 0)
                continue;
            unsigned char buffer[2048];
            alignas(cmsghdr) unsigned char control[CMSG_SPACE(sizeof(in_pktinfo))];
            sockaddr_in peer{};
            iovec io{buffer, sizeof(buffer)};
            msghdr m{};
            m.msg_name = &peer;
            m.msg_namelen = sizeof(peer);
            m.msg_iov = &io;
            m.msg_iovlen = 1;
            m.msg_control = control;
            m.msg_controllen = sizeof(control);
            const ssize_t n = recvmsg(m_fd, &m, 0);
            cmsghdr* c = CMSG_FIRSTHDR(&m);
            if (n <= 0 || c == nullptr || c->cmsg_type != IP_PKTINFO)
                continue;
            in_pktinfo info;
            memcpy(&info, CMSG_DATA(c), sizeof(info));
            char self[INET_ADDRSTRLEN] = {};
            inet_ntop(AF_INET, &info.ipi_addr, self, sizeof(self));
            if ((ntohl(info.ipi_addr.s_addr) >> 8) == 0x7F0002)
                continue;
            const Bytes request(buffer, buffer + n);
            const Said said = Asked(request, {{}, Str(self), Str("V1"), Str(deviceId)});
            Bytes reply = Response({Binding(said.object, said.tag, said.value)});
            // From the asked address: the reply's source is its pktinfo.
            info.ipi_spec_dst = info.ipi_addr;
            info.ipi_ifindex = 0;
            memcpy(CMSG_DATA(c), &info, sizeof(info));
            io = iovec{reply.data(), reply.size()};
            m.msg_controllen = CMSG_SPACE(sizeof(in_pktinfo));
            sendmsg(m_fd, &m, 0);
        }
    }

    int m_fd = -1;
    int m_saved = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

} // namespace

// A fleet of a thousand within a descriptor limit of 128: one socket per
// family, and the printers paced so that the agents' buffers (and ours)
// drop no request and no reply, while the silent quarter asked first holds
// nobody back (waiting out each window of them would take seconds).
TEST(LoopbackQueries, AThousandPrintersAllAnswerWithinFewDescriptors) {
    rlimit saved{};
    getrlimit(RLIMIT_NOFILE, &saved);
    rlimit low = saved;
    low.rlim_cur = 128;
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
    std::vector<std::string> hosts;
    int speaking = 0;
    for (int i = 0; i < 1000; ++i) {
        hosts.push_back("127.0." + std::to_string(2 + i / 250) + "." + std::to_string(1 + i % 250));
        speaking += i >= 250;
    }
    std::vector<PRINTER_QUERY> queries(hosts.size());
    for (size_t i = 0; i < hosts.size(); ++i)
        queries[i].address = hosts[i].c_str();
    int answered = 0;
    {
        LoopbackFleet fleet;
        CNetIO net;
        const auto start = Clock::now();
        answered = net.QueryPrinters("orchid", queries.data(), int(queries.size()));
        EXPECT_LT(Since(start), 2.5);
    }
    setrlimit(RLIMIT_NOFILE, &saved);
    EXPECT_EQ(answered, speaking);
    int complete = 0;
    for (const PRINTER_QUERY& q : queries)
        complete += Read(q) == std::string(q.address) + ";V1;3";
    EXPECT_EQ(complete, speaking);
}

TEST(LoopbackQueries, EachAnswerIsMatchedToTheObjectItNames) {
    // The agent answers the three requests in reverse order, plus a reply
    // naming an object nobody asked for; noSuchName answers with an empty text.
    const std::string deviceId = "STS:" + Base64(StatusRecord(3)) + ";";
    Responder agent(AF_INET, [&](const Bytes& request) -> std::vector<Answer> {
        if (!Holds(request, kDeviceIdName))
            return {};
        return {{Response({Binding(kSysObjectIdName, 0x06, kPrinterModelValue)})},
                {Response({Binding(kDeviceIdName, 0x04, Str(deviceId))})},
                {Response({Binding(kVersionName, 0x05, {})}, 0xA2, 2)},
                {Response({Binding(kSysNameName, 0x04, Str("Named"))})}};
    });
    PRINTER_QUERY q;
    q.address = "127.0.0.1";
    CNetIO net;
    EXPECT_EQ(net.QueryPrinters("orchid", &q, 1), 1);
    EXPECT_EQ(Read(q), "Named;;3");
}

TEST(LoopbackProbe, EndsAsSoonAsTheAskedPrinterHasAnswered) {
    // Another model answers: no printer of ours, and no second lost either.
    const Script otherModel = [](const Bytes&) -> std::vector<Answer> {
        return {{Response({Binding(kSysObjectIdName, 0x06, Bytes{0x2B, 0x06, 0x01, 0x09})})}};
    };
    const Script ours = Printer(Str("P"), "V", 0);
    for (const auto& [host, script, found] :
         {std::tuple{"127.0.0.1", ours, "127.0.0.1 "}, std::tuple{"::1", ours, "::1 "},
          std::tuple{"127.0.0.1", otherModel, ""}}) {
        SCOPED_TRACE(found);
        Responder agent(FamilyOf(host), script);
        ASSERT_TRUE(agent.Ok());
        const auto start = Clock::now();
        EXPECT_EQ(Probe(host), found);
        EXPECT_LT(Since(start), 0.5);
    }
}

// ------------------------------------------- a reply counts for its request only

namespace {

// What the agent holds: the forged answers carry one value, the true one
// another.
Holdings Told(bool truth) {
    return {kPrinterModelValue, Str(truth ? "Right" : "Forged"),
            Str(truth ? "V-right" : "V-forged"),
            Str("STS:" + Base64(StatusRecord(truth ? 3 : 6)) + ";")};
}

std::vector<Answer> ForgedAnswers(const Bytes& request) {
    const Said said = Asked(request, Told(false));
    return Forgeries(request, said.object, said.tag, said.value);
}

// One unicast exchange of the core, run against the loopback agent; the text
// is what it read, empty when it counted nothing.
struct UnicastPath {
    const char* name;
    int family;
    std::function<std::string()> run;
};

std::string QueryAll(const char* community) {
    PRINTER_QUERY q;
    q.address = "127.0.0.1";
    q.status.PrinterStatus = 0x44;
    CNetIO net;
    net.QueryPrinters(community, &q, 1);
    return Read(q);
}

const UnicastPath kUnicastPaths[] = {
    {"ProbeV4", AF_INET, [] { return Probe("127.0.0.1"); }},
    {"ProbeV6", AF_INET6, [] { return Probe("::1"); }},
    {"NameV4", AF_INET,
     [] { return Text(&CNetIO::OstrelNetworkGetPrinterName, "127.0.0.1", nullptr); }},
    {"NamePublicV4", AF_INET,
     [] { return Text(&CNetIO::OstrelNetworkGetPrinterName, "127.0.0.1", "public"); }},
    {"VersionV6", AF_INET6,
     [] { return Text(&CNetIO::OstrelNetworkGetFwVersion, "::1", nullptr); }},
    {"GetV4", AF_INET,
     [] {
         CNetIO net;
         char out[kSnmpValueSize] = {};
         return net.NetSnmpGetV4("127.0.0.1", "orchid", "1.3.6.1.2.1.1.5.0", out, sizeof(out))
                    ? std::string(out)
                    : "";
     }},
    {"StatusV4", AF_INET,
     [] {
         CNetIO net;
         PRINTER_STATUS record = Filled(0x44);
         net.NetworkReadStatus("orchid", "127.0.0.1", &record);
         return record.PrinterStatus == 0x44 ? "" : std::to_string(record.PrinterStatus);
     }},
    {"QueryPrinters", AF_INET, [] { return QueryAll("orchid"); }},
    {"QueryPrintersPublic", AF_INET, [] { return QueryAll("public"); }},
};

void PrintTo(const UnicastPath& path, std::ostream* out) {
    *out << path.name;
}

class UnicastReplies : public ::testing::TestWithParam<UnicastPath> {};

} // namespace

TEST_P(UnicastReplies, OnlyTheAnswerFromTheAskedAgentToTheAskedObjectCounts) {
    const UnicastPath& path = GetParam();
    {
        Responder agent(path.family, ForgedAnswers);
        ASSERT_TRUE(agent.Ok());
        const auto start = Clock::now();
        EXPECT_EQ(path.run(), "") << "a forged answer was taken";
        EXPECT_LT(Since(start), 1.8);
    }
    // The same forgeries, then the true answer: it is still heard.
    Responder agent(path.family, [](const Bytes& request) {
        std::vector<Answer> answers = ForgedAnswers(request);
        for (const Answer& a : Agent([](const std::string&) { return Told(true); })(request))
            answers.push_back(a);
        return answers;
    });
    ASSERT_TRUE(agent.Ok());
    const std::string read = path.run();
    EXPECT_NE(read, "");
    EXPECT_EQ(read.find("orged"), std::string::npos) << read;
}

INSTANTIATE_TEST_SUITE_P(EveryPath, UnicastReplies, ::testing::ValuesIn(kUnicastPaths),
                         [](const ::testing::TestParamInfo<UnicastPath>& info) {
                             return std::string(info.param.name);
                         });

// ------------------------------------------------ the community in use, then orchid

namespace {

// An agent that tells each community its own name and version.
Script TwoFaced(std::string orchidSuffix, std::string publicSuffix) {
    return Agent([=](const std::string& community) {
        const std::string suffix = community == "orchid"   ? orchidSuffix
                                   : community == "public" ? publicSuffix
                                                           : "";
        if (suffix.empty())
            return Holdings{};
        return Holdings{{}, Str("Name-" + suffix), Str("V-" + suffix), Str("MDL:QX;")};
    });
}

// "name;version" as shown, "-" for what was not read.
std::string ThroughQueryPrinters(const char* community) {
    PRINTER_QUERY q;
    q.address = "127.0.0.1";
    CNetIO net;
    net.QueryPrinters(community, &q, 1);
    return std::string(q.bNameRead ? q.szName : "-") + ";" + (q.bVersionRead ? q.szVersion : "-");
}

std::string ThroughSingleQueries(const char* community) {
    CNetIO net;
    char name[kSnmpValueSize] = "-", version[kSnmpValueSize] = "-";
    net.OstrelNetworkGetPrinterName("127.0.0.1", 4, name, sizeof(name), community);
    net.OstrelNetworkGetFwVersion("127.0.0.1", 4, version, sizeof(version), community);
    return std::string(name) + ";" + version;
}

} // namespace

TEST(CommunityFallback, TheCommunityInUseWinsAndOrchidStandsInWhenItBringsNothing) {
    struct Case {
        const char* what;
        Script agent;
        const char* community;
        const char* shown;
        bool single = false; // the single queries too
    };
    // Public's answer to the version is "no such object".
    Script noVersionForPublic = [](const Bytes& request) -> std::vector<Answer> {
        const std::string community = RequestCommunity(request);
        if (Holds(request, kVersionName) && community == "public")
            return {{Response({Binding(kVersionName, 0x05, {})}, 0xA2, 2, community)}};
        return TwoFaced("orchid", "public")(request);
    };
    // The answer to "public" comes after orchid's.
    Script publicLate = [](const Bytes& request) -> std::vector<Answer> {
        if (RequestCommunity(request) != "orchid")
            return {};
        std::vector<Answer> both = TwoFaced("orchid", "")(request);
        for (const auto& [object, text] :
             {std::pair{kSysNameName, "Name-public"}, std::pair{kVersionName, "V-public"}})
            if (Holds(request, object))
                both.push_back({Response({Binding(object, 0x04, Str(text))}, 0xA2, 0, "public")});
        return both;
    };
    const std::vector<Case> cases = {
        {"only public", TwoFaced("", "public"), "public", "Name-public;V-public", true},
        {"only orchid", TwoFaced("orchid", ""), "public", "Name-orchid;V-orchid", true},
        {"both", TwoFaced("orchid", "public"), "public", "Name-public;V-public", true},
        {"public after orchid", publicLate, "public", "Name-public;V-public"},
        {"both, in use orchid", TwoFaced("orchid", "public"), "orchid", "Name-orchid;V-orchid"},
        {"empty is orchid", TwoFaced("orchid", "public"), "", "Name-orchid;V-orchid"},
        {"no such object", noVersionForPublic, "public", "Name-public;V-orchid"},
        {"silent", TwoFaced("", ""), "public", "-;-", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Responder agent(AF_INET, c.agent);
        ASSERT_TRUE(agent.Ok());
        const auto start = Clock::now();
        EXPECT_EQ(ThroughQueryPrinters(c.community), c.shown);
        EXPECT_LT(Since(start), 1.5) << "the fallback shares the query's one second";
        if (c.single) {
            const auto singleStart = Clock::now();
            EXPECT_EQ(ThroughSingleQueries(c.community), c.shown);
            EXPECT_LT(Since(singleStart), 2.8) << "one second at most for each";
        }
    }
}

TEST(CommunityFallback, OrchidRequestsAreTheSameBytesAndTheCommunityInUseGoesFirst) {
    Responder agent(AF_INET, TwoFaced("orchid", ""));
    ASSERT_TRUE(agent.Ok());
    // "orchid" in use: exactly the three requests there always were.
    EXPECT_EQ(ThroughQueryPrinters("orchid"), "Name-orchid;V-orchid");
    EXPECT_EQ(agent.Received(),
              (std::vector<Bytes>{kNameRequest, kVersionRequest, kDeviceIdRequest}));

    // Another community: its three requests first, then the name and version
    // again with "orchid", unchanged.
    Responder second(AF_INET, TwoFaced("orchid", ""));
    EXPECT_EQ(ThroughQueryPrinters("public"), "Name-orchid;V-orchid");
    const std::vector<Bytes> got = second.Received();
    ASSERT_EQ(got.size(), 5u);
    for (size_t i = 0; i < 3; ++i)
        EXPECT_EQ(RequestCommunity(got[i]), "public") << i;
    EXPECT_TRUE(Holds(got[2], kDeviceIdName));
    EXPECT_EQ(got[3], kNameRequest);
    EXPECT_EQ(got[4], kVersionRequest);

    // The single query with no community sends the one request it always did.
    Responder third(AF_INET, TwoFaced("orchid", ""));
    CNetIO net;
    char name[kSnmpValueSize] = {};
    EXPECT_EQ(net.OstrelNetworkGetPrinterName("127.0.0.1", 4, name, sizeof(name)), 0);
    EXPECT_EQ(third.Received(), (std::vector<Bytes>{kNameRequest}));
}
