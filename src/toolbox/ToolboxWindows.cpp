// The registry of the layer's windows and what a window does: shown, hidden,
// painted now, disposed of, titled, placed, made a dialog of another, its
// properties and its picture.
#include "toolbox/ToolboxPrivate.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QHash>
#include <QPointer>
#include <QScreen>
#include <QThread>
#include <QWindow>

#include <cstring>

namespace tb {

namespace {

QHash<QWidget*, Window*>& Windows() {
    static QHash<QWidget*, Window*> windows;
    return windows;
}

Window* g_front = nullptr;

void ApplySizeLimits(Window* window) {
    window->sizeLimitsApplied = true;
    for (uint32_t kind : {kWindowGetMinimumSize, kWindowGetMaximumSize, kWindowGetIdealSize}) {
        Event* event = CreateEvent(kClassWindow, kind);
        Point size{0, 0};
        if (SendEvent(event, &window->target) == kNoErr &&
            GetEventParameter(event, kParamDimensions, kTypePoint, sizeof size, &size) == kNoErr &&
            window->widget != nullptr && size.h > 0 && size.v > 0) {
            if (kind == kWindowGetMinimumSize)
                window->widget->setMinimumSize(size.h, size.v);
            else if (kind == kWindowGetMaximumSize)
                window->widget->setMaximumSize(size.h, size.v);
            else
                window->widget->resize(size.h, size.v);
        }
        ReleaseEvent(event);
    }
}

} // namespace

Window::Window(QWidget* w) : widget(w) {
    target.window = this;
    target.parent = ApplicationTarget();
    Windows().insert(w, this);
    QObject::connect(w, &QObject::destroyed, [this, w] {
        Windows().remove(w);
        delete this;
    });
}

Window::~Window() {
    if (g_front == this)
        g_front = nullptr;
    MenuBarOwnerGone(this);
}

Window* WindowOfWidget(QWidget* top) {
    return Windows().value(top, nullptr);
}

void SetFrontWindow(Window* window) {
    g_front = window;
}

Window* FrontWindow() {
    if (g_front != nullptr && (g_front->disposed || g_front->widget == nullptr))
        return nullptr;
    return g_front;
}

EventTarget* WindowTarget(Window* window) {
    return window != nullptr ? &window->target : nullptr;
}

void ShowWindow(Window* window) {
    if (window == nullptr || window->disposed || window->widget == nullptr)
        return;
    if (!window->sizeLimitsApplied)
        ApplySizeLimits(window);
    window->widget->show();
    window->widget->raise();
    window->widget->activateWindow();
    SetFrontWindow(window);
}

void HideWindow(Window* window) {
    if (window == nullptr || window->widget == nullptr)
        return;
    window->widget->hide();
    if (g_front == window)
        g_front = nullptr;
}

bool IsWindowVisible(const Window* window) {
    return window != nullptr && !window->disposed && window->widget != nullptr &&
           window->widget->isVisible();
}

void DrawWindowNow(Window* window) {
    if (window == nullptr || window->disposed || window->widget == nullptr)
        return;
    // Events run below may dispose of the window (its Cancel): from here on
    // only the guarded widget is used.
    QPointer<QWidget> widget = window->widget;
    QPointer<QWindow> handle = widget->windowHandle();
    // The platform exposes a newly shown window in its own time; a paint
    // before that draws nothing. Wait for it, briefly and bounded.
    QElapsedTimer waited;
    waited.start();
    while (!handle.isNull() && !handle->isExposed() && waited.elapsed() < 1000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    if (!widget.isNull() && widget->isVisible())
        widget->repaint();
}

void DisposeWindow(Window* window) {
    if (window == nullptr || window->disposed)
        return;
    SendWindowEvent(window, kClassWindow, kWindowDisposed);
    window->disposed = true;
    window->target.disposed = true;
    if (g_front == window)
        g_front = nullptr;
    DetachMenuBar(window);
    QWidget* widget = window->widget;
    if (widget == nullptr)
        return;
    widget->hide();
    // Dialogs belong to their owners, not to the window they stood above.
    for (QWidget* child : widget->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (child->isWindow() && WindowOfWidget(child) != nullptr) {
            const bool shown = child->isVisible();
            child->setParent(nullptr, child->windowFlags());
            child->setVisible(shown);
        }
    }
    // Inside an event of this window Qt still uses the widget on the way back.
    if (IsBusy())
        widget->deleteLater();
    else
        delete widget;
}

bool IsWindowDisposed(const Window* window) {
    return window == nullptr || window->disposed;
}

void SetWindowTitle(Window* window, const QString& title) {
    if (window != nullptr && window->widget != nullptr)
        window->widget->setWindowTitle(title);
}

QString GetWindowTitle(const Window* window) {
    return window != nullptr && window->widget != nullptr ? window->widget->windowTitle()
                                                          : QString();
}

void CenterWindowOnScreen(Window* window) {
    if (window == nullptr || window->widget == nullptr)
        return;
    QWidget* w = window->widget;
    QScreen* screen = w->screen() != nullptr ? w->screen() : QGuiApplication::primaryScreen();
    if (screen == nullptr)
        return;
    QRect frame = w->frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    w->move(frame.topLeft());
}

void CenterWindowOnParent(Window* window, Window* parent) {
    if (window == nullptr || window->widget == nullptr || parent == nullptr ||
        parent->widget == nullptr)
        return;
    QRect frame = window->widget->frameGeometry();
    frame.moveCenter(parent->widget->frameGeometry().center());
    window->widget->move(frame.topLeft());
}

void SetWindowParent(Window* window, Window* parent) {
    if (window == nullptr || window->disposed || window->widget == nullptr || parent == nullptr ||
        parent->disposed || parent->widget == nullptr || window == parent)
        return;
    QWidget* w = window->widget;
    const bool shown = w->isVisible();
    const QPoint position = w->pos();
    w->setParent(parent->widget, (w->windowFlags() & ~Qt::WindowType_Mask) | Qt::Dialog);
    w->move(position);
    w->setVisible(shown);
}

Window* ActiveNonFloatingWindow() {
    return FrontWindow();
}

int GetWindowActivationScope(const Window* /*window*/) {
    return kActivationScopeAll;
}

Status SetWindowProperty(Window* window, uint32_t creator, uint32_t tag, std::size_t size,
                         const void* data) {
    if (window == nullptr || (size > 0 && data == nullptr))
        return kParamErr;
    auto& bytes = window->properties[{creator, tag}];
    bytes.assign(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size);
    return kNoErr;
}

Status GetWindowProperty(const Window* window, uint32_t creator, uint32_t tag, std::size_t size,
                         void* out) {
    if (window == nullptr || out == nullptr)
        return kParamErr;
    const auto it = window->properties.find({creator, tag});
    if (it == window->properties.end() || it->second.size() != size)
        return kParameterNotFound;
    std::memcpy(out, it->second.data(), size);
    return kNoErr;
}

bool SaveWindowPicture(Window* window, const QString& path) {
    if (window == nullptr || window->widget == nullptr)
        return false;
    return window->widget->grab().save(path, "PNG");
}

} // namespace tb
