// Inside of the window and event layer; not for use above it.
#pragma once

#include "toolbox/Toolbox.h"

#include <QAbstractTableModel>
#include <QKeyEvent>
#include <QObject>
#include <QPointer>
#include <QWidget>

#include <map>
#include <memory>
#include <utility>

class QAbstractButton;
class QAbstractItemView;

namespace tb {

struct Handler {
    EventTarget* target = nullptr; // null once the target is gone
    HandlerProc proc = nullptr;
    void* userData = nullptr;
    std::vector<EventType> types;
    bool removed = false;

    bool Wants(uint32_t eventClass, uint32_t eventKind) const;
};

class EventTarget {
public:
    enum class Kind { Application, Window };
    explicit EventTarget(Kind k) : kind(k) {}
    ~EventTarget();
    EventTarget(const EventTarget&) = delete;
    EventTarget& operator=(const EventTarget&) = delete;

    Kind kind;
    Window* window = nullptr;
    EventTarget* parent = nullptr;
    bool disposed = false;
    std::vector<std::shared_ptr<Handler>> handlers; // in order of installation
};

class HandlerCall {
public:
    EventTarget* target = nullptr;
    std::vector<std::shared_ptr<Handler>> chain; // in calling order
    std::size_t next = 0;
    bool nextRan = false;
    Status nextStatus = kEventNotHandled;
};

class Event {
public:
    struct Parameter {
        uint32_t type = 0;
        std::vector<uint8_t> bytes;
    };
    int references = 1;
    uint32_t eventClass = 0;
    uint32_t eventKind = 0;
    std::map<uint32_t, Parameter> parameters;
    // The key press that became this event, while it is being delivered.
    QKeyEvent* nativeKey = nullptr;
    QPointer<QWidget> nativeReceiver;
};

class ListModel;

class Control {
public:
    Window* window = nullptr;
    QPointer<QWidget> widget;
    ControlID id{0, 0};
    KeyFilterProc keyFilter = nullptr;
    ListModel* model = nullptr; // owned by the view
    bool settingSelection = false;
};

class Window {
public:
    explicit Window(QWidget* w);
    ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    QPointer<QWidget> widget;
    EventTarget target{EventTarget::Kind::Window};
    std::vector<std::unique_ptr<Control>> controls;
    std::map<std::pair<uint32_t, uint32_t>, std::vector<uint8_t>> properties;
    QPointer<QAbstractButton> defaultButton;
    QPointer<QAbstractButton> cancelButton;
    bool disposed = false;
    bool sizeLimitsApplied = false;
    bool wantsMenuBar = false;
};

class Nib {
public:
    QString folder;
};

class ItemData {
public:
    QString text;
    bool hasText = false;
    int32_t button = 0;
    bool hasButton = false;
};

class ListModel : public QAbstractTableModel {
public:
    ListModel(Control* control, QObject* parent);

    int rowCount(const QModelIndex& parent) const override;
    int columnCount(const QModelIndex& parent) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    void AddItems(std::size_t count, const ItemID* items);
    void RemoveItems(std::size_t count, const ItemID* items);
    void Refresh();
    void SetProc(ItemDataProc p);
    void SetTitle(int column, const QString& title);
    int ColumnOf(uint32_t property) const;
    int RowOf(ItemID item) const;
    Status Ask(ItemID item, uint32_t property, ItemData* data) const;

    Control* control;
    ItemDataProc proc = nullptr;
    std::vector<ItemID> items;
    std::vector<uint32_t> properties;
    std::vector<bool> checkColumns;
    std::vector<QString> titles;
    std::vector<QString> accessibleNames;
    std::vector<bool> localizedColumns;

    // What a cell of the column shows for the callback's text.
    QString Shown(int column, const QString& text) const;
};

// Depth of work in progress that a window must not be deleted under: event
// dispatch and Qt signals of our own widgets.
struct BusyScope {
    BusyScope();
    ~BusyScope();
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;
};
bool IsBusy();

// Whether a handler is installed and not yet removed.
bool IsLiveHandler(HandlerRef ref);
// An event of no parameters sent to the window (then the application).
void SendWindowEvent(Window* window, uint32_t eventClass, uint32_t eventKind);
// Qt's events of the layer's windows reach them through one event filter.
void InstallHub();

Window* WindowOfWidget(QWidget* top);
Control* FindControl(Window* window, QWidget* widget);
Status DefaultWindowHandling(Window* window, Event* event);
Status DefaultApplicationHandling(Event* event);
void SetUpListView(Control* control);
void SetFrontWindow(Window* window);
Window* FrontWindow();
void AttachMenuBar(Window* window);
void DetachMenuBar(Window* window);
// A window going away that may still be named as the menu bar's.
void MenuBarOwnerGone(Window* window);
// The menu bar and the form loader freed, at the end of the process.
void ReleaseForms();
void HookWindow(Window* window);
// The four-character command a form gives a control or menu item, 0 for none.
uint32_t CommandOf(const QObject* object);
int16_t CharCodeOfKey(int key, const QString& text);
void SendKey(Window* window, QWidget* receiver, QKeyEvent* key);
// Delivers text to the window as typed keys (see SetControlKeyFilter).
void TypeText(Window* window, QWidget* field, const QString& text);
// Flips the check box of the selected row (else the current row) of a list
// with a check box column; false when there is none to flip.
bool ToggleSelectedRow(Control* list);
// Screen readers see a tab control whose strip is hidden without the strip.
void InstallAccessibleFactory();

// One of the layer's own texts (kText...) from the string table.
QString LayerText(const char* key);

// Told after every beep the user hears; none in the program itself.
using BeepListener = void (*)();
void SetBeepListener(BeepListener listener);

// The object name of every caution alert, so that it can be told apart from
// Qt's own message boxes.
inline constexpr const char* kCautionAlertName = "cautionAlert";

// Beeps asked for inside the scope become one beep at its end.
struct QuietBeepScope {
    QuietBeepScope();
    ~QuietBeepScope();
    QuietBeepScope(const QuietBeepScope&) = delete;
    QuietBeepScope& operator=(const QuietBeepScope&) = delete;
};

} // namespace tb
