// The usbfs side of the emulated printer: urbs submitted, taken at the
// printer's rate, reaped and discarded, and the control requests answered.
#include "EmulatedPrinter.h"

#include <sys/ioctl.h>

#include <linux/usbdevice_fs.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace usbemu {

namespace {

constexpr uint32_t kDetachFlagUsbfs = USBDEVFS_DISCONNECT_CLAIM_EXCEPT_DRIVER;

uint8_t OutEndpoint(const Printer& p) {
    return p.setup.noEndpointsAtFirst ? (p.altSetting == 1 ? 0x03 : 0) : 0x02;
}

} // namespace

void Finish(Printer& p, Urb urb, int status, int actual) {
    auto* u = reinterpret_cast<usbdevfs_urb*>(urb.data->data);
    u->status = status;
    u->actual_length = actual;
    p.completed.push_back(urb);
}

namespace {

// Hands queued reply bytes to IN urbs that wait for them.
void ServeWaitingReads(Printer& p) {
    while (!p.waitingIn.empty() && !p.pendingReply.empty()) {
        Urb urb = p.waitingIn.front();
        p.waitingIn.pop_front();
        auto* u = reinterpret_cast<usbdevfs_urb*>(urb.data->data);
        int n = std::min<int>(u->buffer_length, static_cast<int>(p.pendingReply.size()));
        for (int i = 0; i < n; ++i) {
            urb.buffer->data[i] = p.pendingReply.front();
            p.pendingReply.pop_front();
        }
        Finish(p, urb, 0, n);
    }
}

void QueueReplyFor(Printer& p, const uint8_t* data, int length) {
    if (p.setup.silent || length != 10 || data[0] != 0x1B || data[1] != 'M' || data[2] != 'S' ||
        data[3] != 'U')
        return;
    std::vector<uint8_t> reply;
    if (data[4] == 0x01 && data[5] == 0x01)
        reply = p.setup.infoReply.empty() ? InfoReply(p.setup.serial, p.setup.firmwareVersion)
                                          : p.setup.infoReply;
    else if (data[4] == 0xE0 && data[5] == 0x0B)
        reply = p.setup.nameReply.empty() ? NameReply(p.setup.printerName) : p.setup.nameReply;
    p.pendingReply.insert(p.pendingReply.end(), reply.begin(), reply.end());
}

// The bytes [from, to) of an OUT urb reach the printer.
void Take(Printer& p, OutgoingUrb& o, int to) {
    const uint8_t* data = o.urb.buffer->data + o.taken;
    const int n = to - o.taken;
    if (n <= 0)
        return;
    if (p.setup.keepInMemory)
        p.written.insert(p.written.end(), data, data + n);
    if (p.record)
        std::fwrite(data, 1, static_cast<std::size_t>(n), p.record);
    p.writtenCount += static_cast<uint64_t>(n);
    o.taken = to;
    p.outUrbLog[o.log].taken = to;
}

} // namespace

