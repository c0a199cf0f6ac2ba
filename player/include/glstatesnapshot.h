#ifndef TARN_PLAYER_GLSTATESNAPSHOT_H
#define TARN_PLAYER_GLSTATESNAPSHOT_H

// The GL state that drawing one thing can leave for the next: frame buffer
// bindings, viewport, program, vertex array and buffer, the textures of the
// units passes bind, the capabilities, depth, blend and colour settings and
// the pixel store. Loading shares the GL thread with what is shown while
// it runs (preloader frames, or the demo's own frames during a reload):
// each side's state is saved before the other draws and put back after,
// so neither sees what the other left. GL thread only.

class GLStateSnapshot {
public:
    void save();
    void restore() const;

private:
    static constexpr int Units = 16;
    int m_drawFramebuffer = 0, m_readFramebuffer = 0, m_renderbuffer = 0;
    int m_viewport[4] = {};
    int m_program = 0, m_vertexArray = 0, m_arrayBuffer = 0, m_uniformBuffer = 0;
    int m_activeTexture = 0;
    int m_textures[Units][3] = {};
    unsigned char m_capabilities[4] = {};
    unsigned char m_depthMask = 1;
    unsigned char m_colorMask[4] = {1, 1, 1, 1};
    int m_depthFunc = 0, m_cullFace = 0;
    int m_blend[6] = {};  // source and destination rgb and alpha, equations
    float m_clearColor[4] = {};
    int m_unpack[2] = {4, 0};  // alignment, row length
    int m_packAlignment = 4;
};

#endif
