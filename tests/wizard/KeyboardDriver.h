// Key presses as the window system delivers them: to a window, which hands
// them to its control with the keyboard focus.
#pragma once

#include "toolbox/ToolboxTesting.h"

#include <QApplication>
#include <QTest>
#include <QWidget>
#include <QWindow>

#include <string>

namespace keys {

inline QWindow* Of(tb::Window* window) {
    QWidget* widget = tb::NativeWidget(window);
    return widget != nullptr ? widget->windowHandle() : nullptr;
}

inline void Press(tb::Window* window, Qt::Key key, Qt::KeyboardModifiers modifiers = {}) {
    QWindow* handle = Of(window);
    if (handle != nullptr)
        QTest::keyClick(handle, key, modifiers);
}

// Printable ASCII only, as typed on the keyboard.
inline void Type(tb::Window* window, const QString& text) {
    QWindow* handle = Of(window);
    for (const QChar c : text)
        if (handle != nullptr)
            QTest::keyClick(handle, c.toLatin1());
}

// Object name of the widget with the keyboard in a window, "" when none.
inline std::string FocusName(tb::Window* window) {
    QWidget* widget = tb::NativeWidget(window);
    QWidget* focus = widget != nullptr ? widget->focusWidget() : nullptr;
    return focus != nullptr ? focus->objectName().toStdString() : std::string();
}

} // namespace keys
