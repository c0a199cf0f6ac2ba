#ifndef TARN_PLAYER_PRELOADER_H
#define TARN_PLAYER_PRELOADER_H

// The animation shown while the demo loads: an eight-frame loop
// ("assets/vekintro/preload.tarn") and a logo ("assets/vekintro/lvek.png")
// on white, drawn by the program "Loader". The intro slides the loop in from
// the left over four seconds; the outro holds its last frame and fades the
// picture to cyan. Made by the loading handler, used for both phases, then
// dropped; GL context thread only.

#include <functional>
#include <memory>

namespace Tarn {
class Application;
class ImageTexture;
class Shader;
class ShaderProgram;
class VideoTexture;
}  // namespace Tarn

class Preloader {
public:
    static constexpr double IntroSeconds = 5.0;
    static constexpr double OutroSeconds = 3.0;

    Preloader();
    ~Preloader();
    Preloader(const Preloader&) = delete;
    Preloader& operator=(const Preloader&) = delete;

    // Draws and shows frames for the phase's length of the preloader's own
    // clock, or until stop() turns true (it is asked before every frame).
    void intro(Tarn::Application& app, const std::function<bool()>& stop);
    void outro(Tarn::Application& app, const std::function<bool()>& stop);

private:
    void f_play(Tarn::Application& app, bool intro, double seconds,
                const std::function<bool()>& stop);

    // The program does not own its stages.
    std::unique_ptr<Tarn::Shader> m_vertex;
    std::unique_ptr<Tarn::Shader> m_fragment;
    std::unique_ptr<Tarn::ShaderProgram> m_program;
    std::unique_ptr<Tarn::VideoTexture> m_animation;
    std::unique_ptr<Tarn::ImageTexture> m_logo;
};

#endif
