#ifndef TARN_PLAYER_COMMANDLINE_H
#define TARN_PLAYER_COMMANDLINE_H

// The player's command line. An argument that names an existing file or
// folder is the content to play (an archive, or a folder of loose files);
// any other is read by its first character: f opens full screen, w<N> sets
// the width, h<N> the height, anything else is ignored, as demo launchers
// have always passed them. So "hills.tarn" is content when it exists, and
// "h720" a height. The program's own options begin with "--" and never
// collide with those; those that take a value take it as the next argument.

#include <string>

struct CommandLine {
    int width = 1024;
    int height = 600;
    bool fullscreen = false;
    bool help = false;
    // The content: an archive or a folder; empty for demo.tarn in the
    // working folder.
    std::string content;
    // --check: load everything without playing and list the problems.
    bool check = false;
    // --analyse: write the music's analysis as a table and a picture.
    bool analyse = false;
    // --length: print where the demo's timeline ends, in seconds.
    bool length = false;
    // --new DIR: write a small demo folder there.
    std::string newFolder;
    // --profile: time every pass and print the table at exit.
    bool profile = false;
    // --render FILE: a video, or PNG files when FILE ends in .png.
    std::string render;
    // --frames PATTERN: with --render of a video, the numbered PNG files to
    // encode instead of drawing, named as --render PATTERN names them.
    std::string frames;
    double fps = 60.0;
    // --start S: the first frame's demo time, rendering or playing; when
    // playing a loop, the loop's start unless given.
    double start = 0.0;
    double end = -1.0;  // negative: the end of the timeline
    // --loop A:B: playing wraps from B back to A; negative: no loop.
    double loopStart = -1.0;
    double loopEnd = -1.0;
    // Bar times (--start 36:0, --loop 8:0..12:0) wait for the content's
    // tempo: the words are kept, checked for their form only, and read once
    // the content is loaded; the seconds above stay as they were. A loop's
    // word may be seconds beside a bar time ("4..12:0").
    std::string startWord;
    std::string loopStartWord;
    std::string loopEndWord;
    // --dev: the authoring keys, no preloader; --watch: reload on changes.
    bool dev = false;
    bool watch = false;
    // --frame T --png FILE: the one frame at demo time T.
    double frame = -1.0;
    std::string png;
    // Set when the command line cannot be used: one line naming the
    // argument, for the program to print before exiting with code 2.
    std::string error;

    // --loop was given, in seconds or in bar times.
    bool looping() const { return loopEnd > 0.0 || !loopEndWord.empty(); }
    // Rendering to files without a window.
    bool offline() const { return !render.empty() || !png.empty(); }
    // The output is PNG files rather than a video.
    bool pngOutput() const;
};

CommandLine parseCommandLine(int argc, const char* const* argv);
// What --help prints.
std::string usage();

#endif
