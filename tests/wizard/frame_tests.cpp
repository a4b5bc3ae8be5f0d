// Routing of the application and window frame: event kinds and their order,
// handled (0) and not handled (-9874), close, bounds and size queries.
#include "WizardFixture.h"

#include "HIFramework/TApplication.h"
#include "HIFramework/TWindow.h"

#include <string>
#include <vector>

namespace {

using Log = std::vector<std::string>;

// A window whose virtual operations write into a log.
class LoggingWindow : public TWindow {
public:
    // Made in two steps so that a test can put a handler below the frame's.
    LoggingWindow() = default;
    ~LoggingWindow() override {
        if (destroyed != nullptr)
            *destroyed = true;
    }
    using TWindow::Init;

    void Draw() override { log.push_back("Draw"); }
    void Activated() override { log.push_back("Activated"); }
    void Deactivated() override { log.push_back("Deactivated"); }
    void Moved() override { log.push_back("Moved"); }
    void Resized() override { log.push_back("Resized"); }
    tb::Point GetIdealSize() override { return ideal; }
    tb::Point GetMinimumSize() override { return minimum; }
    tb::Point GetMaximumSize() override { return maximum; }
    bool HandleCommand(const tb::Command& command) override {
        log.push_back("Command " + tb::CodeText(command.commandID).toStdString());
        return command.commandID == tb::Code("MINE");
    }
    void Close() override {
        log.push_back("Close");
        if (deleteOnClose)
            TWindow::Close();
    }

    Log log;
    tb::Point ideal{0, 0};
    tb::Point minimum{0, 0};
    tb::Point maximum{0, 0};
    bool deleteOnClose = true;
    bool* destroyed = nullptr;
};

tb::Window* NewPlatformWindow() {
    tb::Nib* nib = nullptr;
    tb::Window* window = nullptr;
    EXPECT_EQ(tb::CreateNib("main", &nib), tb::kNoErr);
    EXPECT_EQ(tb::CreateWindowFromNib(nib, "ProgressDlg", &window), tb::kNoErr);
    tb::DisposeNib(nib);
    return window;
}

// Records that the event reached the handler below the frame's.
tb::Status Below(tb::HandlerCall*, tb::Event*, void* data) {
    static_cast<Log*>(data)->push_back("next handler");
    return tb::kEventNotHandled;
}

class FrameTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_platform = NewPlatformWindow();
        ASSERT_NE(m_platform, nullptr);
        m_window = new LoggingWindow;
    }
    void TearDown() override {
        if (m_below != nullptr)
            tb::RemoveHandler(m_below);
        if (!m_gone)
            delete m_window;
        if (!m_initDone)
            tb::DisposeWindow(m_platform);
        FlushDeletes();
    }
    void InitWithHandlerBelow(std::vector<tb::EventType> types) {
        tb::InstallHandler(tb::WindowTarget(m_platform), Below, types.size(), types.data(),
                           &m_window->log, &m_below);
        Init();
    }
    void Init() {
        ASSERT_EQ(m_window->Init(m_platform), tb::kNoErr);
        m_initDone = true;
        m_window->destroyed = &m_gone;
    }
    tb::Status Send(uint32_t eventClass, uint32_t kind, tb::Event** keep = nullptr) {
        tb::Event* event = tb::CreateEvent(eventClass, kind);
        const tb::Status status = tb::SendEvent(event, tb::WindowTarget(m_platform));
        if (keep != nullptr)
            *keep = event;
        else
            tb::ReleaseEvent(event);
        return status;
    }
    tb::Status SendBounds(const uint32_t* attributes) {
        tb::Event* event = tb::CreateEvent(tb::kClassWindow, tb::kWindowBoundsChanged);
        if (attributes != nullptr)
            tb::SetEventParameter(event, tb::kParamAttributes, tb::kTypeUInt32, sizeof *attributes,
                                  attributes);
        const tb::Status status = tb::SendEvent(event, tb::WindowTarget(m_platform));
        tb::ReleaseEvent(event);
        return status;
    }

    tb::Window* m_platform = nullptr;
    LoggingWindow* m_window = nullptr;
    tb::HandlerRef m_below = nullptr;
    bool m_gone = false;
    bool m_initDone = false;
};

TEST_F(FrameTest, InitWithoutAWindowRegistersNothing) {
    EXPECT_EQ(m_window->Init(nullptr), tb::kParamErr);
    EXPECT_EQ(m_window->GetWindowRef(), nullptr);
    // No handler may have been installed on any target.
    EXPECT_EQ(Send(tb::kClassWindow, tb::kWindowClose), tb::kNoErr);
    EXPECT_TRUE(m_window->log.empty());
    m_initDone = true; // the platform's own close disposed of the window
}

