// The SNMPv1 encoder and response walk. Requests are built back to front in
// a fixed work area so each length is known before its header is written.

#include "net/NetIO.h"

#include "status/DisplayText.h"

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>

const unsigned char request_oid_pf[27] = {
    0xA0, 0x19, 0x02, 0x01, 0x00, 0x02, 0x01, 0x00, 0x02, 0x01, 0x00, 0x30, 0x0E, 0x30,
    0x0C, 0x06, 0x08, 0x2B, 0x06, 0x01, 0x02, 0x01, 0x01, 0x02, 0x00, 0x05, 0x00,
};

const unsigned char request_deviceid_pf[38] = {
    0xA0, 0x24, 0x02, 0x01, 0x00, 0x02, 0x01, 0x00, 0x02, 0x01, 0x00, 0x30, 0x19,
    0x30, 0x17, 0x06, 0x13, 0x2B, 0x06, 0x01, 0x04, 0x01, 0x82, 0xBF, 0x55, 0x86,
    0x76, 0x82, 0x2C, 0x82, 0x71, 0xC2, 0x53, 0x01, 0x01, 0x00, 0x05, 0x00,
};

namespace {

const char kDefaultCommunity[] = "orchid";
const unsigned char kSysObjectIdName[8] = {0x2B, 0x06, 0x01, 0x02, 0x01, 0x01, 0x02, 0x00};

// Writes toward the front of a buffer; any overflow poisons the writer.
class BackWriter {
public:
    BackWriter(unsigned char* buffer, int size) : m_buf(buffer), m_size(size), m_pos(size) {}

    void Bytes(const void* data, size_t n) {
        if (!m_ok || n > static_cast<size_t>(m_pos)) {
            m_ok = false;
            return;
        }
        m_pos -= static_cast<int>(n);
        if (n > 0)
            memcpy(m_buf + m_pos, data, n);
    }
    void Byte(unsigned char b) { Bytes(&b, 1); }
    void Poison() { m_ok = false; }

    // Tag and length for content already written; long form from 128 on.
    void Header(unsigned char tag, int contentLength) {
        if (contentLength < 0x80) {
            Byte(static_cast<unsigned char>(contentLength));
        } else {
            int count = 0;
            for (int v = contentLength; v > 0; v >>= 8, ++count)
                Byte(static_cast<unsigned char>(v & 0xFF));
            Byte(static_cast<unsigned char>(0x80 | count));
        }
        Byte(tag);
    }

    int Written() const { return m_size - m_pos; }
    bool Ok() const { return m_ok; }
    const unsigned char* Data() const { return m_buf + m_pos; }

private:
    unsigned char* m_buf;
    int m_size;
    int m_pos;
    bool m_ok = true;
};

// Wraps the PDU already in the writer into a complete SNMPv1 message.
void WrapMessage(BackWriter& w, const char* community) {
    const size_t c = strlen(community);
    if (c > static_cast<size_t>(kSnmpWorkSize)) {
        w.Poison();
        return;
    }
    w.Bytes(community, c);
    w.Header(0x04, static_cast<int>(c));
    static const unsigned char version[3] = {0x02, 0x01, 0x00};
    w.Bytes(version, sizeof(version));
    w.Header(0x30, w.Written());
}

int Finish(const BackWriter& w, unsigned char* out, int size) {
    if (!w.Ok() || w.Written() > size)
        return -1;
    memcpy(out, w.Data(), static_cast<size_t>(w.Written()));
    return w.Written();
}

int BuildAroundPdu(const unsigned char* pdu, size_t pduLength, const char* community,
                   unsigned char* out, int size) {
    if (out == nullptr || size <= 0)
        return -1;
    unsigned char work[kSnmpWorkSize];
    BackWriter w(work, sizeof(work));
    w.Bytes(pdu, pduLength);
    WrapMessage(w, community);
    return Finish(w, out, size);
}

// Definite lengths only; more than four length bytes cannot describe
// anything that fits in a datagram.
bool ReadLength(const unsigned char*& pos, const unsigned char* end, int& length) {
    if (pos >= end)
        return false;
    const unsigned char first = *pos++;
    if ((first & 0x80) == 0) {
        length = first;
        return true;
    }
    const int count = first & 0x7F;
    if (count == 0 || count > 4 || end - pos < count)
        return false;
    uint64_t value = 0;
    for (int i = 0; i < count; ++i)
        value = (value << 8) | *pos++;
    if (value > static_cast<uint64_t>(INT_MAX))
        return false;
    length = static_cast<int>(value);
    return true;
}

// One tag-length-value whose content must lie before `end`.
bool ReadElement(const unsigned char*& pos, const unsigned char* end, unsigned char& tag,
                 const unsigned char*& content, int& length) {
    if (pos >= end)
        return false;
    tag = *pos++;
    if (!ReadLength(pos, end, length) || length > end - pos)
        return false;
    content = pos;
    pos += length;
    return true;
}

bool ReadExpected(const unsigned char*& pos, const unsigned char* end, unsigned char wanted,
                  const unsigned char*& content, int& length) {
    unsigned char tag = 0;
    return ReadElement(pos, end, tag, content, length) && tag == wanted;
}

} // namespace

