// The network core against real snmpd agents and print-port sinks, inside the
// private network of printers.sh. Started by tools/netns/run-in-netns.sh;
// anywhere else it reports itself skipped and sends nothing.
#include "PrivateNetwork.h"
#include "Responder.h"
#include "StatusText.h"
#include "net/NetIO.h"

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cstring>
#include <future>
#include <gtest/gtest.h>
#include <net/if.h>
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

const char* const kModel = kPrinterModel;
privnet::Network g_net;

const privnet::Printer& P(const char* name) {
    const privnet::Printer* p = g_net.Find(name);
    if (p == nullptr) {
        fprintf(stderr, "printer %s missing from the manifest\n", name);
        abort();
    }
    return *p;
}

bool Collect(char* address, char* unused, void* user) {
    EXPECT_EQ(unused, nullptr);
    static_cast<std::vector<std::string>*>(user)->push_back(address);
    return false; // the result must not matter
}

std::vector<std::string> Sorted(std::vector<std::string> v) {
    std::sort(v.begin(), v.end());
    return v;
}

// Waits (bounded) until the sink has logged `count` finished connections and
// returns the log.
std::string WaitForConnections(const privnet::Printer& p, int count) {
    const auto deadline = Clock::now() + 10s;
    std::string log;
    while (Clock::now() < deadline) {
        log = privnet::ReadFile(p.sinkDir + "/sink.log");
        if (privnet::CountLines(log, "conn ") >= count)
            break;
        std::this_thread::sleep_for(10ms);
    }
    return log;
}

std::vector<unsigned char> Pattern(size_t n, unsigned seed) {
    std::vector<unsigned char> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = static_cast<unsigned char>((i * 2654435761u + seed) >> 13);
    return v;
}

// Sends a firmware-like stream (4096-byte blocks, then the end marker) and
// checks that the sink kept exactly those bytes.
void SendAndCompare(CNetIO& net, const char* host, const privnet::Printer& p, unsigned seed) {
    const int before = privnet::CountLines(privnet::ReadFile(p.sinkDir + "/sink.log"), "conn ");
    ASSERT_EQ(net.NetworkConnect(host, 9100), 0);
    auto data = Pattern(1 << 20, seed);
    for (size_t off = 0; off < data.size(); off += 4096)
        ASSERT_EQ(net.NetworkWrite(0, data.data() + off, 4096), 4096);
    const unsigned char end[4] = {0, 0, 0, 0};
    ASSERT_EQ(net.NetworkWrite(0, end, 4), 4);
    net.NetworkClose(0);
    data.insert(data.end(), end, end + 4);
    WaitForConnections(p, before + 1);
    const std::string got =
        privnet::ReadFile(p.sinkDir + "/conn-" + std::to_string(before + 1) + ".bin");
    ASSERT_EQ(got.size(), data.size());
    EXPECT_EQ(memcmp(got.data(), data.data(), data.size()), 0);
}

} // namespace

// ------------------------------------------------------------- IPv4 discovery

TEST(Discovery4, OneBroadcastFindsEachPrinterOfTheModel) {
    for (const char* community : {"orchid", ""}) {
        std::vector<std::string> found;
        CNetIO net;
        const auto start = Clock::now();
        EXPECT_TRUE(net.FindSnmpAgent(community, "255.255.255.255", kModel, Collect, &found, true));
        EXPECT_EQ(Sorted(found), (std::vector<std::string>{P("PRN-A").ipv4, P("PRN-B").ipv4}))
            << "community '" << community << "'";
        EXPECT_LT(Since(start), 2.5);
    }
}

TEST(Discovery4, OnlyAgentsThatKnowTheCommunityAnswer) {
    std::vector<std::string> found;
    CNetIO net;
    EXPECT_TRUE(net.FindSnmpAgent("tulip", "255.255.255.255", kModel, Collect, &found, true));
    EXPECT_EQ(Sorted(found), (std::vector<std::string>{P("PRN-A").ipv4, P("PRN-D").ipv4}));
    found.clear();
    EXPECT_TRUE(net.FindSnmpAgent("wrong", "255.255.255.255", kModel, Collect, &found, true));
    EXPECT_TRUE(found.empty());
}

