// The application: its menu bar from the interface file, its commands and
// the event loop.
#pragma once

#include "HIFramework/TEventHandler.h"

class TApplication : public TEventHandler {
public:
    TApplication(const QString& menuBarName, const QString& nibName);
    ~TApplication() override = default;

    tb::Status HandleEvent(tb::HandlerCall* call, TCarbonEvent& event) override;
    tb::EventTarget* GetEventTarget() override;

    virtual void Run();
    virtual void Activated() {}
    virtual void Deactivated() {}
    virtual bool UpdateCommandStatus(const tb::Command& command);
    virtual bool HandleCommand(const tb::Command& command);

    // What set-up came to; a failed step leaves the application without its
    // menu bar (or its commands) but still running.
    tb::Status InitStatus() const { return m_initStatus; }

private:
    tb::Status Init(const QString& menuBarName, const QString& nibName);
    tb::Status m_initStatus = tb::kNoErr;
};
