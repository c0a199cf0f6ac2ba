#include "demoscript.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <memory>
#include <sstream>
#include <string_view>

#include <tarn/decodecache.h>
#include <tarn/demo/sceneclip.h>
#include <tarn/demo/timeline.h>
#include <tarn/diagnostics.h>
#include <tarn/file.h>
#include <tarn/loadingpace.h>
#include <tarn/luceparser.h>
#include <tarn/postfx/chain.h>
#include <tarn/postfx/effect.h>
#include <tarn/postfx/effectfactory.h>
#include <tarn/postfx/shadereffect.h>
#include <tarn/postfx/shadersource.h>
#include <tarn/scenegraph/automation.h>
#include <tarn/scenegraph/cameracomponent.h>
#include <tarn/scenegraph/entity.h>
#include <tarn/scenegraph/scene.h>
#include <tarn/soundtrack.h>
#include <tarn/vfs.h>

using Tarn::Audio::TempoGrid;
using Tarn::Scenegraph::Automation;

namespace {

const std::vector<std::string>& interpolationNames() {
    static const std::vector<std::string> names = {"hold", "linear", "cosine", "spline",
                                                   "undefined"};
    return names;
}

// False for a word that is not one of the names: it means linear.
bool interpolation(const std::string& name, Automation::InterpolationType& type) {
    static const Automation::InterpolationType types[] = {
        Automation::IT_HOLD, Automation::IT_LINEAR, Automation::IT_COSINE, Automation::IT_SPLINE,
        Automation::IT_UNDEFINED};
    const std::vector<std::string>& names = interpolationNames();
    for (std::size_t i = 0; i < names.size(); ++i)
        if (name == names[i]) {
            type = types[i];
            return true;
        }
    type = Automation::IT_LINEAR;
    return false;
}

// Seconds as a script would write them: 0.5, 2, 14.9511.
std::string formatSeconds(double seconds) {
    std::ostringstream text;
    text << seconds;
    return text.str();
}

// A key's time as written, with its seconds when it is a bar time: "0.2 s",
// "3:1 (7.5 s)".
std::string atSeconds(const std::string& word, double seconds) {
    if (!TempoGrid::isBarTime(word))
        return word + " s";
    return word + " (" + formatSeconds(seconds) + " s)";
}

// The files with a hash of each one's bytes now; 0 for one that cannot be
// read, so a file that went missing never compares equal.
std::vector<std::pair<std::string, std::size_t>>
shaderFiles(const std::vector<std::pair<std::string, std::size_t>>& files) {
    std::vector<std::pair<std::string, std::size_t>> hashed;
    Tarn::VFS* vfs = Tarn::VFS::tarnVFS;
    for (const auto& file : files) {
        std::size_t hash = 0;
        std::string text;
        if (vfs && vfs->exists(file.first) && vfs->readScript(file.first, text))
            hash = std::hash<std::string>()(text) | 1;
        hashed.emplace_back(file.first, hash);
    }
    return hashed;
}

bool isIndex(const std::string& word) {
    return !word.empty() && word.find_first_not_of("0123456789") == std::string::npos;
}

template <typename Map> std::vector<std::string> keysOf(const Map& map) {
    std::vector<std::string> keys;
    for (const auto& entry : map)
        keys.push_back(entry.first);
    return keys;
}

// The music of a soundtrack line as the demo plays it: decoded, analysed,
// and a hash of the bytes it came from (for reloads). The loader threads
// make it while the library loads; without them the line makes it.
struct PreparedMusic {
    std::shared_ptr<const Tarn::Soundtrack::Decoded> audio;
    Tarn::Audio::MusicAnalysis analysis;
    std::size_t hash = 0;
};

// A hash, not the bytes: two files of music that differ hash alike once in
// 2^64.
std::size_t hashOf(Tarn::File& file) {
    return std::hash<std::string_view>()(std::string_view(file.ptr(), file.size()));
}

// Music that did not decode is not analysed: its analysis stays empty, and
// the Soundtrack made from it reports why.
std::shared_ptr<const PreparedMusic> prepareMusic(Tarn::File& file) {
    auto music = std::make_shared<PreparedMusic>();
    music->hash = hashOf(file);
    music->audio = Tarn::Soundtrack::decode(&file);
    const Tarn::Soundtrack::Decoded& audio = *music->audio;
    if (!audio.samples.empty() && audio.channels > 0)
        music->analysis.analyse(audio.samples.data(),
                                audio.samples.size() / std::size_t(audio.channels), audio.channels,
                                audio.rate);
    return music;
}

std::shared_ptr<const void> decodeMusic(Tarn::VFS& vfs, const std::string& path) {
    const std::unique_ptr<Tarn::File> file = vfs.openCopy(path);
    if (!file)
        return nullptr;
    return prepareMusic(*file);
}

// The words from index `first` on, joined by single spaces.
std::string joined(const std::vector<std::string>& words, std::size_t first) {
    std::string text;
    for (std::size_t i = first; i < words.size(); ++i)
        text += (i > first ? " " : "") + words[i];
    return text;
}

}  // namespace

