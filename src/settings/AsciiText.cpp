#include "settings/AsciiText.h"

bool CopyAsciiText(const QString& text, char* out, std::size_t size) {
    if (out == nullptr || size == 0)
        return false;
    out[0] = '\0';
    if (text.isNull() || static_cast<std::size_t>(text.size()) >= size)
        return false;
    for (QChar c : text) {
        // A NUL would silently end the C string early, so it is as unusable
        // as a character outside ASCII.
        if (c.unicode() == 0 || c.unicode() > 0x7F)
            return false;
    }
    const QByteArray bytes = text.toLatin1();
    std::copy(bytes.cbegin(), bytes.cend(), out);
    out[bytes.size()] = '\0';
    return true;
}
