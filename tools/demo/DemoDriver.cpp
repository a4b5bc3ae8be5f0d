#include "DemoDriver.h"

#include "wizard/mainwindow.h"

#include <QDir>
#include <QTimer>
#include <QWidget>

#include <cstdio>

DemoDriver::DemoDriver(const QString& folder) : m_folder(folder) {
    tb::test::CaptureAlerts(true);
    tb::test::SetAlertObserver([this](const tb::test::AlertRecord& alert) {
        m_messages << alert.explanation;
        const int number = g_pMainWindow != nullptr ? g_pMainWindow->MessageShown() : -1;
        m_messageNumbers.push_back(number);
        const QString name = QStringLiteral("message-%1").arg(m_messages.size());
        const QString path = QDir(m_folder).filePath(name + QStringLiteral(".png"));
        const bool saved = alert.box != nullptr && alert.box->grab().save(path, "PNG");
        Log(QStringLiteral("message %1 \"%2\" \"%3\"%4")
                .arg(number)
                .arg(alert.title, alert.explanation,
                     saved ? QStringLiteral(" -> ") + path : QStringLiteral(" (no picture)")));
    });
}

DemoDriver::~DemoDriver() {
    tb::test::SetAlertObserver(nullptr);
    tb::test::CaptureAlerts(false);
    delete g_pMainWindow;
}

bool DemoDriver::OpenWizard() {
    MainWindow::Create();
    Settle();
    return g_pMainWindow != nullptr;
}

tb::Window* DemoDriver::MainWindowRef() const {
    return g_pMainWindow != nullptr ? g_pMainWindow->GetWindowRef() : nullptr;
}

tb::Control* DemoDriver::Find(tb::ControlID id) const {
    tb::Control* control = nullptr;
    tb::GetControlByID(MainWindowRef(), id, &control);
    return control;
}

void DemoDriver::Press(tb::ControlID id) {
    tb::Control* control = Find(id);
    QWidget* widget = tb::NativeWidget(control);
    if (widget == nullptr || !widget->isEnabled()) {
        Fail(QStringLiteral("control %1 %2 cannot be pressed")
                 .arg(tb::CodeText(id.signature))
                 .arg(id.id));
        return;
    }
    // The button's own click: the same signal a mouse press ends in.
    QMetaObject::invokeMethod(widget, "click");
    Settle();
}

void DemoDriver::Settle() {
    tb::DispatchPendingEvents();
}

bool DemoDriver::Picture(const QString& name) {
    return Picture(MainWindowRef(), name);
}

bool DemoDriver::Picture(tb::Window* window, const QString& name) {
    ++m_pictures;
    const QString path = QDir(m_folder).filePath(name + QStringLiteral(".png"));
    const bool saved = window != nullptr && tb::SaveWindowPicture(window, path);
    if (saved)
        Log(QStringLiteral("picture %1").arg(path));
    else
        Fail(QStringLiteral("could not save %1").arg(path));
    return saved;
}

void DemoDriver::WhileBusy(std::function<void()> what) {
    QTimer::singleShot(0, std::move(what));
}

void DemoDriver::Log(const QString& line) {
    std::fprintf(stderr, "quenlo-demo: %s\n", qPrintable(line));
}

void DemoDriver::Fail(const QString& why) {
    m_failed = true;
    Log(QStringLiteral("FAILED: ") + why);
}
