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
    // Pictures are shown in the colours of the primary monitor's profile (primary_display_profile) and
    // decoded in this process. Each is kept at the size it is placed at in the box it is asked for; a
    // picture smaller than that box both ways at its natural size.
    Win32Pictures();
    // As above, on a display whose ICC profile is `display_profile` (sRGB when empty).
    explicit Win32Pictures(std::span<const std::uint8_t> display_profile);
    // As above, but pictures are decoded in a decoder process started with `decoder` (see
    // DecoderProcess), and never in this one unless no decoder process can be started at all.
    Win32Pictures(std::span<const std::uint8_t> display_profile, DecoderCommand decoder);
    // The same on the primary monitor's profile.
    explicit Win32Pictures(DecoderCommand decoder);
    // Pictures decoded in `decoder`, in the colours of its settings (never null).
    explicit Win32Pictures(std::shared_ptr<DecoderProcess> decoder);
    ~Win32Pictures() override;
    Win32Pictures(const Win32Pictures&) = delete;
    Win32Pictures& operator=(const Win32Pictures&) = delete;

    // Loads the first frame of the picture file at the UTF-8 `path`, whatever its extension says, turned
    // upright as its EXIF orientation says (the natural size is that of the turned picture), its pixels
    // decoded and scaled straight to kept_size for `box` (an empty box: the primary screen now). When
    // the same file was prepared ahead for the same box and has not changed since, that picture is taken
    // instead.
    // Throws RuntimeError when the file is missing, is no picture the imaging component can read,
    // or is too large to decode; with a decoder process also when the decoder crashed on it, ran out of
    // its memory or took longer than its watchdog allows, and when a key is pressed or a mouse button
    // clicked in a window of this thread while it waits for a picture that was not prepared: that input
    // is left for the window, which ends the run.
    [[nodiscard]] platform::PictureRef load(std::string_view path, platform::SizeF box) override;

    // Starts preparing the picture file at `path` for `box` on the loader's worker thread; returns at once.
    void prefetch(std::string_view path, platform::SizeF box) override;
    // The display went off (false) or came on again: while it is off the loader holds no prepared picture,
    // and a decode that is running is dropped when it ends; the decoder process then waits, holding no
    // picture, for the next request.
    void display_power(bool on);
    // Whether the worker has finished what it was asked for.
    [[nodiscard]] bool prefetch_idle() const { return m_prefetch->idle(); }
    // The decoder process's owner; null when pictures are decoded in this process.
    [[nodiscard]] const DecoderProcess* decoder_process() const { return m_process.get(); }

private:
    // Gets the picture for `box` on a thread of its own, prepared (when `prepared_maybe`) or from the
    // decoder process, and waits for it unless a key or a click comes first.
    platform::PictureRef wait_for_picture(std::string_view path, platform::SizeF box, bool prepared_maybe);

    CoInit m_com;
    // Shared with the worker, which outlives the loader when it is busy at the end.
    std::shared_ptr<DecoderProcess> m_process;
    FileDecoder m_decoder;
    // Shared with a wait for a picture that input ended (wait_for_picture), which finishes on its own.
    std::shared_ptr<PicturePrefetch> m_prefetch;
};

} // namespace platform::win32
