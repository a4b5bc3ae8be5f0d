// What tests and scripted walks of the wizard reach inside the window layer:
// the widgets behind its windows and controls, the alerts it shows, its
// beeps and its handlers. Library quenlo_toolbox_testing; the program does
// not contain it.
#pragma once

#include "toolbox/Toolbox.h"

#include <QString>

#include <functional>
#include <vector>

class QWidget;

namespace tb {

// The widget behind a window or control.
QWidget* NativeWidget(Window* window);
QWidget* NativeWidget(Control* control);

namespace test {

struct AlertRecord {
    QString title;
    QString explanation;
    int buttonCount = 0;
    std::vector<QString> buttonTexts;
    bool centredOnParent = false;
    QWidget* owner = nullptr; // the window it came up over
    QWidget* box = nullptr;   // the alert itself, only while an observer runs
};
// Alerts are shown for real and dismissed by OK as soon as they are up,
// after their texts have been read (not together with AnswerAlertsAtOnce,
// which would dismiss them first).
void CaptureAlerts(bool capture);
// Called for each captured alert while it is shown, before OK dismisses it
// (a test looks at the window behind it; the demo takes its picture).
void SetAlertObserver(std::function<void(const AlertRecord&)> observer);
std::vector<AlertRecord> TakeAlerts();

// Beeps the user heard (several asked for while pasted text is typed are
// one), counted from the first call of either.
int BeepCount();
void ResetBeepCount();

// The event types a handler is registered for, in order of registration;
// none for a handler that is not installed.
std::vector<EventType> HandlerTypes(HandlerRef handler);

} // namespace test

} // namespace tb
