#include "TestPackage.h"
#include "cli/PackageCheck.h"
#include "cli/PackageLocation.h"
#include "history/History.h"
#include "settings/Checksum.h"
#include "settings/SettingsData.h"
#include "settings/XML.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <thread>
#include <utility>
#include <vector>

namespace {

const char kControllerBytes[] = "controller firmware";
// SHA-256 of the 19 bytes above, from sha256sum.
const char kControllerSha[] = "fa6d3b3d452c78a17d8711159dec0a4f693ca195aa2791ba81a387dafb6b1a1d";

TestPackage::Section General(const std::string& count = "2") {
    return {{"WindowsTitle", "QX-310 Firmware Update"},
            {"ModelName", "QX-310 MFP"},
            {"ModuleName", "QX-310 Series"},
            {"VID", "0x5A5A"},
            {"PID", "0x0310"},
            {"SysOID", "1.3.6.1.4.1.40917.886.300.369.8531.310"},
            {"MDLCnt", "1"},
            {"MDL0", "QX-310"},
            {"FwCount", count}};
}

// A package whose two files pass every check.
struct GoodPackage {
    TestPackage package;
    std::map<std::string, TestPackage::Section> sections{
        {"General", General()},
        {"Fw0", {{"FileName", "controller.bin"}, {"ReleaseDate", "2026-10-14"}}},
        {"Fw1", {{"FileName", "engine.bin"}, {"ReleaseDate", "2026-09-30"}}}};

    GoodPackage() {
        package.WriteFile(QStringLiteral("controller.bin"), QByteArray(kControllerBytes));
        package.WriteFile(QStringLiteral("engine.bin"), QByteArray(5000, '\x5a'));
        Write();
    }
    void Write(bool binary = false) { package.WriteSettings(sections, binary); }
    PackageLocation Location() const {
        PackageLocation location;
        location.folder = QDir(package.Dir()).canonicalPath();
        location.identifier = QStringLiteral("Quenlo");
        location.settingsPath = location.folder + QStringLiteral("/Quenlo.plist");
        return location;
    }
    PackageReport Check(bool write = false) const {
        PackageCheckOptions options;
        options.writeChecksums = write;
        return CheckPackage(Location(), options);
    }
};

std::string Joined(const QStringList& lines) {
    return lines.join(QLatin1Char('\n')).toStdString();
}

// XML or binary, the file keeps its format when the sums are written.
TEST(PackageCheck, GoodPackagePassesAndWritesChecksumsKeepingEveryKey) {
    for (const bool binary : {false, true}) {
        SCOPED_TRACE(binary ? "binary" : "XML");
        GoodPackage good;
        good.Write(binary);
        PackageReport report = good.Check();
        EXPECT_TRUE(report.errors.isEmpty()) << Joined(report.errors);
        EXPECT_TRUE(report.warnings.isEmpty()) << Joined(report.warnings);

        report = good.Check(true);
        ASSERT_TRUE(report.errors.isEmpty()) << Joined(report.errors);
        QFile file(good.Location().settingsPath);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll().startsWith("bplist00"), binary);
        const CXML xml(good.Location().settingsPath);
        EXPECT_EQ(xml.ReadStringValue("Fw0", "SHA256").toStdString(), kControllerSha);
        EXPECT_EQ(xml.ReadStringValue("Fw1", "SHA256").size(), 64);
        EXPECT_EQ(xml.ReadStringValue("Fw0", "ReleaseDate").toStdString(), "2026-10-14");
        EXPECT_EQ(xml.ReadStringValue("General", "SysOID").toStdString(),
                  "1.3.6.1.4.1.40917.886.300.369.8531.310");
        EXPECT_EQ(xml.ReadIntValue("General", "PID"), 0x310);

        // With the sums in place, a changed byte is caught.
        EXPECT_TRUE(good.Check().errors.isEmpty());
        good.package.WriteFile(QStringLiteral("controller.bin"), QByteArray("controller firmwarE"));
        report = good.Check();
        ASSERT_EQ(report.errors.size(), 1) << Joined(report.errors);
        EXPECT_TRUE(report.errors[0].contains(QLatin1String("SHA256 mismatch")));
        EXPECT_TRUE(report.errors[0].contains(QLatin1String(kControllerSha)));
    }
}

