// Stand-in for the system-information tool in the end-to-end tests: a window that says which file started.
//
// The version dialog starts the program that the registry names, without arguments. The tests point
// the registry at copies of this program and look for its window, whose caption is "KWOBL e2e tool "
// followed by the full path of the copy that runs, so they see both that a program started and
// which path it was started from. It writes nothing anywhere, so the runs that start it still leave
// no trace, and it closes itself after two minutes should a test fail before closing it.
#include <windows.h>

#include <string>

namespace {

constexpr UINT kLifetimeMs = 120000;

LRESULT CALLBACK tool_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    switch (message) {
    case WM_TIMER:
        DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(window, message, wparam, lparam);
    }
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show)
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    WNDCLASSW wc{};
    wc.lpfnWndProc = tool_proc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = L"KWOBL.E2E.Tool";
    RegisterClassW(&wc);
    const std::wstring caption = std::wstring(L"KWOBL e2e tool ") + path;
    // Up in the top-left corner, clear of the dialogs that the screen's centre holds.
    HWND window = CreateWindowExW(0, wc.lpszClassName, caption.c_str(), WS_OVERLAPPEDWINDOW, 10, 10, 160, 60,
                                  nullptr, nullptr, instance, nullptr);
    if (window == nullptr)
        return 1;
    // `show` is the window style the starting program asked for.
    ShowWindow(window, show);
    SetTimer(window, 1, kLifetimeMs, nullptr);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}
