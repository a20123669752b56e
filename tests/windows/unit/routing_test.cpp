// HostWindowProc's routing, row by row, with the show replaced by a recorder: this test
// program links everything but the ride engine.
#include <gtest/gtest.h>

#include "fake_platform.h"
#include "windows/host/host.h"
#include "windows/show/show_win32.h"

Show NewShow(void) {
    return Show();
}

const LRESULT kShowResult = 0x5E;

bool ShowProc(SaverShow&, HWND window, UINT message, WPARAM wParam, LPARAM lParam, const ShowContext& context,
              LRESULT* result) {
    fake.Record("ShowProc(" + Hex(window) + "," + Hex(message) + "," + Hex(wParam) + "," + std::to_string(lParam) +
                ")");
    // The show is lent the host's own module and record.
    EXPECT_EQ(context.instance, hostState.instance);
    EXPECT_EQ(context.settings, &hostState.settings);
    *result = kShowResult;
    return true;
}

void EndShow(SaverShow&) {
    fake.Record("EndShow(hostState.show)");
}

void ScaleShow(SaverShow&, HWND window, int32_t scale) {
    fake.Record("ScaleShow(" + Hex(window) + "," + std::to_string(scale) + ")");
}

namespace {

const HWND kWindow = FakeHandle<HWND>(0x100);
const HWND kPane = FakeHandle<HWND>(0x777);

enum Route { Show, Default, ReturnZero, ReturnOne };

struct Row {
    UINT message;
    WPARAM wParam;
    uint32_t isPreview;
    uint32_t closeAllowed;
    Route route;
};

std::string Describe(const Row& row) {
    return Hex(row.message) + " wParam " + Hex(row.wParam) + " preview " + std::to_string(row.isPreview) +
           " closeAllowed " + std::to_string(row.closeAllowed);
}

class Routing : public ::testing::TestWithParam<Row> {
protected:
    void SetUp() override {
        ResetProcess();
        fake.defaultResult = 0xDEF;
    }
};

TEST_P(Routing, FollowsTheTable) {
    const Row& row = GetParam();
    hostState.isPreview = row.isPreview;
    hostState.closeAllowed = row.closeAllowed;
    LRESULT result = HostWindowProc(kWindow, row.message, row.wParam, 42);
    switch (row.route) {
    case Show:
        EXPECT_EQ(result, kShowResult) << Describe(row);
        EXPECT_EQ(fake.Calls("ShowProc"),
                  std::vector<std::string>{"ShowProc(0x100," + Hex(row.message) + "," + Hex(row.wParam) + ",42)"})
            << Describe(row);
        EXPECT_EQ(fake.Count("DefWindowProcA"), 0u) << Describe(row);
        break;
    case Default:
        EXPECT_EQ(result, 0xDEF) << Describe(row);
        EXPECT_EQ(fake.Count("ShowProc"), 0u) << Describe(row);
        EXPECT_EQ(fake.Calls("DefWindowProcA"),
                  std::vector<std::string>{"DefWindowProcA(0x100," + Hex(row.message) + "," + Hex(row.wParam) + ",42)"})
            << Describe(row);
        break;
    case ReturnZero:
    case ReturnOne:
        EXPECT_EQ(result, row.route == ReturnZero ? 0 : 1) << Describe(row);
        EXPECT_EQ(fake.Count("ShowProc"), 0u) << Describe(row);
        EXPECT_EQ(fake.Count("DefWindowProcA"), 0u) << Describe(row);
        break;
    }
}

std::vector<Row> TableRows() {
    std::vector<Row> rows;
    for (uint32_t preview : {0u, 1u}) {
        for (uint32_t allowed : {0u, 1u}) {
            rows.push_back({WM_SETTEXT, 0, preview, allowed, ReturnZero});
            rows.push_back({WM_SETREDRAW, 0, preview, allowed, preview ? Show : ReturnZero});
            rows.push_back({WM_PAINT, 0, preview, allowed, allowed ? Default : Show});
            rows.push_back({WM_HELP, 0, preview, allowed, preview ? ReturnOne : Show});
            rows.push_back({WM_CONTEXTMENU, 0, preview, allowed, preview ? ReturnOne : Show});
            for (UINT input : std::initializer_list<UINT>{WM_KEYDOWN, WM_SYSKEYDOWN, WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_MBUTTONDOWN}) {
                rows.push_back({input, 0, preview, allowed, allowed ? Default : Show});
            }
            for (UINT other : std::initializer_list<UINT>{WM_KEYUP, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_MOUSEWHEEL, WM_CLOSE, WM_ERASEBKGND,
                               WM_ACTIVATEAPP, WM_SETCURSOR, static_cast<UINT>(hostState.verifyPasswordMessage)}) {
                rows.push_back({other, 0, preview, allowed, Show});
            }
            for (WPARAM command : std::initializer_list<WPARAM>{SC_NEXTWINDOW, SC_PREVWINDOW, SC_SCREENSAVE}) {
                rows.push_back({WM_SYSCOMMAND, command, preview, allowed, preview ? Show : ReturnZero});
            }
            rows.push_back({WM_SYSCOMMAND, SC_NEXTWINDOW + 1, preview, allowed, Show});
            rows.push_back({WM_SYSCOMMAND, SC_SCREENSAVE | 2, preview, allowed, Show});
            rows.push_back({WM_SYSCOMMAND, SC_CLOSE, preview, allowed, Show});
            for (WPARAM command : {SC_SIZE, SC_SIZE | 8, SC_MOVE, SC_MOVE | 2, SC_MINIMIZE, SC_MAXIMIZE, SC_RESTORE}) {
                rows.push_back({WM_SYSCOMMAND, command, preview, allowed, preview ? Show : ReturnZero});
            }
            rows.push_back({WM_TIMER, 1, preview, allowed, allowed ? ReturnZero : Show});
        }
    }
    return rows;
}

INSTANTIATE_TEST_SUITE_P(Table, Routing, ::testing::ValuesIn(TableRows()),
                         [](const ::testing::TestParamInfo<Row>& info) {
                             const Row& row = info.param;
                             return "m" + Hex(row.message).substr(2) + "_w" + Hex(row.wParam).substr(2) + "_preview" +
                                    std::to_string(row.isPreview) + "_allowed" + std::to_string(row.closeAllowed);
                         });

class RoutingSteps : public ::testing::Test {
protected:
    void SetUp() override { ResetProcess(); }
};

TEST_F(RoutingSteps, TimerChecksTheWindowYieldsBeforeTheShowAndNotAfterClosing) {
    // Each tick reads the window's styles; whatever another program took is put back.
    fake.windowLongs[{kWindow, GWL_STYLE}] = WS_POPUP | WS_VISIBLE | WS_DISABLED;
    HostWindowProc(kWindow, WM_TIMER, 1, 0);
    EXPECT_EQ(fake.calls, (std::vector<std::string>{"GetWindowLongA(0x100,-16)", "GetWindowLongA(0x100,-20)",
                                                    "EnableWindow(0x100,1)",
                                                    "SetWindowPos(0x100,0xFFFFFFFFFFFFFFFF,0,0,0,0,0x53,own=1)",
                                                    "Sleep(0)", "ShowProc(0x100,0x113,0x1,0)"}));
    fake.calls.clear();
    fake.windowLongs[{kWindow, GWL_STYLE}] = WS_POPUP | WS_VISIBLE;
    fake.windowLongs[{kWindow, GWL_EXSTYLE}] = WS_EX_TOPMOST;
    HostWindowProc(kWindow, WM_TIMER, 1, 0);
    EXPECT_EQ(fake.calls, (std::vector<std::string>{"GetWindowLongA(0x100,-16)", "GetWindowLongA(0x100,-20)",
                                                    "Sleep(0)", "ShowProc(0x100,0x113,0x1,0)"}));
    fake.calls.clear();
    hostState.isPreview = 1;
    HostWindowProc(kWindow, WM_TIMER, 1, 0);
    EXPECT_EQ(fake.calls, (std::vector<std::string>{"Sleep(0)", "ShowProc(0x100,0x113,0x1,0)"}))
        << "a preview is rightly another program's child";
    fake.calls.clear();
    hostState.closeAllowed = 1;
    HostWindowProc(kWindow, WM_TIMER, 1, 0);
    EXPECT_TRUE(fake.calls.empty());
}

TEST_F(RoutingSteps, CreationDetachesTheInputMethodRemembersTheCursorAndHidesIt) {
    fake.loadedModules["IMM32.DLL"] = FakeHandle<HMODULE>(0x1A0);
    fake.entryPoints["ImmAssociateContext"] = reinterpret_cast<FARPROC>(FakeImmAssociateContext);
    fake.cursor = {300, 200};
    HostWindowProc(kWindow, WM_CREATE, 0, 0);
    EXPECT_EQ(fake.calls, (std::vector<std::string>{"GetModuleHandleA(\"IMM32.DLL\")",
                                                    "GetProcAddress(0x1A0,\"ImmAssociateContext\")",
                                                    "ImmAssociateContext(0x100,0)", "GetCursorPos()", "SetCursor(0)",
                                                    "ShowProc(0x100,0x1,0x0,0)"}));
    EXPECT_EQ(hostState.savedImeContext, fake.previousImeContext);
    EXPECT_EQ(hostState.savedCursorPos.x, 300);
    EXPECT_EQ(hostState.savedCursorPos.y, 200);

    fake.calls.clear();
    HostWindowProc(kWindow, WM_DESTROY, 0, 0);
    EXPECT_EQ(fake.calls, (std::vector<std::string>{"ImmAssociateContext(0x100,0x1CC)", "PostQuitMessage(0)",
                                                    "ShowProc(0x100,0x2,0x0,0)"}));
}

TEST_F(RoutingSteps, InputMethodIsNeverLoadedAndRestoredOnlyWithAllThreeValues) {
    HostWindowProc(kWindow, WM_CREATE, 0, 0);
    EXPECT_EQ(fake.Count("LoadLibraryA"), 0u);
    EXPECT_EQ(fake.Count("GetProcAddress"), 0u);
    fake.calls.clear();
    HostWindowProc(kWindow, WM_DESTROY, 0, 0);
    EXPECT_EQ(fake.Count("ImmAssociateContext"), 0u);

    ResetProcess();
    fake.loadedModules["IMM32.DLL"] = FakeHandle<HMODULE>(0x1A0);
    fake.entryPoints["ImmAssociateContext"] = reinterpret_cast<FARPROC>(FakeImmAssociateContext);
    fake.previousImeContext = nullptr;
    HostWindowProc(kWindow, WM_CREATE, 0, 0);
    fake.calls.clear();
    HostWindowProc(kWindow, WM_DESTROY, 0, 0);
    EXPECT_EQ(fake.Count("ImmAssociateContext"), 0u) << "no context to give back";
}

TEST_F(RoutingSteps, PreviewNeverHidesTheCursorButStillRemembersIt) {
    hostState.isPreview = 1;
    fake.cursor = {5, 6};
    HostWindowProc(kWindow, WM_CREATE, 0, 0);
    HostWindowProc(kWindow, WM_PAINT, 0, 0);
    EXPECT_EQ(fake.Count("SetCursor"), 0u);
    EXPECT_EQ(hostState.savedCursorPos.x, 5);

    ResetProcess();
    HostWindowProc(kWindow, WM_PAINT, 0, 0);
    EXPECT_EQ(fake.calls, (std::vector<std::string>{"SetCursor(0)", "ShowProc(0x100,0xF,0x0,0)"}));
}

TEST_F(RoutingSteps, HelpInPreviewGoesToThePaneWithThePaneAsWParam) {
    hostState.isPreview = 1;
    fake.parents[kWindow] = kPane;
    fake.windows.insert(kPane);
    EXPECT_EQ(HostWindowProc(kWindow, WM_CONTEXTMENU, 0x100, 0x00050006), 1);
    EXPECT_EQ(fake.Calls("PostMessageA"), std::vector<std::string>{"PostMessageA(0x777,0x7B,0x777,327686)"});

    fake.windows.erase(kPane);
    fake.calls.clear();
    EXPECT_EQ(HostWindowProc(kWindow, WM_HELP, 0, 99), 1);
    EXPECT_EQ(fake.Count("PostMessageA"), 0u) << "the pane is gone";

    fake.parents.clear();
    fake.calls.clear();
    EXPECT_EQ(HostWindowProc(kWindow, WM_HELP, 0, 99), 1);
    EXPECT_EQ(fake.Count("IsWindow"), 0u) << "no parent to confirm";
}

}  // namespace
