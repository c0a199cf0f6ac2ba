#include "demoprogram.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <iostream>
#include <optional>
#include <sstream>

#include <GL/glew.h>

#include <GLFW/glfw3.h>

#include <tarn/application.h>
#include <tarn/assetlibrary.h>
#include <tarn/audio/musicanalysis.h>
#include <tarn/audio/spectrumtexture.h>
#include <tarn/audio/tempogrid.h>
#include <tarn/clock.h>
#include <tarn/decodecache.h>
#include <tarn/demo/timeline.h>
#include <tarn/diagnostics.h>
#include <tarn/graphics/renderer.h>
#include <tarn/loadingpace.h>
#include <tarn/postfx/chain.h>
#include <tarn/postfx/effect.h>
#include <tarn/profiler.h>
#include <tarn/soundtrack.h>
#include <tarn/vfs.h>

#include "demoscript.h"
#include "devcontrols.h"
#include "glstatesnapshot.h"
#include "preloader.h"

DemoProgram::DemoProgram(const Settings& settings)
    : m_settings(settings), m_loopStart(settings.loopStart), m_loopEnd(settings.loopEnd) {
    DemoScript::registerDecoders();
}

DemoProgram::~DemoProgram() {
    f_release();
}

void DemoProgram::attach(Tarn::Application& app) {
    m_app = &app;
    app.setWindowSize(m_settings.width, m_settings.height)
        .setFullscreen(m_settings.fullscreen)
        .setWindowTitle("Tarn Application");
    app.keyPressed.connect([this](int key) { f_onKey(key); });
    app.launched.connect([this] { f_onLaunched(); });
    app.loading.connect([this](Tarn::Signal<double>& progress) { f_onLoading(progress); });
    app.started.connect([this] { f_onStarted(); });
    if (m_settings.playsFrames)
        app.frame.connect([this](double delta, double now) { f_onFrame(delta, now); });
    app.closed.connect([this] { m_closing = true; });
    app.terminated.connect([this] { f_release(); });
    if (m_settings.dev && m_settings.playsFrames)
        m_devControls = std::make_unique<DevControls>(*this, app, m_settings.watch);
}

void DemoProgram::f_onKey(int key) {
    if (key == GLFW_KEY_ESCAPE)
        m_app->closed.emit();
}

DemoProgram::ContentSource DemoProgram::contentSource(const std::string& content) {
    if (content.empty())
        return {ArchiveName, std::string()};
    std::error_code error;
    if (std::filesystem::is_directory(content, error))
        return {std::string(), content};
    return {content, std::filesystem::path(content).parent_path().string()};
}

void DemoProgram::f_onLaunched() {
    m_launched = true;
    m_source = contentSource(m_settings.content);
    m_vfs = std::make_unique<Tarn::VFS>(m_source.archive, true);
    m_vfs->setLooseRoot(m_source.looseRoot);
    m_vfs->setAuthoring(m_settings.dev);
    m_renderer = std::make_unique<Tarn::Graphics::Renderer>(m_settings.width, m_settings.height);
    m_timeline = std::make_unique<Tarn::Demo::Timeline>();
    m_fxchain = std::make_unique<Tarn::PostFX::Chain>(m_settings.width, m_settings.height,
                                                      m_renderer.get());
    if (m_settings.profile) {
        m_profiler = std::make_unique<Tarn::Profiler>();
        m_profiler->start();
    }
}

void DemoProgram::f_onLoading(Tarn::Signal<double>& progress) {
    const auto stop = [this] { return m_closing; };
    // --check makes the preloader too, for the problems of its files.
    std::unique_ptr<Preloader> preloader;
    if (m_settings.preloader || m_settings.check)
        preloader = std::make_unique<Preloader>(
            Preloader::resolve(DemoScript::preloaderAssets(DemoScriptPath), Tarn::VFS::tarnVFS));
    if (!m_settings.preloader) {
        f_loadContent(progress);
        return;
    }
    preloader->shown.connect([this](bool, double) { preloaderShown.emit(); });
    {
        Preloader::Intro intro(*preloader, *m_app, stop);
        const Tarn::LoadingPace::Scope paced(intro);
        f_loadContent(progress);
        intro.finish();
    }
    if (!m_closing)
        preloader->outro(*m_app, stop);
}

