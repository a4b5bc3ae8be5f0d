#include "wizard/AddIPAddress.h"

#include "settings/BundleUtilities.h"
#include "wizard/mainwindow.h"

#include <cstdio>

tb::KeyFilterProc fFilterProc = NumericFilter;

namespace {

bool IsEditingKey(int16_t c) {
    return c == tb::kHomeChar || c == tb::kEndChar || c == tb::kBackspaceChar ||
           (c >= tb::kLeftArrowChar && c <= tb::kDownArrowChar) || c == tb::kDeleteChar;
}

// The decimal value of a field's leading digits; 0 when there are none. Never
// more than a few digits can stand in an octet field, but the text is only
// ours to trust up to its first non-digit.
int DecimalValue(const QString& text) {
    int value = 0;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            break;
        value = value * 10 + (c.unicode() - '0');
        if (value > 99999)
            break;
    }
    return value;
}

uint8_t KeyChar(const TCarbonEvent& event) {
    uint8_t c = 0;
    event.GetParameter(tb::kParamKeyChar, tb::kTypeChar, sizeof c, &c);
    return c;
}

} // namespace

int NumericFilter(tb::Control* /*control*/, int16_t* /*keyCode*/, int16_t* charCode,
                  uint32_t* /*modifiers*/) {
    const int16_t c = charCode != nullptr ? *charCode : 0;
    if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') || c == ':' ||
        c == '.' || IsEditingKey(c))
        return tb::kKeyFilterPass;
    tb::Beep();
    return tb::kKeyFilterBlock;
}

CAddIPAddressDlg::CAddIPAddressDlg() : TWindow("AddIPDialog", "main") {}

CAddIPAddressDlg::~CAddIPAddressDlg() {
    if (m_pParent != nullptr)
        m_pParent->AddIPDialogClosed(this);
}

void CAddIPAddressDlg::ShowDialog(MainWindow* parent) {
    m_pParent = parent;
    tb::Window* window = GetWindowRef();
    if (window == nullptr) {
        // Nothing to show; the object would otherwise never be freed.
        delete this;
        return;
    }
    if (parent != nullptr) {
        // A dialog of the main window: it never falls behind it.
        tb::SetWindowParent(window, parent->GetWindowRef());
        tb::CenterWindowOnParent(window, parent->GetWindowRef());
    }

    auto find = [window](tb::ControlID id) {
        tb::Control* control = nullptr;
        return tb::GetControlByID(window, id, &control) == tb::kNoErr ? control : nullptr;
    };
    m_ipv4Radio = find(controlIPv4Radio);
    m_ipv6Radio = find(controlIPv6Radio);
    m_ipv6Edit = find(controlIPv6Edit);
    m_ipv4Edit[0] = find(controlIPv4Edit1);
    m_ipv4Edit[1] = find(controlIPv4Edit2);
    m_ipv4Edit[2] = find(controlIPv4Edit3);
    m_ipv4Edit[3] = find(controlIPv4Edit4);
    m_okButton = find(controlAddOKButton);

    tb::SetControlKeyFilter(m_ipv6Edit, fFilterProc);
    for (tb::Control* edit : m_ipv4Edit)
        tb::SetControlKeyFilter(edit, fFilterProc);
    SelectAddressType(m_nAddressType);

    static const tb::EventType kEvents[] = {
        {tb::kClassKeyboard, tb::kRawKeyDown},
        {tb::kClassKeyboard, tb::kRawKeyRepeat},
        {tb::kClassMouse, tb::kMouseMoved},
    };
    RegisterForEvents(std::size(kEvents), kEvents);
    SetControlLocalizedString();
    Show();
}

void CAddIPAddressDlg::SetControlLocalizedString() {
    tb::Window* window = GetWindowRef();
    if (window == nullptr)
        return;
    const CBundle* bundle = GetMainBundle();
    const QString title = GetLocalizedString(bundle, QString::fromLatin1(stringAddIPAddress));
    if (!title.isNull())
        tb::SetWindowTitle(window, title);
    struct TextRow {
        tb::ControlID control;
        const char* key;
        const char* suffix;
    };
    static const TextRow kRows[] = {
        {controlIPv6Radio, stringIPv6Address, ":"},
        {controlIPv4Radio, stringIPv4Address, ":"},
        {controlAddOKButton, stringOK, nullptr},
        {controlAddCancelButton, stringCancel, nullptr},
    };
    for (const TextRow& row : kRows) {
        tb::Control* control = nullptr;
        tb::GetControlByID(window, row.control, &control);
        SetLocalizedControlText(control, QString::fromLatin1(row.key),
                                row.suffix != nullptr ? QString::fromLatin1(row.suffix) : QString(),
                                true);
    }
    // The fields have no label of their own for a screen reader.
    static const TextRow kNames[] = {
        {controlIPv4Edit1, stringFirstOctet, nullptr},
        {controlIPv4Edit2, stringSecondOctet, nullptr},
        {controlIPv4Edit3, stringThirdOctet, nullptr},
        {controlIPv4Edit4, stringFourthOctet, nullptr},
        {controlIPv6Edit, stringIPv6Address, nullptr},
    };
    for (const TextRow& row : kNames) {
        tb::Control* control = nullptr;
        if (tb::GetControlByID(window, row.control, &control) == tb::kNoErr)
            tb::SetControlAccessibleName(control,
                                         GetLocalizedString(bundle, QString::fromLatin1(row.key)));
    }
}

