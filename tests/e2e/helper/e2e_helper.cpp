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
//   menu CAPTION              the menu bar of the first visible window with that caption: one
//                             "menu ..." line per entry, depth first, with its path (positions
//                             joined by "."), text with its "&", id, enabled and popup; read inside
//                             the window's process through kwobl_e2e_hook.dll
//   layout CAPTION [CLASS]    the first visible window with that caption (and class): "client ..."
//                             with the client area's screen position and size and the owner, then
//                             one "control ..." line per control with its place inside that client
//                             area, its focus and default-button state; texts escaped (\\ \t \r \n)
//   version-info FILE         the version resource of a program file: "version major=.. minor=..
//                             revision=.. build=.." and one "field name=.. value=.." line per text
//                             of the first language block (values escaped as in layout)
//   close CAPTION [message]   ask the first visible window with that caption to close as its close
//                             box does (WM_SYSCOMMAND SC_CLOSE), or with WM_CLOSE after "message"
//   launch SECONDS PROGRAM [ARGS]
//                             start PROGRAM in its own folder, time how long its window "Form1" takes
//                             to be visible and answer, watch it for SECONDS, then end it: "launch
//                             first_ms=.. peak_mb=.. held_mb=.. decoder_peak_mb=.. decoder_held_mb=.."
//                             (peak and final working set of the program and of the processes it started)
//   probe CAPTION SECONDS     send the first visible window with that caption an empty message every 10 ms for
//                             SECONDS (or until it is gone) and time each answer: "probe samples=..
//                             longest_ms=.. at_s=.. median_ms=.." (at_s: when the longest began)
//
// A "window", "child", "menu", "client" or "control" line is the kind followed by tab-separated
// key=value fields.
#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>

#include "e2e_hook.h"

#include <algorithm>
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

// The first visible top-level window with that caption and, when `window_class` is not empty, that
// class: a message box and the dialog it belongs to may share a caption.
HWND visible_window(const std::wstring& caption, const std::wstring& window_class)
{
    for (HWND window : top_level_windows())
        if (IsWindowVisible(window) && window_text(window) == caption &&
            (window_class.empty() || class_name(window) == window_class))
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

// Receives the hook's answer (see e2e_hook.cpp) in the helper's own process.
struct MenuReply {
    bool received = false;
    std::wstring lines;
};

LRESULT CALLBACK reply_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    if (message == WM_COPYDATA) {
        const auto& data = *reinterpret_cast<const COPYDATASTRUCT*>(lparam);
        auto* reply = reinterpret_cast<MenuReply*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (reply != nullptr && data.dwData == kMenuReply) {
            reply->lines.assign(static_cast<const wchar_t*>(data.lpData), data.cbData / sizeof(wchar_t));
            reply->received = true;
        }
        return TRUE;
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

// The menu of another process's window, read inside that process by the hook library that lies
// beside this program (Wine does not let one process read another's menus). Exit status 1 when
// the window has not answered within five seconds.
int print_menu(HWND window)
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring library = path;
    library.erase(library.find_last_of(L"\\/") + 1);
    library += kHookLibrary;
    const HMODULE module = LoadLibraryW(library.c_str());
    const auto procedure = module ? reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(
                                        GetProcAddress(module, kHookProcedure)))
                                  : nullptr;
    if (procedure == nullptr) {
        print_line("no hook library " + utf8(library));
        return 1;
    }

    WNDCLASSW wc{};
    wc.lpfnWndProc = reply_proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"KWOBL.E2E.MenuReply";
    RegisterClassW(&wc);
    MenuReply reply;
    // A hidden top-level window (not a message-only one), so that any process may send to it.
    const HWND receiver = CreateWindowExW(0, wc.lpszClassName, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                          wc.hInstance, nullptr);
    SetWindowLongPtrW(receiver, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&reply));

    const HHOOK hook = SetWindowsHookExW(WH_GETMESSAGE, procedure, module, GetWindowThreadProcessId(window, nullptr));
    if (hook != nullptr) {
        PostMessageW(window, RegisterWindowMessageW(kMenuRequestMessage), reinterpret_cast<WPARAM>(receiver), 0);
        const ULONGLONG deadline = GetTickCount64() + 5000;
        while (!reply.received && GetTickCount64() < deadline) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
                DispatchMessageW(&msg);
        }
        UnhookWindowsHookEx(hook);
    }
    DestroyWindow(receiver);
    if (!reply.received)
        return 1;
    std::size_t at = 0;
    while (at < reply.lines.size()) {
        std::size_t end = reply.lines.find(L'\n', at);
        if (end == std::wstring::npos)
            end = reply.lines.size();
        print_line(utf8(reply.lines.substr(at, end - at)));
        at = end + 1;
    }
    return 0;
}

std::string rect_fields(int left, int top, int width, int height)
{
    return "\tleft=" + std::to_string(left) + "\ttop=" + std::to_string(top) + "\twidth=" +
           std::to_string(width) + "\theight=" + std::to_string(height);
}

