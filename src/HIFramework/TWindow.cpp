#include "HIFramework/TWindow.h"

#include "HIFramework/TNib.h"

TWindow::TWindow() = default;

TWindow::TWindow(const QString& windowName, const QString& nibName) {
    // A subclass checks GetWindowRef() before using the window.
    Init(windowName, nibName);
}

TWindow::~TWindow() {
    if (m_window != nullptr)
        tb::DisposeWindow(m_window);
}

tb::Status TWindow::Init(const QString& windowName, const QString& nibName) {
    TNib nib;
    tb::Status status = nib.Init(nibName);
    if (status != tb::kNoErr)
        return status;
    tb::Window* window = nullptr;
    status = nib.CreateWindow(windowName, &window);
    if (status != tb::kNoErr)
        return status;
    return Init(window);
}

tb::Status TWindow::Init(tb::Window* window) {
    if (window == nullptr)
        return tb::kParamErr;
    m_window = window;
    tb::Status status = RegisterForEvents(std::size(kWindowEvents), kWindowEvents);
    if (status != tb::kNoErr)
        return status;
    TWindow* self = this;
    return tb::SetWindowProperty(m_window, kPropertyCreator, kPropertyTag, sizeof self, &self);
}

TWindow* TWindow::GetTWindow(const tb::Window* window) {
    TWindow* object = nullptr;
    if (tb::GetWindowProperty(window, kPropertyCreator, kPropertyTag, sizeof object, &object) !=
        tb::kNoErr)
        return nullptr;
    return object;
}

tb::EventTarget* TWindow::GetEventTarget() {
    return tb::WindowTarget(m_window);
}

void TWindow::Show() {
    tb::ShowWindow(m_window);
    if (m_window != nullptr && tb::ActiveNonFloatingWindow() == m_window &&
        tb::GetWindowActivationScope(m_window) == tb::kActivationScopeAll)
        tb::AdvanceKeyboardFocus(m_window);
}

void TWindow::Hide() {
    tb::HideWindow(m_window);
}

void TWindow::Close() {
    Hide();
    delete this;
}

bool TWindow::UpdateCommandStatus(const tb::Command& command) {
    if (command.commandID == tb::kCommandClose) {
        tb::EnableMenuCommand(tb::kCommandClose);
        return true;
    }
    return false;
}

bool TWindow::HandleCommand(const tb::Command& /*command*/) {
    return false;
}

tb::Status TWindow::HandleEvent(tb::HandlerCall* call, TCarbonEvent& event) {
    const uint32_t kind = event.GetKind();
    if (event.GetClass() == tb::kClassCommand) {
        tb::Command command{};
        if (event.GetParameter(tb::kParamDirectObject, &command) != tb::kNoErr)
            return tb::kEventNotHandled;
        bool handled = false;
        if (kind == tb::kCommandProcess)
            handled = HandleCommand(command);
        else if (kind == tb::kCommandUpdateStatus)
            handled = UpdateCommandStatus(command);
        return handled ? tb::kNoErr : tb::kEventNotHandled;
    }
    if (event.GetClass() != tb::kClassWindow)
        return tb::kEventNotHandled;

    switch (kind) {
    case tb::kWindowClose:
        // Not passed on: the window's own handling would dispose of the window
        // behind this object's back.
        Close();
        return tb::kNoErr;
    case tb::kWindowDrawContent:
        tb::CallNextHandler(call, event.GetEventRef());
        Draw();
        return tb::kNoErr;
    case tb::kWindowActivated:
        tb::CallNextHandler(call, event.GetEventRef());
        Activated();
        return tb::kNoErr;
    case tb::kWindowDeactivated:
        tb::CallNextHandler(call, event.GetEventRef());
        Deactivated();
        return tb::kNoErr;
    case tb::kWindowDisposed:
        tb::CallNextHandler(call, event.GetEventRef());
        m_window = nullptr;
        return tb::kNoErr;
    case tb::kWindowBoundsChanged: {
        uint32_t attributes = 0;
        if (event.GetParameter(tb::kParamAttributes, &attributes) != tb::kNoErr)
            return tb::kEventNotHandled;
        if (attributes & tb::kBoundsSizeChanged) {
            Resized();
            return tb::kNoErr;
        }
        if (attributes & tb::kBoundsOriginChanged) {
            Moved();
            return tb::kNoErr;
        }
        return tb::kEventNotHandled;
    }
    case tb::kWindowGetIdealSize:
    case tb::kWindowGetMinimumSize:
    case tb::kWindowGetMaximumSize: {
        const tb::Point size = kind == tb::kWindowGetIdealSize     ? GetIdealSize()
                               : kind == tb::kWindowGetMinimumSize ? GetMinimumSize()
                                                                   : GetMaximumSize();
        if (size.v == 0 || size.h == 0)
            return tb::kEventNotHandled;
        event.SetParameter(tb::kParamDimensions, size);
        return tb::kNoErr;
    }
    default:
        return tb::kEventNotHandled;
    }
}
