#include "headlesscontext.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include <EGL/egl.h>
#include <EGL/eglext.h>

namespace Tarn::Detail {

namespace {

template <typename Function> Function eglFunction(const char* name) {
    return reinterpret_cast<Function>(eglGetProcAddress(name));
}

bool hasExtension(const char* extensions, const char* name) {
    if (!extensions)
        return false;
    const std::size_t length = std::strlen(name);
    for (const char* at = std::strstr(extensions, name); at; at = std::strstr(at + 1, name)) {
        if ((at == extensions || at[-1] == ' ') && (at[length] == ' ' || at[length] == '\0'))
            return true;
    }
    return false;
}

// Mesa lists its software rasterizer as a device too; a GPU server's driver
// lists its cards without this extension.
bool isSoftwareDevice(EGLDeviceEXT device) {
    const auto queryString = eglFunction<PFNEGLQUERYDEVICESTRINGEXTPROC>("eglQueryDeviceStringEXT");
    return queryString &&
           hasExtension(queryString(device, EGL_EXTENSIONS), "EGL_MESA_device_software");
}

std::vector<EGLDeviceEXT> devices() {
    const auto queryDevices = eglFunction<PFNEGLQUERYDEVICESEXTPROC>("eglQueryDevicesEXT");
    EGLint count = 0;
    if (!queryDevices || !queryDevices(0, nullptr, &count) || count <= 0)
        return {};
    std::vector<EGLDeviceEXT> found(static_cast<std::size_t>(count));
    queryDevices(count, found.data(), &count);
    found.resize(static_cast<std::size_t>(count));
    return found;
}

std::string eglErrorText() {
    char text[32];
    std::snprintf(text, sizeof text, "EGL error 0x%04x", static_cast<unsigned>(eglGetError()));
    return text;
}

}  // namespace

HeadlessContext::~HeadlessContext() {
    destroy();
}

bool HeadlessContext::create(std::string& error) {
    destroy();
    const auto platformDisplay =
        eglFunction<PFNEGLGETPLATFORMDISPLAYEXTPROC>("eglGetPlatformDisplayEXT");
    if (!platformDisplay) {
        error = "EGL has no eglGetPlatformDisplayEXT";
        return false;
    }
    const std::vector<EGLDeviceEXT> all = devices();
    for (EGLDeviceEXT device : all) {
        if (!isSoftwareDevice(device) &&
            f_tryDisplay(platformDisplay(EGL_PLATFORM_DEVICE_EXT, device, nullptr), "device",
                         error))
            return true;
    }
    if (f_tryDisplay(platformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr),
                     "surfaceless", error))
        return true;
    for (EGLDeviceEXT device : all) {
        if (f_tryDisplay(platformDisplay(EGL_PLATFORM_DEVICE_EXT, device, nullptr), "device",
                         error))
            return true;
    }
    if (error.empty())
        error = "no EGL device or surfaceless platform";
    return false;
}

bool HeadlessContext::f_tryDisplay(void* handle, const char* platform, std::string& error) {
    const auto fail = [&](const std::string& what) {
        error += (error.empty() ? "" : "; ") + std::string(platform) + ": " + what;
        return false;
    };
    EGLDisplay display = handle;
    if (display == EGL_NO_DISPLAY)
        return fail("no display");
    EGLint major = 0, minor = 0;
    if (!eglInitialize(display, &major, &minor))
        return fail("cannot initialise (" + eglErrorText() + ")");
    if (!eglBindAPI(EGL_OPENGL_API)) {
        eglTerminate(display);
        return fail("no desktop OpenGL");
    }
    // A context that never draws to a surface needs no config where the
    // driver allows that; otherwise any config that could back a pbuffer.
    EGLConfig config = EGL_NO_CONFIG_KHR;
    if (!hasExtension(eglQueryString(display, EGL_EXTENSIONS), "EGL_KHR_no_config_context")) {
        const EGLint wanted[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE,
                                 EGL_OPENGL_BIT, EGL_NONE};
        EGLint count = 0;
        if (!eglChooseConfig(display, wanted, &config, 1, &count) || count < 1) {
            eglTerminate(display);
            return fail("no OpenGL config");
        }
    }
    const EGLint attributes[] = {EGL_CONTEXT_MAJOR_VERSION,
                                 3,
                                 EGL_CONTEXT_MINOR_VERSION,
                                 3,
                                 EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                 EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT,
                                 EGL_CONTEXT_OPENGL_FORWARD_COMPATIBLE,
                                 EGL_TRUE,
                                 EGL_NONE};
    EGLContext context = eglCreateContext(display, config, EGL_NO_CONTEXT, attributes);
    if (context == EGL_NO_CONTEXT) {
        eglTerminate(display);
        return fail("no 3.3 core context (" + eglErrorText() + ")");
    }
    if (!eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, context)) {
        eglDestroyContext(display, context);
        eglTerminate(display);
        return fail("cannot make the context current without a surface");
    }
    m_display = display;
    m_context = context;
    m_platform = platform;
    error.clear();
    return true;
}

void HeadlessContext::destroy() {
    if (!m_context)
        return;
    eglMakeCurrent(m_display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    eglDestroyContext(m_display, m_context);
    eglTerminate(m_display);
    eglReleaseThread();
    m_context = nullptr;
    m_display = nullptr;
    m_platform = "";
}

}  // namespace Tarn::Detail
