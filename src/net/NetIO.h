// Network I/O: the raw print-port channel, a small SNMPv1 encoder/decoder for
// exactly the messages this program exchanges, printer discovery and the
// name/version/status queries. Plain C++ so that any front end can use it.
//
// Any number of threads may run exchanges at once, each on its own CNetIO:
// a walk keeps what it found in an SNMP_WALK its caller owns, and the IPv6
// interface an exchange uses is the one its CNetIO was made with. The only
// process-wide state is g_nSnmpPort (set before any exchange starts) and the
// buffers of the walk's older entry points below, which fill them under
// SnmpWalkLock().
#pragma once

#include <mutex>

#include "net/Socket.h"
#include "status/PrinterStatus.h"

// Receives one variable binding of a walked response. Both pointers point
// into the datagram and are valid only during the call.
typedef bool (*SNMP_VALUE_CALLBACK)(const unsigned char* name, int nameLength,
                                    unsigned char valueType, const unsigned char* value,
                                    int valueLength);

// Called for every agent that answered discovery with the wanted model
// identifier. `address` is valid only during the call; `unused` is always
// null. The result is not looked at: a callback cannot end the discovery.
typedef bool (*FIND_AGENT_CALLBACK)(char* address, char* unused, void* userData);

constexpr int kSnmpPort = 161;
constexpr int kSnmpWorkSize = 1024;  // largest request we build
constexpr int kSnmpValueSize = 256;  // name / version output buffers
constexpr int kOidEncodingMax = 128; // room oidEncode may need
constexpr int kModelOidEncodingMax = 32;
// Discovery stops reading after this many datagrams even if more keep coming.
constexpr int kMaxDiscoveryReplies = 4096;
// A discovery pass ends once no reply to it has come for the quiet period,
// and in any case this long after its request went out, so that a peer
// that keeps sending cannot hold the window.
constexpr int kDiscoveryQuietMs = 1000;
constexpr int kDiscoveryPassLimitMs = 5000;
// How long a query waits for its reply.
constexpr int kQueryTimeoutMs = 1000;
// Room for one received datagram: a reply is read whole, so that a value of
// a full 255-byte text still passes the length checks and can be cut as text.
constexpr int kSnmpReceiveSize = 4096;

// The port agents are asked on: 161, except for tests and tools that put a
// responder on an unprivileged port of the loopback. Every exchange reads it
// as it starts and nothing guards it: it is set only while no exchange runs
// (before the threads that exchange are started, and after they ended).
extern int g_nSnmpPort;

// Every request we send carries this request-id; a reply must carry it too.
constexpr long long kSnmpRequestId = 0;

// An object a request asked for: the BER content of its name.
struct SNMP_OBJECT {
    const unsigned char* name = nullptr;
    int nameLength = 0;
};

// sysObjectID.0, the object discovery, the probes and the sweep ask for.
extern const SNMP_OBJECT kSysObjectIdObject;

// What CNetIO::ReadReply read of a reply that answers a request of ours. The
// pointer points into the datagram.
struct SNMP_REPLY {
    int object = -1; // index of the asked object the first binding names
    const unsigned char* community = nullptr;
    int communityLength = 0;
    long long errorStatus = 0;
    unsigned char valueType = 0; // of the first binding

    // A value, not an agent's "no such object".
    bool HasValue() const;
    bool CarriesCommunity(const char* text) const;
};

// What the list shows of one printer, read by CNetIO::QueryPrinters.
struct PRINTER_QUERY {
    const char* address = nullptr; // numeric IPv4 or IPv6 text
    bool bNameRead = false;        // the name query was answered
    char szName[kSnmpValueSize] = {};
    bool bVersionRead = false;
    char szVersion[kSnmpValueSize] = {};
    bool bStatusRead = false;   // the device ID query was answered
    PRINTER_STATUS status{};    // as the caller filled it unless answered
    char szDeviceId[1024] = {}; // the device ID text when answered (serial number, ...)
};

// What one walk of a reply found: the value callbacks' results, kept by the
// caller (one per exchange, on its own stack) so that walks on several
// threads never share a byte.
struct SNMP_WALK {
    char szValue[1024] = {};              // the last binding's value as text, cut to fit
    const unsigned char* value = nullptr; // that value whole, inside the datagram
    int valueLength = 0;
    char szDeviceId[1024] = {};       // the device ID text
    unsigned char sysObjId[128] = {}; // raw content of the sysObjectID value
    int sysObjIdLen = 0;
};

