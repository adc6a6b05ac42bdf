// Ownership of Win32 handles and COM interfaces: one small template, one alias per kind.
#pragma once

#include <windows.h>
#include <imm.h>
#include <unknwn.h>

#include <utility>

namespace platform::win32 {

// Owns a handle and closes it with `Close` unless it is the empty value `Empty`.
template <class H, auto Close, H Empty = H{}>
class Unique {
public:
    Unique() = default;
    explicit Unique(H h) : m_h(h) {}
    Unique(Unique&& other) noexcept : m_h(std::exchange(other.m_h, Empty)) {}
    Unique& operator=(Unique&& other) noexcept
    {
        if (this != &other)
            reset(std::exchange(other.m_h, Empty));
        return *this;
    }
    Unique(const Unique&) = delete;
    Unique& operator=(const Unique&) = delete;
    ~Unique() { reset(); }

    [[nodiscard]] H get() const { return m_h; }
    [[nodiscard]] explicit operator bool() const { return m_h != Empty; }
    H* put()
    {
        reset();
        return &m_h;
    }
    H release() { return std::exchange(m_h, Empty); }
    void reset(H h = Empty)
    {
        if (m_h != Empty)
            Close(m_h);
        m_h = h;
    }

private:
    H m_h = Empty;
};

using UniqueHkey = Unique<HKEY, &::RegCloseKey>;
using UniqueHbitmap = Unique<HBITMAP, &::DeleteObject>;
using UniqueHfont = Unique<HFONT, &::DeleteObject>;
using UniqueHbrush = Unique<HBRUSH, &::DeleteObject>;
using UniqueHicon = Unique<HICON, &::DestroyIcon>;
using UniqueHdc = Unique<HDC, &::DeleteDC>;
using UniqueHandle = Unique<HANDLE, &::CloseHandle>;
using UniqueHwnd = Unique<HWND, &::DestroyWindow>;

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
