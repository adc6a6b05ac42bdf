// The version dialog: the application's identity, OK, and a button for the system-information tool.
#include "about/sfrm_about.h"

#include "about/about_texts.h"
#include "about/sfrm_about_def.h"
#include "about/sysinfo_launcher.h"

#include <exception>
#include <utility>

namespace about {

SFrm_About::SFrm_About(platform::Platform& platform) : m_platform(platform) {}

void SFrm_About::show_modal()
{
    auto& windows = m_platform.windows;
    if (!m_window) {
        m_window = windows.create(kAboutDef, *this);
        try {
            on_load();
        } catch (...) {
            // A dialog whose load handler failed must not linger as a hidden, loaded window:
            // the next opening has to load it afresh. Unload it, then let the error reach
            // the opener.
            const platform::WindowId window = *std::exchange(m_window, std::nullopt);
            try {
                windows.unload(window);
            } catch (const std::exception&) {
                // The load handler's error is the one the opener is told about.
            }
            throw;
        }
    }
    windows.show_modal(*m_window);
}

void SFrm_About::on_load()
{
    // No trap: a failure stops the handler here and goes to whoever opened the dialog.
    auto& windows = m_platform.windows;
    const platform::WindowId window = *m_window;
    const platform::AppInfo info = m_platform.app.info();
    windows.set_caption(window, about_caption(info.title));
    windows.set_text(window, kLblVersion, version_line(info.major, info.minor, info.revision));
    windows.set_text(window, kLblTitle, info.title);
    windows.set_text(window, kLblCompanyName, info.company_name);
    windows.set_text(window, kLblLegalCopyright, copyright_lines(info.legal_copyright));
    windows.set_text(window, kLblDisclaimer, "");
}

void SFrm_About::on_click(platform::ElementId element)
{
    // No trap: unloading does not fail, and StartSysInfo reports its own failures.
    if (element == kCmdOK && m_window)
        m_platform.windows.unload(*m_window);
    else if (element == kCmdSysInfo)
        StartSysInfo(m_platform);
}

void SFrm_About::on_unload()
{
    // However the dialog closes (OK, Esc, its close box), the window is gone: the next
    // opening creates and loads it again.
    m_window.reset();
}

} // namespace about
