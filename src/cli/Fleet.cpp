#include "cli/Fleet.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTemporaryFile>

#include <arpa/inet.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

PrinterIdentity Identity(const FleetPrinter& printer) {
    PrinterIdentity identity;
    identity.serial = printer.serial.toStdString();
    for (const QString& address : printer.addresses)
        identity.addresses.push_back(address.toStdString());
    if (identity.addresses.empty())
        identity.addresses.push_back(printer.address.toStdString());
    return identity;
}

} // namespace

std::vector<FleetPrinter> MergeSamePrinters(const std::vector<FleetPrinter>& rows,
                                            const NeighbourTable& neighbours) {
    std::vector<PrinterIdentity> identities;
    for (const FleetPrinter& row : rows)
        identities.push_back(Identity(row));
    std::vector<FleetPrinter> merged;
    for (const std::vector<std::size_t>& group : GroupSamePrinters(identities, neighbours)) {
        // Updates go to the group's first row (IPv4 when it has one): its own
        // readings are the ones kept, its address first.
        FleetPrinter printer = rows[group.front()];
        printer.addresses.clear();
        for (const std::size_t member : group)
            for (const std::string& address : identities[member].addresses)
                if (!printer.addresses.contains(QString::fromStdString(address)))
                    printer.addresses.append(QString::fromStdString(address));
        printer.addresses.removeAll(printer.address);
        printer.addresses.prepend(printer.address);
        merged.push_back(printer);
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
    object.insert(QStringLiteral("cause"), outcome.cause);
    object.insert(QStringLiteral("message"), outcome.message);
    object.insert(QStringLiteral("sha256"), QJsonArray::fromStringList(outcome.sha256));
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

// Columns are padded by bytes, as a terminal with UTF-8 shows ASCII names.
[[gnu::format(printf, 2, 3)]] void AppendFormatted(QByteArray& text, const char* format, ...) {
    std::va_list arguments;
    va_start(arguments, format);
    std::va_list again;
    va_copy(again, arguments);
    const int length = std::vsnprintf(nullptr, 0, format, arguments);
    va_end(arguments);
    if (length > 0) {
        const qsizetype end = text.size();
        text.resize(end + length + 1);
        std::vsnprintf(text.data() + end, size_t(length) + 1, format, again);
        text.resize(end + length);
    }
    va_end(again);
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

QByteArray JsonListDocument(const QString& key, const QJsonArray& items) {
    QJsonObject root;
    root.insert(QStringLiteral("format"), kJsonFormat);
    root.insert(key, items);
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

QByteArray ListJson(const std::vector<FleetPrinter>& printers) {
    QJsonArray array;
    for (const FleetPrinter& printer : printers)
        array.append(PrinterJson(printer));
    return JsonListDocument(QStringLiteral("printers"), array);
}

QByteArray ListCsv(const std::vector<FleetPrinter>& printers) {
    QByteArray csv = CsvLine({"address", "addresses", "name", "serial", "firmware", "status"});
    for (const FleetPrinter& printer : printers)
        csv += CsvLine({printer.address, printer.addresses.join(QLatin1Char(' ')), printer.name,
                        printer.serial, printer.firmware, printer.status});
    return csv;
}

QByteArray ListTable(const std::vector<FleetPrinter>& printers, const QString& model) {
    QByteArray text;
    AppendFormatted(text, "%-28s %-24s %-12s %-14s %s\n", "ADDRESS", "NAME", "FIRMWARE", "STATUS",
                    "SERIAL");
    for (const FleetPrinter& p : printers) {
        AppendFormatted(text, "%-28s %-24s %-12s %-14s %s\n", p.address.toUtf8().constData(),
                        p.name.toUtf8().constData(), p.firmware.toUtf8().constData(),
                        p.status.toUtf8().constData(), p.serial.toUtf8().constData());
        for (qsizetype i = 1; i < p.addresses.size(); ++i)
            AppendFormatted(text, "  also %s\n", p.addresses[i].toUtf8().constData());
    }
    AppendFormatted(text, "%zu printer(s) of %s\n", printers.size(), model.toUtf8().constData());
    return text;
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
                 "outcome", "message", "bytes_sent", "started", "finished", "cause", "sha256"});
    for (const PrinterOutcome& o : outcomes)
        csv += CsvLine({o.printer.address, o.printer.addresses.join(QLatin1Char(' ')),
                        o.printer.name, o.printer.serial, o.firmwareBefore, o.firmwareAfter,
                        o.outcome, o.message, QString::number(o.bytesSent), TimeText(o.started),
                        TimeText(o.finished), o.cause, o.sha256.join(QLatin1Char(' '))});
    return csv;
}
