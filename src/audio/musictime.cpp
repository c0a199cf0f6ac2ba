#include "tarn/audio/musictime.h"

#include <cmath>
#include <cstdlib>
#include <memory>

#include "tarn/audio/musicanalysis.h"
#include "tarn/audio/tempogrid.h"
#include "tarn/diagnostics.h"
#include "tarn/luceparser.h"

namespace Tarn::Audio {

namespace {

double phase(double position) {
    return position - std::floor(position);
}

}  // namespace

std::vector<std::string> MusicTime::featureNames() {
    std::vector<std::string> names = Audio::featureNames();
    names.push_back("beat");
    names.push_back("bar");
    return names;
}

bool MusicTime::follow(const std::vector<std::string>& words, Scenegraph::Automation& automation,
                       std::string& error) const {
    if (words.size() != 3 && words.size() != 5) {
        error = "write it as \"follow VALUE FEATURE GAIN [ATTACK RELEASE]\"";
        return false;
    }
    double gain = 0.0, attack = 0.0, release = 0.0;
    if (!LUCEParser::finiteNumber(words[2], gain)) {
        error = "the gain \"" + words[2] + "\" is not a number";
        return false;
    }
    if (words.size() == 5 &&
        (!LUCEParser::finiteNumber(words[3], attack) ||
         !LUCEParser::finiteNumber(words[4], release) || attack < 0.0 || release < 0.0)) {
        error = "attack \"" + words[3] + "\" and release \"" + words[4] +
                "\" are not seconds of at least 0";
        return false;
    }
    const std::string& name = words[1];
    Scenegraph::Automation::Term term;
    Feature feature;
    if (name == "beat" || name == "bar") {
        if (!tempo) {
            error = "\"" + name + "\" follows the tempo, and no tempo line comes before";
            return false;
        }
        const bool beat = name == "beat";
        const float g = static_cast<float>(gain);
        term = [this, beat, g] {
            return g * static_cast<float>(phase(beat ? tempo->beat(now) : tempo->bar(now)));
        };
    } else if (featureByName(name, feature)) {
        if (!analysis) {
            error = "\"" + name + "\" follows the music, and no soundtrack line comes before";
            return false;
        }
        auto track = std::make_shared<FeatureTrack>(
            analysis->track(feature, static_cast<float>(attack), static_cast<float>(release)));
        const float g = static_cast<float>(gain);
        term = [this, track, g] { return g * track->at(now); };
    } else {
        error = "unknown music feature \"" + name + "\"" +
                Diagnostics::suggestion(name, featureNames());
        return false;
    }
    if (!automation.addTerm(words[0], std::move(term))) {
        error = "the automated property has no value \"" + words[0] + "\"";
        return false;
    }
    return true;
}

}  // namespace Tarn::Audio
