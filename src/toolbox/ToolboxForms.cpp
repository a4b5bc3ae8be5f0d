// Windows and the menu bar from the forms of an interface file: their
// buttons, tab controls and menu items wired to commands, and how screen
// readers see a tab control without its strip.
#include "toolbox/ToolboxPrivate.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QTabBar>
#include <QTabWidget>
#include <QUiLoader>

namespace tb {

namespace {

QMenuBar* g_menuBar = nullptr;
Window* g_menuBarOwner = nullptr;
QUiLoader* g_loader = nullptr;

// A tab control whose strip is hidden, as a screen reader sees it: the
// pages, without the strip and its scroll buttons.
class PagesAccessible : public QAccessibleWidget {
public:
    explicit PagesAccessible(QWidget* w) : QAccessibleWidget(w, QAccessible::Pane) {}

    int childCount() const override { return int(Children().size()); }
    QAccessibleInterface* child(int index) const override {
        const QList<QWidget*> children = Children();
        if (index < 0 || index >= children.size())
            return nullptr;
        return QAccessible::queryAccessibleInterface(children.at(index));
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        if (child == nullptr || !child->object() || !child->object()->isWidgetType())
            return -1;
        return int(Children().indexOf(static_cast<QWidget*>(child->object())));
    }

private:
    QList<QWidget*> Children() const {
        QList<QWidget*> children;
        auto* tabs = static_cast<QTabWidget*>(widget());
        for (QObject* object : tabs->children()) {
            auto* w = qobject_cast<QWidget*>(object);
            if (w != nullptr && !w->isWindow() && w != tabs->tabBar())
                children.append(w);
        }
        return children;
    }
};

QAccessibleInterface* AccessibleFactory(const QString& className, QObject* object) {
    if (className == QLatin1String("QTabWidget") && object != nullptr && object->isWidgetType() &&
        object->property("tabStripHidden").toBool())
        return new PagesAccessible(static_cast<QWidget*>(object));
    return nullptr;
}

void HookMenuActions(QMenuBar* bar) {
    for (QAction* action : bar->findChildren<QAction*>()) {
        const uint32_t command = CommandOf(action);
        if (command == 0)
            continue;
        QObject::connect(action, &QAction::triggered, bar, [command] {
            Window* front = FrontWindow();
            SendCommand(front, command, kCommandFromMenu);
        });
    }
    for (QMenu* menu : bar->findChildren<QMenu*>()) {
        QObject::connect(menu, &QMenu::aboutToShow, bar, [menu] {
            for (QAction* action : menu->actions()) {
                Command command{};
                command.commandID = CommandOf(action);
                command.attributes = kCommandFromMenu;
                if (command.commandID == 0)
                    continue;
                Event* event = CreateEvent(kClassCommand, kCommandUpdateStatus);
                SetEventParameter(event, kParamDirectObject, kTypeCommand, sizeof command,
                                  &command);
                Window* front = FrontWindow();
                SendEvent(event, front != nullptr ? &front->target : ApplicationTarget());
                ReleaseEvent(event);
            }
        });
    }
}

QWidget* LoadForm(Nib* nib, const QString& name) {
    if (nib == nullptr || name.isEmpty())
        return nullptr;
    QFile file(nib->folder + QLatin1Char('/') + name + QStringLiteral(".ui"));
    if (!file.open(QIODevice::ReadOnly))
        return nullptr;
    if (g_loader == nullptr) {
        g_loader = new QUiLoader;
        g_loader->setLanguageChangeEnabled(false);
    }
    return g_loader->load(&file, nullptr);
}

} // namespace

uint32_t CommandOf(const QObject* object) {
    return CodeFromText(object->property("command").toString());
}

void InstallAccessibleFactory() {
    static bool installed = false;
    if (!installed) {
        installed = true;
        QAccessible::installFactory(AccessibleFactory);
    }
}

void AttachMenuBar(Window* window) {
    if (g_menuBar == nullptr || window == nullptr || window->widget == nullptr ||
        window->widget->layout() == nullptr)
        return;
    if (g_menuBarOwner != nullptr && g_menuBarOwner != window)
        DetachMenuBar(g_menuBarOwner);
    g_menuBar->setParent(window->widget);
    window->widget->layout()->setMenuBar(g_menuBar);
    g_menuBar->show();
    g_menuBarOwner = window;
}

void DetachMenuBar(Window* window) {
    if (g_menuBar == nullptr || g_menuBarOwner != window)
        return;
    if (window->widget != nullptr && window->widget->layout() != nullptr)
        window->widget->layout()->setMenuBar(nullptr);
    g_menuBar->hide();
    g_menuBar->setParent(nullptr);
    g_menuBarOwner = nullptr;
}

namespace {

// The menu bar taken off its window and deleted.
void DropMenuBar() {
    if (g_menuBarOwner != nullptr)
        DetachMenuBar(g_menuBarOwner);
    delete g_menuBar;
    g_menuBar = nullptr;
}

} // namespace

void HookWindow(Window* window) {
    QWidget* top = window->widget;
    top->setMouseTracking(true);
    window->wantsMenuBar = top->property("menuBar").toBool();
    for (QWidget* child : top->findChildren<QWidget*>()) {
        if (auto* button = qobject_cast<QAbstractButton*>(child)) {
            if (button->property("defaultButton").toBool())
                window->defaultButton = button;
            if (button->property("cancelButton").toBool())
                window->cancelButton = button;
        }
        if (auto* tabs = qobject_cast<QTabWidget*>(child);
            tabs != nullptr && tabs->property("tabStripHidden").toBool()) {
            // The strip is the tab control's keyboard stop: without it the
            // keyboard goes straight to the controls of the page shown.
            tabs->tabBar()->hide();
            tabs->tabBar()->setFocusPolicy(Qt::NoFocus);
            tabs->setFocusProxy(nullptr);
            tabs->setFocusPolicy(Qt::NoFocus);
        }
        if (auto* view = qobject_cast<QAbstractItemView*>(child);
            view != nullptr && view->property("columns").isValid())
            SetUpListView(FindControl(window, view));
        const uint32_t command = CommandOf(child);
        if (command == 0)
            continue;
        auto send = [window, command] {
            if (!window->disposed)
                SendCommand(window, command, kCommandFromControl);
        };
        if (auto* button = qobject_cast<QAbstractButton*>(child))
            QObject::connect(button, &QAbstractButton::clicked, top, send);
        else if (auto* tabs = qobject_cast<QTabWidget*>(child))
            QObject::connect(tabs, &QTabWidget::tabBarClicked, top, send);
        else if (auto* combo = qobject_cast<QComboBox*>(child))
            QObject::connect(combo, &QComboBox::activated, top, send);
    }
    if (window->wantsMenuBar)
        AttachMenuBar(window);
}

Status CreateNib(const QString& name, Nib** outNib) {
    if (outNib == nullptr)
        return kParamErr;
    *outNib = nullptr;
    const QString folder = QStringLiteral(":/nib/") + name;
    if (name.isEmpty() || !QDir(folder).exists())
        return kResourceNotFound;
    *outNib = new Nib{folder};
    return kNoErr;
}

void DisposeNib(Nib* nib) {
    delete nib;
}

Status CreateWindowFromNib(Nib* nib, const QString& windowName, Window** outWindow) {
    if (outWindow == nullptr)
        return kParamErr;
    *outWindow = nullptr;
    QWidget* widget = LoadForm(nib, windowName);
    if (widget == nullptr)
        return kResourceNotFound;
    InstallHub();
    InstallAccessibleFactory();
    widget->setWindowFlag(Qt::Window, true);
    widget->hide();
    auto* window = new Window(widget);
    HookWindow(window);
    *outWindow = window;
    return kNoErr;
}

Status SetMenuBarFromNib(Nib* nib, const QString& menuBarName) {
    QWidget* form = LoadForm(nib, menuBarName);
    if (form == nullptr)
        return kResourceNotFound;
    auto* bar = form->findChild<QMenuBar*>();
    if (bar == nullptr) {
        delete form;
        return kResourceNotFound;
    }
    for (QAction* action : form->findChildren<QAction*>(Qt::FindDirectChildrenOnly))
        action->setParent(bar);
    bar->setParent(nullptr);
    delete form;
    DropMenuBar();
    g_menuBar = bar;
    bar->hide();
    HookMenuActions(bar);
    if (Window* front = FrontWindow(); front != nullptr && front->wantsMenuBar)
        AttachMenuBar(front);
    return kNoErr;
}

void EnableMenuCommand(uint32_t commandID, bool enable) {
    if (g_menuBar == nullptr)
        return;
    for (QAction* action : g_menuBar->findChildren<QAction*>()) {
        if (CommandOf(action) == commandID)
            action->setEnabled(enable);
    }
}

bool IsMenuCommandEnabled(uint32_t commandID) {
    if (g_menuBar == nullptr)
        return false;
    for (QAction* action : g_menuBar->findChildren<QAction*>()) {
        if (CommandOf(action) == commandID)
            return action->isEnabled();
    }
    return false;
}

void MenuBarOwnerGone(Window* window) {
    if (g_menuBarOwner == window)
        g_menuBarOwner = nullptr;
}

void ReleaseForms() {
    DropMenuBar();
    delete g_loader;
    g_loader = nullptr;
}

} // namespace tb
