#include "AsciiText.h"
#include "BundleUtilities.h"

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

TEST(Paths, FileBesideTheProgram) {
    WithBundle bundle("/Volumes/Disk/Update/Tool.app");
    EXPECT_EQ(GetAPDirectoryFileName("A.bin", true), QStringLiteral("/Volumes/Disk/Update/A.bin"));
    EXPECT_EQ(GetAPDirectoryFileName("A.bin", false),
              QStringLiteral("file:///Volumes/Disk/Update/A.bin"));
    EXPECT_TRUE(GetAPDirectoryFileName(QString(), true).isNull());
}

TEST(Paths, UrlFormEscapesTheFolderButNotTheName) {
    WithBundle bundle("/opt/My Update/Quenlo");
    EXPECT_EQ(GetAPDirectoryFileName("a b.bin", false),
              QStringLiteral("file:///opt/My%20Update/a b.bin"));
}

TEST(Paths, ProgramInTheRootFolder) {
    WithBundle bundle("/Quenlo");
    EXPECT_EQ(GetAPDirectoryFileName("A.bin", true), QStringLiteral("/A.bin"));
}

TEST(Paths, NoFolderNoPath) {
    WithBundle bundle("Quenlo");
    EXPECT_TRUE(GetAPDirectoryFileName("A.bin", true).isNull());
}

TEST(Paths, RunningProgramIsFound) {
    const CBundle* bundle = GetMainBundle();
    ASSERT_NE(bundle, nullptr);
    EXPECT_EQ(bundle->identifier, QStringLiteral("settings_tests"));
    EXPECT_TRUE(GetAPDirectoryFileName("x", true).endsWith("/x"));
}

TEST(Texts, Combining) {
    EXPECT_TRUE(CombiningTwoString(QString(), "b").isNull());
    EXPECT_EQ(CombiningTwoString("a", QString()), QStringLiteral("a"));
    EXPECT_EQ(CombiningTwoString("a", "b"), QStringLiteral("ab"));
    EXPECT_EQ(CombiningTwoString("", "b"), QStringLiteral("b"));
}

TEST(Texts, LocalizedWithoutTranslationIsTheKey) {
    const CBundle* bundle = GetMainBundle();
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

} // namespace
