// The firmware transfer engine shared by the network and the USB download:
// every file of the package, whole and in order, each followed by its
// four-byte marker, over one printer's channel. It reads each file in pieces
// while it sends and hashes what it read, waits in short slices so that the
// window stays alive, gives up on a printer that stops taking bytes, closes a
// file's connection only once the printer has acknowledged all of it, and
// calls a download complete only once the channel says the printer has every
// byte.
//
// The roads differ only in their Channel and their Policy; the pages map the
// Result to their messages.
#pragma once

#include "settings/Sha256.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace transfer {

// Why a printer's download did not complete, for reports, logs and the
// history; the outcome stays the coarse answer.
enum class Cause {
    None,
    Refused,         // the printer did not take the connection
    Reset,           // the printer ended the connection or the pipe
    Stalled,         // it took no byte for the stall limit
    NotAcknowledged, // it took the bytes but never acknowledged them all
    Unplugged,       // the USB printer went away
    FileChanged,     // the file's bytes were not the package's own by the end
    FileUnreadable,  // the file could not be read
    Cancelled,       // the user's cancel ended it
};

// "refused", "reset", "stalled", "not-acknowledged", "unplugged",
// "file-changed", "file-unreadable", "cancelled"; empty for None.
const char* CauseName(Cause cause);

// One firmware file, opened and measured before any of it is sent.
class Source {
public:
    virtual ~Source() = default;
    virtual int64_t Size() const = 0;
    // Up to length bytes into `into`: the count read, 0 at the end, -1 on failure.
    virtual long Read(unsigned char* into, std::size_t length) = 0;
    // Why the last Read failed: the file ended early or changed size
    // (FileChanged), or it could not be read (FileUnreadable).
    virtual Cause ReadFailure() const { return Cause::FileUnreadable; }
    // The SHA-256 the package names for the file, when it names one.
    virtual std::optional<Sha256Digest> Expected() const { return std::nullopt; }
    // After the last byte: whether the file is still as it was opened (size
    // and modification time), for files that carry no SHA-256 of their own.
    virtual bool Unchanged() { return true; }
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
    // same bytes. A channel that fails after the printer took part of the
    // bytes returns that part first and -1 on the next call, so that every
    // byte taken is counted.
    virtual long Write(const unsigned char* data, std::size_t length, int waitMs) = 0;
    // Whether every byte handed over so far has reached the printer; waits
    // at most waitMs while it is pending. *outstanding: bytes not yet
    // acknowledged, when the channel knows.
    virtual Delivery Delivered(int waitMs, int64_t* outstanding) = 0;
    virtual void Close() = 0; // orderly end of this file's connection or opening
    virtual void Abort() = 0; // drops it at once
    // Why the channel failed: after an Open that was refused or found
    // nothing, a Write that returned -1, or a Delivered that said Lost.
    virtual Cause Failure() const { return Cause::Reset; }
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
    // Wait after every marker but the cancel marker until the channel
    // reports the bytes delivered: before a file's connection closes, and
    // before the download counts as complete.
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
    Failed,       // write, read, stall, delivery or file failure at file `file`
};

struct Result {
    Outcome outcome = Outcome::Failed;
    int file = -1; // where it ended; -1 for Completed
    Cause cause = Cause::None;
    int64_t bytes = 0; // every byte the channel took, markers included
    // The SHA-256 of each file sent whole, as it was read, in order.
    std::vector<Sha256Digest> sent;
};

Result Send(Package& package, Channel& channel, Observer& observer, const Policy& policy);

// The road's markers, as the printer receives them after each file.
inline constexpr unsigned char kSeparatorMarker[4] = {0xAA, 0x55, 0x55, 0xAA};
inline constexpr unsigned char kEndMarker[4] = {0x00, 0x00, 0x00, 0x00};
inline constexpr unsigned char kCancelMarker[4] = {0xFF, 0xFF, 0xFF, 0xFF};

} // namespace transfer
