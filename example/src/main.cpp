// The Tarn demo program. For now it opens the engine's window and runs its
// main loop until Escape or the close box ends it.

#include <cmath>
#include <cstring>
#include <iostream>

#include <GL/glew.h>
#include <GLFW/glfw3.h>

#include <tarn/application.h>

namespace {

void printUsage() {
    std::cout << "usage: tarn-demo [--help]\n"
                 "Opens the Tarn window and runs the main loop.\n"
                 "Escape or the close box quits.\n";
}

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            printUsage();
            return 0;
        }
        std::cout << "tarn-demo: unknown argument \"" << argv[i] << "\"\n";
        printUsage();
        return 2;
    }

    Tarn::Application app;
    app.setWindowTitle("Tarn - press Escape to quit");

    app.keyPressed.connect([&app](int key) {
        if (key == GLFW_KEY_ESCAPE)
            app.closed.emit();
    });
    // A slow colour drift shows that frames are running.
    app.frame.connect([](double, double now) {
        const float t = static_cast<float>(now);
        glClearColor(0.1f + 0.1f * std::sin(t), 0.12f, 0.2f + 0.1f * std::cos(t * 0.7f), 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
    });
    return app.run();
}
