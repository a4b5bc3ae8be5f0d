// Base of every window: owns one window made from an interface file and turns
// its window and command events into virtual operations.
#pragma once

#include "HIFramework/TEventHandler.h"

class TWindow : public TEventHandler {
public:
    TWindow(const QString& windowName, const QString& nibName);
    ~TWindow() override;

    tb::Status HandleEvent(tb::HandlerCall* call, TCarbonEvent& event) override;
    tb::EventTarget* GetEventTarget() override;

    virtual void Show();
    virtual void Hide();
    // Hides the window and deletes the object; it must not be used after.
    virtual void Close();
    virtual void Draw() {}
    virtual void Activated() {}
    virtual void Deactivated() {}
    virtual void Moved() {}
    virtual void Resized() {}
    virtual tb::Point GetIdealSize() { return {0, 0}; }
    virtual tb::Point GetMinimumSize() { return {0, 0}; }
    virtual tb::Point GetMaximumSize() { return {0, 0}; }
    virtual bool UpdateCommandStatus(const tb::Command& command);
    virtual bool HandleCommand(const tb::Command& command);

    tb::Window* GetWindowRef() const { return m_window; }
    // The object attached to a window by Init, or null.
    static TWindow* GetTWindow(const tb::Window* window);

    // The events every window routes, in the order they are registered.
    static constexpr tb::EventType kWindowEvents[] = {
        {tb::kClassWindow, tb::kWindowClose},
        {tb::kClassWindow, tb::kWindowActivated},
        {tb::kClassWindow, tb::kWindowDeactivated},
        {tb::kClassWindow, tb::kWindowDisposed},
        {tb::kClassWindow, tb::kWindowDrawContent},
        {tb::kClassWindow, tb::kWindowBoundsChanged},
        {tb::kClassWindow, tb::kWindowGetIdealSize},
        {tb::kClassWindow, tb::kWindowGetMinimumSize},
        {tb::kClassWindow, tb::kWindowGetMaximumSize},
        {tb::kClassCommand, tb::kCommandProcess},
        {tb::kClassCommand, tb::kCommandUpdateStatus},
    };
    static constexpr uint32_t kPropertyCreator = tb::Code("hifr");
    static constexpr uint32_t kPropertyTag = tb::Code("twin");

protected:
    // For windows made some other way (and for tests of the routing).
    TWindow();
    tb::Status Init(const QString& windowName, const QString& nibName);
    tb::Status Init(tb::Window* window);

private:
    tb::Window* m_window = nullptr;
};
