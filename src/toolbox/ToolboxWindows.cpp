// Windows from interface files, the menu bar, alerts, cursors, the beep and
// the string table.
#include "ToolboxPrivate.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QCursor>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QLayout>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPixmap>
#include <QPointer>
#include <QScreen>
#include <QTabBar>
#include <QTabWidget>
#include <QThread>
#include <QTimer>
#include <QTranslator>
#include <QUiLoader>
#include <QWindow>

#include <cstring>

namespace tb {

namespace {

QHash<QWidget*, Window*>& Windows() {
    static QHash<QWidget*, Window*> windows;
    return windows;
}

Window* g_front = nullptr;
QMenuBar* g_menuBar = nullptr;
Window* g_menuBarOwner = nullptr;
QUiLoader* g_loader = nullptr;
QTranslator* g_translator = nullptr;
bool g_captureAlerts = false;
std::vector<test::AlertRecord> g_alerts;
int g_beeps = 0;
std::function<void(const test::AlertRecord&)> g_alertObserver;

bool IsModifierKey(int key) {
    switch (key) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Meta:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_CapsLock:
    case Qt::Key_NumLock:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
        return true;
    default:
        return false;
    }
}

uint32_t CommandOf(const QObject* object) {
    return CodeFromText(object->property("command").toString());
}

void SendKey(Window* window, QWidget* receiver, QKeyEvent* key) {
    Event* event = CreateEvent(kClassKeyboard, key->isAutoRepeat() ? kRawKeyRepeat : kRawKeyDown);
    const uint32_t keyCode = uint32_t(key->key());
    const uint8_t charByte = uint8_t(CharCodeOfKey(key->key(), key->text()));
    const uint32_t modifiers = uint32_t(key->modifiers());
    SetEventParameter(event, kParamKeyCode, kTypeUInt32, sizeof keyCode, &keyCode);
    SetEventParameter(event, kParamKeyChar, kTypeChar, sizeof charByte, &charByte);
    SetEventParameter(event, kParamKeyModifiers, kTypeUInt32, sizeof modifiers, &modifiers);
    event->nativeKey = key;
    event->nativeReceiver = receiver;
    SendEvent(event, &window->target);
    event->nativeKey = nullptr;
    ReleaseEvent(event);
}

void SendSimple(Window* window, uint32_t eventClass, uint32_t eventKind) {
    Event* event = CreateEvent(eventClass, eventKind);
    SendEvent(event, &window->target);
    ReleaseEvent(event);
}

void SendBounds(Window* window, uint32_t attributes) {
    Event* event = CreateEvent(kClassWindow, kWindowBoundsChanged);
    SetEventParameter(event, kParamAttributes, kTypeUInt32, sizeof attributes, &attributes);
    SendEvent(event, &window->target);
    ReleaseEvent(event);
}

// Routes Qt's events for our windows into events of the layer.
class Hub : public QObject {
public:
    using QObject::QObject;