void Advance(Printer& p, Clock::time_point now) {
    while (!p.waitingOut.empty()) {
        OutgoingUrb& o = p.waitingOut.front();
        if (!o.started) {
            o.start = std::max(o.submitted, p.pipeFree);
            o.started = true;
        }
        int can = o.length;
        const uint64_t rate = p.setup.bytesPerSecond;
        if (rate > 0) {
            const double seconds = std::chrono::duration<double>(now - o.start).count();
            const double bytes = seconds > 0 ? seconds * double(rate) : 0;
            if (bytes < double(o.length))
                can = int(bytes) / Emulator::kPacketSize * Emulator::kPacketSize;
        }
        const WriteFault fault = p.setup.writeFault;
        bool struck = false;
        if (fault != WriteFault::None) {
            // The packet after the limit is refused: a urb that ends right
            // at the limit still completes.
            const uint64_t before = p.writtenCount - uint64_t(o.taken);
            const uint64_t limit =
                p.setup.faultAfterBytes > before ? p.setup.faultAfterBytes - before : 0;
            if (uint64_t(can) > limit || (uint64_t(can) == limit && can < o.length)) {
                can = int(limit);
                struck = true;
            }
        }
        Take(p, o, std::max(can, o.taken));
        if (struck && fault == WriteFault::Stop)
            return; // NAK from here on: the urb waits for ever, or for a cancel
        if (struck) {
            Finish(p, o.urb, fault == WriteFault::Stall ? -EPIPE : -EPROTO, o.taken);
        } else if (o.taken == o.length) {
            QueueReplyFor(p, o.urb.buffer->data, o.length);
            Finish(p, o.urb, 0, o.length);
        } else {
            return; // still under way
        }
        // The next urb starts where this one's time ended, not when we looked.
        p.pipeFree = rate > 0 && !struck
                         ? o.start + std::chrono::duration_cast<Clock::duration>(
                                         std::chrono::duration<double>(double(o.length) / rate))
                         : now;
        p.waitingOut.pop_front();
        ServeWaitingReads(p);
    }
}

void EndOutgoing(Printer& p, int status) {
    while (!p.waitingOut.empty()) {
        OutgoingUrb o = p.waitingOut.front();
        p.waitingOut.pop_front();
        Finish(p, o.urb, status, o.taken);
    }
}

