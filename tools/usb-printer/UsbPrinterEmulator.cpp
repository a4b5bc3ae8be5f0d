#include "EmulatedPrinter.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace usbemu {

namespace {

constexpr const char kPreload[] = "libumockdev-preload.so.0";

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
