// Qt's events of our windows as events of the layer: window changes, keys,
// and what a filtered field takes in by pasting, dropping or the middle
// button, which arrives typed.
#include "toolbox/ToolboxPrivate.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPointer>

#include <functional>

namespace tb {

namespace {

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
        Window* window = WindowOfWidget(widget);
        if (window == nullptr || window->disposed)
            return false;
        switch (ev->type()) {
        case QEvent::Close:
            // The window's owner decides; the layer's own handling disposes.
            ev->ignore();
            SendWindowEvent(window, kClassWindow, kWindowClose);
            return true;
        case QEvent::WindowActivate:
            SetFrontWindow(window);
            SendWindowEvent(window, kClassWindow, kWindowActivated);
            return false;
        case QEvent::WindowDeactivate:
            SendWindowEvent(window, kClassWindow, kWindowDeactivated);
            return false;
        case QEvent::Paint:
            SendWindowEvent(window, kClassWindow, kWindowDrawContent);
            return false;
        case QEvent::Resize:
            SendBounds(window, kBoundsSizeChanged);
            return false;
        case QEvent::Move:
            SendBounds(window, kBoundsOriginChanged);
            return false;
        case QEvent::MouseMove:
            SendWindowEvent(window, kClassMouse, kMouseMoved);
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

} // namespace

void InstallHub() {
    static QPointer<Hub> hub;
    if (hub == nullptr) {
        hub = new Hub(qApp);
        qApp->installEventFilter(hub);
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

} // namespace tb
