// A throw-away package folder for tests: a fake program file, its settings
// file (XML or binary property list) and firmware files, with the process's
// bundle pointed at it for as long as the object lives.
#pragma once

#include "settings/BundleUtilities.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <plist/plist.h>

#include <map>
#include <string>

class TestPackage {
public:
    using Section = std::map<std::string, std::string>;

    explicit TestPackage(const QString& programName = QStringLiteral("Quenlo")) {
        m_bundle.executablePath = m_dir.path() + QLatin1Char('/') + programName;
        m_bundle.identifier = programName;
        WriteFile(programName, QByteArray());
        SetMainBundleOverride(&m_bundle);
    }
    ~TestPackage() { SetMainBundleOverride(nullptr); }
    TestPackage(const TestPackage&) = delete;
    TestPackage& operator=(const TestPackage&) = delete;

    QString Path(const QString& name) const { return m_dir.path() + QLatin1Char('/') + name; }
    QString Dir() const { return m_dir.path(); }

    bool WriteFile(const QString& name, const QByteArray& bytes) const {
        QFile file(Path(name));
        return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
               file.write(bytes) == bytes.size();
    }

    // Writes <program>.plist with the given sections of string values.
    void WriteSettings(const std::map<std::string, Section>& sections, bool binary = false) const {
        WriteFile(m_bundle.identifier + QStringLiteral(".plist"), SettingsBytes(sections, binary));
    }

    void WriteRoot(plist_t root, bool binary = false) const {
        WriteFile(m_bundle.identifier + QStringLiteral(".plist"), RootBytes(root, binary));
    }

    // A settings file of the given sections, to be written anywhere.
    static QByteArray SettingsBytes(const std::map<std::string, Section>& sections,
                                    bool binary = false) {
        plist_t root = plist_new_dict();
        for (const auto& [name, keys] : sections) {
            plist_t dict = plist_new_dict();
            for (const auto& [key, value] : keys)
                plist_dict_set_item(dict, key.c_str(), plist_new_string(value.c_str()));
            plist_dict_set_item(root, name.c_str(), dict);
        }
        const QByteArray bytes = RootBytes(root, binary);
        plist_free(root);
        return bytes;
    }

    static QByteArray RootBytes(plist_t root, bool binary) {
        char* data = nullptr;
        uint32_t length = 0;
        if (binary)
            plist_to_bin(root, &data, &length);
        else
            plist_to_xml(root, &data, &length);
        const QByteArray bytes(data, int(length));
        if (binary)
            plist_to_bin_free(data);
        else
            plist_to_xml_free(data);
        return bytes;
    }

private:
    QTemporaryDir m_dir;
    CBundle m_bundle;
};
