// SNMP queries, discovery and the print-port channel of CNetIO.

#include "NetIO.h"

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
    if (from.ss_family != to->sa_family)
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

// A GetResponse to one of our requests: they all carry request-id 0.
bool AnswersOurRequest(const unsigned char* reply, int length) {
    long long requestId = -1;
    return CNetIO::ResponseRequestId(reply, length, &requestId) && requestId == 0;
}

// Waits until `deadline` for a reply from the asked address with our
// request-id; datagrams from anyone else, or that answer something else,
// are read and dropped. Returns the reply's length, or -1.
ssize_t AwaitReply(int s, const sockaddr* to, unsigned char* reply, size_t size,
                   Clock::time_point deadline) {
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
        if (FromAsked(from, to) && AnswersOurRequest(reply, static_cast<int>(n)))
            return n;
    }
    return -1;
}

bool GetText(int family, const sockaddr* to, socklen_t toLength, const char* community,
             const char* text, char* out, int size, bool printCount) {
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
    const ssize_t nRecv = AwaitReply(s, to, reply, sizeof(reply),
                                     Clock::now() + std::chrono::milliseconds(kQueryTimeoutMs));
    if (printCount)
        printf("NetSnmpGetV4 recvfrom nRecv = %d\n", static_cast<int>(nRecv));
    close(s);
    if (nRecv <= 0)
        return false;
    return CNetIO::parseForRecvBuf(reply, static_cast<int>(nRecv), out, size) == 1;
}

} // namespace

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

// The name and version queries differ only in the object asked for; both use
// the fixed community and pick the family by the form of the address.
int QueryText(CNetIO& net, const char* host, const char* oid, char* out, int size) {
    const int family = AddressFamily(host);
    if (family < 0)
        return -1;
    const bool ok = (family == AF_INET6) ? net.NetSnmpGetV6(host, kOrchid, oid, out, size)
                                         : net.NetSnmpGetV4(host, kOrchid, oid, out, size);
    return ok ? 0 : -1;
}

} // namespace

int CNetIO::OstrelNetworkGetFwVersion(const char* host, unsigned char, char* out, int size) {
    printf("OstrelNetworkGetFwVersion enter\n");
    return QueryText(*this, host, kFwVersionOid, out, size);
}

int CNetIO::OstrelNetworkGetPrinterName(const char* host, unsigned char, char* out, int size) {
    printf("OstrelNetworkGetPrinterName enter\n");
    return QueryText(*this, host, kNameOid, out, size);
}

