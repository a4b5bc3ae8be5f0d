// Windows from interface files, the menu bar, alerts, cursors, the beep and
// the string table.
#include "toolbox/ToolboxPrivate.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QCursor>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QIcon>
#include <QLayout>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QScreen>
#include <QSvgRenderer>
#include <QTabBar>
#include <QTabWidget>
#include <QThread>
#include <QTimer>
#include <QTranslator>
#include <QUiLoader>
#include <QWindow>

#include <cstring>
#include <functional>

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
QTranslator* g_qtTranslator = nullptr;
bool g_captureAlerts = false;
std::vector<test::AlertRecord> g_alerts;
int g_beeps = 0;
int g_quietBeeps = 0;
bool g_beepWanted = false;
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

// Tab and Shift+Tab move the keyboard between controls, as the window's own
// business: a field's filter would refuse them and trap the keyboard.
bool IsFocusKey(const QKeyEvent* key) {
    return (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) &&
           (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) == 0;
}

bool IsPaste(const QKeyEvent* key) {
    return key->matches(QKeySequence::Paste);
}

// Editing that moves no new character into a field.
bool IsEditingShortcut(const QKeyEvent* key) {
    return key->matches(QKeySequence::Copy) || key->matches(QKeySequence::Cut) ||
           key->matches(QKeySequence::SelectAll) || key->matches(QKeySequence::Undo) ||
           key->matches(QKeySequence::Redo);
}

// A field of one of our windows whose keys pass a filter, or null.
QLineEdit* FilteredField(QWidget* widget, Window** outWindow) {
    auto* edit = qobject_cast<QLineEdit*>(widget);
    if (edit == nullptr)
        return nullptr;
    Window* window = WindowOfWidget(edit->window());
    if (window == nullptr || window->disposed)
        return nullptr;
    Control* control = FindControl(window, edit);
    if (control == nullptr || control->keyFilter == nullptr)
        return nullptr;
    *outWindow = window;
    return edit;
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
            auto* key = static_cast<QKeyEvent*>(ev);
            Window* window = WindowOfWidget(widget->window());
            // A modifier pressed alone is no key of its own: a filter would
            // refuse it (it has no character) and beep before every capital.
            if (window == nullptr || window->disposed || IsModifierKey(key->key()) ||
                IsFocusKey(key))
                return false;
            if (qobject_cast<QLineEdit*>(widget) != nullptr) {
                if (IsEditingShortcut(key))
                    return false;
                Window* fieldWindow = nullptr;
                if (IsPaste(key)) {
                    if (QLineEdit* edit = FilteredField(widget, &fieldWindow)) {
                        TypeText(fieldWindow, edit, QGuiApplication::clipboard()->text());
                        return true;
                    }
                    return false;
                }
            }
            SendKey(window, widget, key);
            return true;
        }
        switch (ev->type()) {
        case QEvent::Drop:
            return FieldDropped(widget, static_cast<QDropEvent*>(ev));
        case QEvent::ContextMenu:
            return FieldMenu(widget, static_cast<QContextMenuEvent*>(ev));
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
            return MiddleButtonOnField(widget, static_cast<QMouseEvent*>(ev), false);
        case QEvent::MouseButtonRelease:
            return MiddleButtonOnField(widget, static_cast<QMouseEvent*>(ev), true) ||
                   ListViewportReleased(widget, static_cast<QMouseEvent*>(ev));
        default:
            break;
        }
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
    // Dropped text is typed into a filtered field where it lands.
    static bool FieldDropped(QWidget* widget, QDropEvent* ev) {
        Window* window = nullptr;
        QLineEdit* edit = FilteredField(widget, &window);
        if (edit == nullptr)
            return false;
        if (ev->mimeData() != nullptr && ev->mimeData()->hasText()) {
            edit->setFocus(Qt::OtherFocusReason);
            edit->deselect();
            edit->setCursorPosition(edit->cursorPositionAt(ev->position().toPoint()));
            // A copy: a text moved from the same field must not vanish there.
            ev->setDropAction(Qt::CopyAction);
            ev->accept();
            TypeText(window, edit, ev->mimeData()->text());
        } else {
            ev->ignore();
        }
        return true;
    }

    // The field's editing menu, whose Paste types the text in.
    static bool FieldMenu(QWidget* widget, QContextMenuEvent* ev) {
        Window* window = nullptr;
        QLineEdit* edit = FilteredField(widget, &window);
        if (edit == nullptr)
            return false;
        auto* menu = new QMenu(edit);
        menu->setAttribute(Qt::WA_DeleteOnClose);
        QPointer<QLineEdit> field(edit);
        auto add = [menu](const char* name, const QString& text, QKeySequence::StandardKey key,
                          bool enabled, std::function<void()> what) {
            QAction* action = menu->addAction(text);
            action->setObjectName(QLatin1String(name));
            action->setShortcut(QKeySequence(key));
            action->setEnabled(enabled);
            QObject::connect(action, &QAction::triggered, menu, std::move(what));
        };
        const bool selected = edit->hasSelectedText();
        const bool writable = !edit->isReadOnly();
        add("edit-cut", LayerText(kTextCut), QKeySequence::Cut, selected && writable, [field] {
            if (field != nullptr)
                field->cut();
        });
        add("edit-copy", LayerText(kTextCopy), QKeySequence::Copy, selected, [field] {
            if (field != nullptr)
                field->copy();
        });
        add("edit-paste", LayerText(kTextPaste), QKeySequence::Paste,
            writable && !QGuiApplication::clipboard()->text().isEmpty(), [window, field] {
                if (field != nullptr && !window->disposed) {
                    field->setFocus(Qt::OtherFocusReason);
                    TypeText(window, field, QGuiApplication::clipboard()->text());
                }
            });
        menu->addSeparator();
        add("select-all", LayerText(kTextSelectAll), QKeySequence::SelectAll,
            !edit->text().isEmpty(), [field] {
                if (field != nullptr)
                    field->selectAll();
            });
        menu->popup(ev->globalPos());
        return true;
    }

    // The middle button pastes the primary selection on X11.
    static bool MiddleButtonOnField(QWidget* widget, QMouseEvent* ev, bool released) {
        Window* window = nullptr;
        if (ev->button() != Qt::MiddleButton)
            return false;
        QLineEdit* edit = FilteredField(widget, &window);
        if (edit == nullptr)
            return false;
        QClipboard* clipboard = QGuiApplication::clipboard();
        if (released && clipboard->supportsSelection() && !edit->isReadOnly()) {
            edit->setFocus(Qt::MouseFocusReason);
            edit->deselect();
            edit->setCursorPosition(edit->cursorPositionAt(ev->position().toPoint()));
            TypeText(window, edit, clipboard->text(QClipboard::Selection));
        }
        return true;
    }

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

