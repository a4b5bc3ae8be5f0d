// List views fed by an item-data callback: the model behind each view, its
// columns as the form names them, items, selection and check boxes.
#include "settings/BundleUtilities.h"
#include "toolbox/ToolboxPrivate.h"

#include <QAbstractItemView>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QTreeView>

#include <algorithm>

namespace tb {

namespace {

ListModel* ModelOf(const Control* control) {
    return control != nullptr ? control->model : nullptr;
}

QAbstractItemView* ViewOf(const Control* control) {
    return control != nullptr ? qobject_cast<QAbstractItemView*>(control->widget) : nullptr;
}

// what(model, column) for the list's column of property; a list without
// that column is left alone.
template <class What> Status OnColumn(const Control* list, uint32_t property, What what) {
    ListModel* model = ModelOf(list);
    const int column = model != nullptr ? model->ColumnOf(property) : -1;
    if (column < 0)
        return kPropertyNotSupported;
    what(*model, column);
    return kNoErr;
}

} // namespace

ListModel::ListModel(Control* c, QObject* parent) : QAbstractTableModel(parent), control(c) {}

int ListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(items.size());
}

int ListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(properties.size());
}

Status ListModel::Ask(ItemID item, uint32_t property, ItemData* data) const {
    if (proc == nullptr)
        return kPropertyNotSupported;
    return proc(control, item, property, data, false);
}

QVariant ListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= int(items.size()) ||
        index.column() >= int(properties.size()))
        return QVariant();
    const bool check = checkColumns[std::size_t(index.column())];
    if (role == Qt::AccessibleTextRole) {
        const QString& name = accessibleNames[std::size_t(index.column())];
        return name.isEmpty() ? QVariant() : QVariant(name);
    }
    if ((check && role != Qt::CheckStateRole) ||
        (!check && role != Qt::DisplayRole && role != Qt::ToolTipRole))
        return QVariant();
    ItemData data;
    if (Ask(items[std::size_t(index.row())], properties[std::size_t(index.column())], &data) !=
        kNoErr)
        return QVariant();
    if (check)
        return data.hasButton && data.button != 0 ? Qt::Checked : Qt::Unchecked;
    return data.hasText ? QVariant(Shown(index.column(), data.text)) : QVariant();
}

QString ListModel::Shown(int column, const QString& text) const {
    if (!localizedColumns[std::size_t(column)] || text.isEmpty())
        return text;
    return GetLocalizedString(GetMainBundle(), text);
}

bool ListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || role != Qt::CheckStateRole || proc == nullptr ||
        index.row() >= int(items.size()) || !checkColumns[std::size_t(index.column())])
        return false;
    ItemData data;
    data.button = value.toInt() == Qt::Checked ? 1 : 0;
    data.hasButton = true;
    const Status status = proc(control, items[std::size_t(index.row())],
                               properties[std::size_t(index.column())], &data, true);
    emit dataChanged(this->index(index.row(), 0), this->index(index.row(), columnCount({}) - 1));
    return status == kNoErr;
}

Qt::ItemFlags ListModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (checkColumns[std::size_t(index.column())])
        f |= Qt::ItemIsUserCheckable;
    return f;
}

QVariant ListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= int(titles.size()))
        return QVariant();
    if (role == Qt::AccessibleTextRole) {
        const QString& name = accessibleNames[std::size_t(section)];
        return name.isEmpty() ? QVariant() : QVariant(name);
    }
    if (role != Qt::DisplayRole)
        return QVariant();
    return titles[std::size_t(section)];
}

void ListModel::AddItems(std::size_t count, const ItemID* ids) {
    if (count == 0)
        return;
    const int first = int(items.size());
    beginInsertRows(QModelIndex(), first, first + int(count) - 1);
    items.insert(items.end(), ids, ids + count);
    endInsertRows();
}

void ListModel::RemoveItems(std::size_t count, const ItemID* ids) {
    if (count == 0) {
        beginResetModel();
        items.clear();
        endResetModel();
        return;
    }
    for (std::size_t i = 0; i < count; ++i) {
        const int row = RowOf(ids[i]);
        if (row < 0)
            continue;
        beginRemoveRows(QModelIndex(), row, row);
        items.erase(items.begin() + row);
        endRemoveRows();
    }
}

