// The registry, the file test and program launch on Win32, through the W functions.
#pragma once

#include "platform/platform.h"

namespace platform::win32 {

// Registry access with RegOpenKeyExW, RegQueryValueExW and RegCloseKey. A root is passed as
// the 32-bit number of a predefined key (HKEY_LOCAL_MACHINE is 0x80000002); keys this class
// opened come back as their own handles.
class Win32Registry final : public Registry {
public:
    long open_key(NativeHandle root, std::string_view path, unsigned options, unsigned access,
                  NativeHandle& key) override;
    long query_value(NativeHandle key, std::string_view name, unsigned& type, std::span<std::byte> buffer,
                     unsigned& size) override;
    void close_key(NativeHandle key) override;
};

// The ordinary-file test with GetFileAttributesW.
class Win32Files final : public Files {
public:
    bool ordinary_file_exists(std::string_view path) override;
};

// Starts a program with CreateProcessW, the path given as the program's own name so that
// nothing is taken from a command line parsed at its spaces.
class Win32Launcher final : public Launcher {
public:
    void start_program(std::string_view path, int window_style) override;
};

} // namespace platform::win32
