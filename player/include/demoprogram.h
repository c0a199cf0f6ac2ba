#ifndef TARN_PLAYER_DEMOPROGRAM_H
#define TARN_PLAYER_DEMOPROGRAM_H

// What the demo does with the application shell: the handlers that make the
// engine objects once the window exists, load the content while the
// preloader's intro plays, play the timeline through the effect chain frame
// by frame until it ends, and release everything once. One per run, made by
// main before run() and kept until run() returns.
//
// Every load (play, reload, --check, offline rendering) decodes the files
// the asset library names on loader threads (a DecodeCache) while the GL
// thread builds the content from them in script order; playing, the GL work
// runs between intro frames (Preloader::Intro).
//
// Releasing waits for `terminated` (the loop is over, the GL context still
// current): `closed` may come from any buffer swap, the preloader's
// included, while the loading handler still uses the objects, and may come
// twice. Seeing it stops the preloader and the loading at the next step:
// no script line more is read, and no demo frame is drawn.
//
// Time has one place, the application's demo clock: pausing, seeking and
// looping move that clock and the music to the same time at once. A reload
// builds the new content beside the old and swaps it in only when complete,
// so the picture never goes without content; the old content is then freed.

#include <memory>
#include <cstdint>
#include <string>
#include <vector>

#include <tarn/postfx/frameinfo.h>
#include <tarn/signal.h>

#include "demotime.h"

namespace Tarn {
class Application;
namespace Audio {
class TempoGrid;
}
class FrameBuffer;
class Profiler;
class Soundtrack;
class VFS;
namespace Demo {
class Timeline;
}
namespace Graphics {
class Renderer;
}
namespace PostFX {
class Chain;
}
}  // namespace Tarn

class DemoScript;
class DevControls;

class DemoProgram {
public:
    struct Settings {
        int width = 1024;
        int height = 600;
        bool fullscreen = false;
        // The intro and outro around loading; off for tests and tools.
        bool preloader = true;
        // Off for offline rendering, which reads the music instead.
        bool music = true;
        // Whether the frame handler plays the frames. Off when something
        // else calls renderFrame at the times it chooses (offline
        // rendering); the program then never ends the loop by itself.
        bool playsFrames = true;
        // Times every pass of every frame; the table goes to standard output
        // when the program releases its objects.
        bool profile = false;
        // Demo time of the first frame.
        double start = 0.0;
        // The frame rate a seek draws the frames before it at, for effects
        // whose frames depend on the ones before (feedback): the rate of
        // an offline render, or a display's.
        double frameRate = 60.0;
        // Playing wraps from loopEnd back to loopStart, the music with it; a
        // negative start is the demo's start, a negative end its end, and
        // with both negative there is no loop.
        double loopStart = -1.0;
        double loopEnd = -1.0;
        // Time words of the command line (seconds or BAR:BEAT) read on the
        // content's tempo once it is loaded; each one given replaces its
        // number above. One that cannot be read (a bar time and no tempo
        // line) prints one line on standard output and standard error and
        // ends the run before the first frame: see refusedTimes().
        std::string startWord;
        std::string loopStartWord;
        std::string loopEndWord;
        // Authoring: the DevControls keys and title, loose files before the
        // archive, and at the timeline's end the demo waits instead of
        // ending. With watch, changed content files reload.
        bool dev = false;
        bool watch = false;
        // What to play: an archive, or a folder of loose files; empty for
        // ArchiveName in the working folder. Loose files are read beside
        // the archive, or inside the folder.
        std::string content;
        // Loading ends the run: no preloader, no music, no frames; every
        // problem goes to the collector installed by the caller.
        bool check = false;
        // Loader threads decoding files while the content builds; 0: one
        // per core.
        unsigned int loaderThreads = 0;
    };

    static constexpr const char* ArchiveName = "demo.tarn";
    static constexpr const char* LibraryScript = "assets/library.tarn";
    static constexpr const char* DemoScriptPath = "assets/demo.tarn";

    // Where content lies: the archive to open (empty: none) and the folder
    // loose files are read from (empty: the working folder).
    struct ContentSource {
        std::string archive;
        std::string looseRoot;
    };
    static ContentSource contentSource(const std::string& content);

    // A time word given to option ("--start") read as demo time on the
    // content's tempo (null: none); false with the line to print, which says
    // what to do ("tarn-demo: --start 36:0 is a bar time, and ...").
    static bool readCommandTime(const std::string& option, const std::string& word,
                                const Tarn::Audio::TempoGrid* tempo, double& seconds,
                                std::string& error);
    // Prints readCommandTime's line on standard output and standard error.
    static void printRefusal(const std::string& error);

    // After each preloader frame shown (tests count them).
    Tarn::Signal<void> preloaderShown;

    explicit DemoProgram(const Settings& settings);
    // Releases what the loop's end did not (nothing after a normal run).
    ~DemoProgram();
    DemoProgram(const DemoProgram&) = delete;
    DemoProgram& operator=(const DemoProgram&) = delete;

    // Sets the window size, full screen and the title "Tarn Application",
    // then connects, in this order, the Escape key, launched, loading,
    // started, frame, closed and terminated handlers.
    void attach(Tarn::Application& app);

    // Plays one frame at demo time now, the one per-frame entry point of
    // the windowed loop and of offline rendering: the effect automations,
    // the timeline, the chain, and the picture drawn into target (null: the
    // window). Effects see now, delta and what follows from them through
    // the chain's FrameInfo; now must still be what the application's demo
    // clock reads, which seeking and the music follow: to choose the time,
    // move the clock (setDemoTime). Draws nothing and returns false before
    // loading and from the timeline's end on.
    //
    // The first frame after loading, a seek or a reload restarts what
    // effects carry from frame to frame: when they turned on is read from
    // their bypass automations on the grid of frames at Settings::frameRate
    // that ends at now, and when an effect with feedback runs, the frames
    // since it last turned on (or since time 0) are drawn first, unseen, so
    // that the frame is the one played to at that rate.
    bool renderFrame(double now, double delta, Tarn::FrameBuffer* target = nullptr);

