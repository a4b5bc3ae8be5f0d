// SNMP queries, discovery and the print-port channel of CNetIO.

#include "NetIO.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

const char kNameOid[] = "1.3.6.1.2.1.1.5.0";
const char kFwVersionOid[] = "1.3.6.1.4.1.40917.886.300.369.8531.1.2.1.0";
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

ssize_t ReceiveFrom(int s, unsigned char* buffer, size_t size, sockaddr* from,
                    socklen_t* fromLength) {
    for (;;) {
        const ssize_t n = recvfrom(s, buffer, size, 0, from, fromLength);
        if (n >= 0 || errno != EINTR)
            return n;
    }
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

bool CNetIO::NetSnmpGetV4(const char* address, const char* community, const char* text, char* out,
                          int size) {
    const int s = OpenUdp(AF_INET, false);
    if (s < 0)
        return false;
    sockaddr_in to;
    unsigned char request[kSnmpWorkSize];
    const int requestLength = BuildGetRequestFor(1, text, community, request);
    if (!ParseV4(address, to, kSnmpPort) || requestLength <= 0 ||
        sendto(s, request, static_cast<size_t>(requestLength), 0,
               reinterpret_cast<const sockaddr*>(&to), sizeof(to)) < 0) {
        close(s);
        return false;
    }
    unsigned char reply[256];
    const ssize_t nRecv = ReceiveFrom(s, reply, sizeof(reply), nullptr, nullptr);
    printf("NetSnmpGetV4 recvfrom nRecv = %d\n", static_cast<int>(nRecv));
    if (nRecv <= 0) {
        close(s);
        return false;
    }
    const int walked = parseForRecvBuf(reply, static_cast<int>(nRecv), out, size);
    close(s);
    return walked == 1;
}

bool CNetIO::NetSnmpGetV6(const char* address, const char* community, const char* text, char* out,
                          int size) {
    const int s = OpenUdp(AF_INET6, false);
    if (s < 0)
        return false;
    sockaddr_in6 to;
    unsigned char request[kSnmpWorkSize];
    const int requestLength = BuildGetRequestFor(1, text, community, request);
    if (!ParseV6(address, to, kSnmpPort, scope_id) || requestLength <= 0) {
        close(s);
        return false;
    }
    printf("scope id=%d", scope_id);
    if (sendto(s, request, static_cast<size_t>(requestLength), 0,
               reinterpret_cast<const sockaddr*>(&to), sizeof(to)) < 0) {
        perror("getv6 nRet");
        close(s);
        return false;
    }
    unsigned char reply[256];
    const ssize_t nRecv = ReceiveFrom(s, reply, sizeof(reply), nullptr, nullptr);
    if (nRecv <= 0) {
        close(s);
        return false;
    }
    const int walked = parseForRecvBuf(reply, static_cast<int>(nRecv), out, size);
    close(s);
    return walked == 1;
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
    unsigned char reply[1024];
    const ssize_t nRecv = ReceiveFrom(s, reply, sizeof(reply), nullptr, nullptr);
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
    if (!ParseV4(host, to, kSnmpPort))
        return 0;
    return ExchangeDeviceId(AF_INET, reinterpret_cast<const sockaddr*>(&to), sizeof(to), community,
                            status);
}

int CNetIO::NetworkReadStatusV6(const char* community, const char* host, PRINTER_STATUS* status) {
    sockaddr_in6 to;
    if (!ParseV6(host, to, kSnmpPort, scope_id))
        return 0;
    return ExchangeDeviceId(AF_INET6, reinterpret_cast<const sockaddr*>(&to), sizeof(to), community,
                            status);
}

// -------------------------------------------------------------- discovery

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
    if (!ParseV4(address, to, kSnmpPort))
        return false;
    const int s = OpenUdp(AF_INET, broadcast);
    if (s < 0)
        return false;
    printf("ipv4=%s\n", address);
    if (sendto(s, request, static_cast<size_t>(requestLength), 0,
               reinterpret_cast<const sockaddr*>(&to), sizeof(to)) < 0) {
        close(s);
        return false;
    }
    for (int replies = 0; replies < kMaxDiscoveryReplies; ++replies) {
        unsigned char reply[256];
        sockaddr_in from;
        socklen_t fromLength = sizeof(from);
        memset(&from, 0, sizeof(from));
        const ssize_t nRecv =
            ReceiveFrom(s, reply, sizeof(reply), reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (nRecv <= 0)
            break;
        if (parseForOID(reply, static_cast<int>(nRecv), wanted, wantedLength) == 1 &&
            callback != nullptr) {
            char szAddr[16] = {};
            inet_ntop(AF_INET, &from.sin_addr, szAddr, sizeof(szAddr));
            printf("szAddr=%s\n", szAddr);
            callback(szAddr, nullptr, userData);
        }
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

    // A remembered interface is the only one tried; a destination that needs
    // no interface gets one pass; otherwise each usable interface in turn
    // until one answers.
    std::vector<unsigned> passes;
    const bool scoped = NeedsScope(destination);
    if (scope_id > 0)
        passes.push_back(static_cast<unsigned>(scope_id));
    else if (!scoped)
        passes.push_back(0);
    else
        passes = CandidateInterfaces(IN6_IS_ADDR_MULTICAST(&destination));

    int lastReceived = 0;
    for (const unsigned pass : passes) {
        printf("\nfound=%d \n", lastReceived);
        const int s = OpenUdp(AF_INET6, broadcast);
        if (s < 0) {
            perror("socket failed");
            return false;
        }
        sockaddr_in6 to;
        memset(&to, 0, sizeof(to));
        to.sin6_family = AF_INET6;
        to.sin6_port = htons(kSnmpPort);
        to.sin6_addr = destination;
        if (scope_id > 0) {
            printf("[if] scope_id=%d", scope_id);
            to.sin6_scope_id = static_cast<uint32_t>(scope_id);
        } else {
            to.sin6_scope_id = pass;
        }
        if (sendto(s, request, static_cast<size_t>(requestLength), 0,
                   reinterpret_cast<const sockaddr*>(&to), sizeof(to)) < 0) {
            perror("snedto failed");
            close(s);
            printf(" index = %d", static_cast<int>(pass));
            continue;
        }
        bool anyReply = false;
        for (int replies = 0; replies < kMaxDiscoveryReplies; ++replies) {
            unsigned char reply[256];
            sockaddr_in6 from;
            socklen_t fromLength = sizeof(from);
            memset(&from, 0, sizeof(from));
            const ssize_t nRecv = ReceiveFrom(s, reply, sizeof(reply),
                                              reinterpret_cast<sockaddr*>(&from), &fromLength);
            printf(" nRecv = %d", static_cast<int>(nRecv));
            if (nRecv <= 0) {
                perror("nRecv failed");
                break;
            }
            anyReply = true;
            if (scope_id <= 0 && scoped && pass > 0)
                scope_id = static_cast<int>(pass);
            printf("[find] scope id=%d", scope_id);
            lastReceived = static_cast<int>(nRecv);
            if (parseForOID(reply, static_cast<int>(nRecv), wanted, wantedLength) == 1 &&
                callback != nullptr) {
                char szAddr[256] = {};
                inet_ntop(AF_INET6, &from.sin6_addr, szAddr, sizeof(szAddr) - 1);
                printf("szAddr=%s\n", szAddr);
                callback(szAddr, nullptr, userData);
            }
        }
        close(s);
        if (anyReply)
            break;
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
