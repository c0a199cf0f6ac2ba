#ifndef TARN_PLAYER_PNGSEQUENCE_H
#define TARN_PLAYER_PNGSEQUENCE_H

// Frames as PNG files, one per frame, named by a pattern with the frame's
// number ("shot%05d.png"); numbers continue across spans, so spans rendered
// apart name their frames as one render of the whole would. A pattern
// without a number names the one file of a single frame.

#include <vector>

#include "framesink.h"

class PngSequence : public FrameSink {
public:
    // The first frame gets firstNumber.
    PngSequence(std::string pattern, long long firstNumber);

    bool write(const unsigned char* rgba, int width, int height) override;
    bool close() override { return true; }
    std::string describe() const override;

private:
    // Writes m_rgb as a PNG file; why it could not, or an empty string.
    std::string f_save(const std::string& path, int width, int height);

    std::string m_pattern;
    long long m_first;
    long long m_next;
    std::vector<unsigned char> m_rgb;
    std::vector<unsigned char> m_png;  // the encoded frame, reused frame after frame
};

#endif
