// Scene scripts without GL (no light lines): entity blocks and their types,
// cameras, transform lines, automation blocks and keys, the outer-block and
// duplicate-name rules, and the exact text of every message.

#include "tarn/scenegraph/scene.h"

#include <cmath>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/scratch_folder.h"
#include "tarn/assetlibrary.h"
#include "tarn/audio/tempogrid.h"
#include "tarn/diagnostics.h"
#include "tarn/graphics/camera.h"
#include "tarn/graphics/mesh.h"
#include "tarn/scenegraph/automation.h"
#include "tarn/scenegraph/cameracomponent.h"
#include "tarn/scenegraph/entity.h"
#include "tarn/scenegraph/meshcomponent.h"
#include "tarn/vfs.h"

namespace {

using Tarn::Scenegraph::Automation;
using Tarn::Scenegraph::CameraComponent;
using Tarn::Scenegraph::Entity;
using Tarn::Scenegraph::MeshComponent;
using Tarn::Scenegraph::Scene;

// Each test gets a folder of its own with a "cube" mesh and a failed "ghost"
// in the shared library; scripts are loose files read through an archive-less reader.
class SceneScriptTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_vfs = std::make_unique<Tarn::VFS>("absent.tarn", false);
        Tarn::AssetLibrary::instance()->addMesh("cube", &m_cube);
        std::ofstream("library.tarn", std::ios::binary) << "mesh ghost missing.obj\n";
        testing::internal::CaptureStdout();
        Tarn::AssetLibrary::instance()->loadAllFromScript("library.tarn");
        testing::internal::GetCapturedStdout();
    }
    void TearDown() override {
        Tarn::AssetLibrary::destroyInstance();
        m_vfs.reset();
    }

    // Builds the scene from text; keeps what it printed and its problems.
    std::unique_ptr<Scene> build(const std::string& text,
                                 const Tarn::Audio::TempoGrid* tempo = nullptr) {
        std::ofstream("scene.tarn", std::ios::binary) << text;
        Tarn::Diagnostics::ProblemList problems;
        Tarn::Diagnostics::ScopedCollector collect(problems);
        testing::internal::CaptureStdout();
        std::unique_ptr<Scene> scene(Scene::createFromScript("scene.tarn", tempo));
        m_output = testing::internal::GetCapturedStdout();
        m_problems = problems.lines();
        return scene;
    }

    Tarn::Test::ScratchFolder m_folder;
    std::unique_ptr<Tarn::VFS> m_vfs;
    Tarn::Graphics::Mesh m_cube{nullptr};
    std::string m_output;
    std::vector<std::string> m_problems;
};

const char* const kHeader = "[Scene] Creating scene from script: scene.tarn\n";

// The example scene without its light: a box moved by an automation and a
// camera; the camera line changes only the camera entity's type.
TEST_F(SceneScriptTest, ExampleSceneBuildsEntitiesCameraAndAutomation) {
    auto scene = build("begin world\n"
                       "  begin entity box\n"
                       "    component mesh cube\n"
                       "    property position 0 1 0\n"
                       "  end\n"
                       "  begin entity cam\n"
                       "    component camera 35 1.6 0.1 100\n"
                       "    property position 0 2 10\n"
                       "    property rotation 90 1 0 0\n"
                       "  end\n"
                       "  begin entity after\n"
                       "    component mesh cube\n"
                       "  end\n"
                       "  begin automation a1 box position\n"
                       "    key y linear 0 1\n"
                       "    key y cosine 4 3\n"
                       "  end\n"
                       "end\n");
    EXPECT_EQ(m_output, std::string(kHeader) + "[Scene] Creating new camera\n");
    ASSERT_EQ(scene->entities().size(), 3u);
    EXPECT_EQ(scene->entities().at("box").type, Scene::ET_OPAQUE);
    EXPECT_EQ(scene->entities().at("cam").type, Scene::ET_CAMERA);
    EXPECT_EQ(scene->entities().at("after").type, Scene::ET_OPAQUE);
    EXPECT_TRUE(scene->activeCamera().empty());

    ASSERT_NE(scene->entity("box")->getComponent<MeshComponent>(), nullptr);
    EXPECT_EQ(scene->entity("box")->getComponent<MeshComponent>()->mesh(), &m_cube);

    auto* cameraComponent = scene->entity("cam")->getComponent<CameraComponent>();
    ASSERT_NE(cameraComponent, nullptr);
    Tarn::Graphics::Camera* camera = cameraComponent->camera();
    EXPECT_FLOAT_EQ(camera->focalLength(), 35.0f);
    EXPECT_FLOAT_EQ(camera->aspectRatio(), 1.6f);
    EXPECT_FLOAT_EQ(camera->clipPlanes().x, 0.1f);
    EXPECT_FLOAT_EQ(camera->clipPlanes().y, 100.0f);
    EXPECT_FLOAT_EQ(scene->entity("cam")->transform()->translation.get("z"), 10.0f);

    ASSERT_EQ(scene->automations().size(), 1u);
    auto& box = scene->entity("box")->transform()->translation;
    scene->automations()[0]->process(2.0);
    EXPECT_FLOAT_EQ(box.get("y"), 2.0f);  // halfway along the cosine ease
    scene->automations()[0]->process(4.0);
    EXPECT_FLOAT_EQ(box.get("y"), 3.0f);
}