// The value callbacks of a walk with its context: what each keeps, and what
// it refuses (a value too long for its room, or of the wrong kind).
bool TakeOidValue(SNMP_WALK& walk, const unsigned char* name, int nameLength,
                  unsigned char valueType, const unsigned char* value, int valueLength);
bool TakeDeviceIdValue(SNMP_WALK& walk, const unsigned char* name, int nameLength,
                       unsigned char valueType, const unsigned char* value, int valueLength);
bool TakeRecvBufValue(SNMP_WALK& walk, const unsigned char* name, int nameLength,
                      unsigned char valueType, const unsigned char* value, int valueLength);

// The process-wide buffers of the walk, for callers of the entry points
// without a context (parseForRecvBuf, parseForOID and parseForDeviceId
// without an SNMP_WALK, the output*Value callbacks). Those fill them from
// the same walk under this lock; a caller that reads a buffer after its walk
// holds the lock across both. No exchange of the network core uses them.
std::recursive_mutex& SnmpWalkLock();

extern char g_RecvBuf[1024];        // last value taken by outputRecvBufValue
extern char g_deviceid[1024];       // last device ID taken by outputDeviceIdValue
extern unsigned char sysObjId[128]; // raw content of the last sysObjectID value
extern int sysObjIdLen;

// GetRequest-PDU for sysObjectID.0, request-id 0.
extern const unsigned char request_oid_pf[27];
// GetRequest-PDU for the private device ID object, request-id 0.
extern const unsigned char request_deviceid_pf[38];

// The value callbacks over the process-wide buffers (each takes the lock).
bool outputOidValue(const unsigned char* name, int nameLength, unsigned char valueType,
                    const unsigned char* value, int valueLength);
bool outputDeviceIdValue(const unsigned char* name, int nameLength, unsigned char valueType,
                         const unsigned char* value, int valueLength);
bool outputRecvBufValue(const unsigned char* name, int nameLength, unsigned char valueType,
                        const unsigned char* value, int valueLength);

class CNetIO : public CSocket {
public:
    // `scopeId` is the IPv6 interface that link-scoped exchanges of this
    // object go through (0: none known yet; an IPv6 discovery pass then asks
    // every usable interface and keeps the one where the model answered).
    explicit CNetIO(int scopeId = 0) : m_nScopeId(scopeId) {}
    // The interface this object's exchanges use: the one it was made with,
    // or the one its IPv6 discovery found. The caller decides whether to
    // remember it for later exchanges (the wizard keeps it in scope_id).
    int ScopeId() const { return m_nScopeId; }

    // --- SNMP codec ---
    // BER content of a dotted identifier; `out` needs kOidEncodingMax bytes.
    // 0 for an unusable text, -1 for a null pointer.
    static int oidEncode(const char* text, unsigned char* out);
    // One GetRequest with `count` bindings of the same identifier; `out`
    // needs kSnmpWorkSize bytes. Lengths of 128 and more are written in long
    // form. Returns the message length or -1.
    static int BuildGetRequestFor(int count, const char* text, const char* community,
                                  unsigned char* out);
    // The discovery and device ID requests: a message header around the
    // fixed PDUs above. Return the length, or -1 when it does not fit.
    static int BuildDiscoveryRequest(const char* community, unsigned char* out, int size);
    static int BuildDeviceIdRequest(const char* community, unsigned char* out, int size);

    // 1 when the whole datagram was walked, 0 when rejected. `community`,
    // when given, needs 256 bytes.
    static int parseGetResponse(const unsigned char* datagram, int length, int* version,
                                char* community, unsigned char* requestId,
                                unsigned char* errorStatus, unsigned char* errorIndex,
                                SNMP_VALUE_CALLBACK callback);
    // The walks that keep what they find in the caller's `walk`: safe on
    // any thread. parseForRecvBuf copies the value of the last binding as
    // display text into `out`, which holds `size` bytes, cut to fit.
    // parseForOID: 1 when the sysObjectID value is `wanted` exactly.
    // parseForDeviceId: 1 when walked; the device ID text is in the walk and
    // decoded into `status`.
    static int parseForRecvBuf(SNMP_WALK& walk, const unsigned char* datagram, int length,
                               char* out, int size = kSnmpValueSize);
    static int parseForOID(SNMP_WALK& walk, const unsigned char* datagram, int length,
                           const unsigned char* wanted, int wantedLength);
    static int parseForDeviceId(SNMP_WALK& walk, const unsigned char* datagram, int length,
                                PRINTER_STATUS* status);
    // The same walks leaving their results in the process-wide buffers.
    static int parseForRecvBuf(const unsigned char* datagram, int length, char* out,
                               int size = kSnmpValueSize);
    static int parseForOID(const unsigned char* datagram, int length, const unsigned char* wanted,
                           int wantedLength);
    static int parseForDeviceId(const unsigned char* datagram, int length, PRINTER_STATUS* status);
    // Whether a datagram answers one of our requests: a GetResponse with
    // request-id kSnmpRequestId that walks to its end, whose first binding
    // names one of the `asked` objects. `reply` (may be null) gets what it
    // said. Keeps nothing between calls, so any thread may call it.
    static bool ReadReply(const unsigned char* datagram, int length, const SNMP_OBJECT* asked,
                          int askedCount, SNMP_REPLY* reply);
    // The check of every unicast exchange: ReadReply, and the datagram came
    // from the address and port the request went to (`to`). Any sender
    // other than the asked one is somebody else, whatever it sends.
    static bool MatchReply(const sockaddr_storage& from, const sockaddr* to,
                           const unsigned char* datagram, int length, const SNMP_OBJECT* asked,
                           int askedCount, SNMP_REPLY* reply);

