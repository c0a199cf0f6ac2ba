#ifndef TARN_GRAPHICS_CAMERA_H
#define TARN_GRAPHICS_CAMERA_H

// A scene camera described as a photographer would: focal length, focus,
// aperture, shutter and film, plus clip planes and aspect ratio. It turns its
// placement into a view matrix and its lens into a projection, both computed
// on demand and cached. Created by the scene loader, lives until exit.

#include <glm/glm.hpp>
#include <glm/gtc/quaternion.hpp>

namespace Tarn::Graphics {

class Camera {
public:
    Camera();

    float focalLength() const { return m_focalLength; }
    float focalDistance() const { return m_focalDistance; }
    float fStop() const { return m_fStop; }
    float shutterSpeed() const { return m_shutterSpeed; }
    float filmIso() const { return m_filmIso; }
    glm::vec2 clipPlanes() const { return m_clipPlanes; }  // (near, far)
    float aspectRatio() const { return m_aspectRatio; }
    glm::vec3 position() const { return m_position; }
    glm::vec3 target() const { return m_target; }
    glm::vec3 up() const { return m_up; }

    // Lens values the projection depends on.
    void setFocalLength(float millimetres);
    void setClipPlanes(const glm::vec2& nearFar);
    void setAspectRatio(float widthOverHeight);
    // Values that change no matrix.
    void setFocalDistance(float distance);
    void setFStop(float fStop);
    void setShutterSpeed(float seconds);
    void setFilmIso(float iso);
    // Placement.
    void setPosition(const glm::vec3& position);
    void setTarget(const glm::vec3& target);
    void setUp(const glm::vec3& up);
    // Turns the camera in place: its local forward axis is -Y, its up -Z.
    void setRotationFromQuaternion(const glm::quat& rotation);

    // Vertical field of view in radians: the lens in front of a film frame
    // 36 mm high, 2 atan(18 / focal length).
    double fieldOfView() const;

    // The look-at matrix, recomputed when the placement changed. Each
    // recomputation first moves the old matrix to previousViewMatrix.
    const glm::mat4& viewMatrix();
    // The view of the recomputation before the latest; identity at first.
    const glm::mat4& previousViewMatrix() const { return m_previousViewMatrix; }
    // The perspective matrix, recomputed when a lens value changed.
    const glm::mat4& projectionMatrix();

private:
    float m_focalLength;
    float m_focalDistance;
    float m_fStop;
    float m_shutterSpeed;
    float m_filmIso;
    glm::vec2 m_clipPlanes;
    float m_aspectRatio;
    glm::mat4 m_projectionMatrix;
    bool m_projectionDirty;
    glm::vec3 m_position;
    glm::vec3 m_target;
    glm::vec3 m_up;
    glm::mat4 m_previousViewMatrix;
    glm::mat4 m_viewMatrix;
    bool m_viewDirty;
};

}  // namespace Tarn::Graphics

#endif
