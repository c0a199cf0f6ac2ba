#ifndef TARN_SCENEGRAPH_MATERIALCOMPONENT_H
#define TARN_SCENEGRAPH_MATERIALCOMPONENT_H

// Sets up a material on the program its entity is processed with, for the
// mesh components that follow it. Owned by its entity; the material belongs
// to the asset library.

#include "tarn/scenegraph/component.h"

namespace Tarn {

namespace Graphics {
class Material;
}

namespace Scenegraph {

class MaterialComponent : public Component {
public:
    explicit MaterialComponent(Graphics::Material* material) : m_material(material) {}

    Graphics::Material* material() const { return m_material; }

    // Sets the material's uniforms and binds its textures on the program;
    // does nothing without a material.
    void apply(ShaderProgram* program, double time) override;

private:
    Graphics::Material* m_material;
};

}  // namespace Scenegraph
}  // namespace Tarn

#endif
