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

// Key filter of the five address fields: hexadecimal digits, ":" and ".",
// and the editing keys.
int NumericFilter(tb::Control* control, int16_t* keyCode, int16_t* charCode, uint32_t* modifiers);
extern tb::KeyFilterProc fFilterProc;

class CAddIPAddressDlg : public TWindow {
public:
    CAddIPAddressDlg();
    // Tells the main window that its dialog is gone.
    ~CAddIPAddressDlg() override;

    void ShowDialog(MainWindow* parent);
    bool HandleCommand(const tb::Command& command) override;
    tb::Status HandleEvent(tb::HandlerCall* call, TCarbonEvent& event) override;
    tb::Status EditChanged(tb::HandlerCall* call, TCarbonEvent& event);
    void SetControlLocalizedString();

    // The address texts made at OK; null before.
    const QString& IPv4Address() const { return m_szIPv4Address; }
    const QString& IPv6Address() const { return m_szIPv6Address; }
    int32_t AddressType() const { return m_nAddressType; }
    // The main window is closing: it no longer hears from this dialog.
    void ForgetParent() { m_pParent = nullptr; }

private:
    MainWindow* m_pParent = nullptr;
    tb::Control* m_ipv4Radio = nullptr;
    tb::Control* m_ipv6Radio = nullptr;
    tb::Control* m_ipv6Edit = nullptr;
    tb::Control* m_ipv4Edit[4] = {};
    tb::Control* m_okButton = nullptr;
    QString m_szIPv4Address;
    QString m_szIPv6Address;
    int32_t m_nAddressType = 1; // 1 IPv4, 0 IPv6

    void SelectAddressType(int32_t type);
    int OctetIndex(const tb::Control* control) const;
};