TEST(PackageChecksums, TheFirstFileThatDoesNotMatchItsSumStopsTheDownload) {
    GoodPackage good;
    QString file;
    // Verified with this SHA256 key for Fw1 (none for an empty text).
    auto verifies = [&](const std::string& sum) {
        good.sections["Fw1"].erase("SHA256");
        if (!sum.empty())
            good.sections["Fw1"]["SHA256"] = sum;
        good.Write();
        LoadPackageSettings();
        return VerifyPackageChecksums(&file);
    };
    EXPECT_TRUE(verifies("")); // no sums: as before

    good.sections["Fw0"]["SHA256"] = QString::fromLatin1(kControllerSha).toUpper().toStdString();
    EXPECT_FALSE(verifies(std::string(64, '0')));
    EXPECT_EQ(file, QStringLiteral("engine.bin"));
    EXPECT_FALSE(verifies("sha256:abc"));
    EXPECT_TRUE(verifies(""));
}

TEST(PackageCheck, EachBrokenKeyIsNamed) {
    struct Case {
        const char* section;
        const char* key;
        const char* value;
        const char* expected;
    } cases[] = {
        {"General", "FwCount", "0", "General/FwCount: 0"},
        {"General", "FwCount", "101", "General/FwCount: 101 is more than 100"},
        {"General", "FwCount", "two", "\"two\" is not a decimal"},
        {"General", "MDLCnt", "6", "General/MDLCnt: 6 is outside 0 to 5"},
        {"General", "MDLCnt", "2", "General/MDL1: missing"},
        {"General", "VID", "0x15A5A", "General/VID: 88666 is not a USB ID"},
        {"General", "SysOID", "1.3.6..1", "is not a dotted object identifier"},
        {"General", "SysOID", "3.1", "is not a dotted object identifier"},
        {"General", "SysOID",
         "1.3.6.1.4.1.4294967295.4294967295.4294967295.4294967295.4294967295.9.9.9",
         "encodes to 33 bytes, more than 32"},
        {"General", "ModelName", "B\xc3\xbcro", "General/ModelName: not ASCII"},
        {"Fw1", "FileName", "missing.bin", "Fw1: missing.bin: file not found"},
        {"Fw1", "FileName", "../outside.bin", "Fw1: ../outside.bin: lies outside the package"},
        {"Fw1", "FileName", "sub", "Fw1: sub: not a regular file"},
        {"Fw1", "SHA256", "abc", "Fw1/SHA256: not 64 hexadecimal digits"},
    };
    for (const Case& c : cases) {
        GoodPackage good;
        QDir(good.package.Dir()).mkdir(QStringLiteral("sub"));
        // Beside the package folder, present, so that only its place is wrong.
        QFile outside(good.package.Dir() + QStringLiteral("/../outside.bin"));
        outside.open(QIODevice::WriteOnly);
        good.sections[c.section][c.key] = c.value;
        good.Write();
        const PackageReport report = good.Check();
        EXPECT_TRUE(Joined(report.errors).find(c.expected) != std::string::npos)
            << c.section << "/" << c.key << "=" << c.value << " gave:\n"
            << Joined(report.errors);
        outside.remove();
    }
}

TEST(PackageCheck, LinksOutOfThePackageAndFifosAreRefusedWithoutBlocking) {
    GoodPackage good;
    QTemporaryDir elsewhere;
    const QString target = elsewhere.path() + QStringLiteral("/passwd");
    QFile(target).open(QIODevice::WriteOnly);
    ASSERT_EQ(
        ::symlink(QFile::encodeName(target).constData(),
                  QFile::encodeName(good.package.Path(QStringLiteral("link.bin"))).constData()),
        0);
    ASSERT_EQ(::mkfifo(QFile::encodeName(good.package.Path(QStringLiteral("fifo.bin"))).constData(),
                       0600),
              0);
    good.sections["General"]["FwCount"] = "3";
    good.sections["Fw1"]["FileName"] = "link.bin";
    good.sections["Fw2"] = {{"FileName", "fifo.bin"}, {"ReleaseDate", "x"}};
    good.Write();
    const PackageReport report = good.Check(true);
    const std::string errors = Joined(report.errors);
    EXPECT_NE(errors.find("Fw1: link.bin: lies outside the package folder"), std::string::npos)
        << errors;
    EXPECT_NE(errors.find("Fw2: fifo.bin: not a regular file"), std::string::npos) << errors;
    // Only the usable file got its sum.
    const CXML xml(good.Location().settingsPath);
    EXPECT_FALSE(xml.ReadStringValue("Fw0", "SHA256").isNull());
    EXPECT_TRUE(xml.ReadStringValue("Fw1", "SHA256").isNull());
}

