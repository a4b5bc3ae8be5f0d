#include "cli/PackageCheck.h"

#include "settings/Checksum.h"
#include "settings/PlistShape.h"
#include "settings/XML.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <plist/plist.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <cstdint>
#include <cstdlib>
#include <memory>

namespace {

// The same bounds the wizard applies when it reads the package.
constexpr int kMaxFiles = 100;
constexpr int kMaxModelNames = 5;
constexpr qint64 kMaxFirmwareSize = 0x7fffffff;
constexpr int kMaxOidBytes = 32;
constexpr int kMaxTextLength = 255;

struct PlistDeleter {
    void operator()(plist_t node) const { plist_free(node); }
};
using PlistPtr = std::unique_ptr<void, PlistDeleter>;

enum class Kind { Text, Number };

struct KeyRule {
    const char* key;
    Kind kind;
};

const KeyRule kGeneralKeys[] = {
    {"PID", Kind::Number},      {"VID", Kind::Number},     {"WindowsTitle", Kind::Text},
    {"Encoding", Kind::Number}, {"MDLCnt", Kind::Number},  {"SysOID", Kind::Text},
    {"ModelName", Kind::Text},  {"Mode", Kind::Number},    {"ModuleName", Kind::Text},
    {"Language", Kind::Number}, {"FwCount", Kind::Number}, {"StallTimeout", Kind::Number},
    {"MDL0", Kind::Text},       {"MDL1", Kind::Text},      {"MDL2", Kind::Text},
    {"MDL3", Kind::Text},       {"MDL4", Kind::Text},
};

const KeyRule kFirmwareKeys[] = {
    {"FileName", Kind::Text},
    {"ReleaseDate", Kind::Text},
    {"SHA256", Kind::Text},
};

QStringList DictKeys(plist_t dict) {
    QStringList keys;
    plist_dict_iter it = nullptr;
    plist_dict_new_iter(dict, &it);
    for (;;) {
        char* key = nullptr;
        plist_t child = nullptr;
        plist_dict_next_item(dict, it, &key, &child);
        if (key == nullptr) {
            std::free(key);
            break;
        }
        keys.append(QString::fromUtf8(key));
        std::free(key);
    }
    std::free(it);
    return keys;
}

class Checker {
public:
    Checker(const PackageLocation& location, const PackageCheckOptions& options)
        : m_location(location), m_options(options) {}

    PackageReport Run();

private:
    bool LoadSettings();
    void CheckGeneral();
    void CheckFirmware(int index);
    void CheckExtraSections();
    void WriteChecksums();

    // The value of key as the wizard would read it; records what is wrong.
    bool Text(plist_t section, const QString& where, const char* key, QString* value);
    bool Number(plist_t section, const QString& where, const char* key, long long* value);
    void UnknownKeys(plist_t section, const QString& where, const KeyRule* rules, size_t count);

    void Error(const QString& text) { m_report.errors.append(text); }
    void Warning(const QString& text) { m_report.warnings.append(text); }

