#include "HIFramework/TCarbonEvent.h"

TCarbonEvent::TCarbonEvent(tb::Event* event) : m_event(event) {
    tb::RetainEvent(m_event);
}

TCarbonEvent::~TCarbonEvent() {
    tb::ReleaseEvent(m_event);
}

tb::Status TCarbonEvent::GetParameter(uint32_t name, uint32_t type, std::size_t size,
                                      void* buffer) const {
    return tb::GetEventParameter(m_event, name, type, size, buffer);
}

tb::Status TCarbonEvent::GetParameter(uint32_t name, uint32_t* value) const {
    return GetParameter(name, tb::kTypeUInt32, sizeof(uint32_t), value);
}

tb::Status TCarbonEvent::GetParameter(uint32_t name, tb::Command* command) const {
    return GetParameter(name, tb::kTypeCommand, sizeof(tb::Command), command);
}

tb::Status TCarbonEvent::SetParameter(uint32_t name, tb::Point point) {
    return tb::SetEventParameter(m_event, name, tb::kTypePoint, sizeof point, &point);
}
