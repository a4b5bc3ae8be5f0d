// What every scripted road of the demo needs: the open wizard, its controls,
// presses of its buttons, and pictures of its windows and messages.
#pragma once

#include "toolbox/ToolboxTesting.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

class DemoDriver {
public:
    explicit DemoDriver(const QString& folder);
    ~DemoDriver();
    DemoDriver(const DemoDriver&) = delete;
    DemoDriver& operator=(const DemoDriver&) = delete;

    // The main window on the package beside the driver; false when it
    // cannot be opened.
    bool OpenWizard();
    tb::Window* MainWindowRef() const;
    tb::Control* Find(tb::ControlID id) const;
    // A click as the user makes it, then the events it leaves waiting.
    void Press(tb::ControlID id);
    void Settle();

    // <folder>/<name>.png of the main window or of another window.
    bool Picture(const QString& name);
    bool Picture(tb::Window* window, const QString& name);
    // Runs once from inside the next event dispatch (for example the first
    // one of a download, to take the progress dialog's picture).
    void WhileBusy(std::function<void()> what);

    // Every message is photographed, written to the log and dismissed by OK.
    // Outcomes are read by message number (in any language): 0 completed.
    const QStringList& Messages() const { return m_messages; }
    const std::vector<int>& MessageNumbers() const { return m_messageNumbers; }
    void Log(const QString& line);
    bool Failed() const { return m_failed; }
    void Fail(const QString& why);

private:
    QString m_folder;
    QStringList m_messages;
    std::vector<int> m_messageNumbers;
    int m_pictures = 0;
    bool m_failed = false;
};

// A road: the steps from page 1 to the end, true when all went as expected.
struct DemoRoad {
    const char* name;
    const char* description;
    bool (*run)(DemoDriver& driver);
};

bool RunNetworkRoad(DemoDriver& driver);
bool RunPrinterListRoad(DemoDriver& driver);
bool RunUsbRoad(DemoDriver& driver);