namespace {

void NoteVendorClaim(Printer& p) {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    p.vendorClaims.push_back({p.writtenCount, std::chrono::duration<double>(now).count()});
}

// Answers a control request at once; returns the urb status.
int Control(Printer& p, uint8_t* buf, int bufLen, int& actual) {
    actual = 0;
    if (bufLen < 8)
        return -EINVAL;
    uint8_t type = buf[0];
    uint8_t request = buf[1];
    uint16_t value = static_cast<uint16_t>(buf[2] | (buf[3] << 8));
    uint16_t index = static_cast<uint16_t>(buf[4] | (buf[5] << 8));
    uint16_t length = static_cast<uint16_t>(buf[6] | (buf[7] << 8));
    int room = std::min<int>(length, bufLen - 8);
    uint8_t* out = buf + 8;
    std::vector<uint8_t> reply;

    if (type == 0x80 && request == 6) {
        uint8_t dtype = static_cast<uint8_t>(value >> 8);
        uint8_t dindex = static_cast<uint8_t>(value & 0xFF);
        if (dtype == 1) {
            reply = p.deviceDesc;
        } else if (dtype == 2 && dindex == 0) {
            reply = p.configDesc;
        } else if (dtype == 3) {
            if (dindex == 0)
                reply = {4, 3, 0x09, 0x04};
            else if (dindex == 1 && !p.setup.manufacturer.empty())
                reply = Utf16Descriptor(p.setup.manufacturer);
            else if (dindex == 2 && !p.setup.product.empty())
                reply = Utf16Descriptor(p.setup.product);
            else if (dindex == 3 && !p.setup.serial.empty())
                reply = Utf16Descriptor(p.setup.serial);
            else
                return -EPIPE;
        } else {
            return -EPIPE;
        }
    } else if (type == 0xA1 && request == 0 && (index >> 8) == p.setup.printingInterface &&
               (index & 0xFF) == 0) {
        // wIndex: the interface in the high byte, its alternate setting low.
        // The kernel claims an interface for a request addressed to it, which
        // fails while another driver holds it.
        if (p.usblpBound)
            return -EBUSY;
        ++p.deviceIdRequests;
        const std::string& id = p.setup.deviceId;
        const std::size_t len = id.size() + 2;
        reply.assign(len, 0);
        reply[0] = static_cast<uint8_t>(len >> 8);
        reply[1] = static_cast<uint8_t>(len & 0xFF);
        std::copy(id.begin(), id.end(), reply.begin() + 2);
    } else {
        return -EPIPE;
    }
    actual = std::min<int>(room, static_cast<int>(reply.size()));
    std::memcpy(out, reply.data(), static_cast<std::size_t>(actual));
    return 0;
}

void Complete(UMockdevIoctlClient* client, long result, int err) {
    umockdev_ioctl_client_complete(client, result, err);
}

template <typename T> T* Resolve(UMockdevIoctlData* arg, UMockdevIoctlData** out) {
    GError* error = nullptr;
    *out = umockdev_ioctl_data_resolve(arg, 0, sizeof(T), &error);
    if (*out == nullptr) {
        if (error)
            g_error_free(error);
        return nullptr;
    }
    return reinterpret_cast<T*>((*out)->data);
}

bool SubmitUrb(Printer& p, UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
    UMockdevIoctlData* urbData = nullptr;
    auto* urb = Resolve<usbdevfs_urb>(arg, &urbData);
    if (urb == nullptr) {
        Complete(client, -1, EFAULT);
        return true;
    }
    if (urb->buffer_length < 0) {
        g_object_unref(urbData);
        Complete(client, -1, EINVAL);
        return true;
    }
    GError* error = nullptr;
    UMockdevIoctlData* buffer =
        umockdev_ioctl_data_resolve(urbData, G_STRUCT_OFFSET(usbdevfs_urb, buffer),
                                    static_cast<gsize>(urb->buffer_length), &error);
    if (buffer == nullptr) {
        if (error)
            g_error_free(error);
        g_object_unref(urbData);
        Complete(client, -1, EFAULT);
        return true;
    }
    Urb u{client, urbData, buffer};

    if (urb->type == USBDEVFS_URB_TYPE_CONTROL) {
        int actual = 0;
        int status = Control(p, buffer->data, urb->buffer_length, actual);
        if (status == -EBUSY) {
            g_object_unref(buffer);
            g_object_unref(urbData);
            Complete(client, -1, EBUSY);
            return true;
        }
        Finish(p, u, status, actual);
        Complete(client, 0, 0);
        return true;
    }

    if (urb->type != USBDEVFS_URB_TYPE_BULK && urb->type != USBDEVFS_URB_TYPE_INTERRUPT) {
        g_object_unref(buffer);
        g_object_unref(urbData);
        Complete(client, -1, EINVAL);
        return true;
    }

    if ((urb->endpoint & 0x80) == 0) {
        if (urb->endpoint != OutEndpoint(p) && urb->endpoint != 0x01 && urb->endpoint != 0x05) {
            g_object_unref(buffer);
            g_object_unref(urbData);
            Complete(client, -1, ENOENT);
            return true;
        }
        ++p.outUrbs;
        OutgoingUrb o;
        o.log = p.outUrbLog.size();
        p.outUrbLog.push_back({urb->buffer_length, urb->flags, 0});
        o.urb = u;
        o.length = urb->buffer_length;
        o.submitted = Clock::now();
        p.waitingOut.push_back(o);
        Advance(p, o.submitted);
    } else {
        p.waitingIn.push_back(u);
        ServeWaitingReads(p);
    }
    Complete(client, 0, 0);
    return true;
}

bool ReapUrb(Printer& p, UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
    Advance(p, Clock::now());
    auto it = std::find_if(p.completed.begin(), p.completed.end(),
                           [client](const Urb& u) { return u.client == client; });
    if (it == p.completed.end()) {
        Complete(client, -1, p.gone ? ENODEV : EAGAIN);
        return true;
    }
    Urb urb = *it;
    p.completed.erase(it);
    UMockdevIoctlData* ptr = nullptr;
    if (Resolve<void*>(arg, &ptr) == nullptr) {
        Complete(client, -1, EFAULT);
    } else {
        umockdev_ioctl_data_set_ptr(ptr, 0, urb.data);
        Complete(client, 0, 0);
        g_object_unref(ptr);
    }
    g_object_unref(urb.buffer);
    g_object_unref(urb.data);
    return true;
}

bool DiscardUrb(Printer& p, UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
    gulong addr = reinterpret_cast<gulong>(*reinterpret_cast<void**>(arg->data));
    Advance(p, Clock::now());
    auto out = std::find_if(p.waitingOut.begin(), p.waitingOut.end(), [&](const OutgoingUrb& o) {
        return o.urb.client == client && o.urb.data->client_addr == addr;
    });
    if (out != p.waitingOut.end()) {
        // Cancelled on its way: it keeps the packets the printer took.
        const bool underWay = out == p.waitingOut.begin() && out->started;
        OutgoingUrb o = *out;
        p.waitingOut.erase(out);
        if (underWay)
            p.pipeFree = Clock::now();
        Finish(p, o.urb, -ENOENT, o.taken);
        Complete(client, 0, 0);
        return true;
    }
    auto it = std::find_if(p.waitingIn.begin(), p.waitingIn.end(), [&](const Urb& u) {
        return u.client == client && u.data->client_addr == addr;
    });
    if (it == p.waitingIn.end()) {
        Complete(client, -1, EINVAL);
        return true;
    }
    Urb urb = *it;
    p.waitingIn.erase(it);
    Finish(p, urb, -ENOENT, 0);
    Complete(client, 0, 0);
    return true;
}

} // namespace