DemoScript::DemoScript(Tarn::Graphics::Renderer* renderer, Tarn::Demo::Timeline* timeline,
                       Tarn::PostFX::Chain* chain)
    : m_renderer(renderer), m_timeline(timeline), m_chain(chain) {}

// Clips go before the scenes they render, scenes before the automations of
// the effects (which do not refer to them), effects last.
DemoScript::~DemoScript() {
    m_clips.clear();
    m_scenes.clear();
    m_automations.clear();
    m_ownedAutomations.clear();
    m_effects.clear();
}

bool DemoScript::load(const std::string& path, Tarn::Signal<double>& progress,
                      double progressStart) {
    std::string text;
    if (!Tarn::VFS::tarnVFS || !Tarn::VFS::tarnVFS->readScript(path, text)) {
        Tarn::Diagnostics::problemAt("Demo", path, 0,
                                     "the demo script cannot be read; nothing to play");
        return false;
    }

    // A reload that was not swapped in left the shaders it shared marked.
    if (m_previous)
        for (ShaderRecord& record : m_previous->m_shaders)
            record.taken = false;
    Tarn::LUCEParser parser;
    m_path = path;
    m_parser = &parser;
    m_progressValue = progressStart;
    m_isPostFXMode = false;
    m_firstTimedLine = 0;
    m_tempoLine = 0;
    m_tempo.reset();
    m_music.tempo = nullptr;
    m_inAutomation = false;
    m_fxautomation = nullptr;
    m_nestedAutomations = 0;
    m_effectLines.clear();
    m_effectAliases.clear();
    f_registerKeywords(parser, progress);
    parser.setScript(path);
    parser.setIgnoredLineHandler(Tarn::LUCEParser::printIgnoredLines("Demo", path));
    parser.parse(text);
    m_parser = nullptr;
    m_sceneNames.clear();
    return true;
}

Preloader::Assets DemoScript::preloaderAssets(const std::string& path) {
    Preloader::Assets assets;
    Tarn::VFS* vfs = Tarn::VFS::tarnVFS;
    std::string text;
    if (!vfs || !vfs->exists(path) || !vfs->readScript(path, text))
        return assets;
    Tarn::LUCEParser parser;
    parser.addKeyword("preloader", [&assets](std::vector<std::string> arguments) {
        if (arguments.size() >= 2 && arguments[0] == "logo")
            assets.logo = arguments[1];
        else if (arguments.size() >= 2 && arguments[0] == "animation")
            assets.animation = arguments[1];
    });
    parser.parse(text);
    return assets;
}

void DemoScript::registerDecoders() {
    Tarn::DecodeCache::addDecoder("music", decodeMusic);
}

