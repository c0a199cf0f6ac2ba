#ifndef TARN_BENCH_SUPPORT_FLOAT_IMAGE_H
#define TARN_BENCH_SUPPORT_FLOAT_IMAGE_H

// Whole RGBA float images in and out of GL textures, for benchmarks that set
// up a frame by hand and compare what two effects made of it.

#include <vector>

#include <GL/glew.h>

#include <tarn/framebuffer.h>
#include <tarn/texture.h>

namespace Tarn::Bench {

// Replaces level 0 of a texture of that size with rgba (4 floats a pixel).
inline void upload(Texture* texture, unsigned int width, unsigned int height,
                   const std::vector<float>& rgba) {
    glBindTexture(GL_TEXTURE_2D, texture->id());
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, width, height, GL_RGBA, GL_FLOAT, rgba.data());
    glBindTexture(GL_TEXTURE_2D, 0);
}

// Target 0 of the buffer, as floats.
inline std::vector<float> download(FrameBuffer* buffer) {
    std::vector<float> rgba(4u * buffer->width() * buffer->height());
    glBindTexture(GL_TEXTURE_2D, buffer->target(0)->id());
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_FLOAT, rgba.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    return rgba;
}

}  // namespace Tarn::Bench

#endif
