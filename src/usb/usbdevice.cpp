#include "usb/usbdevice.h"

#include "usb/UsbTransfer.h"

#include <cstdio>
#include <cstring>

const int g_index = 1;
std::vector<unsigned char> gBuffer(kStagingBufferSize);
unsigned int g_exchangeTimeoutMs = kDefaultExchangeTimeoutMs;

using usbio::Hex;

namespace {

constexpr int kMaxInterfaces = 3;
// Pipes probed when the interface had to be switched to its alternate
// setting 1: as many as are there, up to the first that is not.
constexpr unsigned char kAltSettingPipeCount = 13;

} // namespace

CUsbDevice::CUsbDevice() = default;

CUsbDevice::~CUsbDevice() {
    Dev_Close();
}

int CUsbDevice::Dev_Open(long vendorId, long productId) {
    std::printf("VID=0x%lx, PID=0x%lx\n", vendorId, productId);
    Dev_Close();
    m_lastError = 0;

    int kr = libusb_init(&m_masterPort);
    if (kr != 0) {
        std::printf("CUsbDevice: could not create libusb context, err = %08x\n", Hex(kr));
        m_masterPort = nullptr;
        m_lastError = kr;
        return kr;
    }

    libusb_device** list = nullptr;
    ssize_t count = libusb_get_device_list(m_masterPort, &list);
    if (count < 0) {
        std::printf("CUsbDevice: could not list USB devices\n");
        m_lastError = int(count);
        return -1;
    }

    libusb_device* found = nullptr;
    for (ssize_t i = 0; i < count && found == nullptr; ++i) {
        libusb_device_descriptor desc{};
        if (libusb_get_device_descriptor(list[i], &desc) != 0)
            continue;
        if (desc.idVendor == vendorId && desc.idProduct == productId)
            found = list[i];
    }
    if (found == nullptr) {
        libusb_free_device_list(list, 1);
        m_lastError = LIBUSB_ERROR_NO_DEVICE;
        return -1;
    }

    std::printf("Found device %p\n", static_cast<void*>(found));
    dealWithDevice(found);
    libusb_free_device_list(list, 1);
    return 0;
}

void CUsbDevice::dealWithDevice(libusb_device* device) {
    int kr = libusb_open(device, &m_device);
    if (kr != 0) {
        std::printf("dealWithDevice: unable to open device. ret = %08x\n", Hex(kr));
        m_lastError = kr;
        m_device = nullptr;
        return;
    }
    // A kernel driver bound to the interface is detached at the claim and
    // bound again at the release.
    libusb_set_auto_detach_kernel_driver(m_device, 1);

    kr = libusb_get_active_config_descriptor(device, &m_config);
    if (kr != 0 || m_config == nullptr) {
        std::printf("dealWithDevice: unable to create interface iterator\n");
        m_config = nullptr;
        libusb_close(m_device);
        m_device = nullptr;
        return;
    }

    for (int i = 0; i < m_config->bNumInterfaces && i < kMaxInterfaces; ++i) {
        const libusb_interface* intf = &m_config->interface[i];
        std::printf("found interface: %p\n", static_cast<const void*>(intf));
        if (i == g_index)
            dealWithInterface(intf, i);
    }
}

void CUsbDevice::dealWithInterface(const libusb_interface* interface, int index) {
    if (interface == nullptr || interface->num_altsetting < 1 || index < 0 ||
        index >= kMaxInterfaces)
        return;
    USBInterfaceRecord& rec = m_interfaces[index];
    const libusb_interface_descriptor& first = interface->altsetting[0];

    int kr = libusb_claim_interface(m_device, first.bInterfaceNumber);
    if (kr != 0) {
        std::printf("dealWithInterface: unable to open interface. ret = %08x\n", Hex(kr));
        m_lastError = kr;
        return;
    }
    rec.interface = first.bInterfaceNumber;
    // A freshly claimed interface stands in its first setting.
    rec.alternate = first.bAlternateSetting;

    unsigned char count = first.bNumEndpoints;
    std::printf("dealWithInterface: found %d pipes\n", count);

    if (count == 0) {
        kr = libusb_set_interface_alt_setting(m_device, rec.interface, 1);
        if (kr != 0) {
            std::printf("dealWithInterface: unable to set alternate interface 1. ret = %08x\n",
                        Hex(kr));
            libusb_release_interface(m_device, rec.interface);
            rec = USBInterfaceRecord{};
            return;
        }
        rec.alternate = 1;
        bool known = false;
        for (int a = 0; a < interface->num_altsetting; ++a)
            known = known || interface->altsetting[a].bAlternateSetting == 1;
        if (!known) {
            std::printf("dealWithInterface: unable to get number of endpoints - alt setting 1. "
                        "ret = %08x\n",
                        Hex(LIBUSB_ERROR_NOT_FOUND));
            libusb_release_interface(m_device, rec.interface);
            rec = USBInterfaceRecord{};
            return;
        }
        count = kAltSettingPipeCount;
    }
    dealWithPipes(rec.interface, count, index);
}

