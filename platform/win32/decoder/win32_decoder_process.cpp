// The decoder process seen from the slideshow: a job with a hard memory limit that dies with us, a
// low-integrity token, one pipe with a deadline on every wait, and the pixels in a file mapping.
#include "platform/win32/decoder/win32_decoder_process.h"

#include "imaging/picture_budget.h"
#include "platform/errors.h"
#include "platform/win32/common/win32_module.h"
#include "platform/win32/pictures/win32_file_decoder.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace platform::win32 {

namespace {

// The decoder's own working memory besides a picture's: its code, heap and the imaging component.
constexpr std::uint64_t kDecoderOwnBytes = std::uint64_t{64} << 20;

// Held while a decoder is being made and put into its job (create_suspended).
std::mutex g_starting;

// The limits of a decoder's job, its memory limit that of pictures kept at most `pixels` large.
bool limit_job(HANDLE job, SIZE pixels)
{
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_PROCESS_MEMORY | JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE |
                                              JOB_OBJECT_LIMIT_ACTIVE_PROCESS |
                                              JOB_OBJECT_LIMIT_DIE_ON_UNHANDLED_EXCEPTION;
    limits.BasicLimitInformation.ActiveProcessLimit = 1;
    limits.ProcessMemoryLimit = static_cast<SIZE_T>(decoder_memory_limit(pixels));
    return ::SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits) != FALSE;
}

UniqueHandle make_job(SIZE pixels)
{
    UniqueHandle job(::CreateJobObjectW(nullptr, nullptr));
    if (!job || !limit_job(job.get(), pixels))
        return {};
    // Nothing of the desktop is the decoder's business: neither our windows nor the clipboard nor the
    // system's settings. Not every system has these; the limits above are what matter.
    JOBOBJECT_BASIC_UI_RESTRICTIONS ui{};
    ui.UIRestrictionsClass = JOB_OBJECT_UILIMIT_HANDLES | JOB_OBJECT_UILIMIT_READCLIPBOARD |
                             JOB_OBJECT_UILIMIT_WRITECLIPBOARD | JOB_OBJECT_UILIMIT_SYSTEMPARAMETERS |
                             JOB_OBJECT_UILIMIT_DISPLAYSETTINGS | JOB_OBJECT_UILIMIT_GLOBALATOMS |
                             JOB_OBJECT_UILIMIT_DESKTOP | JOB_OBJECT_UILIMIT_EXITWINDOWS;
    ::SetInformationJobObject(job.get(), JobObjectBasicUIRestrictions, &ui, sizeof ui);
    return job;
}

// Our own token without its privileges, at low integrity: it still reads ordinary files (their label
// forbids only writing up) but can write almost nowhere. Empty when the system refuses.
UniqueHandle low_integrity_token()
{
    UniqueHandle own;
    if (!::OpenProcessToken(::GetCurrentProcess(),
                            TOKEN_DUPLICATE | TOKEN_QUERY | TOKEN_ASSIGN_PRIMARY | TOKEN_ADJUST_DEFAULT, own.put()))
        return {};
    UniqueHandle restricted;
    if (!::CreateRestrictedToken(own.get(), DISABLE_MAX_PRIVILEGE, 0, nullptr, 0, nullptr, 0, nullptr,
                                 restricted.put()))
        return {};
    SID_IDENTIFIER_AUTHORITY label = SECURITY_MANDATORY_LABEL_AUTHORITY;
    PSID low = nullptr;
    if (!::AllocateAndInitializeSid(&label, 1, SECURITY_MANDATORY_LOW_RID, 0, 0, 0, 0, 0, 0, 0, &low))
        return {};
    TOKEN_MANDATORY_LABEL level{};
    level.Label.Attributes = SE_GROUP_INTEGRITY;
    level.Label.Sid = low;
    const BOOL lowered = ::SetTokenInformation(restricted.get(), TokenIntegrityLevel, &level,
                                               sizeof level + ::GetLengthSid(low));
    ::FreeSid(low);
    return lowered ? std::move(restricted) : UniqueHandle{};
}

