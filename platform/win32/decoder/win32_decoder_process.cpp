// The decoder process seen from the slideshow: a job with a hard memory limit that dies with us, a
// low-integrity token, one pipe with a deadline on every wait, and the pixels in a file mapping.
#include "platform/win32/decoder/win32_decoder_process.h"

#include "imaging/picture_budget.h"
#include "platform/errors.h"
#include "platform/win32/common/win32_module.h"
#include "platform/win32/pictures/win32_file_decoder.h"

#include <algorithm>
#include <atomic>
#include <bit>
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

// The token's information of `kind`, in a buffer of its own; empty when the system refuses.
std::vector<std::uint8_t> token_information(HANDLE token, TOKEN_INFORMATION_CLASS kind)
{
    DWORD bytes = 0;
    ::GetTokenInformation(token, kind, nullptr, 0, &bytes);
    std::vector<std::uint8_t> buffer(bytes);
    if (bytes == 0 || !::GetTokenInformation(token, kind, buffer.data(), bytes, &bytes))
        return {};
    return buffer;
}

// A well-known SID in a buffer of its own.
std::vector<std::uint8_t> well_known_sid(WELL_KNOWN_SID_TYPE type)
{
    std::vector<std::uint8_t> sid(SECURITY_MAX_SID_SIZE);
    DWORD bytes = static_cast<DWORD>(sid.size());
    if (!::CreateWellKnownSid(type, nullptr, sid.data(), &bytes))
        return {};
    sid.resize(bytes);
    return sid;
}

// What every user's token holds: everyone, the users, the restricted code and the logon session (which
// the window station and the desktop grant). As restricting SIDs they pass only what is granted to one
// of them too: the system's folders and registry, which the imaging component and its codecs read, but
// no file that is the user's alone (the user's folders grant the user, the system and the
// administrators), so that a codec led astray cannot open the user's pictures, documents or keys by
// name. Empty when the system refuses.
std::vector<std::vector<std::uint8_t>> restricting_sids(HANDLE own)
{
    std::vector<std::vector<std::uint8_t>> sids;
    for (const WELL_KNOWN_SID_TYPE type : {WinWorldSid, WinBuiltinUsersSid, WinRestrictedCodeSid}) {
        sids.push_back(well_known_sid(type));
        if (sids.back().empty())
            return {};
    }
    const std::vector<std::uint8_t> groups = token_information(own, TokenGroups);
    if (!groups.empty()) {
        const auto* list = reinterpret_cast<const TOKEN_GROUPS*>(groups.data());
        for (DWORD i = 0; i < list->GroupCount; ++i) {
            if ((list->Groups[i].Attributes & SE_GROUP_LOGON_ID) == SE_GROUP_LOGON_ID) {
                const auto* sid = static_cast<const std::uint8_t*>(list->Groups[i].Sid);
                sids.emplace_back(sid, sid + ::GetLengthSid(list->Groups[i].Sid));
            }
        }
    }
    return sids;
}

// Objects the restricted decoder makes (its threads, COM's events) must grant the restricted code too,
// or the decoder could not open its own: the user, the system and the restricted code get them all.
bool grant_own_objects(HANDLE token)
{
    const std::vector<std::uint8_t> user = token_information(token, TokenUser);
    const std::vector<std::uint8_t> system = well_known_sid(WinLocalSystemSid);
    const std::vector<std::uint8_t> restricted = well_known_sid(WinRestrictedCodeSid);
    if (user.empty() || system.empty() || restricted.empty())
        return false;
    PSID sids[] = {reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid, PSID(system.data()),
                   PSID(restricted.data())};
    DWORD bytes = sizeof(ACL);
    for (PSID sid : sids)
        bytes += sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + ::GetLengthSid(sid);
    std::vector<std::uint8_t> acl((bytes + 3) & ~DWORD{3});
    auto* list = reinterpret_cast<ACL*>(acl.data());
    if (!::InitializeAcl(list, static_cast<DWORD>(acl.size()), ACL_REVISION))
        return false;
    for (PSID sid : sids) {
        if (!::AddAccessAllowedAce(list, ACL_REVISION, GENERIC_ALL, sid))
            return false;
    }
    TOKEN_DEFAULT_DACL dacl{list};
    return ::SetTokenInformation(token, TokenDefaultDacl, &dacl, sizeof dacl) != FALSE;
}

