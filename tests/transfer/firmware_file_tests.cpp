// The package's firmware files as the download reads them: in pieces, only
// regular files inside the package folder, never blocking on a FIFO; and the
// optional stall limit of the settings file.
#include "TestBytes.h"
#include "TestPackage.h"
#include "settings/FirmwareFile.h"
#include "settings/SettingsData.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace {

QByteArray ReadAll(FirmwareReader& reader, std::size_t piece) {
    QByteArray all;
    std::vector<unsigned char> buffer(piece);
    for (long n; (n = reader.Read(buffer.data(), buffer.size())) > 0;)
        all.append(reinterpret_cast<const char*>(buffer.data()), n);
    return all;
}

TEST(FirmwareFile, ReadInPiecesAsWritten) {
    TestPackage package;
    const QByteArray bytes = PatternOf<QByteArray>(300001, 3);
    ASSERT_TRUE(package.WriteFile("fw.bin", bytes));
    FirmwareReader reader;
    ASSERT_TRUE(reader.Open("fw.bin"));
    EXPECT_EQ(reader.Size(), 300001);
    EXPECT_EQ(ReadAll(reader, 4096), bytes);

    EXPECT_TRUE(reader.Unchanged());

    // Rewritten in place while open, size kept: the reader can tell.
    ASSERT_TRUE(reader.Open("fw.bin"));
    const timespec past[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, package.Path("fw.bin").toLocal8Bit().constData(), past, 0), 0);
    EXPECT_FALSE(reader.Unchanged());

    // A file cut short after it was measured is not whole.
    ASSERT_TRUE(reader.Open("fw.bin"));
    ASSERT_EQ(truncate(package.Path("fw.bin").toLocal8Bit().constData(), 1000), 0);
    std::vector<unsigned char> buffer(4096);
    EXPECT_EQ(reader.Read(buffer.data(), buffer.size()), 1000);
    EXPECT_EQ(reader.Read(buffer.data(), buffer.size()), -1);
    EXPECT_TRUE(reader.EndedEarly());
    EXPECT_FALSE(reader.Unchanged());
}

TEST(FirmwareFile, OnlyRegularFilesInsideThePackage) {
    TestPackage package;
    QTemporaryDir outside;
    ASSERT_TRUE(package.WriteFile("inside.bin", "abc"));
    QFile(outside.path() + "/secret.txt").open(QIODevice::WriteOnly);
    const QString outsideName =
        QDir(package.Dir()).relativeFilePath(outside.path() + "/secret.txt");
    ASSERT_TRUE(outsideName.startsWith("../"));
    ASSERT_EQ(symlink((outside.path() + "/secret.txt").toLocal8Bit().constData(),
                      package.Path("out-link.bin").toLocal8Bit().constData()),
              0);
    ASSERT_EQ(symlink("inside.bin", package.Path("in-link.bin").toLocal8Bit().constData()), 0);
    ASSERT_EQ(symlink("/dev/zero", package.Path("zero.bin").toLocal8Bit().constData()), 0);
    ASSERT_EQ(mkfifo(package.Path("fifo.bin").toLocal8Bit().constData(), 0600), 0);
    QDir(package.Dir()).mkdir("folder");

    FirmwareReader reader;
    EXPECT_TRUE(reader.Open("inside.bin"));
    EXPECT_TRUE(reader.Open("in-link.bin")) << "a link that stays inside";
    // Each of these would hand the printer something that is no firmware,
    // or hang the program (FIFO: the open itself must not wait).
    for (const QString& name :
         {outsideName, QStringLiteral("out-link.bin"),
          QStringLiteral("../../../../../../../../etc/passwd"), QStringLiteral("/dev/zero"),
          QStringLiteral("zero.bin"), QStringLiteral("fifo.bin"), QStringLiteral("folder"),
          QStringLiteral("."), QStringLiteral("missing.bin"), QString()}) {
        EXPECT_FALSE(reader.Open(name)) << name.toStdString();
        EXPECT_TRUE(ResolveFirmwareFile(name).empty()) << name.toStdString();
    }
}

TEST(FirmwareFile, TheStallLimitIsReadWithinItsBounds) {
    TestPackage package;
    for (const auto& [written, seconds] : std::vector<std::pair<const char*, int>>{
             {nullptr, 120}, {"300", 300}, {"1", 5}, {"0x100000", 3600}, {"-20", 5}}) {
        std::map<std::string, TestPackage::Section> settings = {{"General", {{"FwCount", "0"}}}};
        if (written != nullptr)
            settings["General"]["StallTimeout"] = written;
        package.WriteSettings(settings);
        LoadPackageSettings();
        EXPECT_EQ(m_Settings.nStallTimeout, seconds) << (written ? written : "none");
    }
}

} // namespace
