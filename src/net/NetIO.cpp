// SNMP queries, discovery and the print-port channel of CNetIO.

#include "net/NetIO.h"

#include "status/DisplayText.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

const char kNameOid[] = "1.3.6.1.2.1.1.5.0";
const char kFwVersionOid[] = "1.3.6.1.4.1.40917.886.300.369.8531.1.2.1.0";
const char kDeviceIdOid[] = "1.3.6.1.4.1.40917.886.300.369.8531.1.1.0";
const char kOrchid[] = "orchid";

// Only to learn the family of an address text. Numeric texts only: a host
// name could not be used afterwards anyway, and looking it up would send a
// resolver query. Returns AF_INET, AF_INET6, or -1 after the message.
int AddressFamily(const char* host) {
    if (host == nullptr) {
        fprintf(stderr, "error in getaddrinfo: %s\n", gai_strerror(EAI_NONAME));
        return -1;
    }
    addrinfo hints;
    memset(&hints, 0, sizeof(hints));
    hints.ai_flags = AI_NUMERICHOST;
    addrinfo* result = nullptr;
    const int rc = getaddrinfo(host, nullptr, &hints, &result);
    if (rc != 0) {
        fprintf(stderr, "error in getaddrinfo: %s\n", gai_strerror(rc));
        return -1;
    }
    const int family = result->ai_family;
    freeaddrinfo(result);
    return family;
}

bool ParseV4(const char* host, sockaddr_in& to, int port) {
    memset(&to, 0, sizeof(to));
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(port));
    return host != nullptr && inet_aton(host, &to.sin_addr) != 0;
}

bool ParseV6(const char* host, sockaddr_in6& to, int port, int scope) {
    memset(&to, 0, sizeof(to));
    to.sin6_family = AF_INET6;
    to.sin6_port = htons(static_cast<uint16_t>(port));
    to.sin6_scope_id = static_cast<uint32_t>(scope);
    return host != nullptr && inet_pton(AF_INET6, host, &to.sin6_addr) == 1;
}

// A datagram socket with the settings every exchange uses: the broadcast
// flag as asked and a one-second receive time-out.
int OpenUdp(int family, bool broadcast) {
    const int s = socket(family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (s < 0)
        return -1;
    const int flag = broadcast ? 1 : 0;
    setsockopt(s, SOL_SOCKET, SO_BROADCAST, &flag, sizeof(flag));
    timeval timeout;
    timeout.tv_sec = 1;
    timeout.tv_usec = 0;
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));
    return s;
}

void DumpHex(const unsigned char* data, int length) {
    for (int i = 1; i <= length; ++i)
        printf((i % 8 == 0) ? "%02x\n" : "%02x ", data[i - 1]);
    printf("\n");
}

// Link-local destinations only mean something together with an interface.
bool NeedsScope(const in6_addr& address) {
    return IN6_IS_ADDR_LINKLOCAL(&address) || IN6_IS_ADDR_MC_LINKLOCAL(&address) ||
           IN6_IS_ADDR_MC_NODELOCAL(&address);
}

// The interfaces a link-scoped discovery tries, lowest index first: those
// that are up (and can multicast, for a multicast destination).
std::vector<unsigned> CandidateInterfaces(bool multicast) {
    std::vector<unsigned> indexes;
    struct if_nameindex* names = if_nameindex();
    if (names == nullptr)
        return indexes;
    const int probe = socket(AF_INET6, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    for (struct if_nameindex* p = names; p->if_index != 0 && p->if_name != nullptr; ++p) {
        bool usable = true;
        if (probe >= 0) {
            ifreq request;
            memset(&request, 0, sizeof(request));
            strncpy(request.ifr_name, p->if_name, IFNAMSIZ - 1);
            if (ioctl(probe, SIOCGIFFLAGS, &request) == 0) {
                const short flags = request.ifr_flags;
                usable = (flags & IFF_UP) != 0 && (!multicast || (flags & IFF_MULTICAST) != 0);
            }
        }
        if (usable)
            indexes.push_back(p->if_index);
    }
    if (probe >= 0)
        close(probe);
    if_freenameindex(names);
    // if_nameindex lists in kernel order, which is usually but not always
    // ascending.
    for (size_t i = 1; i < indexes.size(); ++i)
        for (size_t j = i; j > 0 && indexes[j - 1] > indexes[j]; --j)
            std::swap(indexes[j - 1], indexes[j]);
    return indexes;
}

} // namespace

// ---------------------------------------------------------------- queries

int g_nSnmpPort = kSnmpPort;

