// The program's own file.
#pragma once

#include <string>

namespace platform::win32 {

// The program file's full path, whatever its length. Throws RuntimeError when the system cannot tell it.
[[nodiscard]] std::wstring module_path();

} // namespace platform::win32
