#include "player.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>

#include <tarn/application.h>
#include <tarn/demo/timeline.h>
#include <tarn/diagnostics.h>

#include "commandline.h"
#include "demoprogram.h"
#include "musicreport.h"
#include "newdemo.h"
#include "offlinerenderer.h"

namespace {

DemoProgram::Settings programSettings(const CommandLine& line) {
    DemoProgram::Settings settings;
    settings.width = line.width;
    settings.height = line.height;
    settings.fullscreen = line.fullscreen;
    settings.profile = line.profile;
    settings.content = line.content;
    if (line.offline() || line.check || line.length) {
        settings.preloader = false;
        settings.music = false;
        settings.playsFrames = false;
        settings.check = line.check || line.length;
        settings.frameRate = line.fps;
        return settings;  // the renderer sets the times
    }
    settings.start = line.start;
    settings.loopStart = line.loopStart;
    settings.loopEnd = line.loopEnd;
    settings.startWord = line.startWord;
    settings.loopStartWord = line.loopStartWord;
    settings.loopEndWord = line.loopEndWord;
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
        settings.startWord = line.startWord;
        settings.end = line.end;
        settings.frames = line.frames;
    }
    return settings;
}

// Sends a stream nowhere for its own lifetime.
class NullOutput {
public:
    explicit NullOutput(std::ostream& stream) : m_stream(stream), m_saved(stream.rdbuf(nullptr)) {}
    ~NullOutput() {
        m_stream.rdbuf(m_saved);
        m_stream.clear();
    }
    NullOutput(const NullOutput&) = delete;
    NullOutput& operator=(const NullOutput&) = delete;

private:
    std::ostream& m_stream;
    std::streambuf* m_saved;
};

// Loads everything as playing would, in a hidden context, with every report
// held back in problems; length is where the timeline ends (0: nothing
// loaded). False when there is no GL context.
bool loadQuietly(const CommandLine& line, Tarn::Diagnostics::ProblemList& problems,
                 double& length) {
    Tarn::Diagnostics::ScopedCollector collect(problems);
    // Whatever a library prints while loading is chatter here: the
    // problems are listed once loading is over.
    NullOutput silence(std::cout);
    Tarn::Application app;
    app.setHeadless(true);
    DemoProgram program(programSettings(line));
    program.attach(app);
    app.started.connect([&app, &program, &length] {
        length = program.timeline() ? program.timeline()->duration() : 0.0;
        app.closed.emit();
    });
    return app.run() == 0;
}

int noContext(const CommandLine& line) {
    const std::string why =
        std::string("tarn-demo: no OpenGL context for ") + (line.check ? "--check" : "--length");
    std::cout << why << std::endl;
    std::cerr << why << std::endl;
    return 2;
}

// Lists the problems, one line each, and a count.
int checkContent(const CommandLine& line) {
    Tarn::Diagnostics::ProblemList problems(false);
    double length = 0.0;
    if (!loadQuietly(line, problems, length))
        return noContext(line);
    for (const std::string& text : problems.lines())
        std::cout << text << std::endl;
    const std::size_t count = problems.problems().size();
    if (count > 0)
        std::cout << count << (count == 1 ? " problem" : " problems") << std::endl;
    if (count > 0)
        std::cerr << "tarn-demo: " << count << (count == 1 ? " problem" : " problems")
                  << " in the content" << std::endl;
    return count == 0 ? 0 : 1;
}

// The shortest decimal that reads back as the same double, so that a script
// doing arithmetic with it counts the frames the renderer counts.
std::string exactDecimal(double value) {
    char text[40];
    for (int digits = 6; digits <= 17; ++digits) {
        std::snprintf(text, sizeof text, "%.*g", digits, value);
        if (std::strtod(text, nullptr) == value)
            break;
    }
    return text;
}

// Prints the length alone on standard output. Without a timeline, the
// problems that explain why come first.
int printLength(const CommandLine& line) {
    Tarn::Diagnostics::ProblemList problems(false);
    double length = 0.0;
    if (!loadQuietly(line, problems, length))
        return noContext(line);
    if (length > 0.0) {
        std::cout << exactDecimal(length) << std::endl;
        return 0;
    }
    for (const std::string& text : problems.lines())
        std::cout << text << std::endl;
    const char* why = "tarn-demo: the demo's timeline is empty: it has no length";
    std::cout << why << std::endl;
    std::cerr << why << std::endl;
    return 1;
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
    if (!line.newFolder.empty())
        return writeNewDemo(line.newFolder, std::cout, std::cerr);
    if (line.offline() || line.check || line.analyse || line.length)
        setenv("ALSOFT_DRIVERS", "null", 1);
    if (line.analyse)
        return writeMusicReport(line.content, std::cout, std::cerr);
    if (line.check || line.length) {
        // The registration lines are the program's, not the content's.
        Tarn::Diagnostics::ProblemList quiet(false);
        Tarn::Diagnostics::ScopedCollector hold(quiet);
        if (registerExtensions)
            registerExtensions();
        return line.check ? checkContent(line) : printLength(line);
    }
    if (registerExtensions)
        registerExtensions();

    Tarn::Application app;
    DemoProgram program(programSettings(line));
    program.attach(app);
    if (!line.offline()) {
        const int status = app.run();
        return program.refusedTimes() ? 2 : status;
    }

    app.setHeadless(true);
    OfflineRenderer renderer(program, offlineSettings(line));
    renderer.attach(app);
    const int status = app.run();
    if (status != 0)
        return status;
    if (renderer.stopSignal() != 0)
        return 128 + renderer.stopSignal();  // as the shell reports a signal
    return renderer.refusedTimes() ? 2 : (renderer.succeeded() ? 0 : 1);
}
