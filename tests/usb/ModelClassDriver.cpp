// A printer-specific class driver for the tests: it stands on the generic
// driver it is handed and marks the device ID it passes on, so that a test
// sees which driver answered and that the base arrived.
#include "usb/UsbPrinterClass.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

struct Specific {
    classdriver_s* self;
    classdriver_s table;
    uint32_t refs;
    classdriver_t base;
};

Specific* Me(classdriver_t d) {
    return static_cast<Specific*>((*d)->context);
}

int QueryInterface(classdriver_t self, const char* id, void** out) {
    if (out && id && std::strcmp(id, kClassDriverInterfaceID) == 0) {
        (*self)->AddRef(self);
        *out = self;
        return 0;
    }
    if (out)
        *out = nullptr;
    return -1;
}

uint32_t AddRef(classdriver_t self) {
    return ++Me(self)->refs;
}

uint32_t Release(classdriver_t self) {
    Specific* s = Me(self);
    if (--s->refs > 0)
        return s->refs;
    if (s->base)
        (*s->base)->Release(s->base);
    delete s;
    return 0;
}

int DeviceRequest(classdriver_t self, UsbDeviceRequest* req, uint32_t timeout) {
    classdriver_t base = Me(self)->base;
    return base ? (*base)->DeviceRequest(base, req, timeout) : -1;
}

int GetString(classdriver_t self, uint8_t index, uint16_t lang, uint16_t timeout, char** out) {
    classdriver_t base = Me(self)->base;
    return base ? (*base)->GetString(base, index, lang, timeout, out) : -1;
}

int GetDeviceID(classdriver_t self, char** out, uint32_t timeout) {
    classdriver_t base = Me(self)->base;
    if (base == nullptr || out == nullptr)
        return -1;
    char* id = nullptr;
    int rc = (*base)->GetDeviceID(base, &id, timeout);
    if (rc != 0)
        return rc;
    std::string marked = std::string("CMD:SPECIFIC;") + id;
    std::free(id);
    *out = strdup(marked.c_str());
    return 0;
}

int Initialize(classdriver_t self, classdriver_t base) {
    Me(self)->base = base;
    return 0;
}

} // namespace

extern "C" __attribute__((visibility("default"))) classdriver_t
QuenloPrintingClassFactory(const char* type) {
    if (type == nullptr || std::strcmp(type, kClassDriverPluginType) != 0)
        return nullptr;
    auto* s = new Specific{};
    s->self = &s->table;
    s->refs = 1;
    s->table.QueryInterface = QueryInterface;
    s->table.AddRef = AddRef;
    s->table.Release = Release;
    s->table.DeviceRequest = DeviceRequest;
    s->table.GetString = GetString;
    s->table.GetDeviceID = GetDeviceID;
    s->table.Initialize = Initialize;
    s->table.context = s;
    return &s->self;
}
