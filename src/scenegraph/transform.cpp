#include "tarn/scenegraph/transform.h"

#include <iostream>

#include <glm/gtc/matrix_transform.hpp>

namespace Tarn::Scenegraph {

Transform::Transform(Entity* entity)
    : translation("position"), rotation("rotation"), scale("scale"), m_entity(entity),
      m_parent(nullptr), m_translation(0.0f), m_rotation(1.0f, 0.0f, 0.0f, 0.0f), m_scale(1.0f),
      m_previousModelMatrix(1.0f), m_modelMatrix(1.0f), m_dirty(true) {
    translation.addValue("x", &m_translation.x);
    translation.addValue("y", &m_translation.y);
    translation.addValue("z", &m_translation.z);
    rotation.addValue("x", &m_rotation.x);
    rotation.addValue("y", &m_rotation.y);
    rotation.addValue("z", &m_rotation.z);
    rotation.addValue("w", &m_rotation.w);
    scale.addValue("x", &m_scale.x);
    scale.addValue("y", &m_scale.y);
    scale.addValue("z", &m_scale.z);
}

void Transform::setParent(Transform* parent) {
    if (parent && f_isSelfOrAncestorOf(parent)) {
        std::cout << "[Transform] setParent: the parent would be this transform or one of its "
                     "descendants; parent unchanged"
                  << std::endl;
        return;
    }
    m_parent = parent;
}

bool Transform::f_isSelfOrAncestorOf(const Transform* other) const {
    for (const Transform* t = other; t; t = t->m_parent)
        if (t == this)
            return true;
    return false;
}

void Transform::setTranslation(const glm::vec3& translation) {
    m_translation = translation;
    m_dirty = true;
}

void Transform::setRotation(const glm::quat& rotation) {
    m_rotation = rotation;
    m_dirty = true;
}

void Transform::setScale(const glm::vec3& scale) {
    m_scale = scale;
    m_dirty = true;
}

void Transform::translate(const glm::vec3& offset) {
    m_translation += offset;
    m_dirty = true;
}

void Transform::rotate(const glm::quat& q) {
    m_rotation = m_rotation * q;
    m_dirty = true;
}

glm::mat4 Transform::localTransform() {
    m_previousModelMatrix = m_modelMatrix;
    m_modelMatrix = glm::translate(glm::mat4(1.0f), m_translation) * glm::mat4_cast(m_rotation) *
                    glm::scale(glm::mat4(1.0f), m_scale);
    m_dirty = false;
    return m_modelMatrix;
}

glm::mat4 Transform::globalTransform() {
    const glm::mat4 parentMatrix = m_parent ? m_parent->globalTransform() : glm::mat4(1.0f);
    return parentMatrix * localTransform();
}

glm::mat4 Transform::previousGlobalTransform() const {
    const glm::mat4 parentMatrix = m_parent ? m_parent->previousGlobalTransform() : glm::mat4(1.0f);
    return parentMatrix * m_previousModelMatrix;
}

}  // namespace Tarn::Scenegraph
