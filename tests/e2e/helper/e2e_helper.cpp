// Test helper run inside the Wine session: shows and inspects the taskbar, the cursor and the windows.
//
// The end-to-end tests drive the screen saver from Linux (xdotool, screenshots), but some desktop state
// lives only inside the Windows session: whether the taskbar window is visible, whether the cursor is
// shown, where Windows thinks the pointer is, which windows exist and what their controls say. This
// console program answers one such question per run and prints the answer as UTF-8 lines:
//
//   hold                      keep the Wine desktop alive until killed
//   taskbar                   "taskbar visible|hidden|none"
//   taskbar-show              show the taskbar window, then print as "taskbar"
//   cursor                    "cursor showing|hidden x y"
//   cursor-pos X Y            move the pointer, then print as "cursor"
//   windows                   one "window ..." line per top-level window
//   window CAPTION            the first top-level window with that caption, then one "child ..." line
//                             per control inside it; exit status 1 when there is none
//   foreground                the foreground window as a "window ..." line
//   click CAPTION TEXT        press the button labelled TEXT in the window CAPTION (BM_CLICK)
//
// A "window" or "child" line is the kind followed by tab-separated key=value fields.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

std::string utf8(const std::wstring& text)
{
    if (text.empty())
        return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr,
                        nullptr);
    return out;
}

// Writes one line as raw UTF-8 bytes: the tests read a pipe, not a console, so no code page applies.
void print_line(const std::string& line)
{
    const std::string bytes = line + "\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
              nullptr);
}

std::string hex(unsigned long long value)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "0x%llx", value);
    return buffer;
}

std::wstring window_text(HWND window)
{
    wchar_t buffer[1024] = {};
    GetWindowTextW(window, buffer, 1024);
    return buffer;
}

std::wstring class_name(HWND window)
{
    wchar_t buffer[256] = {};
    GetClassNameW(window, buffer, 256);
    return buffer;
}

// The fields the tests look at: identity, texts, visibility, z-order flags, geometry and styles.
std::string describe(const char* kind, HWND window)
{
    RECT rect{};
    GetWindowRect(window, &rect);
    const LONG_PTR style = GetWindowLongPtrW(window, GWL_STYLE);
    const LONG_PTR exstyle = GetWindowLongPtrW(window, GWL_EXSTYLE);
    std::string line = kind;
    line += "\thwnd=" + hex(reinterpret_cast<std::uintptr_t>(window));
    line += "\tid=" + std::to_string(GetDlgCtrlID(window));
    line += "\tclass=" + utf8(class_name(window));
    line += "\ttext=" + utf8(window_text(window));
    line += std::string("\tvisible=") + (IsWindowVisible(window) ? "1" : "0");
    line += std::string("\tenabled=") + (IsWindowEnabled(window) ? "1" : "0");
    line += std::string("\ttopmost=") + ((exstyle & WS_EX_TOPMOST) ? "1" : "0");
    line += "\trect=" + std::to_string(rect.left) + "," + std::to_string(rect.top) + "," +
            std::to_string(rect.right) + "," + std::to_string(rect.bottom);
    line += "\tstyle=" + hex(static_cast<unsigned long>(style));
    line += "\texstyle=" + hex(static_cast<unsigned long>(exstyle));
    return line;
}

HWND taskbar()
{
    return FindWindowW(L"Shell_TrayWnd", nullptr);
}

void print_taskbar()
{
    const HWND bar = taskbar();
    print_line(std::string("taskbar ") + (bar == nullptr ? "none" : IsWindowVisible(bar) ? "visible" : "hidden"));
}

void print_cursor()
{
    CURSORINFO info{};
    info.cbSize = sizeof info;
    if (!GetCursorInfo(&info)) {
        print_line("cursor unknown");
        return;
    }
    print_line(std::string("cursor ") + ((info.flags & CURSOR_SHOWING) ? "showing " : "hidden ") +
               std::to_string(info.ptScreenPos.x) + " " + std::to_string(info.ptScreenPos.y));
}

BOOL CALLBACK collect(HWND window, LPARAM list)
{
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    return TRUE;
}

std::vector<HWND> top_level_windows()
{
    std::vector<HWND> list;
    EnumWindows(collect, reinterpret_cast<LPARAM>(&list));
    return list;
}

std::vector<HWND> children(HWND parent)
{
    std::vector<HWND> list;
    EnumChildWindows(parent, collect, reinterpret_cast<LPARAM>(&list));
    return list;
}

HWND window_by_caption(const std::wstring& caption)
{
    for (HWND window : top_level_windows())
        if (window_text(window) == caption)
            return window;
    return nullptr;
}

// Button captions may carry an access-key marker; "&S" and "S" name the same button here.
std::wstring without_markers(const std::wstring& text)
{
    std::wstring out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'&' && i + 1 < text.size())
            ++i;
        out += text[i];
    }
    return out;
}

int usage()
{
    print_line("usage: e2e_helper hold | taskbar | taskbar-show | cursor | cursor-pos X Y | windows | "
               "window CAPTION | foreground | click CAPTION TEXT");
    return 2;
}

int run(int argc, wchar_t** argv)
{
    if (argc < 2)
        return usage();
    const std::wstring command = argv[1];
    if (command == L"hold") {
        // Touching the desktop connects this process to it, which is what keeps Wine's desktop running.
        GetDesktopWindow();
        taskbar();
        print_line("holding");
        for (;;)
            Sleep(60000);
    }
    if (command == L"taskbar") {
        print_taskbar();
        return 0;
    }
    if (command == L"taskbar-show") {
        if (const HWND bar = taskbar())
            SetWindowPos(bar, nullptr, 0, 0, 0, 0,
                         SWP_SHOWWINDOW | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        print_taskbar();
        return 0;
    }
    if (command == L"cursor") {
        print_cursor();
        return 0;
    }
    if (command == L"cursor-pos" && argc == 4) {
        SetCursorPos(_wtoi(argv[2]), _wtoi(argv[3]));
        print_cursor();
        return 0;
    }
    if (command == L"windows") {
        for (HWND window : top_level_windows())
            print_line(describe("window", window));
        return 0;
    }
    if (command == L"window" && argc == 3) {
        const HWND window = window_by_caption(argv[2]);
        if (window == nullptr)
            return 1;
        print_line(describe("window", window));
        for (HWND child : children(window))
            print_line(describe("child", child));
        return 0;
    }
    if (command == L"foreground") {
        const HWND window = GetForegroundWindow();
        if (window == nullptr)
            return 1;
        print_line(describe("window", window));
        return 0;
    }
    if (command == L"click" && argc == 4) {
        const HWND window = window_by_caption(argv[2]);
        if (window == nullptr)
            return 1;
        for (HWND child : children(window)) {
            if (without_markers(window_text(child)) == without_markers(argv[3])) {
                // Posted, not sent: the button's handler may open a modal window and never return.
                PostMessageW(child, BM_CLICK, 0, 0);
                return 0;
            }
        }
        return 1;
    }
    return usage();
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    return run(argc, argv);
}