void DemoProgram::f_loadContent(Tarn::Signal<double>& progress) {
    m_script = f_buildContent(*m_timeline, *m_fxchain, progress, nullptr);
    // Escape while loading: the program ends before its first frame.
    if (m_closing)
        return;
    ++m_contentVersion;
    if (m_script && m_script->hasTitle())
        m_app->setWindowTitle(m_script->title());
    // Closing here skips the preloader's outro, the start and every frame.
    if (!f_readTimeWords()) {
        m_refusedTimes = true;
        m_app->closed.emit();
    }
}

bool DemoProgram::readCommandTime(const std::string& option, const std::string& word,
                                  const Tarn::Audio::TempoGrid* tempo, double& seconds,
                                  std::string& error) {
    using Tarn::Audio::TempoGrid;
    if (TempoGrid::readTime(word, tempo, TempoGrid::Reading::DemoTime, seconds, error))
        return true;
    if (!tempo && TempoGrid::isBarTime(word))
        error = "tarn-demo: " + option + " " + word +
                " is a bar time, and the content has no tempo line; give the time in seconds, "
                "or write \"tempo BPM\" at the top of " +
                DemoScriptPath;
    else
        error = "tarn-demo: " + option + " " + word + ": " + error;
    return false;
}

void DemoProgram::printRefusal(const std::string& error) {
    std::cout << error << std::endl;
    std::cerr << error << std::endl;
}

bool DemoProgram::f_readTimeWords() {
    const Tarn::Audio::TempoGrid* tempo = m_script ? m_script->tempo() : nullptr;
    const struct {
        const std::string& word;
        const char* option;
        double& seconds;
    } words[] = {{m_settings.startWord, "--start", m_settings.start},
                 {m_settings.loopStartWord, "--loop", m_loopStart},
                 {m_settings.loopEndWord, "--loop", m_loopEnd}};
    std::string error;
    for (const auto& word : words)
        if (!word.word.empty() &&
            !readCommandTime(word.option, word.word, tempo, word.seconds, error)) {
            printRefusal(error);
            return false;
        }
    // Past the end nothing would play: say so rather than quit in silence.
    const double end = m_timeline ? m_timeline->duration() : 0.0;
    if (m_settings.playsFrames && !m_settings.check && m_timeline && end > 0.0) {
        const double from = std::max(m_settings.start, m_loopStart);
        if (from >= end) {
            std::ostringstream line;
            line << "tarn-demo: " << (m_settings.start >= end ? "--start " : "--loop from ")
                 << from << " s is past the demo's end at " << end << " s";
            printRefusal(line.str());
            return false;
        }
    }
    if (m_settings.loopEndWord.empty() || (m_loopStart >= 0.0 && m_loopEnd > m_loopStart))
        return true;
    std::ostringstream line;
    line << "tarn-demo: --loop " << m_settings.loopStartWord << ".." << m_settings.loopEndWord
         << " is the span from " << m_loopStart << " s to " << m_loopEnd
         << " s on the content's tempo; give an END after START, from 0 s";
    printRefusal(line.str());
    return false;
}

std::unique_ptr<DemoScript> DemoProgram::f_buildContent(Tarn::Demo::Timeline& timeline,
                                                        Tarn::PostFX::Chain& chain,
                                                        Tarn::Signal<double>& progress,
                                                        DemoScript* previous) {
    const std::size_t problemsBefore = Tarn::Diagnostics::problemCount();
    // Loader threads decode what the library names, and the music, while
    // the build below makes the objects, in script order, from what they
    // decoded. The music goes first: it is the longest piece of work.
    std::unique_ptr<Tarn::DecodeCache> cache;
    std::unique_ptr<Tarn::DecodeCache::Use> use;
    if (Tarn::VFS* vfs = Tarn::VFS::tarnVFS) {
        cache = std::make_unique<Tarn::DecodeCache>(*vfs, m_settings.loaderThreads);
        DemoScript::prefetch(DemoScriptPath, *cache, previous);
        Tarn::AssetLibrary::prefetchFromScript(LibraryScript, *cache);
        use = std::make_unique<Tarn::DecodeCache::Use>(*cache);
    }
    Tarn::AssetLibrary::instance()->loadAllFromScript(LibraryScript);
    progress.emit(0.4);
    auto script = std::make_unique<DemoScript>(m_renderer.get(), &timeline, &chain);
    if (previous)
        script->takeMusicFrom(*previous);
    const bool loaded = script->load(DemoScriptPath, progress, 0.4);
    m_contentProblems = Tarn::Diagnostics::problemCount() - problemsBefore;
    if (m_contentProblems > 0 && !m_settings.check && !m_closing)
        std::cout << "[Demo] " << m_contentProblems << " content problem"
                  << (m_contentProblems == 1 ? "" : "s") << "; run with --check to list them"
                  << std::endl;
    if (!loaded)
        script.reset();
    return script;
}

