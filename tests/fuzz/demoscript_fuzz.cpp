// Loads a demo script of arbitrary text as the player loads its content,
// plays it at several times (the start, inside and at the end of its clips,
// and far past them), then loads it again over the first as a reload does
// and plays that, aborting when something that must hold for any script does
// not: the script is read and its progress ends at 1, every clip lies within
// a demo's length, a reload of the same bytes builds the same, and GL
// reports no error. The script may name the content files below (a scene,
// shaders with an include, feedback, a compile error and the playground
// include, a short piece of music) and the asset library's material "stone"
// and mesh "cube". Needs a display for its hidden GL context (scripts/fuzz
// runs it under xvfb-run where there is none). demoscript_gl_test replays
// tests/fuzz/regressions/demoscript_fuzz/ through playDemoScript in its own
// context.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <GL/glew.h>

#include <tarn/audio/musicanalysis.h>
#include <tarn/audio/spectrumtexture.h>
#include <tarn/audio/tempogrid.h>
#include <tarn/demo/clip.h>
#include <tarn/demo/timeline.h>
#include <tarn/graphics/renderer.h>
#include <tarn/postfx/chain.h>
#include <tarn/postfx/effect.h>
#include <tarn/signal.h>
#include <tarn/vfs.h>

#include "demoprogram.h"
#include "demoscript.h"
#include "fuzz/gl_fuzz.h"
#include "stockextensions.h"

namespace {

using Tarn::Fuzz::check;

// Half a second of a 110 Hz tone with a click every eighth of a second, as
// 16-bit mono WAV at 8 kHz: enough music for the analysis to have hops,
// onsets and a spectrum.
std::string musicBytes() {
    constexpr int rate = 8000, frames = rate / 2;
    constexpr double pi = 3.14159265358979323846;
    const auto word = [](std::string& out, std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            out += static_cast<char>((value >> (8 * i)) & 0xff);
    };
    std::string wav = "RIFF";
    word(wav, 36 + 2 * frames, 4);
    wav += "WAVEfmt ";
    word(wav, 16, 4);
    word(wav, 1, 2);  // PCM
    word(wav, 1, 2);  // mono
    word(wav, rate, 4);
    word(wav, 2 * rate, 4);
    word(wav, 2, 2);
    word(wav, 16, 2);
    wav += "data";
    word(wav, 2 * frames, 4);
    for (int i = 0; i < frames; ++i) {
        const double tone = 0.3 * std::sin(2.0 * pi * 110.0 * i / rate);
        const double click = i % (rate / 8) < 40 ? 0.6 : 0.0;
        word(wav, static_cast<std::uint16_t>(static_cast<std::int16_t>(32767 * (tone + click))), 2);
    }
    return wav;
}

// Writes the file where the archive reads the path, with its folders.
void writeLooseFile(const std::string& path, const std::string& bytes) {
    const std::filesystem::path file = Tarn::VFS::tarnVFS->loosePath(path);
    std::filesystem::create_directories(file.parent_path());
    check(Tarn::Fuzz::writeFile(file.string(), bytes));
}

// The content files a script may name, written under the archive's loose
// root.
void writeContent() {
    const std::pair<const char*, std::string> files[] = {
        {"scenes/s.tarn", "begin world\nbegin entity box\ncomponent material stone\n"
                          "component mesh cube\nend\nbegin entity cam\n"
                          "component camera 35 1 0.1 100\nproperty position 0 0 5\nend\n"
                          "begin entity sun\ncomponent light directional 1 0.9 0.8\nend\n"
                          "begin automation spin box position\nkey x linear 0 0\n"
                          "key x cosine 2 1\nfollow y beat 0.5\nend\nend\n"},
        {"shaders/colour.glsl", "vec3 warm(vec3 c) { return c * vec3(1.1, 0.95, 0.8); }\n"},
        {"shaders/tint.frag",
         "#include \"shaders/colour.glsl\"\n"
         "uniform float uWarmth; // @param 0..1 = 0.5\n"
         "uniform vec3 uTint; // @param 0..2 = 1 1 1\n"
         "void main() {\n    vec4 picture = texture(uInput, v_uv);\n"
         "    fragColor = vec4(mix(picture.rgb, warm(picture.rgb) * uTint, uWarmth), 1.0)"
         " + 0.01 * uBands.x + 0.001 * texture(uSpectrum, v_uv).r;\n}\n"},
        {"shaders/trail.frag", "uniform float uDecay; // @param 0..1 = 0.9\n"
                               "void main() {\n    fragColor = max(texture(uInput, v_uv), "
                               "texture(uPrevious, v_uv) * uDecay);\n}\n"},
        {"shaders/play.frag",
         "#include \"tarn/playground.glsl\"\n"
         "void mainImage(out vec4 c, in vec2 p) {\n"
         "    c = vec4(p / iResolution.xy, 0.5 + 0.5 * sin(iTime), 1.0);\n}\n"},
        {"shaders/broken.frag", "void main() {\n    fragColor = undeclared;\n}\n"},
        {"music/beat.wav", musicBytes()},
    };
    for (const auto& [path, bytes] : files)
        writeLooseFile(path, bytes);
}

// A script loaded as the player loads its content, onto a timeline and a
// chain of its own; destroyed script first, then chain and timeline, as the
// player does.
struct LoadedDemo {
    Tarn::Demo::Timeline timeline;
    Tarn::PostFX::Chain chain;
    std::unique_ptr<DemoScript> script;

