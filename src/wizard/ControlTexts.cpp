// The window's texts from the string table: the title, every control's text,
// the lists' column titles, and the names screen readers announce.
#include "settings/BundleUtilities.h"
#include "wizard/mainwindow.h"

void SetLocalizedControlText(tb::Control* control, const QString& key, const QString& suffix,
                             bool asTitle) {
    // A settings value that is absent gives no text to set.
    if (control == nullptr || key.isNull())
        return;
    const QString text = GetLocalizedString(GetMainBundle(), key, suffix);
    if (text.isNull())
        return;
    if (asTitle)
        tb::SetControlTitle(control, text);
    else
        tb::SetControlText(control, text);
}

void MainWindow::SetControlLocalizedString() {
    tb::Window* window = GetWindowRef();
    if (window == nullptr)
        return;
    tb::SetWindowTitle(window, m_Settings.szWindowsTitle);

    struct TextRow {
        tb::ControlID control;
        QString key;
        const char* suffix;
        bool asTitle;
    };
    const TextRow rows[] = {
        {kBackButton, stringBack, nullptr, true},
        {kNextButton, stringNext, nullptr, true},
        {kCancelButton, stringCancel, nullptr, true},
        {controlStaticModelNameTitle, stringModelNameTitle, ":", false},
        {controlStaticModelName, m_Settings.szModelName, nullptr, false},
        {controlGroupLanguage, stringGroupLanguageTitle, nullptr, true},
        {controlStaticLanguageTitle, stringLanguageTitle, nullptr, false},
        {controlGroupPort, stringGroupPortTitle, nullptr, true},
        {controlRadioNetwork, stringNetwork, nullptr, true},
        {controlStaticNetworkDesc, stringNetworkDesc, nullptr, false},
        {controlRadioUSB, stringUSB, nullptr, true},
        {controlStaticUSBDesc, stringUSBDesc, nullptr, false},
        {controlNetworkStaticTitle1, stringNetworkTitle1, nullptr, false},
        {controlNetworkStaticTitle2, stringNetworkTitle2, nullptr, false},
        {controlNetworkStaticModuleName, stringModuleNameTitle, ":", false},
        {controlNetworkEditModuleName, m_Settings.szModuleName, nullptr, false},
        {controlNetworkStaticCommunity, stringCommunityTitle, ":", false},
        {controlNetworkEditCommunity, m_Settings.szCommunity, nullptr, false},
        {controlNetworkRefreshButton, stringRefresh, nullptr, true},
        {controlNetworkAddButton, stringAdd, "...", true},
        {controlUSBStaticTitle1, stringUSBTitle1, nullptr, false},
        {controlUSBStaticTitle2, stringUSBTitle2, nullptr, false},
        {controlUSBStaticModuleName, stringModuleNameTitle, ":", false},
        {controlUSBEditModuleName, m_Settings.szModuleName, nullptr, false},
        {controlUSBRefreshButton, stringRefresh, nullptr, true},
    };
    for (const TextRow& row : rows)
        SetLocalizedControlText(Find(row.control), row.key,
                                row.suffix != nullptr ? QString::fromLatin1(row.suffix) : QString(),
                                row.asTitle);

    struct ColumnRow {
        tb::Control* list;
        uint32_t property;
        const char* key;
    };
    const ColumnRow columns[] = {
        {m_binFileList, kColumnFile, stringFileName},
        {m_binFileList, kColumnSize, stringFileSize},
        {m_binFileList, kColumnDate, stringReleaseDate},
        {m_networkList, kColumnAddress, stringListIPv4Address},
        {m_networkList, kColumnName, stringPrinterName},
        {m_networkList, kColumnFirmware, stringPrinterFW},
        {m_networkList, kColumnStatus, stringStatus},
        {m_usbList, kColumnSerial, stringSerialNo},
        {m_usbList, kColumnName, stringPrinterName},
        {m_usbList, kColumnFirmware, stringPrinterFW},
        {m_usbList, kColumnStatus, stringStatus},
    };
    const CBundle* bundle = GetMainBundle();
    for (const ColumnRow& column : columns) {
        if (column.list == nullptr)
            continue;
        const QString text = GetLocalizedString(bundle, QString::fromLatin1(column.key));
        if (!text.isNull())
            tb::SetListColumnTitle(column.list, column.property, text);
    }
    // A printer's status is one of the names of g_szStatus, each a key too.
    for (tb::Control* list : {m_networkList, m_usbList}) {
        if (list != nullptr)
            tb::SetListColumnLocalized(list, kColumnStatus);
    }
    SetAccessibleNames();
}

void MainWindow::SetAccessibleNames() {
    struct NameRow {
        tb::ControlID control;
        const char* key;
    };
    static const NameRow kNames[] = {
        {{kPaneSignature, kFirstPaneID}, stringPageFirmware},
        {{kPaneSignature, kFirstPaneID + 1}, stringPagePort},
        {{kPaneSignature, kFirstPaneID + 2}, stringPageNetwork},
        {{kPaneSignature, kFirstPaneID + 3}, stringPageUSB},
        {controlBinFileListView, stringPageFirmware},
        {controlNetworkListView, stringPageNetwork},
        {controlUSBListView, stringPageUSB},
        {controlComboLanguage, stringGroupLanguageTitle},
        {controlNetworkEditModuleName, stringModuleNameTitle},
        {controlUSBEditModuleName, stringModuleNameTitle},
        {controlNetworkEditCommunity, stringCommunityTitle},
    };
    const CBundle* bundle = GetMainBundle();
    for (const NameRow& row : kNames) {
        if (tb::Control* control = Find(row.control))
            tb::SetControlAccessibleName(control,
                                         GetLocalizedString(bundle, QString::fromLatin1(row.key)));
    }
    const QString update = GetLocalizedString(bundle, QString::fromLatin1(stringUpdateColumn));
    if (m_networkList != nullptr)
        tb::SetListColumnAccessibleName(m_networkList, kColumnNetworkCheck, update);
    if (m_usbList != nullptr)
        tb::SetListColumnAccessibleName(m_usbList, kColumnUSBCheck, update);
}
