#ifndef TARN_PLAYER_DEMOSCRIPT_H
#define TARN_PLAYER_DEMOSCRIPT_H

// Builds the demo from its script: the window title, the music, the scenes,
// the clips that place them on the timeline, and the post-processing chain
// with keyframed effect parameters. The script is LUCE:
//   windowtitle WORDS...                      words joined by single spaces
//   tempo BPM [OFFSET] [BEATS_PER_BAR]        the music's grid (offset 0, 4 beats);
//                                             before the scene lines
//   soundtrack PATH                           the music; a later line replaces it
//   scene NAME PATH                           a scene script; a repeated name replaces it
//   sceneclip SCENE START OFFSET DURATION CAMERA
//   preloader logo|animation PATH             the preloader's own image or video script
//   begin postfx                              the chain; parsing ends at its end
//     effect NAME [as ALIAS] [image PATH]     appended to the chain; an effect that
//                                             reads an image (Overlay) takes PATH
//     shader PATH [as ALIAS]                  a GLSL fragment shader from content,
//                                             appended as an effect
//     begin automation LABEL EFFECT PROPERTY  keys for an effect: its ALIAS, or its
//                                             index (0 is the first effect line)
//       key VALUE INTERPOLATION TIME V        hold, linear, cosine, spline, undefined
//     end
//   end
// After a tempo line every time may be a bar time, BAR:BEAT (36:0, 12:2.5): a
// clip's START and the key times are demo time (the tempo's offset added), a
// clip's OFFSET and DURATION and the scenes' key times count from 0. The
// tempo reaches the scenes through Scene::createFromScript, so it must come
// before them: a tempo line after a line that read times, or a second one,
// is skipped, and so is a line with a bar time and no tempo.
// A faulty line prints "[Demo] <script>:<line>: <what>; line skipped" (through
// Tarn::Diagnostics) and the rest loads: clip times that are not finite
// numbers, negative, ending before they start or past MaxDemoLength; a camera
// the scene lacks; an effect name, alias, parameter, scene or interpolation
// that matches nothing (with the nearest known name); an automation block
// inside another; keys out of time order. An effect line that made no effect
// keeps its index, so the automations after it address the effects their
// indices name. Owns everything it builds; it must outlive the playing of the
// timeline and chain it filled, and be destroyed with the GL context current.

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <tarn/audio/musicanalysis.h>
#include <tarn/audio/musictime.h>
#include <tarn/audio/spectrumtexture.h>
#include <tarn/audio/tempogrid.h>
#include <tarn/signal.h>

#include "preloader.h"

namespace Tarn {
class DecodeCache;
class LUCEParser;
class Soundtrack;
namespace Demo {
class SceneClip;
class Timeline;
}  // namespace Demo
namespace Graphics {
class Renderer;
}
namespace PostFX {
class Chain;
class Effect;
}  // namespace PostFX
namespace Scenegraph {
class Automation;
class Scene;
}  // namespace Scenegraph
}  // namespace Tarn

class DemoScript {
public:
    // The latest time a clip may end: a day of demo time. Longer times are
    // typing mistakes (1e300) that would keep the demo running for ever.
    static constexpr double MaxDemoLength = 86400.0;

    // Clips render through renderer and go on timeline; effects go on chain.
    DemoScript(Tarn::Graphics::Renderer* renderer, Tarn::Demo::Timeline* timeline,
               Tarn::PostFX::Chain* chain);
    ~DemoScript();
    DemoScript(const DemoScript&) = delete;
    DemoScript& operator=(const DemoScript&) = delete;

    // Before load: music of previous with the same path and the same bytes,
    // and shader effects whose files did not change, are shared with it
    // instead of made again, so a reload neither decodes the music twice
    // nor interrupts it; previous keeps them too and plays on while this
    // one loads. previous must outlive the load.
    void takeMusicFrom(DemoScript& previous) { m_previous = &previous; }

    // Registers the loader threads' decoder of the soundtrack lines' music
    // (decoded and analysed, as load makes it), once at start-up.
    static void registerDecoders();
    // Asks cache for the music of the script's soundtrack lines, read quietly
    // (load reports the lines' faults), so that it is decoded and analysed
    // while the library loads; a line naming the music previous plays is
    // left out, as load takes that music over. load takes the music from
    // the installed cache at its line.
    static void prefetch(const std::string& path, Tarn::DecodeCache& cache,
                         const DemoScript* previous = nullptr);

    // Reads the script at path through the archive. Emits progress with
    // progressStart + 0.1 after each scene line and 1.0 at the end. A script
    // that cannot be read prints one line and builds nothing; returns false.
    bool load(const std::string& path, Tarn::Signal<double>& progress, double progressStart);

    // The preloader lines of the script at path, read before loading shows
    // the preloader: quietly, since load reports the same lines' faults.
    // Empty paths where the script names none or cannot be read.
    static Preloader::Assets preloaderAssets(const std::string& path);
    // What load read from the preloader lines (for --check and reloads).
    const Preloader::Assets& preloader() const { return m_preloader; }

    // Writes every effect automation's keyed values at demo time now, in
    // script order.
    void runAutomations(double now);

