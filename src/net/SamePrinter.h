// Which addresses are one printer. A printer that answers over IPv4 and IPv6
// (or on several IPv4 addresses) is listed once per address, but it must get
// its firmware once: two addresses are one printer when their device IDs
// carry the same serial number, or when an IPv6 link-local address is built
// (modified EUI-64) from the hardware address the kernel's neighbour table
// shows for an IPv4 one. Both programs use this one rule.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

// The value of one field ("SERN", "MDL", ...) of an IEEE 1284 device ID,
// without surrounding blanks; empty when absent. Keys match in any case.
std::string DeviceIdField(std::string_view deviceId, std::string_view key);

// IPv4 address text -> hardware address text ("aa:bb:cc:dd:ee:ff") from the
// kernel's neighbour table text (the format of /proc/net/arp).
using NeighbourTable = std::map<std::string, std::string>;
NeighbourTable ParseNeighbourTable(std::string_view table);
NeighbourTable ReadNeighbourTable();

// True when address is an IPv6 link-local address (scope allowed) whose
// interface identifier is the modified EUI-64 of the hardware address mac.
bool IsLinkLocalOfMac(const std::string& address, const std::string& mac);

// One printer as far as the rule can tell: its serial ("SERN:", empty when
// unknown) and every address it answered on.
struct PrinterIdentity {
    std::string serial;
    std::vector<std::string> addresses;
};

bool SamePrinter(const PrinterIdentity& a, const PrinterIdentity& b,
                 const NeighbourTable& neighbours);

// The rows grouped by printer, groups in the order of their first row and
// rows in their own order, except that each group starts with the row to
// send to: its first IPv4 row, else its first row.
std::vector<std::vector<std::size_t>> GroupSamePrinters(const std::vector<PrinterIdentity>& rows,
                                                        const NeighbourTable& neighbours);