namespace {

using Clock = std::chrono::steady_clock;

int RemainingMs(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left <= 0 ? 0 : static_cast<int>(left > 60000 ? 60000 : left);
}

// Whether a datagram came from the address and port a request went to.
bool FromAsked(const sockaddr_storage& from, const sockaddr* to) {
    if (to == nullptr || from.ss_family != to->sa_family)
        return false;
    if (to->sa_family == AF_INET) {
        const auto& f = reinterpret_cast<const sockaddr_in&>(from);
        const auto* t = reinterpret_cast<const sockaddr_in*>(to);
        return f.sin_port == t->sin_port && f.sin_addr.s_addr == t->sin_addr.s_addr;
    }
    if (to->sa_family == AF_INET6) {
        const auto& f = reinterpret_cast<const sockaddr_in6&>(from);
        const auto* t = reinterpret_cast<const sockaddr_in6*>(to);
        return f.sin6_port == t->sin6_port &&
               memcmp(&f.sin6_addr, &t->sin6_addr, sizeof(in6_addr)) == 0;
    }
    return false;
}

// An object asked for, with room for its encoded name.
struct AskedObject {
    unsigned char name[kOidEncodingMax] = {};
    SNMP_OBJECT object;

    explicit AskedObject(const char* text) {
        const int length = CNetIO::oidEncode(text, name);
        object.name = name;
        object.nameLength = length > 0 ? length : 0;
    }
};

// Waits until `deadline` for the answer to the request sent to `to` asking
// for `asked`; every other datagram is read and dropped. Returns the
// answer's length, or -1.
ssize_t AwaitReply(int s, const sockaddr* to, const SNMP_OBJECT& asked, unsigned char* reply,
                   size_t size, Clock::time_point deadline) {
    for (int datagrams = 0; datagrams < kMaxDiscoveryReplies; ++datagrams) {
        pollfd p{s, POLLIN, 0};
        const int ready = poll(&p, 1, RemainingMs(deadline));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return -1;
        sockaddr_storage from;
        socklen_t fromLength = sizeof(from);
        memset(&from, 0, sizeof(from));
        const ssize_t n =
            recvfrom(s, reply, size, MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK))
            continue;
        if (n <= 0)
            return -1;
        if (CNetIO::MatchReply(from, to, reply, static_cast<int>(n), &asked, 1, nullptr))
            return n;
    }
    return -1;
}

bool GetText(int family, const sockaddr* to, socklen_t toLength, const char* community,
             const char* text, char* out, int size, bool printCount) {
    const AskedObject asked(text);
    const int s = OpenUdp(family, false);
    if (s < 0)
        return false;
    unsigned char request[kSnmpWorkSize];
    const int requestLength = CNetIO::BuildGetRequestFor(1, text, community, request);
    if (requestLength <= 0) {
        close(s);
        return false;
    }
    if (family == AF_INET6)
        printf("scope id=%d", scope_id);
    if (sendto(s, request, static_cast<size_t>(requestLength), 0, to, toLength) < 0) {
        if (family == AF_INET6)
            perror("getv6 nRet");
        close(s);
        return false;
    }
    unsigned char reply[kSnmpReceiveSize];
    const ssize_t nRecv = AwaitReply(s, to, asked.object, reply, sizeof(reply),
                                     Clock::now() + std::chrono::milliseconds(kQueryTimeoutMs));
    if (printCount)
        printf("NetSnmpGetV4 recvfrom nRecv = %d\n", static_cast<int>(nRecv));
    close(s);
    if (nRecv <= 0)
        return false;
    return CNetIO::parseForRecvBuf(reply, static_cast<int>(nRecv), out, size) == 1;
}

} // namespace

bool CNetIO::MatchReply(const sockaddr_storage& from, const sockaddr* to,
                        const unsigned char* datagram, int length, const SNMP_OBJECT* asked,
                        int askedCount, SNMP_REPLY* reply) {
    return FromAsked(from, to) && ReadReply(datagram, length, asked, askedCount, reply);
}

bool CNetIO::NetSnmpGetV4(const char* address, const char* community, const char* text, char* out,
                          int size) {
    sockaddr_in to;
    if (!ParseV4(address, to, g_nSnmpPort))
        return false;
    return GetText(AF_INET, reinterpret_cast<const sockaddr*>(&to), sizeof(to), community, text,
                   out, size, true);
}

