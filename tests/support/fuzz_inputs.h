#ifndef TARN_TESTS_SUPPORT_FUZZ_INPUTS_H
#define TARN_TESTS_SUPPORT_FUZZ_INPUTS_H

// Inputs that once made a fuzz target fail, kept under
// tests/fuzz/regressions/TARGET/ so the ordinary suite replays them.

#include <string>
#include <utility>
#include <vector>

namespace Tarn::Test {

// (file name, bytes) of every saved input of a fuzz target, sorted by name.
std::vector<std::pair<std::string, std::string>> fuzzRegressionInputs(const std::string& target);

}  // namespace Tarn::Test

#endif
