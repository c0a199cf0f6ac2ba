#ifndef TARN_SCENEGRAPH_LIGHTCOMPONENT_H
#define TARN_SCENEGRAPH_LIGHTCOMPONENT_H

// Places a light from its entity's global transform every time the entity is
// processed: at the entity's origin, shining down its local -Y axis. Owned by
// its entity; the light is not owned.

#include "tarn/scenegraph/component.h"

namespace Tarn {

namespace Graphics {
class Light;
}

namespace Scenegraph {

class LightComponent : public Component {
public:
    explicit LightComponent(Graphics::Light* light) : m_light(light) {}

    Graphics::Light* light() const { return m_light; }

    // Sets the light's position and its direction (not normalised: the
    // shaders normalise), which marks its uniforms for sending even when the
    // transform did not change. Does nothing without a light or an entity.
    void apply(ShaderProgram* program, double time) override;

private:
    Graphics::Light* m_light;
};

}  // namespace Scenegraph
}  // namespace Tarn

#endif