const libusb_endpoint_descriptor* CUsbDevice::PipeProperties(int index,
                                                             unsigned char pipeRef) const {
    if (m_config == nullptr || index < 0 || index >= kMaxInterfaces || pipeRef == 0)
        return nullptr;
    const USBInterfaceRecord& rec = m_interfaces[index];
    if (rec.interface < 0)
        return nullptr;
    for (int i = 0; i < m_config->bNumInterfaces; ++i) {
        const libusb_interface& intf = m_config->interface[i];
        for (int a = 0; a < intf.num_altsetting; ++a) {
            const libusb_interface_descriptor& alt = intf.altsetting[a];
            if (alt.bInterfaceNumber != rec.interface || alt.bAlternateSetting != rec.alternate)
                continue;
            if (pipeRef > alt.bNumEndpoints)
                return nullptr;
            return &alt.endpoint[pipeRef - 1];
        }
    }
    return nullptr;
}

void CUsbDevice::dealWithPipes(int interfaceNumber, unsigned char count, int index) {
    std::printf("dealWithPipes index=%d\n", index);
    if (index < 0 || index >= kMaxInterfaces)
        return;
    USBInterfaceRecord& rec = m_interfaces[index];
    for (int ref = 1; ref <= count; ++ref) {
        const libusb_endpoint_descriptor* ep = PipeProperties(index, static_cast<uint8_t>(ref));
        if (ep == nullptr) {
            std::printf("dealWithPipes: unable to get pipe properties for pipe %d, err = %08x\n",
                        ref, Hex(LIBUSB_ERROR_NOT_FOUND));
            return;
        }
        int number = ep->bEndpointAddress & LIBUSB_ENDPOINT_ADDRESS_MASK;
        bool in = (ep->bEndpointAddress & LIBUSB_ENDPOINT_DIR_MASK) == LIBUSB_ENDPOINT_IN;
        if (in && rec.inPipeRef == 0) {
            std::printf("dealWithPipes: grabbing BULK IN pipe index %d, number %d\n", ref, number);
            rec.inPipeRef = static_cast<uint8_t>(ref);
        } else if (!in && rec.outPipeRef == 0) {
            std::printf("dealWithPipes: grabbing BULK OUT pipe index %d, number %d\n", ref, number);
            rec.outPipeRef = static_cast<uint8_t>(ref);
        }
    }
    std::printf("intf=%x, inPipeRef=%d, outPipeRef=%d\n", static_cast<unsigned>(interfaceNumber),
                rec.inPipeRef, rec.outPipeRef);
}

const libusb_endpoint_descriptor* CUsbDevice::OutPipe() const {
    const USBInterfaceRecord& rec = m_interfaces[g_index];
    if (rec.interface < 0 || rec.outPipeRef == 0)
        return nullptr;
    return PipeProperties(g_index, rec.outPipeRef);
}

