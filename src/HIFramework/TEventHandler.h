// Base of every object that receives events: one shared routine is installed
// on the object's event target and forwards each event to HandleEvent.
#pragma once

#include "HIFramework/TCarbonEvent.h"

class TEventHandler {
public:
    TEventHandler() = default;
    virtual ~TEventHandler();
    TEventHandler(const TEventHandler&) = delete;
    TEventHandler& operator=(const TEventHandler&) = delete;

    virtual tb::Status HandleEvent(tb::HandlerCall* call, TCarbonEvent& event) = 0;
    virtual tb::EventTarget* GetEventTarget() = 0;

    // Installs the handler on first use; null when the target cannot take one.
    tb::HandlerRef GetEventHandler();
    tb::Status RegisterForEvents(std::size_t count, const tb::EventType* list);

    static tb::Status EventHandler(tb::HandlerCall* call, tb::Event* event, void* userData);

private:
    static tb::HandlerProc sHandlerProc;
    tb::HandlerRef m_handler = nullptr;
};
