// What discovery, the queries and the print port of CNetIO share: address
// texts, the datagram socket, the clock and the one receive loop of every
// SNMP exchange. Inside the network core only.
#pragma once

#include "net/NetIO.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

namespace netio {

using Clock = std::chrono::steady_clock;

extern const char kOrchid[];

// Only to learn the family of an address text. Numeric texts only: a host
// name could not be used afterwards anyway, and looking it up would send a
// resolver query. Returns AF_INET, AF_INET6, or -1 after the message.
int AddressFamily(const char* host);

bool ParseV4(const char* host, sockaddr_in& to, int port);
bool ParseV6(const char* host, sockaddr_in6& to, int port, int scope);

// A datagram socket with the settings every exchange uses: the broadcast
// flag as asked and a one-second receive time-out.
int OpenUdp(int family, bool broadcast);

// Room for a burst of replies on a socket that many agents answer at once
// (a broadcast, a fleet's queries), faster than they are read. Returns the
// room the kernel granted, in its own accounting (about twice the payload).
int RoomForReplies(int s);

// Milliseconds until `deadline`, 0 once it has passed (at most a minute).
int RemainingMs(Clock::time_point deadline);

// An object asked for, with room for its encoded name.
struct AskedObject {
    unsigned char name[kOidEncodingMax] = {};
    SNMP_OBJECT object;

    explicit AskedObject(const char* text);
};

// One datagram as the receive loop hands it on: its bytes lie in the
// loop's buffer and are valid during the call.
struct Datagram {
    const unsigned char* bytes = nullptr;
    int length = 0;
    sockaddr_storage from{};
    // The interface it came in on (IPV6_PKTINFO, else the sender's scope);
    // 0 when the socket does not tell.
    unsigned arrivedOn = 0;
};

// Reads one waiting datagram into `buffer`; false when there was none (or
// an empty one, which answers nothing).
bool ReceiveDatagram(int s, unsigned char* buffer, size_t size, Datagram* datagram);

// The receive loop of every exchange on one socket: waits at most `waitMs()`
// for each datagram and hands it to `take`, until a wait ends with none,
// `take` returns false, or kMaxDiscoveryReplies datagrams have been read
// (a peer that keeps sending cannot hold it).
template <class WaitMs, class Take>
void ReadDatagrams(int s, unsigned char* buffer, size_t size, WaitMs&& waitMs, Take&& take) {
    for (int datagrams = 0; datagrams < kMaxDiscoveryReplies; ++datagrams) {
        pollfd p{s, POLLIN, 0};
        const int ready = poll(&p, 1, waitMs());
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return;
        Datagram datagram;
        if (ReceiveDatagram(s, buffer, size, &datagram) &&
            !take(static_cast<const Datagram&>(datagram)))
            return;
    }
}

} // namespace netio