int CUsbDevice::Dev_Write(char* data, int length, int* written, unsigned int timeoutMs) {
    const USBInterfaceRecord& rec = m_interfaces[g_index];
    if (rec.interface < 0 || rec.outPipeRef == 0)
        return -1;
    std::printf("Dev_Write intf=%x, nBufLen=%d\n", static_cast<unsigned>(rec.interface), length);
    if (written)
        *written = length;
    const libusb_endpoint_descriptor* ep = PipeProperties(g_index, rec.outPipeRef);
    // Bytes still queued by Dev_WriteSome would come after these.
    if (ep == nullptr || length < 0 || (data == nullptr && length > 0) || QueuedBytes() > 0)
        return -1;
    int sent = 0;
    const int kr =
        RunTransfer(ep, reinterpret_cast<unsigned char*>(data), length, &sent, timeoutMs);
    if (kr != 0) {
        m_lastError = kr;
        std::printf("unable to do bulk write (%08x), outPipeRef=%d\n", Hex(kr), rec.outPipeRef);
        return -1;
    }
    std::printf("WritePipe OK! outPipeRef = %d\n", rec.outPipeRef);
    return 0;
}

int CUsbDevice::OutPacketSize() const {
    const libusb_endpoint_descriptor* ep = OutPipe();
    return ep != nullptr ? ep->wMaxPacketSize & 0x7FF : 0;
}

int CUsbDevice::Dev_Read(char* buffer, int length, int* read) {
    const USBInterfaceRecord& rec = m_interfaces[g_index];
    if (rec.interface < 0 || rec.inPipeRef == 0)
        return -1;
    std::printf("Dev_Read intf=%x, nBufLen=%d\n", static_cast<unsigned>(rec.interface), length);
    const libusb_endpoint_descriptor* ep = PipeProperties(g_index, rec.inPipeRef);
    if (ep == nullptr || length < 0 || (buffer == nullptr && length > 0))
        return -1;
    if (length > 0)
        std::memset(buffer, 0, static_cast<std::size_t>(length));
    std::size_t room =
        static_cast<std::size_t>(length) > kStagingBufferSize ? length : kStagingBufferSize;
    gBuffer.assign(room, 0);

    int received = 0;
    int kr = RunTransfer(ep, gBuffer.data(), length, &received, g_exchangeTimeoutMs);
    if (read)
        *read = received;
    if (kr != 0) {
        m_lastError = kr;
        std::printf("unable to do ReadPipe (kr=%08x), inPipeRef=%d\n", Hex(kr), rec.inPipeRef);
        return -1;
    }
    if (received < 0 || received > length)
        received = 0;
    std::printf("strlen(gBuffer)=%d, nBufLen=%d, *pOutBufLen=%d\n",
                static_cast<int>(strnlen(reinterpret_cast<const char*>(gBuffer.data()), room)),
                length, received);
    std::memcpy(buffer, gBuffer.data(), static_cast<std::size_t>(received));
    std::printf("ReadPipe OK! inPipeRef=%d, Length=%d \n", rec.inPipeRef, received);
    return 0;
}

int CUsbDevice::ClearEndpointStall(int index, unsigned char pipeRef) {
    if (index < 0 || index >= kMaxInterfaces || m_interfaces[index].interface < 0)
        return 0;
    const libusb_endpoint_descriptor* ep = PipeProperties(index, pipeRef);
    if (ep == nullptr)
        return LIBUSB_ERROR_NOT_FOUND;
    // The kernel sends CLEAR_FEATURE(ENDPOINT_HALT) to the device and resets
    // the host side of the pipe in one step.
    return libusb_clear_halt(m_device, ep->bEndpointAddress);
}

int CUsbDevice::Dev_Close() {
    // Nothing may still be in flight when the interface goes.
    if (m_out) {
        Dev_CancelWrites();
        if (!m_out->broken)
            m_out.reset();
        else
            m_out.release(); // its transfers may still come back
    }
    for (int i = 0; i < kMaxInterfaces; ++i) {
        USBInterfaceRecord& rec = m_interfaces[i];
        if (rec.interface >= 0) {
            if (i == g_index) {
                ClearEndpointStall(i, rec.inPipeRef);
                ClearEndpointStall(i, rec.outPipeRef);
            }
            // Gives a detached kernel driver its interface back.
            libusb_release_interface(m_device, rec.interface);
        }
        rec = USBInterfaceRecord{};
    }
    if (m_config) {
        libusb_free_config_descriptor(m_config);
        m_config = nullptr;
    }
    if (m_device) {
        libusb_close(m_device);
        m_device = nullptr;
    }
    if (m_masterPort) {
        libusb_exit(m_masterPort);
        m_masterPort = nullptr;
    }
    return 0;
}
