// Events, event targets and handler chains.
#include "toolbox/ToolboxPrivate.h"

#include <QAbstractButton>
#include <QApplication>
#include <QEventLoop>

#include <algorithm>
#include <cstring>
#include <unordered_map>

namespace tb {

namespace {

int g_busy = 0;
QEventLoop* g_loop = nullptr;

// The installer's share of every live handler; targets hold the other.
std::unordered_map<Handler*, std::shared_ptr<Handler>>& Registry() {
    static std::unordered_map<Handler*, std::shared_ptr<Handler>> registry;
    return registry;
}

EventTarget& AppTarget() {
    static EventTarget target(EventTarget::Kind::Application);
    return target;
}

Status RunFrom(HandlerCall& call, Event* event, std::size_t from) {
    for (std::size_t i = from; i < call.chain.size(); ++i) {
        const std::shared_ptr<Handler> handler = call.chain[i];
        if (handler->removed)
            continue;
        const std::size_t savedNext = call.next;
        const bool savedRan = call.nextRan;
        const Status savedStatus = call.nextStatus;
        call.next = i + 1;
        call.nextRan = false;
        const Status status = handler->proc(&call, event, handler->userData);
        const bool ran = call.nextRan;
        const Status ranStatus = call.nextStatus;
        call.next = savedNext;
        call.nextRan = savedRan;
        call.nextStatus = savedStatus;
        if (status != kEventNotHandled)
            return status;
        // The rest of the chain has already had the event.
        if (ran)
            return ranStatus;
        if (call.target->disposed)
            return status;
    }
    if (call.target->disposed)
        return kEventNotHandled;
    if (call.target->kind == EventTarget::Kind::Window)
        return DefaultWindowHandling(call.target->window, event);
    return DefaultApplicationHandling(event);
}

Status DispatchTo(EventTarget* target, Event* event) {
    HandlerCall call;
    call.target = target;
    for (auto it = target->handlers.rbegin(); it != target->handlers.rend(); ++it) {
        if (!(*it)->removed && (*it)->Wants(event->eventClass, event->eventKind))
            call.chain.push_back(*it);
    }
    return RunFrom(call, event, 0);
}

} // namespace

BusyScope::BusyScope() {
    ++g_busy;
}
BusyScope::~BusyScope() {
    --g_busy;
}
bool IsBusy() {
    return g_busy > 0;
}

QString CodeText(uint32_t code) {
    QString text;
    for (int shift = 24; shift >= 0; shift -= 8)
        text.append(QChar(char16_t((code >> shift) & 0xFF)));
    return text;
}

uint32_t CodeFromText(const QString& text) {
    if (text.size() != 4)
        return 0;
    uint32_t code = 0;
    for (QChar c : text) {
        if (c.unicode() > 0xFF)
            return 0;
        code = (code << 8) | c.unicode();
    }
    return code;
}

bool Handler::Wants(uint32_t eventClass, uint32_t eventKind) const {
    return std::any_of(types.begin(), types.end(), [&](const EventType& t) {
        return t.eventClass == eventClass && t.eventKind == eventKind;
    });
}

EventTarget::~EventTarget() {
    for (auto& handler : handlers)
        handler->target = nullptr;
}

Event* CreateEvent(uint32_t eventClass, uint32_t eventKind) {
    auto* event = new Event;
    event->eventClass = eventClass;
    event->eventKind = eventKind;
    return event;
}

void RetainEvent(Event* event) {
    if (event != nullptr)
        ++event->references;
}

void ReleaseEvent(Event* event) {
    if (event != nullptr && --event->references == 0)
        delete event;
}

uint32_t GetEventClass(const Event* event) {
    return event != nullptr ? event->eventClass : 0;
}

uint32_t GetEventKind(const Event* event) {
    return event != nullptr ? event->eventKind : 0;
}

Status SetEventParameter(Event* event, uint32_t name, uint32_t type, std::size_t size,
                         const void* data) {
    if (event == nullptr || (size > 0 && data == nullptr))
        return kParamErr;
    Event::Parameter& p = event->parameters[name];
    p.type = type;
    p.bytes.assign(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size);
    return kNoErr;
}

Status GetEventParameter(const Event* event, uint32_t name, uint32_t type, std::size_t size,
                         void* out) {
    if (event == nullptr || out == nullptr)
        return kParamErr;
    const auto it = event->parameters.find(name);
    if (it == event->parameters.end() || it->second.type != type || it->second.bytes.size() != size)
        return kParameterNotFound;
    if (size > 0)
        std::memcpy(out, it->second.bytes.data(), size);
    return kNoErr;
}

Status InstallHandler(EventTarget* target, HandlerProc proc, std::size_t count,
                      const EventType* types, void* userData, HandlerRef* outRef) {
    if (target == nullptr || proc == nullptr || target->disposed || (count > 0 && !types))
        return kParamErr;
    auto handler = std::make_shared<Handler>();
    handler->target = target;
    handler->proc = proc;
    handler->userData = userData;
    handler->types.assign(types, types + count);
    target->handlers.push_back(handler);
    Registry().emplace(handler.get(), handler);
    if (outRef != nullptr)
        *outRef = handler.get();
    return kNoErr;
}

bool IsLiveHandler(HandlerRef ref) {
    return Registry().count(ref) != 0;
}

Status AddHandlerTypes(HandlerRef ref, std::size_t count, const EventType* types) {
    if (!IsLiveHandler(ref) || (count > 0 && types == nullptr))
        return kParamErr;
    for (std::size_t i = 0; i < count; ++i) {
        if (!ref->Wants(types[i].eventClass, types[i].eventKind))
            ref->types.push_back(types[i]);
    }
    return kNoErr;
}

Status RemoveHandler(HandlerRef ref) {
    const auto it = Registry().find(ref);
    if (it == Registry().end())
        return kParamErr;
    const std::shared_ptr<Handler> handler = it->second;
    handler->removed = true;
    if (handler->target != nullptr) {
        auto& list = handler->target->handlers;
        list.erase(std::remove(list.begin(), list.end(), handler), list.end());
        handler->target = nullptr;
    }
    Registry().erase(it);
    return kNoErr;
}

Status CallNextHandler(HandlerCall* call, Event* event) {
    if (call == nullptr || event == nullptr)
        return kParamErr;
    const Status status = RunFrom(*call, event, call->next);
    call->nextRan = true;
    call->nextStatus = status;
    return status;
}

Status SendEvent(Event* event, EventTarget* target) {
    if (event == nullptr || target == nullptr)
        return kParamErr;
    RetainEvent(event);
    BusyScope busy;
    Status status = kEventNotHandled;
    for (EventTarget* t = target; t != nullptr; t = t->parent) {
        if (t->disposed)
            break;
        status = DispatchTo(t, event);
        if (status != kEventNotHandled)
            break;
    }
    ReleaseEvent(event);
    return status;
}

EventTarget* ApplicationTarget() {
    return &AppTarget();
}

Status SendCommand(Window* window, uint32_t commandID, uint32_t attributes) {
    Command command{};
    command.attributes = attributes;
    command.commandID = commandID;
    Event* event = CreateEvent(kClassCommand, kCommandProcess);
    SetEventParameter(event, kParamDirectObject, kTypeCommand, sizeof command, &command);
    EventTarget* target = window != nullptr && !window->disposed ? &window->target : &AppTarget();
    const Status status = SendEvent(event, target);
    ReleaseEvent(event);
    return status;
}

void SendWindowEvent(Window* window, uint32_t eventClass, uint32_t eventKind) {
    Event* event = CreateEvent(eventClass, eventKind);
    SendEvent(event, &window->target);
    ReleaseEvent(event);
}

int16_t CharCodeOfKey(int key, const QString& text) {
    switch (key) {
    case Qt::Key_Home:
        return kHomeChar;
    case Qt::Key_End:
        return kEndChar;
    case Qt::Key_Backspace:
        return kBackspaceChar;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return kTabChar;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return kReturnChar;
    case Qt::Key_Escape:
        return kEscapeChar;
    case Qt::Key_Left:
        return kLeftArrowChar;
    case Qt::Key_Right:
        return kRightArrowChar;
    case Qt::Key_Up:
        return kUpArrowChar;
    case Qt::Key_Down:
        return kDownArrowChar;
    case Qt::Key_Delete:
        return kDeleteChar;
    default:
        break;
    }
    if (text.size() == 1 && text.at(0).unicode() < 0x80)
        return int16_t(text.at(0).unicode());
    return 0;
}

namespace {

bool Usable(QAbstractButton* button) {
    return button != nullptr && button->isEnabled() && button->isVisible();
}

} // namespace

Status DefaultWindowHandling(Window* window, Event* event) {
    if (window == nullptr)
        return kEventNotHandled;
    if (event->eventClass == kClassWindow && event->eventKind == kWindowClose) {
        DisposeWindow(window);
        return kNoErr;
    }
    if (event->eventClass != kClassKeyboard ||
        (event->eventKind != kRawKeyDown && event->eventKind != kRawKeyRepeat))
        return kEventNotHandled;

    // The key goes to the field that has the keyboard, through its filter.
    QWidget* receiver = event->nativeReceiver;
    if (receiver == nullptr && window->widget != nullptr) {
        receiver = window->widget->focusWidget();
        if (receiver == nullptr)
            receiver = window->widget;
    }
    if (receiver == nullptr)
        return kEventNotHandled;
    uint32_t keyCode = 0;
    uint8_t charByte = 0;
    uint32_t modifiers = 0;
    GetEventParameter(event, kParamKeyCode, kTypeUInt32, sizeof keyCode, &keyCode);
    GetEventParameter(event, kParamKeyChar, kTypeChar, sizeof charByte, &charByte);
    GetEventParameter(event, kParamKeyModifiers, kTypeUInt32, sizeof modifiers, &modifiers);

    const int key = int(keyCode);
    const bool plain = (modifiers & ~uint32_t(Qt::KeypadModifier)) == 0;
    if (plain && (key == Qt::Key_Return || key == Qt::Key_Enter) && Usable(window->defaultButton)) {
        window->defaultButton->click();
        return kNoErr;
    }
    if (plain && key == Qt::Key_Escape && Usable(window->cancelButton)) {
        window->cancelButton->click();
        return kNoErr;
    }
    Control* control = FindControl(window, receiver);
    // Space ticks the selected row of a list as a click on its box would.
    if (plain && key == Qt::Key_Space && control != nullptr && control->model != nullptr &&
        ToggleSelectedRow(control))
        return kNoErr;
    if (control != nullptr && control->keyFilter != nullptr) {
        int16_t filterKey = int16_t(keyCode & 0x7FFF);
        int16_t filterChar = int16_t(charByte);
        uint32_t filterModifiers = modifiers;
        if (control->keyFilter(control, &filterKey, &filterChar, &filterModifiers) ==
            kKeyFilterBlock)
            return kNoErr;
    }
    QObject* target = receiver;
    if (event->nativeKey != nullptr) {
        target->event(event->nativeKey);
    } else {
        const QString text =
            charByte >= 0x20 && charByte < 0x7F ? QString(QChar(charByte)) : QString();
        QKeyEvent synthetic(QEvent::KeyPress, key, Qt::KeyboardModifiers(int(modifiers)), text,
                            event->eventKind == kRawKeyRepeat);
        target->event(&synthetic);
    }
    return kNoErr;
}

Status DefaultApplicationHandling(Event* event) {
    if (event->eventClass == kClassCommand && event->eventKind == kCommandProcess) {
        Command command{};
        if (GetEventParameter(event, kParamDirectObject, kTypeCommand, sizeof command, &command) ==
                kNoErr &&
            command.commandID == kCommandQuit) {
            QuitApplicationEventLoop();
            return kNoErr;
        }
    }
    return kEventNotHandled;
}

void RunApplicationEventLoop() {
    if (g_loop != nullptr)
        return;
    QEventLoop loop;
    g_loop = &loop;
    loop.exec();
    g_loop = nullptr;
}

void QuitApplicationEventLoop() {
    if (g_loop != nullptr)
        g_loop->exit(0);
}

bool IsApplicationEventLoopRunning() {
    return g_loop != nullptr;
}

void DispatchPendingEvents() {
    // An event handled here may itself ask for a dispatch; the outer one is
    // still emptying the queue, and nesting would only deepen the stack.
    static bool dispatching = false;
    if (dispatching)
        return;
    dispatching = true;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    dispatching = false;
}

} // namespace tb