const SNMP_OBJECT kSysObjectIdObject{kSysObjectIdName, sizeof(kSysObjectIdName)};

bool TakeOidValue(SNMP_WALK& walk, const unsigned char* name, int nameLength,
                  unsigned char valueType, const unsigned char* value, int valueLength) {
    if (name == nullptr || nameLength != static_cast<int>(sizeof(kSysObjectIdName)) ||
        memcmp(name, kSysObjectIdName, sizeof(kSysObjectIdName)) != 0 || valueType != 0x06)
        return false;
    if (valueLength < 0 || valueLength > static_cast<int>(sizeof(walk.sysObjId)) ||
        (value == nullptr && valueLength > 0))
        return false;
    if (valueLength > 0)
        memcpy(walk.sysObjId, value, static_cast<size_t>(valueLength));
    walk.sysObjIdLen = valueLength;
    return true;
}

bool TakeDeviceIdValue(SNMP_WALK& walk, const unsigned char* /*name*/, int /*nameLength*/,
                       unsigned char valueType, const unsigned char* value, int valueLength) {
    printf("outputDeviceIdValue valueType=%d, valueLen=%d\n", valueType, valueLength);
    if (valueType != 0x04)
        return false;
    if (valueLength < 0 || valueLength >= static_cast<int>(sizeof(walk.szDeviceId)) ||
        (value == nullptr && valueLength > 0))
        return false;
    if (valueLength > 0)
        memcpy(walk.szDeviceId, value, static_cast<size_t>(valueLength));
    walk.szDeviceId[valueLength] = '\0';
    // The diagnostic line shows the text without the printer's control
    // characters; the record itself keeps the bytes for the decoder.
    char shown[sizeof(walk.szDeviceId)];
    MakeDisplayText(value, static_cast<size_t>(valueLength), shown, sizeof(shown));
    printf("g_deviceid=%s\n", shown);
    return true;
}

bool TakeRecvBufValue(SNMP_WALK& walk, const unsigned char* /*name*/, int /*nameLength*/,
                      unsigned char /*valueType*/, const unsigned char* value, int valueLength) {
    printf("outputRecvBufValue valueLen=%d\n", valueLength);
    if (valueLength < 0 || valueLength >= static_cast<int>(sizeof(walk.szValue)) ||
        (value == nullptr && valueLength > 0))
        return false;
    if (valueLength > 0)
        memcpy(walk.szValue, value, static_cast<size_t>(valueLength));
    walk.szValue[valueLength] = '\0';
    return true;
}

