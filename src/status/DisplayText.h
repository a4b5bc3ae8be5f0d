// Texts that printers send about themselves (names, firmware versions, device
// IDs) made fit for a window or a diagnostic line. Plain C++.
#pragma once

#include <cstddef>

// Room for one shown text: at most 255 bytes of UTF-8 and the terminator.
constexpr std::size_t kDisplayTextSize = 256;

// Decodes `bytes` as UTF-8 when they are valid UTF-8 and as Latin-1
// otherwise, drops every control character (C0, DEL, C1 and the
// bidirectional formatting controls, which could reorder what the user
// reads), and writes the result as UTF-8 with its terminator into `out`,
// which holds `size` bytes. A text that does not fit is cut before the first
// character that would not fit whole. Returns the bytes written without the
// terminator; 0 (and nothing written) when out is null or size is 0.
std::size_t MakeDisplayText(const unsigned char* bytes, std::size_t length, char* out,
                            std::size_t size);

// True when the bytes are well-formed UTF-8 (no overlong forms, surrogates
// or code points above U+10FFFF).
bool IsWellFormedUtf8(const unsigned char* bytes, std::size_t length);
