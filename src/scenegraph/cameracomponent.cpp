#include "tarn/scenegraph/cameracomponent.h"

#include <glm/glm.hpp>

#include "tarn/graphics/camera.h"
#include "tarn/scenegraph/entity.h"

namespace Tarn::Scenegraph {

void CameraComponent::apply(ShaderProgram*, double) {
    if (!m_camera || !entity())
        return;
    const glm::mat4 model = entity()->transform()->globalTransform();
    const glm::vec3 position(model * glm::vec4(0.0f, 0.0f, 0.0f, 1.0f));
    const glm::vec3 forward(model * glm::vec4(0.0f, -1.0f, 0.0f, 0.0f));
    const glm::vec3 up(model * glm::vec4(0.0f, 0.0f, -1.0f, 0.0f));
    // A zero scale leaves no direction to normalise; keep the target finite.
    const float length = glm::length(forward);
    m_camera->setPosition(position);
    m_camera->setTarget(length > 0.0f ? position + forward / length : position);
    m_camera->setUp(up);
}

}  // namespace Tarn::Scenegraph
