#include "support/run_program.h"

#include <cstdlib>
#include <fstream>
#include <iterator>

#include <sys/wait.h>

namespace Tarn::Test {

ProgramResult runProgram(const std::string& program, const std::string& arguments,
                         const std::filesystem::path& logFolder, const std::string& shell) {
    const std::filesystem::path log =
        logFolder / (std::filesystem::path(program).filename().string() + ".log");
    const std::string command =
        shell + "'" + program + "' " + arguments + " > '" + log.string() + "' 2>&1";
    const int status = std::system(command.c_str());
    std::ifstream in(log, std::ios::binary);
    ProgramResult result{WIFEXITED(status) ? WEXITSTATUS(status) : -1,
                         std::string(std::istreambuf_iterator<char>(in), {})};
    in.close();
    std::filesystem::remove(log);
    return result;
}

}  // namespace Tarn::Test
