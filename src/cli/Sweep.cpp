#include "cli/Sweep.h"

#include "net/NetIO.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <set>
#include <unordered_map>

namespace {

int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

std::vector<std::string> SweepAgents(const std::vector<std::string>& hosts, const char* community,
                                     const char* modelOid, const SweepOptions& options) {
    std::vector<std::string> found;
    unsigned char request[kSnmpWorkSize];
    const int requestLength = CNetIO::BuildDiscoveryRequest(community, request, sizeof request);
    unsigned char wanted[kOidEncodingMax];
    const int wantedLength = CNetIO::oidEncode(modelOid, wanted);
    if (requestLength <= 0 || wantedLength <= 0 || wantedLength > kModelOidEncodingMax)
        return found;

    std::unordered_map<uint32_t, size_t> asked; // address (network order) -> host index
    std::vector<sockaddr_in> targets;
    for (const std::string& host : hosts) {
        sockaddr_in target{};
        target.sin_family = AF_INET;
        target.sin_port = htons(uint16_t(g_nSnmpPort));
        if (inet_pton(AF_INET, host.c_str(), &target.sin_addr) != 1)
            continue;
        if (asked.emplace(target.sin_addr.s_addr, targets.size()).second)
            targets.push_back(target);
    }
    const int s = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (s < 0)
        return found;

    std::set<uint32_t> answered;
    unsigned char reply[kSnmpReceiveSize];
    SNMP_WALK walk;
    auto drain = [&] {
        for (int i = 0; i < 4096; ++i) {
            sockaddr_storage from{};
            socklen_t fromLength = sizeof from;
            const ssize_t n = ::recvfrom(s, reply, sizeof reply, 0,
                                         reinterpret_cast<sockaddr*>(&from), &fromLength);
            if (n <= 0)
                return false;
            if (from.ss_family != AF_INET)
                continue;
            const in_addr source = reinterpret_cast<const sockaddr_in&>(from).sin_addr;
            // Each reply is held against the one request that went to its
            // sender's address, as every unicast exchange is.
            const auto host = asked.find(source.s_addr);
            if (host == asked.end() || answered.count(source.s_addr) != 0 ||
                !CNetIO::MatchReply(from, reinterpret_cast<const sockaddr*>(&targets[host->second]),
                                    reply, int(n), &kSysObjectIdObject, 1, nullptr))
                continue;
            if (CNetIO::parseForOID(walk, reply, int(n), wanted, wantedLength) != 1)
                continue;
            answered.insert(source.s_addr);
            char text[INET_ADDRSTRLEN];
            inet_ntop(AF_INET, &source, text, sizeof text);
            found.emplace_back(text);
        }
        return true;
    };

    // Requests go out evenly spread over time: a /16 takes about a minute at
    // 1000 per second, and no switch or printer sees a burst.
    const int rate = std::max(options.datagramsPerSecond, 1);
    const int64_t start = NowMs();
    for (size_t i = 0; i < targets.size(); ++i) {
        const int64_t due = start + int64_t(i) * 1000 / rate;
        for (int64_t now = NowMs(); now < due; now = NowMs()) {
            pollfd p{s, POLLIN, 0};
            if (::poll(&p, 1, int(due - now)) > 0)
                drain();
        }
        ::sendto(s, request, size_t(requestLength), MSG_NOSIGNAL,
                 reinterpret_cast<const sockaddr*>(&targets[i]), sizeof targets[i]);
        drain();
    }
    // Replies still on their way; the quiet period starts again only for a
    // reply that counted, and never beyond five quiet periods.
    const int64_t last = NowMs() + 5LL * options.quietMs;
    int64_t quietEnd = NowMs() + options.quietMs;
    while (NowMs() < std::min(quietEnd, last)) {
        pollfd p{s, POLLIN, 0};
        if (::poll(&p, 1, int(std::min(quietEnd, last) - NowMs())) <= 0)
            continue;
        const size_t before = found.size();
        drain();
        if (found.size() != before)
            quietEnd = NowMs() + options.quietMs;
    }
    ::close(s);
    return found;
}
