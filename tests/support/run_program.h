#ifndef TARN_TESTS_SUPPORT_RUN_PROGRAM_H
#define TARN_TESTS_SUPPORT_RUN_PROGRAM_H

// Runs one of the project's command-line tools as a user would, for the
// tests of tools/.

#include <filesystem>
#include <string>

namespace Tarn::Test {

struct ProgramResult {
    int status;          // the exit status, -1 when the program did not exit
    std::string output;  // standard output and standard error together
};

// Runs program with arguments through the shell (quote them as a shell
// needs) in the working directory, after `shell`, commands that set its
// limits ("ulimit -f 16; "). The output passes through a log file in
// logFolder, removed again afterwards.
ProgramResult runProgram(const std::string& program, const std::string& arguments,
                         const std::filesystem::path& logFolder, const std::string& shell = "");

}  // namespace Tarn::Test

#endif
