// The slideshow's side of the decoder process: starting it confined, asking it for pictures, and
// ending it when it crashes, hangs or runs out of memory.
#pragma once

#include "imaging/picture_prefetch.h"
#include "platform/win32/common/win32_handles.h"
#include "platform/win32/decoder/win32_decoder_protocol.h"
#include "platform/win32/decoder/win32_pixel_mappings.h"
#include "platform/win32/pictures/win32_dib.h"

#include <windows.h>

#include <atomic>
#include <functional>
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

// The ways a decoder process is confined besides its job and its pipe. A system may refuse any of them
// (an older one, a policy); each one it refuses is then left out on its own, for the rest of the run,
// and the others stay.
enum DecoderStep : unsigned {
    // No processes of its own, though its job already allows it none.
    kNoChildProcesses = 1u << 0,
    // No images from the network or with a low label, the system's folder searched first, no
    // extension points (AppInit DLLs, hooks, input methods) and strict handle checks.
    kMitigations = 1u << 1,
    // Our token without its privileges, at low integrity: it reads but can write almost nowhere.
    kLowToken = 1u << 2,
    // Our token let pass only what every user may (restricting SIDs): no file that is the user's alone
    // opens by name.
    kNoUserFiles = 1u << 3,
    // An AppContainer of its own with no capabilities: no network, no user files, nothing of other
    // programs; the system's folders and registry, which the imaging component reads, grant all such
    // containers. Its SID is derived from a name and no profile is made for it, so that nothing is left
    // behind on the disk or in the registry.
    kAppContainer = 1u << 4,
};
inline constexpr unsigned kEveryDecoderStep = kNoChildProcesses | kMitigations | kLowToken | kNoUserFiles | kAppContainer;
// The steps that change what the decoder may read. The system may take them and the decoder then not
// work under them (it dies at its start, or the imaging component will not start): the most confining
// of them is then left out, as refused.
inline constexpr unsigned kReadingSteps = kNoUserFiles | kAppContainer;

// Makes a decoder's process suspended, with `client` (the pipe's end) the one handle it inherits,
// confined by `steps` (DecoderStep); false when the system refuses. The program's is
// spawn_decoder_process; tests put theirs in front of it to play a system that refuses.
using SpawnDecoder = std::function<bool(const DecoderCommand& command, unsigned steps, HANDLE client,
                                        PROCESS_INFORMATION& info)>;
[[nodiscard]] bool spawn_decoder_process(const DecoderCommand& command, unsigned steps, HANDLE client,
                                         PROCESS_INFORMATION& info);

// One decoder process at a time, started when a picture is first asked for and again after each one
// that was ended. Both the loader's worker and the user-interface thread may call decode(); they take
// turns.
class DecoderProcess {
public:
    // A decoder process that runs, in its job.
    struct Running;

    DecoderProcess(DecoderCommand command, DecoderSettings settings, DWORD watchdog_ms = kDecoderWatchdogMs,
                   SpawnDecoder spawn = spawn_decoder_process);
    ~DecoderProcess();
    DecoderProcess(const DecoderProcess&) = delete;
    DecoderProcess& operator=(const DecoderProcess&) = delete;

    // The file at `path` decoded in the decoder process for `box`, as FileDecoder::decode would in this
    // one. The file is opened here, once, read-only, and stamped from that handle; the decoder is given a
    // read-only duplicate of it, never the path. The pixels come back in memory shared with it, not
    // copied. Throws RuntimeError when the box is empty or absurd (box_fits), when the decoder refuses
    // the file, or ends, or does not answer within the watchdog's time (it is then ended, and the next
    // call starts another). A file that ended a decoder is refused at once while it is unchanged.
    // A decoder that ended before it was given the file (from outside: the task manager, the system short
    // of memory) costs nothing: another one is made for it. Returns null when the system refuses to make
    // any decoder process now (a policy against child processes, say): the caller then decodes this
    // picture in its own process, and the next one asks for a decoder again. `stamp`, when given,
    // receives the file's stamp from the one open.
    [[nodiscard]] std::shared_ptr<const Win32Picture> decode(const std::wstring& path, platform::SizeF box,
                                                             std::optional<imaging::FileStamp>* stamp = nullptr);

    // Makes a decoder process with `command` now, before the display's profile is known, for start_ahead
    // to give its settings to: a process takes a while to start. Until it has its settings its job holds
    // it to the memory of a screen of kLaunchBound; it reads no file before. Null when no decoder process
    // can be made.
    [[nodiscard]] static std::shared_ptr<Running> launch(const DecoderCommand& command,
                                                         const SpawnDecoder& spawn = spawn_decoder_process);
    static constexpr SIZE kLaunchBound{7680, 4320};

