#include "TestPackage.h"
#include "settings/PlistShape.h"
#include "settings/SettingsData.h"
#include "settings/XML.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

// Texts read in full when a comparison fails.
void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace {

using Sections = std::map<std::string, TestPackage::Section>;

// The binary one is named after a program of another name: the settings file
// follows the program's name.
TEST(Settings, ReadsEveryGeneralFieldFromXmlAndBinary) {
    for (bool binary : {false, true}) {
        TestPackage package(binary ? QStringLiteral("Vendor-Updater") : QStringLiteral("Quenlo"));
        package.WriteFile("a.bin", QByteArray(10, 'a'));
        package.WriteSettings({{"General",
                                {{"PID", "0x0123"},
                                 {"VID", "1234"},
                                 {"WindowsTitle", "Updater"},
                                 {"Encoding", "3"},
                                 {"MDLCnt", "2"},
                                 {"MDL0", "M-100"},
                                 {"MDL1", "M-200"},
                                 {"MDL2", "not read"},
                                 {"SysOID", "1.3.6.1.4.1.99.1"},
                                 {"ModelName", "Model 100"},
                                 {"Mode", "4"},
                                 {"ModuleName", "Module X"},
                                 {"Language", "1"},
                                 {"FwCount", "1"}}},
                               {"Fw0", {{"FileName", "a.bin"}, {"ReleaseDate", "2026-01-02"}}}},
                              binary);
        LoadPackageSettings();
        SCOPED_TRACE(binary ? "binary" : "xml");
        const auto& fw = m_Settings.BinfileListdata[0];
        EXPECT_EQ((std::vector<int>{m_Settings.nPID, m_Settings.nVID, m_Settings.nEncoding,
                                    m_Settings.nMDLCount, m_Settings.nMode, m_Settings.nLanguage}),
                  (std::vector<int>{0x123, 1234, 3, 2, 4, 1}));
        EXPECT_EQ((QStringList{m_Settings.szWindowsTitle, m_Settings.szMDL[1], m_Settings.szSysOID,
                               m_Settings.szModelName, m_Settings.szModuleName, fw.szFileName,
                               fw.szFileSize, fw.szReleaseDate}),
                  (QStringList{"Updater", "M-200", "1.3.6.1.4.1.99.1", "Model 100", "Module X",
                               "a.bin", "10", "2026-01-02"}));
        EXPECT_TRUE(m_Settings.szMDL[2].isNull());
    }
}

TEST(Settings, CountsAreCappedAndNegativeCountsReadNothing) {
    TestPackage package;
    Sections sections{{"General", {{"FwCount", "150"}, {"MDLCnt", "9"}}}};
    for (int i = 0; i < 5; ++i)
        sections["General"]["MDL" + std::to_string(i)] = "M" + std::to_string(i);
    for (int i = 0; i < 150; ++i)
        sections["Fw" + std::to_string(i)] = {{"FileName", "f" + std::to_string(i)}};
    package.WriteSettings(sections);
    LoadPackageSettings();
    EXPECT_EQ(m_Settings.nFWCount, 100);
    EXPECT_EQ(m_Settings.BinfileListdata[99].szFileName, QStringLiteral("f99"));
    EXPECT_EQ(m_Settings.nMDLCount, 5);
    EXPECT_EQ(m_Settings.szMDL[4], QStringLiteral("M4"));

    // One over the bound is the first value cut back; the bound itself stays.
    for (const auto& [written, kept] :
         std::vector<std::pair<std::string, int>>{{"6", 5}, {"5", 5}}) {
        sections["General"]["MDLCnt"] = written;
        package.WriteSettings(sections);
        LoadPackageSettings();
        EXPECT_EQ(m_Settings.nMDLCount, kept) << written;
        EXPECT_EQ(m_Settings.szMDL[4], QStringLiteral("M4")) << written;
    }

    package.WriteSettings({{"General", {{"FwCount", "-3"}}}, {"Fw0", {{"FileName", "x"}}}});
    LoadPackageSettings();
    EXPECT_EQ(m_Settings.nFWCount, -3);
    EXPECT_EQ(m_Settings.FirmwareCount(), 0);
    EXPECT_TRUE(m_Settings.BinfileListdata[0].szFileName.isNull());
}

TEST(Settings, IntegerTexts) {
    TestPackage package;
    const std::vector<std::pair<std::string, int>> cases = {
        {"0x1234", 4660}, {"0X10", 16},       {"16", 16},    {"10x", 16}, {"abc", 0},
        {"-5", -5},       {"0xffffffff", -1}, {"0310", 310}, {"010", 10}};
    TestPackage::Section general;
    for (size_t i = 0; i < cases.size(); ++i)
        general["K" + std::to_string(i)] = cases[i].first;
    package.WriteSettings({{"General", general}});
    const CXML xml;
    for (size_t i = 0; i < cases.size(); ++i)
        EXPECT_EQ(xml.ReadIntValue("General", QString::fromStdString("K" + std::to_string(i))),
                  cases[i].second)
            << cases[i].first;
    EXPECT_EQ(xml.ReadIntValue("General", "Absent"), 0);
    EXPECT_EQ(xml.ReadIntValue("Absent", "K0"), 0);
}

TEST(Settings, IntegerElementsAreReadToo) {
    TestPackage package;
    plist_t root = plist_new_dict();
    plist_t general = plist_new_dict();
    plist_dict_set_item(general, "VID", plist_new_uint(0x4b8));
    plist_dict_set_item(general, "ModelName", plist_new_uint(5));
    plist_dict_set_item(root, "General", general);
    plist_dict_set_item(root, "Fw0", plist_new_string("not a section"));
    package.WriteRoot(root);
    plist_free(root);
    const CXML xml;
    EXPECT_EQ(xml.ReadIntValue("General", "VID"), 0x4b8);
    EXPECT_TRUE(xml.ReadStringValue("General", "ModelName").isNull());
    EXPECT_TRUE(xml.ReadStringValue("Fw0", "FileName").isNull());
}

TEST(Settings, UnusableTextsAreNullAsAWhole) {
    TestPackage package;
    const std::string longText(256, 'x');
    package.WriteSettings({{"General",
                            {{"WindowsTitle", longText},
                             {"ModelName", std::string(255, 'y')},
                             {"ModuleName", "Dru\xC3\xA7ker"},
                             {"PID", "12" + std::string(300, '3')}}}});
    LoadPackageSettings();
    EXPECT_TRUE(m_Settings.szWindowsTitle.isNull());
    EXPECT_EQ(m_Settings.szModelName.size(), 255);
    EXPECT_TRUE(m_Settings.szModuleName.isNull());
    EXPECT_EQ(m_Settings.nPID, 0);
}

// What the download could not send is listed as 0 bytes: missing, a folder,
// a FIFO (never waited on), outside the package, a path too long for a C
// string.
TEST(Settings, FirmwareFileSizes) {
    TestPackage package;
    package.WriteFile("big.bin", QByteArray(1024 * 1024, '\x5a'));
    package.WriteFile("readonly.bin", QByteArray(3, 'r'));
    ::chmod(package.Path("readonly.bin").toLocal8Bit().constData(), 0444);
    QDir(package.Dir()).mkdir("folder.bin");
    ASSERT_EQ(mkfifo(package.Path("fifo.bin").toLocal8Bit().constData(), 0600), 0);
    const std::string longName(250, 'n');
    package.WriteFile(QString::fromStdString(longName), QByteArray(9, '9'));
    ASSERT_GT(package.Path(QString::fromStdString(longName)).size(), 255);
    package.WriteSettings({{"General", {{"FwCount", "8"}}},
                           {"Fw0", {{"FileName", "big.bin"}, {"ReleaseDate", "d0"}}},
                           {"Fw1", {{"FileName", "missing.bin"}}},
                           {"Fw2", {{"FileName", "readonly.bin"}}},
                           {"Fw3", {{"FileName", "folder.bin"}}},
                           {"Fw4", {{"FileName", "fifo.bin"}}},
                           {"Fw5", {{"FileName", "../../../../../../etc/passwd"}}},
                           {"Fw6", {{"FileName", longName}}}});
    LoadPackageSettings();
    const auto& files = m_Settings.BinfileListdata;
    EXPECT_EQ(files[0].szFileSize, QStringLiteral("1048576"));
    // Read-only firmware is still firmware: it is measured, not taken as missing.
    EXPECT_EQ(files[2].szFileSize, QStringLiteral("3"));
    for (int i : {1, 3, 4, 5, 6})
        EXPECT_EQ(files[i].szFileSize, QStringLiteral("0")) << i;
    // Fw7 is counted but absent: an empty row.
    EXPECT_TRUE(files[7].szFileName.isNull());
    EXPECT_TRUE(files[7].szFileSize.isNull());
    EXPECT_TRUE(files[7].szReleaseDate.isNull());
}

// ------------------------------------------------------ refused and broken files

QByteArray Nested(int levels, const QByteArray& open = "<array>",
                  const QByteArray& close = "</array>") {
    return "<plist><dict><key>General</key><dict><key>FwCount</key><string>1</string>"
           "</dict><key>Deep</key>" +
           open.repeated(levels) + close.repeated(levels) + "</dict></plist>";
}

SettingsProblem ProblemOf(TestPackage& package, const QByteArray& text) {
    package.WriteFile("Quenlo.plist", text);
    LoadPackageSettings();
    return LastSettingsLoad().problem;
}

// A file that cannot be used leaves the defaults, and says why.
TEST(SettingsSafety, EachWayAFileFailsHasItsReasonAndPath) {
    TestPackage package;
    m_Settings.nFWCount = 7;
    LoadPackageSettings();
    EXPECT_EQ(LastSettingsLoad().problem, SettingsProblem::Missing);
    EXPECT_EQ(LastSettingsLoad().path, package.Path("Quenlo.plist"));
    EXPECT_EQ(m_Settings.szCommunity, QStringLiteral("orchid"));
    EXPECT_EQ(m_Settings.nPortType, 0);
    EXPECT_EQ(m_Settings.nFWCount, 0);
    EXPECT_TRUE(m_Settings.szSysOID.isNull());
    EXPECT_TRUE(m_Settings.szWindowsTitle.isNull());

    EXPECT_EQ(ProblemOf(package, "<plist><dict><key>General</key>"), SettingsProblem::Corrupt);
    EXPECT_EQ(m_Settings.szCommunity, QStringLiteral("orchid"));
    EXPECT_EQ(ProblemOf(package, ""), SettingsProblem::Corrupt);
    // A root that is no dictionary is no settings file.
    EXPECT_EQ(ProblemOf(package, "<plist><array><string>x</string></array></plist>"),
              SettingsProblem::Corrupt);
    EXPECT_FALSE(CXML().IsLoaded());
    EXPECT_EQ(ProblemOf(package, Nested(3)), SettingsProblem::None);
    EXPECT_EQ(m_Settings.nFWCount, 1);

    // A folder or a FIFO in the file's place: refused, never waited on.
    package.WriteFile("Quenlo.plist", "");
    ASSERT_EQ(unlink(package.Path("Quenlo.plist").toLocal8Bit().constData()), 0);
    ASSERT_EQ(mkfifo(package.Path("Quenlo.plist").toLocal8Bit().constData(), 0600), 0);
    LoadPackageSettings();
    EXPECT_EQ(LastSettingsLoad().problem, SettingsProblem::Unreadable);
    unlink(package.Path("Quenlo.plist").toLocal8Bit().constData());

    if (geteuid() != 0) {
        package.WriteFile("Quenlo.plist", Nested(1));
        chmod(package.Path("Quenlo.plist").toLocal8Bit().constData(), 0);
        LoadPackageSettings();
        EXPECT_EQ(LastSettingsLoad().problem, SettingsProblem::Unreadable);
    }
}

TEST(SettingsSafety, NestingIsRefusedFromThirtyThreeLevelsOn) {
    TestPackage package;
    // The root dictionary is one level, so 31 arrays make 32.
    EXPECT_EQ(ProblemOf(package, Nested(31)), SettingsProblem::None);
    EXPECT_EQ(m_Settings.nFWCount, 1);
    EXPECT_EQ(ProblemOf(package, Nested(32)), SettingsProblem::TooDeep);
    EXPECT_EQ(m_Settings.nFWCount, 0) << "a refused file gives the defaults";
    EXPECT_EQ(m_Settings.szCommunity, QStringLiteral("orchid"));
    EXPECT_EQ(ProblemOf(package, Nested(32, "<dict><key>k</key>", "</dict>")),
              SettingsProblem::TooDeep);
    // What crashed the parser: 200000 levels.
    EXPECT_EQ(ProblemOf(package, Nested(200000)), SettingsProblem::TooDeep);
    // Empty containers do not nest; closing tags hidden in comments and
    // quoted declarations do not close anything.
    const QByteArray flat = QByteArray("<key>e</key><array/><key>f</key><dict />").repeated(100);
    EXPECT_EQ(
        ProblemOf(package, "<plist><dict><key>General</key><dict/>" + flat + "</dict></plist>"),
        SettingsProblem::None);
    const QByteArray hidden =
        QByteArray("<array><!-- </array> --><?x \"?></array>\"?>").repeated(40);
    EXPECT_EQ(ProblemOf(package, "<plist>" + hidden), SettingsProblem::TooDeep);
}

TEST(SettingsSafety, SizeAndValueCountAreBounded) {
    TestPackage package;
    QByteArray big = Nested(1);
    big.resize(qsizetype(kMaxSettingsFileSize) + 1, ' ');
    EXPECT_EQ(ProblemOf(package, big), SettingsProblem::TooLarge);
    // 16 MiB of <true/> would cost hundreds of megabytes once parsed.
    const QByteArray many = QByteArray("<true/>").repeated(qsizetype(kMaxSettingsValues) + 1);
    EXPECT_EQ(ProblemOf(package, "<plist><array>" + many + "</array></plist>"),
              SettingsProblem::TooManyValues);
}

TEST(SettingsSafety, BinaryListsAreMeasuredByTheirReferences) {
    // Deep nesting, written by the library itself.
    TestPackage package;
    for (int levels : {31, 32}) {
        plist_t root = plist_new_dict();
        plist_t general = plist_new_dict();
        plist_dict_set_item(general, "FwCount", plist_new_string("1"));
        plist_dict_set_item(root, "General", general);
        plist_t inner = plist_new_array();
        plist_t top = inner;
        for (int i = 1; i < levels; ++i) {
            plist_t next = plist_new_array();
            plist_array_append_item(inner, next);
            inner = next;
        }
        plist_dict_set_item(root, "Deep", top);
        package.WriteRoot(root, true);
        plist_free(root);
        LoadPackageSettings();
        EXPECT_EQ(LastSettingsLoad().problem,
                  levels == 31 ? SettingsProblem::None : SettingsProblem::TooDeep)
            << levels;
    }

    // Hand-made: an array that holds itself, and arrays that each refer to
    // the next one twice (2^40 values once copied out).
    auto bplist = [](const std::vector<std::vector<unsigned char>>& objects, unsigned root) {
        QByteArray out = "bplist00";
        std::vector<qsizetype> offsets;
        for (const auto& o : objects) {
            offsets.push_back(out.size());
            out.append(reinterpret_cast<const char*>(o.data()), qsizetype(o.size()));
        }
        const qsizetype table = out.size();
        for (qsizetype o : offsets) {
            out += static_cast<char>(o >> 8);
            out += static_cast<char>(o & 0xFF);
        }
        QByteArray trailer(32, '\0');
        trailer[6] = 2; // offset size
        trailer[7] = 1; // reference size
        trailer[15] = static_cast<char>(objects.size());
        trailer[23] = static_cast<char>(root);
        trailer[30] = static_cast<char>(table >> 8);
        trailer[31] = static_cast<char>(table & 0xFF);
        return out + trailer;
    };
    EXPECT_EQ(ProblemOf(package, bplist({{0xA1, 0x00}}, 0)), SettingsProblem::Corrupt);
    std::vector<std::vector<unsigned char>> doubling;
    for (unsigned char i = 0; i < 40; ++i)
        doubling.push_back(
            {0xA2, static_cast<unsigned char>(i + 1), static_cast<unsigned char>(i + 1)});
    doubling.push_back({0x09}); // true
    EXPECT_EQ(ProblemOf(package, bplist(doubling, 0)), SettingsProblem::TooDeep);
    // Wide rather than deep: 20 levels of doubling is a million values.
    doubling.erase(doubling.begin(), doubling.begin() + 20);
    for (unsigned char i = 0; i < 20; ++i)
        doubling[i] = {0xA2, static_cast<unsigned char>(i + 1), static_cast<unsigned char>(i + 1)};
    EXPECT_EQ(ProblemOf(package, bplist(doubling, 0)), SettingsProblem::TooManyValues);
    // A reference beyond the objects, an offset table beyond the file.
    EXPECT_EQ(ProblemOf(package, bplist({{0xA1, 0x05}}, 0)), SettingsProblem::Corrupt);
    QByteArray cut = bplist({{0x09}}, 0);
    cut[cut.size() - 1] = static_cast<char>(0xF0);
    EXPECT_EQ(ProblemOf(package, cut), SettingsProblem::Corrupt);
    // A NUL inside a key (the parser's key reader aborts on one) or inside a
    // UTF-16 text; the same dictionary without it is read.
    const std::vector<unsigned char> dict = {0xD1, 0x01, 0x02};
    EXPECT_EQ(ProblemOf(package, bplist({dict, {0x53, 'a', 0, 'b'}, {0x62, 0, 'c', 0, 'd'}}, 0)),
              SettingsProblem::Corrupt);
    EXPECT_EQ(ProblemOf(package, bplist({dict, {0x52, 'a', 'b'}, {0x62, 0, 'c', 0, 0}}, 0)),
              SettingsProblem::Corrupt);
    EXPECT_EQ(ProblemOf(package, bplist({dict, {0x52, 'a', 'b'}, {0x62, 0, 'c', 0, 'd'}}, 0)),
              SettingsProblem::None);
}

} // namespace