// A text on one output line: backslash, tab, CR and LF are written as \\, \t, \r and \n.
std::string escaped(const std::wstring& text)
{
    std::string out;
    for (const char c : utf8(text)) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\n':
            out += "\\n";
            break;
        default:
            out += c;
        }
    }
    return out;
}

// Positions as the window's own code sees them: the client area on the screen, and each control
// relative to the client area's top-left corner, with the texts escaped so that a label holding a
// line break stays on one line. The focus is the keyboard focus of the window's thread.
void print_layout(HWND window)
{
    RECT client{};
    GetClientRect(window, &client);
    POINT origin{0, 0};
    ClientToScreen(window, &origin);
    GUITHREADINFO thread{};
    thread.cbSize = sizeof thread;
    GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &thread);
    print_line("client\thwnd=" + hex(reinterpret_cast<std::uintptr_t>(window)) + "\tclass=" +
               utf8(class_name(window)) + "\ttext=" + escaped(window_text(window)) +
               std::string("\tvisible=") + (IsWindowVisible(window) ? "1" : "0") +
               std::string("\tenabled=") + (IsWindowEnabled(window) ? "1" : "0") +
               "\towner=" + hex(reinterpret_cast<std::uintptr_t>(GetWindow(window, GW_OWNER))) +
               rect_fields(origin.x, origin.y, client.right, client.bottom));
    for (HWND child : children(window)) {
        RECT rect{};
        GetWindowRect(child, &rect);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&rect), 2);
        const LONG_PTR style = GetWindowLongPtrW(child, GWL_STYLE);
        const bool button = class_name(child) == L"Button";
        print_line("control\tclass=" + utf8(class_name(child)) + "\ttext=" + escaped(window_text(child)) +
                   rect_fields(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top) +
                   std::string("\tvisible=") + (IsWindowVisible(child) ? "1" : "0") +
                   std::string("\tenabled=") + (IsWindowEnabled(child) ? "1" : "0") +
                   std::string("\tfocus=") + (thread.hwndFocus == child ? "1" : "0") +
                   std::string("\tdefault=") +
                   (button && (style & BS_TYPEMASK) == BS_DEFPUSHBUTTON ? "1" : "0"));
    }
}

// The version resource of a program file, read the way Windows reads it for any program.
int print_version_info(const std::wstring& file)
{
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(file.c_str(), &ignored);
    if (size == 0)
        return 1;
    std::vector<unsigned char> data(size);
    if (!GetFileVersionInfoW(file.c_str(), 0, size, data.data()))
        return 1;
    void* value = nullptr;
    UINT length = 0;
    if (VerQueryValueW(data.data(), L"\\", &value, &length) && length >= sizeof(VS_FIXEDFILEINFO)) {
        const auto& fixed = *static_cast<const VS_FIXEDFILEINFO*>(value);
        print_line("version\tmajor=" + std::to_string(HIWORD(fixed.dwFileVersionMS)) +
                   "\tminor=" + std::to_string(LOWORD(fixed.dwFileVersionMS)) +
                   "\trevision=" + std::to_string(HIWORD(fixed.dwFileVersionLS)) +
                   "\tbuild=" + std::to_string(LOWORD(fixed.dwFileVersionLS)));
    }
    struct Translation {
        WORD language;
        WORD code_page;
    };
    if (!VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation", &value, &length) ||
        length < sizeof(Translation))
        return 1;
    const auto& translation = *static_cast<const Translation*>(value);
    wchar_t block[64];
    swprintf(block, 64, L"\\StringFileInfo\\%04x%04x\\", translation.language, translation.code_page);
    for (const wchar_t* name : {L"CompanyName", L"FileDescription", L"FileVersion", L"InternalName",
                                L"LegalCopyright", L"OriginalFilename", L"ProductName", L"ProductVersion"}) {
        if (VerQueryValueW(data.data(), (std::wstring(block) + name).c_str(), &value, &length))
            print_line("field\tname=" + utf8(name) + "\tvalue=" + escaped(static_cast<const wchar_t*>(value)));
    }
    return 0;
}

// How long the window's thread takes to answer, sampled every 10 ms: a busy user-interface thread
// answers late.
int probe(const wchar_t* caption, double seconds)
{
    HWND window = nullptr;
    for (int i = 0; i < 600 && window == nullptr; ++i) {
        window = visible_window(caption, L"");
        if (window == nullptr)
            Sleep(50);
    }
    if (window == nullptr)
        return 1;
    LARGE_INTEGER frequency;
    LARGE_INTEGER start;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    const auto now_s = [&] {
        LARGE_INTEGER t;
        QueryPerformanceCounter(&t);
        return static_cast<double>(t.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
    };
    std::vector<double> waits;
    double longest = 0;
    double longest_at = 0;
    while (now_s() < seconds && IsWindow(window)) {
        const double before = now_s();
        DWORD_PTR result = 0;
        if (!SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 30000, &result) && !IsWindow(window))
            break;
        const double wait_ms = (now_s() - before) * 1000.0;
        waits.push_back(wait_ms);
        if (wait_ms > longest) {
            longest = wait_ms;
            longest_at = before;
        }
        Sleep(10);
    }
    std::sort(waits.begin(), waits.end());
    const double median = waits.empty() ? 0.0 : waits[waits.size() / 2];
    char line[160];
    std::snprintf(line, sizeof line, "probe\tsamples=%zu\tlongest_ms=%.1f\tat_s=%.2f\tmedian_ms=%.1f", waits.size(),
                  longest, longest_at, median);
    print_line(line);
    return 0;
}