bool CNetIO::NetSnmpGetV6(const char* address, const char* community, const char* text, char* out,
                          int size) {
    sockaddr_in6 to;
    if (!ParseV6(address, to, g_nSnmpPort, scope_id))
        return false;
    return GetText(AF_INET6, reinterpret_cast<const sockaddr*>(&to), sizeof(to), community, text,
                   out, size, false);
}

namespace {

// The common part of both status queries once the destination is known.
int ExchangeDeviceId(int family, const sockaddr* to, socklen_t toLength, const char* community,
                     PRINTER_STATUS* status) {
    unsigned char request[kSnmpWorkSize];
    const int requestLength = CNetIO::BuildDeviceIdRequest(community, request, sizeof(request));
    if (requestLength <= 0)
        return 0;
    const AskedObject asked(kDeviceIdOid);
    const int s = OpenUdp(family, false);
    if (s < 0)
        return 0;
    const ssize_t nRet = sendto(s, request, static_cast<size_t>(requestLength), 0, to, toLength);
    printf("Sendto nRet = %d, request_oid_len=%d\n", static_cast<int>(nRet), requestLength);
    if (nRet <= 0) {
        close(s);
        return 0;
    }
    unsigned char reply[kSnmpReceiveSize];
    const ssize_t nRecv = AwaitReply(s, to, asked.object, reply, sizeof(reply),
                                     Clock::now() + std::chrono::milliseconds(kQueryTimeoutMs));
    printf("recvfrom nRecv = %d\n", static_cast<int>(nRecv));
    if (nRecv > 0) {
        printf("NetworkReadStatus response=\n");
        DumpHex(reply, static_cast<int>(nRecv));
        CNetIO::parseForDeviceId(reply, static_cast<int>(nRecv), status);
    }
    close(s);
    return 1;
}

} // namespace

int CNetIO::NetworkReadStatus(const char* community, const char* host, PRINTER_STATUS* status) {
    const int family = AddressFamily(host);
    if (family < 0)
        return 0;
    if (family == AF_INET6)
        return NetworkReadStatusV6(community, host, status);
    sockaddr_in to;
    if (!ParseV4(host, to, g_nSnmpPort))
        return 0;
    return ExchangeDeviceId(AF_INET, reinterpret_cast<const sockaddr*>(&to), sizeof(to), community,
                            status);
}

int CNetIO::NetworkReadStatusV6(const char* community, const char* host, PRINTER_STATUS* status) {
    sockaddr_in6 to;
    if (!ParseV6(host, to, g_nSnmpPort, scope_id))
        return 0;
    return ExchangeDeviceId(AF_INET6, reinterpret_cast<const sockaddr*>(&to), sizeof(to), community,
                            status);
}

namespace {

enum QueryKind { kQueryName = 0, kQueryVersion = 1, kQueryStatus = 2, kQueryKinds = 3 };
constexpr unsigned kAskName = 1u << kQueryName;
constexpr unsigned kAskVersion = 1u << kQueryVersion;
constexpr unsigned kAskStatus = 1u << kQueryStatus;

// A name or version asked under the community in use (slot 0) and, when
// that is not "orchid", under "orchid" too (slot 1): the vendor's printers
// answer these objects only to "orchid", other printers mostly only to
// their own community.
struct AskedText {
    bool asked[2] = {};
    bool answered[2] = {};
    bool hasValue[2] = {};
    char text[2][kSnmpValueSize] = {};

    bool Settled(int slot) const { return !asked[slot] || answered[slot]; }
    // The community in use has given a value, or every request has had
    // its answer.
    bool Waiting() const { return !(answered[0] && hasValue[0]) && !(Settled(0) && Settled(1)); }
    // The answer shown: the community in use wins; the fallback only when
    // the first brought no value.
    int Chosen() const {
        for (const bool wantValue : {true, false})
            for (int slot = 0; slot < 2; ++slot)
                if (answered[slot] && (hasValue[slot] || !wantValue))
                    return slot;
        return -1;
    }
    bool CopyTo(char* out, size_t size) const {
        const int slot = Chosen();
        if (slot < 0)
            return false;
        // Already display text: this only cuts it to the caller's room.
        MakeDisplayText(reinterpret_cast<const unsigned char*>(text[slot]), strlen(text[slot]), out,
                        size);
        return true;
    }
};

struct PendingPrinter {
    PRINTER_QUERY* printer = nullptr;
    int fd = -1;
    sockaddr_storage to{};
    socklen_t toLength = 0;
    AskedText texts[2]; // name, version
    bool statusWaiting = false;