void CAddIPAddressDlg::SelectAddressType(int32_t type) {
    m_nAddressType = type;
    tb::SetControlValue(m_ipv4Radio, type == 1 ? 1 : 0);
    tb::SetControlValue(m_ipv6Radio, type == 1 ? 0 : 1);
}

int CAddIPAddressDlg::OctetIndex(const tb::Control* control) const {
    for (int i = 0; i < 4; ++i) {
        if (control != nullptr && m_ipv4Edit[i] == control)
            return i;
    }
    return -1;
}

bool CAddIPAddressDlg::HandleCommand(const tb::Command& command) {
    switch (command.commandID) {
    case kCommandAddressOK: {
        int result = 0;
        if (m_nAddressType == 1) {
            int octets[4] = {};
            bool any = false;
            for (int i = 0; i < 4; ++i) {
                // Longer texts than a C string of the old size were never read.
                octets[i] = DecimalValue(tb::GetControlText(m_ipv4Edit[i]).left(255));
                any = any || octets[i] != 0;
            }
            if (!any)
                return true;
            m_szIPv4Address =
                QString::asprintf("%d.%d.%d.%d", octets[0], octets[1], octets[2], octets[3]);
            if (m_pParent != nullptr)
                result = m_pParent->OnAddIPAddressOKV4(this);
        } else {
            m_szIPv6Address = tb::GetControlText(m_ipv6Edit).left(255);
            if (m_szIPv6Address.isNull())
                m_szIPv6Address = QStringLiteral("");
            if (m_pParent != nullptr)
                result = m_pParent->OnAddIPAddressOKV6(this);
        }
        if (result == -1)
            return true;
        Close();
        return true;
    }
    case kCommandAddressCancel:
        Close();
        return true;
    case kCommandAddressIPv4:
        SelectAddressType(1);
        return true;
    case kCommandAddressIPv6:
        SelectAddressType(0);
        return true;
    default:
        return false;
    }
}

tb::Status CAddIPAddressDlg::HandleEvent(tb::HandlerCall* call, TCarbonEvent& event) {
    const uint32_t eventClass = event.GetClass();
    const uint32_t kind = event.GetKind();
    // The base routing may close (delete) this dialog; nothing of the object
    // is touched after a window event it handled.
    if (TWindow::HandleEvent(call, event) == tb::kNoErr && eventClass != tb::kClassKeyboard &&
        eventClass != tb::kClassMouse)
        return tb::kNoErr;
    if (eventClass == tb::kClassKeyboard && (kind == tb::kRawKeyDown || kind == tb::kRawKeyRepeat))
        return EditChanged(call, event);
    if (eventClass == tb::kClassMouse && kind == tb::kMouseMoved) {
        tb::SetArrowCursor();
        return tb::kEventNotHandled;
    }
    return tb::kEventNotHandled;
}

tb::Status CAddIPAddressDlg::EditChanged(tb::HandlerCall* call, TCarbonEvent& event) {
    tb::Control* focus = tb::GetKeyboardFocus(GetWindowRef());
    if (focus == nullptr)
        return tb::kEventNotHandled;
    const uint8_t keyChar = KeyChar(event);

    if (focus == m_ipv6Edit) {
        SelectAddressType(0);
        return tb::kEventNotHandled;
    }
    const int index = OctetIndex(focus);
    if (index < 0)
        return tb::kEventNotHandled;
    tb::Control* next = m_ipv4Edit[(index + 1) % 4];

    SelectAddressType(1);
    const QString text = tb::GetControlText(focus);
    int32_t start = 0;
    int32_t end = 0;
    const bool selected = tb::GetFieldSelection(focus, &start, &end) == tb::kNoErr && start != end;
    if (!selected && keyChar >= '0' && keyChar <= '9' && text.size() == 3) {
        tb::SetKeyboardFocus(next);
        return tb::kNoErr;
    }
    if (keyChar == '.') {
        if (DecimalValue(text) > 0)
            tb::SetKeyboardFocus(next);
        return tb::kNoErr;
    }
    tb::CallNextHandler(call, event.GetEventRef());
    const QString after = tb::GetControlText(focus);
    if (DecimalValue(after) > 255)
        tb::SetControlText(focus, QString::asprintf("%d", 255));
    if (after.size() > 2)
        tb::SetKeyboardFocus(next);
    return tb::kNoErr;
}
