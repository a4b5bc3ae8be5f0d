// The channel's asynchronous transfers, shared by its single exchanges and
// its bulk streaming: one transfer as libusb and the kernel hold it, the
// queue of writes in flight, and the helpers both sides wait with. For the
// USB core's own files.
#pragma once

#include "usb/usbdevice.h"

#include <libusb.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <deque>
#include <memory>
#include <vector>

namespace usbio {

using SteadyTime = std::chrono::steady_clock::time_point;

inline SteadyTime Now() {
    return std::chrono::steady_clock::now();
}

inline int MsLeft(SteadyTime now, SteadyTime deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count();
    return left <= 0 ? 0 : int(std::min<long long>(left, INT_MAX));
}

// A libusb status as the diagnostic lines print it.
inline unsigned Hex(int status) {
    return static_cast<unsigned>(status);
}

} // namespace usbio

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
    usbio::SteadyTime submitted{};
    usbio::SteadyTime finished{};
};

// The writes that Dev_WriteSome keeps in flight, oldest first. The kernel
// sends them in this order, one after the other.
struct CUsbDevice::OutQueue {
    std::deque<std::unique_ptr<Transfer>> inFlight;
    std::vector<std::unique_ptr<Transfer>> spare;
    int queued = 0; // bytes in flight, not yet reported taken
    int anyDone = 0;
    int nextSize = kFirstWriteBytes;
    usbio::SteadyTime lastProgress{}; // the pipe last finished a transfer, or began after idling
    usbio::SteadyTime lastFinished{};
    bool broken = false; // a transfer never came back: the pipe is not used again
};

namespace usbio {

// The libusb status of a transfer that came back. A write that stopped
// short did not deliver its bytes; a read may well be short.
int StatusError(const CUsbDevice::Transfer& t, bool whole = true);

// Fills handle for one transfer of length bytes at data over the pipe ep;
// owner is the Transfer marked done (and its queue told) when it comes back.
void FillTransfer(libusb_transfer* handle, libusb_device_handle* device,
                  const libusb_endpoint_descriptor* ep, unsigned char* data, int length,
                  void* owner);

} // namespace usbio
