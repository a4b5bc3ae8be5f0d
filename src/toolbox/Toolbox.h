// A small window and event layer over Qt Widgets.
//
// The wizard and its frame speak in events of a class and a kind sent to event
// targets, controls found by a (signature, number) pair and commands with
// four-character codes. This layer is the only code that talks to Qt Widgets;
// everything above it sees the opaque types declared here.
#pragma once

#include <QString>
#include <QStringList>
#include <cstddef>
#include <cstdint>
#include <memory>

class QWidget;

namespace tb {

using Status = int32_t;

constexpr Status kNoErr = 0;
constexpr Status kParamErr = -50;
constexpr Status kResourceNotFound = -192;
constexpr Status kPropertyNotSupported = -4979;
constexpr Status kParameterNotFound = -9870;
constexpr Status kEventNotHandled = -9874;
constexpr Status kControlNotFound = -30584;

// Four-character code, first character in the high byte: Code("cmds").
constexpr uint32_t Code(const char (&s)[5]) {
    return (uint32_t(uint8_t(s[0])) << 24) | (uint32_t(uint8_t(s[1])) << 16) |
           (uint32_t(uint8_t(s[2])) << 8) | uint32_t(uint8_t(s[3]));
}
// The code as four characters ("????" parts stay as they are).
QString CodeText(uint32_t code);
// "ABCD" -> code; 0 unless the text has exactly four Latin-1 characters.
uint32_t CodeFromText(const QString& text);

// Event classes and kinds.
constexpr uint32_t kClassCommand = Code("cmds");
constexpr uint32_t kClassWindow = Code("wind");
constexpr uint32_t kClassKeyboard = Code("keyb");
constexpr uint32_t kClassMouse = Code("mous");

constexpr uint32_t kCommandProcess = 1;
constexpr uint32_t kCommandUpdateStatus = 2;

constexpr uint32_t kWindowDrawContent = 2;
constexpr uint32_t kWindowActivated = 5;
constexpr uint32_t kWindowDeactivated = 6;
constexpr uint32_t kWindowBoundsChanged = 27;
constexpr uint32_t kWindowClose = 72;
constexpr uint32_t kWindowGetIdealSize = 80;
constexpr uint32_t kWindowGetMinimumSize = 81;
constexpr uint32_t kWindowGetMaximumSize = 82;
constexpr uint32_t kWindowDisposed = 1005;

constexpr uint32_t kRawKeyDown = 1;
constexpr uint32_t kRawKeyRepeat = 2;

constexpr uint32_t kMouseDown = 1;
constexpr uint32_t kMouseUp = 2;
constexpr uint32_t kMouseMoved = 5;

// Parameter names and types.
constexpr uint32_t kParamDirectObject = Code("----");
constexpr uint32_t kParamAttributes = Code("attr");
constexpr uint32_t kParamDimensions = Code("dims");
constexpr uint32_t kParamKeyCode = Code("kcod");
constexpr uint32_t kParamKeyChar = Code("kchr");
constexpr uint32_t kParamKeyModifiers = Code("kmod");

constexpr uint32_t kTypeUInt32 = Code("magn");
constexpr uint32_t kTypeCommand = Code("hcmd");
constexpr uint32_t kTypePoint = Code("QDpt");
constexpr uint32_t kTypeChar = Code("TEXT");

// Bits of the 'attr' parameter of a bounds change.
constexpr uint32_t kBoundsSizeChanged = 4;
constexpr uint32_t kBoundsOriginChanged = 8;

// Command attributes: where a command came from.
constexpr uint32_t kCommandFromControl = 1;
constexpr uint32_t kCommandFromMenu = 2;

// Well-known commands.
constexpr uint32_t kCommandQuit = Code("quit");
constexpr uint32_t kCommandNew = Code("new ");
constexpr uint32_t kCommandClose = Code("clos");

struct EventType {
    uint32_t eventClass;
    uint32_t eventKind;
};

// Two 16-bit halves, vertical first.
struct Point {
    int16_t v;
    int16_t h;
};

#pragma pack(push, 2)
struct Command {
    uint32_t attributes;
    uint32_t commandID;
    uint8_t target[6]; // unused here; kept so the record has its usual size
};
#pragma pack(pop)
static_assert(sizeof(Command) == 14);
static_assert(sizeof(Point) == 4);

// ---- events -------------------------------------------------------------

class Event;
class EventTarget;
class HandlerCall;
struct Handler;
using HandlerRef = Handler*;
using HandlerProc = Status (*)(HandlerCall* call, Event* event, void* userData);

// A new event with one reference.
Event* CreateEvent(uint32_t eventClass, uint32_t eventKind);
void RetainEvent(Event* event);
void ReleaseEvent(Event* event);
uint32_t GetEventClass(const Event* event);
uint32_t GetEventKind(const Event* event);
// Typed parameters: a read needs the stored type and size to match exactly.
Status SetEventParameter(Event* event, uint32_t name, uint32_t type, std::size_t size,
                         const void* data);
Status GetEventParameter(const Event* event, uint32_t name, uint32_t type, std::size_t size,
                         void* out);

// Handlers installed later run first; a handler that answers kEventNotHandled
// passes the event on to the next one, and the chain ends in the target's own
// handling. An event nobody handles travels on to the parent target (a
// window's parent is the application).
Status InstallHandler(EventTarget* target, HandlerProc proc, std::size_t count,
                      const EventType* types, void* userData, HandlerRef* outRef);
Status AddHandlerTypes(HandlerRef handler, std::size_t count, const EventType* types);
Status RemoveHandler(HandlerRef handler);
// Runs the rest of the chain, including the target's own handling.
Status CallNextHandler(HandlerCall* call, Event* event);
Status SendEvent(Event* event, EventTarget* target);
EventTarget* ApplicationTarget();

// Sends a command event for code to the window (then the application), or to
// the application when window is null.
class Window;
Status SendCommand(Window* window, uint32_t commandID, uint32_t attributes = 0);

// ---- interface files, windows, menus -----------------------------------

class Nib;
class Control;

// An interface file is a folder of forms compiled into the program.
Status CreateNib(const QString& name, Nib** outNib);
void DisposeNib(Nib* nib);
Status CreateWindowFromNib(Nib* nib, const QString& windowName, Window** outWindow);
// The application's menu bar; it is shown in the window that asks for it.
Status SetMenuBarFromNib(Nib* nib, const QString& menuBarName);
void EnableMenuCommand(uint32_t commandID, bool enable = true);
bool IsMenuCommandEnabled(uint32_t commandID);

EventTarget* WindowTarget(Window* window);
void ShowWindow(Window* window);
void HideWindow(Window* window);
bool IsWindowVisible(const Window* window);
// Paints the window now instead of at the next turn of the event loop.
void DrawWindowNow(Window* window);
// Sends the disposed event, then destroys the window; the Window pointer
// stays valid (marked disposed) until the current event is done.
void DisposeWindow(Window* window);
bool IsWindowDisposed(const Window* window);
void SetWindowTitle(Window* window, const QString& title);
QString GetWindowTitle(const Window* window);
void CenterWindowOnScreen(Window* window);
void CenterWindowOnParent(Window* window, Window* parent);
// Makes a window a dialog of parent: it stays above it, and the window
// manager keeps the two together. The dialog outlives a parent disposed
// before it; call before the window is shown.
void SetWindowParent(Window* window, Window* parent);
// The frontmost shown document window, or null.
Window* ActiveNonFloatingWindow();
// Every window here takes the keyboard when it comes to the front.
constexpr int kActivationScopeAll = 2;
int GetWindowActivationScope(const Window* window);
Status SetWindowProperty(Window* window, uint32_t creator, uint32_t tag, std::size_t size,
                         const void* data);
Status GetWindowProperty(const Window* window, uint32_t creator, uint32_t tag, std::size_t size,
                         void* out);
// Saves a PNG picture of the window's content.
bool SaveWindowPicture(Window* window, const QString& path);

// ---- controls -----------------------------------------------------------

struct ControlID {
    uint32_t signature;
    int32_t id;
};

Status GetControlByID(Window* window, ControlID id, Control** outControl);
Window* GetControlWindow(const Control* control);
ControlID GetControlID(const Control* control);

void SetControlVisibility(Control* control, bool visible);
// Visible once the window is shown (its pane and group included).
bool IsControlVisible(const Control* control);
void EnableControl(Control* control);
void DisableControl(Control* control);
bool IsControlEnabled(const Control* control);
void DrawControl(Control* control);

// The control's static text (labels, fields) or title (buttons, groups).
void SetControlText(Control* control, const QString& text);
void SetControlTitle(Control* control, const QString& title);
QString GetControlText(const Control* control);

// Value: 1/0 for radio buttons and check boxes, the page (from 1) for a tab
// control, the item (from 1) for a pop-up, the position of a progress bar.
void SetControlValue(Control* control, int32_t value);
int32_t GetControlValue(const Control* control);
// The number of items of a pop-up; kParamErr for other controls.
Status GetPopupItemCount(const Control* control, int32_t* outCount);

// The selected characters of a text field, [start, end); start == end at the
// insertion point when nothing is selected. kParamErr for other controls.
Status GetFieldSelection(const Control* control, int32_t* start, int32_t* end);

// Keyboard focus inside a window. Tab and Shift+Tab walk the shown
// controls in reading order; they are never raw keys of a field.
void ClearKeyboardFocus(Window* window);
// The first control that takes the keyboard (in Tab order) gets it.
void AdvanceKeyboardFocus(Window* window);
Control* GetKeyboardFocus(Window* window);
void SetKeyboardFocus(Control* control);

// A key filter sees every key meant for its field before the field does.
// Text pasted (Ctrl+V, Shift+Insert, the context menu, the middle button) or
// dropped into a filtered field arrives as typed keys, one per character up
// to the first line break, through the window's key handlers and the filter:
// what typing would refuse is refused, with one beep for the whole text.
// Copy, cut, select all, undo and redo are the field's own editing.
constexpr int kKeyFilterBlock = 0;
constexpr int kKeyFilterPass = 1;
using KeyFilterProc = int (*)(Control* control, int16_t* keyCode, int16_t* charCode,
                              uint32_t* modifiers);
void SetControlKeyFilter(Control* control, KeyFilterProc filter);
// Whether text can be dropped onto a field.
void SetControlDragTrackingEnabled(Control* control, bool enabled);
bool IsControlDragTrackingEnabled(const Control* control);

// What a screen reader announces for a control; a label's own text serves
// when none is set.
void SetControlAccessibleName(Control* control, const QString& name);
QString GetControlAccessibleName(const Control* control);
// Character codes that keys without a printable character arrive as.
constexpr int16_t kHomeChar = 1;
constexpr int16_t kEndChar = 4;
constexpr int16_t kBackspaceChar = 8;
constexpr int16_t kTabChar = 9;
constexpr int16_t kReturnChar = 13;
constexpr int16_t kEscapeChar = 27;
constexpr int16_t kLeftArrowChar = 28;
constexpr int16_t kRightArrowChar = 29;
constexpr int16_t kUpArrowChar = 30;
constexpr int16_t kDownArrowChar = 31;
constexpr int16_t kDeleteChar = 127;

// ---- list views -----------------------------------------------------------

using ItemID = uint32_t;
class ItemData;
// Asked for a cell's value (setValue false) or told that the user changed one
// (setValue true, a check box click).
using ItemDataProc = Status (*)(Control* list, ItemID item, uint32_t property, ItemData* data,
                                bool setValue);

Status SetListItemDataCallback(Control* list, ItemDataProc proc);
Status AddListItems(Control* list, std::size_t count, const ItemID* items);
// count 0 removes every item.
Status RemoveListItems(Control* list, std::size_t count, const ItemID* items);
std::size_t GetListItemCount(const Control* list);
// Replaces the selection with the given items.
Status SetListSelectedItems(Control* list, std::size_t count, const ItemID* items);
// First and last selected item in list order; both 0 when nothing is selected.
Status GetListSelectionAnchor(const Control* list, ItemID* first, ItemID* last);
// Asks the callback again for every shown cell.
Status UpdateListItems(Control* list);
Status SetListColumnTitle(Control* list, uint32_t property, const QString& title);
// What a screen reader announces for a column's heading and each of its
// cells, for a column whose cells show no text (a check box column).
// Space in a list ticks or unticks the selected row's check box (the first
// check box column) as a click on it would.
Status SetListColumnAccessibleName(Control* list, uint32_t property, const QString& name);
// The column's texts are keys of the string table (a printer's status, say):
// each cell shows the localized text of what the callback gives.
Status SetListColumnLocalized(Control* list, uint32_t property);
Status GetListColumnTitle(const Control* list, uint32_t property, QString* outTitle);
// What a cell shows, asked through the callback ("" when nothing is set).
QString GetListCellText(Control* list, ItemID item, uint32_t property);

Status SetItemDataText(ItemData* data, const QString& text);
Status SetItemDataButtonValue(ItemData* data, int32_t value);
Status GetItemDataButtonValue(const ItemData* data, int32_t* outValue);

// ---- user feedback and the loop -----------------------------------------

// The layer's own texts (alert and chooser buttons, a field's editing menu),
// keys of the program's string table like every other text shown.
inline constexpr const char* kTextOK = "OK";
inline constexpr const char* kTextCancel = "Cancel";
inline constexpr const char* kTextCut = "Cu&t";
inline constexpr const char* kTextCopy = "&Copy";
inline constexpr const char* kTextPaste = "&Paste";
inline constexpr const char* kTextSelectAll = "Select All";
inline constexpr const char* kTextLookIn = "Look in:";
inline constexpr const char* kTextFolder = "Folder:";
inline constexpr const char* kTextFilesOfType = "Files of type:";
inline constexpr const char* kTextChoose = "Choose";

// A modal chooser of a folder over parent (on its own when null), starting
// in startFolder: the folder chosen, absolute, or a null string after Cancel.
QString ChooseFolder(Window* parent, const QString& title, const QString& startFolder);

// A modal caution alert with one OK button, centred on parent; returns when
// the user has dismissed it.
void CautionAlert(Window* parent, const QString& title, const QString& explanation);
// For a run that nobody watches (pictures of the pages without a display):
// every alert is shown and dismissed by its OK as soon as it is up.
void AnswerAlertsAtOnce(bool answer);
void Beep();
void SetWatchCursor();
void SetArrowCursor();

void RunApplicationEventLoop();
void QuitApplicationEventLoop();
bool IsApplicationEventLoopRunning();
// Handles every event that is waiting, then returns.
void DispatchPendingEvents();

// Installs the compiled-in string table for a language ("de"), with Qt's
// own texts for it when they are installed; false when the program has no
// table for it. Installing another replaces the previous one.
bool InstallStringTable(const QString& language);
void RemoveStringTable();
// The string table for the user's language (LANGUAGE, LC_ALL, LC_MESSAGES,
// LANG); false for English or a language without a table.
bool InstallStringTableForUserLocale();

// The process's widget application, made first thing in main and living
// until it returns. Qt takes its own options (-style, -platform, ...) out of
// argv; Arguments() is what is left, the program's name first. Closing the
// last window does not end the loop: the program ends it.
class ApplicationScope {
public:
    ApplicationScope(int& argc, char** argv);
    ~ApplicationScope();
    ApplicationScope(const ApplicationScope&) = delete;
    ApplicationScope& operator=(const ApplicationScope&) = delete;
    QStringList Arguments() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// The program's icon for every window, drawn from a compiled-in SVG, and the
// desktop entry its windows belong to (the Wayland application id). False
// when the icon cannot be read.
bool SetApplicationIdentity(const QString& desktopId, const QString& svgResource);

// Frees the menu bar and everything else the layer keeps for the process.
void Shutdown();

} // namespace tb