void ListModel::SetProc(ItemDataProc p) {
    beginResetModel();
    proc = p;
    endResetModel();
}

void ListModel::Refresh() {
    if (!items.empty() && !properties.empty())
        emit dataChanged(index(0, 0), index(int(items.size()) - 1, int(properties.size()) - 1));
}

void ListModel::SetTitle(int column, const QString& title) {
    titles[std::size_t(column)] = title;
    emit headerDataChanged(Qt::Horizontal, column, column);
}

int ListModel::ColumnOf(uint32_t property) const {
    for (std::size_t i = 0; i < properties.size(); ++i) {
        if (properties[i] == property)
            return int(i);
    }
    return -1;
}

int ListModel::RowOf(ItemID item) const {
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (items[i] == item)
            return int(i);
    }
    return -1;
}

void SetUpListView(Control* control) {
    QAbstractItemView* view = ViewOf(control);
    if (view == nullptr || control->model != nullptr)
        return;
    auto* model = new ListModel(control, view);
    const QStringList columns = view->property("columns").toStringList();
    const QStringList checks = view->property("checkColumns").toStringList();
    const QStringList titles = view->property("columnTitles").toStringList();
    for (int i = 0; i < columns.size(); ++i) {
        model->properties.push_back(CodeFromText(columns[i]));
        model->checkColumns.push_back(checks.contains(columns[i]));
        model->titles.push_back(i < titles.size() ? titles[i] : QString());
        model->accessibleNames.emplace_back();
        model->localizedColumns.push_back(false);
    }
    view->setModel(model);
    control->model = model;
    if (auto* tree = qobject_cast<QTreeView*>(view)) {
        const QStringList widths = view->property("columnWidths").toStringList();
        for (int i = 0; i < widths.size() && i < columns.size(); ++i) {
            if (widths[i].toInt() > 0)
                tree->setColumnWidth(i, widths[i].toInt());
        }
        for (int i = 0; i < columns.size(); ++i) {
            if (model->checkColumns[std::size_t(i)])
                tree->header()->setSectionResizeMode(i, QHeaderView::ResizeToContents);
        }
    }
    const uint32_t command = CommandOf(view);
    if (command == 0)
        return;
    Window* window = control->window;
    QObject::connect(view->selectionModel(), &QItemSelectionModel::selectionChanged, view,
                     [control, window, command] {
                         if (!control->settingSelection && !window->disposed)
                             SendCommand(window, command, kCommandFromControl);
                     });
}

Status SetListItemDataCallback(Control* list, ItemDataProc proc) {
    ListModel* model = ModelOf(list);
    if (model == nullptr)
        return kParamErr;
    model->SetProc(proc);
    return kNoErr;
}

Status AddListItems(Control* list, std::size_t count, const ItemID* items) {
    ListModel* model = ModelOf(list);
    if (model == nullptr || (count > 0 && items == nullptr))
        return kParamErr;
    model->AddItems(count, items);
    return kNoErr;
}

Status RemoveListItems(Control* list, std::size_t count, const ItemID* items) {
    ListModel* model = ModelOf(list);
    if (model == nullptr || (count > 0 && items == nullptr))
        return kParamErr;
    list->settingSelection = true;
    model->RemoveItems(count, items);
    list->settingSelection = false;
    return kNoErr;
}

std::size_t GetListItemCount(const Control* list) {
    ListModel* model = ModelOf(list);
    return model != nullptr ? model->items.size() : 0;
}

Status SetListSelectedItems(Control* list, std::size_t count, const ItemID* items) {
    ListModel* model = ModelOf(list);
    QAbstractItemView* view = ViewOf(list);
    if (model == nullptr || view == nullptr || (count > 0 && items == nullptr))
        return kParamErr;
    QItemSelection selection;
    for (std::size_t i = 0; i < count; ++i) {
        const int row = model->RowOf(items[i]);
        if (row >= 0)
            selection.select(model->index(row, 0), model->index(row, model->columnCount({}) - 1));
    }
    list->settingSelection = true;
    view->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    if (!selection.isEmpty())
        view->selectionModel()->setCurrentIndex(selection.indexes().first(),
                                                QItemSelectionModel::NoUpdate);
    list->settingSelection = false;
    return kNoErr;
}

