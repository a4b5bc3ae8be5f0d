// The window shown while firmware is sent to one printer.
#pragma once

#include "HIFramework/TWindow.h"

class MainWindow;

constexpr tb::ControlID controlProcessCancelButton = {tb::Code("PROC"), 100};
constexpr tb::ControlID controlProcessProgressBar = {tb::Code("PROC"), 200};
constexpr tb::ControlID controlProcessStatusStatic = {tb::Code("PROC"), 300};
constexpr tb::ControlID controlProcessPrinterNameStatic = {tb::Code("PROC"), 301};

class CProgressDlg : public TWindow {
public:
    explicit CProgressDlg(MainWindow* owner);
    ~CProgressDlg() override = default;

private:
    [[maybe_unused]] tb::Window* m_dialogWindow = nullptr;
    [[maybe_unused]] MainWindow* m_pOwner = nullptr; // told about Cancel; not owned
    [[maybe_unused]] tb::Control* m_progressBar = nullptr;
};