void DemoProgram::f_onStarted() {
    if (m_closing)
        return;
    m_started = true;
    seek(m_settings.start);
}

void DemoProgram::f_onFrame(double delta, double now) {
    // The watcher's reload comes before the frame is drawn, so that the
    // frame shows what it loaded. A reload shows frames of its own while it
    // builds: the clock has then moved on since this frame began.
    m_clockMoved = false;
    if (m_devControls)
        m_devControls->beforeFrame(delta);
    if (m_clockMoved)
        now = time();
    now = f_wrapLoop(now);
    const double end = m_timeline ? m_timeline->duration() : 0.0;
    if (m_settings.dev && now >= end) {
        // Authoring waits on the last frame for the next key instead: a
        // millisecond before the end, which the clock's sums keep apart
        // from the end itself.
        setPaused(true);
        seek(end - 0.001);
        now = time();
    }
    if (!renderFrame(now, delta) && !m_settings.dev)
        m_app->closed.emit();
}

// Past the loop's end, the time the loop has reached by then, so that frames
// keep their phase in the loop whatever the frame rate.
double DemoProgram::f_wrapLoop(double now) {
    const double from = loopFrom(), to = loopTo();
    if (!looping() || to <= from || now < to)
        return now;
    const double wrapped = from + std::fmod(now - from, to - from);
    seek(wrapped);
    return wrapped;
}

double DemoProgram::time() const {
    return m_app ? m_app->time.elapsed() : 0.0;
}

void DemoProgram::seek(double seconds) {
    if (!m_app)
        return;
    const double end = m_timeline ? m_timeline->duration() : 0.0;
    m_app->time.setElapsed(std::clamp(seconds, 0.0, end));
    m_restart = true;
    f_followClock();
}

void DemoProgram::setPaused(bool paused) {
    if (!m_app)
        return;
    m_app->time.pause(paused);
    f_followClock();
}

bool DemoProgram::paused() const {
    return m_app && m_app->time.paused();
}

void DemoProgram::setLoop(double start, double end) {
    m_loopStart = start;
    m_loopEnd = end;
}

double DemoProgram::loopFrom() const {
    return std::max(m_loopStart, 0.0);
}

double DemoProgram::loopTo() const {
    const double end = m_timeline ? m_timeline->duration() : 0.0;
    return m_loopEnd >= 0.0 ? std::min(m_loopEnd, end) : end;
}

// Music plays from the start signal on; until then (and with music off)
// only the clock moves.
void DemoProgram::f_followClock() {
    Tarn::Soundtrack* music = m_settings.music && m_script ? m_script->soundtrack() : nullptr;
    if (!music || !m_started)
        return;
    if (music != m_playing) {
        music->play();
        m_playing = music;
    }
    music->setPosition(static_cast<float>(time()));
    if (music->paused() != paused())
        music->pause();
}

namespace {

// The demo plays on while a reload builds: a step shows the next frame of
// the content that plays (one turn of the application's loop), which also
// reads the window's events, once Preloader::FrameSeconds have passed
// since the last one ended, and at least as long as it took: frames that
// cost more than a preloader frame (a software renderer's) leave the
// reload at least half of the GL thread. The loading's GL state and the
// frames' are each put back before the other draws. Cancelled once the
// window closes.
class PlayingOn : public Tarn::LoadingPace {
public:
    PlayingOn(Tarn::Application& app, const bool& closing)
        : m_app(app), m_closing(closing), m_last(m_clock.elapsed()) {
        m_frames.save();
    }
    PlayingOn(const PlayingOn&) = delete;
    PlayingOn& operator=(const PlayingOn&) = delete;

