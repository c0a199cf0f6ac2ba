#include "support/fuzz_inputs.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace Tarn::Test {

std::vector<std::pair<std::string, std::string>> fuzzRegressionInputs(const std::string& target) {
    namespace fs = std::filesystem;
    std::vector<std::pair<std::string, std::string>> inputs;
    const fs::path folder = fs::path(TARN_TEST_SOURCE_DIR) / "fuzz" / "regressions" / target;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
        if (!entry.is_regular_file())
            continue;
        std::ifstream in(entry.path(), std::ios::binary);
        inputs.emplace_back(entry.path().filename().string(),
                            std::string(std::istreambuf_iterator<char>(in), {}));
    }
    std::sort(inputs.begin(), inputs.end());
    return inputs;
}

}  // namespace Tarn::Test
