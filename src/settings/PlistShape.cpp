#include "settings/PlistShape.h"

#include <cctype>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

bool At(const char* d, std::size_t n, std::size_t i, const char* word) {
    const std::size_t len = std::strlen(word);
    return i + len <= n && std::memcmp(d + i, word, len) == 0;
}

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// "<array" or "<dict" at i: whether it is the empty form "<array/>" (with
// optional white space before the slash). Anything else counts as opening.
bool OpensContainer(const char* d, std::size_t n, std::size_t i) {
    std::size_t j = 0;
    if (At(d, n, i, "<array"))
        j = i + 6;
    else if (At(d, n, i, "<dict"))
        j = i + 5;
    else
        return false;
    while (j < n && IsSpace(d[j]))
        ++j;
    return !(At(d, n, j, "/>"));
}

// "</array" or "</dict" followed by optional white space and ">".
bool ClosesContainer(const char* d, std::size_t n, std::size_t i) {
    std::size_t j = 0;
    if (At(d, n, i, "</array"))
        j = i + 7;
    else if (At(d, n, i, "</dict"))
        j = i + 6;
    else
        return false;
    while (j < n && IsSpace(d[j]))
        ++j;
    return j < n && d[j] == '>';
}

PlistShape MeasureXml(const char* d, std::size_t n) {
    enum State {
        Markup,
        Comment,
        CData,
        Instruction,
        InstructionQuote,
        Declaration,
        DeclarationQuote
    };
    State state = Markup;
    long depth = 0;
    long values = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const char c = d[i];
        // Opening tags count wherever they stand, also where this scan takes
        // the text for a comment: if the parser disagrees, it only ever sees
        // fewer.
        if (c == '<') {
            if (i + 1 < n && std::isalpha(static_cast<unsigned char>(d[i + 1])) &&
                ++values > kMaxSettingsValues)
                return PlistShape::TooManyValues;
            if (OpensContainer(d, n, i) && ++depth > kMaxSettingsDepth)
                return PlistShape::TooDeep;
        }
        switch (state) {
        case Markup:
            if (c != '<')
                break;
            if (At(d, n, i, "<!--")) {
                state = Comment;
                i += 3;
            } else if (At(d, n, i, "<![CDATA[")) {
                state = CData;
                i += 8;
            } else if (At(d, n, i, "<?")) {
                state = Instruction;
                i += 1;
            } else if (At(d, n, i, "<!")) {
                state = Declaration;
                i += 1;
            } else if (ClosesContainer(d, n, i) && depth > 0) {
                --depth;
            }
            break;
        case Comment:
            if (At(d, n, i, "-->")) {
                state = Markup;
                i += 2;
            }
            break;
        case CData:
            if (At(d, n, i, "]]>")) {
                state = Markup;
                i += 2;
            }
            break;
        case Instruction:
            if (c == '"') {
                state = InstructionQuote;
            } else if (At(d, n, i, "?>")) {
                state = Markup;
                i += 1;
            }
            break;
        case InstructionQuote:
            if (c == '"')
                state = Instruction;
            break;
        case Declaration:
            if (c == '"')
                state = DeclarationQuote;
            else if (c == '[') // an internal subset: no settings file has one
                return PlistShape::Malformed;
            else if (c == '>')
                state = Markup;
            break;
        case DeclarationQuote:
            if (c == '"')
                state = Declaration;
            break;
        }
    }
    return PlistShape::Acceptable;
}

uint64_t BigEndian(const unsigned char* p, std::size_t bytes) {
    uint64_t v = 0;
    for (std::size_t i = 0; i < bytes; ++i)
        v = (v << 8) | p[i];
    return v;
}