TEST(PackageCheck, UnreadableSettingsAndStraySectionsAreReported) {
    GoodPackage good;
    good.package.WriteFile(QStringLiteral("Quenlo.plist"), QByteArray("<plist><dict><key>"));
    EXPECT_NE(Joined(good.Check().errors).find("not a property list"), std::string::npos);

    good.package.WriteFile(QStringLiteral("Quenlo.plist"),
                           "<plist><dict><key>x</key>" + QByteArray("<array>").repeated(40) +
                               QByteArray("</array>").repeated(40) + "</dict></plist>");
    EXPECT_NE(Joined(good.Check().errors).find("nested deeper than 32"), std::string::npos);

    good.sections["Fw7"] = {{"FileName", "controller.bin"}};
    good.sections["General"]["Colour"] = "blue";
    good.Write();
    const PackageReport report = good.Check();
    EXPECT_TRUE(report.errors.isEmpty()) << Joined(report.errors);
    const std::string warnings = Joined(report.warnings);
    EXPECT_NE(warnings.find("Fw7: section not read (FwCount is 2)"), std::string::npos);
    EXPECT_NE(warnings.find("General/Colour: unknown key"), std::string::npos);
}

TEST(PackageLocation, FindsTheSettingsFileNamedAfterAProgram) {
    QTemporaryDir dir;
    const QString folder = QDir(dir.path()).canonicalPath();
    auto touch = [&](const QString& name, bool executable) {
        QFile file(folder + QLatin1Char('/') + name);
        file.open(QIODevice::WriteOnly);
        if (executable)
            file.setPermissions(file.permissions() | QFile::ExeOwner);
    };
    PackageLocation location;
    QString why;
    // A package being made: no program yet, its one settings file is taken.
    touch(QStringLiteral("notes.plist"), false);
    ASSERT_TRUE(LocatePackage(folder, QStringLiteral("quenlo-cli"), &location, &why));
    EXPECT_EQ(location.identifier, QStringLiteral("notes"));
    // Of several, the one named after the program; none so named is refused.
    touch(QStringLiteral("quenlo-cli"), true);
    touch(QStringLiteral("quenlo-cli.plist"), false);
    EXPECT_FALSE(LocatePackage(folder, QStringLiteral("quenlo-cli"), &location, &why));
    EXPECT_TRUE(why.contains(QLatin1String("several"))) << why.toStdString();
    touch(QStringLiteral("Quenlo.plist"), false);
    ASSERT_TRUE(LocatePackage(folder, QStringLiteral("quenlo-cli"), &location, &why));
    EXPECT_EQ(location.identifier, QStringLiteral("Quenlo"));
    // Without --package the program's own folder needs the program rule.
    EXPECT_FALSE(LocatePackage(QString(), QStringLiteral("quenlo-cli"), &location, &why));

    touch(QStringLiteral("Quenlo"), true);
    ASSERT_TRUE(LocatePackage(folder, QStringLiteral("quenlo-cli"), &location, &why))
        << why.toStdString();
    EXPECT_EQ(location.settingsPath, folder + QStringLiteral("/Quenlo.plist"));
    EXPECT_EQ(location.identifier, QStringLiteral("Quenlo"));

    touch(QStringLiteral("Other"), true);
    touch(QStringLiteral("Other.plist"), false);
    EXPECT_FALSE(LocatePackage(folder, QStringLiteral("quenlo-cli"), &location, &why));
    EXPECT_TRUE(why.contains(QLatin1String("several"))) << why.toStdString();

    ASSERT_TRUE(LocatePackage(folder + QStringLiteral("/Other.plist"), QStringLiteral("quenlo-cli"),
                              &location, &why));
    EXPECT_EQ(location.identifier, QStringLiteral("Other"));
    EXPECT_EQ(location.folder, folder);
}

class HistoryTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_saved = qgetenv("XDG_STATE_HOME");
        qputenv("XDG_STATE_HOME", m_state.path().toLocal8Bit());
    }
    void TearDown() override { qputenv("XDG_STATE_HOME", m_saved); }
    QTemporaryDir m_state;
    QByteArray m_saved;
};

HistoryEntry Entry(const QString& address = QStringLiteral("10.0.0.1"),
                   const QString& time = QStringLiteral("2026-12-01T10:00:00Z"),
                   const QString& outcome = QStringLiteral("completed")) {
    HistoryEntry entry;
    entry.time = QDateTime::fromString(time, Qt::ISODate);
    entry.program = QStringLiteral("quenlo-cli");
    entry.model = QStringLiteral("QX-310 MFP");
    entry.address = address;
    entry.name = QStringLiteral("B\u00fcro");
    entry.files = QStringList{QStringLiteral("a.bin"), QStringLiteral("b.bin")};
    entry.outcome = outcome;
    return entry;
}

TEST_F(HistoryTest, LinesGoToTheStateFolderAndComeBackNewestFirst) {
    EXPECT_EQ(HistoryFilePath(), m_state.path() + QStringLiteral("/quenlo/history.jsonl"));
    ASSERT_TRUE(AppendHistory(Entry()));
    ASSERT_TRUE(AppendHistory(Entry("10.0.0.2", "2026-12-03T10:00:00Z", "failed")));
    ASSERT_TRUE(AppendHistory(Entry("10.0.0.3", "2026-12-02T10:00:00Z", "cancelled")));
    QFile file(HistoryFilePath());
    ASSERT_TRUE(file.open(QIODevice::Append));
    file.write("not json\n{\"time\":\"yesterday\"}\n");
    file.close();

    const std::vector<HistoryEntry> entries = ReadHistory();
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].address, QStringLiteral("10.0.0.2"));
    EXPECT_EQ(entries[1].address, QStringLiteral("10.0.0.3"));
    EXPECT_EQ(entries[2].address, QStringLiteral("10.0.0.1"));
    EXPECT_EQ(entries[0].name, QStringLiteral("B\u00fcro"));
    EXPECT_EQ(entries[0].files, (QStringList{"a.bin", "b.bin"}));

    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readLine().trimmed(),
              QByteArray("{\"address\":\"10.0.0.1\",\"files\":[\"a.bin\",\"b.bin\"],\"model\":"
                         "\"QX-310 MFP\",\"name\":\"B\xc3\xbcro\",\"outcome\":\"completed\","
                         "\"program\":\"quenlo-cli\",\"time\":\"2026-12-01T10:00:00Z\"}"));
}

TEST_F(HistoryTest, AppendsFromManyThreadsNeverInterleave) {
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < 50; ++i)
                AppendHistory(Entry(QStringLiteral("10.0.%1.%2").arg(t).arg(i)));
        });
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(ReadHistory().size(), 400u);
}

