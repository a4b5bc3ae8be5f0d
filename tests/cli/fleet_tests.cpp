#include "cli/Fleet.h"
#include "cli/FleetUpdate.h"
#include "cli/Metrics.h"
#include "cli/OutputFile.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

FleetPrinter Row(const char* address, const char* name, const char* serial = "") {
    FleetPrinter printer;
    printer.address = QString::fromLatin1(address);
    printer.name = QString::fromLatin1(name);
    printer.serial = QString::fromLatin1(serial);
    printer.firmware = QStringLiteral("1.0");
    printer.status = QStringLiteral("Ready");
    return printer;
}

// How a printer ended; started at 10:00 and done `seconds` later (never
// started: -1).
PrinterOutcome Ended(const char* address, const char* serial, const char* outcome, uint64_t bytes,
                     int seconds) {
    PrinterOutcome o;
    o.printer = Row(address, "", serial);
    o.outcome = QString::fromLatin1(outcome);
    o.bytesSent = bytes;
    if (seconds >= 0) {
        o.started = QDateTime::fromString(QStringLiteral("2026-12-08T10:00:00Z"), Qt::ISODate);
        o.finished = o.started.addSecs(seconds);
    }
    return o;
}

TEST(Fleet, OnePrinterOnTwoAddressesIsOneEntryUpdatedOverIPv4) {
    // 02:16:3e:aa:bb:cc -> interface identifier 0016:3eff:feaa:bbcc.
    const NeighbourTable neighbours = {{"10.0.1.5", "02:16:3e:aa:bb:cc"},
                                       {"10.0.1.7", "52:54:00:12:34:56"}};
    const std::vector<FleetPrinter> rows = {
        Row("fe80::16:3eff:feaa:bbcc%veth0", "Lab"), // answered first over IPv6
        Row("10.0.1.7", "Office", "S-7"),
        Row("10.0.1.5", "Lab"),
        Row("10.0.1.9", "Office again", "S-7"), // same serial as 10.0.1.7
        Row("10.0.1.8", "Hall"),
    };
    const std::vector<FleetPrinter> merged = MergeSamePrinters(rows, neighbours);
    ASSERT_EQ(merged.size(), 3u);
    EXPECT_EQ(merged[0].address, QStringLiteral("10.0.1.5"));
    EXPECT_EQ(merged[0].addresses, (QStringList{"10.0.1.5", "fe80::16:3eff:feaa:bbcc%veth0"}));
    EXPECT_EQ(merged[1].address, QStringLiteral("10.0.1.7"));
    EXPECT_EQ(merged[1].addresses, (QStringList{"10.0.1.7", "10.0.1.9"}));
    EXPECT_EQ(merged[2].addresses, (QStringList{"10.0.1.8"}));
}

TEST(Fleet, SubnetsUpToASixteenthAreSweptHostByHost) {
    QString why;
    auto subnet = ParseSubnet(QStringLiteral("192.0.2.77/24"), &why);
    ASSERT_TRUE(subnet);
    auto hosts = SubnetHosts(*subnet);
    ASSERT_EQ(hosts.size(), 254u);
    EXPECT_EQ(hosts.front(), QStringLiteral("192.0.2.1"));
    EXPECT_EQ(hosts.back(), QStringLiteral("192.0.2.254"));

    EXPECT_EQ(SubnetHosts(*ParseSubnet(QStringLiteral("10.1.0.0/16"), &why)).size(), 65534u);
    EXPECT_EQ(SubnetHosts(*ParseSubnet(QStringLiteral("10.0.0.4/30"), &why)),
              (std::vector<QString>{"10.0.0.5", "10.0.0.6"}));
    EXPECT_EQ(SubnetHosts(*ParseSubnet(QStringLiteral("10.0.0.4/31"), &why)),
              (std::vector<QString>{"10.0.0.4", "10.0.0.5"}));
    EXPECT_EQ(SubnetHosts(*ParseSubnet(QStringLiteral("10.0.0.9/32"), &why)),
              (std::vector<QString>{"10.0.0.9"}));

    EXPECT_FALSE(ParseSubnet(QStringLiteral("10.0.0.0/15"), &why));
    EXPECT_TRUE(why.contains(QLatin1String("wider than /16"))) << why.toStdString();
    for (const char* bad :
         {"10.0.0.0", "10.0.0/24", "10.0.0.0/33", "fe80::/64", "10.0.0.0/ 24", "10.0.0.256/24", ""})
        EXPECT_FALSE(ParseSubnet(QString::fromLatin1(bad), &why)) << bad;
}

