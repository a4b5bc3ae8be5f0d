// The firmware transfer engine shared by the network and the USB download:
// every file of the package, whole and in order, each followed by its
// four-byte marker, over one printer's channel. It reads each file in pieces
// while it sends, waits in short slices so that the window stays alive, gives
// up on a printer that stops taking bytes, and calls a download complete only
// once the channel says the printer has the bytes.
//
// The roads differ only in their Channel and their Policy; the pages map the
// Result to their messages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace transfer {

// One firmware file, opened and measured before any of it is sent.
class Source {
public:
    virtual ~Source() = default;
    virtual int64_t Size() const = 0;
    // Up to length bytes into `into`: the count read, 0 at the end, -1 on failure.
    virtual long Read(unsigned char* into, std::size_t length) = 0;
};

// The package's files in their order.
class Package {
public:
    virtual ~Package() = default;
    virtual int FileCount() const = 0;
    // Null when the file cannot be used: missing, outside the package, not a
    // regular file, or unreadable.
    virtual std::unique_ptr<Source> Open(int index) = 0;
};

enum class OpenResult {
    Open,
    Pending,     // still connecting: call Open again
    Unreachable, // nothing could be tried (no address, no device)
    Refused,     // the printer was tried and did not take the connection
};

enum class Delivery { Delivered, Pending, Lost };

// The road to one printer. Open and Close bracket one file.
class Channel {
public:
    virtual ~Channel() = default;
    // Starts this file's opening on the first call and waits at most waitMs
    // for it; Pending asks for another call.
    virtual OpenResult Open(int waitMs) = 0;
    // Hands up to length bytes to the printer, waiting at most waitMs for it
    // to take any: the count taken (0 when none within the wait), or -1 when
    // the channel failed. A call that returned 0 may be repeated with the
    // same bytes.
    virtual long Write(const unsigned char* data, std::size_t length, int waitMs) = 0;
    // Whether every byte handed over so far has reached the printer; waits
    // at most waitMs while it is pending. *outstanding: bytes not yet
    // acknowledged, when the channel knows.
    virtual Delivery Delivered(int waitMs, int64_t* outstanding) = 0;
    virtual void Close() = 0; // orderly end of this file's connection or opening
    virtual void Abort() = 0; // drops it at once
    // Bytes per read piece and write; the USB channel keeps it a multiple of
    // the pipe's maximum packet size.
    virtual std::size_t PieceSize() const = 0;
};

// The window side: progress, cancel, time and waiting.
class Observer {
public:
    virtual ~Observer() = default;
    // The percentage after a block or file; the dialog lets events run when
    // it changes.
    virtual void Progress(int percent) = 0;
    // Lets waiting events run (Cancel among them).
    virtual void KeepAlive() = 0;
    virtual bool CancelRequested() = 0;
    // Waits ms milliseconds with the window alive.
    virtual void Pause(int ms) = 0;
    // Just before the end marker: the dialog closes.
    virtual void BeforeEndMarker() = 0;
    virtual int64_t NowMs() = 0;
};

enum class ProgressStep {
    PerBlock, // after every block of blockSize bytes (network)
    PerFile,  // after every whole file (USB)
};

struct Policy {
    ProgressStep progress = ProgressStep::PerBlock;
    // Wait after the end marker until the channel reports the bytes delivered.
    bool checkDelivery = false;
    int stallTimeoutMs = 120000; // no byte taken for this long: the printer failed
    int cancelStallMs = 10000;   // the same after Cancel: abort, ends as cancelled
    int pauseMs = 1000;          // after a separator and after the cancel marker
    int blockSize = 4096;
    int sliceMs = 40;     // longest single wait inside the channel
    int keepAliveMs = 50; // events run at least this often while bytes wait
};

enum class Outcome {
    Completed,
    Cancelled,
    Unreachable,  // file `file` found no printer to open
    FileUnusable, // file `file` could not be opened for sending; nothing of it went out
    Failed,       // write, read, stall or delivery failure at file `file`
};

struct Result {
    Outcome outcome = Outcome::Failed;
    int file = -1; // where it ended; -1 for Completed
};

Result Send(Package& package, Channel& channel, Observer& observer, const Policy& policy);

// The road's markers, as the printer receives them after each file.
inline constexpr unsigned char kSeparatorMarker[4] = {0xAA, 0x55, 0x55, 0xAA};
inline constexpr unsigned char kEndMarker[4] = {0x00, 0x00, 0x00, 0x00};
inline constexpr unsigned char kCancelMarker[4] = {0xFF, 0xFF, 0xFF, 0xFF};

} // namespace transfer
