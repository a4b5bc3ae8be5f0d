// The layer seen from tests and scripted walks: alerts read and answered as
// they come up, beeps counted, handlers' registrations, the widgets behind
// windows and controls.
#include "toolbox/ToolboxTesting.h"

#include "toolbox/ToolboxPrivate.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

#include <utility>

namespace tb {

namespace {

std::vector<test::AlertRecord> g_alerts;
std::function<void(const test::AlertRecord&)> g_alertObserver;
int g_beeps = 0;

void CountBeep() {
    ++g_beeps;
}

// Beeps are counted from the start of every program that links this.
[[maybe_unused]] const bool g_countingBeeps = (SetBeepListener(&CountBeep), true);

void ReadAndAnswer(QMessageBox* box) {
    test::AlertRecord record;
    record.title = box->text();
    record.explanation = box->informativeText();
    record.buttonCount = int(box->buttons().size());
    for (QAbstractButton* button : box->buttons())
        record.buttonTexts.push_back(button->text());
    record.owner = box->parentWidget();
    if (record.owner != nullptr) {
        const QPoint delta = box->frameGeometry().center() - record.owner->frameGeometry().center();
        record.centredOnParent = delta.manhattanLength() <= 4;
    }
    g_alerts.push_back(record);
    if (g_alertObserver) {
        record.box = box;
        g_alertObserver(record);
    }
    box->button(QMessageBox::Ok)->click();
}

// Sees each caution alert come up and answers it from the alert's own event
// loop, once the alert is on the screen.
class AlertCatcher : public QObject {
public:
    using QObject::QObject;

    bool eventFilter(QObject* watched, QEvent* ev) override {
        if (ev->type() != QEvent::Show || watched->objectName() != QLatin1String(kCautionAlertName))
            return false;
        if (auto* box = qobject_cast<QMessageBox*>(watched))
            QTimer::singleShot(0, box, [box] { ReadAndAnswer(box); });
        return false;
    }
};

QPointer<AlertCatcher> g_catcher;

} // namespace

QWidget* NativeWidget(Window* window) {
    return window != nullptr ? window->widget.data() : nullptr;
}

QWidget* NativeWidget(Control* control) {
    return control != nullptr ? control->widget.data() : nullptr;
}

namespace test {

void CaptureAlerts(bool capture) {
    if (!capture) {
        delete g_catcher;
        return;
    }
    if (g_catcher == nullptr && qApp != nullptr) {
        g_catcher = new AlertCatcher(qApp);
        qApp->installEventFilter(g_catcher);
    }
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

std::vector<EventType> HandlerTypes(HandlerRef handler) {
    return IsLiveHandler(handler) ? handler->types : std::vector<EventType>{};
}

} // namespace test

} // namespace tb
