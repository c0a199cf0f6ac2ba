#include "tarn/postfx/shadereffect.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <memory>
#include <sstream>

#include <GL/glew.h>
#include <glm/gtc/type_ptr.hpp>
#include <glm/mat4x4.hpp>

#include "tarn/diagnostics.h"
#include "tarn/framebuffer.h"
#include "tarn/graphics/camera.h"
#include "tarn/graphics/fullscreenquad.h"
#include "tarn/imagetexture.h"
#include "tarn/postfx/effect.h"
#include "tarn/postfx/pass.h"
#include "tarn/postfx/shadersource.h"
#include "tarn/shader.h"
#include "tarn/shaderprogram.h"

namespace Tarn::PostFX {

namespace {

// Units of the samplers every shader may read; its own images follow.
enum Unit { kInput = 0, kSpectrum = 1, kGBuffer = 2, kPrevious = 6, kFirstImage = 7 };
constexpr int kMaxImages = 4;  // a pass binds at most eleven textures

// The effect's output kept for its next frame (uPrevious): two images, the
// one the frame reads and the one it leaves. A frame at a new time reads
// what the frame before left; the same time drawn again (paused) reads what
// that frame read, so a still picture stays still. Both start black when
// the effect turns on.
struct History {
    std::unique_ptr<FrameBuffer> images[2];
    int left = 0;  // the image the last frame left
    double time = 0.0;
    bool drawn = false;

    // The image this frame reads.
    FrameBuffer* read(const Effect& effect, const FrameInfo& f, const FrameBuffer& size) {
        if (!images[0] || images[0]->width() != size.width() ||
            images[0]->height() != size.height()) {
            for (auto& image : images) {
                image = std::make_unique<FrameBuffer>(size.width(), size.height());
                image->createRenderTarget(FrameBuffer::RGBA32F);
            }
            drawn = false;
        }
        if (effect.turningOn() || !drawn) {
            for (auto& image : images) {
                image->enable();  // clears to opaque black
                image->disable();
            }
            drawn = false;
        } else if (f.time != time) {
            left = 1 - left;
        }
        return images[1 - left].get();
    }
    // Keeps what the frame drew, from the chain's buffer it drew into.
    void keep(const FrameBuffer& out, double at) {
        FrameBuffer& image = *images[left];
        glBindFramebuffer(GL_READ_FRAMEBUFFER, out.id());
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, image.id());
        glBlitFramebuffer(0, 0, GLint(out.width()), GLint(out.height()), 0, 0,
                          GLint(image.width()), GLint(image.height()), GL_COLOR_BUFFER_BIT,
                          GL_NEAREST);
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        time = at;
        drawn = true;
    }
};

// Everything one effect owns: its stages, program and images.
struct Compiled {
    std::unique_ptr<Shader> vertex, fragment;
    std::unique_ptr<ShaderProgram> program;
    std::vector<std::unique_ptr<ImageTexture>> images;
    std::vector<std::string> parameters;  // uniform names of the @param annotations
    std::vector<int> components;
    std::vector<bool> present;  // of kFrameUniforms
    std::unique_ptr<History> history;  // when it reads uPrevious
};

// The per-frame uniforms of the prelude, in the order setUniforms sets them:
// resolution, then the scalars from uTime to uBpm.
constexpr const char* kFrameUniforms[] = {
    "uResolution", "uTime",       "uTimeOn",      "uDelta",
    "uFrame",      "uBeat",       "uBar",         "uBpm",
    "uBands",      "uOnset",      "uLevel",       "uIntegrals",
    "uView",       "uProjection", "uInverseView", "uInverseProjection",
    "uNear",       "uFar"};

// Shader-playground names over the prelude's, for a shader written around
// mainImage: the one include a ported shader adds.
constexpr const char* kPlayground =
    R"(// tarn/playground.glsl: shader-playground names for the engine's inputs.
#define iTime uTime
#define iTimeDelta uDelta
#define iFrame int(uFrame)
#define iResolution vec3(uResolution, 1.0)
#define iChannel0 uInput
#define iMouse vec4(0.0)
void mainImage(out vec4 fragColor, in vec2 fragCoord);
void main() {
    mainImage(fragColor, v_uv * uResolution);
}
)";

// "file:line: what" placed at its file and line; any other line as it is.
void reportLogLine(const std::string& line) {
    const std::size_t first = line.find(':');
    const std::size_t second = first == std::string::npos ? first : line.find(": ", first + 1);
    int number = 0;
    if (second != std::string::npos && second > first + 1 &&
        line.find_first_not_of("0123456789", first + 1) == second &&
        std::from_chars(line.data() + first + 1, line.data() + second, number).ec == std::errc()) {
        Diagnostics::problemAt("Shader", line.substr(0, first), number, line.substr(second + 2));
        return;
    }
    Diagnostics::problem("Shader", line);
}

