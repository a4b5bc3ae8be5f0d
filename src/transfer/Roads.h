// The engine's parts for the two real roads: the package's files from the
// package folder, the print-port connection (one per file) and the USB
// out-pipe (one opening per file).
#pragma once

#include "settings/FirmwareFile.h"
#include "transfer/TransferEngine.h"

#include <QString>
#include <memory>
#include <string>
#include <vector>

class CNetIO;
class CUsbDevice;

namespace transfer {

// The package's firmware files, by their names in the settings file. A file
// with a SHA256 key must hash to it as it is sent; one without must not
// change while it is sent.
class FilePackage : public Package {
public:
    explicit FilePackage(std::vector<FirmwareEntry> files) : m_files(std::move(files)) {}
    int FileCount() const override { return int(m_files.size()); }
    std::unique_ptr<Source> Open(int index) override;

private:
    std::vector<FirmwareEntry> m_files;
};

// How each road sends, for every program that sends (the wizard's pages and
// the command-line tool): the network reports every block and completes
// only once the printer has acknowledged every byte; USB reports per file.
Policy NetworkPolicy(int stallTimeoutMs);
Policy UsbPolicy(int stallTimeoutMs);

// TCP to the printer's raw print port, a new connection for every file. A
// link-local IPv6 address is reached through interface `scopeId`.
class NetChannel : public Channel {
public:
    NetChannel(std::string address, int port, int scopeId);
    ~NetChannel() override;
    OpenResult Open(int waitMs) override;
    long Write(const unsigned char* data, std::size_t length, int waitMs) override;
    Delivery Delivered(int waitMs, int64_t* outstanding) override;
    void Close() override;
    void Abort() override;
    Cause Failure() const override;
    // 128 KiB per send: each send costs far more than the bytes it copies.
    std::size_t PieceSize() const override { return 128 * 1024; }

private:
    std::string m_address;
    int m_port;
    int m_scopeId;
    std::unique_ptr<CNetIO> m_net;
    Cause m_failure = Cause::Reset;
};

// The USB printer of the package's IDs, opened anew for every file. Bytes
// go out in asynchronous transfers queued on the out-pipe; Write reports
// what the printer has taken, and the bytes after that stay queued until a
// later Write offers them again (as the engine does) or the file's opening
// ends.
class UsbChannel : public Channel {
public:
    UsbChannel(long vendorId, long productId);
    ~UsbChannel() override;
    OpenResult Open(int waitMs) override;
    // A failure after the printer took part of the bytes returns that part;
    // the next call returns -1.
    long Write(const unsigned char* data, std::size_t length, int waitMs) override;
    Delivery Delivered(int waitMs, int64_t* outstanding) override;
    // Both end the opening; bytes still queued are dropped.
    void Close() override;
    void Abort() override;
    Cause Failure() const override;
    // A multiple of every bulk maximum packet size (8 to 1024 bytes).
    std::size_t PieceSize() const override { return 1024 * 1024; }
    // The libusb status of the failure that ended a Write or an Open
    // (LIBUSB_ERROR_NO_DEVICE for a printer that is not there or was
    // unplugged, LIBUSB_ERROR_PIPE for a halted pipe, ...); 0 when none.
    int LastError() const { return m_lastError; }

private:
    long m_vendorId;
    long m_productId;
    std::unique_ptr<CUsbDevice> m_device;
    int m_lastError = 0;
    bool m_failed = false; // reported the bytes taken before a failure; -1 next
};

} // namespace transfer
