// A scripted SNMP agent on the loopback (127.0.0.1 or ::1, an unprivileged
// port) for the queries, the probes and the sweep: no root, no namespace,
// nothing leaves the machine, nothing is broadcast. While it lives, the
// network core asks its port (g_nSnmpPort): make it before the threads that
// ask start, and end it after they ended.
#pragma once

#include "Ber.h"
#include "net/NetIO.h"

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

// Where an answer is sent from: the agent's own socket, another port of its
// address, or the agent's port on another address (127.0.0.2; IPv4 only).
enum class From { Agent, OtherPort, OtherAddress };

struct Answer {
    Bytes datagram;
    From from = From::Agent;
};
using Script = std::function<std::vector<Answer>(const Bytes& request)>;

// The BER content of a request's community (empty when it is no message).
inline std::string RequestCommunity(const Bytes& request) {
    // 30 len 02 01 00 04 len community...; short lengths in every request we send.
    if (request.size() < 7 || request[0] != 0x30 || request[2] != 0x02 || request[5] != 0x04)
        return {};
    const size_t n = request[6];
    if (n >= 0x80 || 7 + n > request.size())
        return {};
    return std::string(request.begin() + 7, request.begin() + 7 + static_cast<long>(n));
}

inline bool Holds(const Bytes& request, const Bytes& name) {
    const Bytes tagged = Tlv(0x06, name);
    return std::search(request.begin(), request.end(), tagged.begin(), tagged.end()) !=
           request.end();
}

// 1.3.6.1.2.1.1.1.0, an object none of our requests asks for.
inline const Bytes kSysDescrName{0x2B, 0x06, 0x01, 0x02, 0x01, 0x01, 0x01, 0x00};

// Answers to `request` that are right in every way but one: another
// request-id (one byte, all ones, the largest, one whose low byte is ours),
// another port, another address, another object. The right one would carry
// `object` with the value.
inline std::vector<Answer> Forgeries(const Bytes& request, const Bytes& object, unsigned char tag,
                                     const Bytes& value) {
    const std::string community = RequestCommunity(request);
    const Bytes binding = Binding(object, tag, value);
    std::vector<Answer> out;
    for (const Bytes& id :
         std::vector<Bytes>{{0x01}, {0xFF}, {0x7F, 0xFF, 0xFF, 0xFF}, {0x01, 0x00}})
        out.push_back({ResponseWithIdBytes({binding}, id, 0xA2, 0, community)});
    const Bytes right = Response({binding}, 0xA2, 0, community);
    out.push_back({right, From::OtherPort});
    out.push_back({right, From::OtherAddress}); // not sent over IPv6
    out.push_back({Response({Binding(kSysDescrName, tag, value)}, 0xA2, 0, community)});
    return out;
}

// The model of the test printers (loopback agents and the private network's
// snmpd), as text and as its encoded value.
inline const char kPrinterModel[] = "1.3.6.1.4.1.40917.886.300.369.8531.2.7";
inline const Bytes kPrinterModelValue{0x2B, 0x06, 0x01, 0x04, 0x01, 0x82, 0xBF, 0x55, 0x86,
                                      0x76, 0x82, 0x2C, 0x82, 0x71, 0xC2, 0x53, 0x02, 0x07};

// What a printer holds; an empty value is an object it does not answer for.
struct Holdings {
    Bytes model, name, version, deviceId;
};

// The object a request asks for among the four, with its type and the value
// `h` holds for it (empty when it is none of them).
struct Said {
    Bytes object;
    unsigned char tag = 0;
    Bytes value;
};

inline Said Asked(const Bytes& request, const Holdings& h) {
    for (const Said& s :
         {Said{kSysObjectIdName, 0x06, h.model}, Said{kSysNameName, 0x04, h.name},
          Said{kVersionName, 0x04, h.version}, Said{kDeviceIdName, 0x04, h.deviceId}})
        if (Holds(request, s.object))
            return s;
    return {};
}

// An agent that answers under the community it was asked with what `holds`
// gives for that community.
inline Script Agent(std::function<Holdings(const std::string& community)> holds) {
    return [holds](const Bytes& request) -> std::vector<Answer> {
        const std::string community = RequestCommunity(request);
        const Said s = Asked(request, holds(community));
        if (s.value.empty())
            return {};
        return {{Response({Binding(s.object, s.tag, s.value)}, 0xA2, 0, community)}};
    };
}

