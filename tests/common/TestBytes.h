// Firmware-like bytes that no shift or truncation leaves equal.
#pragma once

#include <cstddef>

template <class Bytes> Bytes PatternOf(std::size_t size, unsigned seed) {
    Bytes bytes(size, 0);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] =
            static_cast<typename Bytes::value_type>((unsigned(i) * 2654435761u + seed) >> 13);
    return bytes;
}