// The SID of the decoder's AppContainer, derived from its name by the system; empty where the system
// has no AppContainers (before Windows 8, and Wine).
std::vector<std::uint8_t> derive_app_container_sid()
{
    using Derive = HRESULT(WINAPI*)(PCWSTR, PSID*);
    const HMODULE userenv = ::LoadLibraryExW(L"userenv.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    const auto derive = userenv ? reinterpret_cast<Derive>(reinterpret_cast<void (*)()>(
                                      ::GetProcAddress(userenv, "DeriveAppContainerSidFromAppContainerName")))
                                : nullptr;
    PSID sid = nullptr;
    if (!derive || FAILED(derive(L"KWOBL.PictureDecoder", &sid)) || !sid)
        return {};
    const auto* bytes = static_cast<const std::uint8_t*>(sid);
    std::vector<std::uint8_t> copy(bytes, bytes + ::GetLengthSid(sid));
    ::FreeSid(sid);
    return copy;
}

// The same, asked of the system once: every way of making a decoder tried at a start asks for it.
const std::vector<std::uint8_t>& app_container_sid()
{
    static const std::vector<std::uint8_t> sid = derive_app_container_sid();
    return sid;
}

// The decoder's token for `steps`: our own without its privileges, limited to what every user may read
// (kNoUserFiles) and at low integrity (kLowToken), so that it reads only what it is handed and can write
// almost nowhere. Empty when no step asks for a token, or when the system refuses.
UniqueHandle decoder_token(unsigned steps)
{
    if (!(steps & (kLowToken | kNoUserFiles)))
        return {};
    UniqueHandle own;
    if (!::OpenProcessToken(::GetCurrentProcess(),
                            TOKEN_DUPLICATE | TOKEN_QUERY | TOKEN_ASSIGN_PRIMARY | TOKEN_ADJUST_DEFAULT, own.put()))
        return {};
    std::vector<std::vector<std::uint8_t>> sids;
    std::vector<SID_AND_ATTRIBUTES> restricting;
    if (steps & kNoUserFiles) {
        sids = restricting_sids(own.get());
        if (sids.empty())
            return {};
        for (std::vector<std::uint8_t>& sid : sids)
            restricting.push_back(SID_AND_ATTRIBUTES{PSID(sid.data()), 0});
    }
    UniqueHandle restricted;
    if (!::CreateRestrictedToken(own.get(), DISABLE_MAX_PRIVILEGE, 0, nullptr, 0, nullptr,
                                 static_cast<DWORD>(restricting.size()), restricting.empty() ? nullptr : restricting.data(),
                                 restricted.put()))
        return {};
    if ((steps & kNoUserFiles) && !grant_own_objects(restricted.get()))
        return {};
    if (!(steps & kLowToken))
        return restricted;
    std::vector<std::uint8_t> low = well_known_sid(WinLowLabelSid);
    if (low.empty())
        return {};
    TOKEN_MANDATORY_LABEL level{};
    level.Label.Attributes = SE_GROUP_INTEGRITY;
    level.Label.Sid = PSID(low.data());
    const BOOL lowered = ::SetTokenInformation(restricted.get(), TokenIntegrityLevel, &level,
                                               static_cast<DWORD>(sizeof level + low.size()));
    return lowered ? std::move(restricted) : UniqueHandle{};
}

bool has_low_integrity(HANDLE process)
{
    UniqueHandle token;
    if (!::OpenProcessToken(process, TOKEN_QUERY, token.put()))
        return false;
    const std::vector<std::uint8_t> buffer = token_information(token.get(), TokenIntegrityLevel);
    if (buffer.empty())
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

// The ways of making a decoder with some of `steps`: all of them first, then with one left out, the
// least confining first, and so on down to none.
std::vector<unsigned> step_choices(unsigned steps)
{
    std::vector<unsigned> choices;
    for (unsigned subset = steps;; subset = (subset - 1) & steps) {
        choices.push_back(subset);
        if (subset == 0)
            break;
    }
    std::stable_sort(choices.begin(), choices.end(), [](unsigned a, unsigned b) {
        return std::popcount(a) != std::popcount(b) ? std::popcount(a) > std::popcount(b) : a > b;
    });
    return choices;
}

} // namespace