void DemoScript::prefetch(const std::string& path, Tarn::DecodeCache& cache,
                          const DemoScript* previous) {
    Tarn::VFS* vfs = Tarn::VFS::tarnVFS;
    if (!vfs)
        return;
    const Tarn::Diagnostics::HeldReports quiet;
    const std::unique_ptr<Tarn::File> file = vfs->openCopy(path);
    if (!file)
        return;
    Tarn::LUCEParser parser;
    parser.addKeyword("soundtrack", [&cache, previous](std::vector<std::string> arguments) {
        const bool playing = previous && previous->m_soundtrack && !arguments.empty() &&
                             previous->m_musicPath == arguments[0];
        if (!arguments.empty() && !playing)
            cache.prefetch("music", arguments[0]);
    });
    parser.parse(file->str());
}

void DemoScript::runAutomations(double now) {
    m_music.now = now;
    for (Automation* automation : m_automations)
        automation->process(now);
}

void DemoScript::f_registerKeywords(Tarn::LUCEParser& parser, Tarn::Signal<double>& progress) {
    using Arguments = std::vector<std::string>;
    parser.addKeyword("LUCE:parseEnd", [&progress](Arguments) { progress.emit(1.0); });
    parser.addKeyword("windowtitle", [this](Arguments arguments) {
        m_title = joined(arguments, 0);
        m_hasTitle = true;
    });
    parser.addKeyword("tempo", [this](Arguments arguments) { f_tempo(arguments); });
    parser.addKeyword("follow", [this](Arguments arguments) { f_follow(arguments); });
    parser.addKeyword("shader", [this](Arguments arguments) { f_shader(arguments); });
    parser.addKeyword("soundtrack", [this](Arguments arguments) { f_soundtrack(arguments); });
    parser.addKeyword("preloader", [this](Arguments arguments) { f_preloader(arguments); });
    parser.addKeyword("scene",
                      [this, &progress](Arguments arguments) { f_scene(arguments, progress); });
    parser.addKeyword("sceneclip", [this](Arguments arguments) { f_sceneClip(arguments); });
    parser.addKeyword("begin:postfx", [this](Arguments) { m_isPostFXMode = true; });
    parser.addKeyword("end:postfx", [this](Arguments) { m_isPostFXMode = false; });
    parser.addKeyword("effect", [this](Arguments arguments) { f_effect(arguments); });
    parser.addKeyword("begin:automation",
                      [this](Arguments arguments) { f_beginAutomation(arguments); });
    parser.addKeyword("end:automation", [this](Arguments) {
        if (m_nestedAutomations > 0) {
            --m_nestedAutomations;  // the outer block goes on
            return;
        }
        if (m_isPostFXMode && m_fxautomation)
            m_automations.push_back(m_fxautomation);
        m_fxautomation = nullptr;
        m_inAutomation = false;
    });
    parser.addKeyword("key", [this](Arguments arguments) { f_key(arguments); });
}

void DemoScript::f_skip(const std::string& what) const {
    Tarn::Diagnostics::problemAt("Demo", m_path, m_parser ? m_parser->lineNumber() : 0,
                                 what + "; line skipped");
}

bool DemoScript::f_hasArguments(const std::vector<std::string>& arguments, std::size_t count,
                                const char* form) const {
    if (arguments.size() >= count)
        return true;
    f_skip(std::string("\"") + form + "\" needs " + std::to_string(count) +
           (count == 1 ? " argument" : " arguments"));
    return false;
}