int CNetIO::oidEncode(const char* text, unsigned char* out) {
    if (text == nullptr || out == nullptr)
        return -1;
    // Texts longer than this never name anything we ask for; it also bounds
    // the encoding to well under kOidEncodingMax bytes.
    const size_t textLength = strnlen(text, 128);
    if (textLength > 127 || textLength == 0)
        return 0;

    uint64_t arcs[64];
    int arcCount = 0;
    uint64_t value = 0;
    bool digitSeen = false;
    for (size_t i = 0; i <= textLength; ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            value = value * 10 + static_cast<uint64_t>(c - '0');
            if (value > UINT32_MAX)
                return 0;
            digitSeen = true;
        } else if (c == '.' || c == '\0') {
            if (!digitSeen || arcCount == 64)
                return 0; // empty arc: leading, trailing or doubled dot
            arcs[arcCount++] = value;
            value = 0;
            digitSeen = false;
        } else {
            return 0;
        }
    }
    if (arcCount < 2)
        return 0;
    // The first two arcs share one subidentifier; only these values can be
    // combined without ambiguity.
    if (arcs[0] > 2 || (arcs[0] < 2 && arcs[1] > 39))
        return 0;

    int written = 0;
    for (int i = 1; i < arcCount; ++i) {
        const uint64_t sub = (i == 1) ? arcs[0] * 40 + arcs[1] : arcs[i];
        unsigned char groups[10];
        int n = 0;
        uint64_t v = sub;
        do {
            groups[n++] = static_cast<unsigned char>(v & 0x7F);
            v >>= 7;
        } while (v != 0);
        while (n > 0) {
            --n;
            out[written++] = static_cast<unsigned char>(groups[n] | (n > 0 ? 0x80 : 0x00));
        }
    }
    return written;
}

int CNetIO::BuildGetRequestFor(int count, const char* text, const char* community,
                               unsigned char* out) {
    if (count <= 0 || text == nullptr || out == nullptr)
        return -1;
    if (community == nullptr)
        community = kDefaultCommunity;
    unsigned char name[kOidEncodingMax];
    const int nameLength = oidEncode(text, name);
    if (nameLength <= 0)
        return -1;

    unsigned char work[kSnmpWorkSize];
    BackWriter w(work, sizeof(work));
    for (int i = 0; i < count && w.Ok(); ++i) {
        const int before = w.Written();
        static const unsigned char nullValue[2] = {0x05, 0x00};
        w.Bytes(nullValue, sizeof(nullValue));
        w.Bytes(name, static_cast<size_t>(nameLength));
        w.Header(0x06, nameLength);
        w.Header(0x30, w.Written() - before);
    }
    w.Header(0x30, w.Written());
    // request-id, error-status, error-index: all 0
    static const unsigned char integers[9] = {0x02, 0x01, 0x00, 0x02, 0x01, 0x00, 0x02, 0x01, 0x00};
    w.Bytes(integers, sizeof(integers));
    w.Header(0xA0, w.Written());
    WrapMessage(w, community);
    return Finish(w, out, kSnmpWorkSize);
}

int CNetIO::BuildDiscoveryRequest(const char* community, unsigned char* out, int size) {
    if (community == nullptr || community[0] == '\0')
        community = kDefaultCommunity;
    return BuildAroundPdu(request_oid_pf, sizeof(request_oid_pf), community, out, size);
}

int CNetIO::BuildDeviceIdRequest(const char* community, unsigned char* out, int size) {
    // An empty community is sent as it is; only a missing one gets the default.
    if (community == nullptr)
        community = kDefaultCommunity;
    return BuildAroundPdu(request_deviceid_pf, sizeof(request_deviceid_pf), community, out, size);
}

