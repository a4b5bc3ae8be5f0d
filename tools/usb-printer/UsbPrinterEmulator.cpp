#include "UsbPrinterEmulator.h"

#include <umockdev.h>

#include <sys/ioctl.h>

#include <linux/usbdevice_fs.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <unistd.h>

namespace usbemu {

namespace {

constexpr const char kPreload[] = "libumockdev-preload.so.0";
constexpr uint32_t kDetachFlagUsbfs = USBDEVFS_DISCONNECT_CLAIM_EXCEPT_DRIVER;

void Put16(std::vector<uint8_t>& v, uint16_t x) {
    v.push_back(static_cast<uint8_t>(x & 0xFF));
    v.push_back(static_cast<uint8_t>(x >> 8));
}

unsigned InterfaceCount(const PrinterSetup& s) {
    return s.printingInterface != 0 ? s.printingInterface + 1u : (s.secondInterface ? 2u : 1u);
}

void Endpoint(std::vector<uint8_t>& v, uint8_t address, uint8_t type = 2 /* bulk */) {
    v.insert(v.end(), {7, 5, address, type});
    Put16(v, Emulator::kPacketSize);
    v.push_back(type == 3 ? 4 : 0);
}

void InterfaceDesc(std::vector<uint8_t>& v, uint8_t number, uint8_t alt, uint8_t endpoints,
                   uint8_t cls, uint8_t sub, uint8_t proto) {
    v.insert(v.end(), {9, 4, number, alt, endpoints, cls, sub, proto, 0});
}

std::string Hex(const std::vector<uint8_t>& v) {
    static const char digits[] = "0123456789ABCDEF";
    std::string s;
    for (uint8_t b : v) {
        s += digits[b >> 4];
        s += digits[b & 0xF];
    }
    return s;
}

std::vector<uint8_t> Utf16Descriptor(const std::string& text) {
    std::vector<uint8_t> d{0, 3};
    for (unsigned char c : text) {
        if (d.size() + 2 > 254)
            break;
        d.push_back(c);
        d.push_back(0);
    }
    d[0] = static_cast<uint8_t>(d.size());
    return d;
}

void CopyText(std::vector<uint8_t>& rec, std::size_t offset, const std::string& text) {
    std::memcpy(rec.data() + offset, text.data(), std::min<std::size_t>(text.size(), 32));
}

} // namespace

std::string StatusField(uint8_t code, uint8_t fill) {
    static const char alphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::vector<uint8_t> rec(108, fill);
    rec[9] = code;
    std::string out = "STS:";
    for (std::size_t i = 0; i < rec.size(); i += 3) { // 108 is a multiple of 3
        uint32_t v = (rec[i] << 16) | (rec[i + 1] << 8) | rec[i + 2];
        for (int shift = 18; shift >= 0; shift -= 6)
            out += alphabet[(v >> shift) & 63];
    }
    return out + ";";
}

std::vector<uint8_t> InfoReply(const std::string& serial, const std::string& firmware) {
    std::vector<uint8_t> rec(1388, 0);
    CopyText(rec, 44, serial);
    CopyText(rec, 204, firmware);
    return rec;
}

std::vector<uint8_t> NameReply(const std::string& name) {
    std::vector<uint8_t> rec(1068, 0);
    CopyText(rec, 12, name);
    return rec;
}

// One urb handed in by a client and not yet reaped.
struct Urb {
    UMockdevIoctlClient* client;
    UMockdevIoctlData* data; // resolved usbdevfs_urb, its buffer resolved as a child
    UMockdevIoctlData* buffer;
};

using Clock = std::chrono::steady_clock;

// An OUT urb on its way into the printer: the pipe takes one urb at a time.
struct OutgoingUrb {
    Urb urb;
    std::size_t log = 0; // its entry in Printer::outUrbLog
    int length = 0;
    int taken = 0; // bytes the printer has taken of it
    Clock::time_point submitted;
    bool started = false; // the pipe has begun on it at `start`
    Clock::time_point start;
};

struct Printer {
    Emulator::Impl* owner = nullptr;
    int id = 0;
    PrinterSetup setup;
    std::string syspath;
    std::string devnode;
    UMockdevIoctlBase* handler = nullptr;
    std::vector<uint8_t> deviceDesc;
    std::vector<uint8_t> configDesc;

