#include "tarn/graphics/camera.h"

#include <cmath>

#include <glm/gtc/matrix_transform.hpp>

namespace Tarn::Graphics {

Camera::Camera()
    : m_focalLength(35.0f), m_focalDistance(10.0f), m_fStop(4.5f),
      m_shutterSpeed(1.0f / 60.0f),  // a common hand-held exposure; nothing reads it yet
      m_filmIso(400.0f), m_clipPlanes(0.1f, 10000.0f), m_aspectRatio(1.6f),
      m_projectionMatrix(1.0f), m_projectionDirty(true), m_position(0.0f, 0.0f, 0.0f),
      m_target(0.0f, 0.0f, 1.0f), m_up(0.0f, 1.0f, 0.0f), m_previousViewMatrix(1.0f),
      m_viewMatrix(1.0f), m_viewDirty(true) {}

void Camera::setFocalLength(float millimetres) {
    m_focalLength = millimetres;
    m_projectionDirty = true;
}

void Camera::setClipPlanes(const glm::vec2& nearFar) {
    m_clipPlanes = nearFar;
    m_projectionDirty = true;
}

void Camera::setAspectRatio(float widthOverHeight) {
    m_aspectRatio = widthOverHeight;
    m_projectionDirty = true;
}

void Camera::setFocalDistance(float distance) {
    m_focalDistance = distance;
}

void Camera::setFStop(float fStop) {
    m_fStop = fStop;
}

void Camera::setShutterSpeed(float seconds) {
    m_shutterSpeed = seconds;
}

void Camera::setFilmIso(float iso) {
    m_filmIso = iso;
}

void Camera::setPosition(const glm::vec3& position) {
    m_position = position;
    m_viewDirty = true;
}

void Camera::setTarget(const glm::vec3& target) {
    m_target = target;
    m_viewDirty = true;
}

void Camera::setUp(const glm::vec3& up) {
    m_up = up;
    m_viewDirty = true;
}

void Camera::setRotationFromQuaternion(const glm::quat& rotation) {
    m_target = m_position + rotation * glm::vec3(0.0f, -1.0f, 0.0f);
    m_up = rotation * glm::vec3(0.0f, 0.0f, -1.0f);
    m_viewDirty = true;
}

double Camera::fieldOfView() const {
    return 2.0 * std::atan(18.0 / static_cast<double>(m_focalLength));
}

const glm::mat4& Camera::viewMatrix() {
    if (m_viewDirty) {
        m_previousViewMatrix = m_viewMatrix;
        m_viewMatrix = glm::lookAt(m_position, m_target, m_up);
        m_viewDirty = false;
    }
    return m_viewMatrix;
}

const glm::mat4& Camera::projectionMatrix() {
    if (m_projectionDirty) {
        m_projectionMatrix = glm::perspective(static_cast<float>(fieldOfView()), m_aspectRatio,
                                              m_clipPlanes.x, m_clipPlanes.y);
        m_projectionDirty = false;
    }
    return m_projectionMatrix;
}

}  // namespace Tarn::Graphics
