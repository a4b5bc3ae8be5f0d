#include "settings/XML.h"

#include "settings/AsciiText.h"
#include "settings/BundleUtilities.h"

#include "settings/PlistShape.h"

#include <plist/plist.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

plist_t SectionItem(void* root, const QString& section, const QString& key) {
    if (root == nullptr)
        return nullptr;
    plist_t dict = plist_dict_get_item(static_cast<plist_t>(root), section.toUtf8().constData());
    if (dict == nullptr || plist_get_node_type(dict) != PLIST_DICT)
        return nullptr;
    return plist_dict_get_item(dict, key.toUtf8().constData());
}

} // namespace

CXML::CXML() {
    QString name = QStringLiteral("Quenlo.plist");
    if (const CBundle* bundle = GetMainBundle())
        name = CombiningTwoString(bundle->identifier, QStringLiteral(".plist"));
    const QString path = GetAPDirectoryFileName(name, true);
    if (!path.isNull()) {
        Load(path);
    } else {
        m_path = name;
        m_problem = SettingsProblem::Missing;
    }
}

CXML::CXML(const QString& path) {
    Load(path);
}

CXML::~CXML() {
    if (m_dict != nullptr)
        plist_free(static_cast<plist_t>(m_dict));
}

SettingsProblem ReadSettingsPlist(const QString& path, void** rootOut, bool* binary) {
    *rootOut = nullptr;
    if (binary != nullptr)
        *binary = false;
    const QByteArray name = path.toLocal8Bit();
    // Non-blocking, so that a FIFO in the settings file's place cannot hold
    // the start; it is then refused as not a regular file.
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return (errno == ENOENT || errno == ENOTDIR) ? SettingsProblem::Missing
                                                     : SettingsProblem::Unreadable;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return SettingsProblem::Unreadable;
    }
    // A settings file is a few kilobytes: a far larger one is refused
    // before a byte of it is read.
    if (info.st_size > kMaxSettingsFileSize) {
        ::close(fd);
        return SettingsProblem::TooLarge;
    }
    std::vector<char> data;
    data.reserve(static_cast<size_t>(info.st_size));
    char chunk[65536];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            ::close(fd);
            return SettingsProblem::Unreadable;
        }
        if (n == 0)
            break;
        // The file may grow after it was measured.
        if (static_cast<long long>(data.size()) + n > kMaxSettingsFileSize) {
            ::close(fd);
            return SettingsProblem::TooLarge;
        }
        data.insert(data.end(), chunk, chunk + n);
    }
    ::close(fd);
    if (data.empty())
        return SettingsProblem::Corrupt;
    // The parser recurses once per level and allocates per value: a hostile
    // file is refused before it gets there.
    switch (MeasurePlist(data.data(), data.size())) {
    case PlistShape::TooDeep:
        return SettingsProblem::TooDeep;
    case PlistShape::TooManyValues:
        return SettingsProblem::TooManyValues;
    case PlistShape::Malformed:
        return SettingsProblem::Corrupt;
    case PlistShape::Acceptable:
        break;
    }
    plist_t root = nullptr;
    plist_from_memory(data.data(), static_cast<uint32_t>(data.size()), &root);
    if (root == nullptr)
        return SettingsProblem::Corrupt;
    if (plist_get_node_type(root) != PLIST_DICT) {
        plist_free(root);
        return SettingsProblem::Corrupt;
    }
    if (binary != nullptr)
        *binary = data.size() >= 8 && std::memcmp(data.data(), "bplist00", 8) == 0;
    *rootOut = root;
    return SettingsProblem::None;
}

void CXML::Load(const QString& path) {
    m_path = path;
    m_problem = ReadSettingsPlist(path, &m_dict);
}

QString CXML::ReadStringValue(const QString& section, const QString& key) const {
    plist_t item = SectionItem(m_dict, section, key);
    if (item == nullptr || plist_get_node_type(item) != PLIST_STRING)
        return QString();
    uint64_t length = 0;
    const char* text = plist_get_string_ptr(item, &length);
    if (text == nullptr)
        return QString();
    // The rest of the program works with ASCII C strings of at most 255
    // characters; a value that cannot become one is unusable as a whole.
    const QString value = QString::fromUtf8(text, static_cast<qsizetype>(length));
    char probe[kCTextSize];
    return CopyAsciiText(value, probe) ? value : QString();
}

int CXML::ReadIntValue(const QString& section, const QString& key) const {
    plist_t item = SectionItem(m_dict, section, key);
    if (item == nullptr)
        return 0;
    int theValue = 0;
    if (plist_get_node_type(item) == PLIST_UINT) {
        // Vendors may write <integer>; read it rather than ignore it.
        uint64_t number = 0;
        plist_get_uint_val(item, &number);
        theValue = static_cast<int>(static_cast<int64_t>(number));
    } else {
        char text[kCTextSize];
        if (!CopyAsciiText(ReadStringValue(section, key), text))
            return 0;
        // "0x" anywhere, in any case, selects hexadecimal: "10x" reads as 16.
        const bool hex =
            QString::fromLatin1(text).contains(QLatin1String("0x"), Qt::CaseInsensitive);
        theValue = static_cast<int>(std::strtol(text, nullptr, hex ? 16 : 10));
    }
    std::printf("ReadIntValue theValue = %d\n", theValue);
    return theValue;
}
