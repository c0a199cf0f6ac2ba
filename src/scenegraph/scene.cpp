#include "tarn/scenegraph/scene.h"

#include <cmath>
#include <cstdlib>
#include <map>
#include <sstream>

#include <glm/gtc/type_ptr.hpp>

#include "tarn/assetlibrary.h"
#include "tarn/audio/musictime.h"
#include "tarn/audio/tempogrid.h"
#include "tarn/diagnostics.h"
#include "tarn/graphics/camera.h"
#include "tarn/graphics/light.h"
#include "tarn/graphics/material.h"
#include "tarn/graphics/mesh.h"
#include "tarn/graphics/renderer.h"
#include "tarn/luceparser.h"
#include "tarn/scenegraph/automation.h"
#include "tarn/scenegraph/cameracomponent.h"
#include "tarn/scenegraph/entity.h"
#include "tarn/scenegraph/lightcomponent.h"
#include "tarn/scenegraph/materialcomponent.h"
#include "tarn/scenegraph/meshcomponent.h"
#include "tarn/shaderprogram.h"
#include "tarn/vfs.h"

namespace Tarn::Scenegraph {

namespace {

using Args = std::vector<std::string>;

float number(const std::string& text) {
    return static_cast<float>(std::atof(text.c_str()));
}

// The words of each list the loader knows, for the nearest one offered when
// a script misspells a word.
const std::vector<std::string> kComponents = {"material", "mesh", "camera", "light"};
const std::vector<std::string> kProperties = {"position", "rotation", "scale", "target", "up"};

const std::map<std::string, Graphics::Light::LightType> kLightKinds = {
    {"ambient", Graphics::Light::LT_AMBIENT}, {"directional", Graphics::Light::LT_DIRECTIONAL},
    {"point", Graphics::Light::LT_POINT},     {"spot", Graphics::Light::LT_SPOT},
    {"area", Graphics::Light::LT_AREA},
};

const std::map<std::string, Automation::InterpolationType> kInterpolations = {
    {"hold", Automation::IT_HOLD},           {"linear", Automation::IT_LINEAR},
    {"cosine", Automation::IT_COSINE},       {"spline", Automation::IT_SPLINE},
    {"undefined", Automation::IT_UNDEFINED},
};

template <typename T> std::vector<std::string> keysOf(const std::map<std::string, T>& map) {
    std::vector<std::string> out;
    for (const auto& entry : map)
        out.push_back(entry.first);
    return out;
}

// Seconds as a maker wrote them: "2", "2.5".
std::string seconds(double time) {
    std::ostringstream text;
    text << time;
    return text.str();
}

// The axis is used as written: a non-unit axis gives a non-unit quaternion.
glm::quat rotationFromDegrees(float degrees, const glm::vec3& axis) {
    const float half = glm::radians(degrees) * 0.5f;
    const glm::vec3 v = std::sin(half) * axis;
    return glm::quat(std::cos(half), v.x, v.y, v.z);
}

}  // namespace

// The state of one createFromScript call, with one operation per keyword.
class SceneLoader {
public:
    SceneLoader(Scene& scene, const std::string& path, const Audio::TempoGrid* tempo,
                const Audio::MusicTime* music)
        : m_scene(scene), m_path(path), m_tempo(tempo), m_music(music) {}

    void parse(const std::string& text) {
        // Reports made deeper down (the archive, an automation) are placed
        // at the line being read.
        m_parser.setScript(m_path);
        m_parser.setIgnoredLineHandler(LUCEParser::printIgnoredLines("Scene", m_path));
        m_parser.addKeyword("begin:entity", [this](Args a) { f_beginEntity(a); });
        m_parser.addKeyword("end:entity", [this](Args) { f_endEntity(); });
        m_parser.addKeyword("component", [this](Args a) { f_component(a); });
        m_parser.addKeyword("property", [this](Args a) { f_property(a); });
        m_parser.addKeyword("begin:automation", [this](Args a) { f_beginAutomation(a); });
        m_parser.addKeyword("end:automation", [this](Args) { f_endAutomation(); });
        m_parser.addKeyword("key", [this](Args a) { f_key(a); });
        m_parser.addKeyword("follow", [this](Args a) { f_follow(a); });
        m_parser.addKeyword("LUCE:parseEnd", [this](Args) {
            f_leaveUnclosedEntity("");
            f_leaveUnclosedAutomation();
        });
        m_parser.parse(text);
    }

private:
    // Reports the line's problem with the script and line number; returns
    // false so callers can skip the line in one statement.
    bool f_report(const std::string& what) { return f_reportAt(m_parser.lineNumber(), what); }
    bool f_reportAt(int line, const std::string& what) {
        Diagnostics::problemAt("Scene", m_path, line, what);
        return false;
    }
    bool f_needs(const Args& a, std::size_t count, const std::string& line) {
        if (a.size() >= count)
            return true;
        return f_report(line + " needs " + std::to_string(count) + " arguments; line skipped");
    }
    // The words from `from` up to `to` (or the line's end) are whole finite
    // numbers; otherwise the line is reported and skipped.
    bool f_numbers(const Args& a, std::size_t from, std::size_t to = std::string::npos) {
        for (std::size_t i = from; i < std::min(to, a.size()); ++i) {
            double value = 0.0;
            if (!LUCEParser::finiteNumber(a[i], value))
                return f_report("\"" + a[i] + "\" is not a number; line skipped");
        }
        return true;
    }