TEST(Discovery4, RefusesBeforeSendingWhatCannotWork) {
    CNetIO net;
    std::vector<std::string> found;
    EXPECT_FALSE(net.FindSnmpAgent("orchid", "255.255.255.255", kModel, Collect, &found, false));
    EXPECT_FALSE(
        net.FindSnmpAgent("orchid", "255.255.255.255", "1.3.6.1.4.x", Collect, &found, true));
    // An identifier whose encoding is longer than 32 bytes is no model's.
    std::string longModel = "1.3";
    for (int i = 0; i < 16; ++i) // 1 + 2 x 16 = 33 bytes
        longModel += ".300";
    EXPECT_FALSE(
        net.FindSnmpAgent("orchid", "255.255.255.255", longModel.c_str(), Collect, &found, true));
    EXPECT_FALSE(net.FindSnmpAgent("orchid", "printer.example", kModel, Collect, &found, false));
    EXPECT_TRUE(found.empty());
}

TEST(Discovery4, UnicastProbeTellsWhetherAnAddressIsAPrinterOfTheModel) {
    CNetIO net;
    std::vector<std::string> found;
    EXPECT_TRUE(
        net.FindSnmpAgent("orchid", P("PRN-B").ipv4.c_str(), kModel, Collect, &found, false));
    EXPECT_EQ(found, (std::vector<std::string>{P("PRN-B").ipv4}));
    found.clear();
    EXPECT_TRUE(
        net.FindSnmpAgent("orchid", P("OTHER-C").ipv4.c_str(), kModel, Collect, &found, false));
    EXPECT_TRUE(found.empty());
    const auto start = Clock::now();
    EXPECT_TRUE(net.FindSnmpAgent("orchid", "198.18.0.99", kModel, Collect, &found, false));
    EXPECT_TRUE(found.empty());
    EXPECT_GT(Since(start), 0.9);
    EXPECT_LT(Since(start), 2.0);
}

// -------------------------------------------------------------- IPv4 queries

TEST(Queries4, NameVersionAndStatusFromTheAgent) {
    CNetIO net;
    char name[256] = {}, version[256] = {};
    EXPECT_EQ(net.OstrelNetworkGetPrinterName(P("PRN-A").ipv4.c_str(), 4, name, sizeof(name)), 0);
    EXPECT_STREQ(name, "PRN-A");
    EXPECT_EQ(net.OstrelNetworkGetFwVersion(P("PRN-A").ipv4.c_str(), 4, version, sizeof(version)),
              0);
    EXPECT_STREQ(version, "V1.02");

    PRINTER_STATUS status = Filled(0xEE);
    EXPECT_EQ(net.NetworkReadStatus("orchid", P("PRN-A").ipv4.c_str(), &status), 1);
    EXPECT_EQ(status.PrinterStatus, 2);
    EXPECT_STREQ(ShownStatusName(&status), "Power Saving");
    status = Filled(0xEE);
    EXPECT_EQ(net.NetworkReadStatus("orchid", P("PRN-B").ipv4.c_str(), &status), 1);
    EXPECT_STREQ(ShownStatusName(&status), "Busy");
}

TEST(Queries4, ObjectTheAgentLacksGivesAnEmptyText) {
    // OTHER-C has no firmware version object: noSuchName with a NULL value.
    CNetIO net;
    char version[256];
    strcpy(version, "untouched");
    EXPECT_EQ(net.OstrelNetworkGetFwVersion(P("OTHER-C").ipv4.c_str(), 4, version, 256), 0);
    EXPECT_STREQ(version, "");
    PRINTER_STATUS status = Filled(0x33);
    EXPECT_EQ(net.NetworkReadStatus("orchid", P("OTHER-C").ipv4.c_str(), &status), 1);
    EXPECT_EQ(status.PrinterStatus, 0x33);
}

