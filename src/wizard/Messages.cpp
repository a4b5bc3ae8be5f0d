// What the wizard tells the user: the numbered messages, the alert for a
// settings file that cannot be used, and the finished state after a
// completed download.
#include "settings/BundleUtilities.h"
#include "wizard/mainwindow.h"

#include <cstdio>
#include <iterator>

const char* MainWindow::MessageText(int code) {
    static const char* const kTexts[] = {
        stringSUCCESS,           stringUSB_FWDOANLOAD_FAIL, stringNETWORK_FWDOANLOAD_FAIL,
        stringIPRepeated,        stringIPInvalid,           stringDisconnectPrinter,
        stringDisconnectPrinter, stringChecksumMismatch,    stringFileChanged,
    };
    return code >= 0 && unsigned(code) < std::size(kTexts) ? kTexts[code] : nullptr;
}

void MainWindow::ShowMessage(int code, const QString& extra) {
    const CBundle* bundle = GetMainBundle();
    const QString title = GetLocalizedString(bundle, QString::fromLatin1(stringMessageTitle));
    if (MessageText(code) == nullptr)
        code = 0;
    const QString text = GetLocalizedString(bundle, QString::fromLatin1(MessageText(code)), extra);
    const int before = m_messageShown;
    m_messageShown = code;
    StandardCautionAlert(title, text);
    m_messageShown = before;
}

void MainWindow::ReportSettingsProblem() {
    const SETTINGS_LOAD_REPORT& report = LastSettingsLoad();
    QString title;
    QString text;
    if (SettingsProblemAlert(report.problem, report.path, &title, &text))
        StandardCautionAlert(title, text);
}

bool MainWindow::SettingsProblemAlert(SettingsProblem problem, const QString& path, QString* title,
                                      QString* text) {
    const char* reason = nullptr;
    switch (problem) {
    case SettingsProblem::None:
        return false;
    case SettingsProblem::Missing:
        reason = stringSettingsMissing;
        break;
    case SettingsProblem::Unreadable:
        reason = stringSettingsUnreadable;
        break;
    case SettingsProblem::Corrupt:
        reason = stringSettingsCorrupt;
        break;
    case SettingsProblem::TooLarge:
        reason = stringSettingsTooLarge;
        break;
    case SettingsProblem::TooDeep:
        reason = stringSettingsTooDeep;
        break;
    case SettingsProblem::TooManyValues:
        reason = stringSettingsTooManyValues;
        break;
    case SettingsProblem::Ambiguous:
        reason = stringSettingsAmbiguous;
        break;
    }
    std::printf("InitSettings: %s: %s\n", qPrintable(path), reason);
    const CBundle* bundle = GetMainBundle();
    *title = GetLocalizedString(bundle, QString::fromLatin1(stringMessageTitle));
    *text = GetLocalizedString(bundle, QString::fromLatin1(stringSettingsUnusable)) +
            QLatin1Char('\n') + path + QLatin1Char('\n') +
            GetLocalizedString(bundle, QString::fromLatin1(reason));
    return true;
}

int MainWindow::StandardCautionAlert(const QString& title, const QString& message) {
    tb::CautionAlert(GetWindowRef(), title, message);
    return 0;
}

void MainWindow::FinishedContorl() {
    struct Change {
        tb::ControlID control;
        bool hide;
    };
    static const Change kChanges[] = {
        {kBackButton, true},
        {kNextButton, true},
        {controlNetworkListView, false},
        {controlNetworkEditCommunity, false},
        {controlNetworkStaticCommunity, false},
        {controlNetworkRefreshButton, false},
        {controlNetworkAddButton, false},
        {controlUSBListView, false},
        {controlUSBRefreshButton, false},
    };
    for (const Change& change : kChanges) {
        tb::Control* control = Find(change.control);
        if (control == nullptr)
            continue;
        if (change.hide)
            tb::SetControlVisibility(control, false);
        else
            tb::DisableControl(control);
    }
    const CBundle* bundle = GetMainBundle();
    if (m_cancelButton != nullptr)
        tb::SetControlTitle(m_cancelButton,
                            GetLocalizedString(bundle, QString::fromLatin1(stringFinish)));
    struct TextChange {
        tb::ControlID control;
        const char* key;
    };
    static const TextChange kTexts[] = {
        {controlNetworkStaticTitle1, stringSUCCESS},
        {controlUSBStaticTitle1, stringSUCCESS},
        {controlNetworkStaticTitle2, stringNetworkTitle3},
        {controlUSBStaticTitle2, stringUSBTitle3},
    };
    for (const TextChange& change : kTexts) {
        tb::Control* control = Find(change.control);
        if (control == nullptr)
            continue;
        const QString text = GetLocalizedString(bundle, QString::fromLatin1(change.key));
        if (!text.isNull())
            tb::SetControlText(control, text);
    }
}
