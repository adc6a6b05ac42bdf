// The program's own file.
#include "platform/win32/common/win32_module.h"

#include "platform/errors.h"

#include <windows.h>

namespace platform::win32 {

std::wstring module_path()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0)
            throw RuntimeError("the program file's path is unknown");
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

} // namespace platform::win32
