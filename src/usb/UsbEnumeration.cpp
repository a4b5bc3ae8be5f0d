#include "usb/UsbEnumeration.h"
#include "status/DisplayText.h"

#include "usb/OstrelRecords.h"

#include <libusb.h>

#include <libudev.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

char szSERN[kUsbTextSize];
char szDES[kUsbTextSize];

const char* const kManufacturerKeys[] = {"MFG:", "MANUFACTURER:", ""};
const char* const kModelKeys[] = {"MDL:", "MODEL:", ""};
const char* const kSerialNumberKeys[] = {"SN:", "SERN:", ""};

namespace {

constexpr uint8_t kPrinterClass = 7;
constexpr uint8_t kPrinterSubClass = 1;
constexpr uint16_t kLanguageUsEnglish = 0x0409;
constexpr int kDeviceDescriptorLength = 18;

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

std::string Trim(const std::string& s) {
    std::size_t b = 0;
    std::size_t e = s.size();
    while (b < e && IsSpace(s[b]))
        ++b;
    while (e > b && IsSpace(s[e - 1]))
        --e;
    return s.substr(b, e - b);
}

char Upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

std::size_t FindNoCase(const std::string& hay, const char* needle) {
    std::size_t n = std::strlen(needle);
    if (n == 0 || hay.size() < n)
        return std::string::npos;
    for (std::size_t i = 0; i + n <= hay.size(); ++i) {
        std::size_t k = 0;
        while (k < n && Upper(hay[i + k]) == Upper(needle[k]))
            ++k;
        if (k == n)
            return i;
    }
    return std::string::npos;
}

// Copies text (length bytes) into out, cut to fit size with its terminator.
void CopyCut(char* out, std::size_t size, const char* text, std::size_t length) {
    std::size_t n = Utf8PrefixLength(text, length, size - 1);
    std::memcpy(out, text, n);
    out[n] = '\0';
}

// The value after key, up to the first ';' or the end; its end position.
const char* FieldEnd(const char* valueStart) {
    const char* semi = std::strchr(valueStart, ';');
    return semi ? semi : valueStart + std::strlen(valueStart);
}

std::optional<std::string> TakeString(classdriver_t driver, uint8_t index) {
    char* s = nullptr;
    int rc = (*driver)->GetString(driver, index, kLanguageUsEnglish,
                                  static_cast<uint16_t>(kClassDriverTimeoutMs), &s);
    if (rc != 0 || s == nullptr) {
        std::free(s);
        return std::nullopt;
    }
    std::string out(s);
    std::free(s);
    return out;
}

// The device ID of one interface through its driver, completed from the
// descriptors when it lacks the manufacturer, model or serial number.
std::optional<std::string> ReadDeviceId(classdriver_t driver) {
    std::optional<std::string> ownId;
    char* raw = nullptr;
    if ((*driver)->GetDeviceID(driver, &raw, kClassDriverTimeoutMs) == 0 && raw)
        ownId = std::string(raw);
    std::free(raw);

    bool hasMfg = copy_value_for_key(ownId, kManufacturerKeys).has_value();
    bool hasMdl = copy_value_for_key(ownId, kModelKeys).has_value();
    bool hasSern = copy_value_for_key(ownId, kSerialNumberKeys).has_value();
    if (hasMfg && hasMdl && hasSern)
        return ownId;

    unsigned char desc[kDeviceDescriptorLength] = {};
    // Device to host, standard request, device recipient.
    UsbDeviceRequest req{0x80, LIBUSB_REQUEST_GET_DESCRIPTOR, LIBUSB_DT_DEVICE << 8,
                         0,    kDeviceDescriptorLength,       desc};
    if ((*driver)->DeviceRequest(driver, &req, kClassDriverTimeoutMs) != 0)
        return std::nullopt;

    std::string id;
    if (!hasMfg) {
        if (auto s = TakeString(driver, desc[14]))
            id += "MFG:" + *s + ";";
    }
    if (!hasMdl) {
        if (auto s = TakeString(driver, desc[15]))
            id += "MDL:" + *s + ";";
    }
    if (!hasSern && desc[16] != 0) {
        if (auto s = TakeString(driver, desc[16]))
            id += "SERN:" + *s + ";";
    }
    if (ownId)
        id += *ownId;
    return id;
}

std::string ClassDriverPathOf(const UsbPrinterInterface& iface, bool& found) {
    found = false;
    std::string path;
    udev* u = udev_new();
    if (u == nullptr)
        return path;
    if (udev_device* dev = udev_device_new_from_subsystem_sysname(u, "usb", iface.sysname)) {
        if (const char* v = udev_device_get_property_value(dev, kClassDriverUdevProperty)) {
            path = v;
            found = true;
        }
        udev_device_unref(dev);
    }
    udev_unref(u);
    return path;
}

// Every printing-class interface of the attached devices, in the order
// libusb lists the devices.
void CollectPrinterInterfaces(libusb_device** list, ssize_t count,
                              std::vector<UsbPrinterInterface>& out) {
    for (ssize_t i = 0; i < count; ++i) {
        libusb_device* dev = list[i];
        uint8_t ports[8];
        int nports = libusb_get_port_numbers(dev, ports, sizeof ports);
        if (nports <= 0)
            continue; // a root hub
        libusb_config_descriptor* config = nullptr;
        if (libusb_get_active_config_descriptor(dev, &config) != 0 || config == nullptr)
            continue;

        uint8_t configIndex = 0;
        libusb_device_descriptor dd{};
        if (libusb_get_device_descriptor(dev, &dd) == 0) {
            for (uint8_t c = 0; c < dd.bNumConfigurations; ++c) {
                libusb_config_descriptor* other = nullptr;
                if (libusb_get_config_descriptor(dev, c, &other) == 0) {
                    bool same = other->bConfigurationValue == config->bConfigurationValue;
                    libusb_free_config_descriptor(other);
                    if (same) {
                        configIndex = c;
                        break;
                    }
                }
            }
        }

        std::string devName = std::to_string(libusb_get_bus_number(dev)) + "-";
        for (int p = 0; p < nports; ++p)
            devName += (p ? "." : "") + std::to_string(ports[p]);

        for (int k = 0; k < config->bNumInterfaces; ++k) {
            const libusb_interface& intf = config->interface[k];
            if (intf.num_altsetting < 1)
                continue;
            // The interface as it stands: its first (default) setting.
            const libusb_interface_descriptor& alt = intf.altsetting[0];
            if (alt.bInterfaceClass != kPrinterClass || alt.bInterfaceSubClass != kPrinterSubClass)
                continue;
            UsbPrinterInterface rec;
            rec.device = dev;
            rec.bInterfaceNumber = alt.bInterfaceNumber;
            rec.bAlternateSetting = alt.bAlternateSetting;
            rec.bConfigurationIndex = configIndex;
            std::snprintf(rec.sysname, sizeof rec.sysname, "%s:%u.%u", devName.c_str(),
                          config->bConfigurationValue, alt.bInterfaceNumber);
            out.push_back(rec);
        }
        libusb_free_config_descriptor(config);
    }
}

} // namespace