// Scenes read their key times on the tempo when their line is read, and a
// grid that changed half way would place the times before and after it on
// different bars: one tempo, before every line that reads times.
void DemoScript::f_tempo(const std::vector<std::string>& arguments) {
    if (m_tempoLine > 0) {
        f_skip("a second tempo line; the tempo of line " + std::to_string(m_tempoLine) +
               " is kept");
        return;
    }
    if (m_firstTimedLine > 0) {
        f_skip("the tempo line comes after line " + std::to_string(m_firstTimedLine) +
               ", which reads times without it; put it before the scene lines");
        return;
    }
    TempoGrid grid(120.0);
    std::string error;
    if (!TempoGrid::readTempo(arguments, grid, error)) {
        f_skip(error);
        return;
    }
    m_tempo = grid;
    m_music.tempo = &*m_tempo;
    m_tempoLine = m_parser->lineNumber();
}

bool DemoScript::f_time(const std::string& word, TempoGrid::Reading reading,
                        const std::string& what, double& seconds) {
    if (m_firstTimedLine == 0)
        m_firstTimedLine = m_parser->lineNumber();
    std::string error;
    if (TempoGrid::readTime(word, tempo(), reading, seconds, error))
        return true;
    f_skip(what + " " + error);
    return false;
}

// The music is decoded whole before the Soundtrack is made, so its File can
// go back to the archive at once. Music a loader thread prepared is taken
// here, with what reading it reported, so the line's reports come in the
// order a serial load gives them.
void DemoScript::f_soundtrack(const std::vector<std::string>& arguments) {
    if (!f_hasArguments(arguments, 1, "soundtrack PATH"))
        return;
    const std::string& path = arguments[0];
    Tarn::VFS* vfs = Tarn::VFS::tarnVFS;
    std::shared_ptr<const PreparedMusic> prepared;
    Tarn::File* file = nullptr;
    const bool prefetched = Tarn::DecodeCache::take("music", path, prepared);
    if (!prefetched)
        file = vfs ? vfs->open(path) : nullptr;
    if (prefetched ? !prepared : !file) {
        if (!Tarn::LoadingPace::cancelled())
            f_skip("the music \"" + path + "\" cannot be read");
        return;
    }
    const std::size_t hash = prepared ? prepared->hash : hashOf(*file);
    if (m_previous && m_previous->m_soundtrack && m_previous->m_musicPath == path &&
        m_previous->m_musicHash == hash) {
        m_soundtrack = m_previous->m_soundtrack;
        m_analysis = m_previous->m_analysis;
        m_spectrum = m_previous->m_spectrum;
    } else {
        if (!prepared)
            prepared = prepareMusic(*file);
        m_soundtrack = std::make_shared<Tarn::Soundtrack>(prepared->audio, path);
        m_analysis =
            std::shared_ptr<const Tarn::Audio::MusicAnalysis>(prepared, &prepared->analysis);
        m_spectrum = std::make_shared<Tarn::Audio::SpectrumTexture>(*m_analysis);
    }
    if (file)
        vfs->close(file);
    m_music.analysis = m_analysis.get();
    m_musicPath = path;
    m_musicHash = hash;
}

void DemoScript::f_scene(const std::vector<std::string>& arguments,
                         Tarn::Signal<double>& progress) {
    if (!f_hasArguments(arguments, 2, "scene NAME PATH"))
        return;
    if (m_firstTimedLine == 0)
        m_firstTimedLine = m_parser->lineNumber();
    m_scenes.emplace_back(
        Tarn::Scenegraph::Scene::createFromScript(arguments[1], tempo(), &m_music));
    m_sceneNames[arguments[0]] = m_scenes.back().get();
    m_progressValue += 0.1;
    progress.emit(m_progressValue);
}