int lineCount(const std::string& text) {
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

void setUniforms(ShaderProgram& program, const Compiled& compiled, Effect& effect,
                 const Chain::Buffers& buffers, float sinceOn) {
    const FrameInfo& f = buffers.frame;
    const std::vector<bool>& has = compiled.present;
    std::size_t i = 0;
    const auto next = [&has, &i] { return has[i++]; };
    const FrameBuffer* size = buffers.full[0];
    if (next())
        program.uniform("uResolution", float(size->width()), float(size->height()));
    for (const float value : {float(f.time), sinceOn, float(f.delta), float(f.frame), float(f.beat),
                              float(f.bar), f.bpm}) {
        const char* name = kFrameUniforms[i];
        if (next())
            program.uniform(name, value);
    }
    if (next())
        program.uniform("uBands", f.bands[0], f.bands[1], f.bands[2], f.bands[3]);
    if (next())
        program.uniform("uOnset", f.onset);
    if (next())
        program.uniform("uLevel", f.level);
    if (next())
        program.uniform("uIntegrals", f.integrals[0], f.integrals[1], f.integrals[2],
                        f.integrals[3]);
    Graphics::Camera* camera = buffers.camera;
    glm::mat4 matrices[4];
    if (camera) {
        matrices[0] = camera->viewMatrix();
        matrices[1] = camera->projectionMatrix();
        matrices[2] = glm::inverse(matrices[0]);
        matrices[3] = glm::inverse(matrices[1]);
    }
    for (int m = 0; m < 4; ++m) {
        const char* name = kFrameUniforms[i];
        if (next() && camera)
            program.uniform(name, glm::value_ptr(matrices[m]));
    }
    if (next() && camera)
        program.uniform("uNear", camera->clipPlanes().x);
    if (next() && camera)
        program.uniform("uFar", camera->clipPlanes().y);
    for (std::size_t p = 0; p < compiled.parameters.size(); ++p) {
        const float* v = effect.property(compiled.parameters[p]).value.v4;
        const std::string& name = compiled.parameters[p];
        switch (compiled.components[p]) {
        case 1:
            program.uniform(name, v[0]);
            break;
        case 2:
            program.uniform(name, v[0], v[1]);
            break;
        case 3:
            program.uniform(name, v[0], v[1], v[2]);
            break;
        default:
            program.uniform(name, v[0], v[1], v[2], v[3]);
            break;
        }
    }
}

}  // namespace

const std::vector<ShaderInput>& shaderInputs() {
    static const std::vector<ShaderInput> inputs = {
        {"uniform sampler2D uInput;", "the chain's image so far (the effect before this one)"},
        {"uniform vec2 uResolution;", "the picture's size in pixels"},
        {"uniform float uTime;", "demo time in seconds"},
        {"uniform float uTimeOn;",
         "seconds since the effect last turned on (its bypass went to 0); see below"},
        {"uniform float uDelta;", "seconds since the frame before"},
        {"uniform float uFrame;", "frames drawn since the content was loaded"},
        {"uniform float uBeat;", "beats since bar 0 of the tempo line; its fraction is the phase"},
        {"uniform float uBar;", "bars since bar 0; its fraction is the phase"},
        {"uniform float uBpm;", "the tempo in beats per minute (0 without a tempo line)"},
        {"uniform vec4 uBands;", "the music's bass, low mids, high mids and highs, 0 to 1"},
        {"uniform float uOnset;", "the music's onset strength, 0 to 1"},
        {"uniform float uLevel;", "the music's overall loudness, 0 to 1"},
        {"uniform vec4 uIntegrals;", "each band summed over the seconds so far"},
        {"uniform sampler2D uSpectrum;",
         "the log spectrum: 109 bins across (30 Hz to 15 kHz), 64 rows back in time, 5 ms each"},
        {"uniform sampler2D uGBuffer0;", "the scene's albedo and specular intensity"},
        {"uniform sampler2D uGBuffer1;", "view-space normal x, y, self-illumination, reflection"},
        {"uniform sampler2D uGBuffer2;", "view-space position and glossiness"},
        {"uniform sampler2D uGBuffer3;", "world-space position"},
        {"uniform mat4 uView;", "the camera's view matrix"},
        {"uniform mat4 uProjection;", "the camera's projection matrix"},
        {"uniform mat4 uInverseView;", "its inverse"},
        {"uniform mat4 uInverseProjection;", "its inverse"},
        {"uniform float uNear;", "the camera's near plane"},
        {"uniform float uFar;", "the camera's far plane"},
        {"uniform sampler2D uPrevious;",
         "the effect's own output of the frame before (feedback); black when it turns on"},
    };
    return inputs;
}

std::string shaderPrelude() {
    std::string prelude = "#version 330 core\n";
    for (const ShaderInput& input : shaderInputs())
        prelude += std::string(input.declaration) + "\n";
    prelude += "in vec2 v_uv;\nlayout(location = 0) out vec4 fragColor;\n";
    return prelude;
}

const char* builtInInclude(const std::string& path) {
    return path == "tarn/playground.glsl" ? kPlayground : nullptr;
}

