// Tests of the display's power state: the notification as the system sends it reaches the slideshow's
// window and the picture loader, which then holds nothing prepared.
#include "platform/errors.h"
#include "platform/win32/common/win32_text.h"
#include "platform/win32/loader/win32_pictures.h"
#include "platform/win32/testing/win32_test_files.h"
#include "platform/win32/ui/win32_windowing.h"
#include "settings/form2_def.h"
#include "slideshow/form1_def.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace platform::win32 {
namespace {

constexpr GUID kConsoleDisplayState{0x6fe69556, 0x704a, 0x47a0, {0x8f, 0x24, 0xc2, 0x8d, 0x93, 0x6f, 0xda, 0x47}};
constexpr GUID kOtherSetting{0x02731015, 0x4510, 0x4526, {0x99, 0xe6, 0xe5, 0xa1, 0x7e, 0xbd, 0x1a, 0xea}};

class PowerEvents final : public WindowEvents {
public:
    std::vector<std::string> heard;
    void on_display_power(bool on) override { heard.push_back(on ? "on" : "off"); }
};

// Sends WM_POWERBROADCAST as the system does: the setting block lies in the receiving process's memory,
// and the message carries its address.
LRESULT deliver(HWND window, WPARAM event, const GUID& setting, DWORD data_length, DWORD state)
{
    const std::size_t bytes = offsetof(POWERBROADCAST_SETTING, Data) + sizeof(DWORD);
    void* block = ::VirtualAlloc(nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    auto* s = static_cast<POWERBROADCAST_SETTING*>(block);
    s->PowerSetting = setting;
    s->DataLength = data_length;
    std::memcpy(s->Data, &state, sizeof state);
    const LRESULT result = ::SendMessageW(window, WM_POWERBROADCAST, event, reinterpret_cast<LPARAM>(block));
    ::VirtualFree(block, 0, MEM_RELEASE);
    return result;
}

TEST(DisplayPowerTest, TheSlideshowWindowHearsTheDisplayStateAndTheLoaderFirst)
{
    const struct {
        const char* what;
        const WindowDef* def;
        WPARAM event;
        const GUID* setting;
        DWORD data_length;
        DWORD state;
        const char* heard; // by the window's handler and, before it, by the loader's listener
    } cases[] = {
        {"off", &slideshow::kForm1Def, PBT_POWERSETTINGCHANGE, &kConsoleDisplayState, 4, 0, "off"},
        {"on", &slideshow::kForm1Def, PBT_POWERSETTINGCHANGE, &kConsoleDisplayState, 4, 1, "on"},
        {"dimmed is on", &slideshow::kForm1Def, PBT_POWERSETTINGCHANGE, &kConsoleDisplayState, 4, 2, "on"},
        {"another setting", &slideshow::kForm1Def, PBT_POWERSETTINGCHANGE, &kOtherSetting, 4, 0, ""},
        {"a block too short", &slideshow::kForm1Def, PBT_POWERSETTINGCHANGE, &kConsoleDisplayState, 0, 0, ""},
        {"another power event", &slideshow::kForm1Def, PBT_APMRESUMEAUTOMATIC, &kConsoleDisplayState, 4, 0, ""},
        {"a dialog does not ask", &settings::kForm2Def, PBT_POWERSETTINGCHANGE, &kConsoleDisplayState, 4, 0, ""},
    };
    for (const auto& c : cases) {
        Win32Windowing windows;
        std::vector<std::string> listener;
        PowerEvents events;
        windows.set_display_power_listener([&](bool on) {
            listener.push_back(on ? "on" : "off");
            EXPECT_EQ(events.heard.size() + 1, listener.size()) << c.what << ": the loader heard it after the window";
        });
        const WindowId id = windows.create(*c.def, events);
        // Whatever the system answered the registration with (Wine answers nothing) is not this case's.
        events.heard.clear();
        listener.clear();
        (void)deliver(reinterpret_cast<HWND>(windows.handle(id)), c.event, *c.setting, c.data_length, c.state);
        const std::vector<std::string> expected =
            *c.heard ? std::vector<std::string>{c.heard} : std::vector<std::string>{};
        EXPECT_EQ(events.heard, expected) << c.what;
        EXPECT_EQ(listener, expected) << c.what;
        windows.unload(id);
        // What the windows left in this thread's queue is not for the tests that run after this one.
        MSG left;
        while (::PeekMessageW(&left, nullptr, 0, 0, PM_REMOVE))
            ;
    }
}

TEST(DisplayPowerTest, WithTheDisplayOffThePreparedPictureIsLetGo)
{
    for (const bool off : {false, true}) {
        TempFolder folder;
        const std::wstring file = folder.file(L"KWOBL001.DAT");
        write_bmp(file, 40, 30, 200);
        const platform::SizeF box{640, 480};
        Win32Pictures pictures;
        pictures.prefetch(narrow(file), box);
        for (int i = 0; i < 2000 && !pictures.prefetch_idle(); ++i)
            ::Sleep(5);
        ASSERT_TRUE(pictures.prefetch_idle());
        if (off)
            pictures.display_power(false);
        // Locked against reading: only a picture still prepared can be given now.
        const UniqueHfile lock(::CreateFileW(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(lock);
        if (off)
            EXPECT_THROW((void)pictures.load(narrow(file), box), RuntimeError) << "kept while the display was off";
        else
            EXPECT_NO_THROW((void)pictures.load(narrow(file), box));
    }
}

} // namespace
} // namespace platform::win32
