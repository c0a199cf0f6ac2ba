#include "support/native_window.h"

#include <GLFW/glfw3.h>
#define GLFW_EXPOSE_NATIVE_X11
#include <GLFW/glfw3native.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace Tarn::Test {

std::string shownTitle(GLFWwindow* window) {
    char* name = nullptr;
    std::string title;
    if (XFetchName(glfwGetX11Display(), glfwGetX11Window(window), &name) && name) {
        title = name;
        XFree(name);
    }
    return title;
}

std::array<int, 3> shownPixel(GLFWwindow* window, int x, int y) {
    Display* display = glfwGetX11Display();
    XImage* image = XGetImage(display, glfwGetX11Window(window), x, y, 1, 1, AllPlanes, ZPixmap);
    if (!image)
        return {-1, -1, -1};
    const unsigned long pixel = XGetPixel(image, 0, 0);
    auto channel = [&](unsigned long mask) {
        int shift = 0;
        while (mask && !(mask & 1)) {
            mask >>= 1;
            ++shift;
        }
        return static_cast<int>(((pixel >> shift) & mask) * 255 / (mask ? mask : 1));
    };
    const std::array<int, 3> rgb = {channel(image->red_mask), channel(image->green_mask),
                                    channel(image->blue_mask)};
    XDestroyImage(image);
    return rgb;
}

void clickCloseBox(GLFWwindow* window) {
    Display* display = glfwGetX11Display();
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = glfwGetX11Window(window);
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, event.xclient.window, False, NoEventMask, &event);
    XFlush(display);
}

}  // namespace Tarn::Test
