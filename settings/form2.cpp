// The settings dialog: a notice that there is nothing to set, OK, Cancel and a help menu.
#include "settings/form2.h"

#include "about/sfrm_about.h"
#include "platform/errors.h"
#include "settings/form2_def.h"

namespace settings {

using platform::trap;

Form2::Form2(platform::Platform& platform) : m_platform(platform) {}

// Defined here, where the version dialog's class is complete.
Form2::~Form2() = default;

void Form2::load()
{
    m_window = m_platform.windows.create(kForm2Def, *this);
    on_load();
}

void Form2::show()
{
    m_platform.windows.show(m_window);
}

void Form2::on_load()
{
    // On a failure the dialog keeps the caption it was created with, "設定".
    trap([&] { m_platform.windows.set_caption(m_window, m_platform.app.info().title); });
}

void Form2::on_click(platform::ElementId element)
{
    // There is nothing to save: both buttons end the program at once.
    trap([&] {
        if (element == kCmdOK || element == kCmdCancel)
            m_platform.app.end();
    });
}

void Form2::on_menu(platform::MenuId menu)
{
    if (menu != kMenuVersion)
        return;
    // A failure to create, load or show the version dialog (its load handler's included)
    // ends here quietly; the settings dialog stays open and usable.
    trap([&] {
        if (!m_about)
            m_about = std::make_unique<about::SFrm_About>(m_platform);
        m_about->show_modal();
    });
}

} // namespace settings
