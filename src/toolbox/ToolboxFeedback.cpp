// What the user is told without a window of the program's own: the caution
// alert, the beep and the watch cursor.
#include "toolbox/ToolboxPrivate.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCursor>
#include <QMessageBox>
#include <QTimer>

namespace tb {

namespace {

bool g_answerAlertsAtOnce = false;
int g_quietBeeps = 0;
bool g_beepWanted = false;
BeepListener g_beepListener = nullptr;

} // namespace

void AnswerAlertsAtOnce(bool answer) {
    g_answerAlertsAtOnce = answer;
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
    box.setObjectName(QLatin1String(kCautionAlertName));
    box.setInformativeText(explanation);
    // Without a width of its own the box wraps even a short message after
    // every word or two.
    box.setStyleSheet(QStringLiteral("QLabel#qt_msgbox_informativelabel { min-width: 22em; }"));
    box.button(QMessageBox::Ok)->setText(LayerText(kTextOK));
    box.setDefaultButton(QMessageBox::Ok);
    box.setEscapeButton(QMessageBox::Ok);
    box.setWindowModality(Qt::ApplicationModal);
    if (g_answerAlertsAtOnce)
        QTimer::singleShot(0, &box, [&box] { box.button(QMessageBox::Ok)->click(); });
    box.exec();
}

void Beep() {
    if (g_quietBeeps > 0) {
        g_beepWanted = true;
        return;
    }
    QApplication::beep();
    if (g_beepListener != nullptr)
        g_beepListener();
}

void SetBeepListener(BeepListener listener) {
    g_beepListener = listener;
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

void SetWatchCursor() {
    if (QGuiApplication::overrideCursor() == nullptr)
        QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
}

void SetArrowCursor() {
    for (int guard = 0; QGuiApplication::overrideCursor() != nullptr && guard < 100; ++guard)
        QGuiApplication::restoreOverrideCursor();
}

} // namespace tb
