// A tiny, deliberately naive BER writer for building replies in tests. It is
// independent of the code under test so that the two cannot share a fault.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

using Bytes = std::vector<unsigned char>;

inline Bytes Len(size_t n) {
    if (n < 0x80)
        return {static_cast<unsigned char>(n)};
    if (n < 0x100)
        return {0x81, static_cast<unsigned char>(n)};
    return {0x82, static_cast<unsigned char>(n >> 8), static_cast<unsigned char>(n)};
}

inline Bytes Tlv(unsigned char tag, const Bytes& content) {
    Bytes out{tag};
    const Bytes l = Len(content.size());
    out.insert(out.end(), l.begin(), l.end());
    out.insert(out.end(), content.begin(), content.end());
    return out;
}

inline Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

inline Bytes Str(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

inline Bytes Int(unsigned char v) {
    return Tlv(0x02, {v});
}

inline const Bytes kSysObjectIdName{0x2B, 0x06, 0x01, 0x02, 0x01, 0x01, 0x02, 0x00};
inline const Bytes kSysNameName{0x2B, 0x06, 0x01, 0x02, 0x01, 0x01, 0x05, 0x00};
// 1.3.6.1.4.1.40917.886.300.369.8531.1.1.0
inline const Bytes kDeviceIdName{0x2B, 0x06, 0x01, 0x04, 0x01, 0x82, 0xBF, 0x55, 0x86, 0x76,
                                 0x82, 0x2C, 0x82, 0x71, 0xC2, 0x53, 0x01, 0x01, 0x00};

// 1.3.6.1.4.1.40917.886.300.369.8531.1.2.1.0
inline const Bytes kVersionName{0x2B, 0x06, 0x01, 0x04, 0x01, 0x82, 0xBF, 0x55, 0x86, 0x76,
                                0x82, 0x2C, 0x82, 0x71, 0xC2, 0x53, 0x01, 0x02, 0x01, 0x00};

inline Bytes Binding(const Bytes& name, unsigned char valueTag, const Bytes& value) {
    return Tlv(0x30, Cat({Tlv(0x06, name), Tlv(valueTag, value)}));
}

// A whole SNMPv1 response whose request-id has the given INTEGER content.
inline Bytes ResponseWithIdBytes(const std::vector<Bytes>& bindings, const Bytes& requestId,
                                 unsigned char pduTag = 0xA2, unsigned char errorStatus = 0,
                                 const std::string& community = "orchid") {
    Bytes list;
    for (const Bytes& b : bindings)
        list.insert(list.end(), b.begin(), b.end());
    const Bytes pdu = Tlv(pduTag, Cat({Tlv(0x02, requestId), Int(errorStatus),
                                       Int(errorStatus ? 1 : 0), Tlv(0x30, list)}));
    return Tlv(0x30, Cat({Int(0), Tlv(0x04, Str(community)), pdu}));
}

// A whole SNMPv1 response as an agent would send it.
inline Bytes Response(const std::vector<Bytes>& bindings, unsigned char pduTag = 0xA2,
                      unsigned char errorStatus = 0, const std::string& community = "orchid") {
    return ResponseWithIdBytes(bindings, {0x00}, pduTag, errorStatus, community);
}
