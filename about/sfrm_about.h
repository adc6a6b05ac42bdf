// The version dialog: the application's identity, OK, and a button for the system-information tool.
#pragma once

#include "platform/platform.h"

#include <optional>

namespace about {

// One instance lives for the whole run; its window exists only while the dialog is open.
class SFrm_About final : public platform::WindowEvents {
public:
    explicit SFrm_About(platform::Platform& platform);

    // Loads the dialog unless it is loaded (its load handler fills the texts afresh), shows
    // it modal and returns once it has been closed. An error of the load handler reaches
    // the caller, with the dialog unloaded again.
    void show_modal();

    void on_click(platform::ElementId element) override;
    void on_unload() override;

private:
    void on_load();

    platform::Platform& m_platform;
    std::optional<platform::WindowId> m_window; // set while the dialog is loaded
};

} // namespace about