TEST(Queries4, TheCommunityInUseFirstAndOrchidBehindIt) {
    CNetIO net;
    const char* d = P("PRN-D").ipv4.c_str();
    PRINTER_STATUS status = Filled(0xEE);
    EXPECT_EQ(net.NetworkReadStatus("tulip", d, &status), 1);
    EXPECT_EQ(status.PrinterStatus, 5);
    // PRN-D does not know "orchid": only the community in use reaches it.
    char name[256];
    strcpy(name, "untouched");
    EXPECT_EQ(net.OstrelNetworkGetPrinterName(d, 4, name, sizeof(name)), -1);
    EXPECT_STREQ(name, "untouched");
    EXPECT_EQ(net.OstrelNetworkGetPrinterName(d, 4, name, sizeof(name), "tulip"), 0);
    EXPECT_STREQ(name, "PRN-D");
    // PRN-B knows only "orchid": asked with "tulip", it still shows its version.
    char version[256] = {};
    EXPECT_EQ(net.OstrelNetworkGetFwVersion(P("PRN-B").ipv4.c_str(), 4, version, sizeof(version),
                                            "tulip"),
              0);
    EXPECT_STREQ(version, "V2.00");
    // A wrong community gets no answer: sent (1), record as it was.
    status = Filled(0x44);
    EXPECT_EQ(net.NetworkReadStatus("wrong", P("PRN-A").ipv4.c_str(), &status), 1);
    EXPECT_EQ(status.PrinterStatus, 0x44);
}

TEST(Queries4, APrinterThatDoesNotAnswerCostsAboutOneSecond) {
    CNetIO net;
    char name[256];
    strcpy(name, "untouched");
    auto start = Clock::now();
    EXPECT_EQ(net.OstrelNetworkGetPrinterName("198.18.0.99", 4, name, sizeof(name)), -1);
    EXPECT_GT(Since(start), 0.9);
    EXPECT_LT(Since(start), 2.0);
    EXPECT_STREQ(name, "untouched");
    PRINTER_STATUS status = Filled(0x55);
    start = Clock::now();
    EXPECT_EQ(net.NetworkReadStatus("orchid", "198.18.0.99", &status), 1);
    EXPECT_LT(Since(start), 2.0);
    EXPECT_EQ(status.PrinterStatus, 0x55);
    EXPECT_EQ(net.NetworkReadStatus("orchid", "no.such.host", &status), 0);
}

TEST(Queries4, TheOutputSizeBoundsTheCopy) {
    CNetIO net;
    char name[8];
    strcpy(name, "keep");
    // "PRN-A" needs six bytes: in five it is cut, not dropped.
    EXPECT_EQ(net.OstrelNetworkGetPrinterName(P("PRN-A").ipv4.c_str(), 4, name, 5), 0);
    EXPECT_STREQ(name, "PRN-");
    EXPECT_EQ(net.OstrelNetworkGetPrinterName(P("PRN-A").ipv4.c_str(), 4, name, 6), 0);
    EXPECT_STREQ(name, "PRN-A");
}

// ---------------------------------------------------------- IPv4 print port

TEST(PrintPort4, EveryByteArrivesInOrder) {
    CNetIO net;
    SendAndCompare(net, P("PRN-A").ipv4.c_str(), P("PRN-A"), 1);
    // The same object used again for the next file.
    SendAndCompare(net, P("PRN-A").ipv4.c_str(), P("PRN-A"), 2);
}

TEST(PrintPort4, APrinterThatGivesUpShortensTheCount) {
    CNetIO net;
    ASSERT_EQ(net.NetworkConnect(P("PRN-B").ipv4.c_str(), 9100), 0);
    const auto block = Pattern(4096, 3);
    unsigned long total = 0;
    int last = 4096;
    for (int i = 0; i < 16384 && last == 4096; ++i) { // at most 64 MiB
        last = net.NetworkWrite(0, block.data(), block.size());
        total += static_cast<unsigned long>(last);
    }
    EXPECT_LT(last, 4096);
    EXPECT_GE(total, 100000u);
    net.NetworkClose(0);
}