    bool eventFilter(QObject* watched, QEvent* ev) override {
        if (!watched->isWidgetType())
            return false;
        auto* widget = static_cast<QWidget*>(watched);
        if (ev->type() == QEvent::KeyPress) {
            Window* window = WindowOfWidget(widget->window());
            // A modifier pressed alone is no key of its own: a filter would
            // refuse it (it has no character) and beep before every capital.
            if (window == nullptr || window->disposed ||
                IsModifierKey(static_cast<QKeyEvent*>(ev)->key()))
                return false;
            SendKey(window, widget, static_cast<QKeyEvent*>(ev));
            return true;
        }
        if (ev->type() == QEvent::MouseButtonRelease)
            return ListViewportReleased(widget, static_cast<QMouseEvent*>(ev));
        Window* window = Windows().value(widget, nullptr);
        if (window == nullptr || window->disposed)
            return false;
        switch (ev->type()) {
        case QEvent::Close:
            // The window's owner decides; the layer's own handling disposes.
            ev->ignore();
            SendSimple(window, kClassWindow, kWindowClose);
            return true;
        case QEvent::WindowActivate:
            SetFrontWindow(window);
            SendSimple(window, kClassWindow, kWindowActivated);
            return false;
        case QEvent::WindowDeactivate:
            SendSimple(window, kClassWindow, kWindowDeactivated);
            return false;
        case QEvent::Paint:
            SendSimple(window, kClassWindow, kWindowDrawContent);
            return false;
        case QEvent::Resize:
            SendBounds(window, kBoundsSizeChanged);
            return false;
        case QEvent::Move:
            SendBounds(window, kBoundsOriginChanged);
            return false;
        case QEvent::MouseMove:
            SendSimple(window, kClassMouse, kMouseMoved);
            return false;
        default:
            return false;
        }
    }

private:
    // A click into the empty part of a list still counts as a click on it.
    static bool ListViewportReleased(QWidget* widget, QMouseEvent* ev) {
        auto* view = qobject_cast<QAbstractItemView*>(widget->parentWidget());
        if (view == nullptr || view->viewport() != widget)
            return false;
        Window* window = WindowOfWidget(view->window());
        const uint32_t command = CommandOf(view);
        if (window == nullptr || window->disposed || command == 0)
            return false;
        if (!view->indexAt(ev->position().toPoint()).isValid())
            SendCommand(window, command, kCommandFromControl);
        return false;
    }
};

Hub* TheHub() {
    static QPointer<Hub> hub;
    if (hub == nullptr) {
        hub = new Hub(qApp);
        qApp->installEventFilter(hub);
    }
    return hub;
}

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

void HookMenuActions(QMenuBar* bar) {
    for (QAction* action : bar->findChildren<QAction*>()) {
        const uint32_t command = CommandOf(action);
        if (command == 0)
            continue;
        QObject::connect(action, &QAction::triggered, bar, [command] {
            Window* front = FrontWindow();
            SendCommand(front, command, kCommandFromMenu);
        });
    }
    for (QMenu* menu : bar->findChildren<QMenu*>()) {
        QObject::connect(menu, &QMenu::aboutToShow, bar, [menu] {
            for (QAction* action : menu->actions()) {
                Command command{};
                command.commandID = CommandOf(action);
                command.attributes = kCommandFromMenu;
                if (command.commandID == 0)
                    continue;
                Event* event = CreateEvent(kClassCommand, kCommandUpdateStatus);
                SetEventParameter(event, kParamDirectObject, kTypeCommand, sizeof command,
                                  &command);
                Window* front = FrontWindow();
                SendEvent(event, front != nullptr ? &front->target : ApplicationTarget());
                ReleaseEvent(event);
            }
        });
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
    if (g_menuBarOwner == this)
        g_menuBarOwner = nullptr;
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

void AttachMenuBar(Window* window) {
    if (g_menuBar == nullptr || window == nullptr || window->widget == nullptr ||
        window->widget->layout() == nullptr)
        return;
    if (g_menuBarOwner != nullptr && g_menuBarOwner != window)
        DetachMenuBar(g_menuBarOwner);
    g_menuBar->setParent(window->widget);
    window->widget->layout()->setMenuBar(g_menuBar);
    g_menuBar->show();
    g_menuBarOwner = window;
}

void DetachMenuBar(Window* window) {
    if (g_menuBar == nullptr || g_menuBarOwner != window)
        return;
    if (window->widget != nullptr && window->widget->layout() != nullptr)
        window->widget->layout()->setMenuBar(nullptr);
    g_menuBar->hide();
    g_menuBar->setParent(nullptr);
    g_menuBarOwner = nullptr;
}

void HookWindow(Window* window) {
    QWidget* top = window->widget;
    top->setMouseTracking(true);
    window->wantsMenuBar = top->property("menuBar").toBool();
    for (QWidget* child : top->findChildren<QWidget*>()) {
        if (auto* button = qobject_cast<QAbstractButton*>(child)) {
            if (button->property("defaultButton").toBool())
                window->defaultButton = button;
            if (button->property("cancelButton").toBool())
                window->cancelButton = button;
        }
        if (auto* tabs = qobject_cast<QTabWidget*>(child);
            tabs != nullptr && tabs->property("tabStripHidden").toBool())
            tabs->tabBar()->hide();
        if (auto* view = qobject_cast<QAbstractItemView*>(child);
            view != nullptr && view->property("columns").isValid())
            SetUpListView(FindControl(window, view));
        const uint32_t command = CommandOf(child);
        if (command == 0)
            continue;
        auto send = [window, command] {
            if (!window->disposed)
                SendCommand(window, command, kCommandFromControl);
        };
        if (auto* button = qobject_cast<QAbstractButton*>(child))
            QObject::connect(button, &QAbstractButton::clicked, top, send);
        else if (auto* tabs = qobject_cast<QTabWidget*>(child))
            QObject::connect(tabs, &QTabWidget::tabBarClicked, top, send);
        else if (auto* combo = qobject_cast<QComboBox*>(child))
            QObject::connect(combo, &QComboBox::activated, top, send);
    }
    if (window->wantsMenuBar)
        AttachMenuBar(window);
}

Status CreateNib(const QString& name, Nib** outNib) {
    if (outNib == nullptr)
        return kParamErr;
    *outNib = nullptr;
    const QString folder = QStringLiteral(":/nib/") + name;
    if (name.isEmpty() || !QDir(folder).exists())
        return kResourceNotFound;
    *outNib = new Nib{folder};
    return kNoErr;
}

void DisposeNib(Nib* nib) {
    delete nib;
}

namespace {

QWidget* LoadForm(Nib* nib, const QString& name) {
    if (nib == nullptr || name.isEmpty())
        return nullptr;
    QFile file(nib->folder + QLatin1Char('/') + name + QStringLiteral(".ui"));
    if (!file.open(QIODevice::ReadOnly))
        return nullptr;
    if (g_loader == nullptr) {
        g_loader = new QUiLoader;
        g_loader->setLanguageChangeEnabled(false);
    }
    return g_loader->load(&file, nullptr);
}

} // namespace

Status CreateWindowFromNib(Nib* nib, const QString& windowName, Window** outWindow) {
    if (outWindow == nullptr)
        return kParamErr;
    *outWindow = nullptr;
    QWidget* widget = LoadForm(nib, windowName);
    if (widget == nullptr)
        return kResourceNotFound;
    TheHub();
    widget->setWindowFlag(Qt::Window, true);
    widget->hide();
    auto* window = new Window(widget);
    HookWindow(window);
    *outWindow = window;
    return kNoErr;
}

Status SetMenuBarFromNib(Nib* nib, const QString& menuBarName) {
    QWidget* form = LoadForm(nib, menuBarName);
    if (form == nullptr)
        return kResourceNotFound;
    auto* bar = form->findChild<QMenuBar*>();
    if (bar == nullptr) {
        delete form;
        return kResourceNotFound;
    }
    for (QAction* action : form->findChildren<QAction*>(Qt::FindDirectChildrenOnly))
        action->setParent(bar);
    bar->setParent(nullptr);
    delete form;
    if (g_menuBar != nullptr) {
        Window* owner = g_menuBarOwner;
        if (owner != nullptr)
            DetachMenuBar(owner);
        delete g_menuBar;
        g_menuBar = nullptr;
    }
    g_menuBar = bar;
    bar->hide();
    HookMenuActions(bar);
    if (Window* front = FrontWindow(); front != nullptr && front->wantsMenuBar)
        AttachMenuBar(front);
    return kNoErr;
}

void EnableMenuCommand(uint32_t commandID, bool enable) {
    if (g_menuBar == nullptr)
        return;
    for (QAction* action : g_menuBar->findChildren<QAction*>()) {
        if (CommandOf(action) == commandID)
            action->setEnabled(enable);
    }
}

bool IsMenuCommandEnabled(uint32_t commandID) {
    if (g_menuBar == nullptr)
        return false;
    for (QAction* action : g_menuBar->findChildren<QAction*>()) {
        if (CommandOf(action) == commandID)
            return action->isEnabled();
    }
    return false;
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
    SendSimple(window, kClassWindow, kWindowDisposed);
    window->disposed = true;
    window->target.disposed = true;
    if (g_front == window)
        g_front = nullptr;
    DetachMenuBar(window);
    QWidget* widget = window->widget;
    if (widget == nullptr)
        return;
    widget->hide();
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

void CautionAlert(Window* parent, const QString& title, const QString& explanation) {
    QWidget* owner = parent != nullptr && !parent->disposed ? parent->widget.data() : nullptr;
    QMessageBox box(QMessageBox::Warning, title, title, QMessageBox::Ok, owner);
    box.setInformativeText(explanation);
    // Without a width of its own the box wraps even a short message after
    // every word or two.
    box.setStyleSheet(QStringLiteral("QLabel#qt_msgbox_informativelabel { min-width: 22em; }"));
    box.setDefaultButton(QMessageBox::Ok);
    box.setEscapeButton(QMessageBox::Ok);
    box.setWindowModality(Qt::ApplicationModal);
    if (g_captureAlerts) {
        QTimer::singleShot(0, &box, [&box, owner] {
            test::AlertRecord record;
            record.title = box.text();
            record.explanation = box.informativeText();
            record.buttonCount = int(box.buttons().size());
            if (owner != nullptr) {
                const QPoint delta = box.frameGeometry().center() - owner->frameGeometry().center();
                record.centredOnParent = delta.manhattanLength() <= 4;
            }
            g_alerts.push_back(record);
            if (g_alertObserver) {
                record.box = &box;
                g_alertObserver(record);
            }
            box.button(QMessageBox::Ok)->click();
        });
    }
    box.exec();
}

void Beep() {
    ++g_beeps;
    QApplication::beep();
}

void SetWatchCursor() {
    if (QGuiApplication::overrideCursor() == nullptr)
        QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
}

void SetArrowCursor() {
    for (int guard = 0; QGuiApplication::overrideCursor() != nullptr && guard < 100; ++guard)
        QGuiApplication::restoreOverrideCursor();
}

bool InstallStringTable(const QString& language) {
    if (language.isEmpty())
        return false;
    auto* translator = new QTranslator(qApp);
    if (!translator->load(QStringLiteral("StringTable_") + language, QStringLiteral(":/i18n"))) {
        delete translator;
        return false;
    }
    RemoveStringTable();
    QCoreApplication::installTranslator(translator);
    g_translator = translator;
    return true;
}

bool InstallStringTableForUserLocale() {
    const QStringList languages = QLocale::system().uiLanguages();
    for (QString language : languages) {
        language.replace(QLatin1Char('-'), QLatin1Char('_'));
        // The keys are the English texts.
        if (language == QLatin1String("C") || language.startsWith(QLatin1String("en")))
            return false;
        if (InstallStringTable(language))
            return true;
    }
    return false;
}

void RemoveStringTable() {
    if (g_translator == nullptr)
        return;
    QCoreApplication::removeTranslator(g_translator);
    delete g_translator;
    g_translator = nullptr;
}

void Shutdown() {
    if (g_menuBarOwner != nullptr)
        DetachMenuBar(g_menuBarOwner);
    delete g_menuBar;
    g_menuBar = nullptr;
    delete g_loader;
    g_loader = nullptr;
    RemoveStringTable();
    SetArrowCursor();
}

QWidget* NativeWidget(Window* window) {
    return window != nullptr ? window->widget.data() : nullptr;
}

QWidget* NativeWidget(Control* control) {
    return control != nullptr ? control->widget.data() : nullptr;
}

namespace test {

void CaptureAlerts(bool capture) {
    g_captureAlerts = capture;
}

std::vector<AlertRecord> TakeAlerts() {
    std::vector<AlertRecord> taken;
    taken.swap(g_alerts);
    return taken;
}

void SetAlertObserver(std::function<void(const AlertRecord&)> observer) {
    g_alertObserver = std::move(observer);
}

int BeepCount() {
    return g_beeps;
}

void ResetBeepCount() {
    g_beeps = 0;
}

} // namespace test

} // namespace tb
