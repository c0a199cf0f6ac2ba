#ifndef TARN_TESTS_SUPPORT_SCRATCH_FOLDER_H
#define TARN_TESTS_SUPPORT_SCRATCH_FOLDER_H

// A fresh, empty folder for one test, made the working directory for the
// object's life: the engine reads loose files relative to it, and test
// processes run in parallel. Removed again, with everything in it, at the end.

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace Tarn::Test {

class ScratchFolder {
public:
    // Named after the running test and the process, under the system's
    // temporary folder.
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    // The working directory before, where failure images are kept.
    const std::filesystem::path& previous() const { return m_previous; }

private:
    std::filesystem::path m_previous;
    std::filesystem::path m_path;
};

// Writes each (path, bytes) as a loose file under the working directory,
// making the folders it needs.
void writeLooseFiles(const std::vector<std::pair<std::string, std::string>>& files);

// Writes each (path, bytes) as a loose file under the working directory,
// packs them all into the archive, then removes the loose files, so that
// only the archive serves them. False when the archive cannot be written.
bool packArchive(const std::string& archive,
                 const std::vector<std::pair<std::string, std::string>>& files);

}  // namespace Tarn::Test

#endif
