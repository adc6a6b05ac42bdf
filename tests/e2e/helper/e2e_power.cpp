// Test helper run inside the Wine session: tells the slideshow the display's power state as the system
// does, and reports what the program's processes hold.
//
//   display CAPTION off|on|dimmed
//        writes a POWERBROADCAST_SETTING block for GUID_CONSOLE_DISPLAY_STATE (0, 1 or 2) into the process
//        of the first visible window with that caption and sends the window WM_POWERBROADCAST with
//        PBT_POWERSETTINGCHANGE and the block's address, as Windows does when the display changes (Wine
//        never does); prints "display STATE answer=..", exit status 1 when there is no such window
//   sample PROGRAM
//        one "process ..." line for each running process of the program file PROGRAM (kwobl.scr, say):
//        role=slideshow|decoder (a decoder is one started by another process of the same file) pid=..
//        private_kb=.. working_set_kb=.. handles=.. gdi=.. user=.. threads=..
#include <windows.h>
#include <psapi.h>
#include <winternl.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr GUID kConsoleDisplayState{0x6fe69556, 0x704a, 0x47a0, {0x8f, 0x24, 0xc2, 0x8d, 0x93, 0x6f, 0xda, 0x47}};

void print_line(const std::string& line)
{
    const std::string bytes = line + "\n";
    DWORD written = 0;
    ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                nullptr);
}

struct Search {
    const wchar_t* caption;
    HWND found;
};

BOOL CALLBACK find_visible(HWND window, LPARAM param)
{
    auto* search = reinterpret_cast<Search*>(param);
    wchar_t text[256] = {};
    ::GetWindowTextW(window, text, 256);
    if (::IsWindowVisible(window) && std::wcscmp(text, search->caption) == 0) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

int display(const wchar_t* caption, const std::wstring& state_name)
{
    const DWORD state = state_name == L"off" ? 0 : state_name == L"dimmed" ? 2 : 1;
    Search search{caption, nullptr};
    ::EnumWindows(find_visible, reinterpret_cast<LPARAM>(&search));
    if (!search.found)
        return 1;
    DWORD pid = 0;
    ::GetWindowThreadProcessId(search.found, &pid);
    const HANDLE process = ::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, pid);
    if (!process)
        return 1;
    std::vector<std::byte> block(offsetof(POWERBROADCAST_SETTING, Data) + sizeof(DWORD));
    auto* setting = reinterpret_cast<POWERBROADCAST_SETTING*>(block.data());
    setting->PowerSetting = kConsoleDisplayState;
    setting->DataLength = sizeof(DWORD);
    std::memcpy(setting->Data, &state, sizeof state);
    void* there = ::VirtualAllocEx(process, nullptr, block.size(), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    DWORD_PTR answer = 0;
    if (there && ::WriteProcessMemory(process, there, block.data(), block.size(), nullptr))
        ::SendMessageTimeoutW(search.found, WM_POWERBROADCAST, PBT_POWERSETTINGCHANGE, reinterpret_cast<LPARAM>(there),
                              SMTO_NORMAL, 30000, &answer);
    if (there)
        ::VirtualFreeEx(process, there, 0, MEM_RELEASE);
    ::CloseHandle(process);
    char line[96];
    std::snprintf(line, sizeof line, "display %ls answer=%llu", state_name.c_str(),
                  static_cast<unsigned long long>(answer));
    print_line(line);
    return 0;
}

// Handles of each process, from the system's table of all handles: GetProcessHandleCount answers only
// for the caller's own process under Wine.
std::map<DWORD, DWORD> handles_by_process()
{
    using Query = NTSTATUS(WINAPI*)(SYSTEM_INFORMATION_CLASS, PVOID, ULONG, PULONG);
    const auto query = reinterpret_cast<Query>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    std::map<DWORD, DWORD> counts;
    if (!query)
        return counts;
    std::vector<std::byte> buffer(1 << 20);
    ULONG needed = 0;
    NTSTATUS status = 0;
    while ((status = query(SystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &needed)) ==
           static_cast<NTSTATUS>(0xC0000004L)) // STATUS_INFO_LENGTH_MISMATCH
        buffer.resize(std::max<std::size_t>(buffer.size() * 2, needed));
    if (status < 0)
        return counts;
    const auto* table = reinterpret_cast<const SYSTEM_HANDLE_INFORMATION*>(buffer.data());
    for (ULONG i = 0; i < table->Count; ++i)
        ++counts[table->Handle[i].OwnerPid];
    return counts;
}

int sample(const std::wstring& program)
{
    const HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS | TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return 1;
    std::map<DWORD, DWORD> parents; // the program's processes and who started them
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32FirstW(snapshot, &entry); more; more = ::Process32NextW(snapshot, &entry))
        if (_wcsicmp(entry.szExeFile, program.c_str()) == 0)
            parents[entry.th32ProcessID] = entry.th32ParentProcessID;
    std::map<DWORD, int> threads;
    THREADENTRY32 thread{};
    thread.dwSize = sizeof thread;
    for (BOOL more = ::Thread32First(snapshot, &thread); more; more = ::Thread32Next(snapshot, &thread))
        if (parents.count(thread.th32OwnerProcessID))
            ++threads[thread.th32OwnerProcessID];
    ::CloseHandle(snapshot);

    std::map<DWORD, DWORD> table = handles_by_process();
    for (const auto& [pid, parent] : parents) {
        const HANDLE process = ::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
        if (!process)
            continue;
        PROCESS_MEMORY_COUNTERS_EX memory{};
        memory.cb = sizeof memory;
        ::GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory);
        DWORD handles = 0;
        if (!::GetProcessHandleCount(process, &handles) || handles == 0)
            handles = table[pid];
        // Wine leaves PrivateUsage empty for another process; its commit charge is the same figure there.
        const SIZE_T private_bytes = memory.PrivateUsage ? memory.PrivateUsage : memory.PagefileUsage;
        const DWORD gdi = ::GetGuiResources(process, GR_GDIOBJECTS);
        const DWORD user = ::GetGuiResources(process, GR_USEROBJECTS);
        ::CloseHandle(process);
        char line[256];
        std::snprintf(line, sizeof line,
                      "process role=%s pid=%lu private_kb=%llu working_set_kb=%llu handles=%lu gdi=%lu user=%lu "
                      "threads=%d",
                      parents.count(parent) ? "decoder" : "slideshow", static_cast<unsigned long>(pid),
                      static_cast<unsigned long long>(private_bytes / 1024),
                      static_cast<unsigned long long>(memory.WorkingSetSize / 1024),
                      static_cast<unsigned long>(handles),
                      static_cast<unsigned long>(gdi), static_cast<unsigned long>(user), threads[pid]);
        print_line(line);
    }
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    const std::wstring command = argc > 1 ? argv[1] : L"";
    if (command == L"display" && argc == 4)
        return display(argv[2], argv[3]);
    if (command == L"sample" && argc == 3)
        return sample(argv[2]);
    print_line("usage: kwobl_e2e_power display CAPTION off|on|dimmed | sample PROGRAM");
    return 2;
}
