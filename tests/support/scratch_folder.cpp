#include "support/scratch_folder.h"

#include <string>

#include <gtest/gtest.h>
#include <unistd.h>

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

}  // namespace Tarn::Test
