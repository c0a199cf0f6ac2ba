#ifndef TARN_SCENEGRAPH_CAMERACOMPONENT_H
#define TARN_SCENEGRAPH_CAMERACOMPONENT_H

// Places a camera from its entity's global transform every time the entity
// is processed: the camera looks down the entity's local -Y axis with local
// -Z as up. Owned by its entity; the camera is not owned.

#include "tarn/scenegraph/component.h"

namespace Tarn {

namespace Graphics {
class Camera;
}

namespace Scenegraph {

class CameraComponent : public Component {
public:
    explicit CameraComponent(Graphics::Camera* camera) : m_camera(camera) {}

    Graphics::Camera* camera() const { return m_camera; }

    // Sets the camera's position, a target one unit ahead and the up vector
    // (not normalised), which marks its view for recomputation even when the
    // transform did not change. Does nothing without a camera or an entity.
    void apply(ShaderProgram* program, double time) override;

private:
    Graphics::Camera* m_camera;
};

}  // namespace Scenegraph
}  // namespace Tarn

#endif
