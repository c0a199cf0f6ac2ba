#ifndef TARN_SRC_HEADLESSCONTEXT_H
#define TARN_SRC_HEADLESSCONTEXT_H

// Internal: an OpenGL 3.3 core context with no window and no surface, made
// through EGL, for rendering where there is no display. It has no default
// frame buffer: everything is drawn into frame buffer objects. Made and
// destroyed by the application shell in headless mode.

#include <string>

namespace Tarn::Detail {

class HeadlessContext {
public:
    HeadlessContext() = default;
    ~HeadlessContext();
    HeadlessContext(const HeadlessContext&) = delete;
    HeadlessContext& operator=(const HeadlessContext&) = delete;

    // Tries, in order, a hardware device (a GPU server's driver), Mesa's
    // surfaceless platform, then any device (Mesa's software one), and makes
    // the first context that opens current. False, with the reasons in
    // error, when none does.
    bool create(std::string& error);
    // Releases and destroys the context; harmless when there is none.
    void destroy();
    bool valid() const { return m_context != nullptr; }
    // "device" or "surfaceless": where the context came from.
    const char* platform() const { return m_platform; }

private:
    bool f_tryDisplay(void* display, const char* platform, std::string& error);

    void* m_display = nullptr;
    void* m_context = nullptr;
    const char* m_platform = "";
};

}  // namespace Tarn::Detail

#endif
