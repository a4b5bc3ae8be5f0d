// The process-wide buffers of the SNMP walk and the entry points that fill
// them: the same walks as those with a context, run on a context of their
// own under one lock, whose results are then copied out. Nothing in the
// network core calls these; they stay for callers that read the buffers.

#include "net/NetIO.h"

#include <cstring>
#include <mutex>

char g_RecvBuf[1024];
char g_deviceid[1024];
unsigned char sysObjId[128];
int sysObjIdLen = 0;

static_assert(sizeof(g_RecvBuf) == sizeof(SNMP_WALK::szValue));
static_assert(sizeof(g_deviceid) == sizeof(SNMP_WALK::szDeviceId));
static_assert(sizeof(sysObjId) == sizeof(SNMP_WALK::sysObjId));

std::recursive_mutex& SnmpWalkLock() {
    static std::recursive_mutex lock;
    return lock;
}

namespace {

// Each copies what one kind of walk found; the caller holds the lock.
void PublishValue(const SNMP_WALK& walk) {
    memcpy(g_RecvBuf, walk.szValue, sizeof(g_RecvBuf));
}

void PublishObjectId(const SNMP_WALK& walk) {
    memcpy(sysObjId, walk.sysObjId, static_cast<size_t>(walk.sysObjIdLen));
    sysObjIdLen = walk.sysObjIdLen;
}

void PublishDeviceId(const SNMP_WALK& walk) {
    memcpy(g_deviceid, walk.szDeviceId, sizeof(g_deviceid));
}

using TakeValue = bool (*)(SNMP_WALK&, const unsigned char*, int, unsigned char,
                           const unsigned char*, int);

// One binding through a callback with a context of its own, and what that
// kept into the buffers.
bool KeepValue(TakeValue take, void (*publish)(const SNMP_WALK&), const unsigned char* name,
               int nameLength, unsigned char valueType, const unsigned char* value,
               int valueLength) {
    SNMP_WALK walk;
    if (!take(walk, name, nameLength, valueType, value, valueLength))
        return false;
    const std::lock_guard<std::recursive_mutex> lock(SnmpWalkLock());
    publish(walk);
    return true;
}

// One walk on a context of its own, and what it found into the buffers.
template <class Walk> int WalkAndPublish(Walk walk, void (*publish)(const SNMP_WALK&)) {
    SNMP_WALK context;
    const int result = walk(context);
    const std::lock_guard<std::recursive_mutex> lock(SnmpWalkLock());
    publish(context);
    return result;
}

} // namespace

bool outputOidValue(const unsigned char* name, int nameLength, unsigned char valueType,
                    const unsigned char* value, int valueLength) {
    return KeepValue(TakeOidValue, PublishObjectId, name, nameLength, valueType, value,
                     valueLength);
}

bool outputDeviceIdValue(const unsigned char* name, int nameLength, unsigned char valueType,
                         const unsigned char* value, int valueLength) {
    return KeepValue(TakeDeviceIdValue, PublishDeviceId, name, nameLength, valueType, value,
                     valueLength);
}

bool outputRecvBufValue(const unsigned char* name, int nameLength, unsigned char valueType,
                        const unsigned char* value, int valueLength) {
    return KeepValue(TakeRecvBufValue, PublishValue, name, nameLength, valueType, value,
                     valueLength);
}

int CNetIO::parseForRecvBuf(const unsigned char* datagram, int length, char* out, int size) {
    return WalkAndPublish(
        [&](SNMP_WALK& walk) { return parseForRecvBuf(walk, datagram, length, out, size); },
        PublishValue);
}

int CNetIO::parseForOID(const unsigned char* datagram, int length, const unsigned char* wanted,
                        int wantedLength) {
    return WalkAndPublish(
        [&](SNMP_WALK& walk) { return parseForOID(walk, datagram, length, wanted, wantedLength); },
        PublishObjectId);
}

int CNetIO::parseForDeviceId(const unsigned char* datagram, int length, PRINTER_STATUS* status) {
    return WalkAndPublish(
        [&](SNMP_WALK& walk) { return parseForDeviceId(walk, datagram, length, status); },
        PublishDeviceId);
}
