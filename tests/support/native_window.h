#ifndef TARN_TESTS_SUPPORT_NATIVE_WINDOW_H
#define TARN_TESTS_SUPPORT_NATIVE_WINDOW_H

// Looks at and acts on a GLFW window the way the desktop would, through the
// X server: kept apart because X11's macros clash with GoogleTest's names.

#include <array>
#include <string>

struct GLFWwindow;

namespace Tarn::Test {

// The title the X server holds for the window.
std::string shownTitle(GLFWwindow* window);
// The colour the X server shows at (x, y) of a mapped window, counted from
// its top-left corner, as 8-bit red, green and blue; {-1, -1, -1} if unreadable.
std::array<int, 3> shownPixel(GLFWwindow* window, int x, int y);
// Sends what a window manager sends when the user clicks the close box.
void clickCloseBox(GLFWwindow* window);

}  // namespace Tarn::Test

#endif