// A tab control whose strip is hidden, as a screen reader sees it: the
// pages, without the strip and its scroll buttons.
class PagesAccessible : public QAccessibleWidget {
public:
    explicit PagesAccessible(QWidget* w) : QAccessibleWidget(w, QAccessible::Pane) {}

    int childCount() const override { return int(Children().size()); }
    QAccessibleInterface* child(int index) const override {
        const QList<QWidget*> children = Children();
        if (index < 0 || index >= children.size())
            return nullptr;
        return QAccessible::queryAccessibleInterface(children.at(index));
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        if (child == nullptr || !child->object() || !child->object()->isWidgetType())
            return -1;
        return int(Children().indexOf(static_cast<QWidget*>(child->object())));
    }

private:
    QList<QWidget*> Children() const {
        QList<QWidget*> children;
        auto* tabs = static_cast<QTabWidget*>(widget());
        for (QObject* object : tabs->children()) {
            auto* w = qobject_cast<QWidget*>(object);
            if (w != nullptr && !w->isWindow() && w != tabs->tabBar())
                children.append(w);
        }
        return children;
    }
};

QAccessibleInterface* AccessibleFactory(const QString& className, QObject* object) {
    if (className == QLatin1String("QTabWidget") && object != nullptr && object->isWidgetType() &&
        object->property("tabStripHidden").toBool())
        return new PagesAccessible(static_cast<QWidget*>(object));
    return nullptr;
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

void InstallAccessibleFactory() {
    static bool installed = false;
    if (!installed) {
        installed = true;
        QAccessible::installFactory(AccessibleFactory);
    }
}

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
            tabs != nullptr && tabs->property("tabStripHidden").toBool()) {
            // The strip is the tab control's keyboard stop: without it the
            // keyboard goes straight to the controls of the page shown.
            tabs->tabBar()->hide();
            tabs->tabBar()->setFocusPolicy(Qt::NoFocus);
            tabs->setFocusProxy(nullptr);
            tabs->setFocusPolicy(Qt::NoFocus);
        }
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
    InstallAccessibleFactory();
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

