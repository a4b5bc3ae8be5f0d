// Any datagram at all through the response walk and its three users.
#include "net/NetIO.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

bool Check(const unsigned char* name, int nameLength, unsigned char, const unsigned char* value,
           int valueLength) {
    // The callback's view must lie inside the datagram handed to the walk
    // (ASan checks the bounds; these catch negative lengths).
    if (nameLength < 0 || valueLength < 0)
        abort();
    volatile unsigned char sink = 0;
    for (int i = 0; i < nameLength; ++i)
        sink = sink ^ name[i];
    for (int i = 0; i < valueLength; ++i)
        sink = sink ^ value[i];
    return true;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The diagnostic lines would drown the fuzzer's own output.
    if (freopen("/dev/null", "w", stdout) == nullptr)
        return 0;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 4096)
        return 0;
    // An exact-size copy, so that any read past the end is caught.
    std::vector<unsigned char> datagram(data, data + size);
    const unsigned char* d = datagram.empty() ? nullptr : datagram.data();
    const int n = static_cast<int>(size);

    int version = 0;
    char community[256];
    unsigned char requestId = 0, errorStatus = 0, errorIndex = 0;
    CNetIO::parseGetResponse(d, n, &version, community, &requestId, &errorStatus, &errorIndex,
                             Check);

    // A caller's buffer of a size taken from the input, allocated exactly.
    const int outSize = size > 0 ? 1 + data[0] % 64 : 1;
    std::vector<char> out(static_cast<size_t>(outSize), 'x');
    if (CNetIO::parseForRecvBuf(d, n, out.data(), outSize) == 1 &&
        memchr(out.data(), '\0', out.size()) == nullptr)
        abort();

    static const unsigned char model[] = {0x2B, 0x06, 0x01, 0x04, 0x01,
                                          0x82, 0xBF, 0x55, 0x01, 0x02};
    CNetIO::parseForOID(d, n, model, sizeof(model));
    if (sysObjIdLen < 0 || sysObjIdLen > static_cast<int>(sizeof(sysObjId)))
        abort();

    // The check of every exchange: what it hands back lies inside the
    // datagram and names an asked object.
    static const unsigned char sysName[] = {0x2B, 0x06, 0x01, 0x02, 0x01, 0x01, 0x05, 0x00};
    const SNMP_OBJECT asked[2] = {{model, sizeof(model)}, {sysName, sizeof(sysName)}};
    SNMP_REPLY reply;
    if (CNetIO::ReadReply(d, n, asked, 2, &reply)) {
        if (reply.object < 0 || reply.object > 1 || reply.communityLength < 0 ||
            reply.communityLength > n ||
            (reply.communityLength > 0 &&
             (reply.community < d || reply.community + reply.communityLength > d + n)))
            abort();
        reply.CarriesCommunity("orchid");
        reply.HasValue();
    }

    PRINTER_STATUS status;
    memset(&status, 0, sizeof(status));
    CNetIO::parseForDeviceId(d, n, &status);
    if (memchr(g_deviceid, '\0', sizeof(g_deviceid)) == nullptr)
        abort();
    return 0;
}