// The peak and the present working set of the processes that `parent` started (its decoder), added up.
PROCESS_MEMORY_COUNTERS children_memory(DWORD parent)
{
    PROCESS_MEMORY_COUNTERS total{};
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return total;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (entry.th32ParentProcessID != parent)
            continue;
        const HANDLE child = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, entry.th32ProcessID);
        if (child == nullptr)
            continue;
        PROCESS_MEMORY_COUNTERS memory{};
        memory.cb = sizeof memory;
        if (GetProcessMemoryInfo(child, &memory, sizeof memory)) {
            total.PeakWorkingSetSize += memory.PeakWorkingSetSize;
            total.WorkingSetSize += memory.WorkingSetSize;
        }
        CloseHandle(child);
    }
    CloseHandle(snapshot);
    return total;
}

// Starts a program and times its first window: from the start of the process until the slideshow window
// is on the screen and its thread answers, which it does only once the first picture is in place.
int launch(double seconds, int argc, wchar_t** argv)
{
    std::wstring command_line;
    for (int i = 0; i < argc; ++i)
        command_line += (i ? L" \"" : L"\"") + std::wstring(argv[i]) + L"\"";
    std::wstring folder = argv[0];
    folder.erase(folder.find_last_of(L"\\/") + 1);
    LARGE_INTEGER frequency;
    LARGE_INTEGER start;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command_line.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                        &process))
        return 1;
    HWND window = nullptr;
    for (int i = 0; i < 60000 && window == nullptr; ++i) {
        window = visible_window(L"Form1", L"");
        if (window == nullptr)
            Sleep(1);
    }
    DWORD_PTR result = 0;
    if (window)
        SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 30000, &result);
    LARGE_INTEGER shown;
    QueryPerformanceCounter(&shown);
    const double first_ms =
        static_cast<double>(shown.QuadPart - start.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
    Sleep(static_cast<DWORD>(seconds * 1000));
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(process.hProcess, &memory, sizeof memory);
    const PROCESS_MEMORY_COUNTERS decoder = children_memory(process.dwProcessId);
    TerminateProcess(process.hProcess, 0);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    char line[240];
    std::snprintf(line, sizeof line,
                  "launch\tfirst_ms=%.0f\tpeak_mb=%.1f\theld_mb=%.1f\tdecoder_peak_mb=%.1f\tdecoder_held_mb=%.1f",
                  window ? first_ms : -1.0, static_cast<double>(memory.PeakWorkingSetSize) / 1048576.0,
                  static_cast<double>(memory.WorkingSetSize) / 1048576.0,
                  static_cast<double>(decoder.PeakWorkingSetSize) / 1048576.0,
                  static_cast<double>(decoder.WorkingSetSize) / 1048576.0);
    print_line(line);
    return window ? 0 : 1;
}

int usage()
{
    print_line("usage: e2e_helper hold | taskbar | taskbar-show | cursor | cursor-pos X Y | windows | "
               "window CAPTION | foreground | click CAPTION TEXT | menu CAPTION | layout CAPTION [CLASS] | "
               "version-info FILE | close CAPTION [message] | launch SECONDS PROGRAM [ARGS] | probe CAPTION SECONDS");
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
    if (command == L"menu" && argc == 3) {
        const HWND window = visible_window(argv[2], L"");
        if (window == nullptr)
            return 1;
        return print_menu(window);
    }
    if (command == L"layout" && (argc == 3 || argc == 4)) {
        const HWND window = visible_window(argv[2], argc == 4 ? argv[3] : L"");
        if (window == nullptr)
            return 1;
        print_layout(window);
        return 0;
    }
    if (command == L"version-info" && argc == 3)
        return print_version_info(argv[2]);
    if (command == L"close" && (argc == 3 || (argc == 4 && std::wstring(argv[3]) == L"message"))) {
        const HWND window = visible_window(argv[2], L"");
        if (window == nullptr)
            return 1;
        // Posted, not sent: closing may run a modal loop in the window's process.
        if (argc == 4)
            PostMessageW(window, WM_CLOSE, 0, 0);
        else
            PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
        return 0;
    }
    if (command == L"launch" && argc >= 4)
        return launch(_wtof(argv[2]), argc - 3, argv + 3);
    if (command == L"probe" && argc == 4)
        return probe(argv[2], _wtof(argv[3]));
    return usage();
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    return run(argc, argv);
}
