// Tests of preparing the next picture ahead: what is handed over, what is read afresh, what is dropped.
#include "imaging/picture_prefetch.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <map>
#include <mutex>
#include <new>
#include <stdexcept>
#include <thread>

namespace imaging {
namespace {

// Allocations that fail on demand: while g_fail_worker_allocations is set, every allocation of a thread
// marked as a worker fails (operator new below), and no other thread's.
std::atomic<bool> g_fail_worker_allocations{false};
thread_local bool t_worker = false;

} // namespace
} // namespace imaging

// Memory from malloc, so that the delete of every form frees it (the sanitizers check that they match).
void* operator new(std::size_t size)
{
    void* memory = imaging::t_worker && imaging::g_fail_worker_allocations ? nullptr : std::malloc(size ? size : 1);
    return memory ? memory : throw std::bad_alloc();
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    return imaging::t_worker && imaging::g_fail_worker_allocations ? nullptr : std::malloc(size ? size : 1);
}
[[gnu::noinline]] void operator delete(void* memory) noexcept { std::free(memory); }
[[gnu::noinline]] void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
[[gnu::noinline]] void operator delete(void* memory, const std::nothrow_t&) noexcept { std::free(memory); }

namespace imaging {
namespace {

// The box the tests prepare for; the loader's tests check what a box does.
constexpr SizeF kBox{640, 480};

class TestPicture final : public platform::Picture {
public:
    explicit TestPicture(int content) : m_content(content) {}
    [[nodiscard]] int natural_width() const override { return m_content; }
    [[nodiscard]] int natural_height() const override { return 1; }

private:
    int m_content;
};

// Files that tests change at will, and a decoder that can be held at its start.
struct Disk {
    struct File {
        FileStamp stamp;
        int content = 0;       // the picture's width, so that a test sees which content it got
        bool readable = true;
    };
    std::mutex mutex;
    std::condition_variable changed;
    std::map<std::string, File> files;
    bool hold = false;          // decodes wait while this is true
    int decodes = 0;
    int decoding = 0;
    // Whether the folder gives notice of its changes, how many it has seen, and how often a file was
    // stamped by its path.
    bool watched = false;
    std::uint64_t changes = 0;
    int stamps = 0;

    PicturePrefetch::Work work()
    {
        PicturePrefetch::Work work{[this](const std::string& path) -> std::optional<FileStamp> {
                                       const std::lock_guard lock(mutex);
                                       ++stamps;
                                       const auto it = files.find(path);
                                       return it == files.end() ? std::nullopt : std::optional(it->second.stamp);
                                   },
                                   [this](const std::string& path, SizeF) -> PicturePrefetch::Decoded {
                                       std::unique_lock lock(mutex);
                                       // Opened and stamped first; the content is read once the decode is let go.
                                       const auto opened = files.find(path);
                                       const std::optional<FileStamp> stamp =
                                           opened == files.end() ? std::nullopt : std::optional(opened->second.stamp);
                                       ++decoding;
                                       changed.notify_all();
                                       changed.wait(lock, [this] { return !hold; });
                                       --decoding;
                                       ++decodes;
                                       const auto it = files.find(path);
                                       if (!stamp || it == files.end() || !it->second.readable)
                                           throw std::runtime_error("unreadable");
                                       return {std::make_shared<TestPicture>(it->second.content), stamp};
                                   },
                                   {},
                                   {},
                                   {},
                                   {}};
        if (watched) {
            work.mark = [this](const std::string&) -> std::optional<std::uint64_t> {
                const std::lock_guard lock(mutex);
                return changes;
            };
            work.changed_since = [this](std::uint64_t mark) {
                const std::lock_guard lock(mutex);
                return changes != mark;
            };
        }
        return work;
    }

