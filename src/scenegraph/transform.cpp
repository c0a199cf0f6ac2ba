#include "tarn/scenegraph/transform.h"

#include <algorithm>

#include <glm/gtc/matrix_transform.hpp>

#include "tarn/diagnostics.h"

namespace Tarn::Scenegraph {

Transform::Transform(Entity* entity)
    : translation("position"), rotation("rotation"), scale("scale"), target("target"), up("up"),
      m_entity(entity), m_parent(nullptr), m_translation(0.0f), m_rotation(1.0f, 0.0f, 0.0f, 0.0f),
      m_scale(1.0f), m_target(0.0f), m_up(0.0f, 1.0f, 0.0f), m_aiming(false),
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
    target.addValue("x", &m_target.x);
    target.addValue("y", &m_target.y);
    target.addValue("z", &m_target.z);
    up.addValue("x", &m_up.x);
    up.addValue("y", &m_up.y);
    up.addValue("z", &m_up.z);
}

void Transform::setParent(Transform* parent) {
    if (parent && f_isSelfOrAncestorOf(parent)) {
        Diagnostics::problem("Transform", "setParent: the parent would be this transform or one "
                                          "of its descendants; parent unchanged");
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

void Transform::setTarget(const glm::vec3& target) {
    m_target = target;
    m_aiming = true;
    m_dirty = true;
}

void Transform::setUp(const glm::vec3& up) {
    m_up = up;
    m_dirty = true;
}

void Transform::setAiming(bool aiming) {
    m_aiming = aiming;
    m_dirty = true;
}

// The rotation's columns are where the local axes go: -Y to the view, -Z to
// the up vector made square to it, X to their cross product (right-handed).
// Both tolerances are relative, so tiny and huge scenes aim alike.
void Transform::f_aim() {
    const glm::vec3 view = m_target - m_translation;
    const float viewLength = glm::length(view);
    if (!(viewLength > 1e-6f * std::max(1.0f, glm::length(m_translation))))
        return;
    const glm::vec3 forward = view / viewLength;
    const glm::vec3 square = m_up - glm::dot(m_up, forward) * forward;
    const float squareLength = glm::length(square);
    if (!(squareLength > 1e-4f * glm::length(m_up)))
        return;
    const glm::vec3 upward = square / squareLength;
    const glm::mat3 axes(glm::cross(forward, upward), -forward, -upward);
    m_rotation = glm::quat_cast(axes);
}

glm::mat4 Transform::localTransform() {
    if (m_aiming)
        f_aim();
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
