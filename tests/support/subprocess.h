#ifndef TARN_TESTS_SUPPORT_SUBPROCESS_H
#define TARN_TESTS_SUPPORT_SUBPROCESS_H

// Runs a program of the build (or ffmpeg) the way a user would, in the
// working directory, and keeps what it printed; and writes the music files
// that content packed by tests plays.

#include <map>
#include <string>
#include <vector>

namespace Tarn::Test {

struct ProgramRun {
    int status = -1;  // exit status, -1 when it did not exit normally
    std::string out;  // standard output
    std::string err;  // standard error
};

// Runs command through the shell (quote arguments as the shell wants).
ProgramRun runProgram(const std::string& command);

// What ffprobe says of a file's first video stream and its container, as
// key=value pairs: entries is its -show_entries list
// ("stream=width,height:format=duration"), options go before it.
std::map<std::string, std::string> probeVideo(const std::string& file, const std::string& entries,
                                              const std::string& options = "");

// A mono 16-bit WAV file of samples from -1 to 1 at rate.
std::string waveFile(int rate, const std::vector<float>& samples);

// Music with something in every band the analysis reads: a 70 Hz kick
// every 0.37 s under a rising tone, seconds long at rate.
std::vector<float> drumLoop(double seconds, int rate);

}  // namespace Tarn::Test

#endif
