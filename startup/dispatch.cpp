// Start-up: the single-instance test, the mode switch and the first window of the run.
//
// Flow of control. The backend calls Module1::Main once, before any window exists. Main
// ends the program when another instance runs, reads the mode switch and opens at most one
// window, then returns; from then on the program lives in the handlers of that window,
// which the backend's event loop calls one at a time:
//
//   /s and anything unrecognised -> Form1 (slideshow): load handler takes over the screen and
//       shows picture 1; Timer1 ticks every 10 s (next picture); a key, a click or a large
//       enough movement unloads Form1, whose unload handler gives the desktop back and ends.
//   /c and no argument -> Form2 (settings): OK or Cancel ends the program; the help menu
//       opens the version dialog modal.
//   /a -> a message that passwords are not supported, then the end.
//   /p -> nothing: with no window open the program ends.
#include "startup/dispatch.h"

#include "platform/errors.h"
#include "settings/form2.h"
#include "slideshow/form1.h"

namespace startup {

namespace {

// The first `count` characters of a UTF-8 text, never cutting one in half.
std::string_view leading_characters(std::string_view text, int count)
{
    std::size_t end = 0;
    for (int i = 0; i < count && end < text.size(); ++i) {
        ++end;
        while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
            ++end;
    }
    return text.substr(0, end);
}

std::string upper_case(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return out;
}

} // namespace

Mode mode_for(std::string_view command)
{
    const std::string mode_switch = upper_case(leading_characters(command, 2));
    if (mode_switch == "/A")
        return Mode::Password;
    if (mode_switch == "/C" || mode_switch.empty())
        return Mode::Settings;
    if (mode_switch == "/P")
        return Mode::Preview;
    return Mode::Slideshow;
}

Module1::Module1(platform::Platform& platform) : m_platform(platform) {}

Module1::~Module1() = default;

void Module1::Main()
{
    platform::trap([&] {
        auto& app = m_platform.app;
        if (app.previous_instance()) {
            app.end();
            return;
        }
        switch (mode_for(app.command())) {
        case Mode::Password:
            app.message_box("パスワードには対応しておりません。", 0, app.info().title);
            app.end();
            return;
        case Mode::Settings:
            m_form2 = std::make_unique<settings::Form2>(m_platform);
            m_form2->load();
            m_form2->show();
            return;
        case Mode::Preview:
            // There is no preview: with no window open, the program ends.
            return;
        case Mode::Slideshow:
            m_form1 = std::make_unique<slideshow::Form1>(m_platform);
            m_form1->load();
            m_platform.windows.show(m_form1->window());
            m_platform.windows.set_state(m_form1->window(), platform::WindowState::Maximised);
            return;
        }
    });
}

} // namespace startup