Status GetListSelectionAnchor(const Control* list, ItemID* first, ItemID* last) {
    ListModel* model = ModelOf(list);
    QAbstractItemView* view = ViewOf(list);
    if (model == nullptr || view == nullptr || first == nullptr || last == nullptr)
        return kParamErr;
    *first = 0;
    *last = 0;
    for (std::size_t row = 0; row < model->items.size(); ++row) {
        if (!view->selectionModel()->isRowSelected(int(row), QModelIndex()))
            continue;
        if (*first == 0)
            *first = model->items[row];
        *last = model->items[row];
    }
    return kNoErr;
}

Status UpdateListItems(Control* list) {
    ListModel* model = ModelOf(list);
    if (model == nullptr)
        return kParamErr;
    model->Refresh();
    return kNoErr;
}

Status SetListColumnTitle(Control* list, uint32_t property, const QString& title) {
    return OnColumn(list, property,
                    [&](ListModel& model, int column) { model.SetTitle(column, title); });
}

Status SetListColumnAccessibleName(Control* list, uint32_t property, const QString& name) {
    return OnColumn(list, property, [&](ListModel& model, int column) {
        model.accessibleNames[std::size_t(column)] = name;
        emit model.headerDataChanged(Qt::Horizontal, column, column);
        model.Refresh();
    });
}

Status SetListColumnLocalized(Control* list, uint32_t property) {
    return OnColumn(list, property, [](ListModel& model, int column) {
        model.localizedColumns[std::size_t(column)] = true;
        model.Refresh();
    });
}

bool ToggleSelectedRow(Control* list) {
    ListModel* model = ModelOf(list);
    QAbstractItemView* view = ViewOf(list);
    if (model == nullptr || view == nullptr || model->items.empty())
        return false;
    const auto check = std::find(model->checkColumns.begin(), model->checkColumns.end(), true);
    if (check == model->checkColumns.end())
        return false;
    int row = -1;
    for (std::size_t i = 0; i < model->items.size() && row < 0; ++i) {
        if (view->selectionModel()->isRowSelected(int(i), QModelIndex()))
            row = int(i);
    }
    if (row < 0 && view->currentIndex().isValid())
        row = view->currentIndex().row();
    if (row < 0 || row >= int(model->items.size()))
        return false;
    const QModelIndex cell = model->index(row, int(check - model->checkColumns.begin()));
    // Every set is a flip for the callback; the value proposed is the flip.
    const bool checked = model->data(cell, Qt::CheckStateRole).toInt() == Qt::Checked;
    model->setData(cell, checked ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
    return true;
}

Status GetListColumnTitle(const Control* list, uint32_t property, QString* outTitle) {
    if (outTitle == nullptr)
        return kPropertyNotSupported;
    return OnColumn(list, property, [outTitle](const ListModel& model, int column) {
        *outTitle = model.titles[std::size_t(column)];
    });
}

QString GetListCellText(Control* list, ItemID item, uint32_t property) {
    ListModel* model = ModelOf(list);
    if (model == nullptr)
        return QString();
    ItemData data;
    model->Ask(item, property, &data);
    const int column = model->ColumnOf(property);
    if (data.hasText)
        return column < 0 ? data.text : model->Shown(column, data.text);
    if (data.hasButton)
        return QString::number(data.button);
    return QString();
}

Status SetItemDataText(ItemData* data, const QString& text) {
    if (data == nullptr)
        return kParamErr;
    data->text = text;
    data->hasText = true;
    return kNoErr;
}

Status SetItemDataButtonValue(ItemData* data, int32_t value) {
    if (data == nullptr)
        return kParamErr;
    data->button = value;
    data->hasButton = true;
    return kNoErr;
}

Status GetItemDataButtonValue(const ItemData* data, int32_t* outValue) {
    if (data == nullptr || outValue == nullptr || !data->hasButton)
        return kParamErr;
    *outValue = data->button;
    return kNoErr;
}

} // namespace tb
