#pragma once
// What the emulator's parts share, and no test sees: a printer's state under
// the emulator's one lock, its descriptors and the usbfs pipe that serves it.

#include "UsbPrinterEmulator.h"

#include <umockdev.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace usbemu {

// One urb handed in by a client and not yet reaped.
struct Urb {
    UMockdevIoctlClient* client;
    UMockdevIoctlData* data; // resolved usbdevfs_urb, its buffer resolved as a child
    UMockdevIoctlData* buffer;
};

using Clock = std::chrono::steady_clock;

// An OUT urb on its way into the printer: the pipe takes one urb at a time.
struct OutgoingUrb {
    Urb urb;
    std::size_t log = 0; // its entry in Printer::outUrbLog
    int length = 0;
    int taken = 0; // bytes the printer has taken of it
    Clock::time_point submitted;
    bool started = false; // the pipe has begun on it at `start`
    Clock::time_point start;
};

struct Printer {
    Emulator::Impl* owner = nullptr;
    int id = 0;
    PrinterSetup setup;
    std::string syspath;
    std::string devnode;
    UMockdevIoctlBase* handler = nullptr;
    std::vector<uint8_t> deviceDesc;
    std::vector<uint8_t> configDesc;

    // Guarded by Impl::mutex.
    bool gone = false;
    bool usblpBound = false;
    int detaches = 0;
    int deviceIdRequests = 0;
    int altSetting = 0;
    std::vector<Emulator::Claim> vendorClaims;
    int outUrbs = 0;
    std::vector<Emulator::OutUrb> outUrbLog;
    std::deque<OutgoingUrb> waitingOut; // OUT urbs the pipe has not finished
    Clock::time_point pipeFree;         // when the pipe finished its last urb
    uint64_t writtenCount = 0;
    std::vector<uint8_t> written;
    std::map<int, int> clearHalts;
    std::deque<uint8_t> pendingReply;
    std::deque<Urb> waitingIn; // IN urbs waiting for a reply
    std::deque<Urb> completed; // finished, waiting to be reaped
    FILE* record = nullptr;
};

struct Emulator::Impl {
    UMockdevTestbed* testbed = nullptr;
    bool scatterGather = true;
    mutable std::mutex mutex;
    std::map<int, std::unique_ptr<Printer>> printers;
    int nextDevnum = 2;

    Printer& Get(int id) const {
        auto it = printers.find(id);
        if (it == printers.end()) {
            std::fprintf(stderr, "usb emulator: no printer %d\n", id);
            std::abort();
        }
        return *it->second;
    }
};

// Descriptors and the device's record (PrinterDescriptors.cpp).
void Put16(std::vector<uint8_t>& v, uint16_t x);
unsigned InterfaceCount(const PrinterSetup& s);
void Endpoint(std::vector<uint8_t>& v, uint8_t address, uint8_t type = 2 /* bulk */);
void InterfaceDesc(std::vector<uint8_t>& v, uint8_t number, uint8_t alt, uint8_t endpoints,
                   uint8_t cls, uint8_t sub, uint8_t proto);
std::string Hex(const std::vector<uint8_t>& v);
std::vector<uint8_t> Utf16Descriptor(const std::string& text);
void BuildDescriptors(Printer& p);
std::string DeviceRecord(const Printer& p, int port);

// The usbfs pipe (UsbfsPipe.cpp); each is called with Impl::mutex held.
void Finish(Printer& p, Urb urb, int status, int actual);
// Moves the out-pipe on to `now`: urbs are taken in order, each at the
// printer's rate, until a fault strikes. Called at every urb ioctl; libusb
// reaps while it waits, so completions come on time.
void Advance(Printer& p, Clock::time_point now);
// Ends every OUT urb still under way with this status and what it took.
void EndOutgoing(Printer& p, int status);
// The handler of every ioctl on a printer's node; takes Impl::mutex itself.
gboolean HandleIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer userData);

} // namespace usbemu
