// Tests of the covers over the other monitors: where they are, what they pass on, what they take and give back.
#include "platform/win32/desktop/win32_monitor_covers.h"

#include <gtest/gtest.h>

#include <windowsx.h>

#include <new>
#include <string>
#include <vector>

namespace platform::win32 {
namespace {

// A window that stands for the slideshow window: it writes down the input it is given.
class RecordingWindow {
public:
    RecordingWindow(int left, int top)
    {
        WNDCLASSEXW cls{};
        cls.cbSize = sizeof cls;
        cls.lpfnWndProc = &RecordingWindow::proc;
        cls.hInstance = ::GetModuleHandleW(nullptr);
        cls.lpszClassName = L"KwoblCoverTestTarget";
        ::RegisterClassExW(&cls);
        m_hwnd.reset(::CreateWindowExW(0, cls.lpszClassName, L"target", WS_POPUP | WS_VISIBLE, left, top, 50, 50,
                                       nullptr, nullptr, cls.hInstance, this));
        ::SetForegroundWindow(m_hwnd.get());
        ::SetActiveWindow(m_hwnd.get());
    }
    [[nodiscard]] HWND hwnd() const { return m_hwnd.get(); }
    std::vector<std::string> input;

private:
    static LRESULT CALLBACK proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam)
    {
        if (message == WM_NCCREATE)
            ::SetWindowLongPtrW(hwnd, GWLP_USERDATA,
                                reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams));
        auto* self = reinterpret_cast<RecordingWindow*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        const auto at = [&] {
            return std::to_string(GET_X_LPARAM(lparam)) + "," + std::to_string(GET_Y_LPARAM(lparam));
        };
        switch (message) {
        case WM_MOUSEMOVE: self->input.push_back("move " + at()); return 0;
        case WM_LBUTTONDOWN: self->input.push_back("left " + at()); return 0;
        case WM_RBUTTONDOWN: self->input.push_back("right " + at()); return 0;
        case WM_MBUTTONDOWN: self->input.push_back("middle " + at()); return 0;
        case WM_XBUTTONDOWN: self->input.push_back("x " + at()); return TRUE;
        case WM_KEYDOWN: self->input.push_back("key " + std::to_string(wparam)); return 0;
        case WM_SYSKEYDOWN: self->input.push_back("syskey " + std::to_string(wparam)); return 0;
        default: return ::DefWindowProcW(hwnd, message, wparam, lparam);
        }
    }

    UniqueHwnd m_hwnd;
};

RECT window_rect(HWND hwnd)
{
    RECT r{};
    ::GetWindowRect(hwnd, &r);
    return r;
}

std::string text(const RECT& r)
{
    return std::to_string(r.left) + "," + std::to_string(r.top) + " " + std::to_string(r.right - r.left) + "x" +
           std::to_string(r.bottom - r.top);
}

