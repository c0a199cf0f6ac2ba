#ifndef TARN_SRC_CAPABILITYSTATE_H
#define TARN_SRC_CAPABILITYSTATE_H

// Internal: for the life of the object a GL capability (GL_DEPTH_TEST,
// GL_BLEND, ...) is off, whatever the caller left; the caller's setting is
// put back afterwards.

#include <GL/glew.h>

namespace Tarn::Detail {

class CapabilityOff {
public:
    explicit CapabilityOff(GLenum capability)
        : m_capability(capability), m_wasEnabled(glIsEnabled(capability) == GL_TRUE) {
        if (m_wasEnabled)
            glDisable(capability);
    }
    ~CapabilityOff() {
        if (m_wasEnabled)
            glEnable(m_capability);
    }
    CapabilityOff(const CapabilityOff&) = delete;
    CapabilityOff& operator=(const CapabilityOff&) = delete;

private:
    GLenum m_capability;
    bool m_wasEnabled;
};

}  // namespace Tarn::Detail

#endif
