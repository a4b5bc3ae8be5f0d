// The SNMP queries of CNetIO: name, firmware version and device ID of one
// printer or of many at once.

#include "net/Exchange.h"

#include "status/DisplayText.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <unistd.h>
#include <unordered_map>
#include <vector>

using namespace netio;

namespace {

const char kNameOid[] = "1.3.6.1.2.1.1.5.0";
const char kFwVersionOid[] = "1.3.6.1.4.1.40917.886.300.369.8531.1.2.1.0";
const char kDeviceIdOid[] = "1.3.6.1.4.1.40917.886.300.369.8531.1.1.0";

void DumpHex(const unsigned char* data, int length) {
    for (int i = 1; i <= length; ++i)
        printf((i % 8 == 0) ? "%02x\n" : "%02x ", data[i - 1]);
    printf("\n");
}

// Waits until `deadline` for the answer to the request sent to `to` asking
// for `asked`; every other datagram is read and dropped. Returns the
// answer's length, or -1.
int AwaitReply(int s, const sockaddr* to, const SNMP_OBJECT& asked, unsigned char* reply,
               size_t size, Clock::time_point deadline) {
    int length = -1;
    ReadDatagrams(
        s, reply, size, [&] { return RemainingMs(deadline); },
        [&](const Datagram& d) {
            if (!CNetIO::MatchReply(d.from, to, d.bytes, d.length, &asked, 1, nullptr))
                return true;
            length = d.length;
            return false;
        });
    return length;
}

bool GetText(int family, const sockaddr* to, socklen_t toLength, const char* community,
             const char* text, char* out, int size, bool printCount, int scopeId) {
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
        printf("scope id=%d", scopeId);
    if (sendto(s, request, static_cast<size_t>(requestLength), 0, to, toLength) < 0) {
        if (family == AF_INET6)
            perror("getv6 nRet");
        close(s);
        return false;
    }
    unsigned char reply[kSnmpReceiveSize];
    const int nRecv = AwaitReply(s, to, asked.object, reply, sizeof(reply),
                                 Clock::now() + std::chrono::milliseconds(kQueryTimeoutMs));
    if (printCount)
        printf("NetSnmpGetV4 recvfrom nRecv = %d\n", nRecv);
    close(s);
    if (nRecv <= 0)
        return false;
    SNMP_WALK walk;
    return CNetIO::parseForRecvBuf(walk, reply, nRecv, out, size) == 1;
}

} // namespace

bool CNetIO::NetSnmpGetV4(const char* address, const char* community, const char* text, char* out,
                          int size) {
    sockaddr_in to;
    if (!ParseV4(address, to, g_nSnmpPort))
        return false;
    return GetText(AF_INET, reinterpret_cast<const sockaddr*>(&to), sizeof(to), community, text,
                   out, size, true, m_nScopeId);
}