gboolean HandleIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer userData) {
    auto* p = static_cast<Printer*>(userData);
    Emulator::Impl* impl = p->owner;
    std::lock_guard<std::mutex> lock(impl->mutex);

    gulong request = umockdev_ioctl_client_get_request(client);
    UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);

    if (p->gone && request != USBDEVFS_REAPURBNDELAY && request != USBDEVFS_REAPURB) {
        Complete(client, -1, ENODEV);
        return TRUE;
    }

    switch (request) {
    case USBDEVFS_GET_CAPABILITIES: {
        UMockdevIoctlData* d = nullptr;
        if (auto* caps = Resolve<uint32_t>(arg, &d)) {
            *caps = USBDEVFS_CAP_BULK_CONTINUATION | USBDEVFS_CAP_REAP_AFTER_DISCONNECT |
                    USBDEVFS_CAP_ZERO_PACKET;
            if (impl->scatterGather)
                *caps |= USBDEVFS_CAP_BULK_SCATTER_GATHER | USBDEVFS_CAP_NO_PACKET_SIZE_LIM;
            Complete(client, 0, 0);
            g_object_unref(d);
        } else {
            Complete(client, -1, EFAULT);
        }
        return TRUE;
    }
    case USBDEVFS_GETDRIVER: {
        UMockdevIoctlData* d = nullptr;
        auto* gd = Resolve<usbdevfs_getdriver>(arg, &d);
        if (gd == nullptr) {
            Complete(client, -1, EFAULT);
        } else if (gd->interface == p->setup.printingInterface && p->usblpBound) {
            std::snprintf(gd->driver, sizeof gd->driver, "usblp");
            Complete(client, 0, 0);
        } else {
            Complete(client, -1, ENODATA);
        }
        if (d)
            g_object_unref(d);
        return TRUE;
    }
    case USBDEVFS_IOCTL: {
        UMockdevIoctlData* d = nullptr;
        auto* io = Resolve<usbdevfs_ioctl>(arg, &d);
        if (io == nullptr) {
            Complete(client, -1, EFAULT);
        } else if (io->ioctl_code == static_cast<int>(USBDEVFS_DISCONNECT)) {
            if (io->ifno == p->setup.printingInterface && p->usblpBound && p->setup.detachRefused) {
                Complete(client, -1, EPERM);
            } else if (io->ifno == p->setup.printingInterface && p->usblpBound) {
                p->usblpBound = false;
                ++p->detaches;
                Complete(client, 0, 0);
            } else {
                Complete(client, -1, ENODATA);
            }
        } else if (io->ioctl_code == static_cast<int>(USBDEVFS_CONNECT)) {
            // The kernel probes drivers again: usblp takes its interface back.
            if (io->ifno == p->setup.printingInterface && p->setup.usblpBound)
                p->usblpBound = true;
            Complete(client, 0, 0);
        } else {
            Complete(client, -1, ENOTTY);
        }
        if (d)
            g_object_unref(d);
        return TRUE;
    }
    case USBDEVFS_DISCONNECT_CLAIM: {
        UMockdevIoctlData* d = nullptr;
        auto* dc = Resolve<usbdevfs_disconnect_claim>(arg, &d);
        if (dc == nullptr) {
            Complete(client, -1, EFAULT);
        } else {
            bool exceptUsbfs =
                (dc->flags & kDetachFlagUsbfs) && std::strcmp(dc->driver, "usbfs") == 0;
            if (dc->interface == p->setup.printingInterface && p->usblpBound && exceptUsbfs &&
                p->setup.detachRefused) {
                Complete(client, -1, EPERM);
            } else {
                if (dc->interface == p->setup.printingInterface && p->usblpBound && exceptUsbfs) {
                    p->usblpBound = false;
                    ++p->detaches;
                }
                if (dc->interface == 1)
                    NoteVendorClaim(*p);
                Complete(client, 0, 0);
            }
        }
        if (d)
            g_object_unref(d);
        return TRUE;
    }
    case USBDEVFS_CLAIMINTERFACE: {
        UMockdevIoctlData* d = nullptr;
        auto* n = Resolve<unsigned int>(arg, &d);
        unsigned interfaces = InterfaceCount(p->setup);
        if (n == nullptr)
            Complete(client, -1, EFAULT);
        else if (*n >= interfaces)
            Complete(client, -1, ENOENT);
        else if (*n == p->setup.printingInterface && p->usblpBound)
            Complete(client, -1, EBUSY);
        else {
            if (*n == 1)
                NoteVendorClaim(*p);
            Complete(client, 0, 0);
        }
        if (d)
            g_object_unref(d);
        return TRUE;
    }
    case USBDEVFS_RELEASEINTERFACE:
    case USBDEVFS_RESET:
    case USBDEVFS_RESETEP:
        Complete(client, 0, 0);
        return TRUE;
    case USBDEVFS_SETINTERFACE: {
        UMockdevIoctlData* d = nullptr;
        auto* si = Resolve<usbdevfs_setinterface>(arg, &d);
        if (si == nullptr) {
            Complete(client, -1, EFAULT);
        } else if (si->interface == 1 && p->setup.secondInterface &&
                   (si->altsetting == 0 || (si->altsetting == 1 && p->setup.noEndpointsAtFirst))) {
            p->altSetting = static_cast<int>(si->altsetting);
            Complete(client, 0, 0);
        } else if (si->interface == p->setup.printingInterface && si->altsetting == 0) {
            Complete(client, 0, 0);
        } else {
            Complete(client, -1, EINVAL);
        }
        if (d)
            g_object_unref(d);
        return TRUE;
    }
    case USBDEVFS_CLEAR_HALT: {
        UMockdevIoctlData* d = nullptr;
        auto* ep = Resolve<unsigned int>(arg, &d);
        if (ep == nullptr) {
            Complete(client, -1, EFAULT);
        } else {
            ++p->clearHalts[static_cast<int>(*ep)];
            Complete(client, 0, 0);
        }
        if (d)
            g_object_unref(d);
        return TRUE;
    }
    case USBDEVFS_SUBMITURB:
        return SubmitUrb(*p, client, arg);
    case USBDEVFS_REAPURB:
    case USBDEVFS_REAPURBNDELAY:
        return ReapUrb(*p, client, arg);
    case USBDEVFS_DISCARDURB:
        return DiscardUrb(*p, client, arg);
    default:
        std::fprintf(stderr, "usb emulator: unhandled ioctl 0x%lx on %s\n", request,
                     p->devnode.c_str());
        Complete(client, -1, ENOTTY);
        return TRUE;
    }
}

} // namespace usbemu