    // Whether a windowtitle line was read, and the title it gave.
    bool hasTitle() const { return m_hasTitle; }
    const std::string& title() const { return m_title; }
    // The music of the last soundtrack line, or null.
    Tarn::Soundtrack* soundtrack() const { return m_soundtrack.get(); }
    // The music's analysis, made once with the soundtrack; null without
    // music.
    const Tarn::Audio::MusicAnalysis* analysis() const { return m_analysis.get(); }
    // The shader lines whose shader could not be made, by path.
    const std::vector<std::string>& failedShaders() const { return m_failedShaders; }
    // Its log spectrum as a texture, for effects; null without music.
    Tarn::Audio::SpectrumTexture* spectrum() const { return m_spectrum.get(); }
    // Effect automations closed by their end line, in script order.
    std::size_t automationCount() const { return m_automations.size(); }
    const std::vector<Tarn::Scenegraph::Automation*>& automations() const { return m_automations; }
    // The grid of the tempo line, or null without one.
    const Tarn::Audio::TempoGrid* tempo() const { return m_tempo ? &*m_tempo : nullptr; }

private:
    void f_registerKeywords(Tarn::LUCEParser& parser, Tarn::Signal<double>& progress);
    // False after "[Demo] <script>:<line>: <what>; line skipped" when fewer
    // than count arguments came.
    bool f_hasArguments(const std::vector<std::string>& arguments, std::size_t count,
                        const char* form) const;
    void f_skip(const std::string& what) const;
    // The effect an automation block names by alias or index, or null after
    // reporting why.
    Tarn::PostFX::Effect* f_automatedEffect(const std::string& target);

    void f_tempo(const std::vector<std::string>& arguments);
    void f_follow(const std::vector<std::string>& arguments);
    // A time word of the line (seconds or a bar time) read as reading, or
    // false after "<what> <why>; line skipped".
    bool f_time(const std::string& word, Tarn::Audio::TempoGrid::Reading reading,
                const std::string& what, double& seconds);
    void f_soundtrack(const std::vector<std::string>& arguments);
    void f_scene(const std::vector<std::string>& arguments, Tarn::Signal<double>& progress);
    void f_sceneClip(const std::vector<std::string>& arguments);
    void f_checkCamera(const Tarn::Scenegraph::Scene& scene, const std::string& sceneName,
                       const std::string& camera) const;
    void f_effect(const std::vector<std::string>& arguments);
    void f_preloader(const std::vector<std::string>& arguments);
    void f_shader(const std::vector<std::string>& arguments);
    // A shader line's effect and the files it was made from, each with a
    // hash of its bytes; taken is set while a reload's script shares it, so
    // that two lines of the same shader do not share one effect (each load
    // that shares clears it first).
    struct ShaderRecord {
        std::string path;
        std::shared_ptr<Tarn::PostFX::Effect> effect;
        std::vector<std::pair<std::string, std::size_t>> files;
        bool taken = false;
    };
    ShaderRecord* f_unusedShader(const std::string& path);
    // Shares previous's effect: both chains hold it until the swap.
    void f_share(ShaderRecord& previous, const std::string& alias);
    // Puts a made effect on the chain, under its alias when it has one.
    void f_append(std::shared_ptr<Tarn::PostFX::Effect> effect, const std::string& alias);
    void f_beginAutomation(const std::vector<std::string>& arguments);
    void f_key(const std::vector<std::string>& arguments);

    Tarn::Graphics::Renderer* m_renderer;
    Tarn::Demo::Timeline* m_timeline;
    Tarn::PostFX::Chain* m_chain;

    // Loading state, meaningful only inside load.
    std::string m_path;
    const Tarn::LUCEParser* m_parser = nullptr;
    double m_progressValue = 0.0;
    bool m_isPostFXMode = false;
    // The first line that read times (a scene, clip or key line), after which
    // a tempo line comes too late; 0 before it.
    int m_firstTimedLine = 0;
    int m_tempoLine = 0;
    bool m_inAutomation = false;
    // Line of the open automation block, and how many blocks were opened
    // inside it (reported, their keys skipped).
    int m_automationLine = 0;
    int m_nestedAutomations = 0;
    Tarn::Scenegraph::Automation* m_fxautomation = nullptr;
    // What the open automation drives, for messages: "effect "pulse"
    // parameter "Blur_factor"".
    std::string m_automationTarget;
    // Its maximum() and its value when the block opened, for reporting the
    // key and follow lines that ask for more.
    float m_automationMost = 0.0f;
    float m_automationStart = 0.0f;
    // The last key of each value of the open automation: time and line.
    std::map<std::string, std::pair<double, int>> m_lastKeys;
    std::map<std::string, Tarn::Scenegraph::Scene*> m_sceneNames;
    // One slot per effect line, null where the line made no effect, so
    // that indices keep naming the effect lines they count.
    std::vector<Tarn::PostFX::Effect*> m_effectLines;
    std::map<std::string, Tarn::PostFX::Effect*> m_effectAliases;

    DemoScript* m_previous = nullptr;
    Preloader::Assets m_preloader;
    std::vector<std::string> m_failedShaders;
    std::vector<ShaderRecord> m_shaders;
    std::optional<Tarn::Audio::TempoGrid> m_tempo;
    bool m_hasTitle = false;
    std::string m_title;
    // Shared with the content a reload replaces; the analysis also with the
    // decoded music it was made with.
    std::shared_ptr<Tarn::Soundtrack> m_soundtrack;
    std::shared_ptr<const Tarn::Audio::MusicAnalysis> m_analysis;
    std::shared_ptr<Tarn::Audio::SpectrumTexture> m_spectrum;
    // What follow lines read; runAutomations sets its time first. Its
    // address is what their terms hold, so it never moves.
    Tarn::Audio::MusicTime m_music;
    // What the music was made from: its path and a hash of its bytes.
    std::string m_musicPath;
    std::size_t m_musicHash = 0;
    std::vector<std::unique_ptr<Tarn::Scenegraph::Scene>> m_scenes;
    std::vector<std::unique_ptr<Tarn::Demo::SceneClip>> m_clips;
    std::vector<std::shared_ptr<Tarn::PostFX::Effect>> m_effects;
    std::vector<std::unique_ptr<Tarn::Scenegraph::Automation>> m_ownedAutomations;
    std::vector<Tarn::Scenegraph::Automation*> m_automations;
};

#endif