// That every key is there the road tests check against the report's schema.
TEST(Fleet, ReportsCarryEveryValueAndQuoteWhatNeedsIt) {
    PrinterOutcome done = Ended("10.0.1.5", "S-5", "completed", 17813, 5);
    done.printer.name = QStringLiteral("Lab, \"east\"");
    done.printer.addresses = QStringList{"10.0.1.5", "fe80::1%veth0"};
    done.firmwareBefore = QStringLiteral("1.0");
    done.firmwareAfter = QStringLiteral("1.1");
    done.sha256 = QStringList{"fa6d", "0b1c"};
    PrinterOutcome waiting = Ended("10.0.1.8", "", "cancelled", 0, -1);
    waiting.printer.name = QStringLiteral("=cmd()");
    waiting.cause = QStringLiteral("cancelled");

    const QJsonObject report =
        QJsonDocument::fromJson(ReportJson(QStringLiteral("QX-310 MFP"),
                                           {{QStringLiteral("a.bin"), 19, QStringLiteral("fa6d")}},
                                           {done, waiting}, UpdateRun{}))
            .object();
    EXPECT_EQ(report["package"]["model"].toString(), QStringLiteral("QX-310 MFP"));
    EXPECT_EQ(report["package"]["files"][0]["size"].toInt(), 19);
    const QJsonObject first = report["printers"][0].toObject();
    EXPECT_EQ(first["bytes_sent"].toInt(), 17813);
    EXPECT_EQ(first["sha256"][1].toString(), QStringLiteral("0b1c"));
    EXPECT_EQ(report["printers"][1]["cause"].toString(), QStringLiteral("cancelled"));
    EXPECT_EQ(first["started"].toString(), QStringLiteral("2026-12-08T10:00:00.000Z"));
    EXPECT_EQ(report["printers"][1]["started"].toString(), QString());

    EXPECT_EQ(ReportCsv({done, waiting}),
              QByteArray("address,addresses,name,serial,firmware_before,firmware_after,outcome,"
                         "message,bytes_sent,started,finished,cause,sha256\r\n"
                         "10.0.1.5,10.0.1.5 fe80::1%veth0,\"Lab, \"\"east\"\"\",S-5,1.0,1.1,"
                         "completed,,17813,2026-12-08T10:00:00.000Z,2026-12-08T10:00:05.000Z,,"
                         "fa6d 0b1c\r\n"
                         "10.0.1.8,,'=cmd(),,,,cancelled,,0,,,cancelled,\r\n"));
    EXPECT_EQ(ListCsv({Row("10.0.1.5", "Lab")}),
              QByteArray("address,addresses,name,serial,firmware,status\r\n"
                         "10.0.1.5,,Lab,,1.0,Ready\r\n"));
}

// Columns are counted in bytes, and a value wider than its column pushes the
// rest along rather than being cut.
TEST(Fleet, TheTableShowsEveryValueWholeAndEachFurtherAddressBelowItsPrinter) {
    FleetPrinter lab = Row("10.0.1.5", "", "S-5");
    lab.name = QString::fromUtf8("Labor \xc3\xbc"); // one character, two bytes
    lab.addresses = QStringList{"10.0.1.5", "fe80::1%veth0"};
    const FleetPrinter hall = Row("10.0.1.8", "A printer name of thirty bytes");
    EXPECT_EQ(ListTable({lab, hall}, QStringLiteral("QX-310 MFP")),
              QByteArray("ADDRESS                      NAME                     FIRMWARE     "
                         "STATUS         SERIAL\n"
                         "10.0.1.5                     Labor \xc3\xbc                 1.0          "
                         "Ready          S-5\n"
                         "  also fe80::1%veth0\n"
                         "10.0.1.8                     A printer name of thirty bytes 1.0          "
                         "Ready          \n"
                         "2 printer(s) of QX-310 MFP\n"));
    EXPECT_EQ(ListTable({}, QStringLiteral("QX-310 MFP")),
              QByteArray("ADDRESS                      NAME                     FIRMWARE     "
                         "STATUS         SERIAL\n"
                         "0 printer(s) of QX-310 MFP\n"));
}

