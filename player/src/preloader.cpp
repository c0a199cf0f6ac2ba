#include "preloader.h"

#include <utility>

#include <GL/glew.h>

#include <tarn/application.h>
#include <tarn/clock.h>
#include <tarn/graphics/fullscreenquad.h>
#include <tarn/imagetexture.h>
#include <tarn/shader.h>
#include <tarn/shaderprogram.h>
#include <tarn/vfs.h>
#include <tarn/videotexture.h>

#include "glstatesnapshot.h"

namespace {

// r maps a 0.38 x 0.6 rectangle of the screen, its lower left corner at
// (0.2945, 0.24), to 0..1 with y flipped (images are stored top row first).
// The intro loops the eight frames once a second and slides them in from
// the left in 32 steps over four seconds: the loop shows where r.x lies
// between s - 2 and s - 1, and clamping repeats its edge columns elsewhere.
// Each layer is drawn over white with its own alpha; the outro holds the
// last frame and fades to the cyan the demo opens on.
const char* const loaderFS = R"(#version 330 core
uniform sampler2DArray uAnim;
uniform sampler2D uLogo;
uniform int uBefore;
uniform int uHasAnim;
uniform int uHasLogo;
uniform float uTime;
in vec2 v_uv;
layout(location = 0) out vec4 fragOut;
void main() {
    vec2 r = v_uv / vec2(0.38, 0.6) - vec2(0.775, 0.4);
    r.y = 1.0 - clamp(r.y, 0.0, 1.0);
    vec2 inside = vec2(clamp(r.x, 0.0, 1.0), r.y);
    vec4 anim = vec4(0.0);
    if (uHasAnim == 0) {
        // The built-in animation: a bar filling over the intro, full in the
        // outro; its track light grey, its fill the demo's opening cyan.
        float filled = uBefore == 1 ? clamp(uTime / 5.0, 0.0, 1.0) : 1.0;
        vec2 bar = (v_uv - vec2(0.3, 0.14)) / vec2(0.4, 0.02);
        if (all(greaterThanEqual(bar, vec2(0.0))) && all(lessThan(bar, vec2(1.0))))
            anim = bar.x < filled ? vec4(0.2627, 0.9529, 1.0, 1.0) : vec4(0.85, 0.85, 0.85, 1.0);
    } else if (uBefore == 1) {
        float layer = floor(fract(uTime) * 8.0);
        float s = clamp(floor(clamp(uTime, 0.0, 4.0) * 8.0) / 16.0, 0.0, 2.0);
        anim = texture(uAnim, vec3(clamp(r.x + 2.0 - s, 0.0, 1.0), r.y, layer));
    } else {
        anim = texture(uAnim, vec3(inside, 7.0));
    }
    vec4 logo = uHasLogo == 1 ? texture(uLogo, inside) : vec4(0.0);
    vec3 colour = vec3(1.0);
    colour = mix(anim.rgb, colour, 1.0 - anim.a);
    colour = mix(logo.rgb, colour, 1.0 - logo.a);
    if (uBefore != 1)
        colour = mix(colour, vec3(0.2627, 0.9529, 1.0), uTime / 3.0);
    fragOut = vec4(colour, 1.0);
}
)";

}  // namespace

Preloader::Assets Preloader::resolve(const Assets& named, const Tarn::VFS* vfs) {
    const auto pick = [vfs](const std::string& chosen, const char* fixed) {
        // A named file that is missing is the demo script's problem to
        // report; the preloader goes on as if it were not named.
        if (!chosen.empty() && vfs && vfs->exists(chosen))
            return chosen;
        return vfs && vfs->exists(fixed) ? std::string(fixed) : std::string();
    };
    return {pick(named.animation, FixedAnimation), pick(named.logo, FixedLogo)};
}

Preloader::Preloader(const Assets& assets)
    : m_vertex(std::make_unique<Tarn::Shader>(
          Tarn::Shader::VERTEX_SHADER, Tarn::Graphics::FullscreenQuad::vertexShaderSource())),
      m_fragment(std::make_unique<Tarn::Shader>(Tarn::Shader::FRAGMENT_SHADER, loaderFS)),
      m_program(std::make_unique<Tarn::ShaderProgram>("Loader")) {
    if (!assets.animation.empty())
        m_animation = std::make_unique<Tarn::VideoTexture>(assets.animation);
    if (!assets.logo.empty())
        m_logo = std::make_unique<Tarn::ImageTexture>(assets.logo);
    m_program->set(m_vertex.get());
    m_program->set(m_fragment.get());
    m_program->link();
}

Preloader::~Preloader() = default;

void Preloader::intro(Tarn::Application& app, const std::function<bool()>& stop) {
    f_play(app, true, IntroSeconds, stop);
}

void Preloader::outro(Tarn::Application& app, const std::function<bool()>& stop) {
    f_play(app, false, OutroSeconds, stop);
}

void Preloader::f_play(Tarn::Application& app, bool intro, double seconds,
                       const std::function<bool()>& stop) {
    Tarn::Clock clock;
    while (clock.elapsed() < seconds && !stop()) {
        const double now = clock.elapsed();
        drawFrame(intro, now);
        app.swapBuffers();
        shown.emit(intro, now);
    }
}

Preloader::Intro::Intro(Preloader& preloader, Tarn::Application& app, std::function<bool()> stop)
    : m_preloader(preloader), m_app(app), m_stop(std::move(stop)), m_lastFrame(-FrameSeconds) {
    glGetIntegerv(GL_VIEWPORT, m_viewport);
}

void Preloader::Intro::onStep() {
    // Showing a frame reads events, whose slots may load again.
    if (m_drawing || m_stop() || m_clock.elapsed() - m_lastFrame < FrameSeconds)
        return;
    m_drawing = true;
    GLStateSnapshot loading;
    loading.save();
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glViewport(m_viewport[0], m_viewport[1], m_viewport[2], m_viewport[3]);
    f_show();
    loading.restore();
    m_drawing = false;
}

void Preloader::Intro::finish() {
    while (m_clock.elapsed() < IntroSeconds && !m_stop())
        f_show();
}

void Preloader::Intro::f_show() {
    m_lastFrame = m_clock.elapsed();
    m_preloader.drawFrame(true, m_lastFrame);
    m_app.swapBuffers();
    m_preloader.shown.emit(true, m_lastFrame);
}

void Preloader::drawFrame(bool intro, double seconds) {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    m_program->bind();
    if (m_program->linked()) {
        m_program->uniform("uAnim", 0);
        m_program->uniform("uLogo", 1);
        m_program->uniform("uBefore", intro ? 1 : 0);
        m_program->uniform("uHasAnim", m_animation ? 1 : 0);
        m_program->uniform("uHasLogo", m_logo ? 1 : 0);
        m_program->uniform("uTime", static_cast<float>(seconds));
        if (m_animation)
            m_animation->bind(0);
        if (m_logo)
            m_logo->bind(1);
        Tarn::Graphics::FullscreenQuad::draw();
        if (m_logo)
            m_logo->release();
        if (m_animation)
            m_animation->release();
    }
    m_program->release();
}
