// The layer over Qt Widgets: handler chains, typed parameters, controls,
// keys through a field's filter, the interface file and the string table.
// Its list views, Return and Escape are held by the wizard's own tests.
#include "WizardFixture.h"

#include <QLineEdit>

#include <string>
#include <vector>

namespace {

using Log = std::vector<std::string>;

struct Probe {
    Log* log;
    std::string name;
    tb::Status answer;
    bool callNext = false;
};

tb::Status ProbeProc(tb::HandlerCall* call, tb::Event* event, void* userData) {
    auto* probe = static_cast<Probe*>(userData);
    probe->log->push_back(probe->name);
    if (probe->callNext) {
        tb::CallNextHandler(call, event);
        probe->log->push_back(probe->name + " after next");
    }
    return probe->answer;
}

constexpr tb::EventType kDraw = {tb::kClassWindow, tb::kWindowDrawContent};
constexpr tb::EventType kCommand = {tb::kClassCommand, tb::kCommandProcess};

class ToolboxTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(tb::CreateNib("main", &m_nib), tb::kNoErr);
        ASSERT_EQ(tb::CreateWindowFromNib(m_nib, "MainWindow", &m_window), tb::kNoErr);
    }
    void TearDown() override {
        for (tb::HandlerRef h : m_handlers)
            tb::RemoveHandler(h);
        tb::DisposeWindow(m_window);
        tb::DisposeNib(m_nib);
        FlushDeletes();
    }
    tb::HandlerRef Install(tb::EventTarget* target, Probe* probe, tb::EventType type) {
        tb::HandlerRef ref = nullptr;
        EXPECT_EQ(tb::InstallHandler(target, ProbeProc, 1, &type, probe, &ref), tb::kNoErr);
        m_handlers.push_back(ref);
        return ref;
    }
    tb::Status Send(uint32_t eventClass, uint32_t kind) {
        tb::Event* event = tb::CreateEvent(eventClass, kind);
        const tb::Status status = tb::SendEvent(event, tb::WindowTarget(m_window));
        tb::ReleaseEvent(event);
        return status;
    }
    tb::Control* C(tb::ControlID id) { return In(m_window, id); }

    tb::Nib* m_nib = nullptr;
    tb::Window* m_window = nullptr;
    std::vector<tb::HandlerRef> m_handlers;
};

TEST_F(ToolboxTest, LaterHandlersRunFirstAndNotHandledPassesOn) {
    Log log;
    Probe first{&log, "first", tb::kNoErr};
    Probe second{&log, "second", tb::kEventNotHandled};
    Install(tb::WindowTarget(m_window), &first, kDraw);
    Install(tb::WindowTarget(m_window), &second, kDraw);
    EXPECT_EQ(Send(tb::kClassWindow, tb::kWindowDrawContent), tb::kNoErr);
    EXPECT_EQ(log, (Log{"second", "first"}));

    // A handler only sees the kinds it registered for.
    log.clear();
    Send(tb::kClassWindow, tb::kWindowActivated);
    EXPECT_TRUE(log.empty());
}

TEST_F(ToolboxTest, NextHandlerRunsOnceEvenWhenTheCallerThenDeclines) {
    Log log;
    Probe inner{&log, "inner", tb::kNoErr};
    Probe outer{&log, "outer", tb::kEventNotHandled, true};
    Install(tb::WindowTarget(m_window), &inner, kDraw);
    Install(tb::WindowTarget(m_window), &outer, kDraw);
    EXPECT_EQ(Send(tb::kClassWindow, tb::kWindowDrawContent), tb::kNoErr);
    EXPECT_EQ(log, (Log{"outer", "inner", "outer after next"}));
}

TEST_F(ToolboxTest, UnhandledCommandsTravelOnToTheApplication) {
    Log log;
    Probe window{&log, "window", tb::kEventNotHandled};
    Probe app{&log, "app", tb::kNoErr};
    Install(tb::WindowTarget(m_window), &window, kCommand);
    Install(tb::ApplicationTarget(), &app, kCommand);
    EXPECT_EQ(tb::SendCommand(m_window, tb::Code("ABCD")), tb::kNoErr);
    EXPECT_EQ(log, (Log{"window", "app"}));

    log.clear();
    window.answer = tb::kNoErr;
    tb::SendCommand(m_window, tb::Code("ABCD"));
    EXPECT_EQ(log, (Log{"window"}));
}

