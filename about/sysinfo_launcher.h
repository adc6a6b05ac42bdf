// The system-information tool: found through two registry values, started as its own process.
#pragma once

#include "platform/platform.h"

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace about {

// HKEY_LOCAL_MACHINE, the root of both lookups.
inline constexpr platform::NativeHandle kHkeyLocalMachine = 0x80000002;
// Keys are opened for reading only (KEY_READ): a standard user, who may not write
// below HKEY_LOCAL_MACHINE, must still find the tool.
inline constexpr unsigned kKeyRead = 0x20019;
// The registry value's data may hold at most this many bytes.
inline constexpr std::size_t kValueBufferBytes = 1024;

inline constexpr unsigned kRegSz = 1;
inline constexpr unsigned kRegDword = 4;

// Finds the tool and starts it in a normal, activated window; when no value leads to a
// tool that starts, says so in a message box. Never lets an error reach its caller.
void StartSysInfo(platform::Platform& platform);

// Reads the value `SubKeyRef` of the key `KeyName` below `KeyRoot` into `KeyVal` as text.
// Returns true when the key opened and the value was read (`KeyVal` is then the text of a
// text or 32-bit value, and unchanged for any other type); false with `KeyVal` emptied
// otherwise. A value without data bytes, or a failing platform call, throws RuntimeError:
// there is no trap here, the caller's takes it.
[[nodiscard]] bool GetKeyValue(platform::Platform& platform, platform::NativeHandle KeyRoot,
                               std::string_view KeyName, std::string_view SubKeyRef, std::string& KeyVal);

// The text of a value's data bytes: a text value (UTF-16LE, one terminating zero dropped)
// as UTF-8, a 32-bit number as "&h" and its eight hexadecimal digits; nothing for any
// other type.
[[nodiscard]] std::optional<std::string> registry_value_text(unsigned type, std::span<const std::byte> data);

} // namespace about
