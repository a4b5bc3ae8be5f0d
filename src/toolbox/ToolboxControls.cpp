// Controls found by signature and number: visibility, texts, values, the
// keyboard focus, key filters and accessible names.
#include "toolbox/ToolboxPrivate.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QStackedWidget>
#include <QTabWidget>

namespace tb {

namespace {

ControlID IdOf(const QWidget* widget) {
    return ControlID{CodeFromText(widget->property("signature").toString()),
                     widget->property("number").toInt()};
}

// A page of a tab control is shown by making it the current page.
QTabWidget* TabOfPage(QWidget* widget) {
    QWidget* stack = widget->parentWidget();
    if (stack == nullptr || qobject_cast<QStackedWidget*>(stack) == nullptr)
        return nullptr;
    auto* tabs = qobject_cast<QTabWidget*>(stack->parentWidget());
    return tabs != nullptr && tabs->indexOf(widget) >= 0 ? tabs : nullptr;
}

} // namespace

Control* FindControl(Window* window, QWidget* widget) {
    if (window == nullptr || widget == nullptr)
        return nullptr;
    for (auto& control : window->controls) {
        if (control->widget == widget)
            return control.get();
    }
    if (window->widget == nullptr || !window->widget->isAncestorOf(widget))
        return nullptr;
    auto control = std::make_unique<Control>();
    control->window = window;
    control->widget = widget;
    control->id = IdOf(widget);
    window->controls.push_back(std::move(control));
    return window->controls.back().get();
}

Status GetControlByID(Window* window, ControlID id, Control** outControl) {
    if (outControl == nullptr)
        return kParamErr;
    *outControl = nullptr;
    if (window == nullptr || window->disposed || window->widget == nullptr)
        return kParamErr;
    for (auto& control : window->controls) {
        if (control->widget != nullptr && control->id.signature == id.signature &&
            control->id.id == id.id) {
            *outControl = control.get();
            return kNoErr;
        }
    }
    for (QWidget* child : window->widget->findChildren<QWidget*>()) {
        const ControlID childId = IdOf(child);
        if (childId.signature == id.signature && childId.id == id.id &&
            child->property("number").isValid()) {
            *outControl = FindControl(window, child);
            return *outControl != nullptr ? kNoErr : kControlNotFound;
        }
    }
    return kControlNotFound;
}

Window* GetControlWindow(const Control* control) {
    return control != nullptr ? control->window : nullptr;
}

ControlID GetControlID(const Control* control) {
    return control != nullptr ? control->id : ControlID{0, 0};
}

void SetControlVisibility(Control* control, bool visible) {
    if (control == nullptr || control->widget == nullptr)
        return;
    if (QTabWidget* tabs = TabOfPage(control->widget)) {
        if (visible)
            tabs->setCurrentWidget(control->widget);
        return;
    }
    control->widget->setVisible(visible);
}

bool IsControlVisible(const Control* control) {
    if (control == nullptr || control->widget == nullptr || control->window->widget == nullptr)
        return false;
    return control->widget->isVisibleTo(control->window->widget);
}

void EnableControl(Control* control) {
    if (control != nullptr && control->widget != nullptr)
        control->widget->setEnabled(true);
}

void DisableControl(Control* control) {
    if (control != nullptr && control->widget != nullptr)
        control->widget->setEnabled(false);
}

bool IsControlEnabled(const Control* control) {
    return control != nullptr && control->widget != nullptr && control->widget->isEnabled();
}

void DrawControl(Control* control) {
    if (control != nullptr && control->widget != nullptr)
        control->widget->update();
}

void SetControlText(Control* control, const QString& text) {
    if (control == nullptr || control->widget == nullptr)
        return;
    QWidget* w = control->widget;
    if (auto* label = qobject_cast<QLabel*>(w))
        label->setText(text);
    else if (auto* edit = qobject_cast<QLineEdit*>(w))
        edit->setText(text);
    else if (auto* button = qobject_cast<QAbstractButton*>(w))
        button->setText(text);
    else if (auto* group = qobject_cast<QGroupBox*>(w))
        group->setTitle(text);
    else if (auto* plain = qobject_cast<QPlainTextEdit*>(w))
        plain->setPlainText(text);
}

void SetControlTitle(Control* control, const QString& title) {
    SetControlText(control, title);
}

QString GetControlText(const Control* control) {
    if (control == nullptr || control->widget == nullptr)
        return QString();
    QWidget* w = control->widget;
    if (auto* label = qobject_cast<QLabel*>(w))
        return label->text();
    if (auto* edit = qobject_cast<QLineEdit*>(w))
        return edit->text();
    if (auto* button = qobject_cast<QAbstractButton*>(w))
        return button->text();
    if (auto* group = qobject_cast<QGroupBox*>(w))
        return group->title();
    if (auto* plain = qobject_cast<QPlainTextEdit*>(w))
        return plain->toPlainText();
    return QString();
}

void SetControlValue(Control* control, int32_t value) {
    if (control == nullptr || control->widget == nullptr)
        return;
    QWidget* w = control->widget;
    if (auto* button = qobject_cast<QAbstractButton*>(w)) {
        // The owner keeps radio buttons exclusive; a value is set as given.
        const bool exclusive = button->autoExclusive();
        button->setAutoExclusive(false);
        button->setChecked(value != 0);
        button->setAutoExclusive(exclusive);
    } else if (auto* tabs = qobject_cast<QTabWidget*>(w)) {
        if (value >= 1 && value <= tabs->count())
            tabs->setCurrentIndex(value - 1);
    } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
        if (value >= 1 && value <= combo->count())
            combo->setCurrentIndex(value - 1);
    } else if (auto* bar = qobject_cast<QProgressBar*>(w)) {
        bar->setValue(value);
    }
}

