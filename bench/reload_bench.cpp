// What reloading all content costs (F5 of tarn-demo --dev) against loading
// it the first time, on the demo's own archive (the build's demo.tarn): the
// program loads it in a hidden window at 1024x600 without the preloader,
// then reloads it five times from its first frame; the median reload is set
// against the first load (target: at most 1.0 times: nothing is loaded
// twice, and the music, unchanged, is not decoded again). The first load
// also compiles the programs that live for the whole process (the lights',
// the effects' and the blit's), which no reload repeats; so the music's
// decoding is timed on its own too, and the reload set against the first
// load without it. A reload's time includes the frames it shows while it
// builds (the demo plays on), which the first load does not draw.
// Needs a display for its hidden window (xvfb-run -a where there is none).

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <vector>

#include <tarn/application.h>
#include <tarn/file.h>
#include <tarn/soundtrack.h>
#include <tarn/vfs.h>

#include "demoprogram.h"
#include "extensions.h"
#include "support/scratch_folder.h"

namespace {

using Clock = std::chrono::steady_clock;

double milliseconds(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

}  // namespace

int main() {
    setenv("ALSOFT_DRIVERS", "null", 1);  // the music opens as it would, and plays nowhere
    Tarn::Test::ScratchFolder folder;
    std::filesystem::copy_file(TARN_DEMO_ARCHIVE, DemoProgram::ArchiveName);
    std::cout.setstate(std::ios::failbit);  // the loaders' progress lines
    registerExtensions();

    Tarn::Application app;
    app.setHidden(true);
    DemoProgram::Settings settings;
    settings.preloader = false;
    settings.dev = true;
    Clock::time_point loadStart, loadEnd;
    std::vector<double> reloads;
    app.loading.connect([&](Tarn::Signal<double>&) { loadStart = Clock::now(); });
    DemoProgram program(settings);
    program.attach(app);
    app.loading.connect([&](Tarn::Signal<double>&) { loadEnd = Clock::now(); });
    app.frame.connect([&](double, double) {
        if (program.reloading())  // a frame the reload shows while it builds
            return;
        for (int i = 0; i < 5; ++i) {
            const Clock::time_point start = Clock::now();
            if (!program.reload())
                std::exit(1);
            reloads.push_back(milliseconds(start, Clock::now()));
        }
        app.closed.emit();
    });
    if (app.run() != 0)
        return 1;
    Tarn::VFS vfs(DemoProgram::ArchiveName, true);
    Tarn::File* music = vfs.open("assets/music.ogg");
    const Clock::time_point decodeStart = Clock::now();
    { const Tarn::Soundtrack decoded(music); }
    const double decode = milliseconds(decodeStart, Clock::now());
    vfs.close(music);
    std::cout.clear();

    const double load = milliseconds(loadStart, loadEnd);
    std::sort(reloads.begin(), reloads.end());
    const double reload = reloads[reloads.size() / 2];
    std::printf("First load of the demo's content: %.0f ms\n", load);
    std::printf("Reload of all of it: %.0f ms (median of %zu, %.0f to %.0f) = %.2f x the first "
                "load (target <= 1.00)\n",
                reload, reloads.size(), reloads.front(), reloads.back(), reload / load);
    std::printf("The music's decoding alone: %.0f ms; the reload is %.2f x the first load "
                "without it (%.0f ms)\n",
                decode, reload / (load - decode), load - decode);
    return 0;
}
