// The CPU side of a scene frame for 1,000 entities: every entity's
// automations (position and rotation keys, as scene scripts write them), its
// global transform under a shared parent, and the model matrix handed to the
// draw. GL work (the renderer's passes, uniform uploads, draws) is left out:
// it is measured by renderer_bench. Target: under 1 ms per frame.

#include <tarn/scenegraph/automation.h>
#include <tarn/scenegraph/entity.h>
#include <tarn/scenegraph/transform.h>

#include <memory>
#include <vector>

#include <benchmark/benchmark.h>
#include <glm/glm.hpp>

namespace {

using Tarn::Scenegraph::Automation;
using Tarn::Scenegraph::Entity;

struct Crowd {
    Entity root;
    std::vector<std::unique_ptr<Entity>> entities;
    std::vector<std::unique_ptr<Automation>> automations;

    explicit Crowd(int count) {
        for (int i = 0; i < count; ++i) {
            auto entity = std::make_unique<Entity>();
            entity->transform()->setParent(root.transform());
            auto automation = std::make_unique<Automation>(entity->transform()->translation);
            for (int k = 0; k < 8; ++k) {
                const double t = k * 2.0;
                automation->addKeyframe("x", Automation::IT_SPLINE, t, float(i % 10 + k));
                automation->addKeyframe("y", Automation::IT_COSINE, t, float(k % 3));
                automation->addKeyframe("z", Automation::IT_LINEAR, t, float(-i / 10));
            }
            auto spin = std::make_unique<Automation>(entity->transform()->rotation);
            spin->addKeyframe("z", Automation::IT_LINEAR, 0.0, 0.0f);
            spin->addKeyframe("z", Automation::IT_LINEAR, 16.0, 0.7071f);
            spin->addKeyframe("w", Automation::IT_LINEAR, 0.0, 1.0f);
            spin->addKeyframe("w", Automation::IT_LINEAR, 16.0, 0.7071f);
            automations.push_back(std::move(automation));
            automations.push_back(std::move(spin));
            entities.push_back(std::move(entity));
        }
    }

    // Returns a value that depends on every model matrix, so none is skipped.
    float frame(double time) {
        for (auto& automation : automations)
            automation->process(time);
        float sum = 0.0f;
        for (auto& entity : entities)
            sum += entity->transform()->globalTransform()[3][0];
        return sum;
    }
};

void BM_SceneFrameCpu(benchmark::State& state) {
    Crowd crowd(static_cast<int>(state.range(0)));
    double time = 0.0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(crowd.frame(time));
        time += 1.0 / 60.0;
        if (time > 14.0)
            time = 0.0;
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

}  // namespace

BENCHMARK(BM_SceneFrameCpu)->Arg(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
