// Printer discovery of CNetIO: one pass by broadcast, multicast or unicast,
// with one receive loop for both families.

#include "net/Exchange.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cstdio>
#include <ifaddrs.h>
#include <net/if.h>
#include <sys/ioctl.h>
#include <unistd.h>
#include <vector>

using namespace netio;

namespace {

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

// Our IPv4 subnets, read once per pass: a burst of a thousand replies must
// not ask the kernel for the interface list a thousand times.
struct Subnets4 {
    struct Subnet {
        uint32_t address;
        uint32_t mask;
    };
    std::vector<Subnet> list;

    void Load() {
        ifaddrs* all = nullptr;
        if (getifaddrs(&all) != 0)
            return;
        for (ifaddrs* i = all; i != nullptr; i = i->ifa_next) {
            if (i->ifa_addr == nullptr || i->ifa_netmask == nullptr ||
                i->ifa_addr->sa_family != AF_INET)
                continue;
            list.push_back(
                {ntohl(reinterpret_cast<const sockaddr_in*>(i->ifa_addr)->sin_addr.s_addr),
                 ntohl(reinterpret_cast<const sockaddr_in*>(i->ifa_netmask)->sin_addr.s_addr)});
        }
        freeifaddrs(all);
    }
    // Whether a source could have heard a broadcast on one of our links: a
    // unicast address inside one of the subnets, not the subnet's own
    // broadcast address either.
    bool OnLinkUnicast(in_addr source) const {
        const uint32_t a = ntohl(source.s_addr);
        if (a == 0 || a == 0xFFFFFFFFu || (a >> 28) == 0xE)
            return false;
        return std::any_of(list.begin(), list.end(), [a](const Subnet& n) {
            return (a & n.mask) == (n.address & n.mask) &&
                   (n.mask == 0xFFFFFFFFu || (a | n.mask) != 0xFFFFFFFFu);
        });
    }
};

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

// Whether a sender could be an agent that heard our broadcast or multicast:
// port 161 of a unicast address (on IPv4, inside one of our subnets).
bool CouldHaveHeard(const sockaddr_storage& from, const Subnets4& subnets) {
    if (from.ss_family == AF_INET) {
        const auto& a = reinterpret_cast<const sockaddr_in&>(from);
        return ntohs(a.sin_port) == g_nSnmpPort && subnets.OnLinkUnicast(a.sin_addr);
    }
    if (from.ss_family == AF_INET6) {
        const auto& a = reinterpret_cast<const sockaddr_in6&>(from);
        return ntohs(a.sin6_port) == g_nSnmpPort && Unicast6(a.sin6_addr);
    }
    return false;
}

// The request of a pass and the encoding of the model it looks for; false
// when either cannot be made (or the model's is longer than any model's).
struct DiscoveryRequest {
    unsigned char bytes[kSnmpWorkSize];
    int length = 0;
    unsigned char wanted[kOidEncodingMax];
    int wantedLength = 0;

    bool Prepare(const char* community, const char* text) {
        length = CNetIO::BuildDiscoveryRequest(community, bytes, sizeof(bytes));
        wantedLength = CNetIO::oidEncode(text, wanted);
        return length > 0 && wantedLength > 0 && wantedLength <= kModelOidEncodingMax;
    }
};

// The socket of a pass: room for the burst of replies, and on IPv6 the
// interface each reply came in on, whatever its source address.
int OpenPassSocket(int family, bool broadcast) {
    const int s = OpenUdp(family, broadcast);
    if (s < 0)
        return -1;
    RoomForReplies(s);
    if (family == AF_INET6) {
        const int on = 1;
        setsockopt(s, IPPROTO_IPV6, IPV6_RECVPKTINFO, &on, sizeof(on));
    }
    return s;
}

// An agent of the model as a pass found it: its address, and the interface
// its answer came in on (0 where the socket does not tell, as on IPv4).
struct Found {
    unsigned index = 0;
    sockaddr_storage address{};