inline int FamilyOf(const char* host) {
    return strchr(host, ':') ? AF_INET6 : AF_INET;
}

// Seconds since `start`.
inline double Since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// A socket of `type` bound to the loopback of `family` (127.0.0.1 +
// `offset` on IPv4) at `port` (0: a free one), which it reports; -1 when
// that fails.
inline int BindLoopback(int family, int type, int port, int* bound = nullptr, int offset = 0) {
    sockaddr_storage a{};
    auto* a4 = reinterpret_cast<sockaddr_in*>(&a);
    auto* a6 = reinterpret_cast<sockaddr_in6*>(&a);
    a.ss_family = static_cast<sa_family_t>(family);
    a4->sin_addr.s_addr = htonl(INADDR_LOOPBACK + static_cast<uint32_t>(offset));
    if (family == AF_INET6)
        a6->sin6_addr = in6addr_loopback;
    (family == AF_INET ? a4->sin_port : a6->sin6_port) = htons(static_cast<uint16_t>(port));
    socklen_t length = family == AF_INET ? sizeof(*a4) : sizeof(*a6);
    const int fd = socket(family, type | SOCK_CLOEXEC, 0);
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&a), length) != 0) {
        if (fd >= 0)
            close(fd);
        return -1;
    }
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
    if (bound != nullptr)
        *bound = ntohs(family == AF_INET ? a4->sin_port : a6->sin6_port);
    return fd;
}

class Responder {
public:
    // `port` 0 takes a free one; the same port on both families answers
    // 127.0.0.1 and ::1 at once.
    Responder(int family, Script script, int port = 0)
        : m_family(family), m_script(std::move(script)) {
        m_fd = BindLoopback(family, SOCK_DGRAM, port, &m_port);
        m_otherPort = BindLoopback(family, SOCK_DGRAM, 0);
        if (family == AF_INET)
            m_otherAddress = BindLoopback(family, SOCK_DGRAM, m_port, nullptr, 1);
        m_saved = g_nSnmpPort;
        g_nSnmpPort = m_port;
        m_thread = std::thread([this] { Serve(); });
    }
    ~Responder() {
        m_stop = true;
        m_thread.join();
        for (const int fd : {m_fd, m_otherPort, m_otherAddress})
            if (fd >= 0)
                close(fd);
        g_nSnmpPort = m_saved;
    }
    Responder(const Responder&) = delete;
    Responder& operator=(const Responder&) = delete;

    bool Ok() const {
        return m_fd >= 0 && m_otherPort >= 0 && (m_family != AF_INET || m_otherAddress >= 0);
    }
    int Requests() const { return m_requests; }
    int Port() const { return m_port; }
    // Every request received so far, in order.
    std::vector<Bytes> Received() const {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return m_received;
    }

private:
    int Socket(From from) const {
        return from == From::OtherPort      ? m_otherPort
               : from == From::OtherAddress ? m_otherAddress
                                            : m_fd;
    }
    void Serve() {
        using namespace std::chrono_literals;
        const auto deadline = std::chrono::steady_clock::now() + 30s;
        while (!m_stop && std::chrono::steady_clock::now() < deadline) {
            pollfd p{m_fd, POLLIN, 0};
            if (poll(&p, 1, 20) != 1)
                continue;
            unsigned char buf[4096];
            sockaddr_storage from{};
            socklen_t len = sizeof(from);
            const ssize_t n =
                recvfrom(m_fd, buf, sizeof(buf), 0, reinterpret_cast<sockaddr*>(&from), &len);
            if (n <= 0)
                continue;
            const Bytes request(buf, buf + n);
            {
                const std::lock_guard<std::mutex> lock(m_mutex);
                m_received.push_back(request);
            }
            ++m_requests;
            for (const Answer& a : m_script(request)) {
                const int fd = Socket(a.from);
                if (fd >= 0)
                    sendto(fd, a.datagram.data(), a.datagram.size(), 0,
                           reinterpret_cast<sockaddr*>(&from), len);
            }
        }
    }

    int m_family;
    Script m_script;
    int m_fd = -1;
    int m_otherPort = -1;
    int m_otherAddress = -1;
    int m_port = 0;
    int m_saved = 0;
    std::atomic<int> m_requests{0};
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;
    std::vector<Bytes> m_received;
    std::thread m_thread;
};
