#ifndef TARN_TESTS_FUZZ_GL_FUZZ_H
#define TARN_TESTS_FUZZ_GL_FUZZ_H

// What the GL fuzz targets share: the one-time start of a hidden context
// with an archive that serves loose files only, a small mesh laid out as the
// renderer expects, and an asset library for scripts to name. Header-only,
// so a test that replays a target's saved inputs can include the target's
// source.

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include <fstream>

#include <GL/glew.h>
#include <unistd.h>

#include <tarn/assetlibrary.h>
#include <tarn/graphics/material.h>
#include <tarn/graphics/mesh.h>
#include <tarn/vertexbuffer.h>
#include <tarn/vfs.h>

#include "support/gl_context.h"

namespace Tarn::Fuzz {

// Aborts, which the fuzzer reports with the input, unless condition holds.
inline void check(bool condition) {
    if (!condition)
        std::abort();
}

// Writes text to path whole; false when it cannot.
inline bool writeFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
    return static_cast<bool>(out);
}

// One triangle facing +Z with position, normal, uv and tangent.
inline std::unique_ptr<Graphics::Mesh> triangle() {
    const float positions[] = {-1, -1, 0, 1, -1, 0, 0, 1, 0};
    const float normals[] = {0, 0, 1, 0, 0, 1, 0, 0, 1};
    const float uvs[] = {0, 0, 1, 0, 0.5f, 1};
    const float tangents[] = {1, 0, 0, 1, 0, 0, 1, 0, 0};
    const unsigned int indices[] = {0, 1, 2};
    auto* vbo = new VertexBuffer();
    vbo->setAttribute("position", positions, 9, 3);
    vbo->setAttribute("normal", normals, 9, 3);
    vbo->setAttribute("uv", uvs, 6, 2);
    vbo->setAttribute("tangent", tangents, 9, 3);
    vbo->setIndices(indices, 3);
    return std::make_unique<Graphics::Mesh>(vbo);
}

// The material "stone" and the mesh "cube", added to the process's asset
// library for as long as they live (the library does not own them).
struct FuzzAssets {
    Graphics::Material material;
    std::unique_ptr<Graphics::Mesh> mesh = triangle();

    FuzzAssets() {
        AssetLibrary::instance()->addMaterial("stone", &material);
        AssetLibrary::instance()->addMesh("cube", mesh.get());
    }
};

// Makes a 16x16 hidden context current with the depth state the engine
// expects, and an archive over loose files; exits when there is no context.
// Both live until the process ends.
inline void startGL(const char* target) {
    std::string error;
    if (!Test::createHiddenContext(16, 16, error)) {
        std::fprintf(stderr, "%s: no GL context: %s\n", target, error.c_str());
        std::exit(1);
    }
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    new VFS("/nonexistent/" + std::string(target) + ".tarn", false);
}

// Where a target writes the script it is given: one file per process.
inline std::string scriptPath(const char* target) {
    return "/tmp/tarn_" + std::string(target) + "_" + std::to_string(static_cast<long>(getpid()));
}

}  // namespace Tarn::Fuzz

#endif
