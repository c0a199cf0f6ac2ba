#ifndef TARN_SCENEGRAPH_COMPONENT_H
#define TARN_SCENEGRAPH_COMPONENT_H

// One kind of behaviour attached to an entity: a material to set up, a mesh
// to draw, a camera or a light to place. Created by the scene loader, handed
// to an entity with Entity::addComponent, owned and deleted by that entity.

namespace Tarn {

class ShaderProgram;

namespace Scenegraph {

class Entity;

class Component {
public:
    Component() = default;
    virtual ~Component() = default;

    Component(const Component&) = delete;
    Component& operator=(const Component&) = delete;

    // The entity the component was added to; null until then.
    Entity* entity() const { return m_entity; }

    // Runs the component's behaviour for one processing of its entity.
    virtual void apply(ShaderProgram* program, double time) = 0;
    // Undoes what apply did, right after it; does nothing unless overridden.
    virtual void revert(ShaderProgram* program);

private:
    friend class Entity;

    Entity* m_entity = nullptr;
};

}  // namespace Scenegraph
}  // namespace Tarn

#endif
