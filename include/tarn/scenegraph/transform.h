#ifndef TARN_SCENEGRAPH_TRANSFORM_H
#define TARN_SCENEGRAPH_TRANSFORM_H

// The placement of one entity: translation, rotation and scale under an
// optional parent, with the local matrix of the latest and of the previous
// computation (motion blur reads both). Created and owned by its entity, lives
// as long as it. Its properties point into the transform itself, so it can be
// neither copied nor moved.

#include "tarn/scenegraph/property.h"

#include <glm/glm.hpp>
#include <glm/gtc/quaternion.hpp>

namespace Tarn::Scenegraph {

class Entity;

class Transform {
public:
    explicit Transform(Entity* entity);
    Transform(const Transform&) = delete;
    Transform& operator=(const Transform&) = delete;

    Entity* entity() const { return m_entity; }
    Transform* parent() const { return m_parent; }
    // Refuses, with a message, a parent that is this transform or one of its
    // descendants: the global matrix would recurse without end.
    void setParent(Transform* parent);

    void setTranslation(const glm::vec3& translation);
    void setRotation(const glm::quat& rotation);
    void setScale(const glm::vec3& scale);
    void translate(const glm::vec3& offset);
    // Applies q in the object's local frame, after the current rotation.
    void rotate(const glm::quat& q);
    // Aiming: from then on every localTransform() turns the rotation so that
    // the entity looks from its translation at the target, its local -Y
    // forward and -Z up as cameras and lights use them, with -Z as near the
    // up vector as the view allows. Target and up are in the same space as
    // the translation. Where no view is defined (target at the translation,
    // up along the view) the rotation stays as it was.
    void setTarget(const glm::vec3& target);
    void setUp(const glm::vec3& up);
    // Turns aiming on or off without moving the target (an automation of
    // the target writes its values through the property).
    void setAiming(bool aiming);
    bool aiming() const { return m_aiming; }
    // Whether a setter ran since the last localTransform().
    bool dirty() const { return m_dirty; }

    // T * R * S, recomputed on every call (the rotation aimed first when
    // aiming); each call first moves the latest
    // matrix to the previous one, so call it a fixed number of times per frame.
    glm::mat4 localTransform();
    glm::mat4 previousLocalTransform() const { return m_previousModelMatrix; }
    // Parent's global times local; recomputes (and shifts) every ancestor.
    glm::mat4 globalTransform();
    // The previous matrices up the chain; recomputes and shifts nothing.
    glm::mat4 previousGlobalTransform() const;

    // Values "x", "y", "z" of the translation; named "position" as in scripts.
    Property translation;
    // Values "x", "y", "z", "w" of the raw quaternion; nothing renormalises it.
    Property rotation;
    // Values "x", "y", "z" of the scale.
    Property scale;
    // Values "x", "y", "z" of the point looked at while aiming.
    Property target;
    // Values "x", "y", "z" of the up vector while aiming; (0, 1, 0) at first.
    Property up;

private:
    bool f_isSelfOrAncestorOf(const Transform* other) const;
    void f_aim();

    Entity* m_entity;
    Transform* m_parent;
    glm::vec3 m_translation;
    glm::quat m_rotation;
    glm::vec3 m_scale;
    glm::vec3 m_target;
    glm::vec3 m_up;
    bool m_aiming;
    glm::mat4 m_previousModelMatrix;
    glm::mat4 m_modelMatrix;
    bool m_dirty;
};

}  // namespace Tarn::Scenegraph

#endif
