// Ownership of Win32 handles and COM interfaces: one small template, one alias per kind, and the
// scoped device contexts and selections of painting. Every GDI and USER resource the backend makes
// has its owner here, so that no other file pairs a release call with its making by hand.
#pragma once

#include <windows.h>
#include <imm.h>
#include <unknwn.h>

#include <utility>

namespace platform::win32 {

// The empty value of most kinds of handle: null, which is also what their making returns on failure.
template <class H>
struct NullIsEmpty {
    static H empty() { return H{}; }
    static bool valid(H h) { return h != H{}; }
};

// The empty value of file-like handles: INVALID_HANDLE_VALUE, which CreateFileW, CreateNamedPipeW and
// CreateToolhelp32Snapshot return on failure. A null handle is no file either, and is never closed.
struct InvalidIsEmpty {
    static HANDLE empty() { return INVALID_HANDLE_VALUE; }
    static bool valid(HANDLE h) { return h != INVALID_HANDLE_VALUE && h != nullptr; }
};

// Owns a handle and closes it with `Close` unless it is not a valid one of its kind (`Empty`).
template <class H, auto Close, class Empty = NullIsEmpty<H>>
class Unique {
public:
    Unique() = default;
    explicit Unique(H h) : m_h(h) {}
    Unique(Unique&& other) noexcept : m_h(std::exchange(other.m_h, Empty::empty())) {}
    Unique& operator=(Unique&& other) noexcept
    {
        if (this != &other)
            reset(std::exchange(other.m_h, Empty::empty()));
        return *this;
    }
    Unique(const Unique&) = delete;
    Unique& operator=(const Unique&) = delete;
    ~Unique() { reset(); }

    [[nodiscard]] H get() const { return m_h; }
    [[nodiscard]] explicit operator bool() const { return Empty::valid(m_h); }
    H* put()
    {
        reset();
        return &m_h;
    }
    H release() { return std::exchange(m_h, Empty::empty()); }
    void reset(H h = Empty::empty())
    {
        if (Empty::valid(m_h))
            Close(m_h);
        m_h = h;
    }

private:
    H m_h = Empty::empty();
};

using UniqueHkey = Unique<HKEY, &::RegCloseKey>;
using UniqueHbitmap = Unique<HBITMAP, &::DeleteObject>;
using UniqueHfont = Unique<HFONT, &::DeleteObject>;
using UniqueHbrush = Unique<HBRUSH, &::DeleteObject>;
using UniqueHpen = Unique<HPEN, &::DeleteObject>;
using UniqueHicon = Unique<HICON, &::DestroyIcon>;
using UniqueHmenu = Unique<HMENU, &::DestroyMenu>;
using UniqueHwnd = Unique<HWND, &::DestroyWindow>;
// A memory device context (CreateCompatibleDC).
using UniqueHdc = Unique<HDC, &::DeleteDC>;
// Kernel objects made by functions that return null on failure: processes, threads, events, jobs,
// mappings, tokens.
using UniqueHandle = Unique<HANDLE, &::CloseHandle>;
// Files, pipes, snapshots and anything else made the way CreateFileW makes a file, which return
// INVALID_HANDLE_VALUE on failure: give their result to this owner as it is, and test the owner.
using UniqueHfile = Unique<HANDLE, &::CloseHandle, InvalidIsEmpty>;
// A folder's change notification (FindFirstChangeNotificationW), which fails as a file does.
using UniqueChangeNotification = Unique<HANDLE, &::FindCloseChangeNotification, InvalidIsEmpty>;

// Opens the file (or, with FILE_FLAG_BACKUP_SEMANTICS, the folder) at `path` that exists already;
// empty when it cannot be opened.
[[nodiscard]] inline UniqueHfile open_file(const wchar_t* path, DWORD access, DWORD share, DWORD flags = 0)
{
    return UniqueHfile(::CreateFileW(path, access, share, nullptr, OPEN_EXISTING, flags, nullptr));
}

// The device context of one WM_PAINT: BeginPaint on construction, EndPaint when it goes.
class PaintDc {
public:
    explicit PaintDc(HWND hwnd) : m_hwnd(hwnd), m_dc(::BeginPaint(hwnd, &m_paint)) {}
    ~PaintDc()
    {
        if (m_dc)
            ::EndPaint(m_hwnd, &m_paint);
    }
    PaintDc(const PaintDc&) = delete;
    PaintDc& operator=(const PaintDc&) = delete;

    [[nodiscard]] HDC get() const { return m_dc; }
    [[nodiscard]] explicit operator bool() const { return m_dc != nullptr; }

private:
    HWND m_hwnd;
    PAINTSTRUCT m_paint{};
    HDC m_dc;
};

// The device context of a window, or of the screen for a null window: GetDC on construction,
// ReleaseDC when it goes.
class WindowDc {
public:
    explicit WindowDc(HWND hwnd) : m_hwnd(hwnd), m_dc(::GetDC(hwnd)) {}
    ~WindowDc()
    {
        if (m_dc)
            ::ReleaseDC(m_hwnd, m_dc);
    }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;

    [[nodiscard]] HDC get() const { return m_dc; }
    [[nodiscard]] explicit operator bool() const { return m_dc != nullptr; }

private:
    HWND m_hwnd;
    HDC m_dc;
};

// An object selected into a device context for a scope: the object it replaced is selected again
// when the guard goes. Declare the guard after the owner of the object, so that the object is out
// of the context before it is deleted.
class SelectedObject {
public:
    SelectedObject(HDC dc, HGDIOBJ object) : m_dc(dc), m_old(::SelectObject(dc, object)) {}
    ~SelectedObject()
    {
        if (m_old && m_old != HGDI_ERROR)
            ::SelectObject(m_dc, m_old);
    }
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;

private:
    HDC m_dc;
    HGDIOBJ m_old;
};

// A move-only owning pointer to a COM interface.
template <class T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(ComPtr&& other) noexcept : m_p(std::exchange(other.m_p, nullptr)) {}
    ComPtr& operator=(ComPtr&& other) noexcept
    {
        if (this != &other) {
            reset();
            m_p = std::exchange(other.m_p, nullptr);
        }
        return *this;
    }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ~ComPtr() { reset(); }

    T* get() const { return m_p; }
    T* operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }
    T** put()
    {
        reset();
        return &m_p;
    }
    void** put_void() { return reinterpret_cast<void**>(put()); }
    void reset()
    {
        if (m_p)
            std::exchange(m_p, nullptr)->Release();
    }

private:
    T* m_p = nullptr;
};

// Initialises COM on this thread for the guard's lifetime.
class CoInit {
public:
    CoInit() : m_hr(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~CoInit()
    {
        if (m_hr == S_OK || m_hr == S_FALSE)
            ::CoUninitialize();
    }
    CoInit(const CoInit&) = delete;
    CoInit& operator=(const CoInit&) = delete;

private:
    HRESULT m_hr;
};

} // namespace platform::win32
