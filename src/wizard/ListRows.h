// What the wizard's lists share: their items count from 1 over a table of
// m_Settings, and both printer lists answer their view through one
// item-data callback, told apart only by the table and its columns.
#pragma once

#include "settings/SettingsData.h"
#include "toolbox/Toolbox.h"
#include "wizard/mainwindow.h"

#include <cstdint>

namespace listrows {

inline int ClampedCount(int count, int capacity) {
    return count < 0 ? 0 : (count > capacity ? capacity : count);
}

// Row of a list item: item IDs count from 1; out-of-range IDs are held to
// the table's ends.
inline int RowOf(tb::ItemID item, int count) {
    const int64_t row = int64_t(item) - 1;
    return int(row < 0 ? 0 : (row > count - 1 ? count - 1 : row));
}

// A null text sets nothing.
inline tb::Status SetText(tb::ItemData* data, const QString& text) {
    return text.isNull() ? tb::kNoErr : tb::SetItemDataText(data, text);
}

// Gives the list its callback and items 1 to count, the first selected.
inline void SetUpList(tb::Control* list, tb::ItemDataProc callback, int count) {
    if (list == nullptr)
        return;
    tb::SetListItemDataCallback(list, callback);
    for (tb::ItemID item = 1; int(item) <= count; ++item) {
        tb::AddListItems(list, 1, &item);
        if (item == 1)
            tb::SetListSelectedItems(list, 1, &item);
    }
}

// A printer list: the table of m_Settings it shows (rows in use, a tick per
// row, the rows), its tick column, and the column of the one text that
// tells its rows apart (the address, the serial number). Name, firmware and
// status are fields of every printer row.
template <class Row, int Capacity> struct PrinterTable {
    int32_t SETTINGS_DATA::*count;
    uint8_t (SETTINGS_DATA::*ticks)[Capacity];
    Row (SETTINGS_DATA::*rows)[Capacity];
    uint32_t tickColumn;
    uint32_t keyColumn;
    QString Row::*key;
};

// The item-data callback of a printer list: a cell's tick or text, or the
// user's click on a tick, which flips it whatever the view proposes and lets
// the Next button follow.
template <class Row, int Capacity>
tb::Status PrinterItemData(const PrinterTable<Row, Capacity>& table, tb::ItemID item,
                           uint32_t property, tb::ItemData* data, bool setValue) {
    const int count = ClampedCount(m_Settings.*table.count, Capacity);
    if (count <= 0)
        return tb::kNoErr;
    const int row = RowOf(item, count);
    uint8_t& tick = (m_Settings.*table.ticks)[row];
    if (setValue) {
        if (property != table.tickColumn)
            return tb::kPropertyNotSupported;
        tick = tick == 0 ? 1 : 0;
        if (m_Settings.pMainWindow != nullptr)
            m_Settings.pMainWindow->EnableNextControl();
        tb::SetItemDataButtonValue(data, tick);
        return tb::kNoErr;
    }
    const Row& entry = (m_Settings.*table.rows)[row];
    if (property == table.tickColumn) {
        tb::SetItemDataButtonValue(data, tick != 0 ? 1 : 0);
        return tb::kNoErr;
    }
    if (property == table.keyColumn)
        return SetText(data, entry.*table.key);
    switch (property) {
    case kColumnName:
        return SetText(data, entry.szPrinterName);
    case kColumnFirmware:
        return SetText(data, entry.szPrinterFW);
    case kColumnStatus:
        return SetText(data, entry.szStatus);
    default:
        return tb::kPropertyNotSupported;
    }
}

} // namespace listrows
