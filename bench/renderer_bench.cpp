// Cost of a deferred frame at 1024 x 600 with 1, 4 and 16 lights against
// one trivial full-screen pass (a float texture copied to a float target)
// at the same size, in the same run: each light is one shading pass that
// blends into the sum, so it should cost at most 2.5 trivial passes. Also
// the second pass against the same lights shaded and merged in two passes
// each (as the renderer did before), and the heap allocations of a
// steady-state frame, which should be none.
// Needs a display for its hidden GL window (xvfb-run -a where there is none).

#include <tarn/framebuffer.h>
#include <tarn/graphics/camera.h>
#include <tarn/graphics/fullscreenquad.h>
#include <tarn/graphics/gbuffer.h>
#include <tarn/graphics/light.h>
#include <tarn/graphics/mesh.h>
#include <tarn/graphics/renderer.h>
#include <tarn/imagetexture.h>
#include <tarn/shaderprogram.h>
#include <tarn/texture.h>
#include <tarn/vertexbuffer.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <GL/glew.h>
#include <GLFW/glfw3.h>
#include <benchmark/benchmark.h>
#include <glm/glm.hpp>
#include <glm/gtc/matrix_transform.hpp>
#include <glm/gtc/type_ptr.hpp>
#include <unistd.h>

#include "graphics/two_pass_lights.h"
#include "support/allocation_counter.h"
#include "support/gl_bench.h"
#include "support/trivial_pass.h"

namespace {

const unsigned int kWidth = 1024;
const unsigned int kHeight = 600;
const int kMaxLights = 16;

// A UV sphere of radius 1 with the mesh layout position, normal, uv, tangent.
std::unique_ptr<Tarn::Graphics::Mesh> makeSphere(int slices, int stacks) {
    std::vector<float> positions, normals, uvs, tangents;
    std::vector<unsigned int> indices;
    const float pi = 3.14159265358979f;
    for (int j = 0; j <= stacks; ++j)
        for (int i = 0; i <= slices; ++i) {
            const float u = static_cast<float>(i) / slices, v = static_cast<float>(j) / stacks;
            const float phi = u * 2.0f * pi, theta = v * pi;
            const glm::vec3 n(std::sin(theta) * std::cos(phi), std::cos(theta),
                              std::sin(theta) * std::sin(phi));
            positions.insert(positions.end(), {n.x, n.y, n.z});
            normals.insert(normals.end(), {n.x, n.y, n.z});
            uvs.insert(uvs.end(), {u, v});
            tangents.insert(tangents.end(), {-std::sin(phi), 0.0f, std::cos(phi)});
        }
    for (int j = 0; j < stacks; ++j)
        for (int i = 0; i < slices; ++i) {
            const unsigned int a = j * (slices + 1) + i, b = a + slices + 1;
            indices.insert(indices.end(), {a, a + 1, b, a + 1, b + 1, b});
        }
    auto* vbo = new Tarn::VertexBuffer();
    vbo->setAttribute("position", positions.data(), static_cast<unsigned int>(positions.size()), 3);
    vbo->setAttribute("normal", normals.data(), static_cast<unsigned int>(normals.size()), 3);
    vbo->setAttribute("uv", uvs.data(), static_cast<unsigned int>(uvs.size()), 2);
    vbo->setAttribute("tangent", tangents.data(), static_cast<unsigned int>(tangents.size()), 3);
    vbo->setIndices(indices.data(), static_cast<unsigned int>(indices.size()));
    return std::make_unique<Tarn::Graphics::Mesh>(vbo);
}

std::unique_ptr<Tarn::ImageTexture> texel(unsigned char r, unsigned char g, unsigned char b) {
    const unsigned char data[4] = {r, g, b, 255};
    return std::make_unique<Tarn::ImageTexture>(reinterpret_cast<const char*>(data), 1, 1);
}

// Everything a frame needs, made once after the context exists.
struct Scene {
    Tarn::Graphics::Renderer renderer{kWidth, kHeight};
    Tarn::Graphics::Camera camera;
    std::unique_ptr<Tarn::Graphics::Mesh> sphere = makeSphere(48, 24);
    std::unique_ptr<Tarn::ImageTexture> diffuse = texel(200, 120, 60);
    std::unique_ptr<Tarn::ImageTexture> normal = texel(128, 128, 255);
    std::unique_ptr<Tarn::ImageTexture> specular = texel(255, 64, 0);
    std::vector<std::unique_ptr<Tarn::Graphics::Light>> lights;
    std::vector<glm::mat4> models;
    Tarn::Graphics::Renderer::DrawCallback draw;

