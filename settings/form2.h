// The settings dialog: a notice that there is nothing to set, OK, Cancel and a help menu.
#pragma once

#include "platform/platform.h"

#include <memory>

namespace about { class SFrm_About; }

namespace settings {

class Form2 final : public platform::WindowEvents {
public:
    explicit Form2(platform::Platform& platform);
    ~Form2() override;

    // Creates the window and runs its load handler; throws RuntimeError when the window
    // cannot be created.
    void load();
    // Shows the loaded dialog modeless, without an owner.
    void show();

    void on_click(platform::ElementId element) override;
    void on_menu(platform::MenuId menu) override;

private:
    void on_load();

    platform::Platform& m_platform;
    platform::WindowId m_window{};
    std::unique_ptr<about::SFrm_About> m_about; // created on first use, kept for the run
};

} // namespace settings
