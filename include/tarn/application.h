#ifndef TARN_APPLICATION_H
#define TARN_APPLICATION_H

// The window, its OpenGL 3.3 context and the main loop, with everything that
// happens to them published as signals. One instance per program, reachable
// through tarnApp; the program configures it, connects slots, calls run().

#include <memory>
#include <string>

#include "tarn/clock.h"
#include "tarn/signal.h"

struct GLFWwindow;

namespace Tarn {

namespace Detail {
class HeadlessContext;
}

class Application {
public:
    Signal<int, int> resized;         // framebuffer size in pixels, when it changes
    Signal<void> closed;              // a request to end the main loop; may repeat
    Signal<double> loadingProgress;   // handed to loading slots, never emitted here
    Signal<void> launched;            // window, context and GL entry points exist
    Signal<Signal<double>&> loading;  // load everything now; argument is loadingProgress
    Signal<void> started;             // loading is over, time was just reset to 0
    Signal<void> terminated;          // the loop has ended, the window is still open
    Signal<double, double> frame;     // (delta seconds, demo time seconds)
    Signal<int> keyPressed;           // GLFW key code
    Signal<int> keyReleased;
    Signal<int> mouseButtonPressed;  // GLFW button number
    Signal<int> mouseButtonReleased;
    Signal<int, int> mouseMoved;    // cursor position in window pixels, when it changes
    Signal<int> mouseWheelChanged;  // accumulated vertical scroll

    static Application* tarnApp;

    // The demo clock: reset to 0 just before started, read for every frame.
    Clock time;

    // Stores this in tarnApp and connects the closed slot that ends the loop.
    Application();
    // Clears tarnApp and shuts the windowing library down.
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // Settings are read when run() opens the window; the title is set again
    // after loading, so a title chosen by a loading slot shows from then on.
    Application& setWindowTitle(const std::string& title);
    Application& setWindowSize(int width, int height);
    Application& setFullscreen(bool fullscreen);
    // Sets the title and shows it on the open window at once, for a title
    // that changes while the loop runs.
    void showWindowTitle(const std::string& title);
    // Opens the window without showing it (tests).
    Application& setHidden(bool hidden);
    // Opens no window (offline rendering): the context comes from EGL with
    // no surface, or from a hidden window where EGL cannot make one (said in
    // one line). There is then no window to clear or swap, no input arrives,
    // and whatever draws must draw into frame buffers of its own.
    Application& setHeadless(bool headless);
    bool headless() const { return m_headless; }

    // Requested width over requested height; resizes do not change it.
    double aspectRatio() const;

    // Opens the window, emits launched, loading and started, then runs the
    // loop until closed is emitted, emits terminated and closes the window.
    // Returns 0, or 1 after printing one line when the windowing library,
    // the window with its 3.3 context or the GL entry points are missing;
    // no lifecycle signal is emitted then.
    int run();

    // Shows the frame drawn so far and delivers pending window and input
    // events. The loop calls it once a frame; a loading slot that draws
    // progress calls it too.
    void swapBuffers();

    // One turn of the loop: clears the window, emits frame with the time
    // since the last turn and the demo time, and shows it. Long work on the
    // GL thread inside a slot (a reload) calls it between its steps so that
    // the picture keeps moving; the loop's own turns go on after it.
    void runFrame();

    // The open window, or nullptr outside run() and when headless on EGL.
    GLFWwindow* window() const { return m_window; }

    // Windowing library callbacks; each reaches the instance through tarnApp.
    static void f_onClose(GLFWwindow* window);
    static void f_onResize(GLFWwindow* window, int width, int height);
    static void f_onKey(GLFWwindow* window, int key, int scancode, int action, int mods);
    static void f_onMouseButton(GLFWwindow* window, int button, int action, int mods);
    static void f_onMouseMove(GLFWwindow* window, double x, double y);
    static void f_onMouseWheel(GLFWwindow* window, double xOffset, double yOffset);

    int width() const { return m_width; }
    int height() const { return m_height; }
    bool fullscreen() const { return m_fullscreen; }
    const std::string& windowTitle() const { return m_windowTitle; }

private:
    bool f_openWindow(bool visible);
    bool f_openHeadless();
    bool f_loadEntryPoints();
    void f_registerCallbacks();
    void f_closeWindow();

    int m_width;
    int m_height;
    bool m_fullscreen;
    std::string m_windowTitle;
    bool m_continueRendering;
    // Since the last frame began; the deltas of the frames add up to the
    // demo time.
    Clock m_frameClock;
    bool m_hidden;
    bool m_headless;
    GLFWwindow* m_window;
    std::unique_ptr<Detail::HeadlessContext> m_headlessContext;
    double m_wheelPosition;
    // The last size and cursor position emitted, so that a repeat is not;
    // cleared when a window opens.
    bool m_sizeReported = false;
    int m_reportedSize[2] = {0, 0};
    bool m_cursorReported = false;
    int m_reportedCursor[2] = {0, 0};
};

}  // namespace Tarn

#endif
