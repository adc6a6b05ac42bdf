// The next picture prepared ahead on a worker thread, and handed over only while its file is unchanged.
#include "imaging/picture_prefetch.h"

#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

namespace imaging {

struct PicturePrefetch::Shared {
    // One picture asked for: a file, for a box.
    struct Ask {
        std::string path;
        SizeF box;
        // The folder's mark, taken when it was asked for, before the file is opened; nothing when the
        // folder is not watched.
        std::optional<std::uint64_t> mark;
        [[nodiscard]] bool is(std::string_view p, SizeF b) const { return path == p && box == b; }
    };
    struct Result {
        Ask ask;
        FileStamp stamp;
        PictureRef picture;
    };

    explicit Shared(Work w) : work(std::move(w)) {}

    const Work work;
    mutable std::mutex mutex;
    std::condition_variable wake;     // the worker waits for a request
    std::condition_variable finished; // take() waits for a decode of its own file
    bool started = false;
    bool stopping = false;
    std::optional<Ask> pending;   // asked for, not begun
    std::optional<Ask> busy;      // being decoded
    std::optional<Result> result; // prepared, not yet taken
    bool drop_busy = false;       // the decode that is running is no longer wanted

    void run();
    void prepare(std::unique_lock<std::mutex>& lock, const Ask& ask);
};

void PicturePrefetch::Shared::run()
{
    if (work.thread_start)
        work.thread_start();
    std::unique_lock lock(mutex);
    while (true) {
        wake.wait(lock, [this] { return stopping || pending.has_value(); });
        if (stopping)
            break;
        const Ask ask = std::move(*pending);
        pending.reset();
        prepare(lock, ask);
    }
    lock.unlock();
    if (work.thread_end)
        work.thread_end();
}

// Called and returns with `lock` held; decodes without it. Nothing it does may throw out of the worker
// (that would end the program), so every allocation of its own is inside a `try`.
void PicturePrefetch::Shared::prepare(std::unique_lock<std::mutex>& lock, const Ask& ask)
{
    const std::string& path = ask.path;
    try {
        busy = ask;
        drop_busy = false;
    } catch (...) {
        // Out of memory for the copy: nothing is prepared, as for an unreadable file.
        return;
    }
    lock.unlock();
    PictureRef picture;
    std::optional<Result> prepared;
    try {
        // A change after the ask's mark, even one while the file is read (which may give a mix of both
        // contents), makes take() stamp the file again, and that stamp is then no longer the one taken
        // when the file was opened.
        Decoded decoded = work.decode(path, ask.box);
        picture = std::move(decoded.picture);
        if (picture && decoded.stamp)
            prepared = Result{ask, *decoded.stamp, std::move(picture)};
    } catch (...) {
        // A failure here, out of memory included, only means that nothing is prepared: the loader then
        // reads the file itself.
        picture.reset();
        prepared.reset();
    }
    lock.lock();
    busy.reset();
    finished.notify_all();
    if (prepared && !stopping && !pending && !drop_busy) {
        result = std::move(prepared);
        return;
    }
    // Superseded or unusable: the picture goes, without the lock held.
    lock.unlock();
    prepared.reset();
    lock.lock();
}

PicturePrefetch::PicturePrefetch(Work work) : m_shared(std::make_shared<Shared>(std::move(work))) {}

PicturePrefetch::~PicturePrefetch()
{
    std::optional<Shared::Result> dropped;
    {
        const std::lock_guard lock(m_shared->mutex);
        m_shared->stopping = true;
        m_shared->pending.reset();
        dropped = std::move(m_shared->result);
        m_shared->result.reset();
    }
    m_shared->wake.notify_all();
}

void PicturePrefetch::request(std::string_view path, SizeF box)
{
    std::optional<Shared::Result> dropped;
    {
        const std::lock_guard lock(m_shared->mutex);
        Shared& s = *m_shared;
        if (s.result && s.result->ask.is(path, box))
            return; // prepared already
        if (s.busy && s.busy->is(path, box) && !s.pending)
            return; // being prepared
        dropped = std::move(s.result);
        s.result.reset();
        std::optional<std::uint64_t> mark;
        try {
            if (s.work.mark)
                mark = s.work.mark(std::string(path));
        } catch (...) {
            // No mark: the picture is then stamped again when it is taken.
        }
        s.pending = Shared::Ask{std::string(path), box, mark};
        if (!s.started) {
            try {
                // Never joined: the thread holds the shared state for as long as it runs.
                std::thread([shared = m_shared] { shared->run(); }).detach();
                s.started = true;
            } catch (const std::system_error&) {
                // No thread: nothing is ever prepared, and every picture is read when it is asked for.
                s.pending.reset();
                return;
            }
        }
    }
    m_shared->wake.notify_one();
}

PictureRef PicturePrefetch::take(std::string_view path, SizeF box)
{
    std::optional<Shared::Result> taken;
    {
        std::unique_lock lock(m_shared->mutex);
        m_shared->finished.wait(lock,
                                [&] { return !m_shared->busy || !m_shared->busy->is(path, box) || m_shared->pending; });
        // Asked for but not begun: the caller reads it now, so the worker need not read it again.
        if (m_shared->pending && m_shared->pending->is(path, box))
            m_shared->pending.reset();
        if (m_shared->result && m_shared->result->ask.is(path, box)) {
            taken = std::move(m_shared->result);
            m_shared->result.reset();
        }
    }
    if (!taken)
        return nullptr;
    const Work& work = m_shared->work;
    std::optional<FileStamp> now;
    try {
        // Nothing in the folder changed since before the file was opened: it is still the file that was
        // read, and it need not be opened again to tell.
        if (taken->ask.mark && work.changed_since && !work.changed_since(*taken->ask.mark))
            return std::move(taken->picture);
        now = work.stamp(taken->ask.path);
    } catch (...) {
        // A file that cannot be stamped now is read afresh, which gives its own answer.
        return nullptr;
    }
    if (!now || *now != taken->stamp)
        return nullptr;
    return std::move(taken->picture);
}

void PicturePrefetch::clear()
{
    std::optional<Shared::Result> dropped;
    const std::lock_guard lock(m_shared->mutex);
    m_shared->pending.reset();
    m_shared->drop_busy = m_shared->busy.has_value();
    dropped = std::move(m_shared->result);
    m_shared->result.reset();
}

bool PicturePrefetch::idle() const
{
    const std::lock_guard lock(m_shared->mutex);
    return !m_shared->pending && !m_shared->busy;
}

} // namespace imaging