TEST_F(FrameTest, CloseIsHandledWithoutThePlatformsClose) {
    m_window->deleteOnClose = false;
    InitWithHandlerBelow({{tb::kClassWindow, tb::kWindowClose}});
    EXPECT_EQ(Send(tb::kClassWindow, tb::kWindowClose), tb::kNoErr);
    EXPECT_EQ(m_window->log, (Log{"Close"}));
    EXPECT_FALSE(tb::IsWindowDisposed(m_platform));
    EXPECT_EQ(m_window->GetWindowRef(), m_platform);
}

TEST_F(FrameTest, DrawAndActivationCallTheNextHandlerFirst) {
    InitWithHandlerBelow({{tb::kClassWindow, tb::kWindowDrawContent},
                          {tb::kClassWindow, tb::kWindowActivated},
                          {tb::kClassWindow, tb::kWindowDeactivated}});
    EXPECT_EQ(Send(tb::kClassWindow, tb::kWindowDrawContent), tb::kNoErr);
    EXPECT_EQ(Send(tb::kClassWindow, tb::kWindowActivated), tb::kNoErr);
    EXPECT_EQ(Send(tb::kClassWindow, tb::kWindowDeactivated), tb::kNoErr);
    EXPECT_EQ(m_window->log, (Log{"next handler", "Draw", "next handler", "Activated",
                                  "next handler", "Deactivated"}));
}

TEST_F(FrameTest, BoundsChangesBySizeThenOrigin) {
    Init();
    const uint32_t size = tb::kBoundsSizeChanged;
    const uint32_t origin = tb::kBoundsOriginChanged;
    const uint32_t both = tb::kBoundsSizeChanged | tb::kBoundsOriginChanged;
    const uint32_t neither = 1;
    EXPECT_EQ(SendBounds(&size), tb::kNoErr);
    EXPECT_EQ(SendBounds(&origin), tb::kNoErr);
    EXPECT_EQ(SendBounds(&both), tb::kNoErr);
    EXPECT_EQ(m_window->log, (Log{"Resized", "Moved", "Resized"}));
    m_window->log.clear();
    EXPECT_EQ(SendBounds(&neither), tb::kEventNotHandled);
    EXPECT_EQ(SendBounds(nullptr), tb::kEventNotHandled);
    EXPECT_TRUE(m_window->log.empty());
}

TEST_F(FrameTest, SizeQueriesAnswerOnlyWithBothHalves) {
    Init();
    m_window->minimum = {300, 400};
    m_window->ideal = {0, 500};
    tb::Event* event = nullptr;
    EXPECT_EQ(Send(tb::kClassWindow, tb::kWindowGetMinimumSize, &event), tb::kNoErr);
    tb::Point dims{};
    EXPECT_EQ(
        tb::GetEventParameter(event, tb::kParamDimensions, tb::kTypePoint, sizeof dims, &dims),
        tb::kNoErr);
    EXPECT_EQ(dims.v, 300);
    EXPECT_EQ(dims.h, 400);
    tb::ReleaseEvent(event);
    EXPECT_EQ(Send(tb::kClassWindow, tb::kWindowGetIdealSize), tb::kEventNotHandled);
    EXPECT_EQ(Send(tb::kClassWindow, tb::kWindowGetMaximumSize), tb::kEventNotHandled);
    m_window->ideal = {200, 500};
    m_window->maximum = {900, 900};
    EXPECT_EQ(Send(tb::kClassWindow, tb::kWindowGetIdealSize), tb::kNoErr);
    EXPECT_EQ(Send(tb::kClassWindow, tb::kWindowGetMaximumSize), tb::kNoErr);

    // The answers shape the window when it is shown.
    m_window->Show();
    EXPECT_EQ(tb::NativeWidget(m_platform)->minimumSize(), QSize(400, 300));
}

// A window that comes to the front gives the keyboard to its first control.
TEST_F(FrameTest, ShowGivesTheKeyboardToTheFirstControl) {
    Init();
    tb::Control* cancel = nullptr;
    ASSERT_EQ(tb::GetControlByID(m_platform, {tb::Code("PROC"), 100}, &cancel), tb::kNoErr);
    EXPECT_EQ(tb::GetKeyboardFocus(m_platform), nullptr);
    m_window->Show();
    EXPECT_EQ(tb::GetKeyboardFocus(m_platform), cancel);
}

