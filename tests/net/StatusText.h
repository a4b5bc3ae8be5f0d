// Base64 text for status records, written independently of the decoder.
#pragma once

#include "status/PrinterStatus.h"

#include <cstring>
#include <string>
#include <vector>

inline std::string Base64(const std::vector<unsigned char>& in) {
    static const char* alphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    size_t i = 0;
    for (; i + 3 <= in.size(); i += 3) {
        const unsigned v = (in[i] << 16) | (in[i + 1] << 8) | in[i + 2];
        for (int s = 18; s >= 0; s -= 6)
            out += alphabet[(v >> s) & 63];
    }
    if (in.size() - i == 1) {
        const unsigned v = in[i] << 16;
        out += alphabet[(v >> 18) & 63];
        out += alphabet[(v >> 12) & 63];
        out += "==";
    } else if (in.size() - i == 2) {
        const unsigned v = (in[i] << 16) | (in[i + 1] << 8);
        out += alphabet[(v >> 18) & 63];
        out += alphabet[(v >> 12) & 63];
        out += alphabet[(v >> 6) & 63];
        out += '=';
    }
    return out;
}

// A record filled with one byte, to see what a decode left alone.
inline PRINTER_STATUS Filled(unsigned char fill) {
    PRINTER_STATUS s;
    memset(&s, fill, sizeof(s));
    return s;
}

// A 108-byte status record with the given code and a recognisable pattern.
inline std::vector<unsigned char> StatusRecord(unsigned char code) {
    std::vector<unsigned char> r(108);
    for (size_t i = 0; i < r.size(); ++i)
        r[i] = static_cast<unsigned char>(i * 7 + 3);
    r[9] = code;
    return r;
}
