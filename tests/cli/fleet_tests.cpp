#include "Fleet.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

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

TEST(Fleet, ReportsCarryEveryKeyAndQuoteWhatNeedsIt) {
    PrinterOutcome done;
    done.printer = Row("10.0.1.5", "Lab, \"east\"", "S-5");
    done.printer.addresses = QStringList{"10.0.1.5", "fe80::1%veth0"};
    done.firmwareBefore = QStringLiteral("1.0");
    done.firmwareAfter = QStringLiteral("1.1");
    done.outcome = QStringLiteral("completed");
    done.bytesSent = 17813;
    done.sha256 = QStringList{"fa6d", "0b1c"};
    done.started = QDateTime::fromString(QStringLiteral("2026-12-08T10:00:00Z"), Qt::ISODate);
    done.finished = QDateTime::fromString(QStringLiteral("2026-12-08T10:00:05Z"), Qt::ISODate);
    PrinterOutcome waiting;
    waiting.printer = Row("10.0.1.8", "=cmd()");
    waiting.outcome = QStringLiteral("cancelled");
    waiting.cause = QStringLiteral("cancelled");

    const QJsonObject report =
        QJsonDocument::fromJson(ReportJson(QStringLiteral("QX-310 MFP"),
                                           {{QStringLiteral("a.bin"), 19, QStringLiteral("fa6d")}},
                                           {done, waiting}))
            .object();
    EXPECT_EQ(report["package"]["model"].toString(), QStringLiteral("QX-310 MFP"));
    EXPECT_EQ(report["package"]["files"][0]["size"].toInt(), 19);
    const QJsonObject first = report["printers"][0].toObject();
    EXPECT_EQ(first.keys(),
              (QStringList{"address", "addresses", "bytes_sent", "cause", "finished",
                           "firmware_after", "firmware_before", "message", "name", "outcome",
                           "serial", "sha256", "started"}));
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

} // namespace
