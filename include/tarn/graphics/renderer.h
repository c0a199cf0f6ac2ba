#ifndef TARN_GRAPHICS_RENDERER_H
#define TARN_GRAPHICS_RENDERER_H

// The deferred renderer: draws opaque geometry once into a four-target
// G-buffer, then shades it with one full-screen pass per light, each adding
// its light to a float sum by blending. One is made at the window's
// size once the GL context exists and shared by every scene until exit; it
// owns its frame buffers and programs.

#include <functional>
#include <memory>
#include <vector>

namespace Tarn {

class FrameBuffer;
class Shader;
class ShaderProgram;

namespace Graphics {

class Camera;
class Light;

class Renderer {
public:
    // Issues the frame's geometry with the G-buffer program, which is bound
    // with "view" and "projection" set: for each object set "model" and the
    // material uniforms (the interface in gbuffer.h), then draw a mesh laid out as position
    // (location 0), normal (1), uv (2), tangent (3).
    using DrawCallback = std::function<void(ShaderProgram*)>;

    // Makes the G-buffer (target 0 RGBA32F: albedo, specular intensity;
    // 1 RGBA16F: view normal x, y, self-illumination, reflection factor;
    // 2 RGBA16F: view position, glossiness; 3 RGBA16F: world position, 1),
    // the float sum of the lights and the G-buffer program, and turns back-face
    // culling on for everyone.
    Renderer(unsigned int width, unsigned int height);
    ~Renderer();

    Renderer(const Renderer&) = delete;
    Renderer& operator=(const Renderer&) = delete;

    // Not owned; while none is set, no pass uploads camera matrices.
    void setCamera(Camera* camera) { m_camera = camera; }
    Camera* camera() const { return m_camera; }

    // Adds a light to this frame's list unless it is already there. The
    // list is emptied at the end of renderSecondPass: push lights again
    // each frame.
    void pushLight(Light* light);
    // This frame's lights, in push order.
    const std::vector<Light*>& lights() const { return m_lights; }

    // Both passes; returns renderOutput().
    FrameBuffer* renderDeferred(const DrawCallback& draw);
    // Clears the frame buffer bound on entry, then fills the G-buffer.
    FrameBuffer* renderFirstPass(const DrawCallback& draw);
    // Shades the G-buffer with every pushed light and sums the results;
    // does not call draw. Returns renderOutput().
    FrameBuffer* renderSecondPass(const DrawCallback& draw = DrawCallback());

    FrameBuffer* gBuffer() const { return m_mrtFbo.get(); }
    // The program that fills the G-buffer, for setting its uniforms.
    ShaderProgram* firstPassShader() const { return m_firstPassShader.get(); }
    // The latest sum of lights (target 0; alpha 1), always the same frame
    // buffer. With no light it is black: it is cleared at the start of
    // every second pass.
    FrameBuffer* renderOutput() const { return m_lightSum.get(); }

private:
    // number counts the frame's lights from 1, for the profiler's labels.
    void f_shade(Light* light, int number);

    std::unique_ptr<FrameBuffer> m_mrtFbo;
    std::unique_ptr<Shader> m_firstPassVertex;
    std::unique_ptr<Shader> m_firstPassFragment;
    std::unique_ptr<ShaderProgram> m_firstPassShader;
    std::unique_ptr<FrameBuffer> m_lightSum;
    Camera* m_camera;
    std::vector<Light*> m_lights;
};

}  // namespace Graphics
}  // namespace Tarn

#endif