    bool Waiting() const { return texts[0].Waiting() || texts[1].Waiting() || statusWaiting; }
};

// One request of the burst each printer gets.
struct Request {
    int kind;
    int slot;
    unsigned char bytes[kSnmpWorkSize];
    int length;
};

// The engine of QueryPrinters and of the single name and version queries:
// every request to every printer goes out at once, and each reply counts
// only when it answers one of them (CNetIO::MatchReply against the printer
// it came from; when an object was asked under two communities, the one
// the reply carries tells which request it answers).
int AskPrinters(const char* community, PRINTER_QUERY* printers, int count, int deadlineMs,
                unsigned kinds) {
    if (printers == nullptr || count <= 0)
        return 0;
    // An empty community asks as "orchid", as discovery does; the device ID
    // keeps the community exactly as given.
    const char* textCommunity =
        (community == nullptr || community[0] == '\0') ? kOrchid : community;
    const bool fallback = strcmp(textCommunity, kOrchid) != 0;
    const char* textOids[2] = {kNameOid, kFwVersionOid};

    // The community in use first, then the fallback.
    std::vector<Request> requests;
    requests.reserve(5);
    for (int slot = 0; slot < (fallback ? 2 : 1); ++slot) {
        for (int kind = kQueryName; kind < kQueryKinds; ++kind) {
            if ((kinds & (1u << kind)) == 0 || (slot == 1 && kind == kQueryStatus))
                continue;
            Request r{kind, slot, {}, 0};
            r.length = kind == kQueryStatus
                           ? CNetIO::BuildDeviceIdRequest(community, r.bytes, sizeof(r.bytes))
                           : CNetIO::BuildGetRequestFor(
                                 1, textOids[kind], slot == 0 ? textCommunity : kOrchid, r.bytes);
            if (r.length > 0)
                requests.push_back(r);
        }
    }
    // The objects asked for, as the replies name them.
    const AskedObject name(kNameOid), version(kFwVersionOid), deviceId(kDeviceIdOid);
    const SNMP_OBJECT objects[kQueryKinds] = {name.object, version.object, deviceId.object};

    const int limit = deadlineMs < kQueryTimeoutMs ? deadlineMs : kQueryTimeoutMs;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(limit);
    std::vector<PendingPrinter> pending(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        PendingPrinter& p = pending[static_cast<size_t>(i)];
        p.printer = &printers[i];
        p.printer->bNameRead = p.printer->bVersionRead = p.printer->bStatusRead = false;
        const int family = AddressFamily(p.printer->address);
        if (family == AF_INET) {
            sockaddr_in to;
            if (!ParseV4(p.printer->address, to, g_nSnmpPort))
                continue;
            memcpy(&p.to, &to, sizeof(to));
            p.toLength = sizeof(to);
        } else if (family == AF_INET6) {
            sockaddr_in6 to;
            if (!ParseV6(p.printer->address, to, g_nSnmpPort, scope_id))
                continue;
            memcpy(&p.to, &to, sizeof(to));
            p.toLength = sizeof(to);
        } else {
            continue;
        }
        p.fd = OpenUdp(family, false);
        if (p.fd < 0)
            continue;
        for (const Request& r : requests) {
            const bool sent = sendto(p.fd, r.bytes, static_cast<size_t>(r.length), 0,
                                     reinterpret_cast<const sockaddr*>(&p.to), p.toLength) > 0;
            if (r.kind == kQueryStatus)
                p.statusWaiting = sent;
            else
                p.texts[r.kind].asked[r.slot] = sent;
        }
    }

    unsigned char reply[kSnmpReceiveSize];
    std::vector<pollfd> fds;
    std::vector<PendingPrinter*> owners;
    for (int datagrams = 0; datagrams < kMaxDiscoveryReplies * 4;) {
        fds.clear();
        owners.clear();
        for (PendingPrinter& p : pending) {
            if (p.fd >= 0 && p.Waiting()) {
                fds.push_back(pollfd{p.fd, POLLIN, 0});
                owners.push_back(&p);
            }
        }
        if (fds.empty())
            break;
        const int ready = poll(fds.data(), fds.size(), RemainingMs(deadline));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            break;
        for (size_t f = 0; f < fds.size(); ++f) {
            if ((fds[f].revents & POLLIN) == 0)
                continue;
            PendingPrinter& p = *owners[f];
            sockaddr_storage from;
            socklen_t fromLength = sizeof(from);
            memset(&from, 0, sizeof(from));
            const ssize_t n = recvfrom(p.fd, reply, sizeof(reply), MSG_DONTWAIT,
                                       reinterpret_cast<sockaddr*>(&from), &fromLength);
            ++datagrams;
            SNMP_REPLY answer;
            if (n <= 0 || !CNetIO::MatchReply(from, reinterpret_cast<const sockaddr*>(&p.to), reply,
                                              static_cast<int>(n), objects, kQueryKinds, &answer))
                continue;
            if (answer.object == kQueryStatus) {
                if (!p.statusWaiting)
                    continue;
                // The walk leaves the text in g_deviceid: read it under the same lock.
                const std::lock_guard<std::recursive_mutex> walk(SnmpWalkLock());
                p.printer->bStatusRead =
                    CNetIO::parseForDeviceId(reply, static_cast<int>(n), &p.printer->status) == 1;
                if (p.printer->bStatusRead)
                    std::memcpy(p.printer->szDeviceId, g_deviceid, sizeof g_deviceid);
                p.statusWaiting = false;
                continue;
            }
            AskedText& t = p.texts[answer.object];
            // Both communities asked for the same object with the same
            // request-id: the community the agent answers under tells which
            // request this is.
            int slot = 0;
            if (t.asked[1])
                slot = answer.CarriesCommunity(textCommunity) ? 0
                       : answer.CarriesCommunity(kOrchid)     ? 1
                                                              : -1;
            if (slot < 0 || !t.asked[slot] || t.answered[slot] || !t.Waiting())
                continue;
            t.answered[slot] = CNetIO::parseForRecvBuf(reply, static_cast<int>(n), t.text[slot],
                                                       sizeof(t.text[slot])) == 1;
            t.hasValue[slot] = answer.HasValue();
        }
    }

    int answered = 0;
    for (PendingPrinter& p : pending) {
        if (p.fd >= 0)
            close(p.fd);
        PRINTER_QUERY& q = *p.printer;
        q.bNameRead = p.texts[kQueryName].CopyTo(q.szName, sizeof(q.szName));
        q.bVersionRead = p.texts[kQueryVersion].CopyTo(q.szVersion, sizeof(q.szVersion));
        if (q.bNameRead || q.bVersionRead || q.bStatusRead)
            ++answered;
        printf("QueryPrinters %s name=%d version=%d status=%d\n",
               q.address != nullptr ? q.address : "", q.bNameRead ? 1 : 0, q.bVersionRead ? 1 : 0,
               q.bStatusRead ? 1 : 0);
    }
    return answered;
}

// The single name and version queries: the engine for one printer and one
// object, the text cut to the caller's buffer.
int QueryText(const char* host, const char* community, unsigned kind, char* out, int size) {
    if (AddressFamily(host) < 0)
        return -1;
    PRINTER_QUERY q;
    q.address = host;
    AskPrinters(community, &q, 1, kQueryTimeoutMs, kind);
    const bool read = kind == kAskName ? q.bNameRead : q.bVersionRead;
    if (!read || out == nullptr || size <= 0)
        return -1;
    const char* text = kind == kAskName ? q.szName : q.szVersion;
    MakeDisplayText(reinterpret_cast<const unsigned char*>(text), strlen(text), out,
                    static_cast<size_t>(size));
    return 0;
}

} // namespace