namespace {

// What a response says besides its bindings; every pointer points into the
// datagram.
struct Envelope {
    const unsigned char* version = nullptr;
    int versionLength = 0;
    const unsigned char* community = nullptr;
    int communityLength = 0;
    const unsigned char* integers[3] = {}; // request-id, error-status, error-index
    int integerLengths[3] = {};
};

// The one walk of a response, and so the one place that decides whether a
// datagram is a well-formed GetResponse. `header` sees the envelope before
// any binding and may refuse it; `binding` sees each binding in order. It
// keeps nothing of its own: whatever a caller wants it takes in its
// functions.
template <class Header, class Binding>
int WalkResponse(const unsigned char* datagram, int length, bool diagnostic, Header&& header,
                 Binding&& binding) {
    if (datagram == nullptr || length <= 0)
        return 0;
    const unsigned char* pos = datagram;
    const unsigned char* const end = datagram + length;

    if (*pos++ != 0x30)
        return 0;
    int messageLength = 0;
    if (!ReadLength(pos, end, messageLength))
        return 0;
    if (diagnostic)
        printf("parseGetResponse length=%d, len=%d, next-udpdata=%d\n", messageLength, length,
               static_cast<int>(pos - datagram));
    if (messageLength != end - pos)
        return 0;

    Envelope envelope;
    if (!ReadExpected(pos, end, 0x02, envelope.version, envelope.versionLength) ||
        !ReadExpected(pos, end, 0x04, envelope.community, envelope.communityLength))
        return 0;

    if (pos >= end || (*pos != 0xA2 && *pos != 0xA3))
        return 0;
    ++pos;
    int pduLength = 0;
    if (!ReadLength(pos, end, pduLength) || pduLength != end - pos)
        return 0;

    for (int i = 0; i < 3; ++i)
        if (!ReadExpected(pos, end, 0x02, envelope.integers[i], envelope.integerLengths[i]))
            return 0;
    if (!header(static_cast<const Envelope&>(envelope)))
        return 0;

    const unsigned char* list = nullptr;
    int listLength = 0;
    if (!ReadExpected(pos, end, 0x30, list, listLength))
        return 0;
    // Nothing may follow the binding list inside the PDU.
    if (list + listLength != end)
        return 0;

    pos = list;
    while (pos < end) {
        const unsigned char* bindingContent = nullptr;
        int bindingLength = 0;
        if (!ReadExpected(pos, end, 0x30, bindingContent, bindingLength))
            return 0;
        const unsigned char* const bindingEnd = bindingContent + bindingLength;
        const unsigned char* inner = bindingContent;
        const unsigned char* name = nullptr;
        int nameLength = 0;
        if (!ReadExpected(inner, bindingEnd, 0x06, name, nameLength))
            return 0;
        unsigned char valueType = 0;
        const unsigned char* value = nullptr;
        int valueLength = 0;
        if (!ReadElement(inner, bindingEnd, valueType, value, valueLength))
            return 0;
        if (inner != bindingEnd)
            return 0; // the binding claims more than its name and value
        binding(name, nameLength, valueType, value, valueLength);
    }
    return 1;
}

// An INTEGER's content as a signed value; false when it is empty or does
// not fit.
bool IntegerValue(const unsigned char* content, int length, long long* value) {
    if (content == nullptr || length < 1 || length > 8)
        return false;
    // Two's complement, most significant byte first.
    long long v = (content[0] & 0x80) ? -1 : 0;
    for (int i = 0; i < length; ++i)
        v = static_cast<long long>((static_cast<unsigned long long>(v) << 8) | content[i]);
    *value = v;
    return true;
}

} // namespace

int CNetIO::parseGetResponse(const unsigned char* datagram, int length, int* version,
                             char* community, unsigned char* requestId, unsigned char* errorStatus,
                             unsigned char* errorIndex, SNMP_VALUE_CALLBACK callback) {
    unsigned char* const outputs[3] = {requestId, errorStatus, errorIndex};
    return WalkResponse(
        datagram, length, true,
        [&](const Envelope& e) {
            if (version != nullptr)
                *version = e.versionLength > 0 ? e.version[0] : 0;
            if (community != nullptr) {
                if (e.communityLength > 255)
                    return false;
                memcpy(community, e.community, static_cast<size_t>(e.communityLength));
                community[e.communityLength] = '\0';
            }
            for (int i = 0; i < 3; ++i)
                if (outputs[i] != nullptr)
                    *outputs[i] = e.integerLengths[i] > 0 ? e.integers[i][0] : 0;
            return true;
        },
        [&](const unsigned char* name, int nameLength, unsigned char valueType,
            const unsigned char* value, int valueLength) {
            if (callback != nullptr)
                callback(name, nameLength, valueType, value, valueLength);
        });
}

