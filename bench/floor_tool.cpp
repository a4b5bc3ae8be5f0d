// The floor a Refresh or a list is measured against, for bench/refresh.sh;
// runs inside its private network.
//   floor_bench [COMMUNITY]
// Sends the bare discovery request once by IPv4 broadcast and once by IPv6
// multicast through every interface, reads whatever comes back on both
// sockets until one second has passed without a datagram, and exits. It
// checks nothing and asks nothing more: what no program that asks both
// families and waits one quiet second can beat. Prints the datagrams read.
#include "net/Exchange.h"
#include "net/NetIO.h"

#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

int main(int argc, char** argv) {
    unsigned char request[kSnmpWorkSize];
    const int length =
        CNetIO::BuildDiscoveryRequest(argc > 1 ? argv[1] : "orchid", request, sizeof(request));
    const int s4 = socket(AF_INET, SOCK_DGRAM, 0), s6 = socket(AF_INET6, SOCK_DGRAM, 0);
    if (length <= 0 || s4 < 0 || s6 < 0)
        return 2;
    // The same room for the burst as the programs measured against it.
    const int on = 1;
    for (const int s : {s4, s6})
        netio::RoomForReplies(s);
    setsockopt(s4, SOL_SOCKET, SO_BROADCAST, &on, sizeof(on));
    sockaddr_in to4{};
    to4.sin_family = AF_INET;
    to4.sin_port = htons(kSnmpPort);
    to4.sin_addr.s_addr = htonl(INADDR_BROADCAST);
    sendto(s4, request, size_t(length), 0, reinterpret_cast<sockaddr*>(&to4), sizeof(to4));
    sockaddr_in6 to6{};
    to6.sin6_family = AF_INET6;
    to6.sin6_port = htons(kSnmpPort);
    inet_pton(AF_INET6, "ff02::1", &to6.sin6_addr);
    if (struct if_nameindex* names = if_nameindex()) {
        for (struct if_nameindex* n = names; n->if_index != 0; ++n) {
            to6.sin6_scope_id = n->if_index;
            sendto(s6, request, size_t(length), 0, reinterpret_cast<sockaddr*>(&to6), sizeof(to6));
        }
        if_freenameindex(names);
    }
    long datagrams = 0;
    unsigned char reply[kSnmpReceiveSize];
    for (;;) {
        pollfd p[2] = {{s4, POLLIN, 0}, {s6, POLLIN, 0}};
        if (poll(p, 2, kDiscoveryQuietMs) <= 0)
            break;
        for (const pollfd& f : p)
            while ((f.revents & POLLIN) != 0 && recv(f.fd, reply, sizeof(reply), MSG_DONTWAIT) > 0)
                ++datagrams;
    }
    std::printf("%ld\n", datagrams);
    close(s4);
    close(s6);
    return 0;
}
