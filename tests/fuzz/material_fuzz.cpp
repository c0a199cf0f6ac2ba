// Builds a material from arbitrary script text and draws a triangle with it
// through a small deferred renderer at several times (a video's frame time
// comes from it), aborting when no material comes back or GL reports an
// error. Texture lines name paths that do not exist, or whatever the input
// names. Needs a display for its hidden GL context (scripts/fuzz runs it
// under xvfb-run where there is none). material_gl_test replays
// tests/fuzz/regressions/material_fuzz/ through renderMaterialScript in its
// own context.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include <GL/glew.h>

#include <tarn/graphics/material.h>
#include <tarn/graphics/mesh.h>
#include <tarn/graphics/renderer.h>
#include <tarn/shaderprogram.h>

#include "fuzz/gl_fuzz.h"

namespace {

// Needs a current GL context and an archive (VFS::tarnVFS). Writes the
// script as a loose file at `path`.
void renderMaterialScript(const std::string& text, const std::string& path,
                          Tarn::Graphics::Renderer& renderer, Tarn::Graphics::Mesh& mesh) {
    if (!Tarn::Fuzz::writeFile(path, text))
        return;
    std::unique_ptr<Tarn::Graphics::Material> material(
        Tarn::Graphics::Material::createFromScript(path));
    Tarn::Fuzz::check(material != nullptr);
    for (double time : {-1.0, 0.0, 0.5, 3.0, 1e9, std::nan("")})
        renderer.renderDeferred([&](Tarn::ShaderProgram* program) {
            material->apply(program, time);
            mesh.draw();
        });
    Tarn::Fuzz::check(glGetError() == GL_NO_ERROR);
    std::remove(path.c_str());
}

}  // namespace

#ifndef TARN_MATERIAL_FUZZ_NO_MAIN
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Made once for the whole run and left to the process's exit.
    static Tarn::Graphics::Mesh* mesh = [] {
        Tarn::Fuzz::startGL("material_fuzz");
        return Tarn::Fuzz::triangle().release();
    }();
    static Tarn::Graphics::Renderer* renderer = new Tarn::Graphics::Renderer(16, 16);
    static const std::string path = Tarn::Fuzz::scriptPath("material_fuzz");
    renderMaterialScript(std::string(reinterpret_cast<const char*>(data), size), path, *renderer,
                         *mesh);
    return 0;
}
#endif