    void put(const std::string& path, int content, std::uint64_t written, bool readable = true)
    {
        const std::lock_guard lock(mutex);
        files[path] = File{FileStamp{1, 100, 4096, written}, content, readable};
        ++changes;
    }
    void remove(const std::string& path)
    {
        const std::lock_guard lock(mutex);
        files.erase(path);
        ++changes;
    }
    void set_hold(bool on)
    {
        const std::lock_guard lock(mutex);
        hold = on;
        changed.notify_all();
    }
    // Waits until a decode has begun and is held.
    void wait_decoding()
    {
        std::unique_lock lock(mutex);
        changed.wait(lock, [this] { return decoding > 0; });
    }
};

// Waits until the worker has nothing left to do. A condition, not a time: the limit only keeps a broken
// build from hanging.
void settle(const PicturePrefetch& prefetch)
{
    for (int i = 0; i < 10000 && !prefetch.idle(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_TRUE(prefetch.idle());
}

int content(const PictureRef& picture)
{
    return picture ? picture->natural_width() : -1;
}

TEST(PicturePrefetch, PreparedPictureIsHandedOverOnlyForAnUnchangedFile)
{
    const struct {
        const char* what;
        std::function<void(Disk&)> meanwhile; // what happens between the preparation and the take
        int expected;                         // the content handed over, -1 for none
    } cases[] = {
        {"unchanged", [](Disk&) {}, 7},
        {"replaced: written again", [](Disk& d) { d.put("a", 8, 2); }, -1},
        {"replaced: same time, other file", [](Disk& d) {
             const std::lock_guard lock(d.mutex);
             d.files["a"].stamp.index = 101;
         }, -1},
        {"replaced: other length", [](Disk& d) {
             const std::lock_guard lock(d.mutex);
             d.files["a"].stamp.size = 4097;
         }, -1},
        {"removed", [](Disk& d) { d.remove("a"); }, -1},
    };
    for (const auto& c : cases) {
        Disk disk;
        disk.put("a", 7, 1);
        PicturePrefetch prefetch(disk.work());
        prefetch.request("a", kBox);
        settle(prefetch);
        c.meanwhile(disk);
        EXPECT_EQ(content(prefetch.take("a", kBox)), c.expected) << c.what;
        EXPECT_EQ(content(prefetch.take("a", kBox)), -1) << c.what << ": handed over twice";
    }
}

TEST(PicturePrefetch, AWatchedFolderWithoutChangesSparesTheStampAndAChangeMakesTheTakeLook)
{
    const struct {
        const char* what;
        bool watched;
        std::function<void(Disk&)> meanwhile; // what happens while the picture is decoded
        int expected;                         // the content handed over, -1 for none
        int stamps;                           // files stamped by path at the take
    } cases[] = {
        {"nothing changed", true, [](Disk&) {}, 7, 0},
        {"another file of the folder written", true, [](Disk& d) { d.put("b", 9, 1); }, 7, 1},
        {"the file replaced while it was read", true, [](Disk& d) { d.put("a", 8, 2); }, -1, 1},
        {"the file written again, same stamp", true, [](Disk& d) { d.put("a", 7, 1); }, 7, 1},
        {"a folder without notice", false, [](Disk&) {}, 7, 1},
        {"a folder without notice, the file replaced", false, [](Disk& d) { d.put("a", 8, 2); }, -1, 1},
    };
    for (const auto& c : cases) {
        Disk disk;
        disk.watched = c.watched;
        disk.put("a", 7, 1);
        disk.set_hold(true);
        PicturePrefetch prefetch(disk.work());
        prefetch.request("a", kBox);
        disk.wait_decoding();
        c.meanwhile(disk);
        disk.set_hold(false);
        settle(prefetch);
        EXPECT_EQ(content(prefetch.take("a", kBox)), c.expected) << c.what;
        EXPECT_EQ(disk.stamps, c.stamps) << c.what;
    }
}

TEST(PicturePrefetch, FilesThatCouldNotBePreparedAreLeftToTheCaller)
{
    const struct {
        const char* what;
        std::function<void(Disk&)> before; // the disk when the preparation runs
        std::function<void(Disk&)> after;  // and when the picture is asked for
    } cases[] = {
        {"missing, then newly there", [](Disk&) {}, [](Disk& d) { d.put("a", 7, 1); }},
        {"unreadable", [](Disk& d) { d.put("a", 7, 1, false); }, [](Disk&) {}},
        {"unreadable, then mended", [](Disk& d) { d.put("a", 7, 1, false); }, [](Disk& d) { d.put("a", 7, 2); }},
    };
    for (const auto& c : cases) {
        Disk disk;
        c.before(disk);
        PicturePrefetch prefetch(disk.work());
        prefetch.request("a", kBox);
        settle(prefetch);
        c.after(disk);
        EXPECT_EQ(prefetch.take("a", kBox), nullptr) << c.what;
    }
}

TEST(PicturePrefetch, APictureOfAnotherNumberIsDroppedAndNotHandedOver)
{
    Disk disk;
    disk.put("001", 1, 1);
    disk.put("002", 2, 1);
    PicturePrefetch prefetch(disk.work());
    prefetch.request("001", kBox);
    settle(prefetch);
    EXPECT_EQ(prefetch.take("002", kBox), nullptr);
    prefetch.request("002", kBox);
    settle(prefetch);
    EXPECT_EQ(prefetch.take("001", kBox), nullptr) << "001 was dropped when 002 was asked for";
    EXPECT_EQ(content(prefetch.take("002", kBox)), 2);
}

TEST(PicturePrefetch, TakingWaitsForARunningDecodeOfItsOwnFileOnly)
{
    Disk disk;
    disk.put("a", 7, 1);
    disk.put("b", 8, 1);
    disk.set_hold(true);
    PicturePrefetch prefetch(disk.work());
    prefetch.request("a", kBox);
    disk.wait_decoding();
    // Another file: nothing, at once (were it to wait, the held decode would keep it waiting for ever).
    EXPECT_EQ(prefetch.take("b", kBox), nullptr);
    EXPECT_FALSE(prefetch.idle());
    // The file being decoded: the decode is let go meanwhile, and its picture is handed over.
    std::thread release([&] { disk.set_hold(false); });
    EXPECT_EQ(content(prefetch.take("a", kBox)), 7);
    release.join();
    EXPECT_EQ(disk.decodes, 1);
}

TEST(PicturePrefetch, ADecodeOvertakenByANewerRequestIsDropped)
{
    Disk disk;
    disk.put("001", 1, 1);
    disk.put("002", 2, 1);
    disk.set_hold(true);
    PicturePrefetch prefetch(disk.work());
    prefetch.request("001", kBox);
    disk.wait_decoding();
    prefetch.request("002", kBox);
    disk.set_hold(false);
    settle(prefetch);
    EXPECT_EQ(prefetch.take("001", kBox), nullptr);
    EXPECT_EQ(content(prefetch.take("002", kBox)), 2);
    EXPECT_EQ(disk.decodes, 2);
}

TEST(PicturePrefetch, AFileAskedForButNotBegunIsLeftToTheCallerAndNotDecodedAgain)
{
    Disk disk;
    disk.put("001", 1, 1);
    disk.put("002", 2, 1);
    disk.set_hold(true);
    PicturePrefetch prefetch(disk.work());
    prefetch.request("001", kBox);
    disk.wait_decoding();
    prefetch.request("002", kBox); // waits behind 001
    EXPECT_EQ(prefetch.take("002", kBox), nullptr);
    disk.set_hold(false);
    settle(prefetch);
    EXPECT_EQ(disk.decodes, 1) << "002 was decoded although its caller had read it already";
}

TEST(PicturePrefetch, AskingAgainForTheSamePictureDecodesItOnce)
{
    Disk disk;
    disk.put("a", 7, 1);
    disk.set_hold(true);
    PicturePrefetch prefetch(disk.work());
    prefetch.request("a", kBox);
    disk.wait_decoding();
    prefetch.request("a", kBox); // while it is decoded
    disk.set_hold(false);
    settle(prefetch);
    prefetch.request("a", kBox); // once it is prepared
    settle(prefetch);
    EXPECT_EQ(disk.decodes, 1);
    EXPECT_EQ(content(prefetch.take("a", kBox)), 7);
}

TEST(PicturePrefetch, RunningOutOfMemoryFailsThePreparationLikeAnUnreadableFile)
{
    // Longer than any string keeps in place, so that copying the path allocates.
    const std::string path = "a path longer than a string keeps without allocating";
    const struct {
        const char* what;
        bool from_the_start; // or only once the picture is decoded
    } cases[] = {
        {"copying the path it is asked for", true},
        {"keeping the decoded picture", false},
    };
    for (const auto& c : cases) {
        Disk disk;
        disk.put(path, 7, 1);
        PicturePrefetch::Work work = disk.work();
        work.thread_start = [] { t_worker = true; };
        work.decode = [&c, decode = work.decode, armed = false](const std::string& p, SizeF box) mutable {
            PicturePrefetch::Decoded decoded = decode(p, box);
            if (!c.from_the_start && !armed)
                g_fail_worker_allocations = armed = true;
            return decoded;
        };
        g_fail_worker_allocations = c.from_the_start;
        PicturePrefetch prefetch(std::move(work));
        prefetch.request(path, kBox);
        settle(prefetch);
        g_fail_worker_allocations = false;
        EXPECT_EQ(prefetch.take(path, kBox), nullptr) << c.what;
        // The worker is still there: the next preparation is handed over.
        prefetch.request(path, kBox);
        settle(prefetch);
        EXPECT_EQ(content(prefetch.take(path, kBox)), 7) << c.what;
    }
}

TEST(PicturePrefetch, TheOwnerMayGoWhileADecodeRuns)
{
    auto disk = std::make_shared<Disk>();
    disk->put("a", 7, 1);
    disk->set_hold(true);
    {
        PicturePrefetch prefetch(disk->work());
        prefetch.request("a", kBox);
        disk->wait_decoding();
    } // gone without waiting for the worker
    disk->set_hold(false);
    // The worker finishes on its own; `disk` outlives it here because the test waits for it.
    for (int i = 0; i < 10000; ++i) {
        {
            const std::lock_guard lock(disk->mutex);
            if (disk->decodes == 1)
                break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const std::lock_guard lock(disk->mutex);
    EXPECT_EQ(disk->decodes, 1);
}

TEST(PicturePrefetch, ClearingLetsGoOfWhatIsPreparedRunningOrAskedFor)
{
    const struct {
        const char* what;
        bool hold;          // the decode of "a" is held when clear() comes
        int decodes;        // decodes of "a" in all
    } cases[] = {
        {"prepared", false, 1},
        {"being decoded", true, 1},
    };
    for (const auto& c : cases) {
        Disk disk;
        disk.put("a", 7, 1);
        disk.put("b", 9, 1);
        PicturePrefetch prefetch(disk.work());
        disk.set_hold(c.hold);
        prefetch.request("a", kBox);
        if (c.hold)
            disk.wait_decoding();
        else
            settle(prefetch);
        prefetch.clear();
        disk.set_hold(false);
        settle(prefetch);
        EXPECT_EQ(disk.decodes, c.decodes) << c.what;
        EXPECT_EQ(content(prefetch.take("a", kBox)), -1) << c.what << ": kept after the clear";
        // The worker goes on with the next request as before.
        prefetch.request("b", kBox);
        settle(prefetch);
        EXPECT_EQ(content(prefetch.take("b", kBox)), 9) << c.what;
    }
}

} // namespace
} // namespace imaging