// Transform lines: the rotation axis is used as written, and property lines
// outside an entity block change nothing.
TEST_F(SceneScriptTest, TransformLines) {
    const float s = 0.70710677f;
    const struct {
        const char* line;
        const char* property;
        float x, y, z, w;
    } cases[] = {
        {"property position 1 -2 3.5", "position", 1, -2, 3.5f, 0},
        {"property scale 2 abc 4", "scale", 1, 1, 1, 0},  // not a number: the line is skipped
        {"property rotation 90 0 0 1", "rotation", 0, 0, s, s},
        {"property rotation 90 0 0 2", "rotation", 0, 0, 2 * s, s},
        {"property rotation 180 1 0 0", "rotation", 1, 0, 0, -4.371139e-08f},
    };
    for (const auto& c : cases) {
        auto scene = build(std::string("begin world\nbegin entity e\n") + c.line +
                           "\nend\nproperty position 9 9 9\nend\n");
        Entity* e = scene->entity("e");
        ASSERT_NE(e, nullptr) << c.line;
        Tarn::Scenegraph::Transform* t = e->transform();
        auto& p = std::string(c.property) == "position" ? t->translation
                  : std::string(c.property) == "scale"  ? t->scale
                                                        : t->rotation;
        EXPECT_NEAR(p.get("x"), c.x, 1e-6f) << c.line;
        EXPECT_NEAR(p.get("y"), c.y, 1e-6f) << c.line;
        EXPECT_NEAR(p.get("z"), c.z, 1e-6f) << c.line;
        EXPECT_NEAR(p.get("w"), c.w, 1e-6f) << c.line;  // reads 0 where there is no w
    }
}

// Only the first outermost block is read; the first entity of a name wins.
TEST_F(SceneScriptTest, OuterBlockAndDuplicateNames) {
    auto unwrapped = build("begin entity a\nend\nbegin entity b\nend\n");
    EXPECT_EQ(unwrapped->entities().size(), 1u);
    EXPECT_NE(unwrapped->entity("a"), nullptr);

    auto twice = build("begin world\n"
                       "begin entity a\nproperty position 1 0 0\nend\n"
                       "begin entity a\nproperty position 2 0 0\nend\n"
                       "end\n");
    ASSERT_EQ(twice->entities().size(), 1u);
    EXPECT_FLOAT_EQ(twice->entity("a")->transform()->translation.get("x"), 1.0f);
}

// Keys outside an automation block, or in a block that made no automation,
// are ignored; an automation may name only an entity already closed.
TEST_F(SceneScriptTest, KeysNeedAnOpenAutomation) {
    auto scene = build("begin world\n"
                       "key y linear 0 5\n"
                       "begin entity box\n"
                       "begin automation early box position\n"
                       "key y linear 0 5\n"
                       "end\n"
                       "end\n"
                       "begin automation a box scale\n"
                       "key x hold 0 7\n"
                       "end\n"
                       "key x hold 0 9\n"
                       "end\n");
    ASSERT_EQ(scene->automations().size(), 1u);
    auto& scale = scene->entity("box")->transform()->scale;
    scene->automations()[0]->process(1.0);
    EXPECT_FLOAT_EQ(scale.get("x"), 7.0f);
    EXPECT_EQ(scene->automations()[0]->keyframes("x").size(), 1u);
    EXPECT_FLOAT_EQ(scene->entity("box")->transform()->translation.get("y"), 0.0f);
}

