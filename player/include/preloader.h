#ifndef TARN_PLAYER_PRELOADER_H
#define TARN_PLAYER_PRELOADER_H

// The animation shown while the demo loads: an eight-frame loop (a video
// script) and a logo on white, drawn by the program "Loader". The intro
// slides the loop in from the left over four seconds; the outro holds its
// last frame and fades the picture to cyan. A demo names its own files with
// the demo script's preloader lines; without them the files at the fixed
// paths below are used when present, and without an animation a built-in
// bar fills over the intro instead. Made by the loading handler, used for
// both phases, then dropped; GL context thread only.
//
// The content loads while the intro plays (Intro): loader threads decode,
// and the GL work of loading runs between intro frames. Content ready
// before the intro's end waits for it; content that takes longer keeps the
// intro's last phase on screen (the loop fully slid in, the bar full) until
// it is ready. The outro follows.

#include <functional>
#include <memory>
#include <string>

#include <tarn/clock.h>
#include <tarn/loadingpace.h>
#include <tarn/signal.h>

namespace Tarn {
class Application;
class ImageTexture;
class Shader;
class ShaderProgram;
class VFS;
class VideoTexture;
}  // namespace Tarn

class Preloader {
public:
    static constexpr double IntroSeconds = 5.0;
    static constexpr double OutroSeconds = 3.0;
    // The least time between two intro frames drawn between loading steps.
    static constexpr double FrameSeconds = 1.0 / 60.0;

    static constexpr const char* FixedAnimation = "assets/vekintro/preload.tarn";
    static constexpr const char* FixedLogo = "assets/vekintro/lvek.png";

    // Archive paths of the two layers; empty for none.
    struct Assets {
        std::string animation;
        std::string logo;
    };
    // The files named, or else the fixed paths that vfs finds (none found
    // means none, and nothing is reported: they are optional).
    static Assets resolve(const Assets& named, const Tarn::VFS* vfs);

    explicit Preloader(const Assets& assets);
    ~Preloader();
    Preloader(const Preloader&) = delete;
    Preloader& operator=(const Preloader&) = delete;

    // Draws and shows frames for the phase's length of the preloader's own
    // clock, or until stop() turns true (it is asked before every frame).
    void intro(Tarn::Application& app, const std::function<bool()>& stop);
    void outro(Tarn::Application& app, const std::function<bool()>& stop);

    // The intro played while loading: installed as the loading pace, each
    // step draws and shows the intro's frame at its clock's time when the
    // last one is FrameSeconds old, which also reads the window's events
    // (Escape). Steps draw nothing once stop() is true, and the loading
    // is then cancelled. The GL state the loading had is put back after
    // each frame. Lives for one load.
    class Intro : public Tarn::LoadingPace {
    public:
        Intro(Preloader& preloader, Tarn::Application& app, std::function<bool()> stop);
        Intro(const Intro&) = delete;
        Intro& operator=(const Intro&) = delete;

        void onStep() override;
        bool onCancelled() const override { return m_stop(); }
        // After loading: the rest of the intro, if any is left.
        void finish();

    private:
        void f_show();

        Preloader& m_preloader;
        Tarn::Application& m_app;
        std::function<bool()> m_stop;
        Tarn::Clock m_clock;
        double m_lastFrame;
        int m_viewport[4];
        bool m_drawing = false;
    };

    // After each frame shown, with the phase (true: the intro) and its time.
    Tarn::Signal<bool, double> shown;

    // One frame of a phase at its own time, into the bound frame buffer.
    void drawFrame(bool intro, double seconds);

private:
    void f_play(Tarn::Application& app, bool intro, double seconds,
                const std::function<bool()>& stop);

    // The program does not own its stages. The textures are null when
    // there is no such layer.
    std::unique_ptr<Tarn::Shader> m_vertex;
    std::unique_ptr<Tarn::Shader> m_fragment;
    std::unique_ptr<Tarn::ShaderProgram> m_program;
    std::unique_ptr<Tarn::VideoTexture> m_animation;
    std::unique_ptr<Tarn::ImageTexture> m_logo;
};

#endif
