// The program's application object: the menu bar "MenuBar" from the
// interface file "main", and the New Window command.
#pragma once

#include "HIFramework/TApplication.h"
#include "wizard/mainwindow.h"

class CarbonApp : public TApplication {
public:
    CarbonApp() : TApplication("MenuBar", "main") {}

    // There is at most one main window: a second New Window changes nothing.
    bool HandleCommand(const tb::Command& command) override {
        if (command.commandID != tb::kCommandNew)
            return false;
        MainWindow::Create();
        return true;
    }
};
