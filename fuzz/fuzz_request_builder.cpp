// Any identifier text and community through the encoder: never more bytes
// than the documented buffers, and whatever is built walks back cleanly.
#include "net/NetIO.h"

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
    if (size > 2048)
        return 0;
    // First line: identifier text; the rest: community.
    const std::string all(reinterpret_cast<const char*>(data), size);
    const size_t cut = all.find('\n');
    const std::string text = all.substr(0, cut);
    const std::string community = cut == std::string::npos ? "" : all.substr(cut + 1);

    std::vector<unsigned char> encoded(kOidEncodingMax);
    const int length = CNetIO::oidEncode(text.c_str(), encoded.data());
    if (length < 0 || length > kOidEncodingMax)
        abort();

    std::vector<unsigned char> request(kSnmpWorkSize);
    const int count = size > 0 ? 1 + data[size - 1] % 4 : 1;
    const int n =
        CNetIO::BuildGetRequestFor(count, text.c_str(), community.c_str(), request.data());
    if (n > kSnmpWorkSize || (length > 0 && community.size() < 200 && n <= 0))
        abort();
    if (n > 0) {
        // Turned into a response, our own walk must accept it whole.
        std::vector<unsigned char> reply(request.begin(), request.begin() + n);
        size_t pos = 1;
        pos += (reply[pos] & 0x80) ? 1 + (reply[pos] & 0x7F) : 1; // message length
        pos += 3;                                                 // version
        ++pos;                                                    // community tag
        size_t c = reply[pos];
        if (c & 0x80) {
            const size_t k = c & 0x7F;
            c = 0;
            for (size_t i = 0; i < k; ++i)
                c = (c << 8) | reply[pos + 1 + i];
            pos += k;
        }
        pos += 1 + c;
        if (reply[pos] != 0xA0)
            abort();
        reply[pos] = 0xA2;
        if (CNetIO::parseGetResponse(reply.data(), n, nullptr, nullptr, nullptr, nullptr, nullptr,
                                     nullptr) != 1)
            abort();
    }
    std::vector<unsigned char> discovery(kSnmpWorkSize);
    if (CNetIO::BuildDiscoveryRequest(community.c_str(), discovery.data(), kSnmpWorkSize) >
        kSnmpWorkSize)
        abort();
    return 0;
}
