#include "tarn/graphics/meshfactory.h"

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tarn/graphics/mesh.h"

namespace {

using Tarn::Graphics::Mesh;
using Tarn::Graphics::MeshFactory;

// Loaders registered here carry this prefix, apart from those of any other
// test in the process.
const std::string kPrefix = "meshfactory_test.";

// Each step registers or loads and states the one line it prints, the loader
// calls it causes, and whether the result is the first loader's mesh.
TEST(MeshFactoryTest, RegistersLoadsAndReportsByName) {
    std::vector<std::string> calls;
    Mesh* const firstMesh = new Mesh(nullptr);
    const MeshFactory::Loader first = [&](const std::string& file) {
        calls.push_back("first " + file);
        return firstMesh;
    };
    const MeshFactory::Loader second = [&](const std::string& file) {
        calls.push_back("second " + file);
        return nullptr;
    };
    const MeshFactory::Loader failing = [&](const std::string& file) -> Mesh* {
        calls.push_back("failing " + file);
        return nullptr;
    };
    enum Action { Add, Load };
    const struct {
        Action action;
        std::string name;
        MeshFactory::Loader loader;
        std::string file;
        std::string output;
        std::vector<std::string> calls;
        Mesh* result;
    } steps[] = {
        {Load,
         "a",
         {},
         "early.obj",
         "[MeshFactory] Loader \"" + kPrefix + "a\" does not exist.\n",
         {},
         nullptr},
        {Add,
         "a",
         first,
         "",
         "[MeshFactory] Registered loader \"" + kPrefix + "a\"\n",
         {},
         nullptr},
        {Add,
         "a",
         second,
         "",
         "[MeshFactory] Loader \"" + kPrefix + "a\" already exists.\n",
         {},
         nullptr},
        {Load, "a", {}, "rock.obj", "", {"first rock.obj"}, firstMesh},
        {Add,
         "failing",
         failing,
         "",
         "[MeshFactory] Registered loader \"" + kPrefix + "failing\"\n",
         {},
         nullptr},
        {Load, "failing", {}, "rock.obj", "", {"failing rock.obj"}, nullptr},
        {Load,
         "A",
         {},
         "rock.obj",
         "[MeshFactory] Loader \"" + kPrefix + "A\" does not exist.\n",
         {},
         nullptr},
        {Add,
         "empty",
         {},
         "",
         "[MeshFactory] Loader \"" + kPrefix + "empty\" is empty and is not registered\n",
         {},
         nullptr},
        {Load,
         "empty",
         {},
         "rock.obj",
         "[MeshFactory] Loader \"" + kPrefix + "empty\" does not exist.\n",
         {},
         nullptr},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE((step.action == Add ? "add " : "load ") + step.name);
        calls.clear();
        testing::internal::CaptureStdout();
        if (step.action == Add)
            MeshFactory::addLoader(kPrefix + step.name, step.loader);
        else
            EXPECT_EQ(MeshFactory::load(step.file, kPrefix + step.name), step.result);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), step.output);
        EXPECT_EQ(calls, step.calls);
    }
    delete firstMesh;
}

}  // namespace
