// The dialog for typing the address of a printer that discovery did not find.
#pragma once

#include "HIFramework/TWindow.h"

class MainWindow;

// Controls of the dialog.
constexpr tb::ControlID controlIPv6Radio = {tb::Code("ADDI"), 100};
constexpr tb::ControlID controlIPv6Edit = {tb::Code("ADDI"), 101};
constexpr tb::ControlID controlIPv4Radio = {tb::Code("ADDI"), 200};
constexpr tb::ControlID controlAddOKButton = {tb::Code("ADDI"), 300};
constexpr tb::ControlID controlAddCancelButton = {tb::Code("ADDI"), 301};
constexpr tb::ControlID controlIPv4Edit1 = {tb::Code("ADDI"), 501};
constexpr tb::ControlID controlIPv4Edit2 = {tb::Code("ADDI"), 502};
constexpr tb::ControlID controlIPv4Edit3 = {tb::Code("ADDI"), 503};
constexpr tb::ControlID controlIPv4Edit4 = {tb::Code("ADDI"), 504};

constexpr uint32_t kCommandAddressOK = tb::Code("IPOK");
constexpr uint32_t kCommandAddressCancel = tb::Code("IPCA");
constexpr uint32_t kCommandAddressIPv4 = tb::Code("IPV4");
constexpr uint32_t kCommandAddressIPv6 = tb::Code("IPV6");

class CAddIPAddressDlg : public TWindow {
public:
    CAddIPAddressDlg();
    ~CAddIPAddressDlg() override = default;

    void ShowDialog(MainWindow* parent);
    bool HandleCommand(const tb::Command& command) override;

private:
    MainWindow* m_pParent = nullptr;
    [[maybe_unused]] int32_t m_nAddressType = 1; // 1 IPv4, 0 IPv6
};