bool CNetIO::NetSnmpGetV6(const char* address, const char* community, const char* text, char* out,
                          int size) {
    sockaddr_in6 to;
    if (!ParseV6(address, to, g_nSnmpPort, m_nScopeId))
        return false;
    return GetText(AF_INET6, reinterpret_cast<const sockaddr*>(&to), sizeof(to), community, text,
                   out, size, false, m_nScopeId);
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
    const int nRecv = AwaitReply(s, to, asked.object, reply, sizeof(reply),
                                 Clock::now() + std::chrono::milliseconds(kQueryTimeoutMs));
    printf("recvfrom nRecv = %d\n", nRecv);
    if (nRecv > 0) {
        printf("NetworkReadStatus response=\n");
        DumpHex(reply, nRecv);
        SNMP_WALK walk;
        CNetIO::parseForDeviceId(walk, reply, nRecv, status);
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
    if (!ParseV6(host, to, g_nSnmpPort, m_nScopeId))
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
    int family = 0;  // 0: no usable address, never asked
    int sameAs = -1; // an earlier entry of the same address: asked once, for both
    sockaddr_storage to{};
    socklen_t toLength = 0;
    AskedText texts[2]; // name, version
    bool statusWaiting = false;
    Clock::time_point sentAt{};

    bool Waiting() const { return texts[0].Waiting() || texts[1].Waiting() || statusWaiting; }
};

// One request of the burst each printer gets.
struct Request {
    int kind;
    int slot;
    unsigned char bytes[kSnmpWorkSize];
    int length;
};

// A sender's address as the printers are looked up by.
std::string AddressKey(const sockaddr_storage& a) {
    if (a.ss_family == AF_INET) {
        const auto& v4 = reinterpret_cast<const sockaddr_in&>(a).sin_addr;
        return std::string(reinterpret_cast<const char*>(&v4), sizeof(v4));
    }
    if (a.ss_family == AF_INET6) {
        const auto& v6 = reinterpret_cast<const sockaddr_in6&>(a).sin6_addr;
        return std::string(reinterpret_cast<const char*>(&v6), sizeof(v6));
    }
    return std::string();
}

// Pacing: printers whose requests are out and whose replies may still come
// at any moment are at most as many as the socket's room holds replies
// for, so that a fleet answering at once overflows nothing, and never more
// than kMaxInFlight: agents that share a buffer (one host answering for
// many addresses, a busy switch) must not be flooded either. A printer that
// has not answered within kSettleMs stops counting (a silent printer must
// not hold the others back); its replies are still taken until its own
// time is up.
constexpr int kSettleMs = 50;
constexpr int kRoomPerReply = 2304; // kernel accounting of one reply of up to 1,500 bytes
constexpr int kMinInFlight = 4;
constexpr int kMaxInFlight = 64;

// The engine of QueryPrinters and of the single name and version queries:
// every printer gets all its requests at once, the printers paced as above,
// over one socket per family. A reply is looked up by its sender and counts
// only when it answers that printer's requests (CNetIO::MatchReply against
// the printer's address; when an object was asked under two communities,
// the one the reply carries tells which request it answers).
int AskPrinters(const char* community, PRINTER_QUERY* printers, int count, int deadlineMs,
                unsigned kinds, int scopeId) {
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

    // Each printer waits for its replies at most this long from its own
    // requests; the whole ends at `end` at the latest.
    // Without a deadline of the caller's, the pacing bounds the whole (a
    // window opens within kSettleMs); the end below is only a backstop.
    const bool bounded = deadlineMs >= 0;
    const int waitMs = bounded ? std::min(deadlineMs, kQueryTimeoutMs) : kQueryTimeoutMs;
    const Clock::time_point end =
        Clock::now() +
        std::chrono::milliseconds(bounded ? deadlineMs : kQueryTimeoutMs + count * kSettleMs);
    std::vector<PendingPrinter> pending(static_cast<size_t>(count));
    std::unordered_map<std::string, size_t> byAddress;
    std::vector<size_t> order; // the printers to ask, in the caller's order
    int sockets[2] = {-1, -1}; // IPv4, IPv6
    int room = 0;
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
            if (!ParseV6(p.printer->address, to, g_nSnmpPort, scopeId))
                continue;
            memcpy(&p.to, &to, sizeof(to));
            p.toLength = sizeof(to);
        } else {
            continue;
        }
        int& s = sockets[family == AF_INET ? 0 : 1];
        if (s < 0) {
            s = OpenUdp(family, false);
            if (s < 0)
                continue;
            const int granted = RoomForReplies(s);
            room = room == 0 ? granted : std::min(room, granted);
        }
        p.family = family;
        const auto known = byAddress.emplace(AddressKey(p.to), static_cast<size_t>(i));
        if (known.second)
            order.push_back(static_cast<size_t>(i));
        else
            p.sameAs = static_cast<int>(known.first->second);
    }
    const int perPrinter = std::max(1, static_cast<int>(requests.size()));
    const size_t window = static_cast<size_t>(
        std::clamp(room / (kRoomPerReply * perPrinter), kMinInFlight, kMaxInFlight));

    auto ask = [&](PendingPrinter& p) {
        const int s = sockets[p.family == AF_INET ? 0 : 1];
        p.sentAt = Clock::now();
        for (const Request& r : requests) {
            const bool sent = sendto(s, r.bytes, static_cast<size_t>(r.length), 0,
                                     reinterpret_cast<const sockaddr*>(&p.to), p.toLength) > 0;
            if (r.kind == kQueryStatus)
                p.statusWaiting = sent;
            else
                p.texts[r.kind].asked[r.slot] = sent;
        }
    };
    SNMP_WALK walk;
    auto take = [&](const Datagram& d) {
        const auto at = byAddress.find(AddressKey(d.from));
        if (at == byAddress.end())
            return;
        PendingPrinter& p = pending[at->second];
        SNMP_REPLY answer;
        if (p.sentAt == Clock::time_point{} ||
            Clock::now() > p.sentAt + std::chrono::milliseconds(waitMs) ||
            !CNetIO::MatchReply(d.from, reinterpret_cast<const sockaddr*>(&p.to), d.bytes, d.length,
                                objects, kQueryKinds, &answer))
            return;
        if (answer.object == kQueryStatus) {
            if (!p.statusWaiting)
                return;
            p.printer->bStatusRead =
                CNetIO::parseForDeviceId(walk, d.bytes, d.length, &p.printer->status) == 1;
            if (p.printer->bStatusRead)
                std::memcpy(p.printer->szDeviceId, walk.szDeviceId, sizeof walk.szDeviceId);
            p.statusWaiting = false;
            return;
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
            return;
        t.answered[slot] = CNetIO::parseForRecvBuf(walk, d.bytes, d.length, t.text[slot],
                                                   sizeof(t.text[slot])) == 1;
        t.hasValue[slot] = answer.HasValue();
    };

    unsigned char reply[kSnmpReceiveSize];
    size_t next = 0;   // the next printer of `order` to ask
    size_t oldest = 0; // printers of `order` before it wait no more
    const long datagramLimit = kMaxDiscoveryReplies + 8L * count;
    for (long datagrams = 0; datagrams < datagramLimit;) {
        Clock::time_point now = Clock::now();
        if (now >= end)
            break;
        auto expired = [&](const PendingPrinter& p) {
            return now >= p.sentAt + std::chrono::milliseconds(waitMs);
        };
        while (oldest < next &&
               (!pending[order[oldest]].Waiting() || expired(pending[order[oldest]])))
            ++oldest;
        // Ask as many more as the window has room for.
        size_t inFlight = 0;
        Clock::time_point settles = end;
        for (size_t k = oldest; k < next; ++k) {
            const PendingPrinter& p = pending[order[k]];
            const Clock::time_point settled = p.sentAt + std::chrono::milliseconds(kSettleMs);
            if (p.Waiting() && now < settled) {
                ++inFlight;
                settles = std::min(settles, settled);
            }
        }
        const size_t asked = next;
        for (; next < order.size() && inFlight < window; ++next, ++inFlight)
            ask(pending[order[next]]);
        if (next > asked)
            settles = std::min(settles,
                               pending[order[asked]].sentAt + std::chrono::milliseconds(kSettleMs));
        now = Clock::now();
        if (oldest == next && next == order.size())
            break;
        // Wake for a reply, for the window to open, or at the oldest
        // printer's time.
        Clock::time_point wake = end;
        if (next < order.size())
            wake = std::min(wake, settles);
        if (oldest < next)
            wake =
                std::min(wake, pending[order[oldest]].sentAt + std::chrono::milliseconds(waitMs));
        pollfd fds[2];
        nfds_t used = 0;
        for (const int s : sockets)
            if (s >= 0)
                fds[used++] = pollfd{s, POLLIN, 0};
        if (used == 0)
            break;
        const int ready = poll(fds, used, RemainingMs(wake));
        if (ready < 0 && errno != EINTR)
            break;
        for (nfds_t f = 0; ready > 0 && f < used; ++f) {
            if ((fds[f].revents & POLLIN) == 0) {
                // An error the socket reports (none is expected of an
                // unconnected one) is taken, so that poll waits again.
                int error = 0;
                socklen_t length = sizeof(error);
                if (fds[f].revents != 0)
                    getsockopt(fds[f].fd, SOL_SOCKET, SO_ERROR, &error, &length);
                continue;
            }
            Datagram d;
            for (int n = 0; n < 1024 && datagrams < datagramLimit &&
                            ReceiveDatagram(fds[f].fd, reply, sizeof(reply), &d);
                 ++n, ++datagrams)
                take(d);
        }
    }

    int answered = 0;
    for (const int s : sockets)
        if (s >= 0)
            close(s);
    for (PendingPrinter& p : pending) {
        PRINTER_QUERY& q = *p.printer;
        if (p.sameAs >= 0) {
            const PendingPrinter& first = pending[static_cast<size_t>(p.sameAs)];
            p.texts[0] = first.texts[0];
            p.texts[1] = first.texts[1];
            if (first.printer->bStatusRead) {
                q.bStatusRead = true;
                q.status = first.printer->status;
                std::memcpy(q.szDeviceId, first.printer->szDeviceId, sizeof q.szDeviceId);
            }
        }
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
int QueryText(const char* host, const char* community, unsigned kind, char* out, int size,
              int scopeId) {
    if (AddressFamily(host) < 0)
        return -1;
    PRINTER_QUERY q;
    q.address = host;
    AskPrinters(community, &q, 1, kQueryTimeoutMs, kind, scopeId);
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
    return QueryText(host, community, kAskVersion, out, size, m_nScopeId);
}

int CNetIO::OstrelNetworkGetPrinterName(const char* host, unsigned char, char* out, int size,
                                        const char* community) {
    printf("OstrelNetworkGetPrinterName enter\n");
    return QueryText(host, community, kAskName, out, size, m_nScopeId);
}

int CNetIO::QueryPrinters(const char* community, PRINTER_QUERY* printers, int count,
                          int deadlineMs) {
    return AskPrinters(community, printers, count, deadlineMs, kAskName | kAskVersion | kAskStatus,
                       m_nScopeId);
}