TEST(PrintPort4, NothingListeningIsRefused) {
    CNetIO net;
    EXPECT_EQ(net.NetworkConnect(P("OTHER-C").ipv4.c_str(), 9100), ECONNREFUSED);
}

// -------------------------------------------------- against net-snmp's tools

TEST(Encoder, WritesWhatNetSnmpWrites) {
    // Catch snmpget's request on this namespace's loopback and compare the
    // parts that do not depend on its random request-id.
    const int s = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(1161);
    ASSERT_EQ(bind(s, reinterpret_cast<sockaddr*>(&a), sizeof(a)), 0);
    const std::string oid = "1.3.6.1.4.1.40917.886.300.369.8531.1.2.1.0";
    const std::string dir = getenv("QUENLO_NETNS_DIR");
    const std::string cmd = "SNMP_PERSISTENT_DIR=" + dir +
                            " MIBS= snmpget -v1 -c orchid -r0 -t1 127.0.0.1:1161 " + oid +
                            " >/dev/null 2>&1";
    auto tool = std::async(std::launch::async, [cmd] { return system(cmd.c_str()); });
    pollfd p{s, POLLIN, 0};
    ASSERT_EQ(poll(&p, 1, 5000), 1);
    unsigned char theirs[1024];
    const ssize_t n = recv(s, theirs, sizeof(theirs), 0);
    close(s);
    tool.get();
    unsigned char ours[kSnmpWorkSize];
    const int m = CNetIO::BuildGetRequestFor(1, oid.c_str(), "orchid", ours);
    ASSERT_GT(n, 20);
    ASSERT_GT(m, 20);
    // Version and community are identical.
    EXPECT_EQ(memcmp(theirs + 2, ours + 2, 11), 0);
    // Everything after the request-id: error-status, error-index, bindings.
    const int tail = m - 18;
    ASSERT_LE(tail, n);
    EXPECT_EQ(memcmp(theirs + n - tail, ours + m - tail, static_cast<size_t>(tail)), 0);
}

// ---------------------------------------------- replies no real agent sends

namespace {

// A reply to sysObjectID.0 of the given type and error status.
Bytes SysObjectIdReply(const Bytes& value, unsigned char tag, unsigned char error) {
    return Response({Binding(kSysObjectIdName, tag, value)}, 0xA2, error);
}

// Answers every request on 127.0.0.1:161 with the given datagrams.
Script Replies(std::vector<Bytes> replies) {
    return [=](const Bytes&) {
        std::vector<Answer> answers;
        for (const Bytes& r : replies)
            answers.push_back({r});
        return answers;
    };
}

} // namespace

TEST(FakeAgent, OnlyWellFormedMatchingRepliesReachTheCallback) {
    unsigned char model[kOidEncodingMax];
    const int length = CNetIO::oidEncode(kModel, model);
    ASSERT_GT(length, 0);
    const std::vector<unsigned char> wanted(model, model + length);
    auto lying = SysObjectIdReply(wanted, 0x06, 0);
    lying[lying.size() - static_cast<size_t>(length) - 1] = 0x7F; // value length lies
    Responder agent(
        AF_INET,
        Replies({SysObjectIdReply(wanted, 0x06, 0), SysObjectIdReply({}, 0x05, 2), lying,
                 std::vector<unsigned char>(300, 0x30), SysObjectIdReply(wanted, 0x04, 0)}),
        161);
    ASSERT_TRUE(agent.Ok());
    std::vector<std::string> found;
    CNetIO net;
    EXPECT_TRUE(net.FindSnmpAgent("orchid", "127.0.0.1", kModel, Collect, &found, false));
    EXPECT_EQ(found, (std::vector<std::string>{"127.0.0.1"}));
}