void DemoScript::f_sceneClip(const std::vector<std::string>& arguments) {
    if (!f_hasArguments(arguments, 5, "sceneclip SCENE START OFFSET DURATION CAMERA"))
        return;
    const auto scene = m_sceneNames.find(arguments[0]);
    if (scene == m_sceneNames.end()) {
        f_skip("sceneclip names the scene \"" + arguments[0] +
               "\", which no earlier scene line declares" +
               Tarn::Diagnostics::suggestion(arguments[0], keysOf(m_sceneNames)));
        return;
    }
    static const char* const names[] = {"start", "offset", "duration"};
    // The start is on the demo's clock; the offset is scene time and the
    // duration a length, both counted from 0.
    static const TempoGrid::Reading readings[] = {
        TempoGrid::Reading::DemoTime, TempoGrid::Reading::SceneTime, TempoGrid::Reading::Length};
    double times[3] = {};
    for (int i = 0; i < 3; ++i) {
        const std::string& word = arguments[static_cast<std::size_t>(i) + 1];
        if (!f_time(word, readings[i], std::string("the clip's ") + names[i], times[i]))
            return;
        if (times[i] < 0.0 && i < 2) {
            f_skip(std::string("the clip's ") + names[i] + " " + word + " is negative");
            return;
        }
    }
    if (times[2] <= 0.0) {
        f_skip("the clip's duration is " + arguments[3] + ": it ends before it starts");
        return;
    }
    if (times[0] + times[2] > MaxDemoLength) {
        f_skip("the clip (start " + arguments[1] + ", duration " + arguments[3] + ") ends after " +
               std::to_string(static_cast<int>(MaxDemoLength)) + " s, the longest a demo may be");
        return;
    }
    f_checkCamera(*scene->second, arguments[0], arguments[4]);
    auto clip = std::make_unique<Tarn::Demo::SceneClip>(scene->second, arguments[4], m_renderer);
    clip->setStartTime(times[0]);
    clip->setStartOffset(times[1]);
    clip->setDuration(times[2]);
    m_timeline->addClip(clip.get());
    m_clips.push_back(std::move(clip));
}

// A clip whose camera the scene lacks renders nothing: it is kept, so the
// timeline's length stays what the script says, but said.
void DemoScript::f_checkCamera(const Tarn::Scenegraph::Scene& scene, const std::string& sceneName,
                               const std::string& camera) const {
    std::vector<std::string> cameras;
    for (const auto& [name, entry] : scene.entities())
        if (entry.entity && entry.entity->getComponent<Tarn::Scenegraph::CameraComponent>())
            cameras.push_back(name);
    for (const std::string& name : cameras)
        if (name == camera)
            return;
    Tarn::Diagnostics::problemAt(
        "Demo", m_path, m_parser ? m_parser->lineNumber() : 0,
        "scene \"" + sceneName + "\" has no camera \"" + camera + "\"; the clip shows black" +
            (cameras.empty() ? std::string("; the scene has no camera at all")
                             : Tarn::Diagnostics::suggestion(camera, cameras)));
}

void DemoScript::f_preloader(const std::vector<std::string>& arguments) {
    if (!f_hasArguments(arguments, 2, "preloader logo|animation PATH"))
        return;
    const std::string& kind = arguments[0];
    if (kind != "logo" && kind != "animation") {
        f_skip("the preloader has no \"" + kind + "\"" +
               Tarn::Diagnostics::suggestion(kind, {"logo", "animation"}));
        return;
    }
    const Tarn::VFS* vfs = Tarn::VFS::tarnVFS;
    if (!vfs || !vfs->exists(arguments[1])) {
        f_skip("the preloader's " + kind + " \"" + arguments[1] +
               "\" is neither in the archive nor a loose file");
        return;
    }
    (kind == "logo" ? m_preloader.logo : m_preloader.animation) = arguments[1];
}

