#ifndef TARN_TESTS_SUPPORT_SUBPROCESS_H
#define TARN_TESTS_SUPPORT_SUBPROCESS_H

// Runs a program of the build (or ffmpeg) the way a user would, in the
// working directory, and keeps what it printed; and writes the music files
// that content packed by tests plays.

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

// A mono 16-bit WAV file of samples from -1 to 1 at rate.
std::string waveFile(int rate, const std::vector<float>& samples);

}  // namespace Tarn::Test

#endif