bool has_low_integrity(HANDLE process)
{
    UniqueHandle token;
    if (!::OpenProcessToken(process, TOKEN_QUERY, token.put()))
        return false;
    DWORD bytes = 0;
    ::GetTokenInformation(token.get(), TokenIntegrityLevel, nullptr, 0, &bytes);
    if (bytes == 0)
        return false;
    std::vector<std::uint8_t> buffer(bytes);
    if (!::GetTokenInformation(token.get(), TokenIntegrityLevel, buffer.data(), bytes, &bytes))
        return false;
    const auto* level = reinterpret_cast<const TOKEN_MANDATORY_LABEL*>(buffer.data());
    const DWORD rid = *::GetSidSubAuthority(level->Label.Sid, *::GetSidSubAuthorityCount(level->Label.Sid) - 1);
    return rid <= SECURITY_MANDATORY_LOW_RID;
}

// A pipe of which we keep the overlapped server end; the client end, inheritable, goes to the decoder.
bool make_pipe(UniqueHfile& server, UniqueHfile& client)
{
    static std::atomic<unsigned> counter{0};
    const std::wstring name = L"\\\\.\\pipe\\kwobl-decoder-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                              std::to_wstring(++counter) + L"-" + std::to_wstring(::GetTickCount64());
    server.reset(::CreateNamedPipeW(name.c_str(),
                                    PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
                                    PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1,
                                    64 * 1024, 64 * 1024, 0, nullptr));
    if (!server)
        return false;
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    client.reset(::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, &inherit, OPEN_EXISTING, 0, nullptr));
    return static_cast<bool>(client);
}

// Reads (or writes) all `bytes` through the overlapped `pipe`, giving up when `process` ends or
// `deadline` (GetTickCount64) passes.
bool transfer(HANDLE pipe, HANDLE process, HANDLE event, void* buffer, std::size_t bytes, ULONGLONG deadline,
              bool write)
{
    auto* at = static_cast<std::uint8_t*>(buffer);
    while (bytes > 0) {
        OVERLAPPED overlapped{};
        overlapped.hEvent = event;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes, 1u << 20));
        const BOOL done = write ? ::WriteFile(pipe, at, chunk, nullptr, &overlapped)
                                : ::ReadFile(pipe, at, chunk, nullptr, &overlapped);
        if (!done && ::GetLastError() != ERROR_IO_PENDING)
            return false;
        DWORD moved = 0;
        if (!done) {
            const ULONGLONG now = ::GetTickCount64();
            const DWORD left = now >= deadline ? 0 : static_cast<DWORD>(deadline - now);
            const HANDLE waits[] = {event, process};
            if (::WaitForMultipleObjects(2, waits, FALSE, left) != WAIT_OBJECT_0 &&
                !HasOverlappedIoCompleted(&overlapped)) {
                ::CancelIoEx(pipe, &overlapped);
                ::GetOverlappedResult(pipe, &overlapped, &moved, TRUE);
                return false;
            }
        }
        if (!::GetOverlappedResult(pipe, &overlapped, &moved, TRUE) || moved == 0)
            return false;
        at += moved;
        bytes -= moved;
    }
    return true;
}