// Each faulty line prints one line naming the script and line number and is
// skipped; the rest of the script still loads. No content is lost silently:
// lines no keyword takes, and entities or automations that never reach their
// end, say so too.
TEST_F(SceneScriptTest, FaultyLinesAreReportedAndSkipped) {
    const struct {
        const char* body;
        const char* message;
        std::size_t entities;
        std::size_t automations;
        bool wrapped = true;  // in "begin world" ... "end"
    } cases[] = {
        {"begin entity e\ncomponent material stone\nend\n",
         "[Scene] scene.tarn:3: unknown material \"stone\"\n", 1, 0},
        {"begin entity e\ncomponent mesh sphere\nend\n",
         "[Scene] scene.tarn:3: unknown mesh \"sphere\"; valid names: cube, ghost\n", 1, 0},
        // Its library line said why; the mesh is left out quietly.
        {"begin entity e\ncomponent mesh ghost\nend\n", "", 1, 0},
        {"begin entity e\ncomponent sound x\nend\n",
         "[Scene] scene.tarn:3: unknown component \"sound\"; valid names: material, mesh, camera, "
         "light\n",
         1, 0},
        {"begin entity e\ncomponent\nend\n",
         "[Scene] scene.tarn:3: component needs 1 arguments; line skipped\n", 1, 0},
        {"begin entity e\ncomponent mesh\nend\n",
         "[Scene] scene.tarn:3: component mesh needs 2 arguments; line skipped\n", 1, 0},
        {"begin entity e\ncomponent camera 35 1.6 0.1\nend\n",
         "[Scene] scene.tarn:3: component camera needs 5 arguments; line skipped\n", 1, 0},
        {"begin entity e\ncomponent light point 1 1\nend\n",
         "[Scene] scene.tarn:3: component light needs 5 arguments; line skipped\n", 1, 0},
        {"begin entity e\nproperty position 1 2\nend\n",
         "[Scene] scene.tarn:3: property position needs 4 arguments; line skipped\n", 1, 0},
        {"begin entity e\nproperty rotation 90 0 1\nend\n",
         "[Scene] scene.tarn:3: property rotation needs 5 arguments; line skipped\n", 1, 0},
        {"begin entity\nproperty scale 1 1 1\nend\n",
         "[Scene] scene.tarn:2: begin entity needs 1 arguments; line skipped\n"
         "[Scene] scene.tarn:3: property outside an entity block; line ignored\n",
         0, 0},
        {"begin entity e\nend\nbegin automation a e\nkey x linear 0 1\nend\n",
         "[Scene] scene.tarn:4: begin automation needs 3 arguments; line skipped\n"
         "[Scene] scene.tarn:5: key of an automation that was not made; line ignored\n",
         1, 0},
        {"begin automation a ghost position\nkey x linear 0 1\nend\n",
         "[Scene] scene.tarn:2: automation names unknown entity \"ghost\"\n"
         "[Scene] scene.tarn:3: key of an automation that was not made; line ignored\n",
         0, 0},
        {"begin entity box\nend\nbegin automation a bx position\nkey x linear 0 1\nend\n",
         "[Scene] scene.tarn:4: automation names unknown entity \"bx\"; did you mean \"box\"?\n"
         "[Scene] scene.tarn:5: key of an automation that was not made; line ignored\n",
         1, 0},
        {"begin entity e\nend\nbegin automation a e colour\nkey x linear 0 1\nend\n",
         "[Scene] scene.tarn:4: automation names unknown property \"colour\"; valid names: "
         "position, rotation, scale, target, up\n"
         "[Scene] scene.tarn:5: key of an automation that was not made; line ignored\n",
         1, 0},
        {"frobnicate 1\nbegin:entity e\n",
         "[Scene] scene.tarn:2: unknown keyword \"frobnicate\"; line ignored\n"
         "[Scene] scene.tarn:3: unknown keyword \"begin:entity\"; line ignored\n",
         0, 0},
        {"begin entity e\nproperty colour 1 0 0\nend\n",
         "[Scene] scene.tarn:3: unknown property \"colour\"; line ignored; valid names: position, "
         "rotation, scale, target, up\n",
         1, 0},
        {"component camera 35 1.6 0.1 100\nproperty position 1 0 0\nkey x linear 0 1\n",
         "[Scene] scene.tarn:2: component outside an entity block; line ignored\n"
         "[Scene] scene.tarn:3: property outside an entity block; line ignored\n"
         "[Scene] scene.tarn:4: key outside an automation block; line ignored\n",
         0, 0},
        {"begin entity e\nend\nbegin entity e\nproperty position 1 0 0\nend\n",
         "[Scene] scene.tarn:4: entity \"e\" is already defined; this one is left out\n", 1, 0},
        {"begin entity a\nbegin entity b\nend\nend\n",
         "[Scene] scene.tarn:2: entity \"a\" has no end before entity \"b\" begins; it is left "
         "out\n",
         1, 0},
        {"begin world\nbegin entity e\nproperty position 1 0 0\n",
         "[Scene] scene.tarn:2: entity \"e\" has no end; it is left out\n", 0, 0, false},
        {"begin world\nbegin entity e\nend\nbegin automation a e position\nkey x linear 0 1\n",
         "[Scene] scene.tarn:4: automation has no end; it is left out\n", 1, 0, false},
        {"begin world\nend\nbegin entity late\nend\n",
         "[Scene] scene.tarn:3: after the outermost block, which ended on line 2; line ignored\n"
         "[Scene] scene.tarn:4: after the outermost block, which ended on line 2; line ignored\n",
         0, 0, false},
        {"begin entity e\nend\nbegin automation a e position\nkey x linear\nkey x hold 0 1\nend\n",
         "[Scene] scene.tarn:5: key needs 4 arguments; line skipped\n", 1, 1},
        // Numbers are whole finite tokens: a typo is reported, never read as 0.
        {"begin entity e\nproperty position 1 x2 3\nend\n",
         "[Scene] scene.tarn:3: \"x2\" is not a number; line skipped\n", 1, 0},
        {"begin entity e\ncomponent light point 1 1 1 nan\nend\n",
         "[Scene] scene.tarn:3: \"nan\" is not a number; line skipped\n", 1, 0},
        {"begin entity e\ncomponent camera 35 1.6 0.1 1e999\nend\n",
         "[Scene] scene.tarn:3: \"1e999\" is not a number; line skipped\n", 1, 0},
        {"begin entity e\ncomponent camera 0 0 0 0\nend\n",
         "[Scene] scene.tarn:3: component camera needs a focal length and an aspect ratio above 0 "
         "and clip planes 0 < near < far; line skipped\n",
         1, 0},
        {"begin entity e\nend\nbegin automation a e position\nkey x linear 0 inf\n"
         "key x linear 1s 1\nend\n",
         "[Scene] scene.tarn:5: \"inf\" is not a number; line skipped\n"
         "[Scene] scene.tarn:6: the key's time \"1s\" is not a number; line skipped\n",
         1, 1},
    };
    for (const auto& c : cases) {
        auto scene = build(c.wrapped ? std::string("begin world\n") + c.body + "end\n" : c.body);
        EXPECT_EQ(m_output, std::string(kHeader) + c.message) << c.body;
        EXPECT_EQ(scene->entities().size(), c.entities) << c.body;
        EXPECT_EQ(scene->automations().size(), c.automations) << c.body;
    }
}

