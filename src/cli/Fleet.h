// The printers of a fleet as the command-line tool sees them: one entry per
// printer however many addresses it answered on, the subnets to sweep, and
// the reports a script or a person reads afterwards.
#pragma once

#include "net/SamePrinter.h"

#include <QDateTime>
#include <QJsonArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

struct FleetPrinter {
    QString address;       // the one updates go to: IPv4 when the printer has one
    QStringList addresses; // every address it answered on, address first
    QString name;
    QString serial; // "SERN:" of the device ID; empty when it has none
    QString firmware;
    QString status;
};

// Merges entries that are the same printer: the same serial number, or an
// IPv6 link-local address built from the hardware address that the neighbour
// table shows for an IPv4 entry. Keeps the order of first appearance; the
// merged entry keeps the IPv4 entry's address as its own.
std::vector<FleetPrinter> MergeSamePrinters(const std::vector<FleetPrinter>& rows,
                                            const NeighbourTable& neighbours);

// An IPv4 range in CIDR form. The hosts exclude the network and broadcast
// addresses for prefixes up to /30; /31 and /32 name their addresses whole.
struct Subnet {
    uint32_t network = 0; // host order
    int prefix = 32;
};
constexpr int kWidestSubnetPrefix = 16;
// Empty with *why set when text is not a CIDR range or is wider than /16.
std::optional<Subnet> ParseSubnet(const QString& text, QString* why);
std::vector<QString> SubnetHosts(const Subnet& subnet);

// What happened to one printer in an update.
struct PrinterOutcome {
    FleetPrinter printer;
    QString firmwareBefore;
    QString firmwareAfter;
    QString outcome; // completed, failed, cancelled, unreachable, not-verified,
                     // version-unchanged, dry-run
    // Why it did not complete: refused, reset, stalled, not-acknowledged,
    // unplugged, file-changed, file-unreadable, cancelled; empty otherwise.
    QString cause;
    QString message;
    QStringList sha256;     // of each file sent whole, as read while it was sent
    uint64_t bytesSent = 0; // markers included
    QDateTime started;      // invalid when the printer never started
    QDateTime finished;
};

// Every outcome, in the order metrics list them.
const QStringList& UpdateOutcomes();

// The run a report or a metrics file speaks of.
struct UpdateRun {
    QString programVersion;
    QString host;
    QString packagePath; // the package folder
    bool dryRun = false;
    QDateTime started; // when the command began, before the search for printers
    QDateTime finished;
};

struct PackageFile {
    QString name;
    qint64 size = 0;
    QString sha256;
};

// The shape of every JSON document quenlo-cli writes (update report, list,
// history), given as "format": raised when a field changes its meaning or goes
// away, never for a field added. docs/schemas/ describes each.
constexpr int kJsonFormat = 1;

// {"format": kJsonFormat, key: items}: the list and the history.
QByteArray JsonListDocument(const QString& key, const QJsonArray& items);

QByteArray ListJson(const std::vector<FleetPrinter>& printers);
QByteArray ListCsv(const std::vector<FleetPrinter>& printers);
// The table for a person: a line per printer with its further addresses
// below it, and the count of the model's printers.
QByteArray ListTable(const std::vector<FleetPrinter>& printers, const QString& model);
QByteArray ReportJson(const QString& model, const std::vector<PackageFile>& files,
                      const std::vector<PrinterOutcome>& outcomes, const UpdateRun& run);
QByteArray ReportCsv(const std::vector<PrinterOutcome>& outcomes);
