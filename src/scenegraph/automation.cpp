#include "tarn/scenegraph/automation.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <sstream>

#include "tarn/diagnostics.h"

namespace Tarn::Scenegraph {

namespace {

// Pi as the float the curves have always been tuned with.
constexpr float kPi = 3.1415927f;

bool timesAscend(const std::vector<Automation::Keyframe>& keys) {
    for (std::size_t i = 1; i < keys.size(); ++i)
        if (keys[i].time < keys[i - 1].time)
            return false;
    return true;
}

}  // namespace

Automation::Automation(Property& property) : m_property(property) {
    for (const auto& value : property.values())
        m_keyframes.emplace(value.first, Track());
}

void Automation::addKeyframe(const std::string& valueName, InterpolationType type, double time,
                             float value) {
    Track* track = f_trackForKey(valueName, time);
    if (!track)
        return;
    if (!track->keys.empty() && time < track->keys.back().time) {
        std::ostringstream what;
        what << "\"" << m_property.name() << "\" value \"" << valueName << "\": key at " << time
             << " s added after a key at " << track->keys.back().time
             << " s; keys should come in time order";
        Diagnostics::problem("Automation", what.str());
        track->ascending = false;
    }
    track->keys.push_back(Keyframe{type, time, value});
}

void Automation::insertKeyframe(const std::string& valueName, InterpolationType type, double time,
                                float value) {
    Track* track = f_trackForKey(valueName, time);
    if (!track)
        return;
    // After every key not later than it: keys at one time keep their order.
    const auto later = std::upper_bound(track->keys.begin(), track->keys.end(), time,
                                        [](double t, const Keyframe& key) { return t < key.time; });
    track->keys.insert(later, Keyframe{type, time, value});
    track->cachedSegmentEnd = 1;
}

double Automation::lastKeyTime(const std::string& valueName) const {
    double last = -std::numeric_limits<double>::infinity();
    for (const Keyframe& key : keyframes(valueName))
        last = std::max(last, key.time);
    return last;
}

Automation::Track* Automation::f_trackForKey(const std::string& valueName, double time) {
    const auto found = m_keyframes.find(valueName);
    if (found == m_keyframes.end()) {
        Diagnostics::problem("Automation", "property \"" + m_property.name() +
                                               "\" has no value \"" + valueName +
                                               "\"; key ignored");
        return nullptr;
    }
    if (!std::isfinite(time)) {
        std::ostringstream what;
        what << "\"" << m_property.name() << "\" value \"" << valueName << "\": key time " << time
             << " is not finite; key ignored";
        Diagnostics::problem("Automation", what.str());
        return nullptr;
    }
    return &found->second;
}

std::size_t Automation::removeKeyframe(const std::string& valueName, double time) {
    const auto found = m_keyframes.find(valueName);
    if (found == m_keyframes.end())
        return 0;
    Track& track = found->second;
    const auto removed = std::remove_if(track.keys.begin(), track.keys.end(),
                                        [time](const Keyframe& key) { return key.time == time; });
    const auto count = static_cast<std::size_t>(track.keys.end() - removed);
    track.keys.erase(removed, track.keys.end());
    track.ascending = timesAscend(track.keys);
    track.cachedSegmentEnd = 1;
    return count;
}

const std::vector<Automation::Keyframe>& Automation::keyframes(const std::string& valueName) const {
    static const std::vector<Keyframe> none;
    const auto found = m_keyframes.find(valueName);
    return found == m_keyframes.end() ? none : found->second.keys;
}

bool Automation::addTerm(const std::string& valueName, Term term) {
    const auto found = m_keyframes.find(valueName);
    if (found == m_keyframes.end() || !term)
        return false;
    Track& track = found->second;
    if (track.terms.empty())
        track.base = m_property.get(valueName);
    track.terms.push_back(std::move(term));
    return true;
}

void Automation::process(double time) {
    if (std::isnan(time))
        return;
    for (auto& [name, track] : m_keyframes) {
        if (track.keys.empty() && track.terms.empty())
            continue;
        float value = track.keys.empty() ? track.base : f_valueAt(track, time);
        for (const Term& term : track.terms)
            value += term();
        m_property.set(name, value);
    }
}

float Automation::f_valueAt(Track& track, double time) {
    const std::vector<Keyframe>& keys = track.keys;
    if (keys.front().time >= time)
        return keys.front().value;
    if (time >= keys.back().time)
        return keys.back().value;
    return f_interpolate(keys, f_findSegmentEnd(track, time), time);
}

// Here keys[0].time < time < keys.back().time. The result is the first key
// j >= 1 later than time, as a scan in list order finds it.
std::size_t Automation::f_findSegmentEnd(Track& track, double time) {
    const std::vector<Keyframe>& keys = track.keys;
    if (!track.ascending)
        return f_scanSegmentEnd(keys, time);

    // In ascending keys, j is that first key exactly when keys[j - 1] is not
    // later than time and keys[j] is.
    const auto isSegmentEnd = [&keys, time](std::size_t j) {
        return j >= 1 && j < keys.size() && keys[j - 1].time <= time && time < keys[j].time;
    };
    std::size_t j = track.cachedSegmentEnd;
    if (!isSegmentEnd(j)) {
        if (isSegmentEnd(j + 1)) {
            ++j;
        } else {
            const auto later =
                std::upper_bound(keys.begin() + 1, keys.end(), time,
                                 [](double t, const Keyframe& key) { return t < key.time; });
            j = static_cast<std::size_t>(later - keys.begin());
        }
    }
    track.cachedSegmentEnd = j;
    return j;
}

std::size_t Automation::f_scanSegmentEnd(const std::vector<Keyframe>& keys, double time) {
    std::size_t j = 1;
    while (!(keys[j].time > time))
        ++j;
    return j;
}

float Automation::f_interpolate(const std::vector<Keyframe>& keys, std::size_t j, double time) {
    const Keyframe& from = keys[j - 1];
    const Keyframe& to = keys[j];
    float mu = static_cast<float>((time - from.time) / (to.time - from.time));

    switch (to.interpolationType) {
    case IT_SPLINE: {
        // Catmull-Rom over uniform steps; the end values stand in for the
        // missing neighbours.
        const double p0 = j - 1 > 0 ? keys[j - 2].value : from.value;
        const double p1 = from.value;
        const double p2 = to.value;
        const double p3 = j + 1 < keys.size() ? keys[j + 1].value : to.value;
        const double a0 = -0.5 * p0 + 1.5 * p1 - 1.5 * p2 + 0.5 * p3;
        const double a1 = p0 - 2.5 * p1 + 2.0 * p2 - 0.5 * p3;
        const double a2 = -0.5 * p0 + 0.5 * p2;
        const double a3 = p1;
        const double m = mu;
        return static_cast<float>(((a0 * m + a1) * m + a2) * m + a3);
    }
    case IT_HOLD:
        // The blend with mu = 0, without letting an infinite next value turn
        // the product into NaN.
        return from.value;
    case IT_COSINE:
        mu = static_cast<float>(0.5 - 0.5 * std::cos(static_cast<double>(mu * kPi)));
        break;
    case IT_LINEAR:
    case IT_UNDEFINED:
    default:
        break;
    }
    const float oneMinusMu = 1.0f - mu;
    const float fromPart = from.value * oneMinusMu;
    return to.value * mu + fromPart;
}

}  // namespace Tarn::Scenegraph
