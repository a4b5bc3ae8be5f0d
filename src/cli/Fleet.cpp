#include "Fleet.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <arpa/inet.h>

#include <cstring>

QString DeviceIdField(const QString& deviceId, const QString& key) {
    for (const QString& field : deviceId.split(QLatin1Char(';'))) {
        const qsizetype colon = field.indexOf(QLatin1Char(':'));
        if (colon > 0 && field.left(colon).trimmed().compare(key, Qt::CaseInsensitive) == 0)
            return field.mid(colon + 1).trimmed();
    }
    return QString();
}

std::map<QString, QString> ParseNeighbourTable(const QString& table) {
    // IP address, HW type, Flags, HW address, Mask, Device
    std::map<QString, QString> neighbours;
    const QStringList lines = table.split(QLatin1Char('\n'));
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QStringList columns = lines[i].split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (columns.size() < 4)
            continue;
        bool ok = false;
        const int flags = columns[2].toInt(&ok, 16);
        const QString mac = columns[3].toLower();
        // Flag 0x2: the entry is complete; an all-zero address is none.
        if (!ok || (flags & 0x2) == 0 || mac == QLatin1String("00:00:00:00:00:00"))
            continue;
        neighbours[columns[0]] = mac;
    }
    return neighbours;
}

std::map<QString, QString> ReadNeighbourTable() {
    QFile file(QStringLiteral("/proc/net/arp"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return ParseNeighbourTable(QString::fromLatin1(file.read(1 << 20)));
}

bool IsLinkLocalOfMac(const QString& address, const QString& mac) {
    const QString bare = address.section(QLatin1Char('%'), 0, 0);
    in6_addr ip{};
    if (inet_pton(AF_INET6, bare.toLatin1().constData(), &ip) != 1)
        return false;
    if (ip.s6_addr[0] != 0xfe || (ip.s6_addr[1] & 0xc0) != 0x80)
        return false;
    const QStringList parts = mac.split(QLatin1Char(':'));
    if (parts.size() != 6)
        return false;
    unsigned char hw[6];
    for (int i = 0; i < 6; ++i) {
        bool ok = false;
        const uint value = parts[i].toUInt(&ok, 16);
        if (!ok || value > 0xff)
            return false;
        hw[i] = static_cast<unsigned char>(value);
    }
    const unsigned char eui[8] = {
        static_cast<unsigned char>(hw[0] ^ 0x02), hw[1], hw[2], 0xff, 0xfe, hw[3], hw[4], hw[5]};
    return std::memcmp(ip.s6_addr + 8, eui, 8) == 0;
}

std::vector<FleetPrinter> MergeSamePrinters(const std::vector<FleetPrinter>& rows,
                                            const std::map<QString, QString>& neighbours) {
    std::vector<FleetPrinter> merged;
    auto isV4 = [](const QString& address) { return !address.contains(QLatin1Char(':')); };
    auto samePrinter = [&](const FleetPrinter& a, const FleetPrinter& b) {
        if (!a.serial.isEmpty() && a.serial == b.serial)
            return true;
        for (const QString& one : a.addresses) {
            for (const QString& other : b.addresses) {
                const QString& v4 = isV4(one) ? one : other;
                const QString& v6 = isV4(one) ? other : one;
                if (isV4(v4) && !isV4(v6)) {
                    const auto mac = neighbours.find(v4);
                    if (mac != neighbours.end() && IsLinkLocalOfMac(v6, mac->second))
                        return true;
                }
            }
        }
        return false;
    };
    for (FleetPrinter row : rows) {
        if (row.addresses.isEmpty())
            row.addresses.append(row.address);
        auto same = std::find_if(merged.begin(), merged.end(),
                                 [&](const FleetPrinter& kept) { return samePrinter(kept, row); });
        if (same == merged.end()) {
            merged.push_back(row);
            continue;
        }
        for (const QString& address : row.addresses)
            if (!same->addresses.contains(address))
                same->addresses.append(address);
        if (!isV4(same->address) && isV4(row.address)) {
            // Updates go over IPv4: its row's own readings are the ones kept.
            const QStringList addresses = same->addresses;
            *same = row;
            same->addresses = addresses;
        }
        same->addresses.removeAll(same->address);
        same->addresses.prepend(same->address);
    }
    return merged;
}

std::optional<Subnet> ParseSubnet(const QString& text, QString* why) {
    static const QRegularExpression form(QStringLiteral("^([0-9.]+)/([0-9]{1,2})$"));
    const QRegularExpressionMatch match = form.match(text);
    in_addr address{};
    if (!match.hasMatch() ||
        inet_pton(AF_INET, match.captured(1).toLatin1().constData(), &address) != 1) {
        *why = QStringLiteral("%1: not an IPv4 range such as 192.0.2.0/24").arg(text);
        return std::nullopt;
    }
    const int prefix = match.captured(2).toInt();
    if (prefix > 32) {
        *why = QStringLiteral("%1: a prefix is at most 32").arg(text);
        return std::nullopt;
    }
    if (prefix < kWidestSubnetPrefix) {
        *why = QStringLiteral("%1: wider than /%2 (%3 addresses); split it")
                   .arg(text)
                   .arg(kWidestSubnetPrefix)
                   .arg(1ULL << (32 - prefix));
        return std::nullopt;
    }
    Subnet subnet;
    const uint32_t mask = prefix == 0 ? 0 : ~uint32_t{0} << (32 - prefix);
    subnet.network = ntohl(address.s_addr) & mask;
    subnet.prefix = prefix;
    return subnet;
}

std::vector<QString> SubnetHosts(const Subnet& subnet) {
    std::vector<QString> hosts;
    const uint64_t size = uint64_t{1} << (32 - subnet.prefix);
    uint64_t first = 0, last = size - 1;
    if (subnet.prefix <= 30) {
        first = 1;
        last = size - 2;
    }
    hosts.reserve(static_cast<size_t>(last - first + 1));
    for (uint64_t i = first; i <= last; ++i) {
        in_addr address{};
        address.s_addr = htonl(static_cast<uint32_t>(subnet.network + i));
        char text[INET_ADDRSTRLEN];
        inet_ntop(AF_INET, &address, text, sizeof text);
        hosts.push_back(QString::fromLatin1(text));
    }
    return hosts;
}

namespace {

QString TimeText(const QDateTime& time) {
    return time.isValid() ? time.toUTC().toString(Qt::ISODateWithMs) : QString();
}

QJsonObject PrinterJson(const FleetPrinter& printer) {
    QJsonObject object;
    object.insert(QStringLiteral("address"), printer.address);
    object.insert(QStringLiteral("addresses"), QJsonArray::fromStringList(printer.addresses));
    object.insert(QStringLiteral("name"), printer.name);
    object.insert(QStringLiteral("serial"), printer.serial);
    object.insert(QStringLiteral("firmware"), printer.firmware);
    object.insert(QStringLiteral("status"), printer.status);
    return object;
}

QJsonObject OutcomeJson(const PrinterOutcome& outcome) {
    QJsonObject object;
    object.insert(QStringLiteral("address"), outcome.printer.address);
    object.insert(QStringLiteral("addresses"),
                  QJsonArray::fromStringList(outcome.printer.addresses));
    object.insert(QStringLiteral("name"), outcome.printer.name);
    object.insert(QStringLiteral("serial"), outcome.printer.serial);
    object.insert(QStringLiteral("firmware_before"), outcome.firmwareBefore);
    object.insert(QStringLiteral("firmware_after"), outcome.firmwareAfter);
    object.insert(QStringLiteral("outcome"), outcome.outcome);
    object.insert(QStringLiteral("message"), outcome.message);
    object.insert(QStringLiteral("bytes_sent"), static_cast<qint64>(outcome.bytesSent));
    object.insert(QStringLiteral("started"), TimeText(outcome.started));
    object.insert(QStringLiteral("finished"), TimeText(outcome.finished));
    return object;
}

// One CSV field: quoted when it holds a separator, a quote or a line break,
// and never starting with a character a spreadsheet would run as a formula.
QByteArray CsvField(QString text) {
    if (!text.isEmpty() && QStringLiteral("=+-@\t\r").contains(text.front()))
        text.prepend(QLatin1Char('\''));
    if (text.contains(QLatin1Char(',')) || text.contains(QLatin1Char('"')) ||
        text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r')))
        text = QLatin1Char('"') + text.replace(QLatin1Char('"'), QStringLiteral("\"\"")) +
               QLatin1Char('"');
    return text.toUtf8();
}

QByteArray CsvLine(const QStringList& fields) {
    QByteArray line;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i > 0)
            line += ',';
        line += CsvField(fields[i]);
    }
    return line + "\r\n";
}

} // namespace

const QStringList& UpdateOutcomes() {
    static const QStringList outcomes = {
        QStringLiteral("completed"),    QStringLiteral("failed"),
        QStringLiteral("cancelled"),    QStringLiteral("unreachable"),
        QStringLiteral("not-verified"), QStringLiteral("version-unchanged"),
        QStringLiteral("dry-run")};
    return outcomes;
}

QByteArray ListJson(const std::vector<FleetPrinter>& printers) {
    QJsonArray array;
    for (const FleetPrinter& printer : printers)
        array.append(PrinterJson(printer));
    QJsonObject root;
    root.insert(QStringLiteral("format"), kJsonFormat);
    root.insert(QStringLiteral("printers"), array);
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

QByteArray ListCsv(const std::vector<FleetPrinter>& printers) {
    QByteArray csv = CsvLine({"address", "addresses", "name", "serial", "firmware", "status"});
    for (const FleetPrinter& printer : printers)
        csv += CsvLine({printer.address, printer.addresses.join(QLatin1Char(' ')), printer.name,
                        printer.serial, printer.firmware, printer.status});
    return csv;
}

QByteArray ReportJson(const QString& model, const std::vector<PackageFile>& files,
                      const std::vector<PrinterOutcome>& outcomes, const UpdateRun& run) {
    QJsonArray fileArray;
    for (const PackageFile& file : files) {
        QJsonObject object;
        object.insert(QStringLiteral("name"), file.name);
        object.insert(QStringLiteral("size"), file.size);
        object.insert(QStringLiteral("sha256"), file.sha256);
        fileArray.append(object);
    }
    QJsonObject package;
    package.insert(QStringLiteral("path"), run.packagePath);
    package.insert(QStringLiteral("model"), model);
    package.insert(QStringLiteral("files"), fileArray);
    QJsonArray printers;
    for (const PrinterOutcome& outcome : outcomes)
        printers.append(OutcomeJson(outcome));
    QJsonObject root;
    root.insert(QStringLiteral("format"), kJsonFormat);
    root.insert(QStringLiteral("program"), QStringLiteral("quenlo-cli"));
    root.insert(QStringLiteral("program_version"), run.programVersion);
    root.insert(QStringLiteral("host"), run.host);
    root.insert(QStringLiteral("dry_run"), run.dryRun);
    root.insert(QStringLiteral("started"), TimeText(run.started));
    root.insert(QStringLiteral("finished"), TimeText(run.finished));
    root.insert(QStringLiteral("package"), package);
    root.insert(QStringLiteral("printers"), printers);
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

QByteArray ReportCsv(const std::vector<PrinterOutcome>& outcomes) {
    QByteArray csv =
        CsvLine({"address", "addresses", "name", "serial", "firmware_before", "firmware_after",
                 "outcome", "message", "bytes_sent", "started", "finished"});
    for (const PrinterOutcome& o : outcomes)
        csv +=
            CsvLine({o.printer.address, o.printer.addresses.join(QLatin1Char(' ')), o.printer.name,
                     o.printer.serial, o.firmwareBefore, o.firmwareAfter, o.outcome, o.message,
                     QString::number(o.bytesSent), TimeText(o.started), TimeText(o.finished)});
    return csv;
}
