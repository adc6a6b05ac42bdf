// Message hook that the end-to-end helper places in another program to read that program's menu bar.
//
// Wine keeps a menu in the process that made it: GetMenuItemCount and GetMenuStringW fail on the
// menu of another process's window. So the helper hooks the GetMessage calls of the window's thread
// with this library (Wine loads it into that process), posts the window a request that names a
// window of the helper's, and the hook, running inside the program, reads the menu there and sends
// the entries back in a WM_COPYDATA message. The hook writes nothing and changes nothing: it only
// turns the request into a WM_NULL, so the program never sees it.
#include "e2e_hook.h"

#include <string>

namespace {

void describe_menu(HMENU menu, const std::wstring& path, std::wstring& out)
{
    const int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        const std::wstring here = path.empty() ? std::to_wstring(i) : path + L"." + std::to_wstring(i);
        wchar_t text[512] = {};
        GetMenuStringW(menu, static_cast<UINT>(i), text, 512, MF_BYPOSITION);
        const UINT state = GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION);
        const HMENU sub = GetSubMenu(menu, i);
        out += L"menu\tpath=" + here;
        out += std::wstring(L"\ttext=") + text;
        out += L"\tid=" + std::to_wstring(sub ? -1 : static_cast<int>(GetMenuItemID(menu, i)));
        out += std::wstring(L"\tenabled=") + ((state & (MF_GRAYED | MF_DISABLED)) ? L"0" : L"1");
        out += std::wstring(L"\tpopup=") + (sub ? L"1" : L"0");
        out += L"\n";
        if (sub)
            describe_menu(sub, here, out);
    }
}

} // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK kwobl_e2e_get_message(int code, WPARAM wparam, LPARAM lparam)
{
    static const UINT request = RegisterWindowMessageW(kMenuRequestMessage);
    // Only when the message is taken from the queue, so that a peek before it does not answer twice.
    if (code == HC_ACTION && wparam == PM_REMOVE) {
        MSG& msg = *reinterpret_cast<MSG*>(lparam);
        if (msg.message == request && msg.hwnd != nullptr) {
            const HWND reply_to = reinterpret_cast<HWND>(msg.wParam);
            std::wstring lines;
            if (const HMENU bar = GetMenu(msg.hwnd))
                describe_menu(bar, L"", lines);
            COPYDATASTRUCT data{};
            data.dwData = kMenuReply;
            data.cbData = static_cast<DWORD>(lines.size() * sizeof(wchar_t));
            data.lpData = lines.data();
            SendMessageW(reply_to, WM_COPYDATA, reinterpret_cast<WPARAM>(msg.hwnd), reinterpret_cast<LPARAM>(&data));
            msg.message = WM_NULL;
        }
    }
    return CallNextHookEx(nullptr, code, wparam, lparam);
}
