#include "tarn/postfx/effect.h"

#include <cmath>
#include <utility>

#include "tarn/profiler.h"

namespace Tarn::PostFX {

namespace {

const char* const kComponentNames[4] = {"x", "y", "z", "w"};

}  // namespace

void Effect::addPass(Pass pass) {
    m_passes.push_back(std::move(pass));
    Scenegraph::Property& bypass = automatableProperty("bypass");
    bypass = Scenegraph::Property("bypass");
    bypass.addValue("f", &m_bypassed);
}

Effect::Property& Effect::property(std::string_view name) {
    const auto found = m_properties.find(name);
    if (found != m_properties.end())
        return found->second;
    return m_properties.emplace(std::string(name), Property()).first->second;
}

Scenegraph::Property& Effect::automatableProperty(std::string_view name) {
    const auto found = m_automatableProperties.find(name);
    if (found != m_automatableProperties.end())
        return found->second;
    return m_automatableProperties.emplace(std::string(name), Scenegraph::Property()).first->second;
}

// The automatable property is assigned, not replaced, so the map entry an
// Automation holds stays where it is
// (EffectTest.AutomationDrivesRebuiltParametersAndBypass).
void Effect::f_store(std::string_view name, PropertyType type,
                     std::initializer_list<float> values) {
    Property& entry = property(name);
    entry.type = type;
    std::size_t i = 0;
    for (float value : values)
        entry.value.v4[i++] = value;

    Scenegraph::Property& automatable = automatableProperty(name);
    automatable = Scenegraph::Property(std::string(name));
    if (type == PT_FLOAT) {
        automatable.addValue("f", &entry.value.f);
    } else {
        for (std::size_t c = 0; c < values.size(); ++c)
            automatable.addValue(kComponentNames[c], &entry.value.v4[c]);
    }
}

void Effect::setProperty(std::string_view name, float f) {
    f_store(name, PT_FLOAT, {f});
}

void Effect::setProperty(std::string_view name, float x, float y) {
    f_store(name, PT_VEC2, {x, y});
}

void Effect::setProperty(std::string_view name, float x, float y, float z) {
    f_store(name, PT_VEC3, {x, y, z});
}

void Effect::setProperty(std::string_view name, float x, float y, float z, float w) {
    f_store(name, PT_VEC4, {x, y, z, w});
}

void Effect::setProperty(std::string_view name, const float* matrix) {
    Property& entry = property(name);
    entry.type = PT_MAT4;
    entry.value.m4 = matrix;
}

void Effect::setMaximum(std::string_view name, float most) {
    m_maxima.insert_or_assign(std::string(name), most);
}

float Effect::maximum(std::string_view name) const {
    const auto found = m_maxima.find(name);
    return found == m_maxima.end() ? HUGE_VALF : found->second;
}

void Effect::setName(std::string_view name) {
    m_name = name;
    m_passLabel = m_name + " pass";
}

void Effect::apply(Chain::Buffers& buffers) {
    if (m_bypassed != 0.0f) {
        m_ran = false;
        return;
    }
    const FrameInfo& frame = buffers.frame;
    m_turningOn = !m_ran || frame.restart || frame.time < m_lastTime ||
                  (frame.frame != m_lastFrame && frame.frame != m_lastFrame + 1);
    if (m_turningOn) {
        m_turnedOn = frame.restart && m_seed >= 0.0 ? m_seed : frame.time;
        m_seed = -1.0;
    }
    m_ran = true;
    m_lastFrame = frame.frame;
    m_lastTime = frame.time;
    for (std::size_t i = 0; i < m_passes.size(); ++i) {
        const Profiler::Scope timed(m_passLabel, static_cast<int>(i) + 1);
        m_passes[i](buffers);
    }
}

}  // namespace Tarn::PostFX