    LoadedDemo(Tarn::Graphics::Renderer& renderer, DemoScript* previous)
        : chain(16, 16, &renderer),
          script(std::make_unique<DemoScript>(&renderer, &timeline, &chain)) {
        if (previous)
            script->takeMusicFrom(*previous);
        Tarn::Signal<double> progress;
        double last = 0.0;
        progress.connect([&last](double value) { last = value; });
        check(script->load(DemoProgram::DemoScriptPath, progress, 0.4) && last == 1.0);
        for (std::size_t i = 0; i < chain.effectCount(); ++i)
            check(chain.effect(static_cast<int>(i)) != nullptr);
        check(script->automationCount() == script->automations().size());
        for (const auto* automation : script->automations())
            check(automation != nullptr);
        for (const Tarn::Demo::Clip* clip : timeline.clips())
            check(clip->startTime() >= 0.0 && clip->startOffset() >= 0.0 &&
                  clip->duration() > 0.0 &&
                  clip->startTime() + clip->duration() <= DemoScript::MaxDemoLength);
        if (const Tarn::Audio::TempoGrid* tempo = script->tempo())
            check(std::isfinite(tempo->bpm()) && tempo->bpm() > 0.0);
    }

    // What the player hands the effects for a frame at now.
    Tarn::PostFX::FrameInfo frameInfo(double now, std::int64_t frame, bool restart) const {
        Tarn::PostFX::FrameInfo info;
        info.time = now;
        info.delta = 1.0 / 60.0;
        info.frame = frame;
        info.restart = restart;
        if (const Tarn::Audio::TempoGrid* tempo = script->tempo()) {
            info.beat = tempo->beat(now);
            info.bar = tempo->bar(now);
            info.bpm = static_cast<float>(tempo->bpm());
        }
        const Tarn::Audio::MusicAnalysis* music = script->analysis();
        if (!music || music->hopCount() == 0)
            return info;
        using Tarn::Audio::Feature;
        const Feature bands[] = {Feature::Bass, Feature::LowMids, Feature::HighMids,
                                 Feature::Highs};
        info.music = music;
        for (int i = 0; i < 4; ++i)
            info.bands[i] = music->value(bands[i], now);
        info.onset = music->value(Feature::Onset, now);
        if (Tarn::Audio::SpectrumTexture* spectrum = script->spectrum()) {
            spectrum->update(now);
            info.spectrum = spectrum;
        }
        return info;
    }

    // Two frames from each time, the first after a seek: automations, the
    // clips, then the chain over the renderer's picture.
    void play(Tarn::Graphics::Renderer& renderer) {
        const double end = timeline.duration();
        std::int64_t frame = 0;
        for (double start : {0.0, 0.5, 3.0, end / 2.0, end - 1.0 / 60.0, 1e9}) {
            if (start < 0.0)
                continue;
            for (int i = 0; i < 2; ++i) {
                const double now = start + i / 60.0;
                script->runAutomations(now);
                timeline.doFrame(now, 1.0 / 60.0);
                if (i == 0)
                    for (std::size_t e = 0; e < chain.effectCount(); ++e)
                        chain.effect(static_cast<int>(e))->seedTurnOn(std::max(0.0, now - 0.25));
                chain.setFrameInfo(frameInfo(now, frame++, i == 0));
                chain.applyAndDraw(renderer.renderOutput(), nullptr);
            }
        }
        check(glGetError() == GL_NO_ERROR);
        // The renderer's camera belongs to a scene about to go.
        renderer.setCamera(nullptr);
    }
};

// Needs a current GL context, an archive (VFS::tarnVFS) whose loose root
// holds writeContent's files, the stock effects and a live FuzzAssets.
// Writes the script where the player reads it.
void playDemoScript(const std::string& text, Tarn::Graphics::Renderer& renderer) {
    writeLooseFile(DemoProgram::DemoScriptPath, text);
    auto first = std::make_unique<LoadedDemo>(renderer, nullptr);
    first->play(renderer);
    const bool music = first->script->soundtrack() != nullptr;
    LoadedDemo reloaded(renderer, first->script.get());
    const DemoScript& a = *first->script;
    const DemoScript& b = *reloaded.script;
    check(reloaded.chain.effectCount() == first->chain.effectCount() &&
          b.automationCount() == a.automationCount() &&
          reloaded.timeline.clips().size() == first->timeline.clips().size() &&
          reloaded.timeline.duration() == first->timeline.duration() &&
          b.hasTitle() == a.hasTitle() && b.title() == a.title() &&
          b.failedShaders() == a.failedShaders() && (b.soundtrack() != nullptr) == music);
    first.reset();
    reloaded.play(renderer);
}

}  // namespace

#ifndef TARN_DEMOSCRIPT_FUZZ_NO_MAIN
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Made once for the whole run and left to the process's exit.
    static Tarn::Graphics::Renderer* renderer = [] {
        // No audio device, and Mesa's rasterizer on this thread: its worker
        // threads cost more in wake-ups than a 16x16 picture saves.
        setenv("ALSOFT_DRIVERS", "null", 1);
        setenv("LP_NUM_THREADS", "0", 0);
        Tarn::Fuzz::startGL("demoscript_fuzz");
        Tarn::VFS::tarnVFS->setLooseRoot(Tarn::Fuzz::scriptPath("demoscript_fuzz"));
        writeContent();
        registerStockExtensions();
        new Tarn::Fuzz::FuzzAssets();
        return new Tarn::Graphics::Renderer(16, 16);
    }();
    playDemoScript(std::string(reinterpret_cast<const char*>(data), size), *renderer);
    return 0;
}
#endif