    void onStep() override {
        // A frame's slots may ask for a reload, which waits for this one.
        if (m_drawing || m_closing || m_clock.elapsed() - m_last < m_wait)
            return;
        m_drawing = true;
        const double begin = m_clock.elapsed();
        GLStateSnapshot loading;
        loading.save();
        m_frames.restore();
        m_app.runFrame();
        m_frames.save();
        loading.restore();
        m_last = m_clock.elapsed();
        m_wait = std::max(Preloader::FrameSeconds, m_last - begin);
        ++m_shown;
        m_drawing = false;
    }
    bool onCancelled() const override { return m_closing; }
    int shown() const { return m_shown; }

private:
    Tarn::Application& m_app;
    const bool& m_closing;
    Tarn::Clock m_clock;
    double m_last;  // when the last frame ended
    double m_wait = Preloader::FrameSeconds;
    GLStateSnapshot m_frames;
    bool m_drawing = false;
    int m_shown = 0;
};

}  // namespace

bool DemoProgram::reload() {
    if (!m_started || m_closing || !m_script || m_reloading)
        return false;
    m_reloading = true;
    const auto begin = std::chrono::steady_clock::now();
    std::cout << "[Demo] reloading the content" << std::endl;
    m_vfs->refresh();

    const Tarn::Soundtrack* music = m_script->soundtrack();
    auto timeline = std::make_unique<Tarn::Demo::Timeline>();
    auto chain = std::make_unique<Tarn::PostFX::Chain>(m_settings.width, m_settings.height,
                                                       m_renderer.get());
    std::unique_ptr<Tarn::AssetLibrary> library =
        Tarn::AssetLibrary::replaceInstance(std::make_unique<Tarn::AssetLibrary>());
    Tarn::Signal<double> progress;  // nobody waits for a reload's progress
    std::unique_ptr<DemoScript> script;
    int shown = 0;
    {
        PlayingOn playing(*m_app, m_closing);
        std::optional<Tarn::LoadingPace::Scope> paced;
        if (m_settings.playsFrames)
            paced.emplace(playing);
        script = f_buildContent(*timeline, *chain, progress, m_script.get());
        shown = playing.shown();
    }
    // A build cut short by closing is not swapped in: what plays stays.
    const bool loaded = script != nullptr && !m_closing;
    if (loaded) {
        // The renderer's camera belongs to a scene about to go.
        m_renderer->setCamera(nullptr);
        std::swap(m_script, script);
        ++m_contentVersion;
        std::swap(m_fxchain, chain);
        std::swap(m_timeline, timeline);
        if (m_script->soundtrack() != music)
            m_playing = nullptr;
        if (m_script->hasTitle())
            m_app->setWindowTitle(m_script->title());
    } else {
        library = Tarn::AssetLibrary::replaceInstance(std::move(library));
    }
    // Whichever content lost: what refers to the library before the library.
    script.reset();
    chain.reset();
    timeline.reset();
    library.reset();

    // The clock ran on: the new content restarts at its time.
    seek(time());
    m_clockMoved = shown > 0;
    if (shown > 0 && m_app->window()) {
        // The frames shown left the window's back buffer undefined; the
        // frame drawn next expects it cleared, as the loop left it.
        GLint framebuffer = 0;
        glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &framebuffer);
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, static_cast<GLuint>(framebuffer));
    }
    m_reloading = false;
    const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - begin;
    if (loaded)
        std::cout << "[Demo] content reloaded in " << std::lround(took.count()) << " ms"
                  << std::endl;
    return loaded;
}

bool DemoProgram::renderFrame(double now, double delta, Tarn::FrameBuffer* target) {
    if (!m_timeline || !m_script || now >= m_timeline->duration())
        return false;
    if (m_restart)
        f_restart(now, target);
    if (m_profiler)
        m_profiler->beginFrame();
    f_drawFrame(now, delta, target);
    if (m_profiler)
        m_profiler->endFrame();
    return true;
}

void DemoProgram::f_drawFrame(double now, double delta, Tarn::FrameBuffer* target) {
    m_script->runAutomations(now);
    m_timeline->doFrame(now, delta);
    m_fxchain->setFrameInfo(f_frameInfo(now, delta));
    m_fxchain->applyAndDraw(m_renderer->renderOutput(), target);
}