int CNetIO::OstrelNetworkGetFwVersion(const char* host, unsigned char, char* out, int size,
                                      const char* community) {
    printf("OstrelNetworkGetFwVersion enter\n");
    return QueryText(host, community, kAskVersion, out, size);
}

int CNetIO::OstrelNetworkGetPrinterName(const char* host, unsigned char, char* out, int size,
                                        const char* community) {
    printf("OstrelNetworkGetPrinterName enter\n");
    return QueryText(host, community, kAskName, out, size);
}

int CNetIO::QueryPrinters(const char* community, PRINTER_QUERY* printers, int count,
                          int deadlineMs) {
    return AskPrinters(community, printers, count, deadlineMs, kAskName | kAskVersion | kAskStatus);
}

// -------------------------------------------------------------- discovery

namespace {

// Whether an IPv4 source could have heard a broadcast on one of our links:
// a unicast address inside the subnet of one of our interfaces.
bool OnLinkUnicast4(in_addr source) {
    const uint32_t a = ntohl(source.s_addr);
    if (a == 0 || a == 0xFFFFFFFFu || (a >> 28) == 0xE)
        return false;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return false;
    bool onLink = false;
    for (ifaddrs* i = list; i != nullptr && !onLink; i = i->ifa_next) {
        if (i->ifa_addr == nullptr || i->ifa_netmask == nullptr ||
            i->ifa_addr->sa_family != AF_INET)
            continue;
        const uint32_t mine =
            ntohl(reinterpret_cast<const sockaddr_in*>(i->ifa_addr)->sin_addr.s_addr);
        const uint32_t mask =
            ntohl(reinterpret_cast<const sockaddr_in*>(i->ifa_netmask)->sin_addr.s_addr);
        // Not the subnet's own broadcast address either.
        onLink = (a & mask) == (mine & mask) && (mask == 0xFFFFFFFFu || (a | mask) != 0xFFFFFFFFu);
    }
    freeifaddrs(list);
    return onLink;
}

// Room for a burst of replies: a network of many printers answers a
// broadcast all at once, faster than the replies are read.
void RoomForReplies(int s) {
    const int size = 1 << 20;
    setsockopt(s, SOL_SOCKET, SO_RCVBUF, &size, sizeof(size));
}

bool Unicast6(const in6_addr& a) {
    return !IN6_IS_ADDR_MULTICAST(&a) && !IN6_IS_ADDR_UNSPECIFIED(&a);
}

// The time rules of one pass: it ends once no reply has come for the quiet
// period, and in any case at its limit.
struct PassClock {
    Clock::time_point hardEnd;
    Clock::time_point quietEnd;
    int quietMs;

