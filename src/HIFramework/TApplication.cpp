#include "HIFramework/TApplication.h"

#include "HIFramework/TNib.h"

TApplication::TApplication(const QString& menuBarName, const QString& nibName) {
    m_initStatus = Init(menuBarName, nibName);
}

tb::Status TApplication::Init(const QString& menuBarName, const QString& nibName) {
    static const tb::EventType kEvents[] = {{tb::kClassCommand, tb::kCommandProcess}};
    tb::Status status = RegisterForEvents(std::size(kEvents), kEvents);
    if (status != tb::kNoErr)
        return status;
    TNib nib;
    status = nib.Init(nibName);
    if (status != tb::kNoErr)
        return status;
    return nib.SetMenuBar(menuBarName);
}

tb::EventTarget* TApplication::GetEventTarget() {
    return tb::ApplicationTarget();
}

void TApplication::Run() {
    tb::RunApplicationEventLoop();
}

bool TApplication::UpdateCommandStatus(const tb::Command& /*command*/) {
    return false;
}

bool TApplication::HandleCommand(const tb::Command& /*command*/) {
    return false;
}

tb::Status TApplication::HandleEvent(tb::HandlerCall* /*call*/, TCarbonEvent& event) {
    if (event.GetClass() != tb::kClassCommand)
        return tb::kEventNotHandled;
    tb::Command command{};
    if (event.GetParameter(tb::kParamDirectObject, &command) != tb::kNoErr)
        return tb::kEventNotHandled;
    bool handled = false;
    if (event.GetKind() == tb::kCommandProcess)
        handled = HandleCommand(command);
    else if (event.GetKind() == tb::kCommandUpdateStatus)
        handled = UpdateCommandStatus(command);
    return handled ? tb::kNoErr : tb::kEventNotHandled;
}