// ------------------------------------------------------------------- IPv6
// One test, in order: the interface the discovery finds becomes its CNetIO's,
// and the queries and the connection afterwards depend on it.

TEST(Ipv6, DiscoveryFindsTheThirdInterfaceAndEverythingAfterwardsUsesIt) {
    ASSERT_GE(g_net.clientLinks.size(), 2u);
    const privnet::Printer& e = P("PRN-E");
    const int third = static_cast<int>(if_nametoindex(g_net.clientLinks[1].c_str()));
    ASSERT_GT(third, 0);
    {
        // The printers' link is the third interface, counted the way the
        // discovery counts them.
        struct if_nameindex* names = if_nameindex();
        std::vector<unsigned> indexes;
        for (struct if_nameindex* p = names; p->if_index != 0; ++p)
            indexes.push_back(p->if_index);
        if_freenameindex(names);
        std::sort(indexes.begin(), indexes.end());
        ASSERT_GE(indexes.size(), 3u);
        EXPECT_EQ(static_cast<int>(indexes[2]), third);
    }
    CNetIO net;
    ASSERT_EQ(net.ScopeId(), 0);
    std::vector<std::string> found;
    auto start = Clock::now();
    EXPECT_TRUE(net.FindSnmpAgentV6("orchid", "ff02::1", kModel, Collect, &found, true));
    const double firstDiscovery = Since(start);
    EXPECT_EQ(found, (std::vector<std::string>{e.linkLocal}));
    EXPECT_EQ(net.ScopeId(), third);
    EXPECT_EQ(scope_id, 0) << "the core leaves the wizard's interface alone";
    EXPECT_LT(firstDiscovery, 3.5);

    char name[256] = {}, version[256] = {};
    EXPECT_EQ(net.OstrelNetworkGetPrinterName(e.linkLocal.c_str(), 4, name, 256), 0);
    EXPECT_STREQ(name, "PRN-E");
    EXPECT_EQ(net.OstrelNetworkGetFwVersion(e.linkLocal.c_str(), 4, version, 256), 0);
    EXPECT_STREQ(version, "V6.01");
    PRINTER_STATUS status = Filled(0xEE);
    EXPECT_EQ(net.NetworkReadStatus("orchid", e.linkLocal.c_str(), &status), 1);
    EXPECT_EQ(status.PrinterStatus, 1);
    SendAndCompare(net, e.linkLocal.c_str(), e, 4);

    // With the interface remembered, a discovery (through the IPv4 entry
    // point too) is one pass, also when nobody answers.
    found.clear();
    start = Clock::now();
    EXPECT_TRUE(net.FindSnmpAgent("orchid", "ff02::1", kModel, Collect, &found, true));
    EXPECT_EQ(found, (std::vector<std::string>{e.linkLocal}));
    EXPECT_LT(Since(start), 1.8);
    found.clear();
    start = Clock::now();
    EXPECT_TRUE(net.FindSnmpAgentV6("wrong", "ff02::1", kModel, Collect, &found, true));
    EXPECT_TRUE(found.empty());
    EXPECT_LT(Since(start), 1.8);
    EXPECT_EQ(net.ScopeId(), third);
    // An object made with the interface uses it from its first exchange.
    CNetIO later(net.ScopeId());
    EXPECT_EQ(later.OstrelNetworkGetPrinterName(e.linkLocal.c_str(), 4, name, 256), 0);
    EXPECT_STREQ(name, "PRN-E");
}

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    std::string why;
    if (!privnet::Inside(&why)) {
        printf("skipped: %s\n", why.c_str());
        return 77;
    }
    g_net = privnet::Load();
    if (g_net.Find("PRN-A") == nullptr) {
        printf("skipped: the manifest lacks the printers of tests/net/printers.sh\n");
        return 77;
    }
    return RUN_ALL_TESTS();
}
