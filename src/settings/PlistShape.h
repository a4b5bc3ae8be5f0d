// A look at a property list's shape before it is parsed: how deep its
// arrays and dictionaries nest, how many values it holds and, in a binary
// list, whether a text holds a NUL. The parser recurses once per level,
// allocates per value and aborts on a key with a NUL, so a hostile file must
// be refused before it reaches the parser. Plain C++.
#pragma once

#include <cstddef>

constexpr int kMaxSettingsDepth = 32;      // arrays and dictionaries inside each other
constexpr long kMaxSettingsValues = 65536; // values of every kind, keys included

enum class PlistShape {
    Acceptable,
    TooDeep,
    TooManyValues,
    Malformed, // a binary list whose tables cannot be followed, or a text with a NUL
};

// XML is measured conservatively: a tag that might open a container counts,
// a closing tag counts only where the parser certainly sees one, so the
// depth found is never below what the parser will meet. Binary lists are
// measured by following their object references, shared objects counted
// each time they are used (the parser copies them), without recursion.
// Stops as soon as a limit is passed, so the cost stays small.
PlistShape MeasurePlist(const char* data, std::size_t size);
