// Scenes that need GL: scripted lights with their fixed radius and cone, the
// order of work in one rendered frame, and scene clips.

#include "tarn/scenegraph/scene.h"

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/fuzz_inputs.h"
#include "support/gl_test.h"
#include "support/scratch_folder.h"
#include "tarn/assetlibrary.h"
#include "tarn/demo/sceneclip.h"
#include "tarn/ext/assimploader.h"
#include "tarn/framebuffer.h"
#include "tarn/graphics/camera.h"
#include "tarn/graphics/light.h"
#include "tarn/graphics/renderer.h"
#include "tarn/scenegraph/automation.h"
#include "tarn/scenegraph/cameracomponent.h"
#include "tarn/scenegraph/entity.h"
#include "tarn/scenegraph/lightcomponent.h"
#include "tarn/scenegraph/property.h"
#include "tarn/texture.h"
#include "tarn/vfs.h"

#define TARN_SCENE_FUZZ_NO_MAIN
#include "fuzz/scene_fuzz.cpp"

namespace {

using Tarn::Graphics::Camera;
using Tarn::Graphics::Light;
using Tarn::Graphics::Renderer;
using Tarn::Scenegraph::Automation;
using Tarn::Scenegraph::CameraComponent;
using Tarn::Scenegraph::Component;
using Tarn::Scenegraph::Entity;
using Tarn::Scenegraph::LightComponent;
using Tarn::Scenegraph::Property;
using Tarn::Scenegraph::Scene;

using SceneGLTest = Tarn::Test::GLTest;

// Each kind word makes its light type, any other word a point light with a
// report that suggests the nearest kind. Without a shape a scripted light
// has radius 18, cone 2.0 and soft edge 0.15 (an area light a 1 x 1
// rectangle); the line may go on with its shape.
TEST_F(SceneGLTest, ScriptedLights) {
    const struct {
        const char* kind;
        const char* shape;
        Light::LightType type;
        float radius, cutoff, smoothness, width;
        const char* report;
    } cases[] = {
        {"ambient", "", Light::LT_AMBIENT, 18, 2, 0.15f, 0, ""},
        {"point", " 6", Light::LT_POINT, 6, 2, 0.15f, 0, ""},
        {"directional", "", Light::LT_DIRECTIONAL, 18, 2, 0.15f, 0, ""},
        {"spot", " 10 30 6", Light::LT_SPOT, 10, 0.52359878f, 0.10471976f, 0, ""},
        {"spot", " 10 30", Light::LT_SPOT, 10, 2, 0.15f, 0,
         "[Scene] scene.tarn:3: component light spot takes 2 shape arguments after the radius; "
         "shape ignored\n"},
        {"area", "", Light::LT_AREA, 18, 2, 0.15f, 1, ""},
        {"area", " 12 2 0.5 nowhere", Light::LT_AREA, 12, 2, 0.15f, 2,
         "[Scene] scene.tarn:3: unknown texture \"nowhere\"; the area light emits white\n"},
        {"pont", "", Light::LT_POINT, 18, 2, 0.15f, 0,
         "[Scene] scene.tarn:3: unknown light kind \"pont\"; a point light is made instead; did "
         "you mean \"point\"?\n"},
    };
    Tarn::Test::ScratchFolder folder;
    Tarn::VFS vfs("absent.tarn", false);
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.kind) + c.shape);
        std::ofstream("scene.tarn", std::ios::binary)
            << "begin world\nbegin entity sun\ncomponent light " << c.kind << " 1 0.9 0.8"
            << c.shape << "\nend\nbegin entity box\nend\nend\n";
        testing::internal::CaptureStdout();
        std::unique_ptr<Scene> scene(Scene::createFromScript("scene.tarn"));
        EXPECT_EQ(testing::internal::GetCapturedStdout(),
                  std::string("[Scene] Creating scene from script: scene.tarn\n"
                              "[Scene] Creating new ") +
                      c.kind + " light\n" + c.report);
        ASSERT_NE(scene->entity("sun"), nullptr);
        EXPECT_EQ(scene->entities().at("sun").type, Scene::ET_LIGHT);
        EXPECT_EQ(scene->entities().at("box").type, Scene::ET_OPAQUE);
        auto* component = scene->entity("sun")->getComponent<LightComponent>();
        ASSERT_NE(component, nullptr);
        const Light* light = component->light();
        EXPECT_EQ(light->lightType(), c.type);
        EXPECT_FLOAT_EQ(light->color().y, 0.9f);
        EXPECT_FLOAT_EQ(light->color().z, 0.8f);
        EXPECT_FLOAT_EQ(light->radius(), c.radius);
        EXPECT_FLOAT_EQ(light->cutoffAngle(), c.cutoff);
        EXPECT_FLOAT_EQ(light->cutoffSmoothness(), c.smoothness);
        EXPECT_FLOAT_EQ(light->size().x, c.width);
    }
}

