#include "tarn/graphics/fullscreenquad.h"

#include <GL/glew.h>

#include "tarn/shader.h"
#include "tarn/shaderprogram.h"
#include "tarn/vertexbuffer.h"

namespace Tarn::Graphics::FullscreenQuad {

namespace {

// Built on first use, never destroyed: every pass of the run shares them.
VertexBuffer* fsQuad = nullptr;
ShaderProgram* s_final_program = nullptr;
Shader* s_final_vertex = nullptr;
Shader* s_final_fragment = nullptr;
ShaderProgram* s_copy_program = nullptr;
Shader* s_copy_fragment = nullptr;

const char* const kBlitVertex = R"(#version 330 core
layout(location = 0) in vec3 position;
layout(location = 1) in vec2 uv;
out vec3 v_position;
out vec2 v_uv;
void main() {
    v_position = position;
    v_uv = uv;
    gl_Position = vec4(position, 1.0);
}
)";

// At the frame's size or larger: level 0 through the magnification filter,
// since a level of detail taken from derivatives can land a hair above 0 on
// a same-size copy, where linear minification then blends in a neighbour
// (FullscreenQuadGLTest.BlitCopiesAFloatTextureExactly). Into a smaller
// window (full screen may give a smaller mode than asked): the mean of the
// texels under each pixel, weighted by how much of each it covers, instead
// of the one nearest texel, which aliases
// (FullscreenQuadGLTest.BlitFiltersWhenTheWindowIsSmaller). Footprints over
// 16 texels a side are cut to their first 16.
const char* const kBlitFragment = R"(#version 330 core
uniform sampler2D rt_final;
in vec3 v_position;
in vec2 v_uv;
layout(location = 0) out vec4 fragColor;
const int MAX_TEXELS = 16;
void main() {
    ivec2 size = textureSize(rt_final, 0);
    // Texels per window pixel: v_uv moves linearly across the quad.
    vec2 scale = abs(vec2(dFdx(v_uv.x), dFdy(v_uv.y))) * vec2(size);
    if (scale.x < 1.001 && scale.y < 1.001) {
        fragColor = textureLod(rt_final, v_uv, 0.0);
        return;
    }
    scale = max(scale, vec2(1.0));
    vec2 low = v_uv * vec2(size) - 0.5 * scale;
    vec2 high = low + scale;
    ivec2 first = ivec2(floor(low));
    vec4 sum = vec4(0.0);
    float weights = 0.0;
    for (int j = 0; j < MAX_TEXELS; ++j) {
        float y = float(first.y + j);
        if (y >= high.y)
            break;
        float wy = min(high.y, y + 1.0) - max(low.y, y);
        for (int i = 0; i < MAX_TEXELS; ++i) {
            float x = float(first.x + i);
            if (x >= high.x)
                break;
            float w = wy * (min(high.x, x + 1.0) - max(low.x, x));
            ivec2 texel = clamp(ivec2(first.x + i, first.y + j), ivec2(0), size - 1);
            sum += w * texelFetch(rt_final, texel, 0);
            weights += w;
        }
    }
    fragColor = sum / weights;
}
)";

// The blit's branch for a viewport of the texture's size or larger, alone:
// the same lookup, without the derivatives and the filtering loop, which a
// renderer that runs every branch (a software one) would still pay for at
// every pixel.
const char* const kCopyFragment = R"(#version 330 core
uniform sampler2D rt_final;
in vec2 v_uv;
layout(location = 0) out vec4 fragColor;
void main() {
    fragColor = textureLod(rt_final, v_uv, 0.0);
}
)";

// Built on first use with rt_final on unit 0, and made current.
void bindProgram(ShaderProgram*& program, Shader*& fragment, const char* name,
                 const char* source) {
    if (program) {
        program->bind();
        return;
    }
    if (!s_final_vertex)
        s_final_vertex = new Shader(Shader::VERTEX_SHADER, kBlitVertex);
    fragment = new Shader(Shader::FRAGMENT_SHADER, source);
    program = new ShaderProgram(name);
    program->set(s_final_vertex);
    program->set(fragment);
    program->link();
    program->bind();
    if (program->linked())
        program->uniform("rt_final", 0);
}

VertexBuffer* makeQuad() {
    const float positions[] = {-1.0f, -1.0f, 0.0f, 1.0f,  -1.0f, 0.0f,
                               1.0f,  1.0f,  0.0f, -1.0f, 1.0f,  0.0f};
    const float uvs[] = {0.0f, 0.0f, 1.0f, 0.0f, 1.0f, 1.0f, 0.0f, 1.0f};
    const unsigned int indices[] = {0, 1, 2, 0, 2, 3};
    auto* quad = new VertexBuffer();
    quad->setAttribute("position", positions, 12, 3);
    quad->setAttribute("uv", uvs, 8, 2);
    quad->setIndices(indices, 6);
    return quad;
}

}  // namespace

void draw() {
    if (!fsQuad)
        fsQuad = makeQuad();
    fsQuad->draw();
}

void bindSimpleShader() {
    bindProgram(s_final_program, s_final_fragment, "Fullscreen blit", kBlitFragment);
}

void bindSimpleShader(unsigned int width, unsigned int height) {
    GLint viewport[4] = {0, 0, 0, 0};
    glGetIntegerv(GL_VIEWPORT, viewport);
    // The blit's own test, scale < 1.001 on both axes, on the sizes.
    const auto fits = [](double texels, GLint pixels) { return texels < 1.001 * pixels; };
    if (fits(width, viewport[2]) && fits(height, viewport[3]))
        bindProgram(s_copy_program, s_copy_fragment, "Fullscreen blit", kCopyFragment);
    else
        bindSimpleShader();
}

const char* vertexShaderSource() {
    return kBlitVertex;
}

void releaseSimpleShader() {
    if (s_final_program)
        s_final_program->release();
    else if (s_copy_program)
        s_copy_program->release();
}

}  // namespace Tarn::Graphics::FullscreenQuad