    bool SameAs(const Datagram& d) const {
        if (d.from.ss_family != address.ss_family)
            return false;
        if (address.ss_family == AF_INET)
            return reinterpret_cast<const sockaddr_in&>(address).sin_addr.s_addr ==
                   reinterpret_cast<const sockaddr_in&>(d.from).sin_addr.s_addr;
        return index == d.arrivedOn &&
               memcmp(&reinterpret_cast<const sockaddr_in6&>(address).sin6_addr,
                      &reinterpret_cast<const sockaddr_in6&>(d.from).sin6_addr,
                      sizeof(in6_addr)) == 0;
    }
};

// Hands one found agent to the caller's callback as numeric text (no zone).
void HandOn(const Found& f, FIND_AGENT_CALLBACK callback, void* userData) {
    if (callback == nullptr)
        return;
    char szAddr[256] = {};
    if (f.address.ss_family == AF_INET)
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in&>(f.address).sin_addr, szAddr,
                  sizeof(szAddr) - 1);
    else
        inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6&>(f.address).sin6_addr, szAddr,
                  sizeof(szAddr) - 1);
    printf("szAddr=%s\n", szAddr);
    callback(szAddr, nullptr, userData);
}

// How a pass listens once its requests are out.
struct Pass {
    int family;
    int socket;
    // One unicast exchange: only the asked address may answer, and the pass
    // ends once its answer is known.
    bool probe;
    const sockaddr* askedAt; // where a probe's answer must come from
    int sent;                // requests that went out (one per interface)
    const DiscoveryRequest& request;
};

// The receive loop of every discovery pass, both families. A datagram
// counts as a reply, and extends the quiet period, when it is a GetResponse
// of ours that walks to its end from a sender who could have been asked;
// anything else is read and dropped. Each agent naming the model is found
// once per (interface, address) and handed to `onFound` as it is found.
template <class OnFound>
std::vector<Found> Listen(const Pass& pass, PassClock& clock, OnFound&& onFound) {
    std::vector<Found> found;
    std::vector<unsigned> answeredOn;
    Subnets4 subnets;
    if (pass.family == AF_INET && !pass.probe)
        subnets.Load();
    SNMP_WALK walk;
    unsigned char reply[kSnmpReceiveSize];
    ReadDatagrams(
        pass.socket, reply, sizeof(reply), [&] { return clock.WaitMs(); },
        [&](const Datagram& d) {
            if (pass.family == AF_INET6)
                printf(" nRecv = %d", d.length);
            if (d.from.ss_family != pass.family)
                return true;
            const SNMP_OBJECT& asked = kSysObjectIdObject;
            const bool answer = pass.probe
                                    ? CNetIO::MatchReply(d.from, pass.askedAt, d.bytes, d.length,
                                                         &asked, 1, nullptr)
                                    : CouldHaveHeard(d.from, subnets) &&
                                          CNetIO::ReadReply(d.bytes, d.length, &asked, 1, nullptr);
            if (!answer)
                return true;
            clock.Replied();
            const bool model = CNetIO::parseForOID(walk, d.bytes, d.length, pass.request.wanted,
                                                   pass.request.wantedLength) == 1;
            if (model && std::none_of(found.begin(), found.end(),
                                      [&](const Found& f) { return f.SameAs(d); })) {
                found.push_back(Found{d.arrivedOn, d.from});
                onFound(static_cast<const Found&>(found.back()));
            }
            if (!pass.probe)
                return true;
            if (std::find(answeredOn.begin(), answeredOn.end(), d.arrivedOn) == answeredOn.end())
                answeredOn.push_back(d.arrivedOn);
            // The model answered, or every interface asked has answered as
            // something else.
            return !model && static_cast<int>(answeredOn.size()) < pass.sent;
        });
    return found;
}

} // namespace

