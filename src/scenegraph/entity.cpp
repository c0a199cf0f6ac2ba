#include "tarn/scenegraph/entity.h"

#include <algorithm>

#include "tarn/diagnostics.h"

namespace Tarn::Scenegraph {

Entity::Entity() : m_transform(std::make_unique<Transform>(this)) {}

Entity::~Entity() {
    std::vector<Component*> owned = m_components;
    std::sort(owned.begin(), owned.end());
    owned.erase(std::unique(owned.begin(), owned.end()), owned.end());
    for (Component* c : owned)
        delete c;
}

void Entity::addComponent(Component* c) {
    insertComponent(m_components.size(), c);
}

void Entity::insertComponent(std::size_t index, Component* c) {
    if (!c) {
        Diagnostics::problem("Entity", "addComponent: null component ignored");
        return;
    }
    if (c->m_entity && c->m_entity != this) {
        Diagnostics::problem("Entity",
                             "addComponent: component belongs to another entity, not added");
        return;
    }
    c->m_entity = this;
    m_components.insert(m_components.begin() +
                            static_cast<std::ptrdiff_t>(std::min(index, m_components.size())),
                        c);
}

void Entity::process(ShaderProgram* program, double time) {
    // By index: a component may add another to this entity while it runs.
    for (std::size_t i = 0; i < m_components.size(); ++i) {
        Component* c = m_components[i];
        c->apply(program, time);
        c->revert(program);
    }
}

}  // namespace Tarn::Scenegraph