// Makes the decoder's process, suspended, with `client` (the pipe's end) the one handle it inherits.
// Called with g_starting held: handles are inherited by every process started while they are
// inheritable, and the pipe's end is closed as soon as the decoder has it.
bool create_suspended(const DecoderCommand& command, HANDLE token, HANDLE client, PROCESS_INFORMATION& info)
{
    std::wstring command_line = L"\"" + command.program + L"\" " + command.arguments +
                                (command.arguments.empty() ? L"" : L" ") + kDecoderArgument + L" " +
                                std::to_wstring(reinterpret_cast<std::uintptr_t>(client));
    // Only the pipe's end is inherited where the system can be told so.
    SIZE_T list_bytes = 0;
    ::InitializeProcThreadAttributeList(nullptr, 1, 0, &list_bytes);
    std::vector<std::uint8_t> list_memory(list_bytes);
    auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(list_memory.data());
    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof startup;
    DWORD flags = CREATE_SUSPENDED | CREATE_NO_WINDOW | CREATE_UNICODE_ENVIRONMENT;
    if (list_bytes > 0 && ::InitializeProcThreadAttributeList(list, 1, 0, &list_bytes)) {
        if (::UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, &client, sizeof client, nullptr,
                                        nullptr)) {
            startup.lpAttributeList = list;
            flags |= EXTENDED_STARTUPINFO_PRESENT;
        }
    }
    const BOOL made = token ? ::CreateProcessAsUserW(token, command.program.c_str(), command_line.data(), nullptr,
                                                     nullptr, TRUE, flags, nullptr, nullptr, &startup.StartupInfo,
                                                     &info)
                            : ::CreateProcessW(command.program.c_str(), command_line.data(), nullptr, nullptr, TRUE,
                                               flags, nullptr, nullptr, &startup.StartupInfo, &info);
    if (startup.lpAttributeList)
        ::DeleteProcThreadAttributeList(list);
    return made != FALSE;
}

} // namespace

std::uint64_t decoder_memory_limit(SIZE pixels)
{
    const std::uint64_t kept = std::uint64_t(std::max(0L, pixels.cx)) * std::uint64_t(std::max(0L, pixels.cy)) * 4;
    return imaging::kPictureBudgetBytes + 2 * kept + kDecoderOwnBytes;
}

DecoderCommand this_program_as_decoder()
{
    return {module_path(), L""};
}

