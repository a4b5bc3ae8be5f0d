// The USB road: page 1 -> Next -> USB -> Next (the attached printer is read)
// -> its row ticked -> Next (the download through the USB out-pipe), with a
// picture of each step, of the progress dialog and of every message. A
// package for USB only goes from page 1 straight to the USB list.
#include "DemoDriver.h"

#include "wizard/ProgressDlg.h"
#include "wizard/mainwindow.h"

bool RunUsbRoad(DemoDriver& driver) {
    driver.Picture(QStringLiteral("1-firmware-files"));
    driver.Press(kNextButton);
    if (g_pMainWindow != nullptr && g_pMainWindow->CurrentPage() == 2) {
        driver.Press(controlRadioUSB);
        driver.Picture(QStringLiteral("2-port"));
        driver.Press(kNextButton); // the attached printer is read here
    }
    if (g_pMainWindow == nullptr || g_pMainWindow->CurrentPage() != 4) {
        driver.Fail(QStringLiteral("the USB printer page was not reached"));
        return false;
    }
    driver.Picture(QStringLiteral("3-usb-printer"));
    const int found = m_Settings.nUSBCount;
    driver.Log(QStringLiteral("%1 USB printer(s) of the model attached").arg(found));
    for (int i = 0; i < found; ++i) {
        const USB_LIST_DATA& row = m_Settings.USBListdata[i];
        driver.Log(QStringLiteral("  %1  %2  %3  %4")
                       .arg(row.szSerialNumber, row.szPrinterName, row.szPrinterFW, row.szStatus));
    }
    if (found == 0) {
        driver.Fail(QStringLiteral("no USB printer of the model is attached"));
        return false;
    }
    m_Settings.bUSBChecked[0] = 1;
    tb::UpdateListItems(driver.Find(controlUSBListView));
    g_pMainWindow->EnableNextControl();
    driver.Picture(QStringLiteral("4-ticked"));

    bool progressShown = false;
    driver.WhileBusy([&driver, &progressShown] {
        CProgressDlg* progress =
            g_pMainWindow != nullptr ? g_pMainWindow->ProgressDialog() : nullptr;
        if (progress != nullptr && progress->IsShowing())
            progressShown = driver.Picture(progress->GetWindowRef(), QStringLiteral("5-progress"));
    });
    driver.Press(kNextButton); // the download: every file, each on a fresh opening
    driver.Picture(QStringLiteral("6-finished"));
    if (!progressShown)
        driver.Log(QStringLiteral("(the download was too short for a picture of its progress)"));
    // One message, number 0: "Firmware download completed!" in any language.
    const bool completed = driver.MessageNumbers() == std::vector<int>{0};
    driver.Log(completed ? QStringLiteral("the USB printer received the whole package")
                         : QStringLiteral("the USB download did not complete"));
    return completed && !driver.Failed();
}
