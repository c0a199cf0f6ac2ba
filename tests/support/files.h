#ifndef TARN_TESTS_SUPPORT_FILES_H
#define TARN_TESTS_SUPPORT_FILES_H

// Reading what a program under test left on disk.

#include <filesystem>
#include <set>
#include <string>

namespace Tarn::Test {

// The whole file as bytes; empty when it cannot be read.
std::string readFile(const std::filesystem::path& path);

// Every regular file below folder, by its path relative to folder with
// forward slashes ("assets/library.tarn").
std::set<std::string> filesBelow(const std::filesystem::path& folder);

}  // namespace Tarn::Test

#endif