void DemoProgram::f_restart(double now, Tarn::FrameBuffer* target) {
    using Tarn::PostFX::Effect;
    m_restart = false;
    m_restartFrame = true;
    bool history = false, feedback = false;
    for (std::size_t i = 0; i < m_fxchain->effectCount(); ++i) {
        const Effect::History kind = m_fxchain->effect(int(i))->history();
        history = history || kind != Effect::NoHistory;
        feedback = feedback || kind == Effect::Feedback;
    }
    if (!history)
        return;
    const double rate = m_settings.frameRate > 0.0 ? m_settings.frameRate : 60.0;
    const FrameGrid grid(now, rate);
    // Frames of the grid at or after time 0, back from now.
    const auto frames = static_cast<std::int64_t>(std::floor(now * rate + 1e-6));
    std::vector<double> on = f_turnOnTimes(grid, frames, 0);
    // The earliest turn-on of an effect with feedback that runs at now.
    std::int64_t first = 0;
    if (feedback)
        for (std::size_t i = 0; i < on.size(); ++i)
            if (on[i] >= 0.0 && m_fxchain->effect(int(i))->history() == Effect::Feedback)
                first = std::max<std::int64_t>(first, std::llround((now - on[i]) * rate));
    if (first > 0) {
        std::cout << "[Demo] drawing " << first << " frame" << (first == 1 ? "" : "s")
                  << " before " << now << " s for the effects with feedback" << std::endl;
        on = f_turnOnTimes(grid, frames, first);
    }
    for (std::size_t i = 0; i < on.size(); ++i)
        m_fxchain->effect(int(i))->seedTurnOn(on[i]);
    for (std::int64_t j = first; j > 0; --j)
        f_drawFrame(grid.before(j), 1.0 / rate, target);
}

std::vector<double> DemoProgram::f_turnOnTimes(const FrameGrid& grid, std::int64_t first,
                                               std::int64_t last) {
    const std::size_t count = m_fxchain->effectCount();
    std::vector<double> on(count, -1.0);
    for (std::int64_t j = first; j >= last; --j) {
        const double time = std::max(0.0, grid.before(j));
        m_script->runAutomations(time);
        for (std::size_t i = 0; i < count; ++i) {
            const bool runs = !m_fxchain->effect(int(i))->bypassed();
            if (!runs)
                on[i] = -1.0;
            else if (on[i] < 0.0)
                on[i] = time;
        }
    }
    return on;
}

// Everything in it follows from the time; the frame number counts the
// frames drawn since the content was loaded.
Tarn::PostFX::FrameInfo DemoProgram::f_frameInfo(double now, double delta) {
    Tarn::PostFX::FrameInfo frame;
    frame.time = now;
    frame.delta = delta;
    frame.frame = m_framesDrawn++;
    frame.restart = m_restartFrame;
    m_restartFrame = false;
    if (const Tarn::Audio::TempoGrid* tempo = m_script ? m_script->tempo() : nullptr) {
        frame.beat = tempo->beat(now);
        frame.bar = tempo->bar(now);
        frame.bpm = static_cast<float>(tempo->bpm());
    }
    const Tarn::Audio::MusicAnalysis* music = m_script ? m_script->analysis() : nullptr;
    if (!music || music->hopCount() == 0)
        return frame;
    using Tarn::Audio::Feature;
    static constexpr Feature bands[4] = {Feature::Bass, Feature::LowMids, Feature::HighMids,
                                         Feature::Highs};
    static constexpr Feature integrals[4] = {Feature::BassIntegral, Feature::LowMidsIntegral,
                                             Feature::HighMidsIntegral, Feature::HighsIntegral};
    frame.music = music;
    for (int i = 0; i < 4; ++i) {
        frame.bands[i] = music->value(bands[i], now);
        frame.integrals[i] = music->value(integrals[i], now);
    }
    frame.onset = music->value(Feature::Onset, now);
    frame.level = music->value(Feature::Level, now);
    if (Tarn::Audio::SpectrumTexture* spectrum = m_script->spectrum()) {
        spectrum->update(now);
        frame.spectrum = spectrum;
    }
    return frame;
}

// Once, with the GL context current: what the script built (clips before
// their scenes, effects before the chain), then the chain, timeline and
// renderer, the asset library, and the archive last.
void DemoProgram::f_release() {
    m_started = false;
    if (m_profiler) {
        m_profiler->stop();
        m_profiler->report(std::cout);
        m_profiler.reset();
    }
    m_script.reset();
    m_fxchain.reset();
    m_timeline.reset();
    m_renderer.reset();
    if (m_launched)
        Tarn::AssetLibrary::destroyInstance();
    m_launched = false;
    m_vfs.reset();
}
