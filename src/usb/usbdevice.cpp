#include "usb/usbdevice.h"

#include <libusb.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <deque>

const int g_index = 1;
std::vector<unsigned char> gBuffer(kStagingBufferSize);
unsigned int g_exchangeTimeoutMs = kDefaultExchangeTimeoutMs;

namespace {

using SteadyTime = std::chrono::steady_clock::time_point;

SteadyTime Now() {
    return std::chrono::steady_clock::now();
}

constexpr int kMaxInterfaces = 3;
// Pipes probed when the interface had to be switched to its alternate
// setting 1: as many as are there, up to the first that is not.
constexpr unsigned char kAltSettingPipeCount = 13;

unsigned Hex(int status) {
    return static_cast<unsigned>(status);
}

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

// ---- transfers ---------------------------------------------------------------------

// One asynchronous transfer. While it is in flight libusb and the kernel hold
// it: it is freed only once it is back.
struct CUsbDevice::Transfer {
    Transfer() : handle(libusb_alloc_transfer(0)) {}
    ~Transfer() {
        if (handle != nullptr)
            libusb_free_transfer(handle);
    }
    Transfer(const Transfer&) = delete;
    Transfer& operator=(const Transfer&) = delete;

    libusb_transfer* handle;
    int length = 0;
    int done = 1; // 0 while in flight
    int status = LIBUSB_TRANSFER_COMPLETED;
    int actual = 0;
    int* anyDone = nullptr; // also set when it comes back
    SteadyTime submitted{};
    SteadyTime finished{};
};

// The writes that Dev_WriteSome keeps in flight, oldest first. The kernel
// sends them in this order, one after the other.
struct CUsbDevice::OutQueue {
    std::deque<std::unique_ptr<Transfer>> inFlight;
    std::vector<std::unique_ptr<Transfer>> spare;
    int queued = 0; // bytes in flight, not yet reported taken
    int anyDone = 0;
    int nextSize = kFirstWriteBytes;
    SteadyTime lastProgress{}; // the pipe last finished a transfer, or began after idling
    SteadyTime lastFinished{};
    bool broken = false; // a transfer never came back: the pipe is not used again
};

namespace {

void LIBUSB_CALL TransferDone(libusb_transfer* handle) {
    auto* t = static_cast<CUsbDevice::Transfer*>(handle->user_data);
    t->status = handle->status;
    t->actual = handle->actual_length < 0 ? 0 : std::min(handle->actual_length, t->length);
    t->finished = Now();
    t->done = 1;
    if (t->anyDone != nullptr)
        *t->anyDone = 1;
}

// The libusb status of a transfer that came back. A write that stopped
// short did not deliver its bytes; a read may well be short.
int StatusError(const CUsbDevice::Transfer& t, bool whole = true) {
    switch (t.status) {
    case LIBUSB_TRANSFER_COMPLETED:
        return t.actual == t.length || !whole ? 0 : LIBUSB_ERROR_IO;
    case LIBUSB_TRANSFER_TIMED_OUT:
        return LIBUSB_ERROR_TIMEOUT;
    case LIBUSB_TRANSFER_CANCELLED:
        return LIBUSB_ERROR_INTERRUPTED;
    case LIBUSB_TRANSFER_STALL:
        return LIBUSB_ERROR_PIPE;
    case LIBUSB_TRANSFER_NO_DEVICE:
        return LIBUSB_ERROR_NO_DEVICE;
    case LIBUSB_TRANSFER_OVERFLOW:
        return LIBUSB_ERROR_OVERFLOW;
    default:
        return LIBUSB_ERROR_IO;
    }
}

int MsLeft(SteadyTime now, SteadyTime deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count();
    return left <= 0 ? 0 : int(std::min<long long>(left, INT_MAX));
}

} // namespace

void CUsbDevice::HandleEvents(int ms, const int* done) {
    timeval tv{ms / 1000, (ms % 1000) * 1000};
    libusb_handle_events_timeout_completed(m_masterPort, &tv, const_cast<int*>(done));
}

bool CUsbDevice::WaitBack(Transfer* const* transfers, int count, int limitMs) {
    const SteadyTime end = Now() + std::chrono::milliseconds(limitMs);
    for (;;) {
        const Transfer* out = nullptr;
        for (int i = 0; i < count && out == nullptr; ++i)
            if (transfers[i]->done == 0)
                out = transfers[i];
        if (out == nullptr)
            return true;
        const SteadyTime now = Now();
        if (now >= end)
            return false;
        HandleEvents(std::min(MsLeft(now, end), kKeepAliveSliceMs), &out->done);
    }
}

const libusb_endpoint_descriptor* CUsbDevice::OutPipe() const {
    const USBInterfaceRecord& rec = m_interfaces[g_index];
    if (rec.interface < 0 || rec.outPipeRef == 0)
        return nullptr;
    return PipeProperties(g_index, rec.outPipeRef);
}

namespace {

void FillTransfer(libusb_transfer* handle, libusb_device_handle* device,
                  const libusb_endpoint_descriptor* ep, unsigned char* data, int length,
                  void* owner) {
    // The pipe's transfer type was never chosen, only its direction: talk to
    // an interrupt pipe the way it expects. No time limit of libusb's own:
    // the callers wait in slices and cancel.
    const bool interrupt =
        (ep->bmAttributes & LIBUSB_TRANSFER_TYPE_MASK) == LIBUSB_TRANSFER_TYPE_INTERRUPT;
    if (interrupt)
        libusb_fill_interrupt_transfer(handle, device, ep->bEndpointAddress, data, length,
                                       TransferDone, owner, 0);
    else
        libusb_fill_bulk_transfer(handle, device, ep->bEndpointAddress, data, length, TransferDone,
                                  owner, 0);
}

} // namespace

int CUsbDevice::RunTransfer(const libusb_endpoint_descriptor* ep, unsigned char* data, int length,
                            int* transferred, unsigned int timeoutMs) {
    const bool in = (ep->bEndpointAddress & LIBUSB_ENDPOINT_DIR_MASK) == LIBUSB_ENDPOINT_IN;
    *transferred = 0;
    auto t = std::make_unique<Transfer>();
    if (t->handle == nullptr)
        return LIBUSB_ERROR_NO_MEM;
    t->length = length;
    FillTransfer(t->handle, m_device, ep, data, length, t.get());
    t->done = 0;
    int kr = libusb_submit_transfer(t->handle);
    if (kr != 0) {
        t->done = 1;
        return kr;
    }
    const SteadyTime deadline = Now() + std::chrono::milliseconds(timeoutMs);
    int givenUp = 0;
    while (t->done == 0) {
        const SteadyTime now = Now();
        if (timeoutMs != 0 && now >= deadline) {
            givenUp = LIBUSB_ERROR_TIMEOUT;
            break;
        }
        const int slice =
            timeoutMs != 0 ? std::min(MsLeft(now, deadline), kKeepAliveSliceMs) : kKeepAliveSliceMs;
        HandleEvents(slice, &t->done);
        if (t->done == 0 && m_keepAlive && !m_keepAlive()) {
            givenUp = LIBUSB_ERROR_INTERRUPTED;
            break;
        }
    }
    if (t->done == 0) {
        libusb_cancel_transfer(t->handle);
        Transfer* one = t.get();
        if (!WaitBack(&one, 1, kCancelWaitMs)) {
            // Never freed while the kernel may still hand it back.
            t.release();
            return givenUp;
        }
    }
    *transferred = t->actual;
    if (givenUp != 0 && t->status == LIBUSB_TRANSFER_CANCELLED)
        return givenUp;
    return StatusError(*t, !in);
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

int CUsbDevice::QueuedBytes() const {
    return m_out ? m_out->queued : 0;
}

int CUsbDevice::NextWriteSize(int remaining) const {
    const int packet = std::max(OutPacketSize(), 1);
    const int largest = std::max(kLargestWriteBytes / packet * packet, packet);
    int size = std::clamp(m_out->nextSize, packet, largest) / packet * packet;
    return remaining <= size ? remaining : size;
}

int CUsbDevice::QueueWrites(const libusb_endpoint_descriptor* ep, const char* data, int length) {
    OutQueue& q = *m_out;
    while (int(q.inFlight.size()) < kWritesInFlight && q.queued < length) {
        std::unique_ptr<Transfer> t;
        if (!q.spare.empty()) {
            t = std::move(q.spare.back());
            q.spare.pop_back();
        } else {
            t = std::make_unique<Transfer>();
        }
        if (t->handle == nullptr)
            return LIBUSB_ERROR_NO_MEM;
        const int size = NextWriteSize(length - q.queued);
        t->length = size;
        t->actual = 0;
        t->anyDone = &q.anyDone;
        // Straight from the caller's bytes: usbfs copies an out-transfer's
        // bytes into the kernel when it is submitted and never reads them
        // again, so the caller may reuse its buffer once this call returns.
        auto* bytes = reinterpret_cast<unsigned char*>(const_cast<char*>(data + q.queued));
        FillTransfer(t->handle, m_device, ep, bytes, size, t.get());
        t->done = 0;
        t->submitted = Now();
        const int kr = libusb_submit_transfer(t->handle);
        if (kr != 0) {
            t->done = 1;
            q.spare.push_back(std::move(t));
            return kr;
        }
        if (q.inFlight.empty())
            q.lastProgress = t->submitted;
        q.queued += size;
        q.inFlight.push_back(std::move(t));
    }
    return 0;
}

int CUsbDevice::TakeFinished(int* taken) {
    OutQueue& q = *m_out;
    *taken = 0;
    while (!q.inFlight.empty() && q.inFlight.front()->done != 0) {
        Transfer& t = *q.inFlight.front();
        const int kr = StatusError(t);
        if (kr != 0)
            return kr; // left at the head for DrainWrites to count
        // How fast the printer takes bytes, from the time the pipe spent on
        // this transfer: the next ones last about kWriteTargetMs each, so
        // that a slow printer shows it is taking bytes.
        const SteadyTime began = std::max(t.submitted, q.lastFinished);
        const double seconds = std::chrono::duration<double>(t.finished - began).count();
        const double wanted = seconds > 0 ? double(t.length) * kWriteTargetMs / 1000.0 / seconds
                                          : double(kLargestWriteBytes);
        q.nextSize = int(std::min(wanted, double(kLargestWriteBytes)));
        q.lastFinished = t.finished;
        q.lastProgress = t.finished;
        *taken += t.length;
        q.queued -= t.length;
        q.spare.push_back(std::move(q.inFlight.front()));
        q.inFlight.pop_front();
    }
    return 0;
}

int CUsbDevice::DrainWrites(int* taken) {
    OutQueue& q = *m_out;
    *taken = 0;
    // Newest first: once an older transfer is cancelled the kernel would
    // start the next one, and its bytes would overtake the rest of the older.
    for (auto it = q.inFlight.rbegin(); it != q.inFlight.rend(); ++it)
        if ((*it)->done == 0)
            libusb_cancel_transfer((*it)->handle);
    std::vector<Transfer*> all;
    for (const auto& t : q.inFlight)
        all.push_back(t.get());
    if (!WaitBack(all.data(), int(all.size()), kCancelWaitMs)) {
        for (auto& t : q.inFlight)
            if (t->done == 0)
                t.release(); // never freed while the kernel may still hand it back
        q.broken = true;
    }
    int failure = q.broken ? LIBUSB_ERROR_TIMEOUT : 0;
    bool gap = false;
    for (auto& t : q.inFlight) {
        if (t == nullptr)
            continue;
        // The printer took every byte it acknowledged, hole or not.
        if (gap && t->actual > 0)
            failure = LIBUSB_ERROR_IO; // bytes after a hole: the stream is broken
        *taken += t->actual;
        gap = gap || t->actual < t->length;
        const int kr = StatusError(*t);
        if (failure == 0 && kr != 0 && kr != LIBUSB_ERROR_INTERRUPTED)
            failure = kr;
        q.spare.push_back(std::move(t));
    }
    q.inFlight.clear();
    q.queued = 0;
    return failure;
}

int CUsbDevice::Dev_WriteSome(const char* data, int length, int* written, unsigned int timeoutMs) {
    if (written)
        *written = 0;
    const libusb_endpoint_descriptor* ep = OutPipe();
    if (ep == nullptr || length < 0 || (data == nullptr && length > 0))
        return -1;
    if (!m_out)
        m_out = std::make_unique<OutQueue>();
    OutQueue& q = *m_out;
    int taken = 0;
    const auto fail = [&](int kr) {
        int more = 0;
        DrainWrites(&more);
        taken += more;
        m_lastError = kr;
        std::printf("unable to do bulk write (%08x), outPipeRef=%d, taken=%d\n", Hex(kr),
                    m_interfaces[g_index].outPipeRef, taken);
        if (written)
            *written = taken;
        return -1;
    };
    if (q.broken)
        return fail(LIBUSB_ERROR_IO);
    // Fewer bytes than are already on their way: they cannot be the same.
    if (length < q.queued)
        return fail(LIBUSB_ERROR_INVALID_PARAM);

    const SteadyTime deadline = Now() + std::chrono::milliseconds(std::max(timeoutMs, 1u));
    for (;;) {
        int kr = QueueWrites(ep, data + taken, length - taken);
        int got = 0;
        const int finished = TakeFinished(&got);
        taken += got;
        if (kr == 0)
            kr = finished;
        if (kr != 0)
            return fail(kr);
        if (taken == length || taken > 0) {
            // Keep the pipe busy while the caller brings the next bytes.
            kr = QueueWrites(ep, data + taken, length - taken);
            if (kr != 0)
                return fail(kr);
            if (written)
                *written = taken;
            return taken == length ? 0 : 1;
        }
        const SteadyTime now = Now();
        if (!q.inFlight.empty() &&
            now - q.lastProgress >= std::chrono::milliseconds(kWriteProbeMs)) {
            // The printer has finished nothing for a while: ask the pipe
            // what it took, so the bytes are counted, and go on from there.
            kr = DrainWrites(&got);
            taken += got;
            if (kr != 0)
                return fail(kr);
            const double seconds = std::chrono::duration<double>(now - q.lastProgress).count();
            q.nextSize = int(std::min(double(got) * kWriteTargetMs / 1000.0 / seconds,
                                      double(kLargestWriteBytes)));
            q.lastProgress = now;
            if (written)
                *written = taken;
            return taken == length ? 0 : 1;
        }
        if (now >= deadline) {
            if (written)
                *written = taken;
            return 1;
        }
        q.anyDone = 0;
        HandleEvents(std::min(MsLeft(now, deadline), kKeepAliveSliceMs), &q.anyDone);
    }
}

int CUsbDevice::Dev_CancelWrites() {
    if (!m_out || m_out->inFlight.empty())
        return 0;
    int taken = 0;
    DrainWrites(&taken);
    return taken;
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