Effect* createShaderEffect(const std::string& path) {
    ShaderSource source;
    if (!source.load(path))  // its errors are reported at their files and lines
        return nullptr;

    auto compiled = std::make_shared<Compiled>();
    const std::string prelude = shaderPrelude();
    compiled->vertex = std::make_unique<Shader>(Shader::VERTEX_SHADER,
                                                Graphics::FullscreenQuad::vertexShaderSource());
    compiled->fragment = std::make_unique<Shader>(Shader::FRAGMENT_SHADER, prelude + source.text());
    compiled->fragment->setQuiet(true);
    compiled->fragment->compile(path);
    if (!compiled->fragment->compiled()) {
        for (const std::string& line : source.mapLog(compiled->fragment->log(), lineCount(prelude)))
            reportLogLine(line);
        return nullptr;
    }
    compiled->program = std::make_unique<ShaderProgram>(path);
    compiled->program->set(compiled->vertex.get());
    compiled->program->set(compiled->fragment.get());
    compiled->program->link();
    if (!compiled->program->linked())
        return nullptr;  // the program printed its log

    auto* effect = new Effect();
    effect->setName(path);
    ShaderProgram& program = *compiled->program;
    program.bind();
    const struct {
        const char* name;
        int unit;
    } samplers[] = {{"uInput", kInput},          {"uSpectrum", kSpectrum},
                    {"uGBuffer0", kGBuffer},     {"uGBuffer1", kGBuffer + 1},
                    {"uGBuffer2", kGBuffer + 2}, {"uGBuffer3", kGBuffer + 3},
                    {"uPrevious", kPrevious}};
    for (const auto& sampler : samplers)
        if (program.hasUniform(sampler.name))
            program.uniform(sampler.name, sampler.unit);
    int unit = kFirstImage;
    for (const ShaderSource::Image& image : source.images()) {
        if (unit == kFirstImage + kMaxImages) {
            Diagnostics::problem("Shader", path + ": more than " + std::to_string(kMaxImages) +
                                               " @image samplers; \"" + image.sampler +
                                               "\" reads nothing");
            continue;
        }
        compiled->images.push_back(std::make_unique<ImageTexture>(image.path));
        if (program.hasUniform(image.sampler))
            program.uniform(image.sampler, unit);
        ++unit;
    }
    program.release();
    for (const ShaderSource::Parameter& parameter : source.parameters()) {
        const float* d = parameter.defaults;
        switch (parameter.components) {
        case 1:
            effect->setProperty(parameter.uniform, d[0]);
            break;
        case 2:
            effect->setProperty(parameter.uniform, d[0], d[1]);
            break;
        case 3:
            effect->setProperty(parameter.uniform, d[0], d[1], d[2]);
            break;
        default:
            effect->setProperty(parameter.uniform, d[0], d[1], d[2], d[3]);
            break;
        }
        compiled->parameters.push_back(parameter.uniform);
        compiled->components.push_back(parameter.components);
    }

    // Compilers drop what a shader never reads: only what it has is set,
    // so no frame asks for a uniform that is not there.
    for (const char* name : kFrameUniforms)
        compiled->present.push_back(program.hasUniform(name));
    if (program.hasUniform("uPrevious")) {
        compiled->history = std::make_unique<History>();
        effect->setHistory(Effect::Feedback);
    } else if (program.hasUniform("uTimeOn")) {
        effect->setHistory(Effect::TurnOn);
    }
    for (std::size_t i = 0; i < compiled->parameters.size();)
        if (program.hasUniform(compiled->parameters[i])) {
            ++i;
        } else {
            compiled->parameters.erase(compiled->parameters.begin() + long(i));
            compiled->components.erase(compiled->components.begin() + long(i));
        }

    effect->addPass([effect, compiled](Chain::Buffers& buffers) {
        FrameBuffer* previous =
            compiled->history ? compiled->history->read(*effect, buffers.frame, *buffers.full[0])
                              : nullptr;
        Pass pass(buffers, Pass::Full, compiled->program.get());  // in -> full[fullCnt]
        const float sinceOn = float(buffers.frame.time - effect->turnedOn());
        if (ShaderProgram* linked = pass.program())
            setUniforms(*linked, *compiled, *effect, buffers, sinceOn);
        pass.input(kInput, buffers.in);
        pass.input(kSpectrum, buffers.frame.spectrum);
        for (int g = 0; g < 4 && buffers.gBuffer; ++g)
            pass.input(kGBuffer + g, buffers.gBuffer->target(static_cast<unsigned int>(g)));
        for (std::size_t i = 0; i < compiled->images.size(); ++i)
            pass.input(kFirstImage + int(i), compiled->images[i].get());
        if (previous)
            pass.input(kPrevious, previous);
        buffers.out = pass.draw();
        if (previous)
            compiled->history->keep(*buffers.out, buffers.frame.time);
    });
    return effect;
}

}  // namespace Tarn::PostFX
