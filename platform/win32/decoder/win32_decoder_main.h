// The decoder process: this program started by the slideshow to decode its pictures, one at a time,
// out of the slideshow's own process.
#pragma once

#include "platform/win32/pictures/win32_dib.h"

#include <windows.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace platform::win32 {

class FileDecoder;

// Decodes one open file for a box as the decoder process does. The program's is FileDecoder::decode;
// the backend's tests put theirs in front of it.
using DecodeFunction =
    std::function<std::shared_ptr<const Win32Picture>(FileDecoder&, HANDLE file, platform::SizeF box)>;

// When `command_line` (GetCommandLineW's) starts a decoder process, runs it until the slideshow goes and
// returns its exit code; nothing otherwise, having done nothing. Call it before anything else: a decoder
// process makes no window, takes no instance lock and never shows an error.
[[nodiscard]] std::optional<int> run_decoder_if_asked(const wchar_t* command_line,
                                                      const DecodeFunction& decode = {});

// Serves the slideshow's requests on `pipe` until it closes: reads the settings, answers kReady, then
// decodes each file with `decode` and writes its reply. Returns the process's exit code.
int serve_decoder(HANDLE pipe, const DecodeFunction& decode);

} // namespace platform::win32