int32_t GetControlValue(const Control* control) {
    if (control == nullptr || control->widget == nullptr)
        return 0;
    QWidget* w = control->widget;
    if (auto* button = qobject_cast<QAbstractButton*>(w))
        return button->isChecked() ? 1 : 0;
    if (auto* tabs = qobject_cast<QTabWidget*>(w))
        return tabs->currentIndex() + 1;
    if (auto* combo = qobject_cast<QComboBox*>(w))
        return combo->currentIndex() + 1;
    if (auto* bar = qobject_cast<QProgressBar*>(w))
        return bar->value();
    return 0;
}

Status GetPopupItemCount(const Control* control, int32_t* outCount) {
    if (outCount == nullptr)
        return kParamErr;
    auto* combo = control != nullptr ? qobject_cast<QComboBox*>(control->widget) : nullptr;
    if (combo == nullptr)
        return kParamErr;
    *outCount = combo->count();
    return kNoErr;
}

Status GetFieldSelection(const Control* control, int32_t* start, int32_t* end) {
    auto* edit = control != nullptr ? qobject_cast<QLineEdit*>(control->widget) : nullptr;
    if (edit == nullptr || start == nullptr || end == nullptr)
        return kParamErr;
    if (edit->hasSelectedText()) {
        *start = edit->selectionStart();
        *end = *start + int32_t(edit->selectedText().size());
    } else {
        *start = *end = edit->cursorPosition();
    }
    return kNoErr;
}

void ClearKeyboardFocus(Window* window) {
    if (window == nullptr || window->widget == nullptr)
        return;
    if (QWidget* focus = window->widget->focusWidget())
        focus->clearFocus();
}

void AdvanceKeyboardFocus(Window* window) {
    if (window == nullptr || window->widget == nullptr)
        return;
    QWidget* top = window->widget;
    QWidget* w = top->nextInFocusChain();
    for (int guard = 0; w != nullptr && w != top && guard < 10000; ++guard) {
        if ((w->focusPolicy() & Qt::TabFocus) && w->isEnabled() && w->isVisibleTo(top) &&
            top->isAncestorOf(w)) {
            w->setFocus(Qt::TabFocusReason);
            return;
        }
        w = w->nextInFocusChain();
    }
}

Control* GetKeyboardFocus(Window* window) {
    if (window == nullptr || window->widget == nullptr)
        return nullptr;
    return FindControl(window, window->widget->focusWidget());
}

void SetKeyboardFocus(Control* control) {
    if (control != nullptr && control->widget != nullptr)
        control->widget->setFocus(Qt::OtherFocusReason);
}

void SetControlKeyFilter(Control* control, KeyFilterProc filter) {
    if (control != nullptr)
        control->keyFilter = filter;
}

void SetControlDragTrackingEnabled(Control* control, bool enabled) {
    if (control != nullptr && control->widget != nullptr)
        control->widget->setAcceptDrops(enabled);
}

bool IsControlDragTrackingEnabled(const Control* control) {
    return control != nullptr && control->widget != nullptr && control->widget->acceptDrops();
}

void SetControlAccessibleName(Control* control, const QString& name) {
    if (control != nullptr && control->widget != nullptr)
        control->widget->setAccessibleName(name);
}

QString GetControlAccessibleName(const Control* control) {
    return control != nullptr && control->widget != nullptr ? control->widget->accessibleName()
                                                            : QString();
}

} // namespace tb
