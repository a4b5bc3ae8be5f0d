#include "HIFramework/TNib.h"

TNib::~TNib() {
    if (m_nib != nullptr)
        tb::DisposeNib(m_nib);
}

tb::Status TNib::Init(const QString& nibName) {
    tb::Nib* nib = nullptr;
    const tb::Status status = tb::CreateNib(nibName, &nib);
    if (status == tb::kNoErr)
        m_nib = nib;
    return status;
}

tb::Status TNib::CreateWindow(const QString& windowName, tb::Window** outWindow) {
    return tb::CreateWindowFromNib(m_nib, windowName, outWindow);
}

tb::Status TNib::SetMenuBar(const QString& menuBarName) {
    return tb::SetMenuBarFromNib(m_nib, menuBarName);
}
