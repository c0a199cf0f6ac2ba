#ifndef TARN_CONTENT_MASTERING_H
#define TARN_CONTENT_MASTERING_H

// The last step of the music: loudness as broadcast and streaming measure it
// (ITU-R BS.1770: K-weighted, gated, in LUFS), the true peak between samples
// (4x oversampled, in dBTP), and a mastering stage that brings a mix to a
// loudness with a true-peak limiter. Interleaved stereo floats throughout.

#include <vector>

namespace Content {

// Integrated loudness of interleaved stereo at rate, in LUFS; -70 or less
// for silence.
double integratedLoudness(const std::vector<float>& stereo, int rate);

// The highest absolute value of the signal 4x oversampled, in dB against
// full scale (dBTP).
double truePeakDb(const std::vector<float>& stereo, int rate);

struct MasterReport {
    double gainDb = 0.0;           // applied before the limiter
    double mostReductionDb = 0.0;  // the limiter's largest gain reduction
    double loudness = 0.0;         // LUFS after mastering
    double truePeak = 0.0;         // dBTP after mastering
};

// Scales the mix to targetLufs and limits its true peak to ceilingDbtp
// (linked stereo, 5 ms look-ahead, 100 ms release), adjusting the gain
// until the limited result reaches the target within 0.05 LU (at most four
// tries). Deterministic: the same samples give the same result everywhere.
MasterReport master(std::vector<float>& stereo, int rate, double targetLufs, double ceilingDbtp);

}  // namespace Content

#endif
