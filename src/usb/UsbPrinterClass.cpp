#include "usb/UsbPrinterClass.h"

#include <libusb.h>

#include <libudev.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <vector>

namespace {

// Printer class request GET_DEVICE_ID (class, interface recipient, IN).
constexpr uint8_t kGetDeviceIdRequestType = 0xA1;
constexpr uint8_t kGetDeviceIdRequest = 0;
// Room asked of the printer: the length field is 16 bits, and the kept copy
// is cut later where it has to be, so ask for more than will be kept.
constexpr uint16_t kDeviceIdRoom = 4096;
constexpr int kNoInterface = static_cast<int>(0x80000004u); // E_NOINTERFACE

std::string AppendUtf8(std::string out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
    return out;
}

bool IsValidUtf8(const unsigned char* s, size_t n) {
    size_t i = 0;
    while (i < n) {
        unsigned char c = s[i];
        size_t len = c < 0x80           ? 1
                     : (c >> 5) == 0x6  ? 2
                     : (c >> 4) == 0xE  ? 3
                     : (c >> 3) == 0x1E ? 4
                                        : 0;
        if (len == 0 || i + len > n)
            return false;
        for (size_t k = 1; k < len; ++k)
            if ((s[i + k] & 0xC0) != 0x80)
                return false;
        i += len;
    }
    return true;
}

// A device ID is meant to be ASCII; printers that send other bytes usually
// mean Latin-1. Whatever comes, the result is valid UTF-8 without NULs.
std::string DeviceIdText(const unsigned char* bytes, size_t n) {
    const void* nul = std::memchr(bytes, 0, n);
    if (nul)
        n = static_cast<size_t>(static_cast<const unsigned char*>(nul) - bytes);
    if (IsValidUtf8(bytes, n))
        return std::string(reinterpret_cast<const char*>(bytes), n);
    std::string out;
    for (size_t i = 0; i < n; ++i)
        out = AppendUtf8(std::move(out), bytes[i]);
    return out;
}

char* Duplicate(const std::string& s) {
    char* p = static_cast<char*>(std::malloc(s.size() + 1));
    if (p)
        std::memcpy(p, s.c_str(), s.size() + 1);
    return p;
}

// --- the generic driver --------------------------------------------------

struct GenericDriver {
    classdriver_s* self; // first: a classdriver_t points here
    classdriver_s table;
    uint32_t refs;
    libusb_device_handle* handle;
};

GenericDriver* State(classdriver_t d) {
    return static_cast<GenericDriver*>((*d)->context);
}

int GenericQueryInterface(classdriver_t self, const char* interfaceId, void** out) {
    if (out == nullptr)
        return kNoInterface;
    if (interfaceId && std::strcmp(interfaceId, kClassDriverInterfaceID) == 0) {
        (*self)->AddRef(self);
        *out = self;
        return 0;
    }
    *out = nullptr;
    return kNoInterface;
}

uint32_t GenericAddRef(classdriver_t self) {
    return ++State(self)->refs;
}

uint32_t GenericRelease(classdriver_t self) {
    GenericDriver* g = State(self);
    if (--g->refs > 0)
        return g->refs;
    if (g->handle)
        libusb_close(g->handle);
    delete g;
    return 0;
}

int GenericDeviceRequest(classdriver_t self, UsbDeviceRequest* req, uint32_t timeoutMs) {
    GenericDriver* g = State(self);
    if (g->handle == nullptr || req == nullptr)
        return LIBUSB_ERROR_INVALID_PARAM;
    if (req->wLength > 0 && req->pData == nullptr)
        return LIBUSB_ERROR_INVALID_PARAM;
    int n = libusb_control_transfer(g->handle, req->bmRequestType, req->bRequest, req->wValue,
                                    req->wIndex, static_cast<unsigned char*>(req->pData),
                                    req->wLength, timeoutMs);
    return n < 0 ? n : 0;
}

int GenericGetString(classdriver_t self, uint8_t index, uint16_t language, uint16_t timeoutMs,
                     char** out) {
    GenericDriver* g = State(self);
    if (out == nullptr)
        return LIBUSB_ERROR_INVALID_PARAM;
    *out = nullptr;
    if (g->handle == nullptr || index == 0)
        return LIBUSB_ERROR_INVALID_PARAM;
    unsigned char buf[256] = {};
    int n = libusb_control_transfer(g->handle, LIBUSB_ENDPOINT_IN, LIBUSB_REQUEST_GET_DESCRIPTOR,
                                    static_cast<uint16_t>((LIBUSB_DT_STRING << 8) | index),
                                    language, buf, sizeof buf - 1, timeoutMs);
    if (n < 0)
        return n;
    // A string descriptor: length, type 3, then UTF-16LE code units. Trust
    // neither its length byte nor its pairing of surrogates.
    if (n < 2 || buf[1] != LIBUSB_DT_STRING)
        return LIBUSB_ERROR_IO;
    int len = buf[0] < n ? buf[0] : n;
    std::string s;
    for (int i = 2; i + 1 < len; i += 2) {
        uint32_t cu = buf[i] | (buf[i + 1] << 8);
        if (cu >= 0xD800 && cu < 0xDC00 && i + 3 < len) {
            uint32_t lo = buf[i + 2] | (buf[i + 3] << 8);
            if (lo >= 0xDC00 && lo < 0xE000) {
                s = AppendUtf8(std::move(s), 0x10000 + ((cu - 0xD800) << 10) + (lo - 0xDC00));
                i += 2;
                continue;
            }
        }
        if (cu == 0)
            break;
        if (cu >= 0xD800 && cu < 0xE000)
            cu = 0xFFFD;
        s = AppendUtf8(std::move(s), cu);
    }
    *out = Duplicate(s);
    return *out ? 0 : LIBUSB_ERROR_NO_MEM;
}

// The device ID as usblp keeps it in sysfs, for when the interface cannot
// be claimed (no right to detach the kernel driver).
int DeviceIdFromSysfs(const UsbPrinterInterface* iface, std::string& id) {
    udev* u = udev_new();
    if (u == nullptr)
        return LIBUSB_ERROR_NOT_FOUND;
    int rc = LIBUSB_ERROR_NOT_FOUND;
    udev_device* dev = udev_device_new_from_subsystem_sysname(u, "usb", iface->sysname);
    if (dev) {
        const char* v = udev_device_get_sysattr_value(dev, "ieee1284_id");
        if (v) {
            id = DeviceIdText(reinterpret_cast<const unsigned char*>(v), std::strlen(v));
            while (!id.empty() && (id.back() == '\n' || id.back() == '\r'))
                id.pop_back();
            rc = 0;
        }
        udev_device_unref(dev);
    }
    udev_unref(u);
    return rc;
}

int GenericGetDeviceID(classdriver_t self, char** out, uint32_t timeoutMs) {
    GenericDriver* g = State(self);
    const UsbPrinterInterface* iface = (*self)->interface;
    if (out == nullptr)
        return LIBUSB_ERROR_INVALID_PARAM;
    *out = nullptr;
    if (g->handle == nullptr || iface == nullptr)
        return LIBUSB_ERROR_INVALID_PARAM;

    std::string id;
    // The kernel's printer driver usually holds this interface: the claim
    // detaches it for this one request and the release gives it back, so
    // that the user's printing keeps working.
    int rc = libusb_claim_interface(g->handle, iface->bInterfaceNumber);
    if (rc == 0) {
        std::vector<unsigned char> buf(kDeviceIdRoom, 0);
        uint16_t wIndex =
            static_cast<uint16_t>((iface->bInterfaceNumber << 8) | iface->bAlternateSetting);
        int n = libusb_control_transfer(g->handle, kGetDeviceIdRequestType, kGetDeviceIdRequest,
                                        iface->bConfigurationIndex, wIndex, buf.data(),
                                        kDeviceIdRoom, timeoutMs);
        libusb_release_interface(g->handle, iface->bInterfaceNumber);
        if (n < 0)
            return n;
        if (n < 2)
            return LIBUSB_ERROR_IO;
        // Two-byte big-endian length that counts itself; a length that
        // claims more than arrived (or is nonsense) yields what did arrive.
        size_t len = (static_cast<size_t>(buf[0]) << 8) | buf[1];
        if (len < 2 || len > static_cast<size_t>(n))
            len = static_cast<size_t>(n);
        id = DeviceIdText(buf.data() + 2, len - 2);
    } else if (DeviceIdFromSysfs(iface, id) != 0) {
        return rc;
    }
    *out = Duplicate(id);
    return *out ? 0 : LIBUSB_ERROR_NO_MEM;
}

int GenericInitialize(classdriver_t self, classdriver_t /*base*/) {
    GenericDriver* g = State(self);
    const UsbPrinterInterface* iface = (*self)->interface;
    if (iface == nullptr || iface->device == nullptr)
        return LIBUSB_ERROR_INVALID_PARAM;
    if (g->handle)
        return 0;
    int rc = libusb_open(iface->device, &g->handle);
    if (rc != 0) {
        g->handle = nullptr;
        return rc;
    }
    libusb_set_auto_detach_kernel_driver(g->handle, 1);
    return 0;
}

// A module may come only from where nobody but root and the user running
// the program can write. The file, its links resolved, must be a regular
// file owned by one of them and writable by no one else, and so must every
// folder above it be (or a folder could be swapped under the check).
// Returns an open descriptor of the checked file, or -1 after one "DEBUG:"
// line.
int OpenTrustedModule(const char* path) {
    auto refuse = [path](const char* why) {
        std::fprintf(stderr, "DEBUG: Unable to load class driver \"%s\": %s\n", path, why);
        return -1;
    };
    if (path[0] != '/')
        return refuse("not an absolute path");
    char resolved[PATH_MAX];
    if (realpath(path, resolved) == nullptr)
        return refuse(std::strerror(errno));
    const int fd = open(resolved, O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0)
        return refuse(std::strerror(errno));
    const uid_t user = geteuid();
    // Why a file or folder cannot be trusted, or null.
    auto distrust = [user](const struct stat& st, const char* what, const char* name, char* why,
                           size_t size) {
        if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0)
            std::snprintf(why, size, "insecure %s permissions%s%s%s (0%o)", what,
                          name ? " of \"" : "", name ? name : "", name ? "\"" : "",
                          static_cast<unsigned>(st.st_mode));
        else if (st.st_uid != 0 && st.st_uid != user)
            std::snprintf(why, size, "%s%s%s%s owned by another user (uid %u)", what,
                          name ? " \"" : "", name ? name : "", name ? "\"" : "",
                          static_cast<unsigned>(st.st_uid));
        else
            return false;
        return true;
    };
    char why[PATH_MAX + 96];
    struct stat file {};
    if (fstat(fd, &file) != 0 || !S_ISREG(file.st_mode)) {
        close(fd);
        return refuse("not a regular file");
    }
    if (distrust(file, "file", nullptr, why, sizeof why)) {
        close(fd);
        return refuse(why);
    }
    std::string folder(resolved);
    while (folder.size() > 1) {
        const size_t slash = folder.rfind('/');
        folder.resize(slash == 0 ? 1 : slash);
        struct stat dir {};
        if (lstat(folder.c_str(), &dir) != 0 || !S_ISDIR(dir.st_mode)) {
            close(fd);
            return refuse("a folder above it cannot be checked");
        }
        if (distrust(dir, "folder", folder.c_str(), why, sizeof why)) {
            close(fd);
            return refuse(why);
        }
    }
    // The checked folders cannot have changed under us since nobody else may
    // write them; the path must still name the file that is open.
    struct stat again {};
    if (stat(resolved, &again) != 0 || again.st_dev != file.st_dev || again.st_ino != file.st_ino) {
        close(fd);
        return refuse("changed while it was checked");
    }
    return fd;
}

} // namespace