    // An entity still open when another begins, or when the script ends,
    // never reaches its end line: it is left out, and says so
    // (SceneScriptTest.FaultyLinesAreReportedAndSkipped).
    void f_leaveUnclosedEntity(const std::string& before) {
        if (!m_entity)
            return;
        f_reportAt(m_entityLine,
                   "entity \"" + m_name + "\" has no end" + before + "; it is left out");
        m_entity = nullptr;
    }

    void f_leaveUnclosedAutomation() {
        if (m_automationOpen && m_automation)
            f_reportAt(m_automationLine, "automation has no end; it is left out");
        m_automation = nullptr;
    }

    void f_beginEntity(const Args& a) {
        f_leaveUnclosedEntity(a.empty() ? "" : " before entity \"" + a[0] + "\" begins");
        m_name.clear();
        if (!f_needs(a, 1, "begin entity"))
            return;
        m_scene.m_ownedEntities.push_back(std::make_unique<Entity>());
        m_entity = m_scene.m_ownedEntities.back().get();
        m_name = a[0];
        m_entityLine = m_parser.lineNumber();
    }

    void f_endEntity() {
        if (m_entity && m_scene.entity(m_name))
            f_reportAt(m_entityLine,
                       "entity \"" + m_name + "\" is already defined; this one is left out");
        else if (m_entity)
            m_scene.addEntity(m_name, m_type, m_entity);
        m_entity = nullptr;
        m_name.clear();
        m_type = Scene::ET_OPAQUE;
    }

    void f_component(const Args& a) {
        // Outside an entity nothing would own the component.
        if (!m_entity)
            return m_parser.ignoreLine("component outside an entity block");
        if (!f_needs(a, 1, "component"))
            return;
        const std::string& kind = a[0];
        Component* component = nullptr;
        if (kind == "material" || kind == "mesh") {
            if (!f_needs(a, 2, "component " + kind))
                return;
            component = f_assetComponent(kind, a[1]);
        } else if (kind == "camera") {
            if (!f_needs(a, 5, "component camera"))
                return;
            if (!f_numbers(a, 1, 5))
                return;
            component = f_camera(a);
        } else if (kind == "light") {
            if (!f_needs(a, 5, "component light") || !f_numbers(a, 2, 8))
                return;
            component = f_light(a);
        } else {
            f_report("unknown component \"" + kind + "\"" +
                     Diagnostics::suggestion(kind, kComponents));
        }
        if (!component)
            return;
        if (kind == "material" && !m_entity->getComponent<MaterialComponent>())
            m_entity->insertComponent(f_firstMeshIndex(), component);
        else
            m_entity->addComponent(component);
    }

    // A mesh draws with the material applied before it, so a mesh line above
    // every material line would draw unlit. The entity's first material is
    // therefore placed ahead of its meshes, wherever its line stands; later
    // materials stay where they are and serve the meshes after them
    // (SceneScriptTest.FirstMaterialGoesAheadOfTheMeshes).
    std::size_t f_firstMeshIndex() const {
        const std::vector<Component*>& components = m_entity->components();
        for (std::size_t i = 0; i < components.size(); ++i)
            if (dynamic_cast<MeshComponent*>(components[i]))
                return i;
        return components.size();
    }

