// Tests of the desktop calls' bookkeeping and of the crash guard that gives the desktop back.
#include "platform/win32/app/win32_app.h"
#include "platform/win32/common/win32_crash_guard.h"
#include "platform/win32/common/win32_handles.h"
#include "platform/win32/desktop/win32_desktop.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <exception>
#include <string>
#include <thread>

// The C++ runtime's handler of a pure virtual call.
extern "C" void __cxa_pure_virtual();

namespace platform::win32 {
namespace {

constexpr wchar_t kTargetVariable[] = L"KWOBL_CRASH_GUARD_TARGET";

// A visible top-level window of this process that a test (or its child process) hides.
class TargetWindow {
public:
    TargetWindow()
        : m_hwnd(::CreateWindowExW(WS_EX_TOOLWINDOW, L"STATIC", L"crash guard target", WS_POPUP | WS_VISIBLE, 10,
                                   10, 50, 50, nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr))
    {
    }
    [[nodiscard]] HWND hwnd() const { return m_hwnd.get(); }

private:
    UniqueHwnd m_hwnd;
};

NativeHandle native(HWND hwnd)
{
    return reinterpret_cast<NativeHandle>(hwnd);
}

TEST(Win32DesktopTest, DebtCountsHiddenCursorAndWindows)
{
    DesktopDebt debt;
    HWND a = reinterpret_cast<HWND>(0x1234);
    HWND b = reinterpret_cast<HWND>(0x5678);
    debt.cursor_hidden();
    debt.cursor_hidden();
    debt.cursor_shown();
    EXPECT_EQ(debt.hidden_cursor_count(), 1);
    debt.cursor_shown();
    debt.cursor_shown();
    EXPECT_EQ(debt.hidden_cursor_count(), 0) << "never below zero";

    debt.window_hidden(a);
    debt.window_hidden(a);
    debt.window_hidden(b);
    EXPECT_TRUE(debt.is_hidden(a));
    EXPECT_TRUE(debt.is_hidden(b));
    debt.window_shown(a);
    EXPECT_FALSE(debt.is_hidden(a)) << "hidden twice, shown once: shown";
    EXPECT_TRUE(debt.is_hidden(b));
    debt.window_hidden(nullptr);
    EXPECT_FALSE(debt.is_hidden(nullptr));
}

TEST(Win32DesktopTest, SetWindowPosRecordsWhatItHidesAndRepayShowsIt)
{
    TargetWindow target;
    Win32Desktop desktop;
    desktop.set_window_pos(native(target.hwnd()), 0, 0, 0, 0, 0, SWP_HIDEWINDOW);
    EXPECT_FALSE(::IsWindowVisible(target.hwnd()));
    EXPECT_TRUE(desktop.debt().is_hidden(target.hwnd()));

    desktop.set_window_pos(native(target.hwnd()), 0, 0, 0, 0, 0, SWP_SHOWWINDOW);
    EXPECT_TRUE(::IsWindowVisible(target.hwnd()));
    EXPECT_FALSE(desktop.debt().is_hidden(target.hwnd()));

    desktop.set_window_pos(native(target.hwnd()), 0, 0, 0, 0, 0, SWP_HIDEWINDOW);
    desktop.show_cursor(false);
    EXPECT_EQ(desktop.debt().hidden_cursor_count(), 1);
    desktop.debt().repay();
    EXPECT_TRUE(::IsWindowVisible(target.hwnd()));
    EXPECT_EQ(desktop.debt().hidden_cursor_count(), 0);
}

// The taskbar belongs to the shell, which may be busy or hung: hiding it must not wait for it.
TEST(Win32DesktopTest, AWindowOfAThreadThatDoesNotAnswerIsHiddenWithoutWaitingForIt)
{
    const UniqueHandle made(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    const UniqueHandle answer(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    HWND window = nullptr;
    std::thread shell([&] {
        TargetWindow target;
        window = target.hwnd();
        ::SetEvent(made.get());
        // Busy: no message is looked at until the test says so, then every one.
        ::WaitForSingleObject(answer.get(), INFINITE);
        for (int i = 0; i < 50 && ::IsWindowVisible(window); ++i) {
            MSG message;
            while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
                ::DispatchMessageW(&message);
            ::Sleep(20);
        }
    });
    ::WaitForSingleObject(made.get(), INFINITE);
    Win32Desktop desktop;
    const UniqueHandle returned(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::thread hide([&] {
        desktop.set_window_pos(native(window), 0, 0, 0, 0, 0, SWP_HIDEWINDOW);
        ::SetEvent(returned.get());
    });
    // Without waiting for the busy thread the call returns at once; waiting for it, it never would.
    EXPECT_EQ(::WaitForSingleObject(returned.get(), 5000), WAIT_OBJECT_0) << "the call waited for the busy thread";
    ::SetEvent(answer.get());
    hide.join();
    shell.join();
    EXPECT_TRUE(desktop.debt().is_hidden(window));
}

TEST(Win32DesktopTest, FindWindowMatchesOnlyAnEmptyTitleForAnEmptyName)
{
    TargetWindow titled;
    Win32Desktop desktop;
    EXPECT_EQ(desktop.find_window("Static", "crash guard target"), native(titled.hwnd()));
    EXPECT_NE(desktop.find_window("Static", ""), native(titled.hwnd()));
    EXPECT_EQ(desktop.find_window("KWOBL.NoSuchClass", ""), 0u);
}

TEST(Win32DesktopTest, ImmAssociateContextGivesBackThePreviousContext)
{
    TargetWindow target;
    Win32Desktop desktop;
    const NativeHandle before = desktop.imm_associate_context(native(target.hwnd()), 0);
    EXPECT_EQ(desktop.imm_associate_context(native(target.hwnd()), before), 0u) << "detached in between";
    EXPECT_EQ(desktop.imm_associate_context(native(target.hwnd()), before), before);
}

// ---- The crash guard, seen from a parent process ----
//
// The child is this test program run with one of the CrashGuardChild tests below: it hides the
// parent's window through Win32Desktop, with or without the guard, and then dies one way or
// another. The parent pumps its messages meanwhile, since hiding its window needs its thread.

struct ChildResult {
    bool finished = false;
    DWORD exit_code = 0;
};

ChildResult run_child(const std::wstring& test, HWND target)
{
    ::SetEnvironmentVariableW(kTargetVariable, std::to_wstring(reinterpret_cast<std::uintptr_t>(target)).c_str());
    // The child must die of its fault: the test framework may neither catch it nor skip the test.
    std::wstring command = L"\"" + module_path() + L"\" --gtest_catch_exceptions=0 --gtest_also_run_disabled_tests" +
                           L" --gtest_filter=CrashGuardChild.DISABLED_" + test;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    ChildResult result;
    if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return result;
    const DWORD deadline = ::GetTickCount() + 30000;
    while (::GetTickCount() < deadline) {
        const DWORD wait = ::MsgWaitForMultipleObjects(1, &process.hProcess, FALSE, 100, QS_ALLINPUT);
        if (wait == WAIT_OBJECT_0) {
            result.finished = true;
            break;
        }
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            ::DispatchMessageW(&msg);
    }
    if (!result.finished)
        ::TerminateProcess(process.hProcess, 99);
    ::GetExitCodeProcess(process.hProcess, &result.exit_code);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    ::SetEnvironmentVariableW(kTargetVariable, nullptr);
    return result;
}

class CrashGuardTest : public ::testing::TestWithParam<const wchar_t*> {};

TEST_P(CrashGuardTest, AnAbnormalEndShowsTheHiddenWindowAgain)
{
    TargetWindow target;
    const ChildResult child = run_child(GetParam(), target.hwnd());
    ASSERT_TRUE(child.finished);
    EXPECT_NE(child.exit_code, 0u) << "the child died abnormally";
    EXPECT_TRUE(::IsWindowVisible(target.hwnd()));
}

INSTANTIATE_TEST_SUITE_P(EveryWayToDie, CrashGuardTest,
                         ::testing::Values(L"Abort", L"EscapedException", L"PureVirtualCall", L"AccessViolation"));

// The program may also end normally with the desktop still taken: its unload handler cut short by an
// error, or its event loop ended by one. The guard's going and the program's end both give it back.
class NormalEndTest : public ::testing::TestWithParam<const wchar_t*> {};

TEST_P(NormalEndTest, ANormalEndShowsTheHiddenWindowAgain)
{
    TargetWindow target;
    const ChildResult child = run_child(GetParam(), target.hwnd());
    ASSERT_TRUE(child.finished);
    EXPECT_EQ(child.exit_code, 0u);
    EXPECT_TRUE(::IsWindowVisible(target.hwnd()));
}

INSTANTIATE_TEST_SUITE_P(ReturnOrEnd, NormalEndTest, ::testing::Values(L"ReturnWithDebt", L"EndWithDebt"));

TEST(CrashGuardControlTest, WithoutTheGuardTheWindowStaysHidden)
{
    TargetWindow target;
    const ChildResult child = run_child(L"AbortUnguarded", target.hwnd());
    ASSERT_TRUE(child.finished);
    EXPECT_FALSE(::IsWindowVisible(target.hwnd()));
}

// ---- The child's side: these run only when the parent asks for them ----

HWND parent_target()
{
    wchar_t text[32] = {};
    if (!::GetEnvironmentVariableW(kTargetVariable, text, 32))
        return nullptr;
    return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(std::wcstoull(text, nullptr, 10)));
}

void hide_parent_window(Win32Desktop& desktop)
{
    desktop.show_cursor(false);
    desktop.set_window_pos(native(parent_target()), 0, 0, 0, 0, 0, SWP_HIDEWINDOW);
}

void escape(bool really)
{
    if (really)
        throw std::runtime_error("nobody catches this");
}

TEST(CrashGuardChild, DISABLED_Abort)
{
    Win32Desktop desktop;
    CrashGuard guard(desktop.debt());
    hide_parent_window(desktop);
    std::abort();
}

TEST(CrashGuardChild, DISABLED_EscapedException)
{
    Win32Desktop desktop;
    CrashGuard guard(desktop.debt());
    hide_parent_window(desktop);
    [&]() noexcept { escape(parent_target() != nullptr); }();
}

TEST(CrashGuardChild, DISABLED_PureVirtualCall)
{
    Win32Desktop desktop;
    CrashGuard guard(desktop.debt());
    hide_parent_window(desktop);
    // What a call of a pure virtual function runs. Called directly, since the compiler removes any
    // such call it can see as the undefined behaviour it is.
    __cxa_pure_virtual();
}

TEST(CrashGuardChild, DISABLED_AccessViolation)
{
    // The filter the guard finds installed, and passes the fault on to, ends the process: that keeps
    // the system's debugger from starting.
    ::SetUnhandledExceptionFilter([](EXCEPTION_POINTERS*) -> LONG { std::_Exit(3); });
    Win32Desktop desktop;
    CrashGuard guard(desktop.debt());
    hide_parent_window(desktop);
    volatile int* nowhere = nullptr;
    *nowhere = 1;
}

TEST(CrashGuardChild, DISABLED_ReturnWithDebt)
{
    Win32Desktop desktop;
    CrashGuard guard(desktop.debt());
    hide_parent_window(desktop);
}

TEST(CrashGuardChild, DISABLED_EndWithDebt)
{
    Win32Desktop desktop;
    Win32App app(desktop.debt());
    hide_parent_window(desktop);
    app.end();
}

TEST(CrashGuardChild, DISABLED_AbortUnguarded)
{
    Win32Desktop desktop;
    hide_parent_window(desktop);
    std::abort();
}

} // namespace
} // namespace platform::win32
