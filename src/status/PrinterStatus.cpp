#include "status/PrinterStatus.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

const char g_szStatus[kStatusNameCount][kStatusNameWidth] = {
    "Ready",     "Printing",     "Power Saving", "Warming Up", "Pending Deletion",
    "Paused",    "Waiting",      "Processing",   "Busy",       "Offline",
    "Toner low", "Initializing", "Unknown",
};

const char* StatusNameForCode(unsigned code) {
    return g_szStatus[code < kFirstHiddenStatus ? code : 0];
}

const char* ShownStatusName(PRINTER_STATUS* status) {
    if (status == nullptr)
        return g_szStatus[0];
    if (status->PrinterStatus >= kFirstHiddenStatus)
        status->PrinterStatus = 0;
    return StatusNameForCode(status->PrinterStatus);
}

namespace {

// 0..63 for an alphabet character, -1 for anything else ('=' included).
int Base64Value(unsigned char c) {
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

bool CountsInGroup(unsigned char c) {
    return Base64Value(c) >= 0 || c == '=';
}

} // namespace

int _base64_decode_triple(const char* group, unsigned char* output) {
    if (group == nullptr || output == nullptr)
        return 0;
    int values[4];
    int n = 3;
    bool seenValid = false;
    for (int i = 3; i >= 0; --i) {
        const unsigned char c = static_cast<unsigned char>(group[i]);
        const int v = Base64Value(c);
        if (v >= 0) {
            values[i] = v;
            seenValid = true;
            continue;
        }
        // Padding is only allowed at the right end of a group.
        if (seenValid || c != '=')
            return 0;
        values[i] = 0;
        --n;
    }
    if (n < 0)
        n = 0;
    const unsigned long bits = (static_cast<unsigned long>(values[0]) << 18) |
                               (static_cast<unsigned long>(values[1]) << 12) |
                               (static_cast<unsigned long>(values[2]) << 6) |
                               static_cast<unsigned long>(values[3]);
    const unsigned long shifted = bits >> (8 * (3 - n));
    for (int i = 0; i < n; ++i)
        output[i] = static_cast<unsigned char>(shifted >> (8 * (n - 1 - i)));
    return n;
}

int base64_decode(const char* source, unsigned char* destination, unsigned long room) {
    if (source == nullptr || destination == nullptr)
        return -1;
    const size_t length = strlen(source);
    // The appended "====" completes any unfinished group before the end, so
    // the scan below never needs to look past the terminator.
    char* work = static_cast<char*>(malloc(length + 5));
    if (work == nullptr)
        return -1;
    memcpy(work, source, length);
    memcpy(work + length, "====", 5);

    int total = 0;
    const char* p = work;
    for (;;) {
        char group[4];
        int have = 0;
        while (have < 4 && *p != '\0') {
            if (CountsInGroup(static_cast<unsigned char>(*p)))
                group[have++] = *p;
            ++p;
        }
        if (have < 4) { // cannot happen with the padding above; stay safe anyway
            free(work);
            return total;
        }
        unsigned char bytes[3];
        const int n = _base64_decode_triple(group, bytes);
        if (static_cast<unsigned long>(n) > room) {
            free(work);
            return -1;
        }
        memcpy(destination + total, bytes, static_cast<size_t>(n));
        room -= static_cast<unsigned long>(n);
        total += n;
        if (n != 3) {
            free(work);
            return total;
        }
    }
}

int DecodeStatusFromDeviceID(const char* deviceId, PRINTER_STATUS* status) {
    printf("DecodStatusFromDeviceID enter\n");
    if (deviceId == nullptr || status == nullptr)
        return -1;

    printf("device_id=\n");
    int i = 0;
    for (const char* p = deviceId; *p != '\0'; ++p) {
        ++i;
        printf((i % 8 == 0) ? "%02x\n" : "%02x ", static_cast<unsigned char>(*p));
    }
    printf("\n");

    const char* field = strstr(deviceId, "STS:");
    if (field == nullptr) {
        printf("STS: not found\n");
        return -1;
    }
    const int nLength =
        base64_decode(field + 4, reinterpret_cast<unsigned char*>(status), sizeof(PRINTER_STATUS));
    printf("base64_decode nLength=%d, sizeof(PRINTER_STATUS)=%d\n", nLength,
           static_cast<int>(sizeof(PRINTER_STATUS)));
    return nLength == static_cast<int>(sizeof(PRINTER_STATUS)) ? 0 : -1;
}
