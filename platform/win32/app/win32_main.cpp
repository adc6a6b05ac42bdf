// The program's entry point on Windows: builds the platform, runs Main, then the event loop.
//
// Per-monitor DPI awareness and the common controls' visual styles come from the manifest in
// the program file, so they hold before the first line here runs.
#include "platform/platform.h"
#include "platform/win32/app/win32_app.h"
#include "platform/win32/app/win32_system.h"
#include "platform/win32/common/win32_crash_guard.h"
#include "platform/win32/common/win32_handles.h"
#include "platform/win32/decoder/win32_decoder_main.h"
#include "platform/win32/decoder/win32_decoder_process.h"
#include "platform/win32/desktop/win32_desktop.h"
#include "platform/win32/loader/win32_pictures.h"
#include "platform/win32/pictures/win32_colour.h"
#include "platform/win32/ui/win32_windowing.h"
#include "startup/dispatch.h"

#include <windows.h>

#include <cwchar>
#include <exception>
#include <memory>
#include <optional>

#ifdef KWOBL_DECODER_TEST_TRIGGERS
#include "platform/win32/decoder/win32_decoder_test_triggers.h"
#else
namespace {
// The program's decoder decodes with FileDecoder alone.
platform::win32::DecodeFunction decoder_test_triggers()
{
    return {};
}
} // namespace
#endif

namespace {

// The test copy's timers tick at the interval KWOBL_TEST_TICK_MS gives (a second without it), so that a
// day of picture changes takes an hour; kwobl.scr keeps the intervals of its windows' definitions.
unsigned test_tick_ms()
{
#ifdef KWOBL_TEST_TICKS
    wchar_t text[16] = {};
    const DWORD length = ::GetEnvironmentVariableW(L"KWOBL_TEST_TICK_MS", text, 16);
    const unsigned ms = length > 0 && length < 16 ? static_cast<unsigned>(std::wcstoul(text, nullptr, 10)) : 0;
    return ms > 0 ? ms : 1000;
#else
    return 0;
#endif
}

} // namespace

namespace {

// Whether this start runs the slideshow: the mode it asks for, and no instance before it (which Main
// asks about again and is told the same).
bool shows_pictures(platform::win32::Win32App& app)
{
    try {
        return startup::mode_for(app.command()) == startup::Mode::Slideshow && !app.previous_instance();
    } catch (const std::exception&) {
        return false; // Main meets the same failure and deals with it
    }
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    using namespace platform::win32;

    // DLLs are looked for in the system's folder alone, never in the program's: a screen saver is often
    // run from a folder of downloads, where a DLL named like a system one may lie beside it. This comes
    // first, before any DLL is loaded at its first call (the user interface's are, see delay_load.cmake,
    // and so is every DLL the system loads for us), in every mode and in the decoder process.
    ::SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);

    // The decoder process is this program too, started by the slideshow: it is recognised before
    // anything else, so that it makes no window, takes no instance lock and installs no crash guard.
    if (const std::optional<int> code = run_decoder_if_asked(::GetCommandLineW(), decoder_test_triggers()))
        return *code;

    Win32Desktop desktop;
    CrashGuard guard(desktop.debt());
    Win32App app(desktop.debt());

    // Pictures are decoded in a decoder process. A process takes a while to start, under Wine longer
    // than this one takes to make its windows, so a run that shows pictures makes its decoder first of
    // all, before the user interface's DLLs are loaded.
    const bool slideshow = shows_pictures(app);
    std::shared_ptr<DecoderProcess::Running> launched =
        slideshow ? DecoderProcess::launch(this_program_as_decoder()) : nullptr;
    // No screen size is fixed here: each picture is asked for with the box the slideshow will fit it to,
    // so that a display that changes during the run is followed.
    auto decoder =
        std::make_shared<DecoderProcess>(this_program_as_decoder(), DecoderSettings{primary_display_profile()});
    if (slideshow)
        decoder->start_ahead(std::move(launched));

    // The common controls are started before the first window (start_common_controls).
    CoInit com;

    Win32Windowing windows;
    windows.set_timer_interval(test_tick_ms());
    Win32Pictures pictures(decoder);
    Win32Registry registry;
    Win32Files files;
    Win32Launcher launcher;
    platform::Platform platform{app, windows, pictures, desktop, registry, files, launcher};
    // While the display is off nothing is prepared: the loader lets go before the slideshow hears of it.
    windows.set_display_power_listener([&pictures](bool on) { pictures.display_power(on); });

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
