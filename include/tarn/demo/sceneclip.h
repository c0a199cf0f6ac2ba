#ifndef TARN_DEMO_SCENECLIP_H
#define TARN_DEMO_SCENECLIP_H
// A clip that renders one scene through one of its cameras into the shared
// deferred renderer. Created while the demo script loads and kept until exit;
// the scene and the renderer are not owned.

#include <string>

#include "tarn/demo/clip.h"

namespace Tarn {
namespace Graphics {
class Renderer;
}
namespace Scenegraph {
class Scene;
}
namespace Demo {

class SceneClip : public Clip {
public:
    // A null scene (one the demo script never loaded) makes a clip that
    // renders nothing.
    SceneClip(Scenegraph::Scene* scene, const std::string& camera, Graphics::Renderer* renderer);

    Scenegraph::Scene* scene() const { return m_scene; }
    const std::string& activeCamera() const { return m_activeCamera; }

    // Sets the scene's camera to this clip's (clips may share a scene) and
    // renders it at the clip's local time.
    void onFrame(double delta, double now) override;

private:
    Scenegraph::Scene* m_scene;
    Graphics::Renderer* m_renderer;
    std::string m_activeCamera;
};

}  // namespace Demo
}  // namespace Tarn

#endif
