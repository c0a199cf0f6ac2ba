#include "tarn/decodecache.h"

#include <algorithm>
#include <chrono>

#include "imagefile.h"
#include "tarn/file.h"
#include "tarn/loadingpace.h"
#include "tarn/luceparser.h"
#include "tarn/vfs.h"

namespace Tarn {

namespace {

// Images are the engine's own kind; mesh loaders add theirs.
std::map<std::string, DecodeCache::Decoder>& decoders() {
    static std::map<std::string, DecodeCache::Decoder> registered = {
        {"image", [](VFS& vfs, const std::string& path) {
             return std::shared_ptr<const void>(Detail::ImageFile::decode(vfs, path));
         }}};
    return registered;
}

std::mutex g_hookLock;
std::function<void(const std::string&)> g_decodeHook;

// How long the GL thread waits for a loader thread before it paces again:
// well under a frame, so the preloader keeps its rate.
constexpr std::chrono::milliseconds PaceInterval(2);

}  // namespace

DecodeCache* DecodeCache::ms_current = nullptr;

void DecodeCache::addDecoder(const std::string& kind, Decoder decoder) {
    if (decoder)
        decoders().emplace(kind, std::move(decoder));
}

void DecodeCache::setDecodeHook(std::function<void(const std::string& path)> hook) {
    const std::lock_guard<std::mutex> hold(g_hookLock);
    g_decodeHook = std::move(hook);
}

DecodeCache::DecodeCache(VFS& vfs, unsigned int threads) : m_vfs(vfs) {
    if (threads == 0)
        threads = std::max(1u, std::thread::hardware_concurrency());
    for (unsigned int i = 0; i < threads; ++i)
        m_threads.emplace_back([this] { f_work(); });
}

DecodeCache::~DecodeCache() {
    {
        const std::lock_guard<std::mutex> hold(m_lock);
        m_stopping = true;
        m_queue.clear();
    }
    m_queued.notify_all();
    for (std::thread& thread : m_threads)
        thread.join();
    if (ms_current == this)
        ms_current = nullptr;
}

void DecodeCache::scanScript(const std::string& filename,
                             const std::function<void(LUCEParser& parser)>& keywords) {
    VFS* vfs = VFS::tarnVFS;
    if (!vfs)
        return;
    const Diagnostics::HeldReports quiet;
    const std::unique_ptr<File> file = vfs->openCopy(filename);
    if (!file)
        return;
    LUCEParser parser;
    keywords(parser);
    parser.parse(file->str());
}

void DecodeCache::prefetch(const std::string& kind, const std::string& path) {
    const auto decoder = decoders().find(kind);
    if (decoder == decoders().end())
        return;
    {
        const std::lock_guard<std::mutex> hold(m_lock);
        auto& entry = m_entries[{kind, path}];
        if (entry)
            return;
        entry = std::make_unique<Entry>();
        entry->kind = kind;
        entry->path = path;
        entry->decoder = &decoder->second;
        m_queue.push_back(entry.get());
    }
    m_queued.notify_one();
}

std::size_t DecodeCache::size() const {
    const std::lock_guard<std::mutex> hold(m_lock);
    return m_entries.size();
}

DecodeCache::Use::Use(DecodeCache& cache) : m_previous(ms_current) {
    ms_current = &cache;
}

DecodeCache::Use::~Use() {
    ms_current = m_previous;
}

// The lock is let go while pacing: the pace draws a frame, which may take
// as long as the display wants.
bool DecodeCache::f_take(const std::string& kind, const std::string& path,
                         std::shared_ptr<const void>& result) {
    std::unique_lock<std::mutex> hold(m_lock);
    const auto found = m_entries.find({kind, path});
    if (found == m_entries.end())
        return false;
    Entry& entry = *found->second;
    while (!entry.done) {
        if (LoadingPace::cancelled()) {
            result.reset();
            return true;
        }
        if (m_finished.wait_for(hold, PaceInterval, [&entry] { return entry.done; }))
            break;
        hold.unlock();
        LoadingPace::step();
        hold.lock();
    }
    result = entry.result;
    const std::vector<Diagnostics::HeldReport> reports = entry.reports;
    hold.unlock();
    Diagnostics::replay(reports);
    return true;
}

void DecodeCache::f_work() {
    std::unique_lock<std::mutex> hold(m_lock);
    for (;;) {
        m_queued.wait(hold, [this] { return m_stopping || !m_queue.empty(); });
        if (m_stopping)
            return;
        Entry& entry = *m_queue.front();
        m_queue.pop_front();
        hold.unlock();
        std::function<void(const std::string&)> hook;
        {
            const std::lock_guard<std::mutex> hookHold(g_hookLock);
            hook = g_decodeHook;
        }
        if (hook)
            hook(entry.path);
        std::shared_ptr<const void> result;
        std::vector<Diagnostics::HeldReport> reports;
        {
            Diagnostics::HeldReports held;
            result = (*entry.decoder)(m_vfs, entry.path);
            reports = held.take();
        }
        hold.lock();
        entry.result = std::move(result);
        entry.reports = std::move(reports);
        entry.done = true;
        m_finished.notify_all();
    }
}

}  // namespace Tarn
