#ifndef TARN_GRAPHICS_FULLSCREENQUAD_H
#define TARN_GRAPHICS_FULLSCREENQUAD_H

// The quad every post-processing pass draws, and the blit program that copies
// a texture to the current frame buffer. Both are built on first use and kept
// until exit; GL context thread only.
//
// The quad's "position" (location 0) spans clip space from (-1, -1) to
// (1, 1), so it covers the viewport whatever program draws it; "uv"
// (location 1) is (0, 0) at the lower-left corner. Its first triangle
// (vertices 0, 1, 2) covers the lower-right half, its second (0, 2, 3) the
// upper-left half.

namespace Tarn::Graphics::FullscreenQuad {

// Draws the quad with whatever program and textures are current.
void draw();
// Makes the "Fullscreen blit" program current, building it on first use.
// It copies the texture on unit 0 (sampler "rt_final") to the viewport. Into
// a viewport of the texture's size or larger it writes the texel at each
// pixel's uv, unchanged (level 0 through the magnification filter), so a
// frame-buffer target copied to a frame buffer of its size arrives exactly;
// into a smaller one each pixel is the area-weighted mean of the texels it
// covers, so nothing aliases.
void bindSimpleShader();
// The same copy for a texture of width x height into the current viewport:
// where the blit would write the texel at each pixel's uv, a program that
// does only that is made current instead (also named "Fullscreen blit"),
// which draws the same picture to the bit at a fraction of the cost on a
// software renderer.
void bindSimpleShader(unsigned int width, unsigned int height);
// Makes no program current if a blit program exists.
void releaseSimpleShader();
// The vertex stage full-screen passes share: it passes the quad through and
// hands the fragment stage "v_uv" (and "v_position").
const char* vertexShaderSource();

}  // namespace Tarn::Graphics::FullscreenQuad

#endif
