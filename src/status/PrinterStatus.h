// The printer status record carried in the "STS:" field of an IEEE 1284
// device ID, its lenient base64 decoding, and the names shown for a status.
// Plain C++: both the network and the USB side decode through here.
#pragma once

#include <cstddef>

// 108 bytes, exactly as the printer encodes them. Only the status code is
// interpreted; the rest is carried along untouched.
struct PRINTER_STATUS {
    unsigned char Reserved0[9];
    unsigned char PrinterStatus; // index into g_szStatus
    unsigned char Reserved1[98];
};
static_assert(sizeof(PRINTER_STATUS) == 108, "the printer sends exactly 108 bytes");
static_assert(offsetof(PRINTER_STATUS, PrinterStatus) == 9, "status code is the tenth byte");

constexpr int kStatusNameCount = 13;
constexpr int kStatusNameWidth = 256;
// Codes at or above this are shown as entry 0.
constexpr unsigned kFirstHiddenStatus = 9;

extern const char g_szStatus[kStatusNameCount][kStatusNameWidth];

// The text a printer list shows for a status code: its own entry below 9,
// "Ready" for anything else.
const char* StatusNameForCode(unsigned code);

// What both printer lists do with a freshly decoded record: a code of 9 or
// more is replaced by 0 in the record, and the name of the (possibly
// replaced) code is returned.
const char* ShownStatusName(PRINTER_STATUS* status);

// Finds "STS:" in a device ID and decodes the status record behind it.
// 0 when exactly a whole record was decoded, -1 otherwise (the record may
// then be partly written). The diagnostic lines go to standard output.
int DecodeStatusFromDeviceID(const char* deviceId, PRINTER_STATUS* status);

// Decodes base64 text leniently: characters outside the alphabet are
// skipped, decoding stops at the first group that yields fewer than three
// bytes. Returns the bytes written, or -1 when they would exceed `room`
// (bytes already written stay) or on a null argument / allocation failure.
int base64_decode(const char* source, unsigned char* destination, unsigned long room);

// One group of four characters into up to three bytes; returns 0 to 3.
int _base64_decode_triple(const char* group, unsigned char* output);
