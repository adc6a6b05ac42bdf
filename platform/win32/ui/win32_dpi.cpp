// Dots per inch of a window and the metrics that depend on them, on every Windows version.
//
// The per-monitor functions exist from Windows 10 on; the program also runs on Windows 7 and 8,
// so they are looked up at run time and the system-wide functions stand in where they are missing.
#include "platform/win32/ui/win32_dpi.h"

#include "platform/win32/common/win32_handles.h"

namespace platform::win32 {

namespace {

using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using AdjustWindowRectExForDpiFn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
using SystemParametersInfoForDpiFn = BOOL(WINAPI*)(UINT, UINT, PVOID, UINT, UINT);
using GetSystemMetricsForDpiFn = int(WINAPI*)(int, UINT);

struct DpiFunctions {
    GetDpiForWindowFn get_dpi_for_window = nullptr;
    AdjustWindowRectExForDpiFn adjust_window_rect_ex_for_dpi = nullptr;
    SystemParametersInfoForDpiFn system_parameters_info_for_dpi = nullptr;
    GetSystemMetricsForDpiFn get_system_metrics_for_dpi = nullptr;
};

template <class Fn>
Fn lookup(HMODULE module, const char* name)
{
    // GetProcAddress returns a generic function pointer; the real signature is the documented one.
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

const DpiFunctions& functions()
{
    static const DpiFunctions fns = [] {
        DpiFunctions f;
        if (HMODULE user32 = ::GetModuleHandleW(L"user32.dll")) {
            f.get_dpi_for_window = lookup<GetDpiForWindowFn>(user32, "GetDpiForWindow");
            f.adjust_window_rect_ex_for_dpi = lookup<AdjustWindowRectExForDpiFn>(user32, "AdjustWindowRectExForDpi");
            f.system_parameters_info_for_dpi =
                lookup<SystemParametersInfoForDpiFn>(user32, "SystemParametersInfoForDpi");
            f.get_system_metrics_for_dpi = lookup<GetSystemMetricsForDpiFn>(user32, "GetSystemMetricsForDpi");
        }
        return f;
    }();
    return fns;
}

unsigned system_dpi()
{
    const WindowDc screen(nullptr);
    const int dpi = screen ? ::GetDeviceCaps(screen.get(), LOGPIXELSY) : 0;
    return dpi > 0 ? static_cast<unsigned>(dpi) : kDefaultDpi;
}

} // namespace

unsigned window_dpi(HWND window)
{
    if (const auto fn = functions().get_dpi_for_window; fn && window) {
        if (const UINT dpi = fn(window); dpi > 0)
            return dpi;
    }
    return system_dpi();
}

void adjust_window_rect(RECT& rect, DWORD style, bool has_menu, DWORD ex_style, unsigned dpi)
{
    if (const auto fn = functions().adjust_window_rect_ex_for_dpi) {
        if (fn(&rect, style, has_menu, ex_style, dpi))
            return;
    }
    ::AdjustWindowRectEx(&rect, style, has_menu, ex_style);
}

LOGFONTW message_font(unsigned dpi)
{
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    if (const auto fn = functions().system_parameters_info_for_dpi) {
        if (fn(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi))
            return metrics.lfMessageFont;
    }
    if (!::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
        LOGFONTW fallback{};
        fallback.lfHeight = -::MulDiv(9, static_cast<int>(dpi), 72);
        fallback.lfWeight = FW_NORMAL;
        fallback.lfCharSet = DEFAULT_CHARSET;
        ::lstrcpynW(fallback.lfFaceName, L"MS Shell Dlg 2", LF_FACESIZE);
        return fallback;
    }
    // The system-wide metrics are at the system's dpi: scale the height to the window's.
    metrics.lfMessageFont.lfHeight =
        ::MulDiv(metrics.lfMessageFont.lfHeight, static_cast<int>(dpi), static_cast<int>(system_dpi()));
    return metrics.lfMessageFont;
}

int system_metric(int index, unsigned dpi)
{
    if (const auto fn = functions().get_system_metrics_for_dpi)
        return fn(index, dpi);
    return ::MulDiv(::GetSystemMetrics(index), static_cast<int>(dpi), static_cast<int>(system_dpi()));
}

} // namespace platform::win32
