#include "tarn/graphics/camera.h"

#include <cmath>

#include <glm/gtc/matrix_transform.hpp>
#include <gtest/gtest.h>

namespace {

using Tarn::Graphics::Camera;

void expectNear(const glm::mat4& actual, const glm::mat4& expected, float tolerance = 1e-6f) {
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r)
            EXPECT_NEAR(actual[c][r], expected[c][r],
                        tolerance * std::max(1.0f, std::fabs(expected[c][r])))
                << "element [" << c << "][" << r << "]";
}

// The perspective matrix written out from the lens: a 36 mm film frame
// behind a lens of the given focal length.
glm::mat4 lensProjection(double focalLength, double aspect, double zNear, double zFar) {
    const double fovY = 2.0 * std::atan(18.0 / focalLength);
    const double f = 1.0 / std::tan(fovY / 2.0);
    glm::mat4 m(0.0f);
    m[0][0] = static_cast<float>(f / aspect);
    m[1][1] = static_cast<float>(f);
    m[2][2] = static_cast<float>(-(zFar + zNear) / (zFar - zNear));
    m[2][3] = -1.0f;
    m[3][2] = static_cast<float>(-2.0 * zFar * zNear / (zFar - zNear));
    return m;
}

TEST(CameraTest, FreshCameraAndThePreviousView) {
    Camera camera;
    EXPECT_EQ(camera.focalLength(), 35.0f);
    EXPECT_EQ(camera.clipPlanes(), glm::vec2(0.1f, 10000.0f));
    EXPECT_EQ(camera.aspectRatio(), 1.6f);

    const glm::mat4 first = camera.viewMatrix();
    expectNear(first, glm::lookAt(glm::vec3(0, 0, 0), glm::vec3(0, 0, 1), glm::vec3(0, 1, 0)));
    EXPECT_EQ(camera.previousViewMatrix(), glm::mat4(1.0f));

    camera.viewMatrix();  // nothing changed: no shift
    EXPECT_EQ(camera.previousViewMatrix(), glm::mat4(1.0f));

    camera.setPosition(glm::vec3(0, 2, -5));
    const glm::mat4 second = camera.viewMatrix();
    EXPECT_EQ(camera.previousViewMatrix(), first);
    expectNear(second, glm::lookAt(glm::vec3(0, 2, -5), glm::vec3(0, 0, 1), glm::vec3(0, 1, 0)));

    // A setter marks the view stale even when the value is the same.
    camera.setUp(glm::vec3(0, 1, 0));
    camera.viewMatrix();
    EXPECT_EQ(camera.previousViewMatrix(), second);
}

TEST(CameraTest, ProjectionFollowsTheLens) {
    const struct {
        float focal, aspect, zNear, zFar;
    } lenses[] = {
        {35.0f, 1.6f, 0.1f, 10000.0f},
        {18.0f, 1.0f, 1.0f, 100.0f},
        {85.0f, 16.0f / 9.0f, 0.5f, 500.0f},
        {12.0f, 0.75f, 0.01f, 50.0f},
    };
    for (const auto& lens : lenses) {
        Camera camera;
        camera.setFocalLength(lens.focal);
        camera.setAspectRatio(lens.aspect);
        camera.setClipPlanes(glm::vec2(lens.zNear, lens.zFar));
        SCOPED_TRACE(lens.focal);
        expectNear(camera.projectionMatrix(),
                   lensProjection(lens.focal, lens.aspect, lens.zNear, lens.zFar), 1e-5f);
    }

    Camera camera;
    EXPECT_NEAR(camera.fieldOfView() * 180.0 / M_PI, 54.43, 0.005);  // the default 35 mm lens
    camera.setFocalLength(18.0f);
    EXPECT_DOUBLE_EQ(camera.fieldOfView(), M_PI / 2.0);
    EXPECT_NEAR(camera.projectionMatrix()[1][1], 1.0f, 1e-6f);
}

TEST(CameraTest, ExposureSettingsChangeNoMatrix) {
    Camera camera;
    camera.setPosition(glm::vec3(1, 2, 3));
    const glm::mat4 view = camera.viewMatrix();
    const glm::mat4 previous = camera.previousViewMatrix();
    const glm::mat4 projection = camera.projectionMatrix();

    camera.setFocalDistance(3.0f);
    camera.setFStop(1.4f);
    camera.setShutterSpeed(0.5f);
    camera.setFilmIso(1600.0f);
    EXPECT_EQ(camera.viewMatrix(), view);
    EXPECT_EQ(camera.previousViewMatrix(), previous);
    EXPECT_EQ(camera.projectionMatrix(), projection);
    EXPECT_EQ(camera.focalDistance(), 3.0f);
    EXPECT_EQ(camera.fStop(), 1.4f);
    EXPECT_EQ(camera.shutterSpeed(), 0.5f);
    EXPECT_EQ(camera.filmIso(), 1600.0f);
}

// The camera looks along its local -Y with its local -Z up.
TEST(CameraTest, RotationFromQuaternion) {
    const struct {
        glm::quat rotation;
        glm::vec3 forward, up;
    } cases[] = {
        {glm::quat(1, 0, 0, 0), {0, -1, 0}, {0, 0, -1}},
        {glm::angleAxis(glm::radians(90.0f), glm::vec3(0, 0, 1)), {1, 0, 0}, {0, 0, -1}},
        {glm::angleAxis(glm::radians(-90.0f), glm::vec3(1, 0, 0)), {0, 0, 1}, {0, -1, 0}},
    };
    for (const auto& c : cases) {
        Camera camera;
        camera.setPosition(glm::vec3(4, 5, 6));
        camera.viewMatrix();
        camera.setRotationFromQuaternion(c.rotation);
        const glm::vec3 forward = camera.target() - camera.position();
        for (int i = 0; i < 3; ++i) {
            EXPECT_NEAR(forward[i], c.forward[i], 1e-6f);
            EXPECT_NEAR(camera.up()[i], c.up[i], 1e-6f);
        }
        EXPECT_EQ(camera.position(), glm::vec3(4, 5, 6));
        expectNear(camera.viewMatrix(),
                   glm::lookAt(glm::vec3(4, 5, 6), glm::vec3(4, 5, 6) + c.forward, c.up), 1e-5f);
    }
}

}  // namespace