// Logs each processing of its entity with the value the automation writes,
// whether a program was given and the time.
class Recorder : public Component {
public:
    Recorder(std::string name, const float& value, std::vector<std::string>& log)
        : m_name(std::move(name)), m_value(value), m_log(log) {}
    void apply(Tarn::ShaderProgram* program, double time) override {
        m_log.push_back(m_name + " v=" + std::to_string(int(m_value)) + " program=" +
                        std::to_string(program != nullptr) + " t=" + std::to_string(int(time)));
    }

private:
    std::string m_name;
    const float& m_value;
    std::vector<std::string>& m_log;
};

// A scene of hand-made entities: "a" opaque, "cam" and "other" cameras, "l1"
// and "l2" lights, "glass" transparent; one automation writes a value that
// every recorder reads.
class SceneFrameTest : public SceneGLTest {
protected:
    void SetUp() override {
        SceneGLTest::SetUp();
        // Lights and the renderer need the context that SetUp makes current.
        m_light1 = std::make_unique<Light>(Light::LT_POINT);
        m_light2 = std::make_unique<Light>(Light::LT_POINT);
        m_renderer = std::make_unique<Renderer>(64, 64);
        m_property.addValue("v", &m_value);
        m_automation = std::make_unique<Automation>(m_property);
        m_automation->addKeyframe("v", Automation::IT_LINEAR, 0.0, 0.0f);
        m_automation->addKeyframe("v", Automation::IT_LINEAR, 10.0, 10.0f);
        m_scene.addAutomation(m_automation.get());

        add("l2", Scene::ET_LIGHT, new LightComponent(m_light2.get()));
        add("cam", Scene::ET_CAMERA, new CameraComponent(&m_camera));
        add("a", Scene::ET_OPAQUE, nullptr);
        add("other", Scene::ET_CAMERA, new CameraComponent(&m_otherCamera));
        add("l1", Scene::ET_LIGHT, new LightComponent(m_light1.get()));
        add("glass", Scene::ET_TRANSPARENT, nullptr);
    }

    void add(const std::string& name, Scene::EntityType type, Component* first) {
        m_entities.push_back(std::make_unique<Entity>());
        Entity* e = m_entities.back().get();
        if (first)
            e->addComponent(first);
        e->addComponent(new Recorder(name, m_value, m_log));
        m_scene.addEntity(name, type, e);
    }

    float m_value = -1.0f;
    Property m_property;
    std::unique_ptr<Automation> m_automation;
    Camera m_camera;
    Camera m_otherCamera;
    std::unique_ptr<Light> m_light1;
    std::unique_ptr<Light> m_light2;
    std::vector<std::unique_ptr<Entity>> m_entities;
    std::vector<std::string> m_log;
    Scene m_scene;
    std::unique_ptr<Renderer> m_renderer;
};

TEST_F(SceneFrameTest, AutomationsThenCameraThenLightsThenOpaqueEntities) {
    m_scene.setActiveCamera("cam");
    m_scene.render(0.5, 4.0, m_renderer.get());
    const std::vector<std::string> expected = {
        "cam v=4 program=0 t=0",
        "l1 v=4 program=0 t=0",
        "l2 v=4 program=0 t=0",
        "a v=4 program=1 t=4",
    };
    EXPECT_EQ(m_log, expected);
    EXPECT_EQ(m_renderer->camera(), &m_camera);
}

// A scene clip renders at its local time through its own camera; one
// without a scene renders nothing.
TEST_F(SceneFrameTest, SceneClipsRenderAtLocalTime) {
    Tarn::Demo::SceneClip clip(&m_scene, "other", m_renderer.get());
    clip.setStartTime(10.0);
    clip.setStartOffset(2.0);
    clip.setDuration(5.0);
    clip.onFrame(0.02, 13.0);
    EXPECT_EQ(m_scene.activeCamera(), "other");
    EXPECT_EQ(m_renderer->camera(), &m_otherCamera);
    const std::vector<std::string> expected = {
        "l1 v=5 program=0 t=0",
        "l2 v=5 program=0 t=0",
        "other v=5 program=0 t=0",
        "a v=5 program=1 t=5",
    };
    EXPECT_EQ(m_log, expected);

    m_log.clear();
    Tarn::Demo::SceneClip empty(nullptr, "cam", m_renderer.get());
    empty.onFrame(0.02, 1.0);
    EXPECT_TRUE(m_log.empty());
    EXPECT_EQ(m_renderer->camera(), &m_otherCamera);
}

// A cube from -1 to 1, each face wound counter-clockwise from outside, with
// texture coordinates so that the loader can give it tangents.
const char* const kCube = "v -1 -1 1\nv 1 -1 1\nv 1 1 1\nv -1 1 1\n"
                          "v -1 -1 -1\nv 1 -1 -1\nv 1 1 -1\nv -1 1 -1\n"
                          "vt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\n"
                          "vn 0 0 1\nvn 0 0 -1\nvn 1 0 0\nvn -1 0 0\nvn 0 1 0\nvn 0 -1 0\n"
                          "f 1/1/1 2/2/1 3/3/1 4/4/1\nf 6/1/2 5/2/2 8/3/2 7/4/2\n"
                          "f 2/1/3 6/2/3 7/3/3 3/4/3\nf 5/1/4 1/2/4 4/3/4 8/4/4\n"
                          "f 4/1/5 3/2/5 7/3/5 8/4/5\nf 5/1/6 6/2/6 2/3/6 1/4/6\n";

