#include "commandline.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

#include <tarn/audio/tempogrid.h>

#include "framesink.h"

namespace {

// The largest side of a window or picture, and the highest frame rate.
constexpr long kMaxSide = 16384;
constexpr double kMaxFps = 1000.0;

// Digits only after the letter, as launchers write "w1280", from 1 to
// kMaxSide: anything else (w1e30, w4294967456, w0) is refused here, before
// any window exists.
bool readSize(const char* argument, int& size, std::string& error) {
    const char* digits = argument + 1;
    const std::size_t length = std::strlen(digits);
    if (length > 0 && length <= 5 && std::strspn(digits, "0123456789") == length) {
        const long value = std::strtol(digits, nullptr, 10);
        if (value >= 1 && value <= kMaxSide) {
            size = static_cast<int>(value);
            return true;
        }
    }
    error = std::string("tarn-demo: \"") + argument + "\" does not give a size from 1 to " +
            std::to_string(kMaxSide) + " pixels (write it as w1280 or h720)";
    return false;
}

// The whole text as a finite number.
bool readNumber(const char* text, double& value) {
    char* end = nullptr;
    value = std::strtod(text, &end);
    return end != text && *end == '\0' && std::isfinite(value);
}

// "A:B" with 0 <= A < B.
bool readSpan(const char* text, double& from, double& to) {
    const char* colon = std::strchr(text, ':');
    if (!colon)
        return false;
    const std::string first(text, colon);
    double a = 0.0, b = 0.0;
    if (!readNumber(first.c_str(), a) || !readNumber(colon + 1, b) || a < 0.0 || b <= a)
        return false;
    from = a;
    to = b;
    return true;
}

// One side of "START..END": seconds from 0, or a bar time in its form.
struct LoopEnd {
    bool bar = false;
    double seconds = 0.0;
    double barNumber = 0.0, beat = 0.0;
};

bool readLoopEnd(const std::string& word, LoopEnd& end) {
    std::string error;
    end.bar = Tarn::Audio::TempoGrid::isBarTime(word);
    if (end.bar)
        return Tarn::Audio::TempoGrid::readBarTime(word, end.barNumber, end.beat, error);
    return readNumber(word.c_str(), end.seconds) && end.seconds >= 0.0;
}

// "START..END" in bar times or seconds. END must come after START where that
// is known without the tempo: both seconds, or both bar times (a beat is
// below the bar's beats, so bars and beats compare in that order).
bool readBarSpan(const std::string& text, CommandLine& line) {
    const std::size_t dots = text.find("..");
    if (dots == std::string::npos)
        return false;
    LoopEnd from, to;
    if (!readLoopEnd(text.substr(0, dots), from) || !readLoopEnd(text.substr(dots + 2), to))
        return false;
    if (from.bar != to.bar) {
        line.loopStartWord = text.substr(0, dots);
        line.loopEndWord = text.substr(dots + 2);
        return true;
    }
    if (!from.bar) {
        line.loopStart = from.seconds;
        line.loopEnd = to.seconds;
        return to.seconds > from.seconds;
    }
    if (to.barNumber < from.barNumber || (to.barNumber == from.barNumber && to.beat <= from.beat))
        return false;
    line.loopStartWord = text.substr(0, dots);
    line.loopEndWord = text.substr(dots + 2);
    return true;
}

// "WxH" with both sides from 1 to kMaxSide, digits only.
bool readDimensions(const char* text, int& width, int& height) {
    const std::size_t wDigits = std::strspn(text, "0123456789");
    if (wDigits == 0 || wDigits > 5 || (text[wDigits] != 'x' && text[wDigits] != 'X'))
        return false;
    const char* rest = text + wDigits + 1;
    const std::size_t hDigits = std::strspn(rest, "0123456789");
    if (hDigits == 0 || hDigits > 5 || rest[hDigits] != '\0')
        return false;
    const long w = std::strtol(text, nullptr, 10), h = std::strtol(rest, nullptr, 10);
    if (w < 1 || h < 1 || w > kMaxSide || h > kMaxSide)
        return false;
    width = static_cast<int>(w);
    height = static_cast<int>(h);
    return true;
}

// Containers ffmpeg writes H.264 or its own choice into, by extension.
bool videoExtension(const std::string& path) {
    std::string extension = path.substr(std::min(path.size(), path.rfind('.')));
    for (char& c : extension)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const char* known : {".mp4", ".mov", ".m4v", ".mkv", ".webm", ".avi"})
        if (extension == known)
            return true;
    return false;
}