    // Guarded by Impl::mutex.
    bool gone = false;
    bool usblpBound = false;
    int detaches = 0;
    int deviceIdRequests = 0;
    int altSetting = 0;
    std::vector<Emulator::Claim> vendorClaims;
    int outUrbs = 0;
    std::vector<Emulator::OutUrb> outUrbLog;
    std::deque<OutgoingUrb> waitingOut; // OUT urbs the pipe has not finished
    Clock::time_point pipeFree;         // when the pipe finished its last urb
    uint64_t writtenCount = 0;
    std::vector<uint8_t> written;
    std::map<int, int> clearHalts;
    std::deque<uint8_t> pendingReply;
    std::deque<Urb> waitingIn; // IN urbs waiting for a reply
    std::deque<Urb> completed; // finished, waiting to be reaped
    FILE* record = nullptr;
};

struct Emulator::Impl {
    UMockdevTestbed* testbed = nullptr;
    bool scatterGather = true;
    mutable std::mutex mutex;
    std::map<int, std::unique_ptr<Printer>> printers;
    int nextDevnum = 2;

    Printer& Get(int id) const {
        auto it = printers.find(id);
        if (it == printers.end()) {
            std::fprintf(stderr, "usb emulator: no printer %d\n", id);
            std::abort();
        }
        return *it->second;
    }
};

namespace {

uint8_t OutEndpoint(const Printer& p) {
    return p.setup.noEndpointsAtFirst ? (p.altSetting == 1 ? 0x03 : 0) : 0x02;
}

void Finish(Printer& p, Urb urb, int status, int actual) {
    auto* u = reinterpret_cast<usbdevfs_urb*>(urb.data->data);
    u->status = status;
    u->actual_length = actual;
    p.completed.push_back(urb);
}

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

// Moves the out-pipe on to `now`: urbs are taken in order, each at the
// printer's rate, until a fault strikes. Called at every urb ioctl; libusb
// reaps while it waits, so completions come on time.
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

// Ends every OUT urb still under way with this status and what it took.
void EndOutgoing(Printer& p, int status) {
    while (!p.waitingOut.empty()) {
        OutgoingUrb o = p.waitingOut.front();
        p.waitingOut.pop_front();
        Finish(p, o.urb, status, o.taken);
    }
}

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
        std::size_t len = p.setup.deviceId.size() + 2;
        reply.push_back(static_cast<uint8_t>(len >> 8));
        reply.push_back(static_cast<uint8_t>(len & 0xFF));
        reply.insert(reply.end(), p.setup.deviceId.begin(), p.setup.deviceId.end());
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

void BuildDescriptors(Printer& p) {
    const PrinterSetup& s = p.setup;
    p.deviceDesc = {18, 1, 0x00, 0x02, 0, 0, 0, 64};
    Put16(p.deviceDesc, s.vendorId);
    Put16(p.deviceDesc, s.productId);
    Put16(p.deviceDesc, 0x0100);
    p.deviceDesc.push_back(s.manufacturer.empty() ? 0 : 1);
    p.deviceDesc.push_back(s.product.empty() ? 0 : 2);
    p.deviceDesc.push_back(s.serial.empty() ? 0 : 3);
    p.deviceDesc.push_back(1);

    std::vector<uint8_t> body;
    if (s.printingInterface == 0) {
        InterfaceDesc(body, 0, 0, 2, 7, 1, 2);
        Endpoint(body, 0x01);
        Endpoint(body, 0x81);
    } else {
        // Something else first, the vendor interface, then the printer.
        InterfaceDesc(body, 0, 0, 0, 0xFF, 0, 0);
    }
    if (s.secondInterface) {
        if (s.noEndpointsAtFirst) {
            InterfaceDesc(body, 1, 0, 0, 0xFF, 0, 0);
            InterfaceDesc(body, 1, 1, 3, 0xFF, 0, 0);
            Endpoint(body, 0x03);
            Endpoint(body, 0x84);
            Endpoint(body, 0x05);
        } else {
            InterfaceDesc(body, 1, 0, 2, 0xFF, 0, 0);
            if (s.inPipeFirst) {
                Endpoint(body, 0x82);
                Endpoint(body, 0x02);
            } else {
                Endpoint(body, 0x02);
                Endpoint(body, 0x82);
            }
        }
    }
    if (s.printingInterface != 0) {
        InterfaceDesc(body, s.printingInterface, 0, 2, 7, 1, 2);
        Endpoint(body, 0x01);
        Endpoint(body, 0x81);
    }
    p.configDesc = {9, 2};
    Put16(p.configDesc, static_cast<uint16_t>(9 + body.size()));
    p.configDesc.insert(p.configDesc.end(),
                        {static_cast<uint8_t>(InterfaceCount(s)), 1, 0, 0xC0, 1});
    p.configDesc.insert(p.configDesc.end(), body.begin(), body.end());
}

// An attribute value as the record format wants it: C escapes, octal.
std::string Escaped(const std::string& v) {
    std::string out;
    for (unsigned char c : v) {
        if (c == '\\') {
            out += "\\\\";
        } else if (c < 0x20 || c >= 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\%03o", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string DeviceRecord(const Printer& p, int port) {
    char devnum[8];
    std::snprintf(devnum, sizeof devnum, "%03d", p.id);
    std::vector<uint8_t> all = p.deviceDesc;
    all.insert(all.end(), p.configDesc.begin(), p.configDesc.end());
    std::string name = "1-" + std::to_string(port);
    std::string r;
    r += "P: /devices/usb1/" + name + "\n";
    r += std::string("N: bus/usb/001/") + devnum + "\n";
    r += "E: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nE: DRIVER=usb\n";
    r += "E: BUSNUM=001\n";
    r += std::string("E: DEVNUM=") + devnum + "\n";
    r += std::string("E: DEVNAME=/dev/bus/usb/001/") + devnum + "\n";
    r += "A: busnum=1\\n\n";
    r += "A: devnum=" + std::to_string(p.id) + "\\n\n";
    r += "A: bConfigurationValue=1\\n\n";
    r += "A: speed=480\\n\n";
    r += "H: descriptors=" + Hex(all) + "\n";
    r += "\n";
    // The interfaces, for the udev lookups made by interface name.
    for (int i = 0; i < static_cast<int>(InterfaceCount(p.setup)); ++i) {
        const bool printing = i == p.setup.printingInterface;
        r += "P: /devices/usb1/" + name + "/" + name + ":1." + std::to_string(i) + "\n";
        r += "E: SUBSYSTEM=usb\nE: DEVTYPE=usb_interface\n";
        if (printing && !p.setup.classDriverPath.empty())
            r += "E: QUENLO_USB_PRINTING_CLASS=" + p.setup.classDriverPath + "\n";
        r += std::string("A: bInterfaceClass=") + (printing ? "07" : "ff") + "\\n\n";
        r += std::string("A: bInterfaceSubClass=") + (printing ? "01" : "00") + "\\n\n";
        r += "A: bInterfaceNumber=0" + std::to_string(i) + "\\n\n";
        if (printing && p.setup.usblpBound)
            r += "A: ieee1284_id=" + Escaped(p.setup.deviceId) + "\n";
        r += "\n";
    }
    return r;
}

} // namespace

void Emulator::EnsurePreloaded(int argc, char** argv) {
    (void)argc;
    const char* preload = std::getenv("LD_PRELOAD");
    if (preload && std::strstr(preload, "libumockdev-preload.so"))
        return;
    std::string value = kPreload;
    if (preload && *preload)
        value += std::string(":") + preload;
    setenv("LD_PRELOAD", value.c_str(), 1);
    // The sanitizer runtime wants to come first in the library list; the
    // preload puts umockdev before it, which is harmless here.
    std::string asan = std::getenv("ASAN_OPTIONS") ? std::getenv("ASAN_OPTIONS") : "";
    if (asan.find("verify_asan_link_order") == std::string::npos) {
        asan += asan.empty() ? "" : ":";
        asan += "verify_asan_link_order=0";
        setenv("ASAN_OPTIONS", asan.c_str(), 1);
    }
    execv("/proc/self/exe", argv);
    std::perror("usb emulator: re-exec under the umockdev preload");
    std::exit(127);
}

Emulator::Emulator(bool scatterGather) : m_impl(std::make_unique<Impl>()) {
    m_impl->scatterGather = scatterGather;
    m_impl->testbed = umockdev_testbed_new();
    GError* error = nullptr;
    // A root hub, so that the printers sit on ports of bus 1 as usual.
    std::vector<uint8_t> desc = {18, 1, 0x00, 0x02, 9, 0, 1, 64};
    Put16(desc, 0x1d6b);
    Put16(desc, 0x0002);
    Put16(desc, 0x0606);
    desc.insert(desc.end(), {0, 0, 0, 1});
    desc.insert(desc.end(), {9, 2, 25, 0, 1, 1, 0, 0xE0, 0});
    InterfaceDesc(desc, 0, 0, 1, 9, 0, 0);
    Endpoint(desc, 0x81, 3);
    std::string hubRecord = "P: /devices/usb1\n"
                            "N: bus/usb/001/001\n"
                            "E: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nE: DRIVER=usb\n"
                            "E: BUSNUM=001\nE: DEVNUM=001\nE: DEVNAME=/dev/bus/usb/001/001\n"
                            "A: busnum=1\\n\nA: devnum=1\\n\nA: bConfigurationValue=1\\n\n"
                            "A: speed=480\\n\n"
                            "H: descriptors=" +
                            Hex(desc) + "\n";
    const char* hub = hubRecord.c_str();
    if (!umockdev_testbed_add_from_string(m_impl->testbed, hub, &error)) {
        std::fprintf(stderr, "usb emulator: root hub: %s\n", error ? error->message : "?");
        if (error)
            g_error_free(error);
    }
}

Emulator::~Emulator() {
    for (auto& [id, p] : m_impl->printers) {
        if (!p->gone) {
            umockdev_testbed_detach_ioctl(m_impl->testbed, p->devnode.c_str(), nullptr);
        }
        std::lock_guard<std::mutex> lock(m_impl->mutex);
        EndOutgoing(*p, -ENODEV);
        for (auto* q : {&p->waitingIn, &p->completed}) {
            for (Urb& u : *q) {
                g_object_unref(u.buffer);
                g_object_unref(u.data);
            }
            q->clear();
        }
        if (p->record)
            std::fclose(p->record);
        if (p->handler)
            g_object_unref(p->handler);
    }
    g_object_unref(m_impl->testbed);
}

int Emulator::AddPrinter(const PrinterSetup& setup) {
    auto p = std::make_unique<Printer>();
    p->owner = m_impl.get();
    p->setup = setup;
    {
        std::lock_guard<std::mutex> lock(m_impl->mutex);
        p->id = m_impl->nextDevnum++;
        p->usblpBound = setup.usblpBound;
    }
    int port = p->id - 1;
    char devnode[64];
    std::snprintf(devnode, sizeof devnode, "/dev/bus/usb/001/%03d", p->id);
    p->devnode = devnode;
    p->syspath = "/sys/devices/usb1/1-" + std::to_string(port);
    if (!setup.recordPath.empty()) {
        p->record = std::fopen(setup.recordPath.c_str(), "wb");
        if (p->record == nullptr)
            std::perror(setup.recordPath.c_str());
    }
    BuildDescriptors(*p);

    p->handler = umockdev_ioctl_base_new();
    g_signal_connect(p->handler, "handle-ioctl", G_CALLBACK(HandleIoctl), p.get());
    GError* error = nullptr;
    // The handler must be in place before the node appears, or a quick
    // client reaches a plain file.
    if (!umockdev_testbed_attach_ioctl(m_impl->testbed, devnode, p->handler, &error)) {
        std::fprintf(stderr, "usb emulator: attach %s: %s\n", devnode,
                     error ? error->message : "?");
        if (error)
            g_error_free(error);
    }
    std::string record = DeviceRecord(*p, port);
    if (!umockdev_testbed_add_from_string(m_impl->testbed, record.c_str(), &error)) {
        std::fprintf(stderr, "usb emulator: add %s: %s\n", devnode, error ? error->message : "?");
        if (error)
            g_error_free(error);
    }
    int id = p->id;
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    m_impl->printers[id] = std::move(p);
    return id;
}

void Emulator::Unplug(int id) {
    std::string syspath;
    {
        std::lock_guard<std::mutex> lock(m_impl->mutex);
        Printer& p = m_impl->Get(id);
        if (p.gone)
            return;
        // Whatever was in flight ends with the device, keeping what it took.
        Advance(p, Clock::now());
        p.gone = true;
        EndOutgoing(p, -ENODEV);
        while (!p.waitingIn.empty()) {
            Urb u = p.waitingIn.front();
            p.waitingIn.pop_front();
            Finish(p, u, -ENODEV, 0);
        }
        syspath = p.syspath;
    }
    umockdev_testbed_uevent(m_impl->testbed, syspath.c_str(), "remove");
    umockdev_testbed_remove_device(m_impl->testbed, syspath.c_str());
}

std::vector<Emulator::OutUrb> Emulator::OutUrbLog(int id) const {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return m_impl->Get(id).outUrbLog;
}

std::vector<uint8_t> Emulator::Written(int id) const {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return m_impl->Get(id).written;
}

uint64_t Emulator::WrittenCount(int id) const {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return m_impl->Get(id).writtenCount;
}

int Emulator::OutUrbs(int id) const {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return m_impl->Get(id).outUrbs;
}

int Emulator::ClearHalts(int id, uint8_t endpoint) const {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    const auto& m = m_impl->Get(id).clearHalts;
    auto it = m.find(endpoint);
    return it == m.end() ? 0 : it->second;
}

bool Emulator::KernelDriverBound(int id) const {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return m_impl->Get(id).usblpBound;
}

int Emulator::KernelDriverDetaches(int id) const {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return m_impl->Get(id).detaches;
}

int Emulator::DeviceIdRequests(int id) const {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return m_impl->Get(id).deviceIdRequests;
}

int Emulator::AlternateSetting(int id) const {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return m_impl->Get(id).altSetting;
}

std::vector<Emulator::Claim> Emulator::VendorClaims(int id) const {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return m_impl->Get(id).vendorClaims;
}

void Emulator::SetWriteFault(int id, WriteFault fault) {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    Printer& p = m_impl->Get(id);
    // What the pipe took until now was taken before the fault.
    Advance(p, Clock::now());
    p.setup.writeFault = fault;
}

std::string Emulator::RootDir() const {
    gchar* dir = umockdev_testbed_get_root_dir(m_impl->testbed);
    std::string s = dir ? dir : "";
    g_free(dir);
    return s;
}

} // namespace usbemu
