#include "support/scratch_folder.h"

#include <fstream>
#include <iostream>
#include <string>

#include <gtest/gtest.h>
#include <unistd.h>

#include "tarn/vfs.h"

namespace Tarn::Test {

ScratchFolder::ScratchFolder() : m_previous(std::filesystem::current_path()) {
    std::string name = "tarn_test";
    if (const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info())
        name += std::string("_") + info->test_suite_name() + "_" + info->name();
    m_path = std::filesystem::temp_directory_path() / (name + "_" + std::to_string(getpid()));
    std::filesystem::remove_all(m_path);
    std::filesystem::create_directories(m_path);
    std::filesystem::current_path(m_path);
}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::current_path(m_previous, ignored);
    std::filesystem::remove_all(m_path, ignored);
}

void writeLooseFiles(const std::vector<std::pair<std::string, std::string>>& files) {
    for (const auto& [path, bytes] : files) {
        const std::filesystem::path file(path);
        if (file.has_parent_path())
            std::filesystem::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << bytes;
    }
}

bool packArchive(const std::string& archive,
                 const std::vector<std::pair<std::string, std::string>>& files) {
    writeLooseFiles(files);
    Tarn::VFS writer(archive, false);
    for (const auto& file : files)
        writer.add(file.first);
    const bool written = writer.write();
    for (const auto& file : files)
        std::filesystem::remove(file.first);
    return written;
}

}  // namespace Tarn::Test