    Scene() {
        camera.setPosition(glm::vec3(0.0f, 1.5f, 6.0f));
        camera.setTarget(glm::vec3(0.0f));
        camera.setAspectRatio(static_cast<float>(kWidth) / kHeight);
        camera.setFocalLength(18.0f);
        renderer.setCamera(&camera);
        for (int i = 0; i < 5; ++i)
            models.push_back(glm::scale(
                glm::translate(glm::mat4(1.0f), glm::vec3(-4.0f + 2.0f * i, 0.0f, -1.0f * (i % 2))),
                glm::vec3(1.1f)));
        // A large sphere behind, so that most pixels hold geometry.
        models.push_back(glm::scale(glm::translate(glm::mat4(1.0f), glm::vec3(0.0f, 0.0f, -30.0f)),
                                    glm::vec3(28.0f)));
        for (int i = 0; i < kMaxLights; ++i) {
            const auto type = i == 0 ? Tarn::Graphics::Light::LT_AMBIENT
                                     : (i % 3 == 0 ? Tarn::Graphics::Light::LT_SPOT
                                                   : Tarn::Graphics::Light::LT_POINT);
            auto light = std::make_unique<Tarn::Graphics::Light>(type);
            const float angle = i * 0.7f;
            light->setPosition(glm::vec3(4.0f * std::cos(angle), 2.0f, 4.0f * std::sin(angle)));
            light->setDirection(glm::vec3(0.0f, -1.0f, -0.2f));
            light->setRadius(3.0f);
            light->setColor(i == 0 ? glm::vec3(0.1f) : glm::vec3(0.3f, 0.25f, 0.2f));
            lights.push_back(std::move(light));
        }
        draw = [this](Tarn::ShaderProgram* program) {
            diffuse->bind(0);
            normal->bind(1);
            specular->bind(2);
            // The interface's names are made once; a literal longer than the
            // small-string buffer would allocate at every call.
            static const std::string modelName = "model";
            namespace GBuffer = Tarn::Graphics::GBuffer;
            program->uniform(GBuffer::DiffuseIsAnimated, 0);
            program->uniform(GBuffer::SelfIllum, 0.0f);
            program->uniform(GBuffer::ReflectionTypeName, 0);
            program->uniform(GBuffer::ReflectionValue, 0.0f);
            program->uniform(GBuffer::ReflectionFresnel, 0.0f);
            program->uniform(GBuffer::UseProxy, 0);
            for (const glm::mat4& model : models) {
                program->uniform(modelName, glm::value_ptr(model));
                sphere->draw();
            }
            specular->release();
            normal->release();
            diffuse->release();
        };
    }

    void frame(int lightCount) {
        for (int i = 0; i < lightCount; ++i)
            renderer.pushLight(lights[static_cast<std::size_t>(i)].get());
        renderer.renderDeferred(draw);
    }

    // The second pass alone with the cheapest light program, to separate
    // the passes' fixed cost from the cost of the lighting arithmetic.
    void ambientOnly(int lightCount) {
        for (int i = 0; i < lightCount; ++i)
            renderer.pushLight(ambientLights[static_cast<std::size_t>(i)].get());
        renderer.renderSecondPass();
    }
    std::vector<std::unique_ptr<Tarn::Graphics::Light>> ambientLights = makeAmbientLights();

    static std::vector<std::unique_ptr<Tarn::Graphics::Light>> makeAmbientLights() {
        std::vector<std::unique_ptr<Tarn::Graphics::Light>> result;
        for (int i = 0; i < kMaxLights; ++i)
            result.push_back(
                std::make_unique<Tarn::Graphics::Light>(Tarn::Graphics::Light::LT_AMBIENT));
        return result;
    }
};

Scene* g_scene = nullptr;

Tarn::Bench::TrivialPass* g_trivial = nullptr;

void BM_TrivialPass(benchmark::State& state) {
    for (auto _ : state) {
        g_trivial->run();
        glFinish();
    }
}

void BM_Frame(benchmark::State& state) {
    const int lightCount = static_cast<int>(state.range(0));
    for (auto _ : state) {
        g_scene->frame(lightCount);
        glFinish();
    }
}

void BM_SecondPassAmbient(benchmark::State& state) {
    const int lightCount = static_cast<int>(state.range(0));
    for (auto _ : state) {
        g_scene->ambientOnly(lightCount);
        glFinish();
    }
}

BENCHMARK(BM_SecondPassAmbient)
    ->Arg(1)
    ->Arg(16)
    ->MinTime(2.0)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_TrivialPass)->MinTime(2.0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Frame)
    ->Arg(1)
    ->Arg(4)
    ->Arg(16)
    ->MinTime(2.0)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Heap allocations (operator new) per frame once everything is warm.
