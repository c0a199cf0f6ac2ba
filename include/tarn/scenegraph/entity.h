#ifndef TARN_SCENEGRAPH_ENTITY_H
#define TARN_SCENEGRAPH_ENTITY_H

// A node of a scene: a transform plus an ordered list of components that
// processing runs one after another. Created by the scene loader and kept by
// its scene; it owns its transform and its components.

#include <cstddef>
#include <memory>
#include <vector>

#include "tarn/scenegraph/component.h"
#include "tarn/scenegraph/transform.h"

namespace Tarn {

class ShaderProgram;

namespace Scenegraph {

class Entity {
public:
    Entity();
    // Deletes the transform and every component once, even one added twice.
    ~Entity();

    Entity(const Entity&) = delete;
    Entity& operator=(const Entity&) = delete;

    Transform* transform() const { return m_transform.get(); }

    // Appends c and takes ownership of it. The same component may be added
    // twice (it then runs twice); a null component, or one that belongs to
    // another entity, is refused with a message.
    void addComponent(Component* c);
    // As addComponent, but placed before the component at index (at the end
    // when index is past the last one).
    void insertComponent(std::size_t index, Component* c);
    const std::vector<Component*>& components() const { return m_components; }

    // For each component in order: apply, then at once revert, before the
    // next one. A material component must therefore come before its mesh
    // (the scene loader moves an entity's first material ahead of its meshes).
    void process(ShaderProgram* program, double time);

    // The first component, in list order, whose dynamic type is T or derives
    // from it; null when there is none.
    template <typename T> T* getComponent() const {
        for (Component* c : m_components) {
            if (T* found = dynamic_cast<T*>(c))
                return found;
        }
        return nullptr;
    }

private:
    std::unique_ptr<Transform> m_transform;
    std::vector<Component*> m_components;
};

}  // namespace Scenegraph
}  // namespace Tarn

#endif