// A link put where the history's folder or file should be is never
// followed: the folder it names keeps its mode and gets nothing.
TEST_F(HistoryTest, LinksInPlaceOfTheFolderOrTheFileAreRefused) {
    QTemporaryDir elsewhere;
    const QByteArray target = elsewhere.path().toLocal8Bit();
    ASSERT_EQ(::chmod(target.constData(), 0755), 0);
    const QByteArray folder = (m_state.path() + QStringLiteral("/quenlo")).toLocal8Bit();
    ASSERT_EQ(::symlink(target.constData(), folder.constData()), 0);
    EXPECT_FALSE(AppendHistory(Entry()));
    struct stat info {};
    ASSERT_EQ(::stat(target.constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0755u) << "the linked folder's mode is left alone";
    EXPECT_TRUE(QDir(elsewhere.path()).isEmpty());
    QString error;
    EXPECT_TRUE(ReadHistory(&error).empty());

    // The folder is real, the file a link to one elsewhere.
    ASSERT_EQ(::unlink(folder.constData()), 0);
    ASSERT_EQ(::mkdir(folder.constData(), 0700), 0);
    const QString other = elsewhere.path() + QStringLiteral("/other.jsonl");
    QFile(other).open(QIODevice::WriteOnly);
    ASSERT_EQ(
        ::symlink(other.toLocal8Bit().constData(), (HistoryFilePath()).toLocal8Bit().constData()),
        0);
    EXPECT_FALSE(AppendHistory(Entry()));
    EXPECT_EQ(QFileInfo(other).size(), 0);
    EXPECT_TRUE(ReadHistory(&error).empty());
    EXPECT_TRUE(error.contains(QLatin1String("link"))) << error.toStdString();

    // A FIFO there would hold a writer; it is refused at once.
    ASSERT_EQ(::unlink(HistoryFilePath().toLocal8Bit().constData()), 0);
    ASSERT_EQ(::mkfifo(HistoryFilePath().toLocal8Bit().constData(), 0600), 0);
    EXPECT_FALSE(AppendHistory(Entry()));
}

TEST_F(HistoryTest, AnUnwritableStateFolderOnlyCostsAMessage) {
    qputenv("XDG_STATE_HOME", "relative/path");
    const QByteArray home = qgetenv("HOME");
    qputenv("HOME", m_state.path().toLocal8Bit());
    EXPECT_EQ(HistoryFilePath(),
              m_state.path() + QStringLiteral("/.local/state/quenlo/history.jsonl"));
    // A file where the folder should be.
    QFile(m_state.path() + QStringLiteral("/.local")).open(QIODevice::WriteOnly);
    EXPECT_FALSE(AppendHistory(Entry()));
    EXPECT_TRUE(ReadHistory().empty());
    qputenv("HOME", home);
}

TEST(Checksum, HashesInPiecesAndRefusesWhatIsNotAFile) {
    TestPackage dir;
    ASSERT_TRUE(dir.WriteFile(QStringLiteral("f"), kControllerBytes));
    ASSERT_TRUE(dir.WriteFile(QStringLiteral("empty"), QByteArray()));
    EXPECT_EQ(Sha256OfFile(dir.Path(QStringLiteral("f"))).hex.toStdString(), kControllerSha);
    EXPECT_EQ(Sha256OfFile(dir.Path(QStringLiteral("empty"))).hex.toStdString(),
              "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_FALSE(Sha256OfFile(dir.Dir()).ok);
    EXPECT_FALSE(Sha256OfFile(dir.Path(QStringLiteral("none"))).ok);
    EXPECT_TRUE(IsSha256Text(QString(64, QLatin1Char('F'))));
    EXPECT_FALSE(IsSha256Text(QString(63, QLatin1Char('a'))));
    EXPECT_FALSE(IsSha256Text(QString(63, QLatin1Char('a')) + QLatin1Char('g')));
}

struct CliRun {
    int status;
    QString out;
    QString err;
};

CliRun Cli(const QStringList& arguments) {
    QProcess process;
    process.start(QStringLiteral(QUENLO_CLI), arguments);
    process.waitForFinished(30000);
    // A crash or a hang is no exit status at all.
    const bool exited =
        process.state() == QProcess::NotRunning && process.exitStatus() == QProcess::NormalExit;
    return {exited ? process.exitCode() : -1,
            QString::fromLocal8Bit(process.readAllStandardOutput()),
            QString::fromLocal8Bit(process.readAllStandardError())};
}

TEST(CliProgram, ExitStatusTellsUsageErrorsFromProblems) {
    EXPECT_EQ(Cli({"--help"}).status, 0);
    const CliRun version = Cli({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.toStdString(), "quenlo-cli " QUENLO_VERSION "\n");
    EXPECT_EQ(Cli({"package", "check", "--help"}).status, 0);
    EXPECT_EQ(Cli({}).status, 2);
    EXPECT_EQ(Cli({"--package"}).status, 2);
    EXPECT_EQ(Cli({"--package", "/nonexistent/x.plist", "package", "check"}).status, 2);
    // Each usage error names the help of its command.
    for (const auto& [arguments, help] : std::vector<std::pair<QStringList, const char*>>{
             {{"frobnicate"}, "quenlo-cli --help"},
             {{"list", "--bogus"}, "quenlo-cli list --help"},
             {{"update"}, "quenlo-cli update --help"},
             {{"history", "--bogus"}, "quenlo-cli history --help"},
             {{"package", "frob"}, "quenlo-cli package check --help"}}) {
        const CliRun run = Cli(arguments);
        EXPECT_EQ(run.status, 2) << help;
        EXPECT_TRUE(run.err.endsWith(QStringLiteral("\nTry \"%1\".\n").arg(help)))
            << run.err.toStdString();
    }

    GoodPackage good;
    const QString settings = good.Location().settingsPath;
    CliRun run = Cli({"--package", settings, "package", "check"});
    EXPECT_EQ(run.status, 0) << run.out.toStdString();
    EXPECT_TRUE(run.out.contains(QLatin1String("no problems found")));
    EXPECT_EQ(Cli({"--package", settings, "package", "check", "--bogus"}).status, 2);

    good.sections["Fw1"]["FileName"] = "gone.bin";
    good.Write();
    run = Cli({"--package", settings, "package", "check"});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.out.contains(QLatin1String("error: Fw1: gone.bin: file not found")))
        << run.out.toStdString();
}

} // namespace

// The example package is checked as it lies in the repository, before a
// program is copied in; a usage error is told before the package is read.
TEST(CliProgram, ThePackageOfAVendorAndOptionsFirst) {
    const CliRun check =
        Cli({"--package", QStringLiteral(QUENLO_EXAMPLE_PACKAGE), "package", "check"});
    EXPECT_EQ(check.status, 0) << check.err.toStdString();
    EXPECT_TRUE(check.err.contains(QLatin1String("using "))) << "says which file it chose";
    const CliRun bogus = Cli({"--package", "/nonexistent", "list", "--bogus"});
    EXPECT_EQ(bogus.status, 2);
    EXPECT_TRUE(bogus.err.contains(QLatin1String("--bogus"))) << bogus.err.toStdString();
    const CliRun update =
        Cli({"--package", "/nonexistent", "update", "10.0.0.1", "--parallel", "0"});
    EXPECT_EQ(update.status, 2);
    EXPECT_TRUE(update.err.contains(QLatin1String("--parallel"))) << update.err.toStdString();
}

// quenlo-cli reads the settings file through the wizard's refusing reader: a
// file that would crash or swamp the parser is refused, never parsed, with the
// package check's exit 1 and the update's and list's 2.
TEST(CliProgram, HostileSettingsFilesAreRefusedBeforeTheParser) {
    GoodPackage good;
    const QString settings = good.Location().settingsPath;
    auto expectRefused = [&](const char* what) {
        // Were it read, only the loopback would be asked.
        const CliRun check = Cli({"--package", settings, "package", "check"});
        EXPECT_EQ(check.status, 1) << what << ": " << check.out.toStdString();
        EXPECT_TRUE(check.out.contains(settings)) << what;
        EXPECT_EQ(
            Cli({"--package", settings, "list", "--no-broadcast", "--address", "127.0.0.1"}).status,
            2)
            << what;
        EXPECT_EQ(Cli({"--package", settings, "update", "127.0.0.1", "--dry-run"}).status, 2)
            << what;
    };
    // Each way the reader refuses a file is its own test (settings_tests);
    // here, that every command reads through it.
    ASSERT_TRUE(good.package.WriteFile(QStringLiteral("Quenlo.plist"),
                                       "<plist>" + QByteArray("<array>").repeated(1000000) +
                                           QByteArray("</array>").repeated(1000000) + "</plist>"));
    expectRefused("XML a million deep");
    // A settings file that is a link to an endless device is never read.
    QFile::remove(settings);
    ASSERT_EQ(::symlink("/dev/zero", settings.toLocal8Bit().constData()), 0);
    expectRefused("a link to /dev/zero");
}