void CautionAlert(Window* parent, const QString& title, const QString& explanation) {
    QWidget* owner = parent != nullptr && !parent->disposed ? parent->widget.data() : nullptr;
    // A dialog of the window that the user was working in caused the
    // message: it comes up over that dialog, which keeps the keyboard after.
    if (Window* front = FrontWindow(); owner != nullptr && front != nullptr &&
                                       front->widget != nullptr && front->widget != owner &&
                                       front->widget->isVisible() &&
                                       front->widget->parentWidget() == owner)
        owner = front->widget;
    QMessageBox box(QMessageBox::Warning, title, title, QMessageBox::Ok, owner);
    box.setInformativeText(explanation);
    // Without a width of its own the box wraps even a short message after
    // every word or two.
    box.setStyleSheet(QStringLiteral("QLabel#qt_msgbox_informativelabel { min-width: 22em; }"));
    box.button(QMessageBox::Ok)->setText(LayerText(kTextOK));
    box.setDefaultButton(QMessageBox::Ok);
    box.setEscapeButton(QMessageBox::Ok);
    box.setWindowModality(Qt::ApplicationModal);
    if (g_captureAlerts) {
        QTimer::singleShot(0, &box, [&box, owner] {
            test::AlertRecord record;
            record.title = box.text();
            record.explanation = box.informativeText();
            record.buttonCount = int(box.buttons().size());
            for (QAbstractButton* button : box.buttons())
                record.buttonTexts.push_back(button->text());
            record.owner = owner;
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
    if (g_quietBeeps > 0) {
        g_beepWanted = true;
        return;
    }
    ++g_beeps;
    QApplication::beep();
}

QuietBeepScope::QuietBeepScope() {
    if (g_quietBeeps++ == 0)
        g_beepWanted = false;
}

QuietBeepScope::~QuietBeepScope() {
    if (--g_quietBeeps == 0 && g_beepWanted) {
        g_beepWanted = false;
        Beep();
    }
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

void TypeText(Window* window, QWidget* field, const QString& text) {
    if (window == nullptr)
        return;
    QPointer<QWidget> first(field);
    QuietBeepScope quiet;
    // Bounded by the text; a handler may move the keyboard on (the octet
    // fields do), and the rest follows it as typing would.
    for (const QChar c : text) {
        if (c == QLatin1Char('\n') || c == QLatin1Char('\r'))
            break;
        if (window->disposed || window->widget == nullptr)
            break;
        QWidget* receiver = window->widget->focusWidget();
        if (receiver == nullptr)
            receiver = first;
        if (receiver == nullptr)
            break;
        const QChar upper = c.toUpper();
        const int key = upper.unicode() < 0x80 ? int(upper.unicode()) : int(Qt::Key_unknown);
        QKeyEvent typed(QEvent::KeyPress, key, Qt::NoModifier, QString(c));
        SendKey(window, receiver, &typed);
    }
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
    // Qt's own texts (the inside of its folder chooser, say), when the
    // system has them for this language.
    auto* qtTexts = new QTranslator(qApp);
    if (qtTexts->load(QStringLiteral("qtbase_") + language,
                      QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QCoreApplication::installTranslator(qtTexts);
        g_qtTranslator = qtTexts;
    } else {
        delete qtTexts;
    }
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
    if (g_qtTranslator != nullptr) {
        QCoreApplication::removeTranslator(g_qtTranslator);
        delete g_qtTranslator;
        g_qtTranslator = nullptr;
    }
}

bool SetApplicationIdentity(const QString& desktopId, const QString& svgResource) {
    QGuiApplication::setDesktopFileName(desktopId);
    QSvgRenderer renderer(svgResource);
    if (!renderer.isValid())
        return false;
    // Drawn at the sizes window managers and task bars ask for; the SVG
    // image plugin would be one more package to depend on.
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        renderer.render(&painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    QApplication::setWindowIcon(icon);
    return true;
}

struct ApplicationScope::Impl {
    Impl(int& argc, char** argv) : application(argc, argv) {}
    QApplication application;
};

ApplicationScope::ApplicationScope(int& argc, char** argv)
    : m_impl(std::make_unique<Impl>(argc, argv)) {
    QApplication::setQuitOnLastWindowClosed(false);
}

ApplicationScope::~ApplicationScope() = default;

QStringList ApplicationScope::Arguments() const {
    return QApplication::arguments();
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
