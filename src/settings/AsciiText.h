// Conversion of a text to the C string the byte-level code works with.
#pragma once

#include <QString>
#include <cstddef>

// Room of every C string converted from a text: at most 255 characters.
constexpr std::size_t kCTextSize = 256;

// Copies text into out (size bytes) as ASCII with its terminator. A text that
// is null, not ASCII or does not fit is unusable as a whole: out becomes empty
// and the result is false, never a text cut in the middle.
bool CopyAsciiText(const QString& text, char* out, std::size_t size = kCTextSize);
