// The network road: page 1 -> Next -> "Network (Port9100)" -> Next (the
// search) -> every printer ticked -> Next (the download), with a picture of
// each step, of the progress dialog and of every message. The printer-list
// road stops at the list (pictures of the pages in other languages).
#include "DemoDriver.h"

#include "wizard/ProgressDlg.h"
#include "wizard/mainwindow.h"

namespace {

// Page 1 -> port -> the printer list, a picture of each; the printers found.
int ReachPrinterList(DemoDriver& driver) {
    driver.Picture(QStringLiteral("1-firmware-files"));
    driver.Press(kNextButton);
    driver.Press(controlRadioNetwork);
    driver.Picture(QStringLiteral("2-port"));
    driver.Press(kNextButton); // the search for printers runs here
    driver.Picture(QStringLiteral("3-printers"));
    const int found = m_Settings.nNetworkCount;
    driver.Log(QStringLiteral("%1 printer(s) found").arg(found));
    for (int i = 0; i < found; ++i) {
        const NETWORK_LIST_DATA& row = m_Settings.NetworkListdata[i];
        driver.Log(QStringLiteral("  %1  %2  %3  %4")
                       .arg(row.szIPv4Address, row.szPrinterName, row.szPrinterFW, row.szStatus));
    }
    if (found == 0)
        driver.Fail(QStringLiteral("no printer of the model answered"));
    return found;
}

// Every printer found ticked, as the user would; a picture.
void TickAll(DemoDriver& driver, int found) {
    for (int i = 0; i < found; ++i)
        m_Settings.bNetworkChecked[i] = 1;
    tb::UpdateListItems(driver.Find(controlNetworkListView));
    g_pMainWindow->EnableNextControl();
    driver.Picture(QStringLiteral("4-ticked"));
}

} // namespace

bool RunPrinterListRoad(DemoDriver& driver) {
    const int found = ReachPrinterList(driver);
    if (found == 0)
        return false;
    TickAll(driver, found);
    return !driver.Failed();
}

bool RunNetworkRoad(DemoDriver& driver) {
    const int found = ReachPrinterList(driver);
    if (found == 0)
        return false;
    TickAll(driver, found);

    bool progressShown = false;
    driver.WhileBusy([&driver, &progressShown] {
        CProgressDlg* progress = g_pMainWindow->ProgressDialog();
        if (progress != nullptr && progress->IsShowing())
            progressShown = driver.Picture(progress->GetWindowRef(), QStringLiteral("5-progress"));
    });
    driver.Press(kNextButton); // the download: every file to every printer
    driver.Picture(QStringLiteral("6-finished"));
    if (!progressShown)
        driver.Log(QStringLiteral("(the download was too short for a picture of its progress)"));
    // Message 0 is "Firmware download completed!", whatever the language.
    int completed = 0;
    for (int number : driver.MessageNumbers())
        completed += number == 0 ? 1 : 0;
    driver.Log(QStringLiteral("%1 of %2 printer(s) completed").arg(completed).arg(found));
    return completed == found && !driver.Failed();
}