    Component* f_assetComponent(const std::string& kind, const std::string& name) {
        AssetLibrary* library = AssetLibrary::instance();
        if (kind == "material") {
            if (Graphics::Material* material = library->material(name))
                return new MaterialComponent(material);
            f_report("unknown material \"" + name + "\"" +
                     Diagnostics::suggestion(name, library->materialNames()));
            return nullptr;
        }
        if (Graphics::Mesh* mesh = library->mesh(name))
            return new MeshComponent(mesh);
        // Its library line already said why; once is enough.
        if (!library->meshFailed(name))
            f_report("unknown mesh \"" + name + "\"" +
                     Diagnostics::suggestion(name, library->meshNames()));
        return nullptr;
    }

    // A projection needs a lens, a picture shape and a depth range: zeros
    // would make a matrix of infinities and NaN and blacken the frame.
    Component* f_camera(const Args& a) {
        if (!(number(a[1]) > 0.0f && number(a[2]) > 0.0f && number(a[3]) > 0.0f &&
              number(a[4]) > number(a[3]))) {
            f_report("component camera needs a focal length and an aspect ratio above 0 and "
                     "clip planes 0 < near < far; line skipped");
            return nullptr;
        }
        Diagnostics::note("Scene", "Creating new camera");
        m_type = Scene::ET_CAMERA;
        auto camera = std::make_unique<Graphics::Camera>();
        camera->setFocalLength(number(a[1]));
        camera->setAspectRatio(number(a[2]));
        camera->setClipPlanes(glm::vec2(number(a[3]), number(a[4])));
        m_scene.m_ownedCameras.push_back(std::move(camera));
        return new CameraComponent(m_scene.m_ownedCameras.back().get());
    }

    // A light line may go on with the light's shape; without it every
    // scripted light has radius 18 and a 2-radian cone with a 0.15 soft edge,
    // and an area light a 1 x 1 rectangle emitting white.
    Component* f_light(const Args& a) {
        Diagnostics::note("Scene", "Creating new " + a[1] + " light");
        m_type = Scene::ET_LIGHT;
        const Graphics::Light::LightType type = f_lightType(a[1]);
        auto light = std::make_unique<Graphics::Light>(type);
        light->setColor(glm::vec3(number(a[2]), number(a[3]), number(a[4])));
        light->setRadius(a.size() > 5 ? number(a[5]) : 18.0f);
        light->setCutoffAngle(2.0f);
        light->setCutoffSmoothness(0.15f);
        if (type == Graphics::Light::LT_SPOT && f_optional(a, 6, 8, "component light spot"))
            f_spotCone(*light, a);
        if (type == Graphics::Light::LT_AREA)
            f_areaShape(*light, a);
        m_scene.m_ownedLights.push_back(std::move(light));
        return new LightComponent(m_scene.m_ownedLights.back().get());
    }

    Graphics::Light::LightType f_lightType(const std::string& kind) {
        const auto found = kLightKinds.find(kind);
        if (found != kLightKinds.end())
            return found->second;
        f_report("unknown light kind \"" + kind + "\"; a point light is made instead" +
                 Diagnostics::suggestion(kind, keysOf(kLightKinds)));
        return Graphics::Light::LT_POINT;
    }

    void f_spotCone(Graphics::Light& light, const Args& a) {
        light.setCutoffAngle(glm::radians(number(a[6])));
        light.setCutoffSmoothness(glm::radians(number(a[7])));
    }

    void f_areaShape(Graphics::Light& light, const Args& a) {
        light.setSize(glm::vec2(1.0f));
        if (!f_optional(a, 6, 8, "component light area"))
            return;
        light.setSize(glm::vec2(number(a[6]), number(a[7])));
        if (a.size() < 9)
            return;
        if (Texture* texture = AssetLibrary::instance()->texture(a[8]))
            light.setAreaTexture(texture);
        else
            f_report("unknown texture \"" + a[8] + "\"; the area light emits white" +
                     Diagnostics::suggestion(a[8], AssetLibrary::instance()->textureNames()));
    }

    // Optional arguments come as a group from index `from` up to `to`: none,
    // or all of them (a partial group is reported and ignored).
    bool f_optional(const Args& a, std::size_t from, std::size_t to, const std::string& line) {
        if (a.size() <= from)
            return false;
        if (a.size() >= to)
            return true;
        f_report(line + " takes " + std::to_string(to - from) +
                 " shape arguments after the radius; shape ignored");
        return false;
    }

