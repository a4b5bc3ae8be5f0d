// One asynchronous transfer of CUsbDevice, from filling to its return, and
// the waits in slices that the exchanges and the streaming share.
#include "usb/UsbTransfer.h"

namespace usbio {

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

} // namespace

int StatusError(const CUsbDevice::Transfer& t, bool whole) {
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

} // namespace usbio

using namespace usbio;

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