classdriver_t CreateGenericClassDriver() {
    auto* g = new GenericDriver{};
    g->self = &g->table;
    g->refs = 1;
    g->table.QueryInterface = GenericQueryInterface;
    g->table.AddRef = GenericAddRef;
    g->table.Release = GenericRelease;
    g->table.DeviceRequest = GenericDeviceRequest;
    g->table.GetString = GenericGetString;
    g->table.GetDeviceID = GenericGetDeviceID;
    g->table.Initialize = GenericInitialize;
    g->table.context = g;
    return &g->self;
}

bool MappedFromFile(const void* address, int fd) {
    struct stat file {};
    if (address == nullptr || fstat(fd, &file) != 0)
        return false;
    FILE* maps = std::fopen("/proc/self/maps", "re");
    if (maps == nullptr)
        return false;
    const auto at = reinterpret_cast<uintptr_t>(address);
    bool found = false;
    char line[PATH_MAX + 128];
    // A process has some thousands of mappings at most; the bound keeps a
    // strange /proc from holding us.
    for (int n = 0; n < 1000000 && std::fgets(line, sizeof line, maps) != nullptr; ++n) {
        unsigned long start = 0, end = 0, inode = 0;
        unsigned major = 0, minor = 0;
        if (std::sscanf(line, "%lx-%lx %*s %*x %x:%x %lu", &start, &end, &major, &minor, &inode) !=
            5)
            continue;
        if (at < start || at >= end)
            continue;
        found =
            major == ::major(file.st_dev) && minor == ::minor(file.st_dev) && inode == file.st_ino;
        break;
    }
    std::fclose(maps);
    return found;
}

