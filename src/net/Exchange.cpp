// What every SNMP exchange of CNetIO shares: address texts, the datagram
// socket, the clock, receiving one datagram and the check of a reply.

#include "net/Exchange.h"

#include <arpa/inet.h>
#include <cstdio>
#include <netdb.h>
#include <sys/time.h>

int g_nSnmpPort = kSnmpPort;

namespace netio {

const char kOrchid[] = "orchid";

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

int RoomForReplies(int s) {
    // Past the system's limit where we may (a privileged fleet tool), else
    // up to it.
    const int want = 4 << 20;
    if (setsockopt(s, SOL_SOCKET, SO_RCVBUFFORCE, &want, sizeof(want)) != 0)
        setsockopt(s, SOL_SOCKET, SO_RCVBUF, &want, sizeof(want));
    int granted = 0;
    socklen_t length = sizeof(granted);
    if (getsockopt(s, SOL_SOCKET, SO_RCVBUF, &granted, &length) != 0)
        return 0;
    return granted;
}

int RemainingMs(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left <= 0 ? 0 : static_cast<int>(left > 60000 ? 60000 : left);
}

AskedObject::AskedObject(const char* text) {
    const int length = CNetIO::oidEncode(text, name);
    object.name = name;
    object.nameLength = length > 0 ? length : 0;
}

bool ReceiveDatagram(int s, unsigned char* buffer, size_t size, Datagram* datagram) {
    iovec io{buffer, size};
    alignas(cmsghdr) unsigned char control[CMSG_SPACE(sizeof(in6_pktinfo))];
    msghdr message;
    memset(&message, 0, sizeof(message));
    message.msg_name = &datagram->from;
    message.msg_namelen = sizeof(datagram->from);
    message.msg_iov = &io;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof(control);
    const ssize_t n = recvmsg(s, &message, MSG_DONTWAIT);
    if (n <= 0)
        return false;
    datagram->bytes = buffer;
    datagram->length = static_cast<int>(n);
    if (datagram->from.ss_family == AF_INET6)
        datagram->arrivedOn = reinterpret_cast<const sockaddr_in6&>(datagram->from).sin6_scope_id;
    for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
        if (c->cmsg_level == IPPROTO_IPV6 && c->cmsg_type == IPV6_PKTINFO) {
            in6_pktinfo info;
            memcpy(&info, CMSG_DATA(c), sizeof(info));
            datagram->arrivedOn = info.ipi6_ifindex;
        }
    }
    return true;
}

} // namespace netio

namespace {

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

} // namespace

bool CNetIO::MatchReply(const sockaddr_storage& from, const sockaddr* to,
                        const unsigned char* datagram, int length, const SNMP_OBJECT* asked,
                        int askedCount, SNMP_REPLY* reply) {
    return FromAsked(from, to) && ReadReply(datagram, length, asked, askedCount, reply);
}
