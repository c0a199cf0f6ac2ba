#include "tarn/demo/sceneclip.h"

#include "tarn/scenegraph/scene.h"

namespace Tarn::Demo {

SceneClip::SceneClip(Scenegraph::Scene* scene, const std::string& camera,
                     Graphics::Renderer* renderer)
    : m_scene(scene), m_renderer(renderer), m_activeCamera(camera) {}

void SceneClip::onFrame(double delta, double now) {
    if (!m_scene)
        return;
    m_scene->setActiveCamera(m_activeCamera);
    m_scene->render(delta, localTime(now), m_renderer);
}

}  // namespace Tarn::Demo
