#ifndef TARN_AUDIO_MUSICTIME_H
#define TARN_AUDIO_MUSICTIME_H

// What the music is at the demo time being drawn, for values that follow it:
// the demo time, the music's analysis and the tempo grid. The demo script
// owns one for the life of its content and sets `now` before any automation
// runs in a frame, so a value in a scene (whose keys run on scene time)
// still follows the music at demo time.
//
// A script line "follow VALUE FEATURE GAIN [ATTACK RELEASE]" in an
// automation block adds GAIN x FEATURE to the value, on top of its keys
// (or of the value it was set to, without keys). FEATURE is one of the
// analysis's names (bass, lowmids, highmids, highs, onset, level and each
// band's _integral) or beat and bar, the phases of the tempo grid (0 to 1
// over each beat or bar). ATTACK and RELEASE, in seconds, smooth the
// feature at the analysis's hop rate over the whole track (never per frame).

#include <string>
#include <vector>

#include "tarn/scenegraph/automation.h"

namespace Tarn::Audio {

class MusicAnalysis;
class TempoGrid;

struct MusicTime {
    double now = 0.0;
    // Null without music, or without a tempo line.
    const MusicAnalysis* analysis = nullptr;
    const TempoGrid* tempo = nullptr;

    // Every feature name a follow line may use.
    static std::vector<std::string> featureNames();

    // Adds the term of one follow line's words (after the keyword) to the
    // automation. False, with the reason in error and nothing added, for
    // words that are not a follow line, a feature this demo cannot give (no
    // music, no tempo) or a value the automation does not have. The music
    // must outlive the automation.
    bool follow(const std::vector<std::string>& words, Scenegraph::Automation& automation,
                std::string& error) const;
};

}  // namespace Tarn::Audio

#endif