    // Starts a decoder process now, on a thread of its own, rather than at the first decode(), which
    // waits for it; or gives `launched` (from launch()) its settings. Call it before the first decode().
    // A process takes a while to start (under Wine, longer than the slideshow takes to make its
    // windows): started first, it is ready by the time the first picture is asked for.
    void start_ahead(std::shared_ptr<Running> launched = nullptr);

    [[nodiscard]] const DecoderSettings& settings() const { return m_settings; }
    // The memory the pictures are handed over in (kept for the next picture while `on`; see
    // PixelMappings).
    [[nodiscard]] PixelMappings& mappings() { return m_mappings; }
    // For tests: the memory limit of the decoders' jobs, from the largest box asked for so far.
    [[nodiscard]] std::uint64_t memory_limit() const;

    // Starts no decoder from now on; waits while one is being made, until it is in its job (a
    // moment, never a decode). The loader calls it when it goes, so that a program that ends just as
    // its decoder is being started leaves nothing behind.
    void close();

    // For tests: the running decoder's process id (0 when none runs), how many were started and
    // answered, whether the running one has a low-integrity token as the system runs it, and the
    // steps (DecoderStep) it was made with.
    [[nodiscard]] DWORD process_id() const;
    [[nodiscard]] int starts() const;
    [[nodiscard]] bool low_integrity() const;
    [[nodiscard]] unsigned steps() const;

private:
    // How a request's decoder was lost: not at all; before it was given the request (it went just
    // before); by the file (it crashed or hung on it, and the file is refused while unchanged); or from
    // outside while it decoded; or by its confinement, under which the imaging component does not start.
    enum class Lost { No, Undelivered, ByFile, FromOutside, ByConfinement };

    // Whether a decoder runs, starting one if none does. Called with m_mutex held.
    bool running();
    // A decoder process made with the memory limit for pictures of `pixels` and with as many of `steps`
    // as the system allows, and let run; null when it cannot be made (`refused` then says whether the
    // system refused every way of making it), or when `closed`.
    static std::shared_ptr<Running> make(const DecoderCommand& command, const SpawnDecoder& spawn, SIZE pixels,
                                         unsigned steps, const std::atomic<bool>* closed, bool* refused = nullptr);
    // Sends `running` its settings and waits for it to be ready; it is then the running decoder. When
    // it is not, `ended` says whether it ended before it was ready, rather than being too slow.
    bool greet(std::shared_ptr<Running> running, bool& ended);
    // Greets `running`; when it ended before it was ready and was made with a step of kReadingSteps,
    // the most confining of those is left out, as refused (true then: try again).
    bool greet_or_lower(std::shared_ptr<Running> running, bool& again);
    void end();
    // Whether the running decoder has ended on its own or been ended from outside.
    bool gone() const;
    // Raises the job's memory limit to `box` when it is larger than any box before. Called with m_mutex
    // held; false when the running decoder's job refuses it.
    bool make_room_for(platform::SizeF box);
    std::shared_ptr<const Win32Picture> ask(HANDLE file, platform::SizeF box, Lost& lost);

    const DecoderCommand m_command;
    const DecoderSettings m_settings;
    const DWORD m_watchdog_ms;
    const SpawnDecoder m_spawn;
    mutable std::mutex m_mutex;
    std::shared_ptr<Running> m_running;
    // The pixels of the largest box asked for so far: what every decoder's job is limited by.
    SIZE m_largest{0, 0};
    // Read without the lock, which a decode holds while it waits.
    std::atomic<DWORD> m_process_id{0};
    std::atomic<int> m_starts{0};
    std::atomic<bool> m_low_integrity{false};
    std::atomic<unsigned> m_running_steps{0};
    // Whether the system refused every way of making a decoder at the last try.
    bool m_refused = false;
    std::atomic<bool> m_closed{false}; // written under g_starting
    // The steps asked for: all of them, less those the system refused.
    unsigned m_steps = kEveryDecoderStep;
    // The last file that ended a decoder, as it was then.
    std::optional<std::pair<std::wstring, std::optional<imaging::FileStamp>>> m_fatal;
    std::thread m_ahead;
    // A decoder launched ahead that has yet to be given its settings.
    std::shared_ptr<Running> m_launched;
    PixelMappings m_mappings;
};

} // namespace platform::win32
