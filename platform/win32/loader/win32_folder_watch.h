// The system's notice of changes in a picture's folder, so that a picture prepared ahead is handed over
// without opening its file again while nothing there has changed.
#pragma once

#include "platform/win32/common/win32_handles.h"

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

namespace platform::win32 {

// Watches one folder at a time: the folder of the file last marked. Any change there of a name, a length
// or a time of writing counts, whichever file it touches: coarser than one file, but the system misses
// none, and the folder of a slideshow's pictures seldom changes.
class FolderWatch {
public:
    FolderWatch() = default;
    FolderWatch(const FolderWatch&) = delete;
    FolderWatch& operator=(const FolderWatch&) = delete;

    // A mark for the folder of the file at `path`, to be taken before that file is opened; nothing when
    // the system gives no notice for that folder. Call it on the thread that will mostly ask
    // changed_since, and that lives as long as the watch: the system hands a notice to the thread that
    // asked for it (Wine only when that thread next calls the system), and Windows cancels one asked for
    // by a thread that ends.
    [[nodiscard]] std::optional<std::uint64_t> mark(const std::wstring& path);
    // Whether anything in that folder may have changed since `mark` was given. Called on any thread.
    [[nodiscard]] bool changed_since(std::uint64_t mark) const;

private:
    mutable std::mutex m_mutex;
    std::wstring m_folder;
    UniqueChangeNotification m_notice;
    // Moves on with every notice taken in and every other folder watched, so that no older mark matches.
    std::uint64_t m_epoch = 0;
};

} // namespace platform::win32
