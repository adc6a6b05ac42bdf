// One picture file decoded at the size it is shown at, in the display's colours, by libjpeg-turbo or
// the imaging component.
#pragma once

#include "imaging/colour_transform.h"
#include "imaging/picture_prefetch.h"
#include "platform/errors.h"
#include "platform/win32/common/win32_handles.h"
#include "platform/win32/pictures/win32_dib.h"

#include <windows.h>
#include <wincodec.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace platform::win32 {

using imaging::FileStamp;

// The imaging component could not be started on this thread: no file's doing.
class ComponentUnavailable : public RuntimeError {
public:
    ComponentUnavailable() : RuntimeError("starting the imaging component failed") {}
};

// Decodes picture files on one thread, each kept at the size it is shown at in the box it is asked for,
// in the colours of the display whose ICC profile is `display_profile` (sRGB when it is empty or
// unusable). It never asks the system about the display itself. The imaging component is started on
// that thread when a file first needs it.
class FileDecoder {
public:
    explicit FileDecoder(std::span<const std::uint8_t> display_profile = {}) : m_colours(display_profile) {}
    // As Win32Pictures::load, for a path in the system's own form and a box that is not empty (an empty
    // one keeps the natural size). The file is opened once; `stamp`, when given, receives its stamp from
    // that open.
    [[nodiscard]] std::shared_ptr<const Win32Picture> decode(const std::wstring& path, platform::SizeF box,
                                                             std::optional<FileStamp>* stamp = nullptr);
    // The same for the file open in `file` (with read access), read from its start whatever its file
    // pointer; it is the only file read.
    [[nodiscard]] std::shared_ptr<const Win32Picture> decode(HANDLE file, platform::SizeF box);
    // Where the pixels of the pictures decoded from now on are made (DIB sections when empty).
    void set_pixel_memory(PixelMemory memory) { m_memory = std::move(memory); }

private:
    IWICImagingFactory& factory();

    imaging::ColourTransforms m_colours;
    PixelMemory m_memory;
    ComPtr<IWICImagingFactory> m_factory;
};

// What tells the file at `path` from another file or another content of it; nothing when it cannot be
// opened. A folder has a stamp too.
[[nodiscard]] std::optional<FileStamp> file_stamp(const std::wstring& path);
// The same for the file open in `file`.
[[nodiscard]] std::optional<FileStamp> file_stamp(HANDLE file);
// A picture file opened for reading as the decoders read it; empty when it cannot be.
[[nodiscard]] UniqueHfile open_picture_file(const std::wstring& path);

} // namespace platform::win32
