#ifndef TARN_LOADINGPACE_H
#define TARN_LOADINGPACE_H

// How loading shares the GL thread with what is shown meanwhile. Loaders
// call step() after each piece of GL work (one image uploaded with its
// mipmaps, one cube map, one video, one program linked) and again and again
// while they wait for a loader thread; the player installs a pace whose step
// draws a preloader frame when one is due and reads the window's events.
// Without one installed, step does nothing (tools, tests, offline
// rendering, reloads). GL thread only.

namespace Tarn {

class LoadingPace {
public:
    virtual ~LoadingPace() = default;

    // What step and cancelled do while this pace is installed.
    virtual void onStep() = 0;
    virtual bool onCancelled() const { return false; }

    // Between two pieces of GL work: the installed pace may draw a frame.
    static void step();
    // True once the loading should end without finishing (the window is
    // closing): scripts stop reading lines, waits for loader threads end.
    static bool cancelled();

    // Installs pace for its lifetime, restoring the previous one.
    class Scope {
    public:
        explicit Scope(LoadingPace& pace);
        ~Scope();
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        LoadingPace* m_previous;
    };

private:
    static LoadingPace* ms_current;
};

}  // namespace Tarn

#endif