std::size_t Utf8PrefixLength(const char* text, std::size_t length, std::size_t room) {
    if (length <= room)
        return length;
    std::size_t n = room;
    // Step back over continuation bytes to the start of the cut character.
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80)
        --n;
    return n;
}

std::optional<std::string> copy_value_for_key(const std::optional<std::string>& deviceId,
                                              const char* const keys[]) {
    if (!deviceId || keys == nullptr)
        return std::nullopt;
    const std::string& id = *deviceId;
    std::size_t start = 0;
    while (start <= id.size()) {
        std::size_t semi = id.find(';', start);
        std::size_t end = semi == std::string::npos ? id.size() : semi;
        std::string pair = id.substr(start, end - start);
        for (int k = 0; keys[k] != nullptr && keys[k][0] != '\0'; ++k) {
            std::size_t pos = FindNoCase(pair, keys[k]);
            if (pos == std::string::npos)
                continue;
            std::size_t keyLen = std::strlen(keys[k]);
            if (pos == 0)
                return Trim(pair.substr(keyLen));
            std::string trimmed = Trim(pair);
            if (FindNoCase(trimmed, keys[k]) == 0)
                return trimmed.substr(keyLen);
        }
        if (semi == std::string::npos)
            break;
        start = semi + 1;
    }
    return std::nullopt;
}

void KeepDeviceIdFields(const std::string& deviceId) {
    // Longer IDs are cut at a character boundary rather than overflowing.
    char buf[kDeviceIdBufferSize] = {};
    CopyCut(buf, sizeof buf, deviceId.c_str(), std::strlen(deviceId.c_str()));
    // The diagnostic line without the printer's control characters.
    char shown[kDeviceIdBufferSize];
    MakeDisplayText(reinterpret_cast<const unsigned char*>(buf), std::strlen(buf), shown,
                    sizeof shown);
    std::printf("idstr=%s\n", shown);

    const char* pos = buf + std::strlen(buf);
    if (const char* sern = std::strstr(buf, "SERN:")) {
        const char* value = sern + 5;
        const char* end = FieldEnd(value);
        if (end > value)
            CopyCut(szSERN, sizeof szSERN, value, static_cast<std::size_t>(end - value));
        pos = value;
    }
    if (const char* des = std::strstr(pos, "DES:")) {
        const char* value = des + 4;
        const char* end = FieldEnd(value);
        if (end > value)
            CopyCut(szDES, sizeof szDES, value, static_cast<std::size_t>(end - value));
        if (*value != '\0')
            std::memcpy(pDeviceIdText, buf, sizeof buf);
    }
}

Boolean list_device_cb(void* /*userData*/, UsbPrinterInterface* service) {
    if (service == nullptr)
        return false;

    bool named = false;
    std::string path = ClassDriverPathOf(*service, named);

    classdriver_t driver = nullptr;
    int kr = load_classdriver(named ? path.c_str() : nullptr, service, &driver);
    if (kr != 0 && named)
        kr = load_classdriver(nullptr, service, &driver);

    std::optional<std::string> deviceId;
    if (kr == 0 && driver != nullptr)
        deviceId = ReadDeviceId(driver);
    release_classdriver(driver);

    if (deviceId)
        KeepDeviceIdFields(*deviceId);
    return true;
}

void device_added(IteratorReference* reference, UsbInterfaceIterator* iterator) {
    if (reference == nullptr || iterator == nullptr)
        return;
    while (reference->keepRunning && iterator->next < iterator->services.size()) {
        UsbPrinterInterface* service = &iterator->services[iterator->next++];
        if (reference->callback)
            reference->keepRunning = reference->callback(reference->userData, service);
    }
    if (reference->keepRunning && reference->callback)
        reference->keepRunning = reference->callback(reference->userData, nullptr);
}

void list_devices() {
    libusb_context* ctx = nullptr;
    if (libusb_init(&ctx) != 0 || ctx == nullptr)
        return;

    IteratorReference reference;
    reference.callback = list_device_cb;
    reference.userData = nullptr;
    reference.keepRunning = true;

    libusb_device** list = nullptr;
    ssize_t count = libusb_get_device_list(ctx, &list);
    if (count >= 0) {
        UsbInterfaceIterator iterator;
        CollectPrinterInterfaces(list, count, iterator.services);
        device_added(&reference, &iterator);
        libusb_free_device_list(list, 1);
    }
    libusb_exit(ctx);
}