    explicit PassClock(int limitMs) {
        if (limitMs > kDiscoveryPassLimitMs)
            limitMs = kDiscoveryPassLimitMs;
        if (limitMs < 0)
            limitMs = 0;
        quietMs = limitMs < kDiscoveryQuietMs ? limitMs : kDiscoveryQuietMs;
        const Clock::time_point now = Clock::now();
        hardEnd = now + std::chrono::milliseconds(limitMs);
        quietEnd = now + std::chrono::milliseconds(quietMs);
    }
    void Replied() {
        quietEnd = std::min(hardEnd, Clock::now() + std::chrono::milliseconds(quietMs));
    }
    int WaitMs() const { return RemainingMs(std::min(hardEnd, quietEnd)); }
};

} // namespace

bool CNetIO::FindSnmpAgent(const char* community, const char* address, const char* text,
                           FIND_AGENT_CALLBACK callback, void* userData, bool broadcast) {
    const int family = AddressFamily(address);
    if (family < 0)
        return false;
    if (family == AF_INET6)
        return FindSnmpAgentV6(community, address, text, callback, userData, broadcast);

    unsigned char request[kSnmpWorkSize];
    const int requestLength = BuildDiscoveryRequest(community, request, sizeof(request));
    unsigned char wanted[kOidEncodingMax];
    const int wantedLength = oidEncode(text, wanted);
    if (requestLength <= 0 || wantedLength <= 0 || wantedLength > kModelOidEncodingMax)
        return false;

    sockaddr_in to;
    if (!ParseV4(address, to, g_nSnmpPort))
        return false;
    const int s = OpenUdp(AF_INET, broadcast);
    if (s < 0)
        return false;
    RoomForReplies(s);
    printf("ipv4=%s\n", address);
    if (sendto(s, request, static_cast<size_t>(requestLength), 0,
               reinterpret_cast<const sockaddr*>(&to), sizeof(to)) < 0) {
        close(s);
        return false;
    }
    // Without broadcast only the asked address can answer, and its answer
    // ends the wait; a broadcast is answered by whoever is on our links.
    const bool probe = !broadcast;
    PassClock clock(m_nPassLimitMs);
    std::vector<uint32_t> listed;
    unsigned char reply[kSnmpReceiveSize];
    for (int datagrams = 0; datagrams < kMaxDiscoveryReplies; ++datagrams) {
        pollfd p{s, POLLIN, 0};
        const int ready = poll(&p, 1, clock.WaitMs());
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            break;
        sockaddr_storage from;
        socklen_t fromLength = sizeof(from);
        memset(&from, 0, sizeof(from));
        const ssize_t nRecv = recvfrom(s, reply, sizeof(reply), MSG_DONTWAIT,
                                       reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (nRecv <= 0 || from.ss_family != AF_INET)
            continue;
        const sockaddr_in& source = reinterpret_cast<const sockaddr_in&>(from);
        // A typed address is one unicast exchange; a broadcast is answered
        // by whoever is on our links, from port 161.
        const SNMP_OBJECT& asked = kSysObjectIdObject;
        const bool answer =
            probe ? MatchReply(from, reinterpret_cast<const sockaddr*>(&to), reply,
                               static_cast<int>(nRecv), &asked, 1, nullptr)
                  : ntohs(source.sin_port) == g_nSnmpPort && OnLinkUnicast4(source.sin_addr) &&
                        ReadReply(reply, static_cast<int>(nRecv), &asked, 1, nullptr);
        if (!answer)
            continue;
        clock.Replied();
        const bool match = parseForOID(reply, static_cast<int>(nRecv), wanted, wantedLength) == 1;
        const uint32_t key = source.sin_addr.s_addr;
        if (match && std::find(listed.begin(), listed.end(), key) == listed.end()) {
            listed.push_back(key);
            if (callback != nullptr) {
                char szAddr[16] = {};
                inet_ntop(AF_INET, &source.sin_addr, szAddr, sizeof(szAddr));
                printf("szAddr=%s\n", szAddr);
                callback(szAddr, nullptr, userData);
            }
        }
        if (probe)
            break;
    }
    close(s);
    return true;
}

bool CNetIO::FindSnmpAgentV6(const char* community, const char* address, const char* text,
                             FIND_AGENT_CALLBACK callback, void* userData, bool broadcast) {
    unsigned char request[kSnmpWorkSize];
    const int requestLength = BuildDiscoveryRequest(community, request, sizeof(request));
    unsigned char wanted[kOidEncodingMax];
    const int wantedLength = oidEncode(text, wanted);
    if (requestLength <= 0 || wantedLength <= 0 || wantedLength > kModelOidEncodingMax)
        return false;
    in6_addr destination;
    if (address == nullptr || inet_pton(AF_INET6, address, &destination) != 1)
        return false;
    printf("ipv6=%s\n", address);

    // A remembered interface is the only one asked; a destination that needs
    // no interface is asked once; otherwise every usable interface at once.
    std::vector<unsigned> interfaces;
    const bool scoped = NeedsScope(destination);
    const bool remembered = scope_id > 0;
    if (remembered)
        interfaces.push_back(static_cast<unsigned>(scope_id));
    else if (!scoped)
        interfaces.push_back(0);
    else
        interfaces = CandidateInterfaces(IN6_IS_ADDR_MULTICAST(&destination));

    printf("\nfound=%d \n", 0);
    const int s = OpenUdp(AF_INET6, broadcast);
    if (s < 0) {
        perror("socket failed");
        return false;
    }
    RoomForReplies(s);
    // The interface each reply came in on, whatever its source address.
    const int on = 1;
    setsockopt(s, IPPROTO_IPV6, IPV6_RECVPKTINFO, &on, sizeof(on));

    int sent = 0;
    for (const unsigned index : interfaces) {
        sockaddr_in6 to;
        memset(&to, 0, sizeof(to));
        to.sin6_family = AF_INET6;
        to.sin6_port = htons(static_cast<uint16_t>(g_nSnmpPort));
        to.sin6_addr = destination;
        if (remembered)
            printf("[if] scope_id=%d", scope_id);
        to.sin6_scope_id = index;
        if (sendto(s, request, static_cast<size_t>(requestLength), 0,
                   reinterpret_cast<const sockaddr*>(&to), sizeof(to)) < 0) {
            perror("snedto failed");
            printf(" index = %d", static_cast<int>(index));
            continue;
        }
        ++sent;
    }

    struct Found {
        unsigned index;
        in6_addr address;
    };
    std::vector<Found> found;
    const bool probe = !broadcast && !IN6_IS_ADDR_MULTICAST(&destination);
    // Where a probe's answer must come from, on whichever interface.
    sockaddr_in6 askedAt;
    memset(&askedAt, 0, sizeof(askedAt));
    askedAt.sin6_family = AF_INET6;
    askedAt.sin6_port = htons(static_cast<uint16_t>(g_nSnmpPort));
    askedAt.sin6_addr = destination;
    PassClock clock(sent > 0 ? m_nPassLimitMs : 0);
    unsigned char reply[kSnmpReceiveSize];
    for (int datagrams = 0; datagrams < kMaxDiscoveryReplies; ++datagrams) {
        pollfd p{s, POLLIN, 0};
        const int ready = poll(&p, 1, clock.WaitMs());
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            break;
        sockaddr_in6 from;
        memset(&from, 0, sizeof(from));
        iovec io{reply, sizeof(reply)};
        alignas(cmsghdr) unsigned char control[CMSG_SPACE(sizeof(in6_pktinfo))];
        msghdr message;
        memset(&message, 0, sizeof(message));
        message.msg_name = &from;
        message.msg_namelen = sizeof(from);
        message.msg_iov = &io;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof(control);
        const ssize_t nRecv = recvmsg(s, &message, MSG_DONTWAIT);
        printf(" nRecv = %d", static_cast<int>(nRecv));
        if (nRecv <= 0 || from.sin6_family != AF_INET6)
            continue;
        unsigned arrivedOn = from.sin6_scope_id;
        for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
            if (c->cmsg_level == IPPROTO_IPV6 && c->cmsg_type == IPV6_PKTINFO) {
                in6_pktinfo info;
                memcpy(&info, CMSG_DATA(c), sizeof(info));
                arrivedOn = info.ipi6_ifindex;
            }
        }
        const SNMP_OBJECT& asked = kSysObjectIdObject;
        bool answer = false;
        if (probe) {
            sockaddr_storage source;
            memset(&source, 0, sizeof(source));
            memcpy(&source, &from, sizeof(from));
            answer = MatchReply(source, reinterpret_cast<const sockaddr*>(&askedAt), reply,
                                static_cast<int>(nRecv), &asked, 1, nullptr);
        } else {
            answer = Unicast6(from.sin6_addr) && ntohs(from.sin6_port) == g_nSnmpPort &&
                     ReadReply(reply, static_cast<int>(nRecv), &asked, 1, nullptr);
        }
        if (!answer)
            continue;
        clock.Replied();
        if (parseForOID(reply, static_cast<int>(nRecv), wanted, wantedLength) != 1)
            continue;
        bool seen = false;
        for (const Found& f : found)
            seen = seen || (f.index == arrivedOn &&
                            memcmp(&f.address, &from.sin6_addr, sizeof(in6_addr)) == 0);
        if (!seen)
            found.push_back(Found{arrivedOn, from.sin6_addr});
        if (probe)
            break;
    }
    close(s);

    // The printers listed are those of the lowest interface where the model
    // answered, and that interface is remembered for every later exchange.
    unsigned chosen = 0;
    bool any = false;
    for (const Found& f : found) {
        if (!any || f.index < chosen)
            chosen = f.index;
        any = true;
    }
    if (!any)
        return true;
    if (!remembered && scoped && chosen > 0)
        scope_id = static_cast<int>(chosen);
    printf("[find] scope id=%d", scope_id);
    for (const Found& f : found) {
        if (scoped && !remembered && f.index != chosen)
            continue;
        char szAddr[256] = {};
        inet_ntop(AF_INET6, &f.address, szAddr, sizeof(szAddr) - 1);
        printf("szAddr=%s\n", szAddr);
        if (callback != nullptr)
            callback(szAddr, nullptr, userData);
    }
    return true;
}