bool CNetIO::FindSnmpAgent(const char* community, const char* address, const char* text,
                           FIND_AGENT_CALLBACK callback, void* userData, bool broadcast) {
    const int family = AddressFamily(address);
    if (family < 0)
        return false;
    if (family == AF_INET6)
        return FindSnmpAgentV6(community, address, text, callback, userData, broadcast);

    DiscoveryRequest request;
    if (!request.Prepare(community, text))
        return false;
    sockaddr_in to;
    if (!ParseV4(address, to, g_nSnmpPort))
        return false;
    const int s = OpenPassSocket(AF_INET, broadcast);
    if (s < 0)
        return false;
    printf("ipv4=%s\n", address);
    if (sendto(s, request.bytes, static_cast<size_t>(request.length), 0,
               reinterpret_cast<const sockaddr*>(&to), sizeof(to)) < 0) {
        close(s);
        return false;
    }
    // Without broadcast only the asked address can answer, and its answer
    // ends the wait; a broadcast is answered by whoever is on our links.
    PassClock clock(m_nPassLimitMs);
    const Pass pass{AF_INET, s, !broadcast, reinterpret_cast<const sockaddr*>(&to), 1, request};
    Listen(pass, clock, [&](const Found& f) { HandOn(f, callback, userData); });
    close(s);
    return true;
}

bool CNetIO::FindSnmpAgentV6(const char* community, const char* address, const char* text,
                             FIND_AGENT_CALLBACK callback, void* userData, bool broadcast) {
    DiscoveryRequest request;
    if (!request.Prepare(community, text))
        return false;
    in6_addr destination;
    if (address == nullptr || inet_pton(AF_INET6, address, &destination) != 1)
        return false;
    printf("ipv6=%s\n", address);

    // A remembered interface is the only one asked; a destination that needs
    // no interface is asked once; otherwise every usable interface at once.
    std::vector<unsigned> interfaces;
    const bool scoped = NeedsScope(destination);
    const bool remembered = m_nScopeId > 0;
    if (remembered)
        interfaces.push_back(static_cast<unsigned>(m_nScopeId));
    else if (!scoped)
        interfaces.push_back(0);
    else
        interfaces = CandidateInterfaces(IN6_IS_ADDR_MULTICAST(&destination));

    printf("\nfound=%d \n", 0);
    const int s = OpenPassSocket(AF_INET6, broadcast);
    if (s < 0) {
        perror("socket failed");
        return false;
    }
    // Where a probe's answer must come from, on whichever interface.
    sockaddr_in6 askedAt;
    memset(&askedAt, 0, sizeof(askedAt));
    askedAt.sin6_family = AF_INET6;
    askedAt.sin6_port = htons(static_cast<uint16_t>(g_nSnmpPort));
    askedAt.sin6_addr = destination;
    int sent = 0;
    for (const unsigned index : interfaces) {
        sockaddr_in6 to = askedAt;
        if (remembered)
            printf("[if] scope_id=%d", m_nScopeId);
        to.sin6_scope_id = index;
        if (sendto(s, request.bytes, static_cast<size_t>(request.length), 0,
                   reinterpret_cast<const sockaddr*>(&to), sizeof(to)) < 0) {
            perror("snedto failed");
            printf(" index = %d", static_cast<int>(index));
            continue;
        }
        ++sent;
    }
    PassClock clock(sent > 0 ? m_nPassLimitMs : 0);
    const Pass pass{AF_INET6,
                    s,
                    !broadcast && !IN6_IS_ADDR_MULTICAST(&destination),
                    reinterpret_cast<const sockaddr*>(&askedAt),
                    sent,
                    request};
    const std::vector<Found> found = Listen(pass, clock, [](const Found&) {});
    close(s);

    // The printers listed are those of the lowest interface where the model
    // answered, and that interface becomes this object's for every later
    // exchange.
    if (found.empty())
        return true;
    unsigned chosen = found.front().index;
    for (const Found& f : found)
        chosen = std::min(chosen, f.index);
    if (!remembered && scoped && chosen > 0)
        m_nScopeId = static_cast<int>(chosen);
    printf("[find] scope id=%d", m_nScopeId);
    for (const Found& f : found)
        if (!scoped || remembered || f.index == chosen)
            HandOn(f, callback, userData);
    return true;
}
