// Test helper run under Wine: asks the system whether a file's Authenticode signature holds.
//
//   kwobl_verify_trust FILE     prints WinVerifyTrust's answer as "0x%08lx" (0: trusted) and exits 0
//
// The policy is the one that Windows applies to programs it is about to run
// (WINTRUST_ACTION_GENERIC_VERIFY_V2), without any window and without fetching revocation lists.
#include <windows.h>
#include <softpub.h>
#include <wintrust.h>

#include <cstdio>

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2) {
        std::fputs("usage: kwobl_verify_trust FILE\n", stderr);
        return 2;
    }
    WINTRUST_FILE_INFO file{};
    file.cbStruct = sizeof(file);
    file.pcwszFilePath = argv[1];

    WINTRUST_DATA data{};
    data.cbStruct = sizeof(data);
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &file;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    const LONG answer = WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);

    // The verification's state is kept until it is closed.
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    std::printf("0x%08lx\n", static_cast<unsigned long>(answer));
    return 0;
}
