// An emulated USB printer for tests and demos, at the usbfs level under
// umockdev, so that the real libusb enumerates, opens and talks to it.
//
// The printer has a printing-class interface 0 (bulk OUT 0x01, bulk IN 0x81;
// held by the kernel's usblp unless told otherwise) that answers the class
// request GET_DEVICE_ID, and a vendor interface 1 with a bulk out-pipe and a
// bulk in-pipe that takes the vendor commands and the firmware.
//
// Use:
//   int main(int argc, char** argv) {
//       usbemu::Emulator::EnsurePreloaded(argc, argv); // re-executes under the preload
//       ...
//   }
//   usbemu::Emulator emu;                    // before the first libusb_init
//   int id = emu.AddPrinter(setup);           // attached and enumerable at once
//   ... run the code under test ...
//   emu.Written(id);                         // every byte of the out-pipe, in order
//   emu.ClearHalts(id, 0x02);                // clear-halts of one endpoint
//   emu.Unplug(id);
//
// Everything is safe to call from the test's thread while the program talks
// to the printer on umockdev's thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace usbemu {

enum class WriteFault {
    None,
    Stall, // the out-pipe halts: the transfer ends with a stall
    Error, // the transfer fails with a protocol error
    Stop,  // the printer stops taking bytes (it answers every packet with NAK)
};

// The "STS:" field (with its ';') of a device ID reporting a 108-byte status
// record whose status code (byte 9) is code, the other bytes fill.
std::string StatusField(uint8_t code, uint8_t fill = 0);

struct PrinterSetup {
    uint16_t vendorId = 0x5A5A; // the example package's IDs
    uint16_t productId = 0x0310;
    // String descriptors; an empty text leaves its index 0 in the device
    // descriptor (no such string).
    std::string manufacturer = "Emulated Printers";
    std::string product = "Emulated Printer";
    std::string serial = "EMU0000001";
    // Answer to GET_DEVICE_ID, without its two-byte length. The default
    // carries a serial number, a description and the status "Ready".
    std::string deviceId = "MFG:Emulated Printers;MDL:Emulated Printer;CMD:PCL;CLS:PRINTER;"
                           "SERN:EMU0000001;DES:Emulated Printer;" +
                           StatusField(0);

    bool secondInterface = true;     // false: the device lists interface 0 only
    bool noEndpointsAtFirst = false; // interface 1 setting 0 has no endpoints;
                                     // setting 1 has OUT 0x03, IN 0x84, OUT 0x05
    bool inPipeFirst = false;        // interface 1 lists its IN endpoint first
    bool usblpBound = true;          // usblp holds interface 0 until detached
    // Number of the printing-class interface: 0, or 2 for a printer whose
    // interface 0 is something else (no endpoints) and whose printing
    // interface follows the vendor interface 1. usblp then holds that one,
    // and GET_DEVICE_ID is answered only when its wIndex carries that
    // number in the high byte and alternate setting 0 in the low byte.
    uint8_t printingInterface = 0;
    std::string classDriverPath; // udev property naming a class driver module

    // Replies queued on the in-pipe after the two vendor commands. Empty:
    // built from serial/firmware/name below.
    std::vector<uint8_t> infoReply;
    std::vector<uint8_t> nameReply;
    std::string firmwareVersion = "V1.00";
    std::string printerName = "Emulated Printer";

    WriteFault writeFault = WriteFault::None;
    // The fault strikes once the out-pipe has taken this many bytes (counted
    // over the printer's whole life, commands included); the urb under way
    // ends there with the packets taken so far.
    uint64_t faultAfterBytes = 0;
    // How fast the out-pipe takes bytes: 0 takes every urb at once; N takes
    // N bytes per second, in whole 512-byte packets, one urb after the other,
    // so a urb completes only once its time has passed. A cancelled urb
    // reports the packets taken until then.
    uint64_t bytesPerSecond = 0;
    bool silent = false;        // takes the vendor commands but never answers
    bool detachRefused = false; // usblp cannot be detached (EPERM); its sysfs
                                // attribute ieee1284_id holds the device ID
    // Where the firmware goes besides memory: a file path that receives every
    // byte written to the out-pipe (keeps memory flat for large writes).
    std::string recordPath;
    bool keepInMemory = true;
};

// The standard reply records of the two vendor commands.
std::vector<uint8_t> InfoReply(const std::string& serial, const std::string& firmware);
std::vector<uint8_t> NameReply(const std::string& name);

class Emulator {
public:
    // Re-executes the program with umockdev's preload library unless it is
    // loaded already. Call first thing in main, before any thread exists.
    static void EnsurePreloaded(int argc, char** argv);

    // scatterGather: whether the emulated kernel takes a large bulk transfer
    // as one urb; without it libusb sends 16 KiB urbs that are joined here.
    explicit Emulator(bool scatterGather = true);
    ~Emulator();
    Emulator(const Emulator&) = delete;
    Emulator& operator=(const Emulator&) = delete;

    // Attaches a printer; returns its id (its device number on bus 1).
    int AddPrinter(const PrinterSetup& setup);
    // Removes it: open handles fail with ENODEV from now on.
    void Unplug(int id);

    std::vector<uint8_t> Written(int id) const;
    uint64_t WrittenCount(int id) const;
    // Bulk/interrupt urbs that reached the out-pipe (a split write shows as many).
    int OutUrbs(int id) const;
    // Each of them as it was handed in: its length, its usbfs flags
    // (USBDEVFS_URB_ZERO_PACKET asks for a zero-length packet after it) and
    // the bytes the printer took of it (less than its length when it was
    // cancelled or failed on its way), in the order the pipe took them.
    struct OutUrb {
        int length = 0;
        unsigned flags = 0;
        int taken = 0;
    };
    std::vector<OutUrb> OutUrbLog(int id) const;
    // The out-pipe's maximum packet size.
    static constexpr int kPacketSize = 512;
    int ClearHalts(int id, uint8_t endpoint) const;
    // Whether usblp holds interface 0 now, and how often it was detached.
    bool KernelDriverBound(int id) const;
    int KernelDriverDetaches(int id) const;
    // Requests for the device ID that reached the printer.
    int DeviceIdRequests(int id) const;
    // The alternate setting of interface 1 last selected (0 at the start).
    int AlternateSetting(int id) const;
    // Each claim of interface 1 (the vendor interface): how many bytes the
    // out-pipe had received before it, and when it came (seconds on a
    // steady clock).
    struct Claim {
        uint64_t writtenBefore = 0;
        double seconds = 0;
    };
    std::vector<Claim> VendorClaims(int id) const;

    void SetWriteFault(int id, WriteFault fault);

    // The testbed's root directory (UMOCKDEV_DIR for a child process).
    std::string RootDir() const;

    struct Impl;

private:
    std::unique_ptr<Impl> m_impl;
};

} // namespace usbemu
