#include "tarn/audio/spectrumtexture.h"

#include <GL/glew.h>

#include "../unpackstate.h"
#include "tarn/audio/musicanalysis.h"

namespace Tarn::Audio {

SpectrumTexture::SpectrumTexture(const MusicAnalysis& analysis)
    : m_analysis(analysis), m_rows(std::size_t(MusicAnalysis::Bins) * History, 0.0f) {
    glBindTexture(GL_TEXTURE_2D, m_textureId);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_R16F, MusicAnalysis::Bins, History, 0, GL_RED, GL_FLOAT,
                 nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glBindTexture(GL_TEXTURE_2D, 0);
    update(0.0);
}

void SpectrumTexture::update(double t) {
    if (t == m_time)
        return;
    m_time = t;
    for (int row = 0; row < History; ++row)
        m_analysis.spectrumAt(t - row * MusicAnalysis::Hop,
                              &m_rows[std::size_t(row) * MusicAnalysis::Bins]);
    Detail::UnpackState unpack;
    glBindTexture(GL_TEXTURE_2D, m_textureId);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, MusicAnalysis::Bins, History, GL_RED, GL_FLOAT,
                    m_rows.data());
    glBindTexture(GL_TEXTURE_2D, 0);
}

void SpectrumTexture::bind(unsigned int unit) {
    m_currentUnit = unit;
    glActiveTexture(GL_TEXTURE0 + unit);
    glBindTexture(GL_TEXTURE_2D, m_textureId);
}

void SpectrumTexture::release() {
    glActiveTexture(GL_TEXTURE0 + m_currentUnit);
    glBindTexture(GL_TEXTURE_2D, 0);
}

}  // namespace Tarn::Audio
