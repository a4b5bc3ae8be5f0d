// The printing class driver: the table of operations through which the
// enumeration reads a printer's IEEE 1284 device ID, its device descriptor and
// its string descriptors. The generic driver is built in; a printer may name a
// driver of its own, a loadable module found through a udev property of its
// printer interface, which is then handed the generic driver as its base.
//
// The table is a small C ABI so that a module built apart from the program
// can provide one: strings cross it as malloc'd UTF-8, statuses as int
// (0 success, a negative libusb error otherwise).
#pragma once

#include <cstdint>

struct libusb_device;

// The printer-class interface the driver is bound to.
struct UsbPrinterInterface {
    libusb_device* device = nullptr; // referenced by whoever built the record
    uint8_t bInterfaceNumber = 0;
    uint8_t bAlternateSetting = 0;
    uint8_t bConfigurationIndex = 0; // position of the active configuration
    char sysname[64] = {};           // kernel name of the interface, "1-1:1.0"
};

// Standard or class control request handed to the device request operation.
struct UsbDeviceRequest {
    uint8_t bmRequestType;
    uint8_t bRequest;
    uint16_t wValue;
    uint16_t wIndex;
    uint16_t wLength;
    void* pData;
};

struct classdriver_s;
using classdriver_t = classdriver_s**;

struct classdriver_s {
    // Reference-counted object header shared by factory instances and drivers.
    void* reserved;
    int (*QueryInterface)(classdriver_t self, const char* interfaceId, void** out);
    uint32_t (*AddRef)(classdriver_t self);
    uint32_t (*Release)(classdriver_t self);

    void* plugin; // module handle that provided the driver; null when built in
    const UsbPrinterInterface* interface;

    int (*DeviceRequest)(classdriver_t self, UsbDeviceRequest* request, uint32_t timeoutMs);
    // *out receives a malloc'd UTF-8 string (caller frees) or stays null.
    int (*GetString)(classdriver_t self, uint8_t index, uint16_t language, uint16_t timeoutMs,
                     char** out);
    int (*GetDeviceID)(classdriver_t self, char** out, uint32_t timeoutMs);
    int (*Initialize)(classdriver_t self, classdriver_t baseDriver);

    void* context; // the driver's own state
};

// Identifiers of the module interface: the type a module's factory creates,
// and the interface asked of the instance it returns.
inline constexpr const char kClassDriverPluginType[] = "06047D16-53A2-11D6-9206-003065524592";
inline constexpr const char kClassDriverInterfaceID[] = "03346D74-53A3-11D6-9EA1-763065524592";

// A module exports this symbol: it returns a new instance (one reference) of
// the given type, or null.
inline constexpr const char kClassDriverFactorySymbol[] = "QuenloPrintingClassFactory";
using ClassDriverFactoryFn = classdriver_t (*)(const char* pluginType);

// Stands for the generic driver wherever a path is expected.
inline constexpr const char kGenericClassDriverPath[] = "builtin:generic-printing-class";

// udev property of a printer interface that names a printer-specific module.
inline constexpr const char kClassDriverUdevProperty[] = "QUENLO_USB_PRINTING_CLASS";

inline constexpr int kClassDriverLoadFailed = -9664;
inline constexpr uint32_t kClassDriverTimeoutMs = 5000;

// Loads the driver at driverPath (null: the generic one) bound to iface.
// 0 on success, with *driver set unless the module handed out none;
// kClassDriverLoadFailed or the module's own status otherwise.
// Writes its "DEBUG: " lines to standard error.
int load_classdriver(const char* driverPath, const UsbPrinterInterface* iface,
                     classdriver_t* driver);

// Releases a driver handed out by load_classdriver, and the module that
// provided it once the driver is gone.
void release_classdriver(classdriver_t driver);

// Whether the code or data at address lies in a mapping of the very file
// open as fd (same device and inode), as /proc/self/maps shows it: the
// proof that what the dynamic loader handed out is the file checked.
bool MappedFromFile(const void* address, int fd);

// A new instance of the built-in generic driver, not yet initialised
// (exposed for tests and for modules linked against the program).
classdriver_t CreateGenericClassDriver();
