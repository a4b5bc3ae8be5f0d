#include "status/DisplayText.h"

#include <cstdint>

namespace {

// Length of the well-formed sequence starting at s[i], or 0.
std::size_t SequenceLength(const unsigned char* s, std::size_t n, std::size_t i, uint32_t* cp) {
    const unsigned char c = s[i];
    if (c < 0x80) {
        *cp = c;
        return 1;
    }
    std::size_t len = 0;
    uint32_t value = 0;
    uint32_t least = 0;
    if ((c & 0xE0) == 0xC0) {
        len = 2;
        value = c & 0x1F;
        least = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
        len = 3;
        value = c & 0x0F;
        least = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
        len = 4;
        value = c & 0x07;
        least = 0x10000;
    } else {
        return 0;
    }
    if (n - i < len)
        return 0;
    for (std::size_t k = 1; k < len; ++k) {
        if ((s[i + k] & 0xC0) != 0x80)
            return 0;
        value = (value << 6) | (s[i + k] & 0x3F);
    }
    if (value < least || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return 0;
    *cp = value;
    return len;
}

bool IsHidden(uint32_t cp) {
    if (cp < 0x20 || (cp >= 0x7F && cp <= 0x9F))
        return true;
    // Arabic letter mark, left-to-right and right-to-left marks, the
    // embeddings and overrides, and the isolates.
    return cp == 0x061C || cp == 0x200E || cp == 0x200F || (cp >= 0x202A && cp <= 0x202E) ||
           (cp >= 0x2066 && cp <= 0x2069);
}

std::size_t Encode(uint32_t cp, char* b) {
    if (cp < 0x80) {
        b[0] = static_cast<char>(cp);
        return 1;
    }
    if (cp < 0x800) {
        b[0] = static_cast<char>(0xC0 | (cp >> 6));
        b[1] = static_cast<char>(0x80 | (cp & 0x3F));
        return 2;
    }
    if (cp < 0x10000) {
        b[0] = static_cast<char>(0xE0 | (cp >> 12));
        b[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        b[2] = static_cast<char>(0x80 | (cp & 0x3F));
        return 3;
    }
    b[0] = static_cast<char>(0xF0 | (cp >> 18));
    b[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    b[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    b[3] = static_cast<char>(0x80 | (cp & 0x3F));
    return 4;
}

} // namespace

bool IsWellFormedUtf8(const unsigned char* bytes, std::size_t length) {
    if (bytes == nullptr)
        return length == 0;
    uint32_t cp = 0;
    for (std::size_t i = 0; i < length;) {
        const std::size_t len = SequenceLength(bytes, length, i, &cp);
        if (len == 0)
            return false;
        i += len;
    }
    return true;
}

std::size_t MakeDisplayText(const unsigned char* bytes, std::size_t length, char* out,
                            std::size_t size) {
    if (out == nullptr || size == 0)
        return 0;
    if (bytes == nullptr)
        length = 0;
    const bool utf8 = IsWellFormedUtf8(bytes, length);
    std::size_t written = 0;
    for (std::size_t i = 0; i < length;) {
        uint32_t cp = bytes[i];
        std::size_t step = 1;
        if (utf8)
            step = SequenceLength(bytes, length, i, &cp);
        i += step;
        if (IsHidden(cp))
            continue;
        char encoded[4];
        const std::size_t n = Encode(cp, encoded);
        if (written + n > size - 1)
            break;
        for (std::size_t k = 0; k < n; ++k)
            out[written++] = encoded[k];
    }
    out[written] = '\0';
    return written;
}
