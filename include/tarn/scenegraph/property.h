#ifndef TARN_SCENEGRAPH_PROPERTY_H
#define TARN_SCENEGRAPH_PROPERTY_H

// A named bundle of floats that live in another object: value names such as
// "x" or "w" map to addresses inside the owner, so automation and scripts can
// read and write an object's numbers by name. The owner of the floats owns the
// property too (or outlives every copy of it); the property owns nothing.

#include <map>
#include <string>

namespace Tarn::Scenegraph {

class Property {
public:
    explicit Property(const std::string& name = "Unnamed property");

    Property(const Property&) = default;
    Property& operator=(const Property&) = default;
    Property(Property&&) noexcept = default;
    Property& operator=(Property&&) noexcept = default;

    std::string name() const { return m_name; }
    // Value name to float address, ordered by name.
    std::map<std::string, float*> values() const { return m_values; }

    // The first registration of a name wins; a null pointer is never registered.
    void addValue(const std::string& valueName, float* ptr);
    // 0 for a name that is not registered.
    float get(const std::string& valueName) const;
    // Writes nothing for a name that is not registered.
    void set(const std::string& valueName, float value);
    // Null for a name that is not registered.
    float* ptr(const std::string& valueName) const;

private:
    std::string m_name;
    std::map<std::string, float*> m_values;
};

}  // namespace Tarn::Scenegraph

#endif
