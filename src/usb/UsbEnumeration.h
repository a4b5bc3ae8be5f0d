// A pass over the USB printing-class interfaces attached now: each printer's
// IEEE 1284 device ID, read through its class driver and completed from its
// descriptors, leaves its serial number, description and the whole ID in the
// process-wide texts below.
#pragma once

#include "usb/UsbPrinterClass.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

constexpr std::size_t kUsbTextSize = 256; // szSERN, szDES: 255 characters at most
constexpr std::size_t kDeviceIdBufferSize = 1024;

extern char szSERN[kUsbTextSize];
extern char szDES[kUsbTextSize];

using Boolean = bool;

// The printing-class interfaces found by one pass, walked in order.
struct UsbInterfaceIterator {
    std::vector<UsbPrinterInterface> services;
    std::size_t next = 0;
};

using IteratorCallback = Boolean (*)(void* userData, UsbPrinterInterface* service);

struct IteratorReference {
    IteratorCallback callback = nullptr;
    void* userData = nullptr;
    Boolean keepRunning = true;
};

// Key lists of copy_value_for_key, each ending with an empty entry.
extern const char* const kManufacturerKeys[];
extern const char* const kModelKeys[];
extern const char* const kSerialNumberKeys[];

void list_devices();
void device_added(IteratorReference* reference, UsbInterfaceIterator* iterator);
// False when called with no service (the end of a pass), true otherwise.
Boolean list_device_cb(void* userData, UsbPrinterInterface* service);
// The value of the first pair of deviceId that starts with one of keys
// (case and surrounding whitespace ignored), or none.
std::optional<std::string> copy_value_for_key(const std::optional<std::string>& deviceId,
                                              const char* const keys[]);

// Length of the longest prefix of text that fits room bytes without
// splitting a UTF-8 character.
std::size_t Utf8PrefixLength(const char* text, std::size_t length, std::size_t room);

// The last step of a pass, on the text of one device ID: logs it, cuts it to
// the working buffer at a character boundary, then takes the value after
// "SERN:" into szSERN, the value after a "DES:" that follows it into szDES,
// and, when that "DES:" has anything after it, the whole ID into
// pDeviceIdText. Values end at ';' or the end; empty ones change nothing.
void KeepDeviceIdFields(const std::string& deviceId);