TEST_F(FrameTest, CommandsReachHandleCommand) {
    Init();
    EXPECT_EQ(TWindow::GetTWindow(m_platform), m_window);
    EXPECT_EQ(tb::SendCommand(m_platform, tb::Code("MINE")), tb::kNoErr);
    EXPECT_EQ(tb::SendCommand(m_platform, tb::Code("ELSE")), tb::kEventNotHandled);
    EXPECT_EQ(m_window->log, (Log{"Command MINE", "Command ELSE"}));
    // Nor other classes and kinds.
    EXPECT_EQ(Send(tb::kClassMouse, tb::kMouseMoved), tb::kEventNotHandled);
    EXPECT_EQ(Send(tb::kClassWindow, 999), tb::kEventNotHandled);

    // The close command is enabled by every window, when its status is asked.
    for (const uint32_t id : {tb::kCommandClose, tb::Code("ELSE")}) {
        tb::Event* event = tb::CreateEvent(tb::kClassCommand, tb::kCommandUpdateStatus);
        const tb::Command command{0, id, {}};
        tb::SetEventParameter(event, tb::kParamDirectObject, tb::kTypeCommand, sizeof command,
                              &command);
        EXPECT_EQ(tb::SendEvent(event, tb::WindowTarget(m_platform)),
                  id == tb::kCommandClose ? tb::kNoErr : tb::kEventNotHandled);
        tb::ReleaseEvent(event);
    }
}

TEST_F(FrameTest, DisposalByThePlatformIsNotRepeated) {
    Init();
    tb::DisposeWindow(m_platform);
    EXPECT_EQ(m_window->GetWindowRef(), nullptr);
    delete m_window; // must not dispose of the window a second time
    m_gone = true;
    FlushDeletes();
}

// ---- the application --------------------------------------------------------

class ApplicationTest : public WizardTest {};

TEST_F(ApplicationTest, OnlyItsOwnNewCommandIsHandled) {
    m_package->WriteSettings(NetworkPackage());
    CarbonApp app;
    EXPECT_EQ(app.InitStatus(), tb::kNoErr);
    tb::Event* other = tb::CreateEvent(tb::kClassWindow, tb::kWindowClose);
    {
        TCarbonEvent wrapper(other);
        EXPECT_EQ(app.HandleEvent(nullptr, wrapper), tb::kEventNotHandled);
    }
    tb::ReleaseEvent(other);

    EXPECT_EQ(tb::SendCommand(nullptr, tb::Code("ELSE")), tb::kEventNotHandled);
    EXPECT_EQ(g_pMainWindow, nullptr);

    EXPECT_EQ(tb::SendCommand(nullptr, tb::kCommandNew), tb::kNoErr);
    MainWindow* first = g_pMainWindow;
    ASSERT_NE(first, nullptr);
    tb::SendCommand(g_pMainWindow->GetWindowRef(), kCommandNext);
    ASSERT_EQ(first->CurrentPage(), 2);
    // A second New Window through the main window reaches the application
    // and changes nothing.
    EXPECT_EQ(tb::SendCommand(first->GetWindowRef(), tb::kCommandNew), tb::kNoErr);
    EXPECT_EQ(g_pMainWindow, first);
    EXPECT_EQ(first->CurrentPage(), 2);
}

TEST_F(ApplicationTest, QuitFallsThroughToTheDefaultHandling) {
    m_package->WriteSettings(NetworkPackage());
    CarbonApp app;
    EXPECT_TRUE(
        RunsToItsEnd([] { tb::SendCommand(nullptr, tb::kCommandQuit); }, [&app] { app.Run(); }));
}

TEST_F(ApplicationTest, MenuBarCarriesNewWindowAndQuit) {
    m_package->WriteSettings(NetworkPackage());
    CarbonApp app;
    MainWindow::Create();
    ASSERT_NE(g_pMainWindow, nullptr);
    QWidget* top = tb::NativeWidget(g_pMainWindow->GetWindowRef());
    const QList<QAction*> actions = top->findChildren<QAction*>();
    std::vector<uint32_t> codes;
    for (QAction* action : actions)
        codes.push_back(tb::CodeFromText(action->property("command").toString()));
    EXPECT_NE(std::find(codes.begin(), codes.end(), tb::kCommandNew), codes.end());
    EXPECT_NE(std::find(codes.begin(), codes.end(), tb::kCommandQuit), codes.end());
    // The menu's New Window goes through the window to the application.
    for (QAction* action : actions) {
        if (tb::CodeFromText(action->property("command").toString()) == tb::kCommandNew)
            action->trigger();
    }
    EXPECT_NE(g_pMainWindow, nullptr);
}

} // namespace
