// The slideshow's side of the decoder process: starting it confined, asking it for pictures, and
// ending it when it crashes, hangs or runs out of memory.
#pragma once

#include "imaging/picture_prefetch.h"
#include "platform/win32/common/win32_handles.h"
#include "platform/win32/decoder/win32_decoder_protocol.h"
#include "platform/win32/pictures/win32_dib.h"

#include <windows.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace platform::win32 {

// The longest a decoder process may take to start or to answer one request before it is ended. The
// slowest pictures the budget admits take about a second under Wine (a 48-megapixel PNG, 0.9 s; a
// progressive 48-megapixel JPEG, 0.45 s); four times that leaves room for a busy machine, and a picture
// given up on still leaves the worker more than half of the ten-second interval for the next one.
inline constexpr DWORD kDecoderWatchdogMs = 4000;

// What a decoder process may commit when the pictures it is asked for are kept at most `pixels` large:
// the per-picture budget, the kept pixels twice over (decoded, then turned upright), and the program's
// own working memory.
[[nodiscard]] std::uint64_t decoder_memory_limit(SIZE pixels);

// The program file and the arguments before kDecoderArgument that start a decoder process.
struct DecoderCommand {
    std::wstring program;
    std::wstring arguments;
};
// This program's own file, which is a decoder process when started with kDecoderArgument.
[[nodiscard]] DecoderCommand this_program_as_decoder();

// One decoder process at a time, started when a picture is first asked for and again after each one
// that was ended. Both the loader's worker and the user-interface thread may call decode(); they take
// turns.
class DecoderProcess {
public:
    // A decoder process that runs, in its job.
    struct Running;

    DecoderProcess(DecoderCommand command, DecoderSettings settings, DWORD watchdog_ms = kDecoderWatchdogMs);
    ~DecoderProcess();
    DecoderProcess(const DecoderProcess&) = delete;
    DecoderProcess& operator=(const DecoderProcess&) = delete;

    // The file at `path` decoded in the decoder process for `box`, as FileDecoder::decode would in this
    // one; the pixels come back in memory shared with it, not copied. Throws RuntimeError when the box
    // is empty or absurd (box_fits), when the decoder refuses the file, or ends, or does not answer
    // within the watchdog's time (it is then ended, and the next call starts another). A file that ended
    // a decoder is refused at once while it is unchanged. Returns null when no decoder process could
    // ever be started here (a policy against child processes, say): the caller then decodes in its own
    // process.
    [[nodiscard]] std::shared_ptr<const Win32Picture> decode(const std::wstring& path, platform::SizeF box);

    // Makes a decoder process with `command` now, before the display's profile is known, for start_ahead
    // to give its settings to: a process takes a while to start. Until it has its settings its job holds
    // it to the memory of a screen of kLaunchBound; it reads no file before. Null when no decoder process
    // can be made.
    [[nodiscard]] static std::shared_ptr<Running> launch(const DecoderCommand& command);
    static constexpr SIZE kLaunchBound{7680, 4320};

    // Starts a decoder process now, on a thread of its own, rather than at the first decode(), which
    // waits for it; or gives `launched` (from launch()) its settings. Call it before the first decode().
    // A process takes a while to start (under Wine, longer than the slideshow takes to make its
    // windows): started first, it is ready by the time the first picture is asked for.
    void start_ahead(std::shared_ptr<Running> launched = nullptr);

    [[nodiscard]] const DecoderSettings& settings() const { return m_settings; }
    // For tests: the memory limit of the decoders' jobs, from the largest box asked for so far.
    [[nodiscard]] std::uint64_t memory_limit() const;

    // Starts no decoder from now on; waits while one is being made, until it is in its job (a
    // moment, never a decode). The loader calls it when it goes, so that a program that ends just as
    // its decoder is being started leaves nothing behind.
    void close();

    // For tests: the running decoder's process id (0 when none runs), how many were started and
    // answered, and whether the running one has a low-integrity token.
    [[nodiscard]] DWORD process_id() const;
    [[nodiscard]] int starts() const;
    [[nodiscard]] bool low_integrity() const;

private:
    enum class Token { Unknown, Low, Own };

    // Whether a decoder runs, starting one if none does. Called with m_mutex held.
    bool running();
    bool start_decoder();
    bool start(bool low_integrity);
    // A decoder process made with the memory limit for pictures of `pixels` and let run; null when it
    // cannot be made, or when `closed`.
    static std::shared_ptr<Running> make(const DecoderCommand& command, SIZE pixels, bool low_integrity,
                                         const std::atomic<bool>* closed);
    // Sends `running` its settings and waits for it to be ready; it is then the running decoder.
    bool greet(std::shared_ptr<Running> running);
    void end();
    // Raises the job's memory limit to `box` when it is larger than any box before. Called with m_mutex
    // held; false when the running decoder's job refuses it.
    bool make_room_for(platform::SizeF box);
    std::shared_ptr<const Win32Picture> ask(const std::wstring& path, platform::SizeF box);

    const DecoderCommand m_command;
    const DecoderSettings m_settings;
    const DWORD m_watchdog_ms;
    mutable std::mutex m_mutex;
    std::shared_ptr<Running> m_running;
    // The pixels of the largest box asked for so far: what every decoder's job is limited by.
    SIZE m_largest{0, 0};
    // Read without the lock, which a decode holds while it waits.
    std::atomic<DWORD> m_process_id{0};
    std::atomic<int> m_starts{0};
    std::atomic<bool> m_low_integrity{false};
    bool m_unavailable = false;
    // Whether a decoder process was ever made and put into its job.
    bool m_created = false;
    std::atomic<bool> m_closed{false}; // written under g_starting
    Token m_token = Token::Unknown;
    // The last file that ended a decoder, as it was then.
    std::optional<std::pair<std::wstring, std::optional<imaging::FileStamp>>> m_fatal;
    std::thread m_ahead;
    // A decoder launched ahead that has yet to be given its settings.
    std::shared_ptr<Running> m_launched;
};

} // namespace platform::win32
