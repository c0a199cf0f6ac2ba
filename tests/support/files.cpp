#include "support/files.h"

#include <fstream>
#include <iterator>

namespace Tarn::Test {

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::set<std::string> filesBelow(const std::filesystem::path& folder) {
    std::set<std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
        if (entry.is_regular_file())
            files.insert(entry.path().lexically_relative(folder).generic_string());
    return files;
}

}  // namespace Tarn::Test
