#include "tarn/scenegraph/lightcomponent.h"

#include <functional>
#include <string>

#include <glm/glm.hpp>
#include <glm/gtc/quaternion.hpp>

#include "support/gl_test.h"
#include "tarn/graphics/light.h"
#include "tarn/scenegraph/entity.h"
#include "tarn/shaderprogram.h"

namespace {

using glm::vec3;
using Tarn::Graphics::Light;
using Tarn::Scenegraph::Entity;
using Tarn::Scenegraph::LightComponent;

using ComponentGLTest = Tarn::Test::GLTest;

const float kHalfPi = 1.5707963f;

void expectNear(const vec3& actual, const vec3& expected, const std::string& what) {
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(actual[i], expected[i], 1e-5f) << what << ", component " << i;
}

vec3 uniformVec3(const Light& light, const char* name) {
    const GLuint id = light.shader()->id();
    float value[3] = {-1.0f, -1.0f, -1.0f};
    glGetUniformfv(id, glGetUniformLocation(id, name), value);
    return vec3(value[0], value[1], value[2]);
}

TEST_F(ComponentGLTest, LightFollowsTheGlobalTransform) {
    const glm::quat quarterZ = glm::angleAxis(kHalfPi, vec3(0, 0, 1));
    const glm::quat quarterX = glm::angleAxis(kHalfPi, vec3(1, 0, 0));
    const struct {
        const char* name;
        std::function<void(Entity& entity, Entity& parent)> place;
        vec3 position, direction;
    } cases[] = {
        {"origin", [](Entity&, Entity&) {}, {0, 0, 0}, {0, -1, 0}},
        {"turned and moved",
         [&](Entity& e, Entity&) {
             e.transform()->setTranslation(vec3(1, 2, 3));
             e.transform()->setRotation(quarterZ);
         },
         {1, 2, 3},
         {1, 0, 0}},
        // The shaders normalise the direction, so the scale stays in it.
        {"scaled",
         [](Entity& e, Entity&) { e.transform()->setScale(vec3(3, 3, 3)); },
         {0, 0, 0},
         {0, -3, 0}},
        {"under a parent",
         [&](Entity& e, Entity& parent) {
             parent.transform()->setTranslation(vec3(10, 0, 0));
             parent.transform()->setRotation(quarterX);
             e.transform()->setTranslation(vec3(0, 0, 1));
             e.transform()->setParent(parent.transform());
         },
         {10, -1, 0},
         {0, 0, -1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Entity parent;
        Entity entity;
        Light light(Light::LT_SPOT);
        entity.addComponent(new LightComponent(&light));
        c.place(entity, parent);
        entity.process(nullptr, 0.0);
        expectNear(light.position(), c.position, "position");
        expectNear(light.direction(), c.direction, "direction");
    }
}

TEST_F(ComponentGLTest, LightUniformsAreResentAfterEveryProcessing) {
    Light light(Light::LT_SPOT);
    Entity entity;
    entity.addComponent(new LightComponent(&light));
    entity.transform()->setTranslation(vec3(1, 2, 3));
    entity.process(nullptr, 0.0);
    light.bind();
    light.release();
    ASSERT_EQ(uniformVec3(light, "l_position"), vec3(1, 2, 3));

    // Planted behind the light's back; processing with the same transform
    // must still make the next bind send the placement again.
    const GLuint id = light.shader()->id();
    glUseProgram(id);
    glUniform3f(glGetUniformLocation(id, "l_position"), 7.0f, 7.0f, 7.0f);
    glUseProgram(0);
    entity.process(nullptr, 0.0);
    light.bind();
    light.release();
    EXPECT_EQ(uniformVec3(light, "l_position"), vec3(1, 2, 3));
}

}  // namespace