struct DecoderProcess::Running {
    UniqueHandle job;
    UniqueHandle process;
    UniqueHfile pipe;
    UniqueHandle event{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    DWORD id = 0;
    bool low_integrity = false; // as the system runs it
    bool own_token = false;     // made with our own token, not a low-integrity one

    bool read(void* buffer, std::size_t bytes, ULONGLONG deadline)
    {
        return transfer(pipe.get(), process.get(), event.get(), buffer, bytes, deadline, false);
    }
    bool write(const void* buffer, std::size_t bytes, ULONGLONG deadline)
    {
        return transfer(pipe.get(), process.get(), event.get(), const_cast<void*>(buffer), bytes, deadline, true);
    }
};

DecoderProcess::DecoderProcess(DecoderCommand command, DecoderSettings settings, DWORD watchdog_ms)
    : m_command(std::move(command)), m_settings(std::move(settings)), m_watchdog_ms(watchdog_ms)
{
}

DecoderProcess::~DecoderProcess()
{
    if (m_ahead.joinable())
        m_ahead.join();
    end();
}

std::shared_ptr<DecoderProcess::Running> DecoderProcess::launch(const DecoderCommand& command)
{
    if (std::shared_ptr<Running> running = make(command, kLaunchBound, true, nullptr))
        return running;
    return make(command, kLaunchBound, false, nullptr);
}

void DecoderProcess::start_ahead(std::shared_ptr<Running> launched)
{
    if (m_ahead.joinable())
        return;
    {
        // Whoever gets to running() first, this thread or a decode, gives the launched decoder its
        // settings.
        const std::lock_guard lock(m_mutex);
        m_launched = std::move(launched);
    }
    m_ahead = std::thread([this] {
        try {
            const std::lock_guard lock(m_mutex);
            (void)running();
        } catch (...) {
            // Out of memory, say: the first picture tries again.
        }
    });
}

void DecoderProcess::end()
{
    if (!m_running)
        return;
    // Closing the job ends its process too; ending it first makes sure it is gone before we go on.
    ::TerminateJobObject(m_running->job.get(), 1);
    ::WaitForSingleObject(m_running->process.get(), m_watchdog_ms);
    m_running.reset();
    m_process_id = 0;
    m_low_integrity = false;
}

std::shared_ptr<DecoderProcess::Running> DecoderProcess::make(const DecoderCommand& command, SIZE pixels,
                                                              bool low_integrity, const std::atomic<bool>* closed)
{
    auto running = std::make_shared<Running>();
    running->job = make_job(pixels);
    running->own_token = !low_integrity;
    UniqueHfile client;
    if (!running->job || !running->event || !make_pipe(running->pipe, client) || command.program.empty())
        return nullptr;
    UniqueHandle token = low_integrity ? low_integrity_token() : UniqueHandle{};
    if (low_integrity && !token)
        return nullptr;

    PROCESS_INFORMATION info{};
    {
        // From its making until it is in its job. A loader that closes meanwhile waits that long, so that
        // no decoder is ever left behind, suspended and outside its job, when the program ends.
        const std::lock_guard lock(g_starting);
        if (closed && *closed)
            return nullptr;
        const bool made = create_suspended(command, token.get(), client.get(), info);
        client.reset();
        if (!made)
            return nullptr;
        running->process.reset(info.hProcess);
        running->id = info.dwProcessId;
        // In its job before it runs a single instruction: it never runs unconfined.
        if (!::AssignProcessToJobObject(running->job.get(), running->process.get())) {
            ::TerminateProcess(running->process.get(), 1);
            ::CloseHandle(info.hThread);
            return nullptr;
        }
    }
    const UniqueHandle thread(info.hThread);
    running->low_integrity = has_low_integrity(running->process.get());
    ::ResumeThread(thread.get());
    return running;
}

bool DecoderProcess::start(bool low_integrity)
{
    std::shared_ptr<Running> running = make(m_command, m_largest, low_integrity, &m_closed);
    return running && greet(std::move(running));
}

bool DecoderProcess::greet(std::shared_ptr<Running> running)
{
    m_created = true;
    m_running = std::move(running);
    // The memory limit of the boxes asked for so far (a launched decoder's was a large screen's), before
    // it reads a file.
    if (!limit_job(m_running->job.get(), m_largest)) {
        end();
        return false;
    }
    const ULONGLONG deadline = ::GetTickCount64() + m_watchdog_ms;
    const std::vector<std::uint8_t> settings = settings_bytes(m_settings);
    std::uint32_t ready = 0;
    if (!m_running->write(settings.data(), settings.size(), deadline) ||
        !m_running->read(&ready, sizeof ready, deadline) || ready != kReady) {
        end();
        return false;
    }
    ++m_starts;
    m_process_id = m_running->id;
    m_low_integrity = m_running->low_integrity;
    return true;
}

bool DecoderProcess::start_decoder()
{
    // A system that refuses a low-integrity decoder the first time gets one with our own token, in the
    // same job; one that took it once gets no other.
    if (m_token != Token::Own && start(true)) {
        m_token = Token::Low;
        return true;
    }
    if (m_token == Token::Low)
        return false;
    m_token = Token::Own;
    return start(false);
}

void DecoderProcess::close()
{
    const std::lock_guard lock(g_starting);
    m_closed = true;
}

bool DecoderProcess::running()
{
    if (m_running || m_unavailable || m_closed)
        return static_cast<bool>(m_running);
    if (std::shared_ptr<Running> launched = std::exchange(m_launched, nullptr)) {
        m_token = launched->own_token ? Token::Own : Token::Low;
        if (greet(std::move(launched)))
            return true;
    }
    if (start_decoder())
        return true;
    // Never made at all: the system does not let us, and the caller decodes in its own process. A
    // decoder that was made but did not answer in time (a busy machine) is tried again next time.
    m_unavailable = !m_created && !m_closed;
    return false;
}

std::shared_ptr<const Win32Picture> DecoderProcess::decode(const std::wstring& path, platform::SizeF box)
{
    if (!box_fits(box.width, box.height))
        throw RuntimeError("no box to fit the picture to");
    const std::lock_guard lock(m_mutex);
    const std::optional<imaging::FileStamp> stamp = file_stamp(path);
    if (m_fatal && m_fatal->first == path && m_fatal->second == stamp)
        throw RuntimeError("this file ended the decoder before");
    if (!running()) {
        if (m_unavailable)
            return nullptr;
        throw RuntimeError("the decoder could not be started");
    }
    if (!make_room_for(box)) {
        // The next decoder is made with the larger limit from the start.
        end();
        throw RuntimeError("the decoder's memory could not be set for the picture");
    }
    try {
        return ask(path, box);
    } catch (const std::exception&) {
        if (!m_running) // ended: the file's own fault, or the decoder's
            m_fatal.emplace(path, stamp);
        throw;
    }
}

bool DecoderProcess::make_room_for(platform::SizeF box)
{
    // The limit follows the largest box asked for and is never lowered: a decoder's heap keeps what an
    // earlier, larger picture made it commit, so a limit cut to a smaller box could refuse an ordinary
    // picture for memory it holds from before; and the box changes only with the display, so the limit
    // is set once in a run, not once per picture. A decoder started later is made with it.
    const SIZE pixels = box_pixels(box);
    if (pixels.cx <= m_largest.cx && pixels.cy <= m_largest.cy)
        return true;
    m_largest = SIZE{std::max(m_largest.cx, pixels.cx), std::max(m_largest.cy, pixels.cy)};
    return limit_job(m_running->job.get(), m_largest);
}

std::uint64_t DecoderProcess::memory_limit() const
{
    const std::lock_guard lock(m_mutex);
    return decoder_memory_limit(m_largest);
}

std::shared_ptr<const Win32Picture> DecoderProcess::ask(const std::wstring& path, platform::SizeF box)
{
    if (path.empty() || path.size() > kMaxPathChars)
        throw RuntimeError("no such file");
    // Room for the pixels of any picture kept for the box: the kept size never passes its whole pixels.
    const SIZE room = box_pixels(box);
    const std::uint64_t bytes = std::uint64_t(room.cx) * std::uint64_t(room.cy) * 4;
    UniqueHandle mapping(::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, DWORD(bytes >> 32),
                                              DWORD(bytes), nullptr));
    HANDLE theirs = nullptr;
    if (!mapping || !::DuplicateHandle(::GetCurrentProcess(), mapping.get(), m_running->process.get(), &theirs,
                                       FILE_MAP_WRITE, FALSE, 0))
        throw RuntimeError("no memory to take a picture in");

