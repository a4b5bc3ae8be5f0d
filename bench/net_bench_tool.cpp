// Measuring helper for bench/net_bench.sh; runs inside its private network.
//   net_bench_tool write FILE HOST PORT        read and send FILE in 4096-byte blocks
//   net_bench_tool write-whole FILE HOST PORT  read FILE whole, then send it
//   net_bench_tool discover4 OID           broadcast discovery
//   net_bench_tool discover6 OID           all-nodes multicast discovery
// Prints one line of figures; the core's diagnostic lines are discarded.
#include "net/NetIO.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

using Clock = std::chrono::steady_clock;

namespace {

Clock::time_point g_start;
std::vector<double> g_replies;

double Since(Clock::time_point t) {
    return std::chrono::duration<double>(Clock::now() - t).count();
}

bool Found(char*, char*, void*) {
    g_replies.push_back(Since(g_start));
    return true;
}

} // namespace

int main(int argc, char** argv) {
    const int out = dup(1);
    if (freopen("/dev/null", "w", stdout) == nullptr ||
        freopen("/dev/null", "w", stderr) == nullptr)
        return 2;
    if (argc >= 5 && strcmp(argv[1], "write-whole") == 0) {
        // The file read whole first, then sent from memory in 4096-byte
        // blocks: the cold 256 MiB source costs more than the socket does.
        const auto start = Clock::now();
        const int fd = open(argv[2], O_RDONLY | O_CLOEXEC);
        const off_t size = fd < 0 ? -1 : lseek(fd, 0, SEEK_END);
        if (size < 0 || lseek(fd, 0, SEEK_SET) != 0)
            return 2;
        std::vector<unsigned char> data(static_cast<size_t>(size));
        size_t have = 0;
        while (have < data.size()) {
            const ssize_t n = read(fd, data.data() + have, data.size() - have);
            if (n <= 0)
                return 2;
            have += static_cast<size_t>(n);
        }
        close(fd);
        CNetIO net;
        const int rc = net.NetworkConnect(argv[3], atoi(argv[4]));
        if (rc != 0)
            return 1;
        size_t sent = 0;
        for (size_t off = 0; off < data.size(); off += 4096) {
            const unsigned long block = std::min<size_t>(4096, data.size() - off);
            const int n = net.NetworkWrite(rc, data.data() + off, block);
            sent += static_cast<size_t>(n);
            if (static_cast<unsigned long>(n) < block)
                break;
        }
        net.NetworkClose(rc);
        dprintf(out, "%.6f %zu\n", Since(start), sent);
        return sent == data.size() ? 0 : 1;
    }
    if (argc >= 5 && strcmp(argv[1], "write") == 0) {
        // Read and send block by block, the way socat does, so that the two
        // differ only in how they write to the socket.
        const auto start = Clock::now();
        const int fd = open(argv[2], O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return 2;
        CNetIO net;
        const int rc = net.NetworkConnect(argv[3], atoi(argv[4]));
        if (rc != 0) {
            dprintf(out, "connect failed: %d\n", rc);
            return 1;
        }
        unsigned char block[4096];
        size_t sent = 0;
        bool complete = true;
        for (;;) {
            const ssize_t n = read(fd, block, sizeof(block));
            if (n <= 0) {
                complete = n == 0;
                break;
            }
            const int w = net.NetworkWrite(rc, block, static_cast<unsigned long>(n));
            sent += static_cast<size_t>(w);
            if (w < n) {
                complete = false;
                break;
            }
        }
        net.NetworkClose(rc);
        close(fd);
        dprintf(out, "%.6f %zu\n", Since(start), sent);
        return complete ? 0 : 1;
    }
    if (argc >= 3 && (strcmp(argv[1], "discover4") == 0 || strcmp(argv[1], "discover6") == 0)) {
        const bool v6 = argv[1][8] == '6';
        CNetIO net;
        g_start = Clock::now();
        const bool ok =
            v6 ? net.FindSnmpAgentV6("orchid", "ff02::1", argv[2], Found, nullptr, true)
               : net.FindSnmpAgent("orchid", "255.255.255.255", argv[2], Found, nullptr, true);
        const double total = Since(g_start);
        dprintf(out, "%.3f %zu %.3f %d\n", total, g_replies.size(),
                g_replies.empty() ? 0.0 : g_replies.back(), net.ScopeId());
        return ok ? 0 : 1;
    }
    dprintf(out, "usage: %s write FILE HOST PORT | discover4 OID | discover6 OID\n", argv[0]);
    return 2;
}
