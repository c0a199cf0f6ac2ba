#include "tarn/application.h"

#include <cmath>
#include <string>

#include <GL/glew.h>
#include <GLFW/glfw3.h>

#include "headlesscontext.h"
#include "tarn/diagnostics.h"

namespace Tarn {

namespace {

// GLFW keeps the last error of the calling thread; its text completes our line.
std::string lastWindowingError() {
    const char* description = nullptr;
    if (glfwGetError(&description) == GLFW_NO_ERROR || !description)
        return "no reason given";
    return description;
}

}  // namespace

Application* Application::tarnApp = nullptr;

Application::Application()
    : m_width(800), m_height(480), m_fullscreen(false), m_windowTitle("Tarn Application"),
      m_continueRendering(true), m_hidden(false), m_headless(false), m_window(nullptr),
      m_wheelPosition(0.0) {
    tarnApp = this;
    closed.connect([this] { m_continueRendering = false; });
}

Application::~Application() {
    if (tarnApp == this)
        tarnApp = nullptr;
    f_closeWindow();
    glfwTerminate();
}

Application& Application::setWindowTitle(const std::string& title) {
    m_windowTitle = title;
    return *this;
}

void Application::showWindowTitle(const std::string& title) {
    m_windowTitle = title;
    if (m_window)
        glfwSetWindowTitle(m_window, m_windowTitle.c_str());
}

Application& Application::setWindowSize(int width, int height) {
    m_width = width;
    m_height = height;
    return *this;
}

Application& Application::setFullscreen(bool fullscreen) {
    m_fullscreen = fullscreen;
    return *this;
}

Application& Application::setHidden(bool hidden) {
    m_hidden = hidden;
    return *this;
}

Application& Application::setHeadless(bool headless) {
    m_headless = headless;
    return *this;
}

double Application::aspectRatio() const {
    return static_cast<double>(m_width) / static_cast<double>(m_height);
}

int Application::run() {
    if (!(m_headless ? f_openHeadless() : f_openWindow(!m_hidden)))
        return 1;
    if (!f_loadEntryPoints()) {
        f_closeWindow();
        return 1;
    }

    m_continueRendering = true;
    if (!m_headless)
        f_registerCallbacks();

    m_frameClock.reset();
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);

    launched.emit();
    loading.emit(loadingProgress);
    if (m_window)
        glfwSetWindowTitle(m_window, m_windowTitle.c_str());
    time.reset();
    started.emit();

    while (m_continueRendering)
        runFrame();

    terminated.emit();
    f_closeWindow();
    return 0;
}

void Application::runFrame() {
    // Headless, nothing shows the default frame buffer (under EGL there is
    // none to clear).
    if (!m_headless)
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    const double demoTime = time.elapsed();
    const double delta = m_frameClock.elapsed();
    // Restarted before the slots run, so a delta covers the whole frame,
    // slots included, and the deltas add up to the demo time.
    m_frameClock.reset();
    frame.emit(delta, demoTime);
    if (!m_headless)
        swapBuffers();
}

void Application::swapBuffers() {
    if (!m_window)
        return;
    glfwSwapBuffers(m_window);
    glfwPollEvents();
}

bool Application::f_openWindow(bool visible) {
    if (!glfwInit()) {
        Diagnostics::problem("Application",
                             "cannot start the windowing library: " + lastWindowingError());
        return false;
    }
    GLFWmonitor* monitor = m_fullscreen ? glfwGetPrimaryMonitor() : nullptr;
    // A 32-bit depth buffer where the driver has one; many offer only 24.
    for (int depthBits : {32, 24}) {
        glfwDefaultWindowHints();
        glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 3);
        glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 3);
        glfwWindowHint(GLFW_OPENGL_PROFILE, GLFW_OPENGL_CORE_PROFILE);
        glfwWindowHint(GLFW_OPENGL_FORWARD_COMPAT, GLFW_TRUE);
        glfwWindowHint(GLFW_DEPTH_BITS, depthBits);
        glfwWindowHint(GLFW_STENCIL_BITS, 0);
        glfwWindowHint(GLFW_VISIBLE, visible ? GLFW_TRUE : GLFW_FALSE);
        m_window = glfwCreateWindow(m_width, m_height, m_windowTitle.c_str(), monitor, nullptr);
        if (m_window)
            break;
    }
    if (!m_window) {
        Diagnostics::problem(
            "Application", "cannot open a " + std::to_string(m_width) + "x" +
                               std::to_string(m_height) +
                               " window with an OpenGL 3.3 core context: " + lastWindowingError());
        return false;
    }
    glfwMakeContextCurrent(m_window);
    glfwSetWindowTitle(m_window, m_windowTitle.c_str());
    return true;
}

