// Page 1's list of the package's firmware files: one always selected.
#include "wizard/ListRows.h"
#include "wizard/mainwindow.h"

#include <algorithm>
#include <cstdio>

using listrows::ClampedCount;
using listrows::RowOf;
using listrows::SetText;

void MainWindow::InitBinFileListControl() {
    listrows::SetUpList(m_binFileList, &MainWindow::BinFileListDataBrowserItemDataCallback,
                        ClampedCount(m_Settings.nFWCount, kMaxFirmwareFiles));
}

tb::Status MainWindow::BinFileListDataBrowserItemDataCallback(tb::Control* /*browser*/,
                                                              tb::ItemID item, uint32_t property,
                                                              tb::ItemData* data, bool setValue) {
    const int count = ClampedCount(m_Settings.nFWCount, kMaxFirmwareFiles);
    if (count <= 0)
        return tb::kNoErr;
    const BINFILE_LIST_DATA& row = m_Settings.BinfileListdata[RowOf(item, count)];
    if (setValue)
        return tb::kPropertyNotSupported;
    switch (property) {
    case kColumnFile:
        return SetText(data, row.szFileName);
    case kColumnSize:
        return SetText(data, row.szFileSize);
    case kColumnDate:
        return SetText(data, row.szReleaseDate);
    default:
        return tb::kPropertyNotSupported;
    }
}

void MainWindow::OnBinFileListClicked() {
    const int count = ClampedCount(m_Settings.nFWCount, kMaxFirmwareFiles);
    if (count <= 0 || m_binFileList == nullptr)
        return;
    tb::ItemID first = 0;
    tb::ItemID last = 0;
    tb::GetListSelectionAnchor(m_binFileList, &first, &last);
    if (first == last && first != 0 && first <= tb::ItemID(count)) {
        m_Settings.nBinfileIndex = int32_t(first) - 1;
    } else {
        // The list always keeps one file selected.
        const tb::ItemID keep = tb::ItemID(std::clamp(m_Settings.nBinfileIndex, 0, count - 1) + 1);
        tb::SetListSelectedItems(m_binFileList, 1, &keep);
    }
    std::printf("m_Settings.nBinfileIndex=%d\n", m_Settings.nBinfileIndex);
}