void DemoScript::f_effect(const std::vector<std::string>& arguments) {
    if (!m_isPostFXMode) {
        f_skip("\"effect\" outside the postfx block");
        return;
    }
    if (!f_hasArguments(arguments, 1, "effect NAME"))
        return;
    // Effect names may contain spaces ("Motion blur"): the words up to "as"
    // or "image" are one name; the word after "as" is the alias, the word
    // after each "image" a path.
    std::size_t word = 0;
    while (word < arguments.size() && arguments[word] != "as" && arguments[word] != "image")
        ++word;
    const std::string name =
        joined(std::vector<std::string>(arguments.begin(), arguments.begin() + long(word)), 0);
    std::string alias;
    std::vector<std::string> images;
    for (; word < arguments.size(); word += 2) {
        const bool paired = word + 1 < arguments.size() && word > 0;
        if (paired && arguments[word] == "as" && alias.empty())
            alias = arguments[word + 1];
        else if (paired && arguments[word] == "image")
            images.push_back(arguments[word + 1]);
        else {
            f_skip("write the line as \"effect NAME [as ALIAS] [image PATH]\"; \"" +
                   arguments[word] + "\" is out of place");
            return;
        }
    }
    // Asked first, so that an unknown name gives one line, with a suggestion,
    // rather than the factory's line and this one.
    const std::vector<std::string> known = Tarn::PostFX::EffectFactory::names();
    const bool registered = std::find(known.begin(), known.end(), name) != known.end();
    Tarn::PostFX::Effect* effect =
        registered ? Tarn::PostFX::EffectFactory::createEffect(name) : nullptr;
    m_effectLines.push_back(effect);
    if (!effect) {
        f_skip("no effect is registered as \"" + name + "\"" +
               Tarn::Diagnostics::suggestion(name, known) + "; the automations of effect " +
               std::to_string(m_effectLines.size() - 1) +
               (alias.empty() ? std::string() : " (\"" + alias + "\")") + " are skipped too");
        if (!alias.empty())
            m_effectAliases.emplace(alias, nullptr);
        return;
    }
    for (const std::string& image : images)
        if (!effect->setImage("image", image))
            Tarn::Diagnostics::problemAt("Demo", m_path, m_parser->lineNumber(),
                                         "effect \"" + name + "\" reads no image; \"" + image +
                                             "\" is ignored");
    f_append(std::shared_ptr<Tarn::PostFX::Effect>(effect), alias);
}

// A shader's problems are reported at its own files and lines; this line
// only says that the effect was left out, as an unknown effect name does.
// On a reload, a shader whose files did not change is taken over from the
// content that plays, not compiled again; one that no longer compiles is
// taken over as it last compiled, so the picture keeps its effect while its
// author fixes it (its error is reported, and failedShaders() names it).
void DemoScript::f_shader(const std::vector<std::string>& arguments) {
    if (!m_isPostFXMode) {
        f_skip("\"shader\" outside the postfx block");
        return;
    }
    const bool aliased = arguments.size() == 3 && arguments[1] == "as";
    if (arguments.size() != 1 && !aliased) {
        f_skip("write the line as \"shader PATH [as ALIAS]\"");
        return;
    }
    const std::string& path = arguments[0];
    const std::string alias = aliased ? arguments[2] : std::string();
    ShaderRecord* previous = m_previous ? m_previous->f_unusedShader(path) : nullptr;
    if (previous && previous->files == shaderFiles(previous->files)) {
        f_share(*previous, alias);
        return;
    }
    std::shared_ptr<Tarn::PostFX::Effect> effect(Tarn::PostFX::createShaderEffect(path));
    if (!effect) {
        m_failedShaders.push_back(path);
        if (previous) {
            f_skip("the shader " + path + " was not made; the one that plays is kept");
            f_share(*previous, alias);
            return;
        }
        m_effectLines.push_back(nullptr);
        f_skip("the shader " + path + " was not made; the automations of effect " +
               std::to_string(m_effectLines.size() - 1) + " are skipped too");
        if (!alias.empty())
            m_effectAliases.emplace(alias, nullptr);
        return;
    }
    Tarn::PostFX::ShaderSource source;
    source.load(path);  // it has just compiled: only its list of files is wanted
    std::vector<std::pair<std::string, std::size_t>> files;
    for (const std::string& file : source.files())
        files.emplace_back(file, 0);
    m_shaders.push_back({path, effect, shaderFiles(files)});
    m_effectLines.push_back(effect.get());
    f_append(effect, alias);
}

