// An interface file opened for one piece of set-up.
#pragma once

#include "toolbox/Toolbox.h"

class TNib {
public:
    TNib() = default;
    ~TNib();
    TNib(const TNib&) = delete;
    TNib& operator=(const TNib&) = delete;

    tb::Status Init(const QString& nibName);
    tb::Status CreateWindow(const QString& windowName, tb::Window** outWindow);
    tb::Status SetMenuBar(const QString& menuBarName);

private:
    tb::Nib* m_nib = nullptr;
};