    RequestHeader request;
    request.path_chars = static_cast<std::uint32_t>(path.size());
    request.mapping = reinterpret_cast<std::uintptr_t>(theirs);
    request.mapping_bytes = bytes;
    request.box_width = box.width;
    request.box_height = box.height;
    const ULONGLONG deadline = ::GetTickCount64() + m_watchdog_ms;
    ReplyHeader reply;
    std::string message(kMaxMessageBytes, '\0');
    if (!m_running->write(&request, sizeof request, deadline) ||
        !m_running->write(path.data(), path.size() * sizeof(wchar_t), deadline) ||
        !m_running->read(&reply, sizeof reply, deadline) || !reply_fits(reply, bytes) ||
        !m_running->read(message.data(), reply.message_bytes, deadline)) {
        // Crashed, stuck, out of memory or talking nonsense: it is ended, and the picture is lost.
        end();
        throw RuntimeError("the decoder ended or did not answer in time");
    }
    if (reply.status == ReplyStatus::Refused) {
        message.resize(reply.message_bytes);
        throw RuntimeError(message.empty() ? "the file was refused" : message);
    }
    std::shared_ptr<const Dib> pixels;
    if (reply.pixels_width > 0)
        pixels = std::make_shared<Dib>(reply.pixels_width, reply.pixels_height, mapping.get());
    return std::make_shared<Win32Picture>(reply.natural_width, reply.natural_height, std::move(pixels));
}

DWORD DecoderProcess::process_id() const
{
    return m_process_id;
}

int DecoderProcess::starts() const
{
    return m_starts;
}

bool DecoderProcess::low_integrity() const
{
    return m_low_integrity;
}

} // namespace platform::win32