TEST_F(SceneScriptTest, MissingScriptGivesAnEmptyScene) {
    testing::internal::CaptureStdout();
    std::unique_ptr<Scene> scene(Scene::createFromScript("scenes/none.tarn"));
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "[Scene] Creating scene from script: scenes/none.tarn\n"
              "[VFS] File scenes/none.tarn not found in archive nor in real FS.\n"
              "[Scene] scenes/none.tarn: script cannot be read; the scene is empty\n");
    ASSERT_NE(scene, nullptr);
    EXPECT_TRUE(scene->entities().empty());
    EXPECT_TRUE(scene->automations().empty());
}

// Each fault at its line: a nested block is skipped with its keys, the outer
// one keeps its own; a key out of time order is put in its place.
TEST_F(SceneScriptTest, AutomationBlocksKeepTheirKeysInTimeOrder) {
    const struct {
        const char* keys;  // from line 5, in "begin automation a box position" on line 4
        std::vector<std::string> problems;
        std::vector<double> xTimes;  // in list order, negative for a linear key
    } cases[] = {
        {"key x hold 0 1\nbegin automation b box scale\nkey x hold 0 9\nend\nkey x hold 2 3\n",
         {"scene.tarn:6: automation begins inside the automation opened on line 4; it and its "
          "keys are skipped"},
         {0, 2}},
        {"key x hold 3 1\nkey x hold 5 1\nkey x hold 2 0\nkey x hold 5 2\nkey x hold 4 0\n",
         {"scene.tarn:7: key at 2 s for \"box\" position x is earlier than the key at 5 s on line "
          "6; keys must be in time order; it is put in its place",
          "scene.tarn:9: key at 4 s for \"box\" position x is earlier than the key at 5 s on line "
          "8; keys must be in time order; it is put in its place"},
         {2, 3, 4, 5, 5}},
        {"key x hld 1 1\nkey w hold 0 1\n",
         {"scene.tarn:5: unknown interpolation \"hld\"; linear is used; did you mean \"hold\"?",
          "scene.tarn:6: property \"position\" has no value \"w\"; key ignored"},
         {-1}},
    };
    for (const auto& c : cases) {
        auto scene = build(std::string("begin world\nbegin entity box\nend\nbegin automation a box "
                                       "position\n") +
                           c.keys + "end\nend\n");
        EXPECT_EQ(m_problems, c.problems) << c.keys;
        std::vector<double> times;
        for (const Automation::Keyframe& key : scene->automations().at(0)->keyframes("x"))
            times.push_back(key.interpolationType == Automation::IT_LINEAR ? -key.time : key.time);
        EXPECT_EQ(times, c.xTimes) << c.keys;
    }
}