bool exists(const char* path) {
    struct stat status;
    return ::stat(path, &status) == 0;
}

struct Parser {
    int argc;
    const char* const* argv;
    CommandLine line;
    bool rated = false;    // --fps given
    bool ended = false;    // --end given
    bool started = false;  // --start given

    void refuse(const std::string& why) {
        if (line.error.empty())
            line.error = "tarn-demo: " + why + " (tarn-demo --help lists the options)";
    }

    // The value after option i, or null (refused) when there is none.
    const char* value(int& i) {
        if (i + 1 < argc)
            return argv[++i];
        refuse(std::string(argv[i]) + " needs a value");
        return nullptr;
    }

    void number(int& i, double& target, double minimum, bool inclusive) {
        const char* option = argv[i];
        double parsed = 0.0;
        if (const char* text = value(i)) {
            if (readNumber(text, parsed) && (inclusive ? parsed >= minimum : parsed > minimum))
                target = parsed;
            else
                refuse(std::string(option) + " \"" + text + "\" is not a number " +
                       (inclusive ? "of at least " : "above ") +
                       std::to_string(static_cast<int>(minimum)));
        }
    }

    // Seconds, or a bar time kept as its word for the content's tempo.
    void startTime(int& i) {
        if (i + 1 >= argc || !Tarn::Audio::TempoGrid::isBarTime(argv[i + 1]))
            return number(i, line.start, 0.0, true);
        const char* text = value(i);
        double bar = 0.0, beat = 0.0;
        std::string error;
        if (Tarn::Audio::TempoGrid::readBarTime(text, bar, beat, error))
            line.startWord = text;
        else
            refuse("--start: " + error);
    }

    void option(int& i) {
        const std::string name = argv[i];
        if (name == "--help") {
            line.help = true;
        } else if (name == "--profile") {
            line.profile = true;
        } else if (name == "--render" || name == "--png" || name == "--frames") {
            if (const char* text = value(i)) {
                if (!*text)
                    refuse(name + " needs a file name");
                (name == "--render" ? line.render
                 : name == "--png"  ? line.png
                                    : line.frames) = text;
            }
        } else if (name == "--fps") {
            const char* text = i + 1 < argc ? argv[i + 1] : "";
            number(i, line.fps, 0.0, false);
            if (line.fps > kMaxFps)
                refuse("--fps \"" + std::string(text) + "\" is above " +
                       std::to_string(static_cast<int>(kMaxFps)) + " frames a second");
            rated = true;
        } else if (name == "--start") {
            startTime(i);
            started = true;
        } else if (name == "--end") {
            number(i, line.end, 0.0, false);
            ended = true;
        } else if (name == "--loop") {
            const char* text = value(i);
            if (text && std::strstr(text, "..")) {
                if (!readBarSpan(text, line))
                    refuse(std::string("--loop \"") + text +
                           "\" is not START..END in bar times, with END after START (as "
                           "8:0..12:0)");
            } else if (text && !readSpan(text, line.loopStart, line.loopEnd)) {
                refuse(std::string("--loop \"") + text +
                       "\" is not START:END in seconds, with END after START (as 10:20), nor "
                       "START..END in bar times (as 8:0..12:0)");
            }
        } else if (name == "--check") {
            line.check = true;
        } else if (name == "--analyse" || name == "--analyze") {
            line.analyse = true;
        } else if (name == "--length") {
            line.length = true;
        } else if (name == "--new") {
            if (const char* text = value(i))
                line.newFolder = text;
        } else if (name == "--dev" || name == "--watch") {
            (name == "--dev" ? line.dev : line.watch) = true;
        } else if (name == "--frame") {
            number(i, line.frame, 0.0, true);
        } else if (name == "--size") {
            const char* text = value(i);
            if (text && !readDimensions(text, line.width, line.height))
                refuse(std::string("--size \"") + text +
                       "\" is not WIDTHxHEIGHT from 1 to 16384 (as 1920x1080)");
        } else {
            refuse("unknown option \"" + name + "\"");
        }
    }