TEST_F(ToolboxTest, RemovingAHandlerDuringDispatchIsSafe) {
    struct SelfRemover {
        tb::HandlerRef ref = nullptr;
        int calls = 0;
    } remover;
    auto proc = [](tb::HandlerCall*, tb::Event*, void* data) -> tb::Status {
        auto* self = static_cast<SelfRemover*>(data);
        ++self->calls;
        tb::RemoveHandler(self->ref);
        return tb::kEventNotHandled;
    };
    Log log;
    Probe below{&log, "below", tb::kNoErr};
    Install(tb::WindowTarget(m_window), &below, kDraw);
    ASSERT_EQ(
        tb::InstallHandler(tb::WindowTarget(m_window), proc, 1, &kDraw, &remover, &remover.ref),
        tb::kNoErr);
    EXPECT_EQ(Send(tb::kClassWindow, tb::kWindowDrawContent), tb::kNoErr);
    EXPECT_EQ(Send(tb::kClassWindow, tb::kWindowDrawContent), tb::kNoErr);
    EXPECT_EQ(remover.calls, 1);
    EXPECT_EQ(log.size(), 2u);
}

TEST(ToolboxEvents, ParametersAreTyped) {
    tb::Event* event = tb::CreateEvent(tb::kClassWindow, tb::kWindowBoundsChanged);
    const uint32_t attributes = tb::kBoundsSizeChanged;
    ASSERT_EQ(tb::SetEventParameter(event, tb::kParamAttributes, tb::kTypeUInt32, sizeof attributes,
                                    &attributes),
              tb::kNoErr);
    uint32_t read = 0;
    EXPECT_EQ(
        tb::GetEventParameter(event, tb::kParamAttributes, tb::kTypeUInt32, sizeof read, &read),
        tb::kNoErr);
    EXPECT_EQ(read, attributes);
    tb::Point point{};
    EXPECT_EQ(
        tb::GetEventParameter(event, tb::kParamAttributes, tb::kTypePoint, sizeof point, &point),
        tb::kParameterNotFound);
    uint16_t small = 0;
    EXPECT_EQ(
        tb::GetEventParameter(event, tb::kParamAttributes, tb::kTypeUInt32, sizeof small, &small),
        tb::kParameterNotFound);
    EXPECT_EQ(
        tb::GetEventParameter(event, tb::kParamDimensions, tb::kTypePoint, sizeof point, &point),
        tb::kParameterNotFound);
    tb::ReleaseEvent(event);
}

TEST(ToolboxCodes, FourCharacterCodes) {
    EXPECT_EQ(tb::Code("cmds"), 0x636D6473u);
    EXPECT_EQ(tb::CodeFromText("new "), tb::kCommandNew);
    EXPECT_EQ(tb::CodeText(tb::Code("NEXT")), QStringLiteral("NEXT"));
    EXPECT_EQ(tb::CodeFromText("NEX"), 0u);
    EXPECT_EQ(tb::CodeFromText(QString::fromUtf8("NEX\u20AC")), 0u);
}

TEST_F(ToolboxTest, ControlsAreFoundBySignatureAndNumber) {
    tb::Control* next = C({tb::Code("MAIN"), 2});
    ASSERT_NE(next, nullptr);
    EXPECT_EQ(tb::GetControlID(next).id, 2);
    EXPECT_EQ(C({tb::Code("MAIN"), 2}), next) << "one control object per widget";
    tb::Control* missing = nullptr;
    EXPECT_EQ(tb::GetControlByID(m_window, {tb::Code("MAIN"), 99}, &missing), tb::kControlNotFound);
    EXPECT_EQ(missing, nullptr);
    // The number alone is not enough.
    EXPECT_EQ(tb::GetControlByID(m_window, {tb::Code("NETW"), 2}, &missing), tb::kControlNotFound);
}

TEST_F(ToolboxTest, RadioButtonsTakeTheValueTheyAreGiven) {
    tb::Control* network = C({tb::Code("PORT"), 201});
    tb::Control* usb = C({tb::Code("PORT"), 203});
    tb::SetControlValue(network, 1);
    tb::SetControlValue(usb, 0);
    tb::SetControlValue(network, 0);
    EXPECT_EQ(tb::GetControlValue(network), 0) << "an exclusive group must not refuse 0";
    tb::SetControlValue(usb, 1);
    EXPECT_EQ(tb::GetControlValue(usb), 1);
}

