#include "settings/AsciiText.h"
#include "settings/BundleUtilities.h"
#include "settings/PackageFolder.h"
#include "settings/XML.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class WithBundle {
public:
    explicit WithBundle(const QString& path) : m_bundle{path, path.section('/', -1)} {
        SetMainBundleOverride(&m_bundle);
    }
    ~WithBundle() { SetMainBundleOverride(nullptr); }

private:
    CBundle m_bundle;
};

// A file beside the program, as a path and as a URL whose folder (not name)
// is escaped; no folder, no path.
TEST(Paths, FileBesideTheProgram) {
    const struct {
        const char* program;
        const char* name;
        bool asPath;
        const char* expected; // null: no path
    } cases[] = {
        {"/Volumes/Disk/Update/Tool.app", "A.bin", true, "/Volumes/Disk/Update/A.bin"},
        {"/Volumes/Disk/Update/Tool.app", "A.bin", false, "file:///Volumes/Disk/Update/A.bin"},
        {"/Volumes/Disk/Update/Tool.app", nullptr, true, nullptr},
        {"/opt/My Update/Quenlo", "a b.bin", false, "file:///opt/My%20Update/a b.bin"},
        {"/Quenlo", "A.bin", true, "/A.bin"},
        {"Quenlo", "A.bin", true, nullptr},
    };
    for (const auto& c : cases) {
        WithBundle bundle(c.program);
        const QString got = GetAPDirectoryFileName(c.name ? QString(c.name) : QString(), c.asPath);
        if (c.expected == nullptr)
            EXPECT_TRUE(got.isNull()) << c.program;
        else
            EXPECT_EQ(got, QString::fromLatin1(c.expected)) << c.program;
    }
}

TEST(Texts, Combining) {
    EXPECT_TRUE(CombiningTwoString(QString(), "b").isNull());
    EXPECT_EQ(CombiningTwoString("a", QString()), QStringLiteral("a"));
    EXPECT_EQ(CombiningTwoString("a", "b"), QStringLiteral("ab"));
    EXPECT_EQ(CombiningTwoString("", "b"), QStringLiteral("b"));
}

// The running program, found without an override; without a translation a
// text is its key.
TEST(Paths, RunningProgramIsFoundWithItsTexts) {
    const CBundle* bundle = GetMainBundle();
    ASSERT_NE(bundle, nullptr);
    EXPECT_EQ(bundle->identifier, QStringLiteral("settings_tests"));
    EXPECT_TRUE(GetAPDirectoryFileName("x", true).endsWith("/x"));
    EXPECT_EQ(GetLocalizedString(bundle, "IPv4 Address", ":"), QStringLiteral("IPv4 Address:"));
    EXPECT_EQ(GetLocalizedString(bundle, "Cancel"), QStringLiteral("Cancel"));
    EXPECT_EQ(GetLocalizedString(nullptr, "Cancel", ":"), QStringLiteral("Cancel"));
}

TEST(Texts, AsciiConversionIsWholeOrNothing) {
    char out[kCTextSize];
    EXPECT_TRUE(CopyAsciiText(QString(255, 'a'), out));
    EXPECT_EQ(std::strlen(out), 255u);
    EXPECT_FALSE(CopyAsciiText(QString(256, 'a'), out));
    EXPECT_STREQ(out, "");
    EXPECT_FALSE(CopyAsciiText(QStringLiteral("caf\u00e9"), out));
    EXPECT_FALSE(CopyAsciiText(QString(), out));
    EXPECT_FALSE(CopyAsciiText(QString(QChar(0)) + "x", out));
    char small[4];
    EXPECT_FALSE(CopyAsciiText("abcd", small, sizeof small));
    EXPECT_TRUE(CopyAsciiText("abc", small, sizeof small));
}

// ---- a package folder opened from outside ----------------------------------

struct SettingsChoice {
    std::vector<const char*> files; // in the folder; a name ending in "/" is a folder
    const char* identifier;         // expected; null when refused
    SettingsProblem problem;
};

class PackageSettingsTest : public ::testing::TestWithParam<SettingsChoice> {};

TEST_P(PackageSettingsTest, TheOneSettingsFileOrTheProgramsOwn) {
    QTemporaryDir dir;
    for (const char* name : GetParam().files) {
        const QString path = dir.filePath(QString::fromLatin1(name));
        if (path.endsWith('/')) {
            ASSERT_TRUE(QDir().mkpath(path));
        } else {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        }
    }
    const PackageFolderLookup lookup = FindPackageSettings(dir.path(), QStringLiteral("Quenlo"));
    EXPECT_EQ(lookup.problem, GetParam().problem);
    EXPECT_EQ(lookup.identifier, QString::fromLatin1(GetParam().identifier));
    EXPECT_EQ(lookup.folder, QFileInfo(dir.path()).canonicalFilePath());
}

INSTANTIATE_TEST_SUITE_P(
    Folders, PackageSettingsTest,
    ::testing::Values(
        SettingsChoice{{}, "", SettingsProblem::Missing},
        SettingsChoice{{"a.bin", "Quenlo"}, "", SettingsProblem::Missing},
        SettingsChoice{{"Vendor Tool.plist", "a.bin"}, "Vendor Tool", SettingsProblem::None},
        SettingsChoice{{"Old.plist", "Quenlo.plist"}, "Quenlo", SettingsProblem::None},
        SettingsChoice{{"One.plist", "Two.plist"}, "", SettingsProblem::Ambiguous},
        // Another system's hidden companions and folders do not count.
        SettingsChoice{{"._Vendor.plist", "Vendor.plist"}, "Vendor", SettingsProblem::None},
        SettingsChoice{{"Backup.plist/", "Vendor.plist"}, "Vendor", SettingsProblem::None},
        SettingsChoice{{"Quenlo.plist.orig", "quenlo.PLIST"}, "", SettingsProblem::Missing}));

TEST(PackageFolder, AGivenSettingsFileNamesItsPackage) {
    QTemporaryDir dir;
    QFile file(dir.filePath("Vendor.v2.plist"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    const PackageFolderLookup lookup = FindPackageSettings(file.fileName(), "Quenlo");
    EXPECT_EQ(lookup.problem, SettingsProblem::None);
    EXPECT_EQ(lookup.identifier, QStringLiteral("Vendor.v2"));
    EXPECT_EQ(FindPackageSettings(dir.filePath("gone"), "Quenlo").problem,
              SettingsProblem::Missing);

    // The cores then read that folder as a copy of the program inside it.
    ASSERT_TRUE(UsePackageFolder(lookup));
    const QString folder = QFileInfo(dir.path()).canonicalFilePath();
    EXPECT_EQ(GetAPDirectoryFileName("a.bin", true), folder + "/a.bin");
    EXPECT_EQ(CXML().Path(), folder + "/Vendor.v2.plist");
    SetMainBundleOverride(nullptr);
    EXPECT_FALSE(UsePackageFolder(FindPackageSettings(dir.filePath("gone"), "Quenlo")));
}

} // namespace
