// Builds a scene from arbitrary script text and renders it at several times
// (before, inside and far past any keys, and not a number) through a small
// deferred renderer, aborting when something that must hold for any script
// does not: a scene comes back, everything it registered is there, and GL
// reports no error. The asset library knows the material "stone" and the
// mesh "cube", so component lines can find targets. Needs a display for its
// hidden GL context (scripts/fuzz runs it under xvfb-run where there is
// none). scene_gl_test replays tests/fuzz/regressions/scene_fuzz/ through
// renderSceneScript in its own context.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include <GL/glew.h>

#include <tarn/graphics/renderer.h>
#include <tarn/scenegraph/entity.h>
#include <tarn/scenegraph/scene.h>

#include "fuzz/gl_fuzz.h"

namespace {

using Tarn::Fuzz::check;
using Tarn::Fuzz::FuzzAssets;

// Needs a current GL context, an archive (VFS::tarnVFS) and a live FuzzAssets.
// Writes the script as a loose file at `path`.
void renderSceneScript(const std::string& text, const std::string& path,
                       Tarn::Graphics::Renderer& renderer) {
    if (!Tarn::Fuzz::writeFile(path, text))
        return;
    std::unique_ptr<Tarn::Scenegraph::Scene> scene(Tarn::Scenegraph::Scene::createFromScript(path));
    check(scene != nullptr);
    std::string camera = "none";
    for (const auto& [name, entry] : scene->entities()) {
        check(entry.entity != nullptr && scene->entity(name) == entry.entity);
        if (entry.type == Tarn::Scenegraph::Scene::ET_CAMERA)
            camera = name;
    }
    for (const auto* automation : scene->automations())
        check(automation != nullptr);
    scene->setActiveCamera(camera);
    for (double time : {-1.0, 0.0, 0.5, 3.0, 1e9, std::nan("")})
        scene->render(1.0 / 60.0, time, &renderer);
    check(glGetError() == GL_NO_ERROR);
    scene.reset();
    renderer.setCamera(nullptr);
    std::remove(path.c_str());
}

}  // namespace

#ifndef TARN_SCENE_FUZZ_NO_MAIN
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Made once for the whole run and left to the process's exit.
    static Tarn::Graphics::Renderer* renderer = [] {
        Tarn::Fuzz::startGL("scene_fuzz");
        new FuzzAssets();
        return new Tarn::Graphics::Renderer(16, 16);
    }();
    static const std::string path = Tarn::Fuzz::scriptPath("scene_fuzz");
    renderSceneScript(std::string(reinterpret_cast<const char*>(data), size), path, *renderer);
    return 0;
}
#endif