// Called with g_starting held: handles are inherited by every process started while they are
// inheritable, and the pipe's end is closed as soon as the decoder has it.
bool spawn_decoder_process(const DecoderCommand& command, unsigned steps, HANDLE client, PROCESS_INFORMATION& info)
{
    std::wstring command_line = L"\"" + command.program + L"\" " + command.arguments +
                                (command.arguments.empty() ? L"" : L" ") + kDecoderArgument + L" " +
                                std::to_wstring(reinterpret_cast<std::uintptr_t>(client));
    constexpr DWORD kAttributes = 4;
    SIZE_T list_bytes = 0;
    ::InitializeProcThreadAttributeList(nullptr, kAttributes, 0, &list_bytes);
    std::vector<std::uint8_t> list_memory(list_bytes);
    auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(list_memory.data());
    if (list_bytes == 0 || !::InitializeProcThreadAttributeList(list, kAttributes, 0, &list_bytes))
        return false;
    struct ListEnd {
        LPPROC_THREAD_ATTRIBUTE_LIST list;
        ~ListEnd() { ::DeleteProcThreadAttributeList(list); }
    } list_end{list};
    // Only the pipe's end is inherited where the system can be told so.
    ::UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, &client, sizeof client, nullptr, nullptr);
    DWORD64 mitigations = PROCESS_CREATION_MITIGATION_POLICY_EXTENSION_POINT_DISABLE_ALWAYS_ON |
                          PROCESS_CREATION_MITIGATION_POLICY_STRICT_HANDLE_CHECKS_ALWAYS_ON |
                          PROCESS_CREATION_MITIGATION_POLICY_IMAGE_LOAD_NO_REMOTE_ALWAYS_ON |
                          PROCESS_CREATION_MITIGATION_POLICY_IMAGE_LOAD_NO_LOW_LABEL_ALWAYS_ON |
                          PROCESS_CREATION_MITIGATION_POLICY_IMAGE_LOAD_PREFER_SYSTEM32_ALWAYS_ON;
    if ((steps & kMitigations) && !::UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_MITIGATION_POLICY,
                                                               &mitigations, sizeof mitigations, nullptr, nullptr))
        return false;
    DWORD children = PROCESS_CREATION_CHILD_PROCESS_RESTRICTED;
    if ((steps & kNoChildProcesses) && !::UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_CHILD_PROCESS_POLICY,
                                                                    &children, sizeof children, nullptr, nullptr))
        return false;
    // Started in the system's folder, so that it holds no handle to a folder of the user's (ours may be
    // one), which its token might not even be let to open.
    wchar_t system_folder[MAX_PATH] = {};
    const bool in_system_folder = ::GetSystemDirectoryW(system_folder, MAX_PATH) - 1u < MAX_PATH - 1u;
    const wchar_t* folder = in_system_folder ? system_folder : nullptr;
    std::vector<std::uint8_t> container;
    SECURITY_CAPABILITIES capabilities{};
    if (steps & kAppContainer) {
        container = app_container_sid(); // a copy: the attribute points into it
        capabilities.AppContainerSid = PSID(container.data());
        if (container.empty() ||
            !::UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_SECURITY_CAPABILITIES, &capabilities,
                                         sizeof capabilities, nullptr, nullptr))
            return false;
    }
    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof startup;
    startup.lpAttributeList = list;
    // The token last: every refusal above is cheaper to learn than it is to make.
    const UniqueHandle token = decoder_token(steps);
    if ((steps & (kLowToken | kNoUserFiles)) && !token)
        return false;
    const DWORD flags = CREATE_SUSPENDED | CREATE_NO_WINDOW | CREATE_UNICODE_ENVIRONMENT | EXTENDED_STARTUPINFO_PRESENT;
    const BOOL made = token ? ::CreateProcessAsUserW(token.get(), command.program.c_str(), command_line.data(), nullptr,
                                                     nullptr, TRUE, flags, nullptr, folder, &startup.StartupInfo,
                                                     &info)
                            : ::CreateProcessW(command.program.c_str(), command_line.data(), nullptr, nullptr, TRUE,
                                               flags, nullptr, folder, &startup.StartupInfo, &info);
    return made != FALSE;
}

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
    unsigned steps = 0;         // DecoderStep: what it was made with

    bool read(void* buffer, std::size_t bytes, ULONGLONG deadline)
    {
        return transfer(pipe.get(), process.get(), event.get(), buffer, bytes, deadline, false);
    }
    bool write(const void* buffer, std::size_t bytes, ULONGLONG deadline)
    {
        return transfer(pipe.get(), process.get(), event.get(), const_cast<void*>(buffer), bytes, deadline, true);
    }
};

DecoderProcess::DecoderProcess(DecoderCommand command, DecoderSettings settings, DWORD watchdog_ms,
                               SpawnDecoder spawn)
    : m_command(std::move(command)), m_settings(std::move(settings)), m_watchdog_ms(watchdog_ms),
      m_spawn(spawn ? std::move(spawn) : SpawnDecoder(spawn_decoder_process))
{
}

