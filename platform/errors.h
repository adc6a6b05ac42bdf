// The one error type of the program, and the trap that keeps a handler's failure silent.
#pragma once

#include <exception>
#include <stdexcept>
#include <string>

namespace platform {

// A run-time error: a platform operation that failed, or arithmetic that overflowed.
class RuntimeError : public std::runtime_error {
public:
    explicit RuntimeError(const std::string& what) : std::runtime_error(what) {}
};

// Runs one handler's body. A failure abandons the rest of the body; temporaries are
// released on the way out by their destructors.
template <class F>
void trap(F&& body) noexcept
{
    try {
        body();
    } catch (const std::exception&) {
        // A handler's failure is never shown and never fatal: the program goes on.
    } catch (...) {
        // The same holds for anything else thrown through a handler.
    }
}

} // namespace platform