// ------------------------------------------------------ print-port channel

int CNetIO::NetworkConnect(const char* host, int port) {
    const int family = AddressFamily(host);
    if (family < 0)
        return -1;
    if (family == AF_INET6)
        return NetworkConnectV6(host, port);
    sockaddr_in to;
    if (!ParseV4(host, to, port))
        return -1;
    if (Open(AF_INET, SOCK_STREAM, IPPROTO_TCP) != 0)
        return -1;
    return Connect(reinterpret_cast<const sockaddr*>(&to), sizeof(to));
}

int CNetIO::NetworkConnectV6(const char* host, int port) {
    sockaddr_in6 to;
    if (!ParseV6(host, to, port, scope_id))
        return -1;
    if (Open(AF_INET6, SOCK_STREAM, IPPROTO_TCP) != 0)
        return -1;
    return Connect(reinterpret_cast<const sockaddr*>(&to), sizeof(to));
}

int CNetIO::NetworkWrite(int, const void* data, unsigned long length) {
    unsigned long count = 0;
    Write(data, length, &count);
    // The count is the only report; it cannot exceed what an int holds for
    // the block sizes callers use, but never let it wrap negative.
    return count > 0x7FFFFFFFul ? 0x7FFFFFFF : static_cast<int>(count);
}

void CNetIO::NetworkClose(int) {
    Close();
}

int CNetIO::NetworkConnectStart(const char* host, int port) {
    const int family = AddressFamily(host);
    if (family < 0)
        return -1;
    if (family == AF_INET6) {
        sockaddr_in6 to;
        if (!ParseV6(host, to, port, scope_id) || Open(AF_INET6, SOCK_STREAM, IPPROTO_TCP) != 0)
            return -1;
        return ConnectStart(reinterpret_cast<const sockaddr*>(&to), sizeof(to));
    }
    sockaddr_in to;
    if (!ParseV4(host, to, port) || Open(AF_INET, SOCK_STREAM, IPPROTO_TCP) != 0)
        return -1;
    return ConnectStart(reinterpret_cast<const sockaddr*>(&to), sizeof(to));
}
