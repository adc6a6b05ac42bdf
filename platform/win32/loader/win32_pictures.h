// The picture loader: files decoded off the user-interface thread and kept at the size shown.
#pragma once

#include "imaging/colour_transform.h"
#include "imaging/picture_prefetch.h"
#include "platform/platform.h"
#include "platform/win32/common/win32_handles.h"
#include "platform/win32/pictures/win32_dib.h"
#include "platform/win32/pictures/win32_file_decoder.h"

#include <windows.h>
#include <wincodec.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::win32 {

using imaging::FileStamp;
using imaging::PicturePrefetch;

class DecoderProcess;
struct DecoderCommand;

class Win32Pictures final : public platform::Pictures {
public:
    // The largest size a picture is ever shown at: the screen, in pixels. A picture larger than that
    // is kept at its fit inside `bound`; a smaller one at its natural size. Pictures are shown in the
    // colours of the primary monitor's profile (primary_display_profile) and decoded in this process.
    explicit Win32Pictures(SIZE bound);
    // As above, on a display whose ICC profile is `display_profile` (sRGB when empty).
    Win32Pictures(SIZE bound, std::span<const std::uint8_t> display_profile);
    // As above, but pictures are decoded in a decoder process started with `decoder` (see
    // DecoderProcess), and never in this one unless no decoder process can be started at all.
    Win32Pictures(SIZE bound, std::span<const std::uint8_t> display_profile, DecoderCommand decoder);
    // The same on the primary monitor's profile.
    Win32Pictures(SIZE bound, DecoderCommand decoder);
    // Pictures decoded in `decoder`, at the size and in the colours of its settings (never null).
    explicit Win32Pictures(std::shared_ptr<DecoderProcess> decoder);
    ~Win32Pictures() override;
    Win32Pictures(const Win32Pictures&) = delete;
    Win32Pictures& operator=(const Win32Pictures&) = delete;

    // Loads the first frame of the picture file at the UTF-8 `path`, whatever its extension says, turned
    // upright as its EXIF orientation says (the natural size is that of the turned picture). When the
    // same file was prepared ahead and has not changed since, that picture is taken instead.
    // Throws RuntimeError when the file is missing, is no picture the imaging component can read,
    // or is too large to decode; with a decoder process also when the decoder crashed on it, ran out of
    // its memory or took longer than its watchdog allows.
    [[nodiscard]] platform::PictureRef load(std::string_view path) override;

    // Starts preparing the picture file at `path` on the loader's worker thread; returns at once.
    void prefetch(std::string_view path) override;
    // The display went off (false) or came on again: while it is off the loader holds no prepared picture,
    // and a decode that is running is dropped when it ends; the decoder process then waits, holding no
    // picture, for the next request.
    void display_power(bool on);
    // Whether the worker has finished what it was asked for.
    [[nodiscard]] bool prefetch_idle() const { return m_prefetch.idle(); }
    // The decoder process's owner; null when pictures are decoded in this process.
    [[nodiscard]] const DecoderProcess* decoder_process() const { return m_process.get(); }

private:
    CoInit m_com;
    // Shared with the worker, which outlives the loader when it is busy at the end.
    std::shared_ptr<DecoderProcess> m_process;
    FileDecoder m_decoder;
    PicturePrefetch m_prefetch;
};

} // namespace platform::win32