    void content(const char* argument) {
        if (!line.content.empty())
            refuse(std::string("two contents given, \"") + line.content + "\" and \"" + argument +
                   "\"; give one");
        else
            line.content = argument;
    }

    void check() {
        const bool frame = line.frame >= 0.0;
        const bool playing = line.offline() || line.dev || line.looping() || started;
        if (!line.newFolder.empty() &&
            (line.check || line.analyse || line.length || playing || !line.content.empty()))
            refuse("--new writes a demo folder; it takes no content and no other option");
        else if (line.check && playing)
            refuse("--check loads the content without playing it; it takes no playing "
                   "or rendering option");
        else if (line.analyse && (playing || line.check))
            refuse("--analyse writes the music's analysis; it takes only the content");
        else if (line.length && (playing || line.check || line.analyse))
            refuse("--length prints the demo's length; it takes only the content");
        else if (!line.render.empty() && (frame || !line.png.empty()))
            refuse("--render and --frame/--png make different outputs; give one");
        else if (frame != !line.png.empty())
            refuse("--frame T and --png FILE go together");
        else if ((ended || rated) && line.render.empty() && !(rated && frame))
            refuse("--end goes with --render, --fps with --render or --frame");
        else if (started && frame)
            refuse("--start goes with --render or playing; --frame gives its own time");
        else if (line.offline() && (line.dev || line.watch || line.looping()))
            refuse("--dev, --watch and --loop are for playing in a window, not for rendering");
        else if (line.watch && !line.dev)
            refuse("--watch goes with --dev");
        else if (line.end >= 0.0 && line.end <= line.start && line.startWord.empty())
            refuse("--end must come after --start");
        else if (line.offline() && (line.render.empty() ? line.png : line.render)[0] == '-')
            refuse("\"" + (line.render.empty() ? line.png : line.render) +
                   "\" begins with '-', which ffmpeg reads as an option; write it as ./" +
                   (line.render.empty() ? line.png : line.render));
        else if (!line.render.empty() && !line.pngOutput() && !videoExtension(line.render))
            refuse("--render \"" + line.render +
                   "\" names no video: end it in .mp4, .mov, .m4v, .mkv, .webm or .avi, or in "
                   ".png for numbered PNG files");
        else if (!line.frames.empty() && (line.render.empty() || line.pngOutput()))
            refuse("--frames goes with --render of a video: it encodes those PNG files "
                   "instead of drawing");
        else if (!line.frames.empty() && !hasFrameNumber(line.frames))
            refuse("--frames \"" + line.frames +
                   "\" holds no frame number: name the files as --render wrote them (as "
                   "f%05d.png)");
        else if (!line.render.empty() && !line.pngOutput() &&
                 (line.width % 2 != 0 || line.height % 2 != 0))
            refuse("a video needs an even width and height (its colour is stored at half "
                   "size); " +
                   std::to_string(line.width) + "x" + std::to_string(line.height) + " is not");
    }
};

}  // namespace

bool CommandLine::pngOutput() const {
    if (!png.empty())
        return true;
    if (render.size() < 4)
        return false;
    std::string extension = render.substr(render.size() - 4);
    for (char& c : extension)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension == ".png";
}