namespace {

// The common part of both status queries once the destination is known.
int ExchangeDeviceId(int family, const sockaddr* to, socklen_t toLength, const char* community,
                     PRINTER_STATUS* status) {
    unsigned char request[kSnmpWorkSize];
    const int requestLength = CNetIO::BuildDeviceIdRequest(community, request, sizeof(request));
    if (requestLength <= 0)
        return 0;
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
    const ssize_t nRecv = AwaitReply(s, to, reply, sizeof(reply),
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

// The first binding's name of the walk in progress (points into the
// datagram).
const unsigned char* s_bindingName = nullptr;
int s_bindingNameLength = 0;

bool NoteFirstName(const unsigned char* name, int nameLength, unsigned char, const unsigned char*,
                   int) {
    if (s_bindingName == nullptr) {
        s_bindingName = name;
        s_bindingNameLength = nameLength;
    }
    return true;
}

enum QueryKind { kQueryName = 0, kQueryVersion = 1, kQueryStatus = 2, kQueryKinds = 3 };

struct PendingPrinter {
    PRINTER_QUERY* printer = nullptr;
    int fd = -1;
    sockaddr_storage to{};
    socklen_t toLength = 0;
    bool waiting[kQueryKinds] = {};

    bool Waiting() const { return waiting[0] || waiting[1] || waiting[2]; }
};

} // namespace

int CNetIO::QueryPrinters(const char* community, PRINTER_QUERY* printers, int count,
                          int deadlineMs) {
    if (printers == nullptr || count <= 0)
        return 0;
    unsigned char requests[kQueryKinds][kSnmpWorkSize];
    int lengths[kQueryKinds] = {};
    lengths[kQueryName] = BuildGetRequestFor(1, kNameOid, kOrchid, requests[kQueryName]);
    lengths[kQueryVersion] = BuildGetRequestFor(1, kFwVersionOid, kOrchid, requests[kQueryVersion]);
    lengths[kQueryStatus] =
        BuildDeviceIdRequest(community, requests[kQueryStatus], sizeof(requests[kQueryStatus]));
    // The objects asked for, as the replies name them.
    unsigned char names[kQueryKinds][kOidEncodingMax];
    int nameLengths[kQueryKinds] = {};
    nameLengths[kQueryName] = oidEncode(kNameOid, names[kQueryName]);
    nameLengths[kQueryVersion] = oidEncode(kFwVersionOid, names[kQueryVersion]);
    nameLengths[kQueryStatus] = oidEncode(kDeviceIdOid, names[kQueryStatus]);

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
        for (int k = 0; k < kQueryKinds; ++k) {
            p.waiting[k] =
                lengths[k] > 0 && sendto(p.fd, requests[k], static_cast<size_t>(lengths[k]), 0,
                                         reinterpret_cast<const sockaddr*>(&p.to), p.toLength) > 0;
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
            if (n <= 0 || !FromAsked(from, reinterpret_cast<const sockaddr*>(&p.to)) ||
                !AnswersOurRequest(reply, static_cast<int>(n)))
                continue;
            s_bindingName = nullptr;
            s_bindingNameLength = 0;
            if (parseGetResponse(reply, static_cast<int>(n), nullptr, nullptr, nullptr, nullptr,
                                 nullptr, NoteFirstName) != 1 ||
                s_bindingName == nullptr)
                continue;
            for (int k = 0; k < kQueryKinds; ++k) {
                if (!p.waiting[k] || s_bindingNameLength != nameLengths[k] ||
                    memcmp(s_bindingName, names[k], static_cast<size_t>(nameLengths[k])) != 0)
                    continue;
                if (k == kQueryName) {
                    p.printer->bNameRead =
                        parseForRecvBuf(reply, static_cast<int>(n), p.printer->szName,
                                        sizeof(p.printer->szName)) == 1;
                } else if (k == kQueryVersion) {
                    p.printer->bVersionRead =
                        parseForRecvBuf(reply, static_cast<int>(n), p.printer->szVersion,
                                        sizeof(p.printer->szVersion)) == 1;
                } else {
                    // The walk leaves the text in g_deviceid: read it under the same lock.
                    const std::lock_guard<std::recursive_mutex> walk(SnmpWalkLock());
                    p.printer->bStatusRead =
                        parseForDeviceId(reply, static_cast<int>(n), &p.printer->status) == 1;
                    if (p.printer->bStatusRead)
                        std::memcpy(p.printer->szDeviceId, g_deviceid, sizeof g_deviceid);
                }
                p.waiting[k] = false;
                break;
            }
        }
    }

    int answered = 0;
    for (PendingPrinter& p : pending) {
        if (p.fd >= 0)
            close(p.fd);
        const PRINTER_QUERY& q = *p.printer;
        if (q.bNameRead || q.bVersionRead || q.bStatusRead)
            ++answered;
        printf("QueryPrinters %s name=%d version=%d status=%d\n",
               q.address != nullptr ? q.address : "", q.bNameRead ? 1 : 0, q.bVersionRead ? 1 : 0,
               q.bStatusRead ? 1 : 0);
    }
    return answered;
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

// A well-formed reply to our discovery request: a GetResponse with our
// request-id that walks to its end. Whether it names the model is asked
// separately.
bool WellFormedReply(const unsigned char* reply, int length) {
    return AnswersOurRequest(reply, length) &&
           CNetIO::parseGetResponse(reply, length, nullptr, nullptr, nullptr, nullptr, nullptr,
                                    nullptr) == 1;
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
        const bool fromAgent =
            probe ? FromAsked(from, reinterpret_cast<const sockaddr*>(&to))
                  : (ntohs(source.sin_port) == g_nSnmpPort && OnLinkUnicast4(source.sin_addr));
        if (!fromAgent || !WellFormedReply(reply, static_cast<int>(nRecv)))
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
        const bool fromAgent = probe ? memcmp(&from.sin6_addr, &destination, sizeof(in6_addr)) == 0
                                     : Unicast6(from.sin6_addr);
        if (!fromAgent || ntohs(from.sin6_port) != g_nSnmpPort ||
            !WellFormedReply(reply, static_cast<int>(nRecv)))
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
