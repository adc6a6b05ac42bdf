// Start-up: the single-instance test, the mode switch and the first window of the run.
#pragma once

#include "platform/platform.h"

#include <memory>
#include <string>
#include <string_view>

namespace slideshow { class Form1; }
namespace settings { class Form2; }

namespace startup {

enum class Mode { Password, Settings, Preview, Slideshow };

// The mode that a command-line argument text asks for.
Mode mode_for(std::string_view command);

// The program's entry module. It owns the window it opens; the backend keeps it alive
// while its event loop runs.
class Module1 {
public:
    explicit Module1(platform::Platform& platform);
    ~Module1();
    Module1(const Module1&) = delete;
    Module1& operator=(const Module1&) = delete;

    // Runs once at start; returns with at most one window open.
    void Main();

private:
    platform::Platform& m_platform;
    std::unique_ptr<slideshow::Form1> m_form1;
    std::unique_ptr<settings::Form2> m_form2;
};

} // namespace startup
