#ifndef TARN_DECODECACHE_H
#define TARN_DECODECACHE_H

// Files read, inflated and decoded ahead of the load that uses them, on
// loader threads (one per core), while the GL thread builds the content in
// its own order. The player makes one for each load (play, reload, --check,
// offline rendering), asks it for every image and model the library and
// material scripts name, and installs it for the build; the image and model
// loaders then take their decoded files from it instead of decoding. Objects
// are still made on the GL thread, in script order, so the content and the
// order of its GL objects do not depend on the threads.
//
// A loader thread holds what it reports (Diagnostics::HeldReports) with the
// result; the GL thread makes those reports again when it takes the result:
// at the script line that asked for the file and in the order of a serial
// load. A result stays until the cache goes, so a file named twice is decoded
// once and reported twice, as a serial load reports it. Results never taken
// are dropped unsaid.

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tarn/diagnostics.h"

namespace Tarn {

class LUCEParser;
class VFS;

class DecodeCache {
public:
    // Reads and decodes path through vfs on a loader thread, reporting
    // through Diagnostics as usual; null or an object the kind's loader
    // knows how to use.
    using Decoder = std::function<std::shared_ptr<const void>(VFS& vfs, const std::string& path)>;

    // Registers the decoder of a kind of file (a mesh loader's name; "image"
    // is built in); the first registration of a kind stays. At start-up,
    // before any cache is made.
    static void addDecoder(const std::string& kind, Decoder decoder);

    // Starts threads loader threads (0: one per core) reading through vfs,
    // which must outlive the cache.
    explicit DecodeCache(VFS& vfs, unsigned int threads = 0);
    // Waits for the decodes under way; those not begun are dropped.
    ~DecodeCache();
    DecodeCache(const DecodeCache&) = delete;
    DecodeCache& operator=(const DecodeCache&) = delete;

    // Queues path to be decoded by the kind's decoder, after what was asked
    // before; a path asked again, or a kind without a decoder, is ignored.
    void prefetch(const std::string& kind, const std::string& path);
    // How many files were asked for.
    std::size_t size() const;

    // The pre-pass over a script that finds what to prefetch: reads the
    // script through VFS::tarnVFS and parses it with the keywords `keywords`
    // adds, saying nothing (a missing or faulty script is reported by the
    // build that reads it for real). Nothing without an archive.
    static void scanScript(const std::string& filename,
                           const std::function<void(LUCEParser& parser)>& keywords);

    // The cache loaders take from (null: none, they decode themselves).
    static DecodeCache* current() { return ms_current; }
    // Installs a cache for its lifetime, restoring the previous one.
    class Use {
    public:
        explicit Use(DecodeCache& cache);
        ~Use();
        Use(const Use&) = delete;
        Use& operator=(const Use&) = delete;

    private:
        DecodeCache* m_previous;
    };

    // False when the current cache was never asked for path (or there is
    // none): the loader decodes it itself. Otherwise waits for the result,
    // pacing the wait (LoadingPace::step), makes the reports held with it on
    // this thread, and gives it: null when the decoder gave nothing or the
    // loading was cancelled while waiting. GL thread.
    template <typename T>
    static bool take(const std::string& kind, const std::string& path,
                     std::shared_ptr<const T>& result) {
        std::shared_ptr<const void> any;
        if (!ms_current || !ms_current->f_take(kind, path, any))
            return false;
        result = std::static_pointer_cast<const T>(any);
        return true;
    }

    // Called on the loader thread before each decode, with the path; for
    // tests that slow decoding down. Empty for none (the default).
    static void setDecodeHook(std::function<void(const std::string& path)> hook);

private:
    struct Entry {
        std::string kind;
        std::string path;
        const Decoder* decoder = nullptr;
        bool done = false;
        std::shared_ptr<const void> result;
        std::vector<Diagnostics::HeldReport> reports;
    };

    bool f_take(const std::string& kind, const std::string& path,
                std::shared_ptr<const void>& result);
    void f_work();

    VFS& m_vfs;
    mutable std::mutex m_lock;
    std::condition_variable m_queued;
    std::condition_variable m_finished;
    std::map<std::pair<std::string, std::string>, std::unique_ptr<Entry>> m_entries;
    std::deque<Entry*> m_queue;
    bool m_stopping = false;
    std::vector<std::thread> m_threads;

    static DecodeCache* ms_current;
};

}  // namespace Tarn

#endif