bool Application::f_openHeadless() {
    m_headlessContext = std::make_unique<Detail::HeadlessContext>();
    std::string reason;
    if (m_headlessContext->create(reason))
        return true;
    m_headlessContext.reset();
    Diagnostics::note("Application",
                      "no EGL context (" + reason + "); rendering in a hidden window");
    return f_openWindow(false);
}

bool Application::f_loadEntryPoints() {
    glewExperimental = GL_TRUE;
    const GLenum status = glewInit();
    // GLEW loads the GL entry points, then fails looking for a GLX display,
    // which an EGL context does not have; the entry points are good.
    const bool loaded =
        status == GLEW_OK || (m_headlessContext && status == GLEW_ERROR_NO_GLX_DISPLAY);
    if (!loaded) {
        Diagnostics::problem("Application",
                             std::string("cannot load the OpenGL entry points: ") +
                                 reinterpret_cast<const char*>(glewGetErrorString(status)));
        return false;
    }
    // GLEW asks for the extension string the pre-3.0 way, which a core
    // context answers with GL_INVALID_ENUM; drop it so callers start clean.
    while (glGetError() != GL_NO_ERROR) {
    }
    return true;
}

// The callbacks are registered in a fixed order, and the size, cursor and
// wheel state are reported once as each is registered, so slots learn the
// starting state before launched.
void Application::f_registerCallbacks() {
    m_sizeReported = false;
    m_cursorReported = false;
    glfwSetWindowCloseCallback(m_window, &f_onClose);

    glfwSetFramebufferSizeCallback(m_window, &f_onResize);
    int width = 0, height = 0;
    glfwGetFramebufferSize(m_window, &width, &height);
    f_onResize(m_window, width, height);

    glfwSetKeyCallback(m_window, &f_onKey);
    glfwSetMouseButtonCallback(m_window, &f_onMouseButton);

    glfwSetCursorPosCallback(m_window, &f_onMouseMove);
    double x = 0.0, y = 0.0;
    glfwGetCursorPos(m_window, &x, &y);
    f_onMouseMove(m_window, x, y);

    glfwSetScrollCallback(m_window, &f_onMouseWheel);
    m_wheelPosition = 0.0;
    mouseWheelChanged.emit(0);
}

void Application::f_closeWindow() {
    m_headlessContext.reset();
    if (!m_window)
        return;
    glfwDestroyWindow(m_window);
    m_window = nullptr;
}

void Application::f_onClose(GLFWwindow*) {
    if (tarnApp)
        tarnApp->closed.emit();
}

// The window system may report a size or cursor position that was already
// reported: GLFW reports the cursor when it enters a shown window, at the
// position the starting state gave, and a configure event may repeat the
// size. Such a report changes nothing and is not emitted, so the signals
// say the same whatever the server delivers and when
// (ApplicationGLTest.LifecycleOrderAndStartingState).
void Application::f_onResize(GLFWwindow*, int width, int height) {
    if (!tarnApp)
        return;
    Application& app = *tarnApp;
    if (app.m_sizeReported && app.m_reportedSize[0] == width && app.m_reportedSize[1] == height)
        return;
    app.m_sizeReported = true;
    app.m_reportedSize[0] = width;
    app.m_reportedSize[1] = height;
    app.resized.emit(width, height);
}

// A held key repeats as GLFW_REPEAT; it is neither a new press nor a release,
// so it emits nothing (ApplicationTest.KeyAndButtonActions).
void Application::f_onKey(GLFWwindow*, int key, int, int action, int) {
    if (!tarnApp)
        return;
    if (action == GLFW_PRESS)
        tarnApp->keyPressed.emit(key);
    else if (action == GLFW_RELEASE)
        tarnApp->keyReleased.emit(key);
}

void Application::f_onMouseButton(GLFWwindow*, int button, int action, int) {
    if (!tarnApp)
        return;
    if (action == GLFW_PRESS)
        tarnApp->mouseButtonPressed.emit(button);
    else
        tarnApp->mouseButtonReleased.emit(button);
}

void Application::f_onMouseMove(GLFWwindow*, double x, double y) {
    if (!tarnApp)
        return;
    Application& app = *tarnApp;
    const int column = static_cast<int>(std::floor(x)), row = static_cast<int>(std::floor(y));
    if (app.m_cursorReported && app.m_reportedCursor[0] == column && app.m_reportedCursor[1] == row)
        return;
    app.m_cursorReported = true;
    app.m_reportedCursor[0] = column;
    app.m_reportedCursor[1] = row;
    app.mouseMoved.emit(column, row);
}

// Touch pads scroll in fractions of a notch; the sum is kept exactly and
// reported rounded, so small steps add up instead of vanishing.
void Application::f_onMouseWheel(GLFWwindow*, double, double yOffset) {
    if (!tarnApp)
        return;
    tarnApp->m_wheelPosition += yOffset;
    tarnApp->mouseWheelChanged.emit(static_cast<int>(std::lround(tarnApp->m_wheelPosition)));
}

}  // namespace Tarn