    void f_property(const Args& a) {
        if (!m_entity)
            return m_parser.ignoreLine("property outside an entity block");
        if (!f_needs(a, 1, "property"))
            return;
        if (!f_numbers(a, 1))
            return;
        Transform* transform = m_entity->transform();
        const std::string& name = a[0];
        if (name == "position") {
            if (f_needs(a, 4, "property position"))
                transform->setTranslation(glm::vec3(number(a[1]), number(a[2]), number(a[3])));
        } else if (name == "scale") {
            if (f_needs(a, 4, "property scale"))
                transform->setScale(glm::vec3(number(a[1]), number(a[2]), number(a[3])));
        } else if (name == "rotation") {
            if (f_needs(a, 5, "property rotation"))
                transform->setRotation(rotationFromDegrees(
                    number(a[1]), glm::vec3(number(a[2]), number(a[3]), number(a[4]))));
        } else if (name == "target") {
            if (f_needs(a, 4, "property target"))
                transform->setTarget(f_vector(a));
        } else if (name == "up") {
            if (f_needs(a, 4, "property up"))
                transform->setUp(f_vector(a));
        } else {
            // The suggestion reads best last, after what was done.
            f_report("unknown property \"" + name + "\"; line ignored" +
                     Diagnostics::suggestion(name, kProperties));
        }
    }

    static glm::vec3 f_vector(const Args& a) {
        return glm::vec3(number(a[1]), number(a[2]), number(a[3]));
    }

    // An automation block inside another is a slip (a missing end): the
    // outer one keeps its keys, and the inner one, its keys included, is
    // skipped up to its own end (SceneScriptTest.NestedAutomationIsSkipped).
    void f_beginAutomation(const Args& a) {
        if (m_automationOpen) {
            ++m_nestedAutomations;
            if (m_nestedAutomations == 1)
                f_report("automation begins inside the automation opened on line " +
                         std::to_string(m_automationLine) + "; it and its keys are skipped");
            return;
        }
        m_automationOpen = true;
        m_automationLine = m_parser.lineNumber();
        m_latestKeys.clear();
        if (!f_needs(a, 3, "begin automation"))
            return;
        Entity* entity = m_scene.entity(a[1]);
        if (!entity) {
            f_report("automation names unknown entity \"" + a[1] + "\"" +
                     Diagnostics::suggestion(a[1], keysOf(m_scene.entities())));
            return;
        }
        Property* property = f_automatable(*entity->transform(), a[2]);
        if (!property) {
            f_report("automation names unknown property \"" + a[2] + "\"" +
                     Diagnostics::suggestion(a[2], kProperties));
            return;
        }
        m_automationName = "\"" + a[1] + "\" " + a[2];
        m_scene.m_ownedAutomations.push_back(std::make_unique<Automation>(*property));
        m_automation = m_scene.m_ownedAutomations.back().get();
    }

    static Property* f_automatable(Transform& transform, const std::string& name) {
        if (name == "position")
            return &transform.translation;
        if (name == "rotation")
            return &transform.rotation;
        if (name == "scale")
            return &transform.scale;
        if (name == "target") {
            // Keys write the target through its values, which turns nothing on.
            transform.setAiming(true);
            return &transform.target;
        }
        if (name == "up")
            return &transform.up;
        return nullptr;
    }

    void f_endAutomation() {
        if (m_nestedAutomations > 0) {
            --m_nestedAutomations;
            return;
        }
        if (m_automation)
            m_scene.addAutomation(m_automation);
        m_automation = nullptr;
        m_automationOpen = false;
    }

    void f_follow(const Args& a) {
        if (!m_automationOpen)
            return m_parser.ignoreLine("follow outside an automation block");
        if (!m_automation || m_nestedAutomations > 0)
            return;
        const Audio::MusicTime silent;
        std::string error;
        if (!(m_music ? *m_music : silent).follow(a, *m_automation, error))
            f_report(error + "; line skipped");
    }

    void f_key(const Args& a) {
        if (m_nestedAutomations > 0)
            return;
        if (!m_automationOpen)
            return m_parser.ignoreLine("key outside an automation block");
        if (!m_automation)
            return m_parser.ignoreLine("key of an automation that was not made");
        if (!f_needs(a, 4, "key") || !f_numbers(a, 3, 4))
            return;
        const std::string& value = a[0];
        double time = 0.0;
        if (!f_keyTime(a[2], time))
            return;
        const Automation::InterpolationType type = f_interpolation(a[1]);
        // A key out of time order is put in its place; the lists stay sorted.
        const double latest = m_automation->lastKeyTime(value);
        if (time < latest) {
            f_report("key at " + seconds(time) + " s for " + m_automationName + " " + value +
                     " is earlier than the key at " + seconds(latest) + " s on line " +
                     std::to_string(m_latestKeys[value]) +
                     "; keys must be in time order; it is put in its place");
            m_automation->insertKeyframe(value, type, time, number(a[3]));
            return;
        }
        const std::size_t before = m_automation->keyframes(value).size();
        m_automation->addKeyframe(value, type, time, number(a[3]));
        if (m_automation->keyframes(value).size() > before)
            m_latestKeys[value] = m_parser.lineNumber();
    }

