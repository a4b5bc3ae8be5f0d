#include "AddIPAddress.h"

#include "mainwindow.h"

CAddIPAddressDlg::CAddIPAddressDlg() : TWindow("AddIPDialog", "main") {}

void CAddIPAddressDlg::ShowDialog(MainWindow* parent) {
    m_pParent = parent;
    if (GetWindowRef() == nullptr) {
        // Nothing to show; the object would otherwise never be freed.
        delete this;
        return;
    }
    if (parent != nullptr)
        tb::CenterWindowOnParent(GetWindowRef(), parent->GetWindowRef());
    Show();
}

bool CAddIPAddressDlg::HandleCommand(const tb::Command& command) {
    switch (command.commandID) {
    case kCommandAddressCancel:
        Close();
        return true;
    case kCommandAddressOK:
    case kCommandAddressIPv4:
    case kCommandAddressIPv6:
        // Address entry is wired up by the address-checking work.
        return true;
    default:
        return false;
    }
}
