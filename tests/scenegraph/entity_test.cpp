#include "tarn/scenegraph/entity.h"

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include <glm/glm.hpp>
#include <glm/gtc/quaternion.hpp>
#include <gtest/gtest.h>

#include "tarn/graphics/camera.h"
#include "tarn/scenegraph/cameracomponent.h"
#include "tarn/scenegraph/lightcomponent.h"
#include "tarn/scenegraph/materialcomponent.h"
#include "tarn/scenegraph/meshcomponent.h"

namespace {

using glm::vec3;
using Tarn::Graphics::Camera;
using Tarn::Scenegraph::CameraComponent;
using Tarn::Scenegraph::Component;
using Tarn::Scenegraph::Entity;
using Tarn::Scenegraph::LightComponent;
using Tarn::Scenegraph::MaterialComponent;
using Tarn::Scenegraph::MeshComponent;

const float kHalfPi = 1.5707963f;

void expectNear(const vec3& actual, const vec3& expected, const std::string& what) {
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(actual[i], expected[i], 1e-5f) << what << ", component " << i;
}

// Writes what happens to it into a shared log and counts its destructions.
class RecordingComponent : public Component {
public:
    RecordingComponent(std::string name, std::vector<std::string>& log, int* destroyed = nullptr)
        : m_name(std::move(name)), m_log(log), m_destroyed(destroyed) {}
    ~RecordingComponent() override {
        if (m_destroyed)
            ++*m_destroyed;
    }

