// How CUsbDevice streams a file to the out-pipe: a queue of asynchronous
// writes, sized from the printer's pace, reported as the printer takes them.
#include "usb/UsbTransfer.h"

#include <cstdio>

using namespace usbio;

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
