// Reader of the package's settings file (an XML or binary property list whose
// root dictionary holds one dictionary per section).
#pragma once

#include <QString>

class CXML {
public:
    CXML();
    // Reads the given file instead of the package's own (tests, tools).
    explicit CXML(const QString& path);
    ~CXML();
    CXML(const CXML&) = delete;
    CXML& operator=(const CXML&) = delete;

    bool IsLoaded() const { return m_dict != nullptr; }
    // Null when there is no root, section or key, or the value is not a
    // usable string (not a string, longer than 255 characters, not ASCII).
    QString ReadStringValue(const QString& section, const QString& key) const;
    // Decimal, or hexadecimal when "0x" occurs anywhere in any case; 0 when
    // absent or unusable.
    int ReadIntValue(const QString& section, const QString& key) const;

private:
    void Load(const QString& path);
    void* m_dict = nullptr; // plist_t; owned
};
