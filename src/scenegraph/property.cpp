#include "tarn/scenegraph/property.h"

namespace Tarn::Scenegraph {

Property::Property(const std::string& name) : m_name(name) {}

void Property::addValue(const std::string& valueName, float* ptr) {
    if (ptr)
        m_values.emplace(valueName, ptr);
}

float Property::get(const std::string& valueName) const {
    const float* value = ptr(valueName);
    return value ? *value : 0.0f;
}

void Property::set(const std::string& valueName, float value) {
    if (float* target = ptr(valueName))
        *target = value;
}

float* Property::ptr(const std::string& valueName) const {
    const auto found = m_values.find(valueName);
    return found == m_values.end() ? nullptr : found->second;
}

}  // namespace Tarn::Scenegraph
