// Network I/O: the raw print-port channel, a small SNMPv1 encoder/decoder for
// exactly the messages this program exchanges, printer discovery and the
// name/version/status queries. Plain C++ so that any front end can use it.
//
// Everything here runs on one thread: the walk keeps its results in the
// process-wide buffers below, so one walk at a time.
#pragma once

#include "PrinterStatus.h"
#include "Socket.h"

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
// Discovery stops reading after this many replies even if more keep coming.
constexpr int kMaxDiscoveryReplies = 4096;

extern char g_RecvBuf[1024];        // last value taken by outputRecvBufValue
extern char g_deviceid[1024];       // last device ID taken by outputDeviceIdValue
extern unsigned char sysObjId[128]; // raw content of the last sysObjectID value
extern int sysObjIdLen;

// GetRequest-PDU for sysObjectID.0, request-id 0.
extern const unsigned char request_oid_pf[27];
// GetRequest-PDU for the private device ID object, request-id 0.
extern const unsigned char request_deviceid_pf[38];

bool outputOidValue(const unsigned char* name, int nameLength, unsigned char valueType,
                    const unsigned char* value, int valueLength);
bool outputDeviceIdValue(const unsigned char* name, int nameLength, unsigned char valueType,
                         const unsigned char* value, int valueLength);
bool outputRecvBufValue(const unsigned char* name, int nameLength, unsigned char valueType,
                        const unsigned char* value, int valueLength);

class CNetIO : public CSocket {
public:
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
    // Copies the value of the last binding as text into `out`, which holds
    // `size` bytes; a value that does not fit is refused (0).
    static int parseForRecvBuf(const unsigned char* datagram, int length, char* out,
                               int size = kSnmpValueSize);
    static int parseForOID(const unsigned char* datagram, int length, const unsigned char* wanted,
                           int wantedLength);
    static int parseForDeviceId(const unsigned char* datagram, int length, PRINTER_STATUS* status);

    // --- queries ---
    bool NetSnmpGetV4(const char* address, const char* community, const char* text, char* out,
                      int size);
    bool NetSnmpGetV6(const char* address, const char* community, const char* text, char* out,
                      int size);
    int OstrelNetworkGetFwVersion(const char* host, unsigned char unused, char* out, int size);
    int OstrelNetworkGetPrinterName(const char* host, unsigned char unused, char* out, int size);
    int NetworkReadStatus(const char* community, const char* host, PRINTER_STATUS* status);
    int NetworkReadStatusV6(const char* community, const char* host, PRINTER_STATUS* status);

    // --- discovery ---
    bool FindSnmpAgent(const char* community, const char* address, const char* text,
                       FIND_AGENT_CALLBACK callback, void* userData, bool broadcast);
    bool FindSnmpAgentV6(const char* community, const char* address, const char* text,
                         FIND_AGENT_CALLBACK callback, void* userData, bool broadcast);

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
};
