#include "HIFramework/TEventHandler.h"

tb::HandlerProc TEventHandler::sHandlerProc = nullptr;

TEventHandler::~TEventHandler() {
    if (m_handler != nullptr)
        tb::RemoveHandler(m_handler);
}

tb::HandlerRef TEventHandler::GetEventHandler() {
    if (m_handler == nullptr) {
        if (sHandlerProc == nullptr)
            sHandlerProc = &TEventHandler::EventHandler;
        tb::InstallHandler(GetEventTarget(), sHandlerProc, 0, nullptr, this, &m_handler);
    }
    return m_handler;
}

tb::Status TEventHandler::RegisterForEvents(std::size_t count, const tb::EventType* list) {
    return tb::AddHandlerTypes(GetEventHandler(), count, list);
}

tb::Status TEventHandler::EventHandler(tb::HandlerCall* call, tb::Event* event, void* userData) {
    TCarbonEvent wrapper(event);
    return static_cast<TEventHandler*>(userData)->HandleEvent(call, wrapper);
}
