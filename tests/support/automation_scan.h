#ifndef TARN_TESTS_SUPPORT_AUTOMATION_SCAN_H
#define TARN_TESTS_SUPPORT_AUTOMATION_SCAN_H

// A key list evaluated by a plain scan from the second key: the reference
// that the automation's faster segment search must match bit for bit, and
// the baseline its benchmark is measured against.

#include <cmath>
#include <vector>

#include "tarn/scenegraph/automation.h"

namespace Tarn::Test {

inline float scanValue(const std::vector<Scenegraph::Automation::Keyframe>& k, double time) {
    const std::size_t n = k.size() - 1;
    if (k[0].time >= time)
        return k[0].value;
    if (time >= k[n].time)
        return k[n].value;
    std::size_t j = 1;
    while (k[j].time <= time)
        ++j;
    float mu = static_cast<float>((time - k[j - 1].time) / (k[j].time - k[j - 1].time));
    if (k[j].interpolationType == Scenegraph::Automation::IT_SPLINE) {
        const double p0 = j > 1 ? k[j - 2].value : k[j - 1].value, p1 = k[j - 1].value;
        const double p2 = k[j].value, p3 = j < n ? k[j + 1].value : k[j].value;
        const double m = mu;
        return static_cast<float>((((-0.5 * p0 + 1.5 * p1 - 1.5 * p2 + 0.5 * p3) * m +
                                    (p0 - 2.5 * p1 + 2 * p2 - 0.5 * p3)) *
                                       m +
                                   (-0.5 * p0 + 0.5 * p2)) *
                                      m +
                                  p1);
    }
    if (k[j].interpolationType == Scenegraph::Automation::IT_HOLD)
        mu = 0.0f;
    if (k[j].interpolationType == Scenegraph::Automation::IT_COSINE)
        mu = static_cast<float>(0.5 - 0.5 * std::cos(static_cast<double>(mu * 3.1415927f)));
    const float rest = k[j - 1].value * (1.0f - mu);
    return k[j].value * mu + rest;
}

}  // namespace Tarn::Test

#endif