void pump()
{
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

// A window of the class that the taskbars of the other monitors have.
UniqueHwnd other_taskbar(bool visible)
{
    WNDCLASSEXW cls{};
    cls.cbSize = sizeof cls;
    cls.lpfnWndProc = &::DefWindowProcW;
    cls.hInstance = ::GetModuleHandleW(nullptr);
    cls.lpszClassName = L"Shell_SecondaryTrayWnd";
    ::RegisterClassExW(&cls); // fails harmlessly when the class is there already
    return UniqueHwnd(::CreateWindowExW(WS_EX_TOOLWINDOW, cls.lpszClassName, L"", WS_POPUP | (visible ? WS_VISIBLE : 0),
                                        700, 740, 300, 28, nullptr, nullptr, cls.hInstance, nullptr));
}

TEST(MonitorCoversTest, CoversFillTheOtherMonitorsAndFollowAChangeOfThem)
{
    RecordingWindow target(10, 10);
    std::vector<RECT> monitors = {{640, 0, 1664, 768}, {-1280, 100, 0, 1124}};
    DesktopDebt debt;
    MonitorCovers covers(debt, [&] { return monitors; });
    covers.cover(target.hwnd());

    const std::vector<HWND> first = covers.covers();
    ASSERT_EQ(first.size(), 2u);
    for (std::size_t i = 0; i < first.size(); ++i) {
        HWND cover = first[i];
        EXPECT_EQ(text(window_rect(cover)), text(monitors[i]));
        EXPECT_TRUE(::IsWindowVisible(cover));
        const auto ex = static_cast<DWORD>(::GetWindowLongPtrW(cover, GWL_EXSTYLE));
        EXPECT_EQ(ex & (WS_EX_TOPMOST | WS_EX_NOACTIVATE | WS_EX_TOOLWINDOW),
                  DWORD{WS_EX_TOPMOST | WS_EX_NOACTIVATE | WS_EX_TOOLWINDOW});
        const auto style = static_cast<DWORD>(::GetWindowLongPtrW(cover, GWL_STYLE));
        EXPECT_EQ(style & (WS_CAPTION | WS_THICKFRAME), 0u) << "borderless";
        EXPECT_TRUE(debt.is_cover(cover));
    }
    EXPECT_EQ(::GetActiveWindow(), target.hwnd()) << "a cover took the activation";
    EXPECT_NE(::GetFocus(), first[0]);
    EXPECT_NE(::GetFocus(), first[1]);

    // One monitor goes, the other changes its resolution.
    monitors = {{640, 0, 2560, 1080}};
    ASSERT_NE(covers.watcher(), nullptr);
    ::SendMessageW(covers.watcher(), WM_DISPLAYCHANGE, 32, MAKELPARAM(2560, 1080));
    const std::vector<HWND> second = covers.covers();
    ASSERT_EQ(second.size(), 1u);
    EXPECT_EQ(text(window_rect(second[0])), "640,0 1920x1080");
    EXPECT_FALSE(::IsWindow(first[1]));
    EXPECT_FALSE(debt.is_cover(first[1]));

    // Two monitors again: the new one gets a cover of its own.
    monitors = {{640, 0, 2560, 1080}, {0, 480, 800, 1080}};
    ::SendMessageW(covers.watcher(), WM_DISPLAYCHANGE, 32, 0);
    ASSERT_EQ(covers.covers().size(), 2u);
    EXPECT_EQ(text(window_rect(covers.covers()[1])), "0,480 800x600");
    EXPECT_EQ(::GetActiveWindow(), target.hwnd());

    covers.uncover();
    EXPECT_TRUE(covers.covers().empty());
    EXPECT_EQ(covers.watcher(), nullptr);
    for (HWND cover : second)
        EXPECT_FALSE(::IsWindow(cover));
}

TEST(MonitorCoversTest, AFailureToReadTheMonitorsLeavesTheCoversAsTheyWere)
{
    RecordingWindow target(10, 10);
    bool fail = false;
    DesktopDebt debt;
    MonitorCovers covers(debt, [&] {
        if (fail)
            throw std::bad_alloc();
        return std::vector<RECT>{{640, 0, 1664, 768}};
    });
    covers.cover(target.hwnd());
    ASSERT_EQ(covers.covers().size(), 1u);

    fail = true;
    bool escaped = false;
    try {
        ::SendMessageW(covers.watcher(), WM_DISPLAYCHANGE, 32, 0);
    } catch (...) {
        escaped = true;
    }
    EXPECT_FALSE(escaped) << "an exception crossed the window procedure";
    ASSERT_EQ(covers.covers().size(), 1u);
    EXPECT_TRUE(::IsWindowVisible(covers.covers()[0]));

    fail = false;
    ::SendMessageW(covers.watcher(), WM_DISPLAYCHANGE, 32, 0);
    EXPECT_EQ(covers.covers().size(), 1u);
    covers.uncover();

    // Covering never fails, even when the monitors cannot be read at its start.
    MonitorCovers failing(debt, []() -> std::vector<RECT> { throw std::bad_alloc(); });
    EXPECT_NO_THROW(failing.cover(target.hwnd()));
    EXPECT_TRUE(failing.covers().empty());
    failing.uncover();
}

TEST(MonitorCoversTest, OneMonitorGetsNoCover)
{
    RecordingWindow target(10, 10);
    DesktopDebt debt;
    MonitorCovers covers(debt, [] { return std::vector<RECT>{}; });
    covers.cover(target.hwnd());
    EXPECT_TRUE(covers.covers().empty());
    covers.uncover();
}

TEST(MonitorCoversTest, InputOnACoverReachesTheTargetAtTheSamePlaceOnTheScreen)
{
    // The target's inside starts at 10,10 on the screen; the covers at 640,0 and -1280,100.
    RecordingWindow target(10, 10);
    DesktopDebt debt;
    MonitorCovers covers(debt, [] { return std::vector<RECT>{{640, 0, 1664, 768}, {-1280, 100, 0, 1124}}; });
    covers.cover(target.hwnd());
    ASSERT_EQ(covers.covers().size(), 2u);
    const struct {
        std::size_t cover;
        UINT message;
        WPARAM wparam;
        int x, y;
        const char* seen;
    } cases[] = {
        {0, WM_MOUSEMOVE, 0, 5, 7, "move 635,-3"},
        {0, WM_MOUSEMOVE, MK_LBUTTON, 1023, 767, "move 1653,757"},
        {1, WM_MOUSEMOVE, 0, 3, 4, "move -1287,94"},
        {0, WM_LBUTTONDOWN, MK_LBUTTON, 0, 0, "left 630,-10"},
        {1, WM_RBUTTONDOWN, MK_RBUTTON, 1279, 0, "right -11,90"},
        {0, WM_MBUTTONDOWN, MK_MBUTTON, 10, 10, "middle 640,0"},
        {1, WM_XBUTTONDOWN, MAKEWPARAM(0, XBUTTON1), 1, 1, "x -1289,91"},
        {0, WM_KEYDOWN, 'A', 0, 0, "key 65"},
        {1, WM_SYSKEYDOWN, VK_MENU, 0, 0, "syskey 18"},
    };
    for (const auto& c : cases) {
        target.input.clear();
        ::SendMessageW(covers.covers()[c.cover], c.message, c.wparam, MAKELPARAM(c.x, c.y));
        EXPECT_EQ(target.input, std::vector<std::string>{c.seen}) << c.seen;
    }
    // Nothing is passed on once the covers are gone.
    const HWND old = covers.covers()[0];
    covers.uncover();
    target.input.clear();
    ::SendMessageW(old, WM_LBUTTONDOWN, 0, 0);
    EXPECT_TRUE(target.input.empty());
}

TEST(MonitorCoversTest, OtherTaskbarsAreHiddenWhileCoveringAndShownAgainAfterwards)
{
    UniqueHwnd first = other_taskbar(true);
    UniqueHwnd second = other_taskbar(true);
    UniqueHwnd hidden = other_taskbar(false);
    RecordingWindow target(10, 10);
    DesktopDebt debt;
    MonitorCovers covers(debt, [] { return std::vector<RECT>{{640, 0, 1664, 768}}; });

    covers.cover(target.hwnd());
    EXPECT_FALSE(::IsWindowVisible(first.get()));
    EXPECT_FALSE(::IsWindowVisible(second.get()));
    EXPECT_TRUE(debt.is_hidden(first.get()));
    EXPECT_TRUE(debt.is_hidden(second.get()));
    EXPECT_FALSE(debt.is_hidden(hidden.get())) << "a taskbar that was hidden already is not the program's to show";

    covers.uncover();
    EXPECT_TRUE(::IsWindowVisible(first.get()));
    EXPECT_TRUE(::IsWindowVisible(second.get()));
    EXPECT_FALSE(::IsWindowVisible(hidden.get()));
    EXPECT_FALSE(debt.is_hidden(first.get()));
}

TEST(MonitorCoversTest, TheCrashGuardsRepaymentHidesTheCoversAndShowsTheTaskbars)
{
    UniqueHwnd taskbar = other_taskbar(true);
    RecordingWindow target(10, 10);
    DesktopDebt debt;
    MonitorCovers covers(debt, [] { return std::vector<RECT>{{640, 0, 1664, 768}}; });
    covers.cover(target.hwnd());
    const HWND cover = covers.covers().at(0);
    ASSERT_TRUE(::IsWindowVisible(cover));

    debt.repay();
    pump();
    EXPECT_FALSE(::IsWindowVisible(cover));
    EXPECT_TRUE(::IsWindowVisible(taskbar.get()));
    EXPECT_FALSE(debt.is_cover(cover));
}

} // namespace
} // namespace platform::win32