// A key's bar time counts from the scene's time 0 on the demo's tempo (120
// bpm, 3 beats a bar: 1.5 s), without the tempo's offset; without a tempo, or
// off the bar, the key is reported and skipped. Seconds read as before.
TEST_F(SceneScriptTest, KeyTimesOnTheTempoGrid) {
    const Tarn::Audio::TempoGrid waltz(120.0, 7.0, 3);
    const struct {
        const Tarn::Audio::TempoGrid* tempo;
        const char* time;
        std::vector<double> xTimes;
        std::vector<std::string> problems;
    } rows[] = {
        {&waltz, "2:1.5", {0, 3.75}, {}},
        {&waltz, "0:0", {0, 0}, {}},
        {&waltz, "0.25", {0, 0.25}, {}},
        {nullptr, "4", {0, 4}, {}},
        {nullptr,
         "2:1",
         {0},
         {"scene.tarn:6: the key's time: bar time \"2:1\" needs a tempo line before it (in the "
          "demo script, before the scene lines); line skipped"}},
        {&waltz,
         "2:3",
         {0},
         {"scene.tarn:6: the key's time: bar time \"2:3\" has beat 3; a bar has 3 beats; line "
          "skipped"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.time);
        auto scene = build(std::string("begin world\nbegin entity box\nend\nbegin automation a "
                                       "box position\nkey x hold 0 1\nkey x linear ") +
                               row.time + " 2\nend\nend\n",
                           row.tempo);
        EXPECT_EQ(m_problems, row.problems);
        std::vector<double> times;
        for (const Automation::Keyframe& key : scene->automations().at(0)->keyframes("x"))
            times.push_back(key.time);
        EXPECT_EQ(times, row.xTimes);
    }
}

// The camera at (0, 0, 10), turned to look along -Z, looks at the row's point
// at 1 s, the row's up vector up; a target at its position keeps the turn.
TEST_F(SceneScriptTest, CamerasAimAtTheirTarget) {
    const struct {
        const char* lines;
        glm::vec3 looksAt, up;
    } cases[] = {
        {"property target 3 -2 4\n", {3, -2, 4}, {0, 1, 0}},
        {"property target 0 0 0\nproperty up 1 1 0\n", {0, 0, 0}, {1, 1, 0}},
        {"property target 0 0 10\n", {0, 0, -50}, {0, 1, 0}},
        {"end\nbegin automation a cam target\nkey x hold 0 0\nkey x linear 4 8\n",
         {2, 0, 0},
         {0, 1, 0}},
        {"property target 0 0 0\nend\nbegin automation a cam position\nkey y hold 0 8\nend\n"
         "begin automation b cam up\nkey x hold 0 1\nkey y hold 0 0\n",
         {0, 0, 0},
         {1, 0, 0}},
    };
    for (const auto& c : cases) {
        auto scene =
            build(std::string("begin world\nbegin entity cam\ncomponent camera 35 1 0.1 100\n"
                              "property position 0 0 10\nproperty rotation 90 1 0 0\n") +
                  c.lines + "end\nend\n");
        EXPECT_TRUE(m_problems.empty()) << c.lines;
        for (Automation* automation : scene->automations())
            automation->process(1.0);
        scene->entity("cam")->process(nullptr, 0.0);
        auto* camera = scene->entity("cam")->getComponent<CameraComponent>()->camera();
        const glm::vec3 point(camera->viewMatrix() * glm::vec4(c.looksAt, 1.0f));
        const glm::vec3 up(camera->viewMatrix() * glm::vec4(c.up, 0.0f));
        EXPECT_TRUE(glm::length(glm::vec2(point)) < 1e-4f && point.z < 0.0f) << c.lines;
        EXPECT_TRUE(std::abs(up.x) < 1e-4f && up.y > 0.0f) << c.lines;
    }
}

}  // namespace
