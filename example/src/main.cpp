// The Tarn demo: reads the command line, registers the extensions, and plays
// the demo in the application shell until its timeline ends or Escape or the
// close box ends it.

#include <iostream>

#include <tarn/application.h>

#include "commandline.h"
#include "demoprogram.h"
#include "extensions.h"

int main(int argc, char** argv) {
    const CommandLine line = parseCommandLine(argc, argv);
    if (!line.error.empty()) {
        std::cout << line.error << std::endl;
        return 2;
    }
    if (line.help) {
        std::cout << usage();
        return 0;
    }
    registerExtensions();

    Tarn::Application app;
    DemoProgram::Settings settings;
    settings.width = line.width;
    settings.height = line.height;
    settings.fullscreen = line.fullscreen;
    DemoProgram program(settings);
    program.attach(app);
    return app.run();
}
