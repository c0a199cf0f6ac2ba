#ifndef TARN_EXAMPLE_COMMANDLINE_H
#define TARN_EXAMPLE_COMMANDLINE_H

// The demo's command line. Each argument is read by its first character: f
// opens full screen, w<N> sets the width, h<N> the height, anything else is
// ignored, as demo launchers have always passed them. The program's own
// options begin with "--" and never collide with those.

#include <string>

struct CommandLine {
    int width = 1024;
    int height = 600;
    bool fullscreen = false;
    bool help = false;
    // Set when the command line cannot be used: one line naming the
    // argument, for the program to print before exiting with code 2.
    std::string error;
};

CommandLine parseCommandLine(int argc, const char* const* argv);
// What --help prints.
std::string usage();

#endif