    // --- queries ---
    bool NetSnmpGetV4(const char* address, const char* community, const char* text, char* out,
                      int size);
    bool NetSnmpGetV6(const char* address, const char* community, const char* text, char* out,
                      int size);
    // The firmware version or name of one printer, asked as QueryPrinters
    // asks it; a null community is "orchid". 0 with the text, or -1 with
    // `out` untouched.
    int OstrelNetworkGetFwVersion(const char* host, unsigned char unused, char* out, int size,
                                  const char* community = nullptr);
    int OstrelNetworkGetPrinterName(const char* host, unsigned char unused, char* out, int size,
                                    const char* community = nullptr);
    int NetworkReadStatus(const char* community, const char* host, PRINTER_STATUS* status);
    int NetworkReadStatusV6(const char* community, const char* host, PRINTER_STATUS* status);
    // Name, firmware version and status of several printers at once: each
    // printer gets all its requests together and its replies are awaited for
    // at most kQueryTimeoutMs from them, the printers paced over one socket
    // per family (a fleet's replies must not overflow a buffer), so silent
    // printers cost that time about once, not each. The whole ends within
    // `deadlineMs` from now when that is given (>= 0): printers not yet asked
    // by then stay unasked. Without it, the pacing alone bounds it: a window
    // of printers opens again within 50 ms. The status
    // is asked with `community`; name and version with `community` (an
    // empty one is "orchid") and, when that is not "orchid", with "orchid"
    // in the same burst: the answer under `community` wins, the one under
    // "orchid" is taken only when the first brought no value. Only a reply
    // that MatchReply accepts counts. Returns how many printers answered
    // anything.
    int QueryPrinters(const char* community, PRINTER_QUERY* printers, int count,
                      int deadlineMs = -1);

    // --- discovery ---
    // An IPv6 pass asks through the remembered interface only, when this
    // object has one; otherwise a link-scoped destination is asked through
    // every usable interface, and the lowest where the model answered
    // becomes this object's ScopeId(): only its printers are handed on.
    bool FindSnmpAgent(const char* community, const char* address, const char* text,
                       FIND_AGENT_CALLBACK callback, void* userData, bool broadcast);
    bool FindSnmpAgentV6(const char* community, const char* address, const char* text,
                         FIND_AGENT_CALLBACK callback, void* userData, bool broadcast);
    // Shortens the next discovery passes of this object (never beyond
    // kDiscoveryPassLimitMs): a caller with an overall time budget.
    void SetDiscoveryPassLimit(int milliseconds) { m_nPassLimitMs = milliseconds; }

    // --- print-port channel ---
    int NetworkConnect(const char* host, int port);
    int NetworkConnectV6(const char* host, int port);
    int NetworkWrite(int unused, const void* data, unsigned long length);
    void NetworkClose(int unused);
    // NetworkConnect in bounded steps, for the download: -1 as there, 0 when
    // connected, EINPROGRESS while pending (then NetworkConnectWait), or
    // the connect's error number.
    int NetworkConnectStart(const char* host, int port);
    int NetworkConnectWait(int waitMs) { return ConnectWait(waitMs); }
    // The download's sliced writes and delivery check (see CSocket).
    int NetworkWriteSome(const void* data, unsigned long length, int waitMs,
                         unsigned long* written) {
        return WriteSome(data, length, waitMs, written);
    }
    int NetworkUnacknowledged(long* pending) { return Unacknowledged(pending); }
    void NetworkAbort() { Abort(); }

private:
    int m_nScopeId = 0;
    int m_nPassLimitMs = kDiscoveryPassLimitMs;
};
