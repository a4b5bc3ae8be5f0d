// One event, held for as long as the wrapper lives.
#pragma once

#include "toolbox/Toolbox.h"

class TCarbonEvent {
public:
    explicit TCarbonEvent(tb::Event* event);
    virtual ~TCarbonEvent();
    TCarbonEvent(const TCarbonEvent&) = delete;
    TCarbonEvent& operator=(const TCarbonEvent&) = delete;

    tb::Event* GetEventRef() const { return m_event; }
    uint32_t GetClass() const { return tb::GetEventClass(m_event); }
    uint32_t GetKind() const { return tb::GetEventKind(m_event); }

    tb::Status GetParameter(uint32_t name, uint32_t type, std::size_t size, void* buffer) const;
    tb::Status GetParameter(uint32_t name, uint32_t* value) const;
    tb::Status GetParameter(uint32_t name, tb::Command* command) const;
    tb::Status SetParameter(uint32_t name, tb::Point point);

private:
    tb::Event* m_event;
};