DemoScript::ShaderRecord* DemoScript::f_unusedShader(const std::string& path) {
    for (ShaderRecord& record : m_shaders)
        if (record.path == path && !record.taken)
            return &record;
    return nullptr;
}

void DemoScript::f_share(ShaderRecord& previous, const std::string& alias) {
    previous.taken = true;
    m_shaders.push_back(previous);
    m_shaders.back().taken = false;
    m_effectLines.push_back(previous.effect.get());
    f_append(previous.effect, alias);
}

void DemoScript::f_append(std::shared_ptr<Tarn::PostFX::Effect> effect,
                          const std::string& alias) {
    Tarn::PostFX::Effect* added = effect.get();
    m_chain->addEffect(added);
    m_effects.push_back(std::move(effect));
    if (alias.empty())
        return;
    if (isIndex(alias))
        Tarn::Diagnostics::problemAt("Demo", m_path, m_parser->lineNumber(),
                                     "the alias \"" + alias +
                                         "\" is a number, which names an index; alias ignored");
    else if (!m_effectAliases.emplace(alias, added).second)
        Tarn::Diagnostics::problemAt("Demo", m_path, m_parser->lineNumber(),
                                     "the alias \"" + alias +
                                         "\" names an earlier effect already; alias ignored");
}

Tarn::PostFX::Effect* DemoScript::f_automatedEffect(const std::string& target) {
    if (isIndex(target)) {
        const std::size_t index = std::strtoul(target.c_str(), nullptr, 10);
        if (target.size() > 9 || index >= m_effectLines.size()) {
            f_skip("the chain has no effect at index " + target + " (it holds " +
                   std::to_string(m_chain->effectCount()) + ")");
            return nullptr;
        }
        // An effect line that made nothing said so, and that its automations
        // go with it.
        return m_effectLines[index];
    }
    const auto found = m_effectAliases.find(target);
    if (found == m_effectAliases.end()) {
        f_skip("no effect line has the alias \"" + target + "\"" +
               Tarn::Diagnostics::suggestion(target, keysOf(m_effectAliases)));
        return nullptr;
    }
    return found->second;
}

void DemoScript::f_beginAutomation(const std::vector<std::string>& arguments) {
    if (m_inAutomation) {
        // Closing the outer block here would drop the keys it still has to
        // come; the nested block is skipped whole instead.
        ++m_nestedAutomations;
        f_skip("an automation block inside the one opened on line " +
               std::to_string(m_automationLine) +
               " (close that one with \"end\" first); its "
               "keys are skipped");
        return;
    }
    m_inAutomation = true;
    m_automationLine = m_parser->lineNumber();
    m_fxautomation = nullptr;
    m_lastKeys.clear();
    if (!m_isPostFXMode) {
        f_skip("an automation block outside the postfx block");
        return;
    }
    if (!f_hasArguments(arguments, 3, "begin automation LABEL EFFECT PROPERTY"))
        return;
    Tarn::PostFX::Effect* effect = f_automatedEffect(arguments[1]);
    if (!effect)
        return;
    // Parameter names may contain spaces ("Focus distance").
    const std::string property = joined(arguments, 2);
    if (!effect->hasAutomatableProperty(property)) {
        f_skip("effect " + arguments[1] + " (" + effect->name() + ") has no parameter \"" +
               property + "\"" +
               Tarn::Diagnostics::suggestion(property, effect->automatablePropertyNames()));
        return;
    }
    m_ownedAutomations.push_back(
        std::make_unique<Automation>(effect->automatableProperty(property)));
    m_fxautomation = m_ownedAutomations.back().get();
    m_automationTarget = "effect " + arguments[1] + " parameter \"" + property + "\"";
    m_automationMost = effect->maximum(property);
    m_automationStart = effect->property(property).value.f;
}