TEST(Metrics, EveryOutcomeIsCountedLabelsAreEscapedAndEachSeriesNamedOnce) {
    UpdateRun run;
    run.programVersion = QStringLiteral("0.1");
    run.packagePath = QStringLiteral("/opt/pkg \\\"QX\"\n310");
    run.started = QDateTime::fromString(QStringLiteral("2026-12-08T10:00:00Z"), Qt::ISODate);
    run.finished = run.started.addMSecs(90500);
    const QByteArray text = MetricsText(QStringLiteral("QX-310"), run,
                                        {Ended("10.0.0.1", "S\"1", "completed", 25008, 12),
                                         Ended("10.0.0.2", "", "unreachable", 0, -1),
                                         Ended("10.0.0.2", "", "unreachable", 0, -1), // typed twice
                                         Ended("10.0.0.3", "S3", "failed", 3000, 5),
                                         Ended("10.0.0.4", "S4", "some-new-outcome", 1, 1)});
    const QByteArray package = "package=\"/opt/pkg \\\\\\\"QX\\\"\\n310\"";
    for (const QByteArray& line : {
             "quenlo_update_printers{" + package + ",outcome=\"completed\"} 1",
             "quenlo_update_printers{" + package + ",outcome=\"unreachable\"} 2",
             "quenlo_update_printers{" + package + ",outcome=\"version-unchanged\"} 0",
             "quenlo_update_printers{" + package + ",outcome=\"some-new-outcome\"} 1",
             "quenlo_update_sent_bytes{" + package + "} 28009",
             "quenlo_update_duration_seconds{" + package + "} 90.500",
             "quenlo_update_end_timestamp_seconds{" + package + "} 1796724090.500",
             "quenlo_update_printer_sent_bytes{" + package +
                 ",address=\"10.0.0.1\",serial=\"S\\\"1\",outcome=\"completed\"} 25008",
             "quenlo_update_printer_duration_seconds{" + package +
                 ",address=\"10.0.0.3\",serial=\"S3\",outcome=\"failed\"} 5.000",
         })
        EXPECT_TRUE(text.contains(line + '\n')) << line.constData() << "\nin:\n"
                                                << text.constData();
    EXPECT_EQ(text.count("address=\"10.0.0.2\""), 1) << text.constData();
    EXPECT_EQ(text.count("quenlo_update_printer_duration_seconds{"), 3) << text.constData();

    // The collector's own parser agrees.
    const QString promtool = QStandardPaths::findExecutable(QStringLiteral("promtool"));
    ASSERT_FALSE(promtool.isEmpty()) << "promtool missing: run scripts/setup.sh";
    QProcess check;
    check.start(promtool, {QStringLiteral("check"), QStringLiteral("metrics")});
    check.write(text);
    check.closeWriteChannel();
    ASSERT_TRUE(check.waitForFinished(30000));
    EXPECT_EQ(check.exitCode(), 0)
        << check.readAllStandardOutput().constData() << check.readAllStandardError().constData();
}

TEST(OutputFile, ADestinationIsCheckedBeforeAndReplacedWholeAfter) {
    QTemporaryDir dir;
    QString why;
    EXPECT_FALSE(CanReplaceFile(dir.path() + QStringLiteral("/none/m.prom"), &why));
    EXPECT_TRUE(why.contains(QLatin1String("does not exist"))) << why.toStdString();
    EXPECT_FALSE(CanReplaceFile(dir.path(), &why));
    EXPECT_TRUE(why.contains(QLatin1String("is a folder"))) << why.toStdString();
    // Even root cannot create files there.
    EXPECT_FALSE(CanReplaceFile(QStringLiteral("/proc/m.prom"), &why));
    EXPECT_TRUE(why.contains(QLatin1String("cannot create a file"))) << why.toStdString();
    EXPECT_FALSE(WriteFileAtomically(QStringLiteral("/proc/m.prom"), "x", &why));

    const QString path = dir.path() + QStringLiteral("/m.prom");
    ASSERT_TRUE(CanReplaceFile(path, &why)) << why.toStdString();
    const mode_t saved = ::umask(022);
    ASSERT_TRUE(WriteFileAtomically(path, "first\n", &why)) << why.toStdString();
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0);
    // A collector running as another user reads it.
    EXPECT_EQ(info.st_mode & 0777, 0644u);
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0640), 0);
    ASSERT_TRUE(WriteFileAtomically(path, "second\n", &why)) << why.toStdString();
    ::umask(saved);
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("second\n"));
    // Neither the trial nor the temporary file stays behind.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("m.prom")});
}

} // namespace

TEST(Fleet, OneSignalDeliveredTwiceIsOneCancelAndALaterOneAborts) {
    CancelRequests cancel;
    cancel.Signalled(10000);
    cancel.Signalled(10001); // timeout's second delivery, to the process group
    EXPECT_TRUE(cancel.Cancel());
    EXPECT_FALSE(cancel.Abort());
    cancel.Signalled(10000 + 2 * CancelRequests::kBurstMs); // a second Ctrl+C
    EXPECT_TRUE(cancel.Abort());
}
