// How quenlo-cli finds the printers of the package's model, for list and for
// update alike: by broadcast and multicast, by sweeping subnets, at typed
// addresses, and on the USB port; each printer then asked for its name,
// firmware, status and serial.
#pragma once

#include "cli/Fleet.h"
#include "cli/FleetOptions.h"
#include "settings/AsciiText.h"

#include <QString>
#include <optional>
#include <string>
#include <vector>

// The community and the model's identifier as the SNMP codec takes them.
struct Search {
    char community[kCTextSize] = {};
    char model[kCTextSize] = {};
    // The IPv6 interface the printers were found on: set while they are
    // found, on the main thread; only read once the workers run.
    int scopeId = 0;
};

// False with *problem set when the package names no model identifier (a
// package for USB only).
bool PrepareSearch(const SearchOptions& options, Search* search, QString* problem);

// Every printer of the model that the options reach, one entry per printer.
std::vector<FleetPrinter> FindPrinters(const SearchOptions& options, Search& search);

// The typed addresses that answer as a printer of the model, described and
// merged; the others in *silent, in their order.
std::vector<FleetPrinter> FindTypedPrinters(const QStringList& addresses, Search& search,
                                            QStringList* silent);

// The firmware version of a printer that answers as the model again; empty
// while it does not. On a worker thread: the interface is the search's, and
// what this probe finds of it stays here.
std::optional<QString> ProbeVersion(const FleetPrinter& printer, const Search& search);

// The attached USB printer of the package's IDs, as address "usb".
std::optional<FleetPrinter> FindUsbPrinter();
