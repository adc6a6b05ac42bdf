// The program's entry point on Windows: builds the platform, runs Main, then the event loop.
//
// Per-monitor DPI awareness and the common controls' visual styles come from the manifest in
// the program file, so they hold before the first line here runs.
#include "platform/platform.h"
#include "platform/win32/win32_app.h"
#include "platform/win32/win32_crash_guard.h"
#include "platform/win32/win32_desktop.h"
#include "platform/win32/win32_handles.h"
#include "platform/win32/win32_pictures.h"
#include "platform/win32/win32_system.h"
#include "platform/win32/win32_windowing.h"
#include "startup/dispatch.h"

#include <windows.h>
#include <commctrl.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    using namespace platform::win32;

    CoInit com;
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES;
    ::InitCommonControlsEx(&controls);

    Win32Desktop desktop;
    CrashGuard guard(desktop.debt());
    Win32App app(desktop.debt());
    Win32Windowing windows;
    // A picture is never shown larger than the primary screen, so it is kept at most that large.
    Win32Pictures pictures(SIZE{::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)});
    Win32Registry registry;
    Win32Files files;
    Win32Launcher launcher;
    platform::Platform platform{app, windows, pictures, desktop, registry, files, launcher};

    try {
        startup::Module1 module(platform);
        module.Main();
        // The program lives while one of its windows is open; /P and /A open none.
        windows.run();
    } catch (...) {
        // Main traps its own failures; nothing else is left to report, and the program ends normally.
    }
    return 0;
}