// The example scene, with the sun turned to shine along -Z onto the box's
// front face and the box's material line after its mesh (the order does not
// matter), packed with its library, materials and model into an archive and
// played through a scene clip: the box rises from y = 1 at 0 s to y = 3
// at 4 s, so it first covers the lower half of the picture's middle column
// and then the upper half.
TEST_F(SceneGLTest, ExampleSceneFromArchiveIsLitAndMoves) {
    testing::internal::CaptureStdout();
    Tarn::Ext::AssimpLoader::_register();
    testing::internal::GetCapturedStdout();
    Tarn::Test::ScratchFolder folder;
    const std::vector<std::pair<std::string, std::string>> files = {
        {"assets/library.tarn", "material stone stone.mat\n"
                                "material coal coal.mat\n"
                                "mesh cube cube.obj\n"},
        {"stone.mat", "diffuse 1 1 1\n"},
        {"coal.mat", "diffuse 0.1 0.1 0.1\n"},
        {"cube.obj", kCube},
        {"scenes/example.tarn", "begin world\n"
                                "  begin entity box\n"
                                "    component mesh cube\n"
                                "    component material stone\n"
                                "    property position 0 1 0\n"
                                "  end\n"
                                "  begin entity cam\n"
                                "    component camera 35 1.6 0.1 100\n"
                                "    property position 0 2 10\n"
                                "    property rotation 90 1 0 0\n"
                                "  end\n"
                                "  begin entity sun\n"
                                "    component light directional 1 0.9 0.8\n"
                                "    property rotation 90 1 0 0\n"
                                "  end\n"
                                "  begin automation a1 box position\n"
                                "    key y linear 0 1\n"
                                "    key y cosine 4 3\n"
                                "  end\n"
                                "end\n"},
    };
    testing::internal::CaptureStdout();
    ASSERT_TRUE(Tarn::Test::packArchive("demo.tarn", files))
        << testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStdout();
    Tarn::VFS vfs("demo.tarn", false);
    ASSERT_TRUE(vfs.hasArchive());

    testing::internal::CaptureStdout();
    Tarn::AssetLibrary::instance()->loadAllFromScript("assets/library.tarn");
    std::unique_ptr<Scene> scene(Scene::createFromScript("scenes/example.tarn"));
    const std::string log = testing::internal::GetCapturedStdout();
    EXPECT_NE(log.find("[Scene] Creating scene from script: scenes/example.tarn\n"
                       "[Scene] Creating new camera\n"
                       "[Scene] Creating new directional light\n"),
              std::string::npos)
        << log;

    {
        Renderer renderer(64, 64);
        Tarn::Demo::SceneClip clip(scene.get(), "cam", &renderer);
        clip.setStartTime(10.0);
        clip.setDuration(10.0);
        // Rows counted from the bottom: the camera's eye height, y = 2, is row
        // 32, so the front face lies below it at y = 1 and above it at y = 3;
        // the middle column is the box's, columns 4 and 60 are beside it.
        const struct {
            double now;
            bool lowerLit;
            bool upperLit;
        } frames[] = {{10.0, true, false}, {14.0, false, true}};
        for (const auto& f : frames) {
            clip.onFrame(0.02, f.now);
            const Tarn::Test::Image image =
                Tarn::Test::readTexture(renderer.renderOutput()->target(0)->id());
            const auto lit = [&](int x, int y) { return image.at(x, y)[0] > 0.3f; };
            const bool ok = lit(32, 24) == f.lowerLit && lit(32, 38) == f.upperLit && !lit(4, 24) &&
                            !lit(60, 38);
            EXPECT_TRUE(ok) << "at " << f.now << " s; picture in "
                            << Tarn::Test::writePng(
                                   image, (folder.previous() /
                                           ("scene_example_" + std::to_string(int(f.now))))
                                              .string());
            if (f.lowerLit || f.upperLit) {
                const float* p = image.at(32, f.lowerLit ? 24 : 38);
                EXPECT_GT(p[0], p[2]) << "the sun's warm colour, at " << f.now << " s";
            }
        }
    }
    scene.reset();
    Tarn::AssetLibrary::destroyInstance();
}

// Scripts that once broke building or rendering a scene go through the fuzz
// target's steps again.
TEST_F(SceneGLTest, SavedFuzzInputs) {
    Tarn::Test::ScratchFolder folder;
    Tarn::VFS vfs("absent.tarn", false);
    {
        FuzzAssets assets;
        Renderer renderer(16, 16);
        const auto inputs = Tarn::Test::fuzzRegressionInputs("scene_fuzz");
        ASSERT_FALSE(inputs.empty());
        for (const auto& [name, bytes] : inputs) {
            SCOPED_TRACE(name);
            testing::internal::CaptureStdout();
            renderSceneScript(bytes, "scene.luce", renderer);
            testing::internal::GetCapturedStdout();
        }
    }
    Tarn::AssetLibrary::destroyInstance();
}

}  // namespace