PlistShape MeasureBinary(const unsigned char* d, std::size_t n) {
    if (n < 8 + 32)
        return PlistShape::Malformed;
    const unsigned char* trailer = d + n - 32;
    const std::size_t offsetSize = trailer[6];
    const std::size_t refSize = trailer[7];
    const uint64_t objects = BigEndian(trailer + 8, 8);
    const uint64_t root = BigEndian(trailer + 16, 8);
    const uint64_t table = BigEndian(trailer + 24, 8);
    const std::size_t end = n - 32;
    if (offsetSize < 1 || offsetSize > 8 || refSize < 1 || refSize > 8 || objects == 0 ||
        root >= objects || table < 8 || table > end)
        return PlistShape::Malformed;
    if (objects > static_cast<uint64_t>(kMaxSettingsValues))
        return PlistShape::TooManyValues;
    if ((end - table) / offsetSize < objects)
        return PlistShape::Malformed;

    struct Node {
        std::size_t first = 0; // position of the first reference
        std::size_t refs = 0;
        bool container = false;
        uint8_t state = 0; // 0 new, 1 on the path, 2 measured
        int depth = 0;
        long values = 0;
    };
    std::vector<Node> nodes(static_cast<std::size_t>(objects));
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        const uint64_t at = BigEndian(d + table + i * offsetSize, offsetSize);
        if (at < 8 || at >= table)
            return PlistShape::Malformed;
        const unsigned char marker = d[at];
        const unsigned type = marker >> 4;
        const bool text = type == 0x5 || type == 0x6; // ASCII or UTF-16
        if (!text && type != 0xA && type != 0xC && type != 0xD)
            continue;
        uint64_t count = marker & 0x0F;
        std::size_t pos = static_cast<std::size_t>(at) + 1;
        if (count == 0x0F) {
            if (pos >= table || (d[pos] >> 4) != 0x1)
                return PlistShape::Malformed;
            const std::size_t bytes = std::size_t(1) << (d[pos] & 0x0F);
            if (bytes > 8 || pos + 1 + bytes > table)
                return PlistShape::Malformed;
            count = BigEndian(d + pos + 1, bytes);
            pos += 1 + bytes;
        }
        if (text) {
            // No settings text holds a NUL, and the parser's key reader
            // aborts the program on a key with one inside.
            const std::size_t unit = type == 0x6 ? 2 : 1;
            if (count > (table - pos) / unit)
                return PlistShape::Malformed;
            for (std::size_t c = 0; c < count; ++c)
                if (BigEndian(d + pos + c * unit, unit) == 0)
                    return PlistShape::Malformed;
            continue;
        }
        const uint64_t refs = count * (type == 0xD ? 2 : 1);
        if (count > n || refs > (table - pos) / refSize)
            return PlistShape::Malformed;
        nodes[i].first = pos;
        nodes[i].refs = static_cast<std::size_t>(refs);
        nodes[i].container = true;
    }

    struct Frame {
        std::size_t node;
        std::size_t next = 0;
        int deepest = 0;
        long values = 1;
    };
    std::vector<Frame> path;
    path.push_back(Frame{static_cast<std::size_t>(root)});
    nodes[static_cast<std::size_t>(root)].state = 1;
    while (!path.empty()) {
        Frame& top = path.back();
        Node& node = nodes[top.node];
        if (top.next < node.refs) {
            const uint64_t child = BigEndian(d + node.first + top.next * refSize, refSize);
            ++top.next;
            if (child >= objects)
                return PlistShape::Malformed;
            Node& c = nodes[static_cast<std::size_t>(child)];
            if (c.state == 1)
                return PlistShape::Malformed; // a list that contains itself
            if (c.state == 2) {
                top.deepest = top.deepest > c.depth ? top.deepest : c.depth;
                top.values += c.values;
                if (top.values > kMaxSettingsValues)
                    return PlistShape::TooManyValues;
                continue;
            }
            if (c.container && path.size() >= static_cast<std::size_t>(kMaxSettingsDepth))
                return PlistShape::TooDeep;
            c.state = 1;
            path.push_back(Frame{static_cast<std::size_t>(child)});
            continue;
        }
        node.state = 2;
        node.depth = top.deepest + (node.container ? 1 : 0);
        node.values = top.values;
        if (node.depth > kMaxSettingsDepth)
            return PlistShape::TooDeep;
        const Frame done = top;
        path.pop_back();
        if (!path.empty()) {
            Frame& parent = path.back();
            parent.deepest = parent.deepest > node.depth ? parent.deepest : node.depth;
            parent.values += done.values;
            if (parent.values > kMaxSettingsValues)
                return PlistShape::TooManyValues;
        }
    }
    return PlistShape::Acceptable;
}

} // namespace

PlistShape MeasurePlist(const char* data, std::size_t size) {
    if (data == nullptr)
        return PlistShape::Malformed;
    if (size >= 8 && std::memcmp(data, "bplist", 6) == 0)
        return MeasureBinary(reinterpret_cast<const unsigned char*>(data), size);
    return MeasureXml(data, size);
}