    const PackageLocation& m_location;
    const PackageCheckOptions& m_options;
    PackageReport m_report;
    PlistPtr m_root;
    bool m_binary = false;
    long long m_fileCount = 0;
    QStringList m_digests; // per firmware index: the file's SHA-256, empty when unusable
};

bool Checker::LoadSettings() {
    const QString& path = m_location.settingsPath;
    void* root = nullptr;
    const SettingsProblem problem = ReadSettingsPlist(path, &root, &m_binary);
    m_root.reset(static_cast<plist_t>(root));
    switch (problem) {
    case SettingsProblem::None:
        return true;
    case SettingsProblem::Missing:
        Error(QStringLiteral("%1: settings file not found").arg(path));
        break;
    case SettingsProblem::Unreadable:
        Error(QStringLiteral("%1: cannot be read, or not a regular file").arg(path));
        break;
    case SettingsProblem::Corrupt:
        Error(QStringLiteral("%1: not a property list whose root is a dictionary").arg(path));
        break;
    case SettingsProblem::TooLarge:
        Error(QStringLiteral("%1: larger than 16 MiB").arg(path));
        break;
    case SettingsProblem::TooDeep:
        Error(QStringLiteral("%1: nested deeper than %2 levels").arg(path).arg(kMaxSettingsDepth));
        break;
    case SettingsProblem::TooManyValues:
        Error(QStringLiteral("%1: holds more than %2 values").arg(path).arg(kMaxSettingsValues));
        break;
    case SettingsProblem::Ambiguous: // a folder's problem, never a file's
        Error(QStringLiteral("%1: not one settings file").arg(path));
        break;
    }
    return false;
}

bool Checker::Text(plist_t section, const QString& where, const char* key, QString* value) {
    plist_t node = plist_dict_get_item(section, key);
    if (node == nullptr)
        return false;
    if (plist_get_node_type(node) != PLIST_STRING) {
        Error(QStringLiteral("%1/%2: not a string").arg(where, QLatin1String(key)));
        return false;
    }
    uint64_t length = 0;
    const char* text = plist_get_string_ptr(node, &length);
    const QByteArray bytes(text, static_cast<qsizetype>(length));
    for (const char c : bytes) {
        if (static_cast<unsigned char>(c) > 0x7f) {
            Error(QStringLiteral("%1/%2: not ASCII").arg(where, QLatin1String(key)));
            return false;
        }
    }
    if (bytes.size() > kMaxTextLength) {
        Error(QStringLiteral("%1/%2: longer than %3 characters")
                  .arg(where, QLatin1String(key))
                  .arg(kMaxTextLength));
        return false;
    }
    *value = QString::fromLatin1(bytes);
    return true;
}

bool Checker::Number(plist_t section, const QString& where, const char* key, long long* value) {
    plist_t node = plist_dict_get_item(section, key);
    if (node == nullptr)
        return false;
    if (plist_get_node_type(node) == PLIST_UINT) {
        uint64_t number = 0;
        plist_get_uint_val(node, &number);
        *value = static_cast<long long>(number);
        return true;
    }
    QString text;
    if (!Text(section, where, key, &text))
        return false;
    // The reader takes "0x" anywhere as hexadecimal and stops at the first
    // stray character; a vendor means one of the two clean forms.
    static const QRegularExpression decimal(QStringLiteral("^-?[0-9]+$"));
    static const QRegularExpression hex(QStringLiteral("^0[xX][0-9a-fA-F]+$"));
    if (!decimal.match(text).hasMatch() && !hex.match(text).hasMatch()) {
        Error(QStringLiteral("%1/%2: \"%3\" is not a decimal or 0x-hexadecimal number")
                  .arg(where, QLatin1String(key), text));
        return false;
    }
    bool ok = false;
    *value =
        hex.match(text).hasMatch() ? text.mid(2).toLongLong(&ok, 16) : text.toLongLong(&ok, 10);
    if (!ok || *value > INT32_MAX || *value < INT32_MIN) {
        Error(
            QStringLiteral("%1/%2: %3 does not fit 32 bits").arg(where, QLatin1String(key), text));
        return false;
    }
    return true;
}

void Checker::UnknownKeys(plist_t section, const QString& where, const KeyRule* rules,
                          size_t count) {
    for (const QString& key : DictKeys(section)) {
        bool known = false;
        for (size_t i = 0; i < count && !known; ++i)
            known = key == QLatin1String(rules[i].key);
        if (!known)
            Warning(QStringLiteral("%1/%2: unknown key, ignored").arg(where, key));
    }
}

// Bytes of the BER encoding of a dotted object identifier; -1 when it is not
// one (fewer than two arcs, an empty or non-numeric arc, an arc beyond 32
// bits, a first arc above 2 or a second above 39 under 0 and 1).
int OidEncodedLength(const QString& oid) {
    const QStringList arcs = oid.split(QLatin1Char('.'));
    if (arcs.size() < 2)
        return -1;
    std::vector<unsigned long long> values;
    for (const QString& arc : arcs) {
        bool ok = false;
        const unsigned long long v = arc.toULongLong(&ok, 10);
        if (!ok || arc.isEmpty() || !arc.front().isDigit() || v > 0xffffffffULL)
            return -1;
        values.push_back(v);
    }
    if (values[0] > 2 || (values[0] < 2 && values[1] > 39))
        return -1;
    auto width = [](unsigned long long v) {
        int n = 1;
        while (v >= 0x80) {
            v >>= 7;
            ++n;
        }
        return n;
    };
    int length = width(values[0] * 40 + values[1]);
    for (size_t i = 2; i < values.size(); ++i)
        length += width(values[i]);
    return length;
}

void Checker::CheckGeneral() {
    const QString where = QStringLiteral("General");
    plist_t general = plist_dict_get_item(m_root.get(), "General");
    if (general == nullptr || plist_get_node_type(general) != PLIST_DICT) {
        Error(QStringLiteral("no \"General\" section"));
        return;
    }
    UnknownKeys(general, where, kGeneralKeys, std::size(kGeneralKeys));

    QString text;
    for (const char* key : {"WindowsTitle", "ModelName", "ModuleName"}) {
        if (!Text(general, where, key, &text) && plist_dict_get_item(general, key) == nullptr)
            Warning(QStringLiteral("General/%1: missing; the wizard shows nothing there")
                        .arg(QLatin1String(key)));
    }

    long long number = 0;
    long long vid = 0, pid = 0;
    for (const char* key : {"Encoding", "Mode", "Language"})
        Number(general, where, key, &number);
    for (auto [key, value] : {std::pair{"VID", &vid}, std::pair{"PID", &pid}}) {
        if (Number(general, where, key, value) && (*value < 0 || *value > 0xffff))
            Error(QStringLiteral("General/%1: %2 is not a USB ID (0 to 0xFFFF)")
                      .arg(QLatin1String(key))
                      .arg(*value));
    }

    QString oid;
    const bool hasOid = Text(general, where, "SysOID", &oid) && !oid.isEmpty();
    if (hasOid) {
        const int length = OidEncodedLength(oid);
        if (length < 0)
            Error(QStringLiteral("General/SysOID: \"%1\" is not a dotted object identifier")
                      .arg(oid));
        else if (length > kMaxOidBytes)
            Error(QStringLiteral("General/SysOID: encodes to %1 bytes, more than %2")
                      .arg(length)
                      .arg(kMaxOidBytes));
    }
    if (!hasOid && (vid == 0 || pid == 0))
        Error(QStringLiteral("General: no SysOID and no USB vendor and product ID; no printer "
                             "can be found"));
    else if (!hasOid)
        m_report.notes.append(QStringLiteral("no SysOID: a USB-only package"));

    long long models = 0;
    if (Number(general, where, "MDLCnt", &models)) {
        if (models < 0 || models > kMaxModelNames)
            Error(QStringLiteral("General/MDLCnt: %1 is outside 0 to %2")
                      .arg(models)
                      .arg(kMaxModelNames));
        for (long long i = 0; i < std::min<long long>(models, kMaxModelNames); ++i) {
            const QByteArray key = "MDL" + QByteArray::number(i);
            if (plist_dict_get_item(general, key.constData()) == nullptr)
                Error(QStringLiteral("General/%1: missing (MDLCnt is %2)")
                          .arg(QLatin1String(key))
                          .arg(models));
        }
    }

    long long stall = 0;
    if (Number(general, where, "StallTimeout", &stall) && (stall < 5 || stall > 3600))
        Warning(QStringLiteral("General/StallTimeout: %1 s is taken as %2 s")
                    .arg(stall)
                    .arg(std::clamp(stall, 5LL, 3600LL)));

    if (!Number(general, where, "FwCount", &m_fileCount)) {
        if (plist_dict_get_item(general, "FwCount") == nullptr)
            Error(QStringLiteral("General/FwCount: missing; the package sends nothing"));
        m_fileCount = 0;
    } else if (m_fileCount < 1) {
        Error(QStringLiteral("General/FwCount: %1; the package sends nothing").arg(m_fileCount));
        m_fileCount = 0;
    } else if (m_fileCount > kMaxFiles) {
        Error(
            QStringLiteral("General/FwCount: %1 is more than %2").arg(m_fileCount).arg(kMaxFiles));
        m_fileCount = kMaxFiles;
    }
}

void Checker::CheckFirmware(int index) {
    const QString where = QStringLiteral("Fw%1").arg(index);
    m_digests.append(QString());
    plist_t section = plist_dict_get_item(m_root.get(), where.toLatin1().constData());
    if (section == nullptr || plist_get_node_type(section) != PLIST_DICT) {
        Error(QStringLiteral("%1: section missing (FwCount is %2)").arg(where).arg(m_fileCount));
        return;
    }
    UnknownKeys(section, where, kFirmwareKeys, std::size(kFirmwareKeys));
    QString date;
    if (!Text(section, where, "ReleaseDate", &date) &&
        plist_dict_get_item(section, "ReleaseDate") == nullptr)
        Warning(QStringLiteral("%1/ReleaseDate: missing").arg(where));

    QString name;
    if (!Text(section, where, "FileName", &name)) {
        if (plist_dict_get_item(section, "FileName") == nullptr)
            Error(QStringLiteral("%1/FileName: missing").arg(where));
        return;
    }
    const QString path = m_location.folder + QLatin1Char('/') + name;
    const QFileInfo info(path);
    if (!info.exists()) {
        Error(QStringLiteral("%1: %2: file not found").arg(where, name));
        return;
    }
    const QString real = info.canonicalFilePath();
    if (!real.startsWith(m_location.folder + QLatin1Char('/'))) {
        Error(QStringLiteral("%1: %2: lies outside the package folder").arg(where, name));
        return;
    }
    struct stat status {};
    if (::stat(QFile::encodeName(real).constData(), &status) != 0 || !S_ISREG(status.st_mode)) {
        Error(QStringLiteral("%1: %2: not a regular file").arg(where, name));
        return;
    }
    if (status.st_size > kMaxFirmwareSize) {
        Error(QStringLiteral("%1: %2: 2 GiB or larger").arg(where, name));
        return;
    }
    if (status.st_size == 0)
        Warning(QStringLiteral("%1: %2: empty; only its marker is sent").arg(where, name));

    QString expected;
    const bool keyed = Text(section, where, "SHA256", &expected) && !m_options.writeChecksums;
    if (keyed && !IsSha256Text(expected)) {
        Error(QStringLiteral("%1/SHA256: not 64 hexadecimal digits").arg(where));
        return;
    }
    if (!m_options.hashFiles) {
        // Without blocking: a FIFO swapped in since the check must not hold us.
        const int fd =
            ::open(QFile::encodeName(real).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0)
            Error(QStringLiteral("%1: %2: cannot be read: %3")
                      .arg(where, name, QString::fromLocal8Bit(std::strerror(errno))));
        else
            ::close(fd);
        return;
    }
    const FileDigest digest = Sha256OfFile(real);
    if (!digest.ok) {
        Error(QStringLiteral("%1: %2: cannot be read: %3").arg(where, name, digest.error));
        return;
    }
    m_digests.last() = digest.hex;
    if (keyed) {
        if (expected.toLower() != digest.hex) {
            Error(QStringLiteral("%1: %2: SHA256 mismatch: the settings say %3, the file is %4")
                      .arg(where, name, expected.toLower(), digest.hex));
            return;
        }
    }
    m_report.notes.append(QStringLiteral("%1: %2, %3 bytes, SHA256 %4")
                              .arg(where, name)
                              .arg(status.st_size)
                              .arg(digest.hex));
}

void Checker::CheckExtraSections() {
    static const QRegularExpression firmware(QStringLiteral("^Fw([0-9]+)$"));
    for (const QString& key : DictKeys(m_root.get())) {
        const QRegularExpressionMatch match = firmware.match(key);
        if (key == QLatin1String("General"))
            continue;
        if (match.hasMatch() && match.captured(1).toLongLong() < m_fileCount &&
            match.captured(1) == QString::number(match.captured(1).toLongLong()))
            continue;
        Warning(QStringLiteral("%1: section not read (FwCount is %2)").arg(key).arg(m_fileCount));
    }
}

void Checker::WriteChecksums() {
    int written = 0;
    for (int i = 0; i < m_digests.size(); ++i) {
        if (m_digests[i].isEmpty())
            continue;
        const QByteArray where = "Fw" + QByteArray::number(i);
        plist_t section = plist_dict_get_item(m_root.get(), where.constData());
        plist_dict_set_item(section, "SHA256",
                            plist_new_string(m_digests[i].toLatin1().constData()));
        ++written;
    }
    char* bytes = nullptr;
    uint32_t length = 0;
    if (m_binary)
        plist_to_bin(m_root.get(), &bytes, &length);
    else
        plist_to_xml(m_root.get(), &bytes, &length);
    if (bytes == nullptr) {
        Error(QStringLiteral("%1: could not be written").arg(m_location.settingsPath));
        return;
    }
    QByteArray data(bytes, static_cast<qsizetype>(length));
    m_binary ? plist_to_bin_free(bytes) : plist_to_xml_free(bytes);
    if (!m_binary) {
        // The document type line names no schema a reader here needs.
        static const QRegularExpression doctype(QStringLiteral("<!DOCTYPE[^>]*>\\n?"));
        data = QString::fromUtf8(data).remove(doctype).toUtf8();
    }
    // Replaced in one step: a package is never left with half a settings file.
    QSaveFile out(m_location.settingsPath);
    if (!out.open(QIODevice::WriteOnly) || out.write(data) != data.size() || !out.commit()) {
        Error(QStringLiteral("%1: could not be written: %2")
                  .arg(m_location.settingsPath, out.errorString()));
        return;
    }
    m_report.notes.append(
        QStringLiteral("SHA256 written for %1 of %2 file(s)").arg(written).arg(m_fileCount));
}

PackageReport Checker::Run() {
    if (!LoadSettings())
        return m_report;
    CheckGeneral();
    for (int i = 0; i < m_fileCount; ++i)
        CheckFirmware(i);
    CheckExtraSections();
    if (m_options.writeChecksums)
        WriteChecksums();
    m_report.digests = m_digests;
    return m_report;
}

} // namespace

PackageReport CheckPackage(const PackageLocation& location, const PackageCheckOptions& options) {
    return Checker(location, options).Run();
}
