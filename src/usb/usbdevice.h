// The byte channel to one USB printer: found by vendor and product ID, its
// second interface opened, one in-pipe and one out-pipe taken on it, and
// writes and reads over them. Every wait is made of short slices, so that a
// caller can keep a window alive; nothing waits on the printer for ever but a
// whole-buffer write asked to. Made on the stack for one exchange or one
// download; the destructor closes.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

struct libusb_context;
struct libusb_device;
struct libusb_device_handle;
struct libusb_config_descriptor;
struct libusb_interface;
struct libusb_endpoint_descriptor;

struct USBInterfaceRecord {
    int interface = -1; // claimed interface number; -1 while the record is empty
    uint8_t alternate = 0;
    uint8_t inPipeRef = 0;  // pipe references count the endpoints of the
    uint8_t outPipeRef = 0; // current alternate setting from 1; 0 is none
};

// Index of the interface record (and the device's interface position) that
// every transfer uses: the device's second interface.
extern const int g_index;

// Staging buffer that every read receives into. It grows to the length asked
// for, so that a reply is never cut to the buffer, nor written past it.
extern std::vector<unsigned char> gBuffer;
constexpr std::size_t kStagingBufferSize = 1000;

// How long each step of a vendor exchange waits: the command's write and the
// reply's read. A printer answers in milliseconds, or in a second or two
// while it is busy; 5 s is also what the printing class driver gives each of
// its requests. A printer that never answers costs a list two of them.
extern unsigned int g_exchangeTimeoutMs;
constexpr unsigned int kDefaultExchangeTimeoutMs = 5000;

// Called between the slices of a wait for the printer (every
// kKeepAliveSliceMs at most): a window lets its events run. Returning false
// gives the wait up; the transfer then fails with LIBUSB_ERROR_INTERRUPTED.
using UsbKeepAlive = std::function<bool()>;
constexpr int kKeepAliveSliceMs = 20;

// How Dev_WriteSome streams: up to kWritesInFlight transfers queued, each a
// whole number of packets and at most kLargestWriteBytes, sized from the
// printer's pace so that each takes about kWriteTargetMs. The first is
// kFirstWriteBytes. A queue the printer has finished nothing of for
// kWriteProbeMs is cancelled and sent on from where the printer stopped:
// the bytes it took are counted while it is slow, and when it stops.
constexpr int kWritesInFlight = 4;
constexpr int kLargestWriteBytes = 1024 * 1024;
constexpr int kFirstWriteBytes = 64 * 1024;
constexpr int kWriteTargetMs = 250;
constexpr int kWriteProbeMs = 1000;
// How long a cancelled transfer may take to come back.
constexpr int kCancelWaitMs = 1000;

class CUsbDevice {
public:
    CUsbDevice();
    virtual ~CUsbDevice();

    CUsbDevice(const CUsbDevice&) = delete;
    CUsbDevice& operator=(const CUsbDevice&) = delete;

    // 0 when a device of these IDs was found (whether or not its interface
    // could then be opened), a libusb status when libusb cannot start, -1
    // when no device matches.
    int Dev_Open(long vendorId, long productId);
    int Dev_Close();
    // One transfer of the whole buffer: 0 when the printer took all of it,
    // -1 otherwise. Waits at most timeoutMs (0: as long as the printer
    // needs), with the keep-alive running. The count written is set to
    // length before the transfer.
    int Dev_Write(char* data, int length, int* written, unsigned int timeoutMs = 0);
    // Streams bytes to the out-pipe in asynchronous transfers, several in
    // flight, and waits at most timeoutMs for the printer to take some.
    // *written: the bytes from data on that the printer took during this
    // call. The bytes after them stay queued: the next call must offer them
    // again, from data + *written, so that nothing is sent twice or out of
    // order. Returns 0 when all length bytes were taken, 1 when some remain,
    // -1 when the pipe failed (*written still counts what it took before).
    // Give it multiples of OutPacketSize() but for a file's last piece: each
    // transfer but the last of such a piece is a whole number of packets, so
    // the printer sees the packets of one transfer of the whole file, with
    // no zero-length packet.
    int Dev_WriteSome(const char* data, int length, int* written, unsigned int timeoutMs);
    // Drops whatever Dev_WriteSome still has queued. Returns the bytes of it
    // the printer took before the cancel reached them.
    int Dev_CancelWrites();
    // Bytes queued by Dev_WriteSome and not yet reported taken.
    int QueuedBytes() const;
    // The out-pipe's maximum packet size; 0 when there is no out-pipe.
    int OutPacketSize() const;
    // One transfer of up to length bytes: 0 or -1; the count received in
    // *read. Waits at most g_exchangeTimeoutMs, with the keep-alive running.
    int Dev_Read(char* buffer, int length, int* read);
    // The keep-alive of every later wait of this channel.
    void SetKeepAlive(UsbKeepAlive keepAlive) { m_keepAlive = std::move(keepAlive); }
    // The libusb status of the last failure (LIBUSB_ERROR_NO_DEVICE for a
    // printer that is gone, LIBUSB_ERROR_PIPE for a halted pipe, ...); 0
    // while nothing failed since Dev_Open.
    int LastError() const { return m_lastError; }
    int ClearEndpointStall(int index, unsigned char pipeRef);

    void dealWithDevice(libusb_device* device);
    void dealWithInterface(const libusb_interface* interface, int index);
    void dealWithPipes(int interfaceNumber, unsigned char count, int index);

    // For tests: the record's pipe references.
    const USBInterfaceRecord& Record(int index) const { return m_interfaces[index]; }

    // In usb/UsbTransfer.h, for the USB core's own files.
    struct Transfer;
    struct OutQueue;

private:
    // The endpoint behind a pipe reference of a record, or null.
    const libusb_endpoint_descriptor* PipeProperties(int index, unsigned char pipeRef) const;
    // One transfer, waited for in slices; a libusb status.
    int RunTransfer(const libusb_endpoint_descriptor* ep, unsigned char* data, int length,
                    int* transferred, unsigned int timeoutMs);
    // Runs libusb's events for at most ms, or until *done is set.
    void HandleEvents(int ms, const int* done);
    // Waits, at most limitMs, until every transfer given is back.
    bool WaitBack(Transfer* const* transfers, int count, int limitMs);
    const libusb_endpoint_descriptor* OutPipe() const;
    // The parts of Dev_WriteSome; each returns a libusb status.
    int NextWriteSize(int remaining) const;
    int QueueWrites(const libusb_endpoint_descriptor* ep, const char* data, int length);
    int TakeFinished(int* taken);
    int DrainWrites(int* taken);

    libusb_context* m_masterPort = nullptr;
    libusb_device_handle* m_device = nullptr;
    libusb_config_descriptor* m_config = nullptr;
    USBInterfaceRecord m_interfaces[3];
    std::unique_ptr<OutQueue> m_out;
    UsbKeepAlive m_keepAlive;
    int m_lastError = 0;
};