double allocationsPerFrame(int lightCount) {
    for (int i = 0; i < 3; ++i)
        g_scene->frame(lightCount);
    glFinish();
    const int frames = 20;
    const long before = Tarn::Test::allocationCount();
    for (int i = 0; i < frames; ++i)
        g_scene->frame(lightCount);
    const long after = Tarn::Test::allocationCount();
    glFinish();
    return static_cast<double>(after - before) / frames;
}

// The per-light cost in trivial passes, measured in short interleaved
// rounds so that a change of machine load between the benchmarks above
// falls on both sides of the ratio; the median round is reported.
void reportInterleavedRatio() {
    const int rounds = 9;
    std::vector<double> ratios;
    double trivialSum = 0.0, perLightSum = 0.0;
    for (int round = 0; round < rounds; ++round) {
        const double trivial = Tarn::Bench::secondsPerCall([] { g_trivial->run(); }, 10);
        const double one = Tarn::Bench::secondsPerCall([] { g_scene->frame(1); }, 3);
        const double sixteen = Tarn::Bench::secondsPerCall([] { g_scene->frame(16); }, 2);
        const double perLight = (sixteen - one) / 15.0;
        ratios.push_back(perLight / trivial);
        trivialSum += trivial;
        perLightSum += perLight;
    }
    std::sort(ratios.begin(), ratios.end());
    std::printf("Interleaved, %d rounds: per light %.3f ms, trivial pass %.3f ms (means); "
                "median ratio %.2f trivial passes per light (min %.2f, max %.2f)\n",
                rounds, 1e3 * perLightSum / rounds, 1e3 * trivialSum / rounds, ratios[rounds / 2],
                ratios.front(), ratios.back());
}


// The 16-light second pass, blended into the sum, against the same lights
// shaded and merged in two passes each, over the same G-buffer, in
// interleaved rounds; the median ratio is reported.
void reportBlendedAgainstTwoPass() {
    Tarn::Test::TwoPassLights twoPass(kWidth, kHeight);
    std::vector<Tarn::Graphics::Light*> lights;
    for (const auto& light : g_scene->lights)
        lights.push_back(light.get());
    g_scene->renderer.renderFirstPass(g_scene->draw);
    const int rounds = 9;
    std::vector<double> ratios;
    double blendedSum = 0.0, twoPassSum = 0.0;
    for (int round = 0; round < rounds; ++round) {
        const double blended = Tarn::Bench::secondsPerCall(
            [&] {
                for (Tarn::Graphics::Light* light : lights)
                    g_scene->renderer.pushLight(light);
                g_scene->renderer.renderSecondPass();
            },
            2);
        const double old = Tarn::Bench::secondsPerCall(
            [&] { twoPass.run(g_scene->renderer, lights); }, 2);
        ratios.push_back(blended / old);
        blendedSum += blended;
        twoPassSum += old;
    }
    std::sort(ratios.begin(), ratios.end());
    std::printf("Interleaved, %d rounds, %d lights: blended second pass %.3f ms, two passes a "
                "light %.3f ms (means); median ratio blended / two-pass %.2f (min %.2f, max "
                "%.2f)\n",
                rounds, kMaxLights, 1e3 * blendedSum / rounds, 1e3 * twoPassSum / rounds,
                ratios[rounds / 2], ratios.front(), ratios.back());
}

}  // namespace

int main(int argc, char** argv) {
    Tarn::Bench::GLBench bench("renderer_bench", &argc, argv);
    if (!bench.ok())
        return 1;
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    Scene scene;
    Tarn::Bench::TrivialPass trivial(kWidth, kHeight);
    g_scene = &scene;
    g_trivial = &trivial;
    std::cout << "Frame " << kWidth << "x" << kHeight << ", 6 spheres of " << 48 * 24 * 2
              << " triangles; GL renderer " << glGetString(GL_RENDERER) << std::endl;
    for (int lights : {1, 16})
        std::printf("Heap allocations per frame with %d lights: %.2f\n", lights,
                    allocationsPerFrame(lights));

    Tarn::Bench::RecordingReporter reporter;
    bench.run(reporter);

    const auto trivialTime = reporter.times.find("BM_TrivialPass");
    const auto one = reporter.times.find("BM_Frame/1");
    const auto sixteen = reporter.times.find("BM_Frame/16");
    if (trivialTime != reporter.times.end() && one != reporter.times.end() &&
        sixteen != reporter.times.end() && trivialTime->second > 0) {
        const double perLight = (sixteen->second - one->second) / 15.0;
        std::printf("Cost per light: %.3f ms = %.2f trivial passes of %.3f ms (target <= 2.50)\n",
                    perLight, perLight / trivialTime->second, trivialTime->second);
    }
    reportInterleavedRatio();
    reportBlendedAgainstTwoPass();
    g_scene = nullptr;
    g_trivial = nullptr;
    return bench.glStatus();
}
