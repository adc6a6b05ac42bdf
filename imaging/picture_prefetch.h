// The next picture prepared ahead on a worker thread, and handed over only while its file is unchanged.
#pragma once

#include "platform/platform.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace imaging {

// What the worker prepares: the picture object of the loader that asked, for the box it will be fitted to.
using platform::PictureRef;
using platform::SizeF;

// What tells one content of a file from another without reading it: which file it is (where the system
// says), how long it is and when it was last written.
struct FileStamp {
    std::uint64_t volume = 0;
    std::uint64_t index = 0;
    std::uint64_t size = 0;
    std::uint64_t written = 0;
    friend bool operator==(const FileStamp&, const FileStamp&) = default;
};

// Prepares at most one picture ahead, on one worker thread of its own.
//
// request() names the file that load() will probably be asked for next, and the box it will be fitted
// to; the worker decodes it for that box, with the stamp of the file as it was opened for the decode.
// take() hands the result over only for the same path and box, and only when the file's stamp is still
// that one; in every other case (another path, another box, a file replaced, removed or newly there,
// a decode that failed) it gives nothing, and the caller decodes the file itself. request() never waits
// for a decode, and take() waits only for a decode of the very file and box it is asked for that is
// already running: the caller would otherwise decode the same file again beside it, which takes at least
// as long and twice the memory. In a running slideshow that happens only at the start, when the first
// picture is read while the desktop is being taken over.
//
// The worker runs nothing but the functions given here. It is never joined: when the owner goes, a
// running decode finishes on its own and its result is dropped, and a process that ends meanwhile ends
// at once.
class PicturePrefetch {
public:
    // A picture decoded ahead, with the stamp of the file it was read from, taken from the same open
    // (nothing when the system could not give it).
    struct Decoded {
        PictureRef picture;
        std::optional<FileStamp> stamp;
    };

    struct Work {
        // The file's stamp now, or nothing when it cannot be stamped (it is missing, say). Called by take()
        // only when `changed_since` cannot rule out a change.
        std::function<std::optional<FileStamp>(const std::string& path)> stamp;
        // Decodes the file for `box` as load() would. Called on the worker only; a failure is an exception
        // or a null picture.
        std::function<Decoded(const std::string& path, SizeF box)> decode;
        // Run by the worker when it starts and just before it ends (for per-thread set-up); may be empty.
        std::function<void()> thread_start;
        std::function<void()> thread_end;
        // The system's notice of changes in the folder of a file, so that a prepared picture whose folder
        // saw none is handed over without opening its file again. `mark` is called by request(), on its
        // caller's thread, before the worker opens the file, and gives a mark for the file's folder, or
        // nothing when the folder cannot be watched; `changed_since` (called by take(), on any thread)
        // tells whether anything in that folder may have changed since that mark was given. Both may be
        // empty: every take then stamps the file again.
        std::function<std::optional<std::uint64_t>(const std::string& path)> mark;
        std::function<bool(std::uint64_t mark)> changed_since;
    };

    explicit PicturePrefetch(Work work);
    ~PicturePrefetch();
    PicturePrefetch(const PicturePrefetch&) = delete;
    PicturePrefetch& operator=(const PicturePrefetch&) = delete;

    // Asks for `path` to be prepared next, for `box`. A prepared picture of another path or box is
    // dropped at once; a decode of another one that is running is finished and then dropped.
    void request(std::string_view path, SizeF box);

    // The picture prepared for `path` and `box` when its file is unchanged since; null otherwise. The
    // prepared picture is given away either way. Waits while the worker is decoding that very one.
    [[nodiscard]] PictureRef take(std::string_view path, SizeF box);

    // Lets go of everything: the prepared picture at once, a request not yet begun, and the result of a
    // decode that is running, when it ends. The worker then waits for the next request.
    void clear();

    // For tests: whether the worker has nothing to do and holds no decode in progress.
    [[nodiscard]] bool idle() const;

private:
    struct Shared;
    std::shared_ptr<Shared> m_shared;
};

} // namespace imaging
