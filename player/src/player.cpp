#include "player.h"

#include <cstdlib>
#include <iostream>

#include <tarn/application.h>

#include "commandline.h"
#include "demoprogram.h"
#include "offlinerenderer.h"

namespace {

DemoProgram::Settings programSettings(const CommandLine& line) {
    DemoProgram::Settings settings;
    settings.width = line.width;
    settings.height = line.height;
    settings.fullscreen = line.fullscreen;
    settings.profile = line.profile;
    if (line.offline()) {
        settings.preloader = false;
        settings.music = false;
        settings.playsFrames = false;
        return settings;  // the renderer sets the times
    }
    settings.start = line.start;
    settings.loopStart = line.loopStart;
    settings.loopEnd = line.loopEnd;
    settings.dev = line.dev;
    settings.watch = line.watch;
    settings.preloader = !line.dev;
    return settings;
}

OfflineRenderer::Settings offlineSettings(const CommandLine& line) {
    OfflineRenderer::Settings settings;
    settings.png = line.pngOutput();
    if (line.render.empty()) {
        settings.output = line.png;
        settings.start = line.frame;
        settings.singleFrame = true;
    } else {
        settings.output = line.render;
        settings.fps = line.fps;
        settings.start = line.start;
        settings.end = line.end;
    }
    return settings;
}

}  // namespace

int runPlayer(int argc, char** argv, const std::function<void()>& registerExtensions) {
    const CommandLine line = parseCommandLine(argc, argv);
    if (!line.error.empty()) {
        std::cout << line.error << std::endl;
        return 2;
    }
    if (line.help) {
        std::cout << usage();
        return 0;
    }
    // Offline rendering reads the music instead of playing it: OpenAL's null
    // back end opens without looking for a sound card.
    if (line.offline())
        setenv("ALSOFT_DRIVERS", "null", 1);
    if (registerExtensions)
        registerExtensions();

    Tarn::Application app;
    DemoProgram program(programSettings(line));
    program.attach(app);
    if (!line.offline())
        return app.run();

    app.setHeadless(true);
    OfflineRenderer renderer(program, offlineSettings(line));
    renderer.attach(app);
    const int status = app.run();
    return status != 0 ? status : (renderer.succeeded() ? 0 : 1);
}
