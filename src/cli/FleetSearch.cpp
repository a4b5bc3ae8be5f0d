#include "cli/FleetSearch.h"

#include "cli/Sweep.h"
#include "net/NetIO.h"
#include "settings/SettingsData.h"
#include "usb/UsbPrinterInfo.h"

#include <algorithm>
#include <thread>

namespace {

bool IsV6(const std::string& address) {
    return address.find(':') != std::string::npos;
}

void AddOnce(std::vector<std::string>& found, const std::string& address) {
    if (std::find(found.begin(), found.end(), address) == found.end())
        found.push_back(address);
}

bool FoundCallback(char* address, char*, void* context) {
    if (address != nullptr)
        AddOnce(*static_cast<std::vector<std::string>*>(context), address);
    return true;
}

// Asks one address whether it is a printer of the model: the wizard's check
// before each printer. `scopeId` is the IPv6 interface asked through (0:
// every usable one); a link-local printer found without one sets it.
bool Probe(const std::string& address, const char* community, const char* model, int& scopeId) {
    std::vector<std::string> found;
    CNetIO net(scopeId);
    if (IsV6(address))
        net.FindSnmpAgentV6(community, address.c_str(), model, FoundCallback, &found, false);
    else
        net.FindSnmpAgent(community, address.c_str(), model, FoundCallback, &found, false);
    scopeId = net.ScopeId();
    return !found.empty();
}

// Name, firmware, status and serial of each address, all asked together.
std::vector<FleetPrinter> Describe(const std::vector<std::string>& addresses, const char* community,
                                   int scopeId) {
    std::vector<PRINTER_QUERY> queries(addresses.size());
    for (size_t i = 0; i < addresses.size(); ++i)
        queries[i].address = addresses[i].c_str();
    if (!queries.empty()) {
        CNetIO net(scopeId);
        net.QueryPrinters(community, queries.data(), int(queries.size()));
    }
    std::vector<FleetPrinter> printers;
    for (PRINTER_QUERY& q : queries) {
        FleetPrinter printer;
        printer.address = QString::fromLatin1(q.address);
        printer.addresses = QStringList{printer.address};
        printer.name = q.bNameRead ? QString::fromUtf8(q.szName) : m_Settings.szModelName;
        printer.firmware = QString::fromUtf8(q.szVersion);
        printer.status = QString::fromLatin1(ShownStatusName(&q.status));
        printer.serial = QString::fromLatin1(DeviceIdField(q.szDeviceId, "SERN").c_str());
        printers.push_back(printer);
    }
    return printers;
}

} // namespace

bool PrepareSearch(const SearchOptions& options, Search* search, QString* problem) {
    CopyAsciiText(options.community, search->community);
    if (!CopyAsciiText(m_Settings.szSysOID, search->model) || search->model[0] == '\0') {
        *problem = QStringLiteral("the package names no SysOID: it is for USB only (use --usb)");
        return false;
    }
    return true;
}

// The broadcast, the multicast and the sweep run at once, so that a list
// costs one quiet period, not one per way of asking; rows keep the order
// IPv4 broadcast, IPv6 multicast, sweep, typed addresses.
std::vector<FleetPrinter> FindPrinters(const SearchOptions& options, Search& search) {
    std::vector<std::string> v4, v6, swept, typed;
    int multicastScope = search.scopeId, typedScope = search.scopeId;
    std::vector<std::thread> askers;
    if (options.broadcast) {
        askers.emplace_back([&] {
            CNetIO net;
            net.FindSnmpAgent(search.community, "255.255.255.255", search.model, FoundCallback, &v4,
                              true);
        });
        askers.emplace_back([&] {
            CNetIO net(search.scopeId);
            net.FindSnmpAgentV6(search.community, "ff02::1", search.model, FoundCallback, &v6,
                                true);
            multicastScope = net.ScopeId();
        });
    }
    std::vector<std::string> hosts;
    for (const QString& text : options.subnets) {
        QString why;
        for (const QString& host : SubnetHosts(*ParseSubnet(text, &why)))
            hosts.push_back(host.toStdString());
    }
    for (const QString& address : options.addresses)
        if (!IsV6(address.toStdString()))
            hosts.push_back(address.toStdString());
    if (!hosts.empty())
        askers.emplace_back([&] { swept = SweepAgents(hosts, search.community, search.model); });
    for (const QString& address : options.addresses) {
        const std::string text = address.toStdString();
        if (IsV6(text) && Probe(text, search.community, search.model, typedScope))
            typed.push_back(text);
    }
    for (std::thread& asker : askers)
        asker.join();
    // The multicast's rows come first, and so does its interface.
    search.scopeId = multicastScope > 0 ? multicastScope : typedScope;
    std::vector<std::string> found;
    for (const auto* list : {&v4, &v6, &swept, &typed})
        for (const std::string& address : *list)
            AddOnce(found, address);
    return MergeSamePrinters(Describe(found, search.community, search.scopeId),
                             ReadNeighbourTable());
}

std::vector<FleetPrinter> FindTypedPrinters(const QStringList& addresses, Search& search,
                                            QStringList* silent) {
    std::vector<std::string> answered;
    for (const QString& typed : addresses) {
        const std::string address = typed.toStdString();
        if (Probe(address, search.community, search.model, search.scopeId))
            AddOnce(answered, address);
        else
            silent->append(typed);
    }
    return MergeSamePrinters(Describe(answered, search.community, search.scopeId),
                             ReadNeighbourTable());
}

std::optional<QString> ProbeVersion(const FleetPrinter& printer, const Search& search) {
    const std::string address = printer.address.toStdString();
    int scopeId = search.scopeId;
    if (!Probe(address, search.community, search.model, scopeId))
        return std::nullopt;
    const std::vector<FleetPrinter> described = Describe({address}, search.community, scopeId);
    if (described.empty())
        return std::nullopt;
    return described.front().firmware;
}

std::optional<FleetPrinter> FindUsbPrinter() {
    UsbPrinterRow row;
    if (!ReadUsbPrinter(&row))
        return std::nullopt;
    FleetPrinter printer;
    printer.address = QStringLiteral("usb");
    printer.addresses = QStringList{printer.address};
    printer.serial = QString::fromUtf8(row.serial.c_str());
    printer.name = QString::fromUtf8(row.name.c_str());
    printer.firmware = QString::fromUtf8(row.firmware.c_str());
    printer.status = QString::fromLatin1(ShownStatusName(&row.status));
    return printer;
}