void DemoScript::f_follow(const std::vector<std::string>& arguments) {
    if (!m_isPostFXMode || !m_inAutomation) {
        f_skip("\"follow\" outside an automation block of the postfx block");
        return;
    }
    if (!m_fxautomation || m_nestedAutomations > 0)  // the block's own line was reported
        return;
    std::string error;
    if (!m_music.follow(arguments, *m_fxautomation, error)) {
        f_skip(error);
        return;
    }
    // GAIN times a feature of 0 to 1 (an integral grows on) is added to the
    // keys so far, or to the parameter's value without keys; the effect holds
    // the sum at its most, so this only says so, once.
    double gain = 0.0;
    if (!Tarn::LUCEParser::finiteNumber(arguments[2], gain) || gain <= 0.0)
        return;
    float highest = m_automationStart;
    const auto& keys = m_fxautomation->keyframes(arguments[0]);
    for (std::size_t i = 0; i < keys.size(); ++i)
        highest = i == 0 ? keys[i].value : std::max(highest, keys[i].value);
    if (highest + gain > m_automationMost ||
        (arguments[1].find("_integral") != std::string::npos && m_automationMost < HUGE_VALF))
        Tarn::Diagnostics::problemAt("Demo", m_path, m_parser->lineNumber(),
                                     "follow " + joined(arguments, 0) + " for " +
                                         m_automationTarget + " can take it above its most, " +
                                         formatSeconds(m_automationMost) + "; " +
                                         formatSeconds(m_automationMost) + " is used above it");
}

void DemoScript::f_key(const std::vector<std::string>& arguments) {
    if (!m_isPostFXMode || !m_inAutomation) {
        f_skip("\"key\" outside an automation block of the postfx block");
        return;
    }
    // Keys of a skipped block: its own line was reported.
    if (!m_fxautomation || m_nestedAutomations > 0)
        return;
    if (!f_hasArguments(arguments, 4, "key VALUE INTERPOLATION TIME V"))
        return;
    double time = 0.0, value = 0.0;
    if (!f_time(arguments[2], TempoGrid::Reading::DemoTime, "the key's time", time))
        return;
    if (!Tarn::LUCEParser::finiteNumber(arguments[3], value)) {
        f_skip("the key's value \"" + arguments[3] + "\" is not a number");
        return;
    }
    const int line = m_parser->lineNumber();
    if (value > m_automationMost)
        Tarn::Diagnostics::problemAt("Demo", m_path, line,
                                     "key " + arguments[3] + " for " + m_automationTarget +
                                         " is above its most, " + formatSeconds(m_automationMost) +
                                         "; " + formatSeconds(m_automationMost) + " is used");
    // A key back in time is kept, in its place, as in scene scripts.
    const auto last = m_lastKeys.find(arguments[0]);
    const bool late = last != m_lastKeys.end() && time < last->second.first;
    if (late)
        Tarn::Diagnostics::problemAt("Demo", m_path, line,
                                     "key at " + atSeconds(arguments[2], time) + " for " +
                                         m_automationTarget + " value \"" + arguments[0] +
                                         "\" is earlier than the key at " +
                                         formatSeconds(last->second.first) + " s on line " +
                                         std::to_string(last->second.second) +
                                         "; keys must be in time order; it is put in its place");
    Automation::InterpolationType type;
    if (!interpolation(arguments[1], type))
        Tarn::Diagnostics::problemAt(
            "Demo", m_path, line,
            "unknown interpolation \"" + arguments[1] + "\"; linear is used" +
                Tarn::Diagnostics::suggestion(arguments[1], interpolationNames()));
    if (late) {
        m_fxautomation->insertKeyframe(arguments[0], type, time, static_cast<float>(value));
        return;
    }
    m_lastKeys[arguments[0]] = {time, line};
    m_fxautomation->addKeyframe(arguments[0], type, time, static_cast<float>(value));
}
