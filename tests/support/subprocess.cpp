#include "support/subprocess.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <sys/wait.h>
#include <unistd.h>

namespace Tarn::Test {

namespace {

std::string takeFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    in.close();
    std::filesystem::remove(path);
    return bytes.str();
}

}  // namespace

ProgramRun runProgram(const std::string& command) {
    const std::string stem = ".run-" + std::to_string(getpid());
    const std::string out = stem + ".out", err = stem + ".err";
    const int status = std::system((command + " > " + out + " 2> " + err).c_str());
    ProgramRun run;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = takeFile(out);
    run.err = takeFile(err);
    return run;
}

std::vector<float> drumLoop(double seconds, int rate) {
    std::vector<float> drums(static_cast<std::size_t>(seconds * rate));
    for (std::size_t i = 0; i < drums.size(); ++i) {
        const double t = static_cast<double>(i) / rate, sinceHit = std::fmod(t, 0.37);
        drums[i] =
            static_cast<float>(0.8 * std::exp(-sinceHit * 20) * std::sin(2 * M_PI * 70 * sinceHit) +
                               0.1 * std::sin(2 * M_PI * (300 + 200 * t) * t));
    }
    return drums;
}

std::string waveFile(int rate, const std::vector<float>& samples) {
    std::string bytes;
    const auto put = [&bytes](std::uint32_t value, int size) {
        for (int i = 0; i < size; ++i)
            bytes += static_cast<char>((value >> (8 * i)) & 0xff);
    };
    const auto count = static_cast<std::uint32_t>(samples.size());
    const auto byteRate = static_cast<std::uint32_t>(2 * rate);
    bytes += "RIFF";
    put(36 + 2 * count, 4);
    bytes += "WAVEfmt ";
    for (std::uint32_t v :
         {16u, 1u | (1u << 16), static_cast<std::uint32_t>(rate), byteRate, 2u | (16u << 16)})
        put(v, 4);
    bytes += "data";
    put(2 * count, 4);
    for (float sample : samples)
        put(static_cast<std::uint16_t>(std::lround(32767.0f * std::clamp(sample, -1.0f, 1.0f))), 2);
    return bytes;
}

std::map<std::string, std::string> probeVideo(const std::string& file, const std::string& entries,
                                              const std::string& options) {
    const ProgramRun run = runProgram("ffprobe -v error " + options +
                                      " -select_streams v:0 "
                                      "-show_entries " +
                                      entries + " -of default=noprint_wrappers=1 " + file);
    std::map<std::string, std::string> values;
    std::istringstream lines(run.out);
    for (std::string line; std::getline(lines, line);)
        if (const auto equals = line.find('='); equals != std::string::npos)
            values[line.substr(0, equals)] = line.substr(equals + 1);
    return values;
}

}  // namespace Tarn::Test
