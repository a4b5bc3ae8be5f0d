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
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

const char kModel[] = "1.3.6.1.4.1.40917.886.300.369.8531.2.7";
const Bytes kModelEncoded{0x2B, 0x06, 0x01, 0x04, 0x01, 0x82, 0xBF, 0x55, 0x86,
                          0x76, 0x82, 0x2C, 0x82, 0x71, 0xC2, 0x53, 0x02, 0x07};
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
std::vector<Answer> Answers(const Bytes& request) {
    const std::string community = RequestCommunity(request);
    auto answer = [&](const Bytes& object, unsigned char tag, const Bytes& value) {
        return std::vector<Answer>{{Response({Binding(object, tag, value)}, 0xA2, 0, community)}};
    };
    const int thread = community.size() > 1 ? std::atoi(community.c_str() + 1) : 0;
    if (Holds(request, kSysObjectIdName))
        return answer(kSysObjectIdName, 0x06, kModelEncoded);
    if (Holds(request, kSysNameName))
        return answer(kSysNameName, 0x04, Str("N-" + community));
    if (Holds(request, kVersionName))
        return answer(kVersionName, 0x04, Str("V-" + community));
    if (Holds(request, kDeviceIdName))
        return answer(kDeviceIdName, 0x04, Str(DeviceId(community, StatusOf(thread))));
    return {};
}

bool Collect(char* address, char*, void* found) {
    static_cast<std::vector<std::string>*>(found)->push_back(address);
    return true;
}

// What went wrong on the threads, for the test's thread to report.
class Problems {
public:
    void Check(bool ok, const std::string& what) {
        if (ok)
            return;
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_list.push_back(what);
    }
    std::vector<std::string> List() {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return m_list;
    }

private:
    std::mutex m_mutex;
    std::vector<std::string> m_list;
};

void OneThread(int thread, Problems& problems) {
    const std::string c = Community(thread);
    const char* community = c.c_str();
    const std::string who = c + ": ";
    for (int round = 0; round < kRounds; ++round) {
        for (const char* host : {"127.0.0.1", "::1"}) {
            const std::string at = who + host + ": ";
            CNetIO net;
            // Discovery: a pass that hears whoever answers (a unicast on
            // the loopback: nothing is broadcast), then a probe.
            std::vector<std::string> found;
            net.SetDiscoveryPassLimit(kPassMs);
            problems.Check(net.FindSnmpAgent(community, host, kModel, Collect, &found, true) &&
                               found == std::vector<std::string>{host},
                           at + "the pass did not find the printer once");
            found.clear();
            problems.Check(net.FindSnmpAgent(community, host, kModel, Collect, &found, false) &&
                               found == std::vector<std::string>{host},
                           at + "the probe did not find the printer");

            // The list's queries, all of a printer's at once.
            PRINTER_QUERY q;
            q.address = host;
            problems.Check(net.QueryPrinters(community, &q, 1) == 1, at + "no answer to the list");
            problems.Check(q.bNameRead && std::string(q.szName) == "N-" + c,
                           at + "list name " + q.szName);
            problems.Check(q.bVersionRead && std::string(q.szVersion) == "V-" + c,
                           at + "list version " + q.szVersion);
            problems.Check(q.bStatusRead &&
                               std::string(q.szDeviceId) == DeviceId(c, StatusOf(thread)) &&
                               q.status.PrinterStatus == StatusOf(thread),
                           at + "list device ID " + q.szDeviceId);

            // The single queries, and the status query.
            char name[kSnmpValueSize] = {};
            problems.Check(
                net.OstrelNetworkGetPrinterName(host, 4, name, sizeof(name), community) == 0 &&
                    std::string(name) == "N-" + c,
                at + "name " + name);
            PRINTER_STATUS status{};
            problems.Check(net.NetworkReadStatus(community, host, &status) == 1 &&
                               status.PrinterStatus == StatusOf(thread),
                           at + "status");
        }
        // The verification of quenlo-cli's workers: the printer answers as
        // the model again, then its version is read.
        CNetIO net;
        std::vector<std::string> found;
        char version[kSnmpValueSize] = {};
        problems.Check(net.FindSnmpAgent(community, "127.0.0.1", kModel, Collect, &found, false) &&
                           !found.empty() &&
                           net.OstrelNetworkGetFwVersion("127.0.0.1", 4, version, sizeof(version),
                                                         community) == 0 &&
                           std::string(version) == "V-" + c,
                       who + "verification read " + version);

        // The older entry points fill the process-wide buffers under their
        // lock; a caller holding it across the walk and the read sees its
        // own walk's text.
        const Bytes reply = Response({Binding(kDeviceIdName, 0x04, Str(DeviceId(c, 0)))});
        PRINTER_STATUS status{};
        const std::lock_guard<std::recursive_mutex> lock(SnmpWalkLock());
        problems.Check(CNetIO::parseForDeviceId(reply.data(), int(reply.size()), &status) == 1 &&
                           std::string(g_deviceid) == DeviceId(c, 0),
                       who + "g_deviceid holds " + g_deviceid);
    }
}

} // namespace

TEST(ThreadedCore, EightThreadsAtOnceEachGetTheirOwnAnswers) {
    // Both agents on one port, made before the threads start.
    Responder v4(AF_INET, Answers);
    ASSERT_TRUE(v4.Ok());
    Responder v6(AF_INET6, Answers, v4.Port());
    ASSERT_TRUE(v6.Ok());
    ASSERT_EQ(g_nSnmpPort, v4.Port());

    Problems problems;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back(OneThread, t, std::ref(problems));
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(problems.List(), std::vector<std::string>{});
}
