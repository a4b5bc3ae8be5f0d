#include "net/SamePrinter.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

namespace {

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    return text;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

bool IsV4(const std::string& address) {
    return address.find(':') == std::string::npos;
}

} // namespace

std::string DeviceIdField(std::string_view deviceId, std::string_view key) {
    while (!deviceId.empty()) {
        const std::size_t end = deviceId.find(';');
        const std::string_view field = deviceId.substr(0, end);
        const std::size_t colon = field.find(':');
        if (colon != std::string_view::npos && colon > 0 &&
            EqualNoCase(Trimmed(field.substr(0, colon)), key))
            return std::string(Trimmed(field.substr(colon + 1)));
        if (end == std::string_view::npos)
            break;
        deviceId.remove_prefix(end + 1);
    }
    return std::string();
}

NeighbourTable ParseNeighbourTable(std::string_view table) {
    // IP address, HW type, Flags, HW address, Mask, Device; a heading first.
    NeighbourTable neighbours;
    std::istringstream lines{std::string(table)};
    std::string line;
    std::getline(lines, line);
    while (std::getline(lines, line)) {
        std::istringstream columns(line);
        std::string ip, type, flagText, mac;
        if (!(columns >> ip >> type >> flagText >> mac))
            continue;
        char* end = nullptr;
        const unsigned long flags = std::strtoul(flagText.c_str(), &end, 16);
        for (char& c : mac)
            c = char(std::tolower(static_cast<unsigned char>(c)));
        // Flag 0x2: the entry is complete; an all-zero address is none.
        if (end == flagText.c_str() || *end != '\0' || (flags & 0x2) == 0 ||
            mac == "00:00:00:00:00:00")
            continue;
        neighbours[ip] = mac;
    }
    return neighbours;
}

NeighbourTable ReadNeighbourTable() {
    std::ifstream file("/proc/net/arp");
    if (!file)
        return {};
    // A neighbour table is small; a megabyte bounds a strange one.
    std::string text(1 << 20, '\0');
    file.read(text.data(), std::streamsize(text.size()));
    text.resize(std::size_t(file.gcount()));
    return ParseNeighbourTable(text);
}

bool IsLinkLocalOfMac(const std::string& address, const std::string& mac) {
    const std::string bare = address.substr(0, address.find('%'));
    in6_addr ip{};
    if (inet_pton(AF_INET6, bare.c_str(), &ip) != 1)
        return false;
    if (ip.s6_addr[0] != 0xfe || (ip.s6_addr[1] & 0xc0) != 0x80)
        return false;
    unsigned hw[6];
    char rest = 0;
    if (std::sscanf(mac.c_str(), "%2x:%2x:%2x:%2x:%2x:%2x%c", &hw[0], &hw[1], &hw[2], &hw[3],
                    &hw[4], &hw[5], &rest) != 6)
        return false;
    const unsigned char eui[8] = {static_cast<unsigned char>(hw[0] ^ 0x02),
                                  static_cast<unsigned char>(hw[1]),
                                  static_cast<unsigned char>(hw[2]),
                                  0xff,
                                  0xfe,
                                  static_cast<unsigned char>(hw[3]),
                                  static_cast<unsigned char>(hw[4]),
                                  static_cast<unsigned char>(hw[5])};
    return std::memcmp(ip.s6_addr + 8, eui, 8) == 0;
}

bool SamePrinter(const PrinterIdentity& a, const PrinterIdentity& b,
                 const NeighbourTable& neighbours) {
    if (!a.serial.empty() && a.serial == b.serial)
        return true;
    for (const std::string& one : a.addresses) {
        for (const std::string& other : b.addresses) {
            if (IsV4(one) == IsV4(other))
                continue;
            const std::string& v4 = IsV4(one) ? one : other;
            const std::string& v6 = IsV4(one) ? other : one;
            const auto mac = neighbours.find(v4);
            if (mac != neighbours.end() && IsLinkLocalOfMac(v6, mac->second))
                return true;
        }
    }
    return false;
}

std::vector<std::vector<std::size_t>> GroupSamePrinters(const std::vector<PrinterIdentity>& rows,
                                                        const NeighbourTable& neighbours) {
    std::vector<std::vector<std::size_t>> groups;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        auto group = groups.begin();
        for (; group != groups.end(); ++group) {
            bool same = false;
            for (const std::size_t member : *group)
                same = same || SamePrinter(rows[member], rows[i], neighbours);
            if (same)
                break;
        }
        if (group == groups.end())
            groups.push_back({i});
        else
            group->push_back(i);
    }
    auto v4 = [&](std::size_t row) {
        return !rows[row].addresses.empty() && IsV4(rows[row].addresses.front());
    };
    for (std::vector<std::size_t>& group : groups) {
        const auto first = std::find_if(group.begin(), group.end(), v4);
        if (first != group.end())
            std::rotate(group.begin(), first, first + 1);
    }
    return groups;
}
