#ifndef TARN_SCENEGRAPH_AUTOMATION_H
#define TARN_SCENEGRAPH_AUTOMATION_H

// Keyframe animation of the values of one Property: each value name has its
// own list of keys, and process(time) evaluates every list and writes the
// results through the property. Owned by the scene or demo script that created
// it; the property must outlive it.

#include "tarn/scenegraph/property.h"

#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace Tarn::Scenegraph {

class Automation {
public:
    // A fixed underlying type: values read from elsewhere outside 0..4 are
    // valid and interpolate linearly.
    enum InterpolationType : int {
        IT_HOLD = 0,
        IT_LINEAR = 1,
        IT_COSINE = 2,
        IT_SPLINE = 3,
        IT_UNDEFINED = 4,
    };

    struct Keyframe {
        InterpolationType interpolationType;  // how this key is reached from the previous one
        double time;                          // seconds
        float value;
    };

    // Creates an empty key list for each value the property has now; values
    // registered later are never animated.
    explicit Automation(Property& property);

    // Appends a key. Keys are meant to come in ascending time order; one that
    // does not is kept and reported. A name without a list or a time that is
    // not finite is reported and ignored.
    void addKeyframe(const std::string& valueName, InterpolationType type, double time,
                     float value);
    // Puts a key in its place by time, after the keys at the same time, and
    // says nothing about the order: for script readers that report a key out
    // of order at its line themselves (compare with lastKeyTime first).
    // Otherwise as addKeyframe.
    void insertKeyframe(const std::string& valueName, InterpolationType type, double time,
                        float value);
    // The latest time among the keys of a value; minus infinity when it has
    // none or the name has no list. A key earlier than this is out of order.
    double lastKeyTime(const std::string& valueName) const;
    // Removes the keys of that value at exactly that time; returns how many.
    std::size_t removeKeyframe(const std::string& valueName, double time);
    // The keys of a value in the order they were added; empty for other names.
    const std::vector<Keyframe>& keyframes(const std::string& valueName) const;

    // A term added to a value on every process: the value becomes its keys
    // at the time (or, without keys, what it held when its first term was
    // added) plus the sum of its terms. Terms are how a value follows the
    // music; each reads what it needs itself (the demo time, not the
    // automation's own time, which is scene-local in scenes). False, and
    // nothing added, for a name without a list or an empty term.
    using Term = std::function<float()>;
    bool addTerm(const std::string& valueName, Term term);

    // Writes every value that has keys or terms, evaluated at time. A time
    // that is not a number writes nothing.
    void process(double time);

private:
    struct Track {
        std::vector<Keyframe> keys;
        // Whether the times never decrease; only then can the segment be found
        // from the cache or by bisection instead of by scanning.
        bool ascending = true;
        // End key of the segment found last; play usually stays in it or
        // moves to the next one.
        std::size_t cachedSegmentEnd = 1;
        std::vector<Term> terms;
        float base = 0.0f;  // the value before its first term, for a list without keys
    };

    // The list a new key goes to; null, with a report, for a name without a
    // list or a time that is not finite.
    Track* f_trackForKey(const std::string& valueName, double time);
    static float f_valueAt(Track& track, double time);
    static std::size_t f_findSegmentEnd(Track& track, double time);
    static std::size_t f_scanSegmentEnd(const std::vector<Keyframe>& keys, double time);
    static float f_interpolate(const std::vector<Keyframe>& keys, std::size_t segmentEnd,
                               double time);

    Property& m_property;
    std::map<std::string, Track> m_keyframes;
};

}  // namespace Tarn::Scenegraph

#endif
