#include "demoscript.h"

#include <cstdlib>
#include <functional>
#include <iostream>
#include <string_view>

#include <tarn/demo/sceneclip.h>
#include <tarn/demo/timeline.h>
#include <tarn/file.h>
#include <tarn/luceparser.h>
#include <tarn/postfx/chain.h>
#include <tarn/postfx/effect.h>
#include <tarn/postfx/effectfactory.h>
#include <tarn/scenegraph/automation.h>
#include <tarn/scenegraph/scene.h>
#include <tarn/soundtrack.h>
#include <tarn/vfs.h>

using Tarn::Scenegraph::Automation;

namespace {

Automation::InterpolationType interpolation(const std::string& name) {
    if (name == "hold")
        return Automation::IT_HOLD;
    if (name == "cosine")
        return Automation::IT_COSINE;
    if (name == "spline")
        return Automation::IT_SPLINE;
    if (name == "undefined")
        return Automation::IT_UNDEFINED;
    return Automation::IT_LINEAR;  // "linear" and any word not listed
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
        std::cout << "[Demo] " << path << ": the demo script cannot be read; nothing to play"
                  << std::endl;
        return false;
    }

    Tarn::LUCEParser parser;
    m_path = path;
    m_parser = &parser;
    m_progressValue = progressStart;
    m_isPostFXMode = false;
    m_inAutomation = false;
    m_fxautomation = nullptr;
    f_registerKeywords(parser, progress);
    parser.setIgnoredLineHandler(Tarn::LUCEParser::printIgnoredLines("Demo", path));
    parser.parse(text);
    m_parser = nullptr;
    m_sceneNames.clear();
    return true;
}

void DemoScript::runAutomations(double now) {
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
    parser.addKeyword("soundtrack", [this](Arguments arguments) { f_soundtrack(arguments); });
    parser.addKeyword("scene",
                      [this, &progress](Arguments arguments) { f_scene(arguments, progress); });
    parser.addKeyword("sceneclip", [this](Arguments arguments) { f_sceneClip(arguments); });
    parser.addKeyword("begin:postfx", [this](Arguments) { m_isPostFXMode = true; });
    parser.addKeyword("end:postfx", [this](Arguments) { m_isPostFXMode = false; });
    parser.addKeyword("effect", [this](Arguments arguments) { f_effect(arguments); });
    parser.addKeyword("begin:automation",
                      [this](Arguments arguments) { f_beginAutomation(arguments); });
    parser.addKeyword("end:automation", [this](Arguments) {
        if (m_isPostFXMode && m_fxautomation)
            m_automations.push_back(m_fxautomation);
        m_fxautomation = nullptr;
        m_inAutomation = false;
    });
    parser.addKeyword("key", [this](Arguments arguments) { f_key(arguments); });
}

void DemoScript::f_skip(const std::string& what) const {
    std::cout << "[Demo] " << m_path << ":" << (m_parser ? m_parser->lineNumber() : 0) << ": "
              << what << "; line skipped" << std::endl;
}

bool DemoScript::f_hasArguments(const std::vector<std::string>& arguments, std::size_t count,
                                const char* form) const {
    if (arguments.size() >= count)
        return true;
    f_skip(std::string("\"") + form + "\" needs " + std::to_string(count) +
           (count == 1 ? " argument" : " arguments"));
    return false;
}

// The music is decoded whole when the Soundtrack is made, so its File can
// go back to the archive at once.
void DemoScript::f_soundtrack(const std::vector<std::string>& arguments) {
    if (!f_hasArguments(arguments, 1, "soundtrack PATH"))
        return;
    Tarn::File* file = Tarn::VFS::tarnVFS ? Tarn::VFS::tarnVFS->open(arguments[0]) : nullptr;
    if (!file) {
        f_skip("the music \"" + arguments[0] + "\" cannot be read");
        return;
    }
    // A hash, not the bytes: two files of music that differ hash alike once
    // in 2^64.
    const std::size_t hash =
        std::hash<std::string_view>()(std::string_view(file->ptr(), file->size()));
    if (m_previous && m_previous->m_soundtrack && m_previous->m_musicPath == arguments[0] &&
        m_previous->m_musicHash == hash)
        m_soundtrack = std::move(m_previous->m_soundtrack);
    else
        m_soundtrack = std::make_unique<Tarn::Soundtrack>(file, arguments[0]);
    Tarn::VFS::tarnVFS->close(file);
    m_musicPath = arguments[0];
    m_musicHash = hash;
}

void DemoScript::f_scene(const std::vector<std::string>& arguments,
                         Tarn::Signal<double>& progress) {
    if (!f_hasArguments(arguments, 2, "scene NAME PATH"))
        return;
    m_scenes.emplace_back(Tarn::Scenegraph::Scene::createFromScript(arguments[1]));
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
               "\", which no earlier scene line declares");
        return;
    }
    auto clip = std::make_unique<Tarn::Demo::SceneClip>(scene->second, arguments[4], m_renderer);
    clip->setStartTime(std::atof(arguments[1].c_str()));
    clip->setStartOffset(std::atof(arguments[2].c_str()));
    clip->setDuration(std::atof(arguments[3].c_str()));
    m_timeline->addClip(clip.get());
    m_clips.push_back(std::move(clip));
}

void DemoScript::f_effect(const std::vector<std::string>& arguments) {
    if (!m_isPostFXMode) {
        f_skip("\"effect\" outside the postfx block");
        return;
    }
    if (!f_hasArguments(arguments, 1, "effect NAME"))
        return;
    // Effect names may contain spaces ("Motion blur"): the words are one name.
    const std::string name = joined(arguments, 0);
    Tarn::PostFX::Effect* effect = Tarn::PostFX::EffectFactory::createEffect(name);
    if (!effect) {
        f_skip("no effect is registered as \"" + name + "\"");
        return;
    }
    m_effects.emplace_back(effect);
    m_chain->addEffect(effect);
}

void DemoScript::f_beginAutomation(const std::vector<std::string>& arguments) {
    m_inAutomation = true;
    m_fxautomation = nullptr;
    if (!m_isPostFXMode) {
        f_skip("an automation block outside the postfx block");
        return;
    }
    if (!f_hasArguments(arguments, 3, "begin automation LABEL INDEX PROPERTY"))
        return;
    const int index = std::atoi(arguments[1].c_str());
    Tarn::PostFX::Effect* effect = m_chain->effect(index);
    if (!effect) {
        f_skip("the chain has no effect at index " + arguments[1] + " (it holds " +
               std::to_string(m_chain->effectCount()) + ")");
        return;
    }
    // Parameter names may contain spaces ("Focus distance").
    const std::string property = joined(arguments, 2);
    if (!effect->hasAutomatableProperty(property)) {
        f_skip("effect " + arguments[1] + " has no parameter \"" + property + "\"");
        return;
    }
    m_ownedAutomations.push_back(
        std::make_unique<Automation>(effect->automatableProperty(property)));
    m_fxautomation = m_ownedAutomations.back().get();
}

void DemoScript::f_key(const std::vector<std::string>& arguments) {
    if (!m_isPostFXMode || !m_inAutomation) {
        f_skip("\"key\" outside an automation block of the postfx block");
        return;
    }
    if (!m_fxautomation)  // the block's own line was reported
        return;
    if (!f_hasArguments(arguments, 4, "key VALUE INTERPOLATION TIME V"))
        return;
    m_fxautomation->addKeyframe(arguments[0], interpolation(arguments[1]),
                                std::atof(arguments[2].c_str()),
                                static_cast<float>(std::atof(arguments[3].c_str())));
}