DecoderProcess::~DecoderProcess()
{
    if (m_ahead.joinable())
        m_ahead.join();
    end();
}

std::shared_ptr<DecoderProcess::Running> DecoderProcess::launch(const DecoderCommand& command,
                                                                const SpawnDecoder& spawn)
{
    return make(command, spawn, kLaunchBound, kEveryDecoderStep, nullptr);
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
    m_running_steps = 0;
}

bool DecoderProcess::gone() const
{
    return m_running && ::WaitForSingleObject(m_running->process.get(), 0) == WAIT_OBJECT_0;
}

std::shared_ptr<DecoderProcess::Running> DecoderProcess::make(const DecoderCommand& command,
                                                              const SpawnDecoder& spawn, SIZE pixels, unsigned steps,
                                                              const std::atomic<bool>* closed, bool* refused)
{
    // A job or a pipe that cannot be made is no refusal of the system's: nothing is left out for it,
    // and the next picture tries again.
    auto running = std::make_shared<Running>();
    running->job = make_job(pixels);
    UniqueHfile client;
    if (!running->job || !running->event || !make_pipe(running->pipe, client) || command.program.empty())
        return nullptr;

    PROCESS_INFORMATION info{};
    {
        // From its making until it is in its job. A loader that closes meanwhile waits that long, so that
        // no decoder is ever left behind, suspended and outside its job, when the program ends.
        const std::lock_guard lock(g_starting);
        if (closed && *closed)
            return nullptr;
        bool made = false;
        for (unsigned choice : step_choices(steps)) {
            if (spawn(command, choice, client.get(), info)) {
                made = true;
                running->steps = choice;
                break;
            }
        }
        client.reset();
        if (!made) {
            if (refused)
                *refused = true;
            return nullptr;
        }
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

bool DecoderProcess::greet(std::shared_ptr<Running> running, bool& ended)
{
    ended = false;
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
        ended = gone();
        end();
        return false;
    }
    ++m_starts;
    m_process_id = m_running->id;
    m_low_integrity = m_running->low_integrity;
    m_running_steps = m_running->steps;
    return true;
}

void DecoderProcess::close()
{
    const std::lock_guard lock(g_starting);
    m_closed = true;
}

bool DecoderProcess::running()
{
    m_refused = false;
    if (m_running || m_closed)
        return static_cast<bool>(m_running);
    // The steps a decoder was made without are those the system refused, and they are asked for no
    // more; a decoder that was made but then did not answer (a busy machine kept it from starting in
    // time, or it died made without any of kReadingSteps) lowers nothing.
    // A launched decoder that does not answer is followed by a new one in any case.
    bool again = true;
    if (std::shared_ptr<Running> launched = std::exchange(m_launched, nullptr);
        launched && greet_or_lower(std::move(launched), again))
        return true;
    for (again = true; again;) {
        std::shared_ptr<Running> made = make(m_command, m_spawn, m_largest, m_steps, &m_closed, &m_refused);
        if (!made)
            return false;
        if (greet_or_lower(std::move(made), again))
            return true;
    }
    return false;
}

bool DecoderProcess::greet_or_lower(std::shared_ptr<Running> running, bool& again)
{
    const unsigned steps = running->steps;
    m_steps = steps;
    bool ended = false;
    if (greet(std::move(running), ended))
        return true;
    // A decoder that dies before it reads anything, made with a step that changes what it may read, is
    // taken for one that step keeps from starting (a DLL or a folder it may not read): that step is left
    // out as if refused, the most confining first. One that was slow to start lowers nothing.
    const unsigned reading = steps & kReadingSteps;
    again = ended && reading != 0;
    if (again)
        m_steps &= ~std::bit_floor(reading);
    return false;
}

std::shared_ptr<const Win32Picture> DecoderProcess::decode(const std::wstring& path, platform::SizeF box,
                                                           std::optional<imaging::FileStamp>* stamp_out)
{
    if (!box_fits(box.width, box.height))
        throw RuntimeError("no box to fit the picture to");
    const std::lock_guard lock(m_mutex);
    // The file is opened once, here, and the decoder given that: what is stamped is what is decoded.
    const UniqueHfile file = open_picture_file(path);
    if (!file)
        throw RuntimeError("the picture file cannot be opened");
    const std::optional<imaging::FileStamp> stamp = file_stamp(file.get());
    if (stamp_out)
        *stamp_out = stamp;
    if (m_fatal && m_fatal->first == path && m_fatal->second == stamp)
        throw RuntimeError("this file ended the decoder before");
    // A decoder that went since the last picture never saw this one: another one takes it.
    if (gone())
        end();
    for (int attempt = 0;; ++attempt) {
        if (!running()) {
            // Only a system that refuses every decoder has the picture decoded in our own process.
            if (m_refused)
                return nullptr;
            throw RuntimeError("the decoder could not be started");
        }
        if (!make_room_for(box)) {
            // The next decoder is made with the larger limit from the start.
            end();
            throw RuntimeError("the decoder's memory could not be set for the picture");
        }
        Lost lost = Lost::No;
        try {
            return ask(file.get(), box, lost);
        } catch (const std::exception&) {
            if (lost == Lost::ByFile)
                m_fatal.emplace(path, stamp);
            // A request that never reached the decoder (it went just before) is given to a new one; so is
            // one that the imaging component could not decode under the decoder's confinement, to one
            // made with less of it.
            if (lost == Lost::ByConfinement)
                continue;
            if (lost == Lost::Undelivered && attempt == 0)
                continue;
            throw;
        }
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

std::shared_ptr<const Win32Picture> DecoderProcess::ask(HANDLE file, platform::SizeF box, Lost& lost)
{
    // Room for the pixels of any picture kept for the box: the kept size never passes its whole pixels.
    const SIZE room = box_pixels(box);
    const std::uint64_t bytes = std::uint64_t(room.cx) * std::uint64_t(room.cy) * 4;
    std::shared_ptr<PixelMappings::Lease> mapping = m_mappings.take(bytes);
    HANDLE theirs = nullptr;
    if (!mapping || !::DuplicateHandle(::GetCurrentProcess(), mapping->mapping(), m_running->process.get(), &theirs,
                                       FILE_MAP_WRITE, FALSE, 0)) {
        // Nothing can be put into a process that has gone; a decoder left standing so would refuse
        // every picture after it.
        if (gone()) {
            lost = Lost::Undelivered;
            end();
        }
        throw RuntimeError("no memory to take a picture in");
    }

    // The decoder may read the file, nothing more: not write it, not learn its name's folder.
    HANDLE their_file = nullptr;
    if (!::DuplicateHandle(::GetCurrentProcess(), file, m_running->process.get(), &their_file,
                           FILE_GENERIC_READ, FALSE, 0)) {
        if (gone()) {
            lost = Lost::Undelivered;
            end();
        }
        throw RuntimeError("the picture file cannot be given to the decoder");
    }

    RequestHeader request;
    request.mapping = reinterpret_cast<std::uintptr_t>(theirs);
    request.mapping_bytes = bytes;
    request.file = reinterpret_cast<std::uintptr_t>(their_file);
    request.box_width = box.width;
    request.box_height = box.height;
    const ULONGLONG deadline = ::GetTickCount64() + m_watchdog_ms;
    if (!m_running->write(&request, sizeof request, deadline)) {
        lost = Lost::Undelivered;
        end();
        throw RuntimeError("the decoder ended before it was asked");
    }
    ReplyHeader reply;
    std::string message(kMaxMessageBytes, '\0');
    if (!m_running->read(&reply, sizeof reply, deadline) || !reply_fits(reply, bytes) ||
        !m_running->read(message.data(), reply.message_bytes, deadline)) {
        // Crashed, stuck, out of memory or talking nonsense: the file's doing, and it is ended. One
        // ended from outside (the task manager, the system short of memory) is not the file's fault.
        DWORD code = 0;
        const bool outside = gone() && ::GetExitCodeProcess(m_running->process.get(), &code) &&
                             code != kDecoderFaultExitCode;
        lost = outside ? Lost::FromOutside : Lost::ByFile;
        end();
        throw RuntimeError("the decoder ended or did not answer in time");
    }
    if (reply.status == ReplyStatus::NoComponent && (m_running->steps & kReadingSteps)) {
        // The system took the container or the token, but the imaging component will not start under
        // them: the most confining of them is refused after all, and left out from now on.
        m_steps &= ~std::bit_floor(m_running->steps & kReadingSteps);
        lost = Lost::ByConfinement;
        end();
        throw RuntimeError("the imaging component does not start in the confined decoder");
    }
    if (reply.status != ReplyStatus::Decoded) {
        message.resize(reply.message_bytes);
        throw RuntimeError(message.empty() ? "the file was refused" : message);
    }
    std::shared_ptr<const Dib> pixels;
    if (reply.pixels_width > 0)
        pixels = PixelMappings::pixels(std::move(mapping), reply.pixels_width, reply.pixels_height);
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

unsigned DecoderProcess::steps() const
{
    return m_running_steps;
}

} // namespace platform::win32
