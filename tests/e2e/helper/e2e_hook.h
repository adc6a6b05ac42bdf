// What the end-to-end helper and its menu-reading hook library agree on: names and numbers.
#pragma once

#include <windows.h>

// The hook library's file, beside the helper, and its hook procedure.
inline constexpr wchar_t kHookLibrary[] = L"kwobl_e2e_hook.dll";
inline constexpr char kHookProcedure[] = "kwobl_e2e_get_message";

// The request posted to the window whose menu is wanted; its wParam is the window to answer.
inline constexpr wchar_t kMenuRequestMessage[] = L"KWOBL.E2E.ReadMenu";

// The WM_COPYDATA answer: UTF-16 "menu ..." lines, each ended by "\n".
inline constexpr ULONG_PTR kMenuReply = 0x4B4D454E; // "KMEN"
