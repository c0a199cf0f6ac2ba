#ifndef TARN_AUDIO_SPECTRUMTEXTURE_H
#define TARN_AUDIO_SPECTRUMTEXTURE_H

// The music's log spectrum around one demo time as a texture, for shaders:
// MusicAnalysis::Bins texels across (bin k at 30 * 2^(k/12) Hz), History rows
// down, row r holding the spectrum at time - r hops (row 0 is the time
// itself), each texel 0 to 1 in one 16-bit float channel (GL_R16F), sampled
// linearly and clamped to its edges. Every row is read from the analysis by
// its own time, so the picture is the same however the frames before it
// were drawn. Made by the player with the GL context current, updated once
// a frame, and kept with its analysis, which must outlive it.

#include <vector>

#include "tarn/texture.h"

namespace Tarn::Audio {

class MusicAnalysis;

class SpectrumTexture : public Texture {
public:
    static constexpr int History = 64;

    explicit SpectrumTexture(const MusicAnalysis& analysis);

    // The rows for demo time t. Allocates nothing.
    void update(double t);
    // The time of the last update.
    double time() const { return m_time; }

    void bind(unsigned int unit) override;
    void release() override;

private:
    const MusicAnalysis& m_analysis;
    std::vector<float> m_rows;
    double m_time = -1.0;
};

}  // namespace Tarn::Audio

#endif
