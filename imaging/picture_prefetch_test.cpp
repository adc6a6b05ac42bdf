// Tests of preparing the next picture ahead: what is handed over, what is read afresh, what is dropped.
#include "imaging/picture_prefetch.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace imaging {
namespace {

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

    PicturePrefetch::Work work()
    {
        return {[this](const std::string& path) -> std::optional<FileStamp> {
                    const std::lock_guard lock(mutex);
                    const auto it = files.find(path);
                    return it == files.end() ? std::nullopt : std::optional(it->second.stamp);
                },
                [this](const std::string& path) -> PictureRef {
                    std::unique_lock lock(mutex);
                    ++decoding;
                    changed.notify_all();
                    changed.wait(lock, [this] { return !hold; });
                    --decoding;
                    ++decodes;
                    const auto it = files.find(path);
                    if (it == files.end() || !it->second.readable)
                        throw std::runtime_error("unreadable");
                    return std::make_shared<TestPicture>(it->second.content);
                },
                {},
                {}};
    }

    void put(const std::string& path, int content, std::uint64_t written, bool readable = true)
    {
        const std::lock_guard lock(mutex);
        files[path] = File{FileStamp{1, 100, 4096, written}, content, readable};
    }
    void remove(const std::string& path)
    {
        const std::lock_guard lock(mutex);
        files.erase(path);
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
        prefetch.request("a");
        settle(prefetch);
        c.meanwhile(disk);
        EXPECT_EQ(content(prefetch.take("a")), c.expected) << c.what;
        EXPECT_EQ(content(prefetch.take("a")), -1) << c.what << ": handed over twice";
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
        prefetch.request("a");
        settle(prefetch);
        c.after(disk);
        EXPECT_EQ(prefetch.take("a"), nullptr) << c.what;
    }
}

TEST(PicturePrefetch, APictureOfAnotherNumberIsDroppedAndNotHandedOver)
{
    Disk disk;
    disk.put("001", 1, 1);
    disk.put("002", 2, 1);
    PicturePrefetch prefetch(disk.work());
    prefetch.request("001");
    settle(prefetch);
    EXPECT_EQ(prefetch.take("002"), nullptr);
    prefetch.request("002");
    settle(prefetch);
    EXPECT_EQ(prefetch.take("001"), nullptr) << "001 was dropped when 002 was asked for";
    EXPECT_EQ(content(prefetch.take("002")), 2);
}

TEST(PicturePrefetch, TakingWaitsForARunningDecodeOfItsOwnFileOnly)
{
    Disk disk;
    disk.put("a", 7, 1);
    disk.put("b", 8, 1);
    disk.set_hold(true);
    PicturePrefetch prefetch(disk.work());
    prefetch.request("a");
    disk.wait_decoding();
    // Another file: nothing, at once (were it to wait, the held decode would keep it waiting for ever).
    EXPECT_EQ(prefetch.take("b"), nullptr);
    EXPECT_FALSE(prefetch.idle());
    // The file being decoded: the decode is let go meanwhile, and its picture is handed over.
    std::thread release([&] { disk.set_hold(false); });
    EXPECT_EQ(content(prefetch.take("a")), 7);
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
    prefetch.request("001");
    disk.wait_decoding();
    prefetch.request("002");
    disk.set_hold(false);
    settle(prefetch);
    EXPECT_EQ(prefetch.take("001"), nullptr);
    EXPECT_EQ(content(prefetch.take("002")), 2);
    EXPECT_EQ(disk.decodes, 2);
}

TEST(PicturePrefetch, AFileAskedForButNotBegunIsLeftToTheCallerAndNotDecodedAgain)
{
    Disk disk;
    disk.put("001", 1, 1);
    disk.put("002", 2, 1);
    disk.set_hold(true);
    PicturePrefetch prefetch(disk.work());
    prefetch.request("001");
    disk.wait_decoding();
    prefetch.request("002"); // waits behind 001
    EXPECT_EQ(prefetch.take("002"), nullptr);
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
    prefetch.request("a");
    disk.wait_decoding();
    prefetch.request("a"); // while it is decoded
    disk.set_hold(false);
    settle(prefetch);
    prefetch.request("a"); // once it is prepared
    settle(prefetch);
    EXPECT_EQ(disk.decodes, 1);
    EXPECT_EQ(content(prefetch.take("a")), 7);
}

TEST(PicturePrefetch, TheOwnerMayGoWhileADecodeRuns)
{
    auto disk = std::make_shared<Disk>();
    disk->put("a", 7, 1);
    disk->set_hold(true);
    {
        PicturePrefetch prefetch(disk->work());
        prefetch.request("a");
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
        prefetch.request("a");
        if (c.hold)
            disk.wait_decoding();
        else
            settle(prefetch);
        prefetch.clear();
        disk.set_hold(false);
        settle(prefetch);
        EXPECT_EQ(disk.decodes, c.decodes) << c.what;
        EXPECT_EQ(content(prefetch.take("a")), -1) << c.what << ": kept after the clear";
        // The worker goes on with the next request as before.
        prefetch.request("b");
        settle(prefetch);
        EXPECT_EQ(content(prefetch.take("b")), 9) << c.what;
    }
}

} // namespace
} // namespace imaging
