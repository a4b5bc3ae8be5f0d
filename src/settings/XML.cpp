#include "XML.h"

#include "AsciiText.h"
#include "BundleUtilities.h"

#include <QFile>
#include <plist/plist.h>

#include <cstdio>
#include <cstdlib>

namespace {

// A settings file is a few kilobytes; anything far larger is not one, and
// reading it whole would only cost memory.
constexpr qint64 kMaxSettingsFileSize = 16 * 1024 * 1024;

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
    if (!path.isNull())
        Load(path);
}

CXML::CXML(const QString& path) {
    Load(path);
}

CXML::~CXML() {
    if (m_dict != nullptr)
        plist_free(static_cast<plist_t>(m_dict));
}

void CXML::Load(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxSettingsFileSize)
        return;
    const QByteArray data = file.readAll();
    if (data.isEmpty())
        return;
    plist_t root = nullptr;
    plist_from_memory(data.constData(), static_cast<uint32_t>(data.size()), &root);
    if (root == nullptr)
        return;
    if (plist_get_node_type(root) != PLIST_DICT) {
        plist_free(root);
        return;
    }
    m_dict = root;
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
