#include "commandline.h"

#include <cstdlib>
#include <cstring>

namespace {

// atoi of the rest, as launchers write "w1280"; a size below 1 cannot open
// a window and is refused here, before any window exists.
bool readSize(const char* argument, int& size, std::string& error) {
    size = std::atoi(argument + 1);
    if (size >= 1)
        return true;
    error = std::string("tarn-demo: \"") + argument +
            "\" does not give a size of at least 1 pixel (write it as w1280 or h720)";
    return false;
}

}  // namespace

CommandLine parseCommandLine(int argc, const char* const* argv) {
    CommandLine line;
    for (int i = 1; i < argc && line.error.empty(); ++i) {
        const char* argument = argv[i];
        if (std::strncmp(argument, "--", 2) == 0) {
            if (std::strcmp(argument, "--help") == 0)
                line.help = true;
            else
                line.error = std::string("tarn-demo: unknown option \"") + argument +
                             "\" (tarn-demo --help lists the options)";
            continue;
        }
        switch (argument[0]) {
        case 'f':
            line.fullscreen = true;
            break;
        case 'w':
            readSize(argument, line.width, line.error);
            break;
        case 'h':
            readSize(argument, line.height, line.error);
            break;
        default:
            break;
        }
    }
    return line;
}

std::string usage() {
    return "usage: tarn-demo [f] [w<width>] [h<height>] [--help]\n"
           "Plays the demo from demo.tarn in the working directory (or the loose files\n"
           "of the same paths) with its music, then quits at the end of the timeline.\n"
           "  f          full screen\n"
           "  w<width>   window width in pixels (default 1024)\n"
           "  h<height>  window height in pixels (default 600)\n"
           "  --help     this text\n"
           "Escape or the close box quits at any time.\n";
}