namespace {

// The descriptor each module file was first loaded through, by device and
// inode, kept open for the life of the process. The dynamic loader knows a
// module by the name it was opened under, /proc/self/fd/N, and often keeps
// it loaded after dlclose; a number given back would make the next module's
// name that of a module already loaded, which would then be handed out
// again. So a file already loaded is loaded again under its first name, and
// a new file under a number no loaded module has.
std::mutex g_moduleFdsLock; // guards g_moduleFds
std::map<std::pair<dev_t, ino_t>, int> g_moduleFds;

// The descriptor to load the checked file open as fd through: fd itself for
// a file not loaded before (then kept), else the first one (fd is closed).
int LoadingFd(int fd) {
    struct stat file {};
    if (fstat(fd, &file) != 0)
        return fd;
    const std::lock_guard<std::mutex> lock(g_moduleFdsLock);
    const auto [it, added] = g_moduleFds.emplace(std::pair(file.st_dev, file.st_ino), fd);
    if (!added)
        close(fd);
    return it->second;
}

} // namespace

int load_classdriver(const char* driverPath, const UsbPrinterInterface* iface,
                     classdriver_t* driver) {
    char bundlePath[1024];
    const char* path = driverPath ? driverPath : kGenericClassDriverPath;
    if (std::strlen(path) >= sizeof bundlePath) {
        // A cut path would name another file: refuse it whole.
        std::fprintf(stderr, "DEBUG: Unable to load class driver \"%.1023s...\": %s\n", path,
                     std::strerror(ENAMETOOLONG));
        return kClassDriverLoadFailed;
    }
    std::snprintf(bundlePath, sizeof bundlePath, "%s", path);
    const bool generic = std::strcmp(bundlePath, kGenericClassDriverPath) == 0;

    int kr = kClassDriverLoadFailed;
    void* plugin = nullptr;
    classdriver_t instance = nullptr;
    bool handedOut = false;

    if (generic) {
        instance = CreateGenericClassDriver();
    } else {
        // Checked and loaded through one open file, so that what is loaded
        // is what was checked.
        const int checked = OpenTrustedModule(bundlePath);
        if (checked < 0)
            return kClassDriverLoadFailed;
        const int fd = LoadingFd(checked);
        char fdPath[64];
        std::snprintf(fdPath, sizeof fdPath, "/proc/self/fd/%d", fd);
        plugin = dlopen(fdPath, RTLD_NOW | RTLD_LOCAL);
        if (plugin) {
            auto factory =
                reinterpret_cast<ClassDriverFactoryFn>(dlsym(plugin, kClassDriverFactorySymbol));
            // Whatever the loader returned must be the file checked: its
            // factory lies in a mapping of that very file.
            if (factory && !MappedFromFile(reinterpret_cast<const void*>(factory), fd)) {
                std::fprintf(stderr,
                             "DEBUG: Unable to load class driver \"%s\": the loaded object is "
                             "not the file that was checked\n",
                             bundlePath);
                dlclose(plugin);
                return kClassDriverLoadFailed;
            }
            if (factory)
                instance = factory(kClassDriverPluginType);
        } else {
            std::fprintf(stderr, "DEBUG: %s\n", dlerror());
        }
    }

    if (instance) {
        classdriver_t drv = nullptr;
        kr = (*instance)->QueryInterface(instance, kClassDriverInterfaceID,
                                         reinterpret_cast<void**>(&drv));
        if (kr == 0 && drv) {
            classdriver_t base = nullptr;
            if (!generic)
                kr = load_classdriver(nullptr, iface, &base);
            if (kr == 0) {
                (*drv)->interface = iface;
                (*drv)->Initialize(drv, base);
                (*drv)->plugin = plugin;
                (*drv)->interface = iface;
                *driver = drv;
                handedOut = true;
            } else {
                (*drv)->Release(drv);
            }
        } else if (drv) {
            (*drv)->Release(drv);
        }
        (*instance)->Release(instance);
    }
    // The module stays loaded for as long as a driver of it lives.
    if (!handedOut && plugin)
        dlclose(plugin);

    std::fprintf(stderr, "DEBUG: load_classdriver(%s) (kr:0x%08x)\n", bundlePath,
                 static_cast<unsigned>(kr));
    return kr;
}

void release_classdriver(classdriver_t driver) {
    if (driver == nullptr)
        return;
    void* plugin = (*driver)->plugin;
    (*driver)->Release(driver);
    if (plugin)
        dlclose(plugin);
}