    // Seconds, or a bar time counted from the scene's time 0.
    bool f_keyTime(const std::string& word, double& time) {
        if (!Audio::TempoGrid::isBarTime(word)) {
            if (LUCEParser::finiteNumber(word, time))
                return true;
            return f_report("the key's time \"" + word + "\" is not a number; line skipped");
        }
        std::string error;
        if (Audio::TempoGrid::readTime(word, m_tempo, Audio::TempoGrid::Reading::SceneTime, time,
                                       error))
            return true;
        return f_report("the key's time: " + error +
                        (m_tempo ? "" : " (in the demo script, before the scene lines)") +
                        "; line skipped");
    }

    Automation::InterpolationType f_interpolation(const std::string& word) {
        const auto found = kInterpolations.find(word);
        if (found != kInterpolations.end())
            return found->second;
        f_report("unknown interpolation \"" + word + "\"; linear is used" +
                 Diagnostics::suggestion(word, keysOf(kInterpolations)));
        return Automation::IT_LINEAR;
    }

    Scene& m_scene;
    const std::string& m_path;
    const Audio::TempoGrid* m_tempo;
    const Audio::MusicTime* m_music;
    LUCEParser m_parser;
    Entity* m_entity = nullptr;
    std::string m_name;
    int m_entityLine = 0;  // of its begin line
    Scene::EntityType m_type = Scene::ET_OPAQUE;
    bool m_automationOpen = false;
    int m_automationLine = 0;
    int m_nestedAutomations = 0;  // open automation blocks inside the open one
    Automation* m_automation = nullptr;
    std::string m_automationName;             // "\"cam\" position", for messages
    std::map<std::string, int> m_latestKeys;  // value name to the line of its latest key
};

Scene* Scene::createFromScript(const std::string& path, const Audio::TempoGrid* tempo,
                               const Audio::MusicTime* music) {
    Diagnostics::note("Scene", "Creating scene from script: " + path);
    Scene* scene = new Scene();
    VFS* vfs = VFS::tarnVFS;
    std::string text;
    if (!vfs || !vfs->readScript(path, text)) {
        Diagnostics::problemAt("Scene", path, 0, "script cannot be read; the scene is empty");
        return scene;
    }
    SceneLoader(*scene, path, tempo, music).parse(text);
    return scene;
}

Scene::Scene() = default;

Scene::~Scene() = default;

void Scene::addEntity(const std::string& name, EntityType type, Entity* entity) {
    if (entity)
        m_entities.emplace(name, EntityEntry{type, entity});
}

Entity* Scene::entity(const std::string& name) const {
    const auto it = m_entities.find(name);
    return it == m_entities.end() ? nullptr : it->second.entity;
}

void Scene::addAutomation(Automation* automation) {
    if (automation)
        m_automations.push_back(automation);
}

void Scene::render(double, double cTime, Graphics::Renderer* renderer) {
    if (!renderer)
        return;
    for (Automation* automation : m_automations)
        automation->process(cTime);

    for (const auto& [name, entry] : m_entities) {
        if (entry.type == ET_CAMERA && name == m_activeCamera) {
            entry.entity->process(nullptr, 0.0);
            if (auto* component = entry.entity->getComponent<CameraComponent>())
                renderer->setCamera(component->camera());
        } else if (entry.type == ET_LIGHT) {
            entry.entity->process(nullptr, 0.0);
            if (auto* component = entry.entity->getComponent<LightComponent>())
                renderer->pushLight(component->light());
        }
    }

    renderer->renderDeferred([this, cTime](ShaderProgram* program) {
        for (const auto& [name, entry] : m_entities) {
            if (entry.type != ET_OPAQUE)
                continue;
            if (program) {
                const glm::mat4 model = entry.entity->transform()->globalTransform();
                program->uniform("model", glm::value_ptr(model));
            }
            entry.entity->process(program, cTime);
        }
    });
}

}  // namespace Tarn::Scenegraph
