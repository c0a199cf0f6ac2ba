#include "tarn/demo/clip.h"

namespace Tarn::Demo {

Clip::~Clip() = default;

double Clip::localTime(double now) const {
    return now - m_startTime + m_startOffset;
}

void Clip::onStart() {}

void Clip::onFinish() {}

void Clip::onFrame(double, double) {}

}  // namespace Tarn::Demo
