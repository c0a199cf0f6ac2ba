#include "tarn/scenegraph/transform.h"

#include <functional>
#include <string>

#include <glm/gtc/matrix_transform.hpp>
#include <gtest/gtest.h>

namespace {

using Tarn::Scenegraph::Transform;

const float kHalfPi = 1.5707963f;

void expectNear(const glm::vec3& actual, const glm::vec3& expected) {
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(actual[i], expected[i], 1e-5f) << "component " << i;
}

glm::vec3 apply(const glm::mat4& m, const glm::vec3& point) {
    return glm::vec3(m * glm::vec4(point, 1.0f));
}

TEST(TransformTest, FreshTransform) {
    Transform transform(nullptr);
    EXPECT_TRUE(transform.dirty());
    EXPECT_EQ(transform.parent(), nullptr);
    EXPECT_EQ(transform.translation.name(), "position");
    EXPECT_EQ(transform.rotation.get("w"), 1.0f);
    EXPECT_EQ(transform.scale.get("z"), 1.0f);
    EXPECT_EQ(transform.globalTransform(), glm::mat4(1.0f));
    EXPECT_EQ(transform.previousLocalTransform(), glm::mat4(1.0f));
    EXPECT_FALSE(transform.dirty());
}

TEST(TransformTest, PlacesPointsScaledThenRotatedThenTranslated) {
    const glm::quat quarterZ = glm::angleAxis(kHalfPi, glm::vec3(0, 0, 1));
    const glm::quat quarterX = glm::angleAxis(kHalfPi, glm::vec3(1, 0, 0));
    const struct {
        const char* name;
        std::function<void(Transform&)> place;
        glm::vec3 point, expected;
    } cases[] = {
        {"setters",
         [&](Transform& t) {
             t.setTranslation(glm::vec3(1, 2, 3));
             t.setScale(glm::vec3(2, 2, 2));
             t.setRotation(quarterZ);
         },
         {1, 0, 0},
         {1, 4, 3}},
        {"through the properties",
         [&](Transform& t) {
             for (const char* axis : {"x", "y", "z"})
                 t.scale.set(axis, 2.0f);
             t.translation.set("x", 1.0f);
             t.translation.set("y", 2.0f);
             t.translation.set("z", 3.0f);
             t.rotation.set("z", quarterZ.z);
             t.rotation.set("w", quarterZ.w);
         },
         {1, 0, 0},
         {1, 4, 3}},
        {"translate adds",
         [](Transform& t) {
             t.translate(glm::vec3(1, 0, 0));
             t.translate(glm::vec3(0, 5, 0));
         },
         {0, 0, 0},
         {1, 5, 0}},
        // Local frame: X first, then Z. The other order would give (-1, 0, 0).
        {"rotate applies after the current rotation",
         [&](Transform& t) {
             t.rotate(quarterZ);
             t.rotate(quarterX);
         },
         {0, 1, 0},
         {0, 0, 1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Transform transform(nullptr);
        c.place(transform);
        expectNear(apply(transform.localTransform(), c.point), c.expected);
    }
}

TEST(TransformTest, EveryComputationShiftsThePreviousMatrix) {
    Transform transform(nullptr);
    transform.setTranslation(glm::vec3(1, 0, 0));
    const glm::mat4 first = transform.localTransform();
    EXPECT_EQ(transform.previousLocalTransform(), glm::mat4(1.0f));

    EXPECT_EQ(transform.localTransform(), first);  // no change: previous becomes current
    EXPECT_EQ(transform.previousLocalTransform(), first);

    transform.translation.set("y", 5.0f);
    const glm::mat4 second = transform.localTransform();
    EXPECT_EQ(second[3], glm::vec4(1, 5, 0, 1));
    EXPECT_EQ(transform.previousLocalTransform(), first);
}

TEST(TransformTest, ParentChain) {
    Transform root(nullptr), middle(nullptr), leaf(nullptr);
    middle.setParent(&root);
    leaf.setParent(&middle);
    root.setTranslation(glm::vec3(10, 0, 0));
    middle.setScale(glm::vec3(2, 2, 2));
    leaf.setTranslation(glm::vec3(0, 1, 0));

    expectNear(apply(leaf.globalTransform(), glm::vec3(0, 0, 0)), glm::vec3(10, 2, 0));
    // Each ancestor was recomputed once, so each holds identity as previous.
    EXPECT_EQ(root.previousLocalTransform(), glm::mat4(1.0f));
    EXPECT_EQ(leaf.previousGlobalTransform(), glm::mat4(1.0f));

    root.setTranslation(glm::vec3(20, 0, 0));
    expectNear(apply(leaf.globalTransform(), glm::vec3(0, 0, 0)), glm::vec3(20, 2, 0));
    const glm::mat4 previous = leaf.previousGlobalTransform();
    expectNear(apply(previous, glm::vec3(0, 0, 0)), glm::vec3(10, 2, 0));
    EXPECT_EQ(leaf.previousGlobalTransform(), previous);  // reading shifts nothing
}

TEST(TransformTest, RefusesAParentThatWouldCloseACycle) {
    Transform root(nullptr), child(nullptr), grandchild(nullptr);
    child.setParent(&root);
    grandchild.setParent(&child);
    const std::string message = "[Transform] setParent: the parent would be this transform or "
                                "one of its descendants; parent unchanged\n";
    const struct {
        Transform* transform;
        Transform* parent;
        Transform* keeps;
    } cases[] = {
        {&root, &root, nullptr},
        {&root, &grandchild, nullptr},
        {&child, &grandchild, &root},
    };
    for (const auto& c : cases) {
        testing::internal::CaptureStdout();
        c.transform->setParent(c.parent);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), message);
        EXPECT_EQ(c.transform->parent(), c.keeps);
    }
    expectNear(apply(grandchild.globalTransform(), glm::vec3(1, 2, 3)), glm::vec3(1, 2, 3));

    grandchild.setParent(nullptr);
    root.setParent(&grandchild);  // no longer a descendant
    EXPECT_EQ(root.parent(), &grandchild);
}

}  // namespace