CommandLine parseCommandLine(int argc, const char* const* argv) {
    Parser parser{argc, argv, CommandLine{}};
    CommandLine& line = parser.line;
    for (int i = 1; i < argc && line.error.empty(); ++i) {
        const char* argument = argv[i];
        if (std::strncmp(argument, "--", 2) == 0) {
            parser.option(i);
            continue;
        }
        if (exists(argument)) {
            parser.content(argument);
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
    if (line.error.empty())
        parser.check();
    if (line.looping() && !parser.started) {
        line.start = std::max(line.loopStart, 0.0);
        line.startWord = line.loopStartWord;
    }
    return line;
}

std::string usage() {
    return "usage: tarn-demo [CONTENT] [f] [w<width>] [h<height>] [--start S]\n"
           "                 [--loop A:B | --loop A..B]\n"
           "                 [--dev [--watch]] [--profile]\n"
           "       tarn-demo [CONTENT] --render FILE [--fps N] [--size WxH] [--start S] "
           "[--end E]\n"
           "       tarn-demo [CONTENT] --render VIDEO --frames PATTERN [--fps N] [--size WxH]\n"
           "                 [--start S] [--end E]\n"
           "       tarn-demo [CONTENT] --frame T --png FILE [--size WxH] [--fps N]\n"
           "       tarn-demo [CONTENT] --check\n"
           "       tarn-demo [CONTENT] --analyse\n"
           "       tarn-demo [CONTENT] --length\n"
           "       tarn-demo --new FOLDER\n"
           "Plays a demo with its music, then quits at the end of its timeline. CONTENT\n"
           "is an archive made by tarn-pack or a folder of loose files (default:\n"
           "demo.tarn in the working folder). Files an archive lacks are read from\n"
           "loose files beside it; the demo script is assets/demo.tarn inside it.\n"
           "  --check       load everything without playing; list each problem as\n"
           "                script:line: what, then a count; exit 1 if there is any\n"
           "  --analyse     write the music's analysis to music-analysis.csv (bands,\n"
           "                onsets, level every 5 ms) and music-analysis.png (spectrum,\n"
           "                bands, onsets and the tempo's bars) in the working folder\n"
           "  --length      print where the demo's timeline ends, in seconds\n"
           "  --new FOLDER  write a small, complete demo there to start from; play it\n"
           "                with tarn-demo FOLDER\n"
           "  f             full screen\n"
           "  w<width>      window width in pixels (default 1024)\n"
           "  h<height>     window height in pixels (default 600)\n"
           "  --profile     time every pass on the GPU; print a table at exit\n"
           "  --start S     start playing at demo time S: seconds, or BAR:BEAT on the\n"
           "                content's tempo (36:0, 12:2.5)\n"
           "  --loop A:B    play from A to B seconds over and over, the music with it;\n"
           "                starts at A unless --start says otherwise\n"
           "  --loop A..B   the same in bar times (8:0..12:0: bars 8 to 11)\n"
           "  --dev         authoring: no preloader, the demo waits at its end, loose files\n"
           "                come before the archive, and these keys work:\n"
           "                  Space       pause and resume, picture and music\n"
           "                  Left Right  5 s back or forward (with Shift, 1 s)\n"
           "                  Home        back to the start\n"
           "                  [ ]         loop from here, loop up to here\n"
           "                  Backspace   no loop\n"
           "                  F5          reload all content, keeping time and loop\n"
           "                the window title shows the time, the loop and the frame rate\n"
           "  --watch       with --dev: reload when a content file changes (checked\n"
           "                twice a second)\n"
           "  --help        this text\n"
           "Escape or the close box quits at any time.\n"
           "Rendering to files needs no window or display:\n"
           "  --render FILE a video with the music (.mp4: H.264 and AAC; .mkv, .webm:\n"
           "                ffmpeg's choice), or PNG files when FILE ends in .png and\n"
           "                holds a frame number (shot%05d.png)\n"
           "  --fps N       frames per second (default 60)\n"
           "  --size WxH    picture size (default 1024x600)\n"
           "  --start S     first frame's demo time in seconds or BAR:BEAT (default 0)\n"
           "  --end E       demo time to stop before (default the end of the demo)\n"
           "  --frame T --png FILE  the one frame at demo time T as a PNG file; effects\n"
           "                with feedback draw the frames before it at --fps N\n"
           "  --frames PATTERN  with --render VIDEO: encode these numbered PNG files,\n"
           "                named as --render PATTERN wrote them, instead of drawing; the\n"
           "                same video, music and all, as rendering the span here\n"
           "Frame i shows demo time S + i/N exactly; spans that start on frames of one\n"
           "rate join into the whole.\n"
           "Bar times count bars and beats from 0 on the tempo line of the demo script\n"
           "(tempo BPM [OFFSET] [BEATS_PER_BAR]); content without one takes seconds only.\n";
}