TEST_F(ToolboxTest, ButtonClicksBecomeCommands) {
    std::vector<uint32_t> seen;
    auto proc = [](tb::HandlerCall*, tb::Event* event, void* data) -> tb::Status {
        tb::Command command{};
        tb::GetEventParameter(event, tb::kParamDirectObject, tb::kTypeCommand, sizeof command,
                              &command);
        static_cast<std::vector<uint32_t>*>(data)->push_back(command.commandID);
        return tb::kNoErr;
    };
    tb::HandlerRef ref = nullptr;
    tb::InstallHandler(tb::WindowTarget(m_window), proc, 1, &kCommand, &seen, &ref);
    m_handlers.push_back(ref);
    tb::ShowWindow(m_window);
    QTest::mouseClick(tb::NativeWidget(C({tb::Code("MAIN"), 3})), Qt::LeftButton);
    QTest::mouseClick(tb::NativeWidget(C({tb::Code("MAIN"), 2})), Qt::LeftButton);
    EXPECT_EQ(seen, (std::vector<uint32_t>{tb::Code("CANC"), tb::Code("NEXT")}));

    // Return presses the default button (the wizard's keyboard tests), but
    // not while it cannot be used.
    seen.clear();
    tb::DisableControl(C({tb::Code("MAIN"), 2}));
    QTest::keyClick(tb::NativeWidget(m_window), Qt::Key_Return);
    EXPECT_TRUE(seen.empty());
}

int g_filterCalls = 0;
int16_t g_lastChar = 0;
int DigitsOnly(tb::Control*, int16_t*, int16_t* charCode, uint32_t*) {
    ++g_filterCalls;
    g_lastChar = *charCode;
    if ((*charCode >= '0' && *charCode <= '9') || *charCode == tb::kBackspaceChar)
        return tb::kKeyFilterPass;
    tb::Beep();
    return tb::kKeyFilterBlock;
}

TEST_F(ToolboxTest, KeysReachAFieldThroughItsFilter) {
    tb::Control* field = C({tb::Code("NETW"), 306});
    tb::SetControlKeyFilter(field, DigitsOnly);
    tb::ShowWindow(m_window);
    tb::SetControlValue(C({tb::Code("TABC"), 4}), 3);
    auto* edit = qobject_cast<QLineEdit*>(tb::NativeWidget(field));
    ASSERT_NE(edit, nullptr);
    g_filterCalls = 0;
    tb::test::ResetBeepCount();
    QTest::keyClicks(edit, "1a2");
    EXPECT_EQ(edit->text(), QStringLiteral("12"));
    EXPECT_EQ(g_filterCalls, 3);
    EXPECT_EQ(tb::test::BeepCount(), 1);
    QTest::keyClick(edit, Qt::Key_Backspace);
    EXPECT_EQ(g_lastChar, tb::kBackspaceChar);
    EXPECT_EQ(edit->text(), QStringLiteral("1"));
}

TEST(ToolboxNib, MissingInterfaceFileOrWindow) {
    tb::Nib* nib = nullptr;
    EXPECT_EQ(tb::CreateNib("nosuch", &nib), tb::kResourceNotFound);
    EXPECT_EQ(nib, nullptr);
    ASSERT_EQ(tb::CreateNib("main", &nib), tb::kNoErr);
    tb::Window* window = nullptr;
    EXPECT_EQ(tb::CreateWindowFromNib(nib, "NoSuchWindow", &window), tb::kResourceNotFound);
    EXPECT_EQ(window, nullptr);
    tb::DisposeNib(nib);
}

TEST(ToolboxStrings, GermanTableInstallsAndFallsBack) {
    EXPECT_FALSE(tb::InstallStringTable("xx"));
    ASSERT_TRUE(tb::InstallStringTable("de_AT")) << "a regional variant uses the language";
    EXPECT_EQ(QCoreApplication::translate("StringTable", "Next"), QStringLiteral("Weiter"));
    tb::RemoveStringTable();
    EXPECT_EQ(QCoreApplication::translate("StringTable", "Next"), QStringLiteral("Next"));
}

} // namespace
