// The byte channel to one USB printer: found by vendor and product ID, its
// second interface opened, one in-pipe and one out-pipe taken on it, and
// blocking whole-buffer writes and reads over them. Made on the stack for one
// exchange or one download; the destructor closes.
#pragma once

#include <cstdint>
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

// How long a read waits for the printer's reply. Replies to the vendor
// commands come at once; a printer that never answers must not hold the
// wizard forever. Writes carry whole firmware files and wait as long as the
// printer needs.
extern unsigned int g_readTimeoutMs;
constexpr unsigned int kDefaultReadTimeoutMs = 30000;

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
    // One transfer of the whole buffer, no time limit: 0 or -1. The count
    // written is set to length before the transfer.
    int Dev_Write(char* data, int length, int* written);
    // One transfer of up to length bytes that waits at most timeoutMs: 0
    // when all were taken, 1 when the wait ended first (*written holds what
    // the printer took, whole packets), -1 when the transfer failed. Give it
    // multiples of OutPacketSize() but for a file's last piece, so that the
    // printer sees the packets of one transfer of the whole file.
    int Dev_WriteSome(char* data, int length, int* written, unsigned int timeoutMs);
    // The out-pipe's maximum packet size; 0 when there is no out-pipe.
    int OutPacketSize() const;
    // One transfer of up to length bytes: 0 or -1; the count received in *read.
    int Dev_Read(char* buffer, int length, int* read);
    int ClearEndpointStall(int index, unsigned char pipeRef);

    void dealWithDevice(libusb_device* device);
    void dealWithInterface(const libusb_interface* interface, int index);
    void dealWithPipes(int interfaceNumber, unsigned char count, int index);

    // For tests: the record's pipe references.
    const USBInterfaceRecord& Record(int index) const { return m_interfaces[index]; }

private:
    // The endpoint behind a pipe reference of a record, or null.
    const libusb_endpoint_descriptor* PipeProperties(int index, unsigned char pipeRef) const;
    int Transfer(const libusb_endpoint_descriptor* ep, unsigned char* data, int length,
                 int* transferred, unsigned int timeoutMs);

    libusb_context* m_masterPort = nullptr;
    libusb_device_handle* m_device = nullptr;
    libusb_config_descriptor* m_config = nullptr;
    USBInterfaceRecord m_interfaces[3];
};
