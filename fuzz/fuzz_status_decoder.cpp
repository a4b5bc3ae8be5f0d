// Any device ID text through the status decoder and the base64 decoder.
#include "status/PrinterStatus.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (freopen("/dev/null", "w", stdout) == nullptr)
        return 0;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 8192)
        return 0;
    const std::string text(reinterpret_cast<const char*>(data), size); // stops at a NUL

    PRINTER_STATUS* status = new PRINTER_STATUS;
    memset(status, 0, sizeof(*status));
    const int rc = DecodeStatusFromDeviceID(text.c_str(), status);
    if (rc != 0 && rc != -1)
        abort();
    if (StatusNameForCode(status->PrinterStatus) == nullptr)
        abort();
    delete status;

    // The destination is exactly `room` bytes on the heap.
    const unsigned long room = size > 0 ? data[0] : 0;
    unsigned char* out = static_cast<unsigned char*>(malloc(room > 0 ? room : 1));
    const int n = base64_decode(text.c_str(), out, room);
    if (n > static_cast<int>(room) || n < -1)
        abort();
    free(out);

    for (size_t i = 0; i + 4 <= size; i += 4) {
        unsigned char triple[3];
        const int m = _base64_decode_triple(reinterpret_cast<const char*>(data + i), triple);
        if (m < 0 || m > 3)
            abort();
    }
    return 0;
}
