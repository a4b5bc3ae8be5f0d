// The network core on eight threads at once, against responders on the
// loopback (127.0.0.1 and ::1, one unprivileged port): discovery passes,
// probes, the queries and a verification as quenlo-cli's workers make it.
// Every thread asks under a community of its own and the agents answer each
// community with texts of their own, so that a thread that read another's
// answer fails here; under ThreadSanitizer (scripts/test.sh --tsan) the same
// run shows that the threads share no state.
#include "Responder.h"
#include "StatusText.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kThreads = 8;
constexpr int kRounds = 3;
// A pass ends this long after its last reply; enough on a loaded machine.
constexpr int kPassMs = 400;

std::string Community(int thread) {
    return "t" + std::to_string(thread);
}

std::string DeviceId(const std::string& community, unsigned char status) {
    return "MFG:Maker;SERN:S-" + community + ";STS:" + Base64(StatusRecord(status)) + ";";
}

// The status code a thread's printer reports: its number, within the codes
// a record can carry.
unsigned char StatusOf(int thread) {
    return static_cast<unsigned char>(thread % 9);
}

// A printer of the model that tells each community its own name, version
// and device ID ("N-t3", "V-t3", "SERN:S-t3").
const Script kPrinter = Agent([](const std::string& community) {
    const int thread = community.size() > 1 ? std::atoi(community.c_str() + 1) : 0;
    return Holdings{kPrinterModelValue, Str("N-" + community), Str("V-" + community),
                    Str(DeviceId(community, StatusOf(thread)))};
});

bool Collect(char* address, char*, void* found) {
    static_cast<std::vector<std::string>*>(found)->push_back(address);
    return true;
}

// Google Test's assertions are safe on any thread; the trace says which
// thread and host went wrong.
void OneThread(int thread) {
    const std::string c = Community(thread);
    const char* community = c.c_str();
    for (int round = 0; round < kRounds; ++round) {
        for (const char* host : {"127.0.0.1", "::1"}) {
            SCOPED_TRACE(c + " at " + host);
            CNetIO net;
            // Discovery: a pass that hears whoever answers (a unicast on
            // the loopback: nothing is broadcast), then a probe.
            for (const bool pass : {true, false}) {
                std::vector<std::string> found;
                net.SetDiscoveryPassLimit(kPassMs);
                EXPECT_TRUE(
                    net.FindSnmpAgent(community, host, kPrinterModel, Collect, &found, pass));
                EXPECT_EQ(found, std::vector<std::string>{host}) << (pass ? "pass" : "probe");
            }

            // The list's queries, all of a printer's at once.
            PRINTER_QUERY q;
            q.address = host;
            EXPECT_EQ(net.QueryPrinters(community, &q, 1), 1);
            EXPECT_TRUE(q.bNameRead && q.bVersionRead && q.bStatusRead);
            EXPECT_EQ(std::string(q.szName) + ";" + q.szVersion + ";" + q.szDeviceId,
                      "N-" + c + ";V-" + c + ";" + DeviceId(c, StatusOf(thread)));
            EXPECT_EQ(q.status.PrinterStatus, StatusOf(thread));

            // The single queries, and the status query.
            char name[kSnmpValueSize] = {};
            EXPECT_EQ(net.OstrelNetworkGetPrinterName(host, 4, name, sizeof(name), community), 0);
            EXPECT_EQ(std::string(name), "N-" + c);
            PRINTER_STATUS status{};
            EXPECT_EQ(net.NetworkReadStatus(community, host, &status), 1);
            EXPECT_EQ(status.PrinterStatus, StatusOf(thread));
        }
        SCOPED_TRACE(c);
        // The verification of quenlo-cli's workers: the printer answers as
        // the model again, then its version is read.
        CNetIO net;
        std::vector<std::string> found;
        char version[kSnmpValueSize] = {};
        EXPECT_TRUE(
            net.FindSnmpAgent(community, "127.0.0.1", kPrinterModel, Collect, &found, false));
        EXPECT_FALSE(found.empty());
        EXPECT_EQ(
            net.OstrelNetworkGetFwVersion("127.0.0.1", 4, version, sizeof(version), community), 0);
        EXPECT_EQ(std::string(version), "V-" + c);

        // The older entry points fill the process-wide buffers under their
        // lock; a caller holding it across the walk and the read sees its
        // own walk's text.
        const Bytes reply = Response({Binding(kDeviceIdName, 0x04, Str(DeviceId(c, 0)))});
        PRINTER_STATUS status{};
        const std::lock_guard<std::recursive_mutex> lock(SnmpWalkLock());
        EXPECT_EQ(CNetIO::parseForDeviceId(reply.data(), int(reply.size()), &status), 1);
        EXPECT_EQ(std::string(g_deviceid), DeviceId(c, 0));
    }
}

} // namespace

TEST(ThreadedCore, EightThreadsAtOnceEachGetTheirOwnAnswers) {
    // Both agents on one port, made before the threads start.
    Responder v4(AF_INET, kPrinter);
    ASSERT_TRUE(v4.Ok());
    Responder v6(AF_INET6, kPrinter, v4.Port());
    ASSERT_TRUE(v6.Ok());
    ASSERT_EQ(g_nSnmpPort, v4.Port());

    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back(OneThread, t);
    for (std::thread& t : threads)
        t.join();
}
