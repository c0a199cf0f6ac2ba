#include "tarn/scenegraph/lightcomponent.h"

#include <glm/glm.hpp>

#include "tarn/graphics/light.h"
#include "tarn/scenegraph/entity.h"

namespace Tarn::Scenegraph {

void LightComponent::apply(ShaderProgram*, double) {
    if (!m_light || !entity())
        return;
    const glm::mat4 model = entity()->transform()->globalTransform();
    m_light->setPosition(glm::vec3(model * glm::vec4(0.0f, 0.0f, 0.0f, 1.0f)));
    m_light->setDirection(glm::vec3(model * glm::vec4(0.0f, -1.0f, 0.0f, 0.0f)));
}

}  // namespace Tarn::Scenegraph
