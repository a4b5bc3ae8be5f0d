// Reader of the package's settings file (an XML or binary property list whose
// root dictionary holds one dictionary per section).
#pragma once

#include <QString>

// Why the settings file could not be used.
enum class SettingsProblem {
    None,
    Missing,       // no such file (or no folder to look in)
    Unreadable,    // no right to read it, not a regular file, a read error
    Corrupt,       // not a property list whose root is a dictionary
    TooLarge,      // refused unread: larger than kMaxSettingsFileSize
    TooDeep,       // refused unparsed: nests deeper than kMaxSettingsDepth
    TooManyValues, // refused unparsed: more than kMaxSettingsValues values
    Ambiguous,     // a package folder with several, none named after the program
};

constexpr long long kMaxSettingsFileSize = 16ll * 1024 * 1024;

// The one reader of a settings file, for every program that reads one:
// opened without blocking, a regular file only, at most
// kMaxSettingsFileSize bytes, its nesting and its count of values (those
// reached through shared references of a binary list included) measured
// before the parser sees it. On success *root (a plist_t, freed by the
// caller with plist_free) is the root dictionary and *binary says whether
// the file was a binary list; otherwise *root is null.
SettingsProblem ReadSettingsPlist(const QString& path, void** root, bool* binary = nullptr);

class CXML {
public:
    CXML();
    // Reads the given file instead of the package's own (tests, tools).
    explicit CXML(const QString& path);
    ~CXML();
    CXML(const CXML&) = delete;
    CXML& operator=(const CXML&) = delete;

    bool IsLoaded() const { return m_dict != nullptr; }
    SettingsProblem Problem() const { return m_problem; }
    // The file that was (or would have been) read.
    const QString& Path() const { return m_path; }
    // Null when there is no root, section or key, or the value is not a
    // usable string (not a string, longer than 255 characters, not ASCII).
    QString ReadStringValue(const QString& section, const QString& key) const;
    // Decimal, or hexadecimal when "0x" occurs anywhere in any case; 0 when
    // absent or unusable.
    int ReadIntValue(const QString& section, const QString& key) const;

private:
    void Load(const QString& path);
    void* m_dict = nullptr; // plist_t; owned
    SettingsProblem m_problem = SettingsProblem::None;
    QString m_path;
};
