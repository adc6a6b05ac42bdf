// Files for the backend's tests of the picture loader: a folder of their own and pictures written into it.
#pragma once

#include "platform/win32/common/win32_handles.h"

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace platform::win32 {

// A folder of its own in the temporary folder, removed with what it holds.
class TempFolder {
public:
    explicit TempFolder(const wchar_t* name = L"prefetch")
    {
        wchar_t base[MAX_PATH];
        ::GetTempPathW(MAX_PATH, base);
        m_path = std::wstring(base) + std::wstring(L"kwobl-") + name + L"-" + std::to_wstring(::GetCurrentProcessId());
        ::CreateDirectoryW(m_path.c_str(), nullptr);
    }
    ~TempFolder()
    {
        for (const std::wstring& file : m_files)
            ::DeleteFileW(file.c_str());
        ::RemoveDirectoryW(m_path.c_str());
    }
    std::wstring file(const wchar_t* name)
    {
        m_files.push_back(m_path + L"\\" + name);
        return m_files.back();
    }

private:
    std::wstring m_path;
    std::vector<std::wstring> m_files;
};

// The bytes of a picture file a test writes.
using TestBytes = std::vector<std::uint8_t>;

// A big-endian 32-bit number at the end of `out`, as PNG stores them.
inline void put_be32(TestBytes& out, std::uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>(v >> shift));
}

// The CRC-32 of a PNG chunk.
inline std::uint32_t crc32(const std::uint8_t* data, std::size_t n)
{
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < n; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

// A PNG chunk of `type` holding `data`, with its length and CRC, at the end of `out`.
inline void put_chunk(TestBytes& out, const char* type, const TestBytes& data)
{
    put_be32(out, static_cast<std::uint32_t>(data.size()));
    const std::size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    put_be32(out, crc32(out.data() + start, out.size() - start));
}

// Writes a one-colour 24-bit BMP file of width x height.
inline void write_bmp(const std::wstring& path, int width, int height, std::uint8_t blue)
{
    const int row = (width * 3 + 3) & ~3;
    BITMAPFILEHEADER file{};
    BITMAPINFOHEADER info{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + static_cast<DWORD>(row * height);
    info.biSize = sizeof info;
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(row * height), 0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            pixels[static_cast<std::size_t>(y * row + x * 3)] = blue;
    const UniqueHfile out(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    ::WriteFile(out.get(), &file, sizeof file, &written, nullptr);
    ::WriteFile(out.get(), &info, sizeof info, &written, nullptr);
    ::WriteFile(out.get(), pixels.data(), static_cast<DWORD>(pixels.size()), &written, nullptr);
}

} // namespace platform::win32