    // What the demo clock reads (0 without an application).
    double time() const;
    // Moves the demo clock to seconds, kept within the timeline, and the
    // music to the same time; running or paused as it was.
    void seek(double seconds);
    // Stops or restarts the demo clock and the music together.
    void setPaused(bool paused);
    bool paused() const;
    // The loop, as in Settings; takes effect at the next frame.
    void setLoop(double start, double end);
    double loopStart() const { return m_loopStart; }
    double loopEnd() const { return m_loopEnd; }
    bool looping() const { return m_loopStart >= 0.0 || m_loopEnd >= 0.0; }
    // The span the loop plays, within the timeline.
    double loopFrom() const;
    double loopTo() const;

    // Reads all content again (the archive, re-read in case it was
    // repacked, and loose files): the asset library, the demo script with
    // its scenes, effects and automations; the music only when its file
    // changed, and shaders only when theirs did. Built beside the content
    // that plays and swapped in whole; when the demo script cannot be read
    // at all, what plays stays. While it builds, the demo plays on: between
    // its pieces of GL work the application's loop turns, at most once a
    // preloader frame (Preloader::FrameSeconds) and leaving the reload at
    // least as much time as the frames take, so the clock, the music and
    // the picture go on and keys are read. Pause and loop stay. Prints
    // how long it took. False when nothing was swapped, before the demo
    // has started, and during a reload (one asked for by a frame it
    // shows).
    bool reload();
    bool reloading() const { return m_reloading; }

    // How many times content was loaded and put in place: 1 after loading,
    // then one more for each reload that swapped.
    std::size_t contentVersion() const { return m_contentVersion; }

    const Settings& settings() const { return m_settings; }
    // Null before launch and after release.
    Tarn::Graphics::Renderer* renderer() const { return m_renderer.get(); }
    Tarn::Demo::Timeline* timeline() const { return m_timeline.get(); }
    Tarn::PostFX::Chain* chain() const { return m_fxchain.get(); }
    DemoScript* script() const { return m_script.get(); }
    // Null unless profiling, and after release.
    Tarn::Profiler* profiler() const { return m_profiler.get(); }
    Tarn::VFS* vfs() const { return m_vfs.get(); }
    // The archive the content comes from (empty for a folder).
    const std::string& archivePath() const { return m_source.archive; }
    // Problems reported while loading the content last time (the summary
    // line's count).
    std::size_t contentProblems() const { return m_contentProblems; }
    // True when a time word of the settings could not be read after loading:
    // nothing played, and the run should end with exit code 2.
    bool refusedTimes() const { return m_refusedTimes; }

private:
    void f_onKey(int key);
    void f_onLaunched();
    void f_onLoading(Tarn::Signal<double>& progress);
    void f_loadContent(Tarn::Signal<double>& progress);
    // The asset library (into the library instance) and the demo script,
    // onto timeline and chain; the one load sequence of play, reload and
    // check. Null when the demo script cannot be read. Ends with the
    // problem summary line.
    std::unique_ptr<DemoScript> f_buildContent(Tarn::Demo::Timeline& timeline,
                                               Tarn::PostFX::Chain& chain,
                                               Tarn::Signal<double>& progress,
                                               DemoScript* previous);
    // The settings' time words on the loaded content's tempo; false after
    // printing why.
    bool f_readTimeWords();
    void f_onStarted();
    void f_onFrame(double delta, double now);
    double f_wrapLoop(double now);
    // Moves the music to the clock's time and pause.
    void f_followClock();
    void f_release();
    Tarn::PostFX::FrameInfo f_frameInfo(double now, double delta);
    void f_drawFrame(double now, double delta, Tarn::FrameBuffer* target);
    // The restart before the frame at now: seeds each effect's turn-on and
    // draws the frames its feedback needs.
    void f_restart(double now, Tarn::FrameBuffer* target);
    // Runs the automations at grid.before(j) for j from first down to
    // last, and gives each chain effect's turn-on time at the last of them
    // (a negative time for one bypassed there).
    std::vector<double> f_turnOnTimes(const FrameGrid& grid, std::int64_t first,
                                      std::int64_t last);

    Settings m_settings;
    ContentSource m_source;
    std::size_t m_contentProblems = 0;
    std::int64_t m_framesDrawn = 0;
    // Set by loading, seeking and reloading; the next frame restarts.
    bool m_restart = true;
    bool m_restartFrame = false;  // what the next f_frameInfo says
    std::size_t m_contentVersion = 0;
    bool m_refusedTimes = false;
    Tarn::Application* m_app = nullptr;
    bool m_closing = false;
    bool m_reloading = false;
    bool m_clockMoved = false;  // by a reload's frames, since the frame began
    bool m_launched = false;
    bool m_started = false;
    double m_loopStart;
    double m_loopEnd;
    // The music play() was called on, so that new music is started once.
    const Tarn::Soundtrack* m_playing = nullptr;
    std::unique_ptr<Tarn::VFS> m_vfs;
    std::unique_ptr<Tarn::Graphics::Renderer> m_renderer;
    std::unique_ptr<Tarn::Demo::Timeline> m_timeline;
    std::unique_ptr<Tarn::PostFX::Chain> m_fxchain;
    // The music, scenes, clips, effects and effect automations.
    std::unique_ptr<DemoScript> m_script;
    std::unique_ptr<Tarn::Profiler> m_profiler;
    std::unique_ptr<DevControls> m_devControls;
};

#endif