    void apply(Tarn::ShaderProgram* program, double time) override {
        m_log.push_back("apply " + m_name + " " + std::to_string(program != nullptr) + " " +
                        std::to_string(time));
    }
    void revert(Tarn::ShaderProgram* program) override {
        m_log.push_back("revert " + m_name + " " + std::to_string(program != nullptr));
    }

private:
    std::string m_name;
    std::vector<std::string>& m_log;
    int* m_destroyed;
};

class DerivedCameraComponent : public CameraComponent {
public:
    using CameraComponent::CameraComponent;
};

TEST(EntityTest, CameraFollowsTheGlobalTransform) {
    const glm::quat quarterZ = glm::angleAxis(kHalfPi, vec3(0, 0, 1));
    const glm::quat quarterX = glm::angleAxis(kHalfPi, vec3(1, 0, 0));
    const struct {
        const char* name;
        std::function<void(Entity& entity, Entity& parent)> place;
        vec3 position, target, up;
    } cases[] = {
        {"origin", [](Entity&, Entity&) {}, {0, 0, 0}, {0, -1, 0}, {0, 0, -1}},
        {"turned and moved",
         [&](Entity& e, Entity&) {
             e.transform()->setTranslation(vec3(1, 2, 3));
             e.transform()->setRotation(quarterZ);
         },
         {1, 2, 3},
         {2, 2, 3},
         {0, 0, -1}},
        // The target stays one unit ahead; up keeps the scale.
        {"scaled",
         [](Entity& e, Entity&) { e.transform()->setScale(vec3(2, 2, 2)); },
         {0, 0, 0},
         {0, -1, 0},
         {0, 0, -2}},
        {"under a parent",
         [&](Entity& e, Entity& parent) {
             parent.transform()->setTranslation(vec3(10, 0, 0));
             parent.transform()->setRotation(quarterX);
             e.transform()->setTranslation(vec3(0, 0, 1));
             e.transform()->setParent(parent.transform());
         },
         {10, -1, 0},
         {10, -1, -1},
         {0, 1, 0}},
        {"zero scale keeps the target finite",
         [](Entity& e, Entity&) {
             e.transform()->setTranslation(vec3(1, 1, 1));
             e.transform()->setScale(vec3(0, 0, 0));
         },
         {1, 1, 1},
         {1, 1, 1},
         {0, 0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Entity parent;
        Entity entity;
        Camera camera;
        entity.addComponent(new CameraComponent(&camera));
        c.place(entity, parent);
        entity.process(nullptr, 0.0);
        expectNear(camera.position(), c.position, "position");
        expectNear(camera.target(), c.target, "target");
        expectNear(camera.up(), c.up, "up");
    }
}

TEST(EntityTest, CameraViewIsRecomputedAfterEveryProcessing) {
    Entity entity;
    Camera camera;
    entity.addComponent(new CameraComponent(&camera));
    entity.transform()->setTranslation(vec3(0, 0, 5));
    entity.process(nullptr, 0.0);
    const glm::mat4 placed = camera.viewMatrix();
    ASSERT_NE(placed, glm::mat4(1.0f));

    // Same transform: the view is still recomputed, so the previous view
    // becomes the placed one rather than staying the initial identity.
    entity.process(nullptr, 0.0);
    EXPECT_EQ(camera.viewMatrix(), placed);
    EXPECT_EQ(camera.previousViewMatrix(), placed);
}

TEST(EntityTest, ComponentsWithoutTargetOrEntityChangeNothing) {
    Camera camera;
    CameraComponent loose(&camera);
    loose.apply(nullptr, 0.0);
    EXPECT_EQ(camera.position(), vec3(0, 0, 0));
    EXPECT_EQ(camera.target(), vec3(0, 0, 1));
    EXPECT_EQ(camera.up(), vec3(0, 1, 0));

    // Null targets need no GL and let the components after them run.
    std::vector<std::string> log;
    Entity entity;
    entity.addComponent(new MaterialComponent(nullptr));
    entity.addComponent(new MeshComponent(nullptr));
    entity.addComponent(new CameraComponent(nullptr));
    entity.addComponent(new LightComponent(nullptr));
    entity.addComponent(new RecordingComponent("last", log));
    entity.process(nullptr, 1.5);
    EXPECT_EQ(log, (std::vector<std::string>{"apply last 0 1.500000", "revert last 0"}));
}

TEST(EntityTest, ProcessRevertsEachComponentBeforeTheNext) {
    std::vector<std::string> log;
    Entity entity;
    auto* a = new RecordingComponent("a", log);
    entity.addComponent(a);
    entity.addComponent(new RecordingComponent("b", log));
    entity.addComponent(a);
    EXPECT_EQ(a->entity(), &entity);

    int programStandIn = 0;
    entity.process(reinterpret_cast<Tarn::ShaderProgram*>(&programStandIn), 2.0);
    EXPECT_EQ(log,
              (std::vector<std::string>{"apply a 1 2.000000", "revert a 1", "apply b 1 2.000000",
                                        "revert b 1", "apply a 1 2.000000", "revert a 1"}));

    log.clear();
    Entity empty;
    empty.process(nullptr, 0.0);
    EXPECT_TRUE(log.empty());
}

TEST(EntityTest, GetComponentReturnsTheFirstOfItsKind) {
    Camera first, second;
    Entity entity;
    auto* material = new MaterialComponent(nullptr);
    auto* derived = new DerivedCameraComponent(&first);
    auto* plain = new CameraComponent(&second);
    auto* light = new LightComponent(nullptr);
    entity.addComponent(material);
    entity.addComponent(derived);
    entity.addComponent(plain);
    entity.addComponent(light);

    EXPECT_EQ(entity.getComponent<CameraComponent>(), derived) << "a subclass matches";
    EXPECT_EQ(entity.getComponent<DerivedCameraComponent>(), derived);
    EXPECT_EQ(entity.getComponent<LightComponent>(), light);
    EXPECT_EQ(entity.getComponent<MaterialComponent>(), material);
    EXPECT_EQ(entity.getComponent<Component>(), material);
    EXPECT_EQ(entity.getComponent<MeshComponent>(), nullptr);
    EXPECT_EQ(entity.getComponent<RecordingComponent>(), nullptr);

    Entity two;
    auto* firstCamera = new CameraComponent(&first);
    two.addComponent(firstCamera);
    two.addComponent(new CameraComponent(&second));
    EXPECT_EQ(two.getComponent<CameraComponent>(), firstCamera);
    EXPECT_EQ(two.getComponent<CameraComponent>()->camera(), &first);
}

TEST(EntityTest, OwnsItsComponentsAndRefusesOthers) {
    std::vector<std::string> log;
    int destroyed = 0;
    auto* shared = new RecordingComponent("shared", log, &destroyed);
    {
        Entity owner;
        owner.addComponent(shared);
        owner.addComponent(new RecordingComponent("other", log, &destroyed));
        owner.addComponent(shared);

        Entity thief;
        const struct {
            const char* name;
            Component* component;
            const char* message;
        } refused[] = {
            {"null", nullptr, "[Entity] addComponent: null component ignored\n"},
            {"owned elsewhere", shared,
             "[Entity] addComponent: component belongs to another entity, not added\n"},
        };
        for (const auto& c : refused) {
            SCOPED_TRACE(c.name);
            testing::internal::CaptureStdout();
            thief.addComponent(c.component);
            EXPECT_EQ(testing::internal::GetCapturedStdout(), c.message);
            EXPECT_TRUE(thief.components().empty());
        }
        EXPECT_EQ(shared->entity(), &owner);
        EXPECT_EQ(owner.components().size(), 3u);
        EXPECT_EQ(destroyed, 0);
    }
    EXPECT_EQ(destroyed, 2) << "each component deleted once, the shared one too";
}

}  // namespace