bool CNetIO::ReadReply(const unsigned char* datagram, int length, const SNMP_OBJECT* asked,
                       int askedCount, SNMP_REPLY* reply) {
    SNMP_REPLY read;
    bool first = true;
    const int walked = WalkResponse(
        datagram, length, false,
        [&](const Envelope& e) {
            long long requestId = -1;
            if (!IntegerValue(e.integers[0], e.integerLengths[0], &requestId) ||
                requestId != kSnmpRequestId)
                return false;
            read.community = e.community;
            read.communityLength = e.communityLength;
            // An error-status that is no integer reads as an error.
            if (!IntegerValue(e.integers[1], e.integerLengths[1], &read.errorStatus))
                read.errorStatus = -1;
            return true;
        },
        [&](const unsigned char* name, int nameLength, unsigned char valueType,
            const unsigned char*, int) {
            if (!first)
                return;
            first = false;
            read.valueType = valueType;
            for (int i = 0; i < askedCount && asked != nullptr; ++i)
                if (asked[i].name != nullptr && asked[i].nameLength == nameLength &&
                    memcmp(asked[i].name, name, static_cast<size_t>(nameLength)) == 0) {
                    read.object = i;
                    break;
                }
        });
    if (walked != 1 || read.object < 0)
        return false;
    if (reply != nullptr)
        *reply = read;
    return true;
}

bool SNMP_REPLY::HasValue() const {
    // noSuchName and its kin come back as an error with the NULL value, or
    // (from agents that answer in a later version's manner) as an exception
    // in place of the value.
    return errorStatus == 0 && valueType != 0x05 && valueType != 0x80 && valueType != 0x81 &&
           valueType != 0x82;
}

bool SNMP_REPLY::CarriesCommunity(const char* text) const {
    const size_t n = text != nullptr ? strlen(text) : 0;
    return community != nullptr && static_cast<size_t>(communityLength) == n &&
           memcmp(community, text, n) == 0;
}

namespace {

// A walk that hands every binding to `take` with the caller's context.
template <class Take>
int WalkInto(SNMP_WALK& walk, const unsigned char* datagram, int length, Take take) {
    return WalkResponse(
        datagram, length, true, [](const Envelope&) { return true; },
        [&](const unsigned char* name, int nameLength, unsigned char valueType,
            const unsigned char* value,
            int valueLength) { take(walk, name, nameLength, valueType, value, valueLength); });
}

} // namespace

int CNetIO::parseForRecvBuf(SNMP_WALK& walk, const unsigned char* datagram, int length, char* out,
                            int size) {
    walk.szValue[0] = '\0';
    walk.value = nullptr;
    walk.valueLength = 0;
    const int walked =
        WalkInto(walk, datagram, length,
                 [](SNMP_WALK& w, const unsigned char* name, int nameLength,
                    unsigned char valueType, const unsigned char* value, int valueLength) {
                     w.value = value;
                     w.valueLength = valueLength;
                     // The text keeps what fits; the one handed
                     // out comes from the datagram itself, so a
                     // long value is cut as text, not refused.
                     const int room = static_cast<int>(sizeof(w.szValue)) - 1;
                     TakeRecvBufValue(w, name, nameLength, valueType, value,
                                      valueLength < room ? valueLength : room);
                 });
    if (walked != 1 || out == nullptr || size <= 0)
        return 0;
    // Printers send names in UTF-8 or in Latin-1, and sometimes with control
    // characters; the caller gets display text, cut to its buffer.
    MakeDisplayText(walk.value, static_cast<size_t>(walk.valueLength), out,
                    static_cast<size_t>(size));
    return 1;
}

int CNetIO::parseForOID(SNMP_WALK& walk, const unsigned char* datagram, int length,
                        const unsigned char* wanted, int wantedLength) {
    walk.sysObjIdLen = 0;
    if (WalkInto(walk, datagram, length, TakeOidValue) != 1)
        return 0;
    if (walk.sysObjIdLen == 0 || wanted == nullptr)
        return 0;
    // A prefix of the wanted identifier, or one that merely begins with it,
    // is another model.
    if (walk.sysObjIdLen != wantedLength)
        return 0;
    return memcmp(walk.sysObjId, wanted, static_cast<size_t>(walk.sysObjIdLen)) == 0 ? 1 : 0;
}

int CNetIO::parseForDeviceId(SNMP_WALK& walk, const unsigned char* datagram, int length,
                             PRINTER_STATUS* status) {
    printf("parseForDeviceId, len=%d\n", length);
    walk.szDeviceId[0] = '\0';
    if (WalkInto(walk, datagram, length, TakeDeviceIdValue) != 1)
        return 0;
    DecodeStatusFromDeviceID(walk.szDeviceId, status);
    return 1;
}
