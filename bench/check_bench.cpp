// What `tarn-demo --check` costs against a normal load of the same content,
// the demo's own archive (the build's demo.tarn): each run is the whole
// program, started afresh, headless. The normal load is a one-frame render
// at 64x64 (`--frame 1 --png`), which loads everything playing loads and
// adds one tiny frame; --check loads the same and also the preloader's
// files. Seven runs of each, interleaved; the medians and their ratio
// (target: at most 1.2). Needs no display (EGL, or Mesa's surfaceless
// platform).

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

double secondsOf(const std::string& command) {
    const auto start = std::chrono::steady_clock::now();
    const int status = std::system(command.c_str());
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    if (status != 0)
        std::printf("check_bench: \"%s\" exited with %d\n", command.c_str(), status);
    return took.count();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main() {
    const std::string program = std::string("ALSOFT_DRIVERS=null '") + TARN_DEMO_PATH + "' '" +
                                TARN_DEMO_ARCHIVE + "' ";
    std::vector<double> checks, loads;
    for (int i = 0; i < 7; ++i) {
        checks.push_back(secondsOf(program + "--check >/dev/null"));
        loads.push_back(
            secondsOf(program + "--size 64x64 --frame 1 --png /tmp/check_bench.png >/dev/null"));
    }
    std::remove("/tmp/check_bench.png");
    std::printf("normal load (one 64x64 frame): median %.3f s\n", median(loads));
    std::printf("--check:                       median %.3f s\n", median(checks));
    std::printf("--check / normal load:         %.2f (target <= 1.2)\n",
                median(checks) / median(loads));
    return 0;
}
