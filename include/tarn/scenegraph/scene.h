#ifndef TARN_SCENEGRAPH_SCENE_H
#define TARN_SCENEGRAPH_SCENE_H
// A named collection of entities, the keyframe automations that move them and
// the name of the camera to look through. Built once while loading, usually by
// createFromScript, and rendered by every scene clip that refers to it; lives
// until exit. It owns what its script created; entities and automations
// handed to addEntity and addAutomation stay with their callers.
//
// The scene script is LUCE, wrapped in one outer block of any other type
// (parsing stops after the outermost end):
//   begin entity NAME ... end                one entity, registered at its end
//   component material NAME | mesh NAME      from the asset library; the first
//                                            material goes ahead of the meshes
//   component camera FOCAL ASPECT NEAR FAR   makes the entity a camera
//   component light KIND R G B [RADIUS]      makes the entity a light (radius 18)
//   component light spot R G B RADIUS CONE SOFT       cone half-angle, soft edge in degrees
//   component light area R G B RADIUS HALFW HALFH [TEXTURE]   rectangle and image
//   property position X Y Z | scale X Y Z | rotation DEGREES AX AY AZ
//   property target X Y Z | up X Y Z         aims the entity (Transform::setTarget)
//   begin automation LABEL ENTITY PROPERTY ... end   over a registered entity;
//                                            position, rotation, scale, target or up
//   key VALUE INTERPOLATION TIME VALUE       inside an automation block; TIME in
//                                            seconds, or BAR:BEAT on the demo's tempo
//                                            counted from the scene's time 0

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace Tarn {
namespace Audio {
struct MusicTime;
class TempoGrid;
}
namespace Graphics {
class Camera;
class Light;
class Renderer;
}  // namespace Graphics
namespace Scenegraph {

class Automation;
class Entity;

class Scene {
public:
    enum EntityType {
        ET_LIGHT = 1,
        ET_CAMERA = 2,
        ET_TRANSPARENT = 4,
        ET_OPAQUE = 8,
        ET_PARTICLES = 16,
    };
    struct EntityEntry {
        EntityType type;
        Entity* entity;
    };

    // Builds a scene from the script at path in the archive. Faulty lines,
    // lines no keyword takes (component and property lines outside an entity,
    // key lines outside an automation), entities and automations without an
    // end, and entities under a name already used are reported with the
    // script and line number and left out; a misspelt word gets the nearest
    // valid one; a key out of time order is reported and put in its place; a
    // mesh whose library line failed is left out without a word. A script
    // that cannot be read gives an empty scene. Never returns null. With a
    // tempo, key times may be bar times (12:2.5), read without the tempo's
    // offset; without one a bar time is reported and its key skipped. The
    // tempo is read during the call only. With music, automation blocks
    // may hold follow lines (Audio::MusicTime): the music must outlive the
    // scene, and its values then follow the music at demo time.
    static Scene* createFromScript(const std::string& path,
                                   const Audio::TempoGrid* tempo = nullptr,
                                   const Audio::MusicTime* music = nullptr);

    Scene();
    // Frees what its script created, cameras and lights included: a renderer
    // that this scene gave a camera must be given another one (or null)
    // before it renders again.
    ~Scene();
    Scene(const Scene&) = delete;
    Scene& operator=(const Scene&) = delete;

    // Registers the entity under name unless the name is taken (the first
    // one stays) or the entity is null. Not owned.
    void addEntity(const std::string& name, EntityType type, Entity* entity);
    // The registered entity, or null.
    Entity* entity(const std::string& name) const;
    const std::map<std::string, EntityEntry>& entities() const { return m_entities; }
    // Appends; automations run in the order they were added. Not owned.
    void addAutomation(Automation* automation);
    const std::vector<Automation*>& automations() const { return m_automations; }
    // Stored as given; a name that matches no camera entity leaves the
    // renderer's camera as it was.
    void setActiveCamera(const std::string& name) { m_activeCamera = name; }
    const std::string& activeCamera() const { return m_activeCamera; }

    // One frame at scene-local time cTime: every automation, then the active
    // camera and the lights (in name order) placed and handed to the renderer,
    // then the opaque entities drawn in name order. dTime is not used. Does
    // nothing without a renderer.
    void render(double dTime, double cTime, Graphics::Renderer* renderer);

private:
    std::map<std::string, EntityEntry> m_entities;  // byte-wise name order is the drawing order
    std::vector<Automation*> m_automations;
    std::string m_activeCamera;

    // What createFromScript made, unregistered duplicates included.
    std::vector<std::unique_ptr<Entity>> m_ownedEntities;
    std::vector<std::unique_ptr<Automation>> m_ownedAutomations;
    std::vector<std::unique_ptr<Graphics::Camera>> m_ownedCameras;
    std::vector<std::unique_ptr<Graphics::Light>> m_ownedLights;

    friend class SceneLoader;
};

}  // namespace Scenegraph
}  // namespace Tarn

#endif
