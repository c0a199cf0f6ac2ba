#include "tarn/scenegraph/materialcomponent.h"

#include "tarn/graphics/material.h"

namespace Tarn::Scenegraph {

void MaterialComponent::apply(ShaderProgram* program, double time) {
    if (m_material)
        m_material->apply(program, time);
}

}  // namespace Tarn::Scenegraph
