// Tests of the owners of handles: what counts as empty for a file-like handle.
#include "platform/win32/common/win32_handles.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace platform::win32 {
namespace {

TEST(Win32HandlesTest, AFileLikeOwnerIsEmptyForEitherFailureValue)
{
    EXPECT_FALSE(open_file(L"C:\\no such folder\\no such file", GENERIC_READ, FILE_SHARE_READ)) << "a failed open";
    EXPECT_FALSE(UniqueHfile(nullptr)) << "null is no file either";
    EXPECT_FALSE(UniqueHfile()) << "made empty";

    // A pipe fails as a file does; one that was made is handed on by a move.
    const std::wstring name = L"\\\\.\\pipe\\kwobl-handles-test-" + std::to_wstring(::GetCurrentProcessId());
    UniqueHfile made(::CreateNamedPipeW(name.c_str(), PIPE_ACCESS_INBOUND, PIPE_TYPE_BYTE, 1, 0, 0, 0, nullptr));
    ASSERT_TRUE(made);
    const UniqueHfile moved(std::move(made));
    EXPECT_FALSE(made);
    EXPECT_TRUE(moved);
    EXPECT_FALSE(UniqueHfile(::CreateNamedPipeW(name.c_str(), PIPE_ACCESS_INBOUND | FILE_FLAG_FIRST_PIPE_INSTANCE,
                                                PIPE_TYPE_BYTE, 1, 0, 0, 0, nullptr)))
        << "a second first instance of the pipe";
}

} // namespace
} // namespace platform::win32
