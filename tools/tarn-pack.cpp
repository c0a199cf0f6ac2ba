// tarn-pack: builds, lists, extracts and checks Tarn archives for content
// authors. Results go to standard output, errors to standard error; the
// engine's own "[VFS]" lines add detail on standard output.
// Exit status: 0 on success, 1 on failure, 2 on bad usage.

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <iostream>
#include <iterator>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include <tarn/file.h>
#include <tarn/vfs.h>

namespace fs = std::filesystem;

namespace {

constexpr int Success = 0;
constexpr int Failure = 1;
constexpr int UsageError = 2;

const char* const MainHelp =
    "usage: tarn-pack COMMAND [ARGUMENTS]\n"
    "\n"
    "Builds and inspects Tarn archives.\n"
    "\n"
    "commands:\n"
    "  create ARCHIVE FOLDER            pack every file below FOLDER into ARCHIVE\n"
    "  list ARCHIVE                     show each entry with its packed and unpacked size\n"
    "  extract ARCHIVE [ENTRY] [-C DIR] unpack every entry, or only ENTRY, below DIR\n"
    "  verify ARCHIVE                   inflate every entry and check its size\n"
    "\n"
    "Run 'tarn-pack COMMAND --help' for details.\n"
    "Exit status: 0 on success, 1 on failure, 2 on bad usage.\n";

const char* const CreateHelp =
    "usage: tarn-pack create ARCHIVE FOLDER\n"
    "\n"
    "Packs every regular file below FOLDER, each stored under its path relative\n"
    "to FOLDER with forward slashes (\"assets/library.tarn\"). A symbolic link is\n"
    "packed as the file it leads to when that file lies inside FOLDER; other\n"
    "links, FIFOs, sockets and devices are skipped with a line each. An existing\n"
    "ARCHIVE is replaced only once the new one is complete.\n";

const char* const ListHelp =
    "usage: tarn-pack list ARCHIVE\n"
    "\n"
    "Prints the packed size, unpacked size and path of every entry, in path\n"
    "order, then a total line.\n";

const char* const ExtractHelp =
    "usage: tarn-pack extract ARCHIVE [ENTRY] [-C DIR]\n"
    "\n"
    "Writes every entry, or only ENTRY, below DIR (default: the current folder),\n"
    "creating folders as needed. Entries with an absolute path or a \"..\"\n"
    "component, and entries whose way below DIR passes an existing symbolic\n"
    "link, are refused. Files are put in place only once every entry has been\n"
    "written, so a failed extract leaves DIR as it was. Nothing is written\n"
    "when the entries' total unpacked size exceeds the space free below DIR.\n";

const char* const VerifyHelp =
    "usage: tarn-pack verify ARCHIVE\n"
    "\n"
    "Inflates every entry and checks it against its recorded size; stops at the\n"
    "first bad entry, naming it, with exit status 1. A name carried by more than\n"
    "one record, or bytes after an entry's zlib stream, also fail. Reports the\n"
    "total unpacked size.\n";

int usageError(const std::string& message, const std::string& command) {
    std::cerr << "tarn-pack: " << message << "\n"
              << "Run 'tarn-pack " << (command.empty() ? "" : command + " ") << "--help' for usage."
              << std::endl;
    return UsageError;
}

int failure(const std::string& message) {
    std::cerr << "tarn-pack: " << message << std::endl;
    return Failure;
}

// Entry names come from archives and folders: control characters in them
// must not reach the terminal.
std::string printable(const std::string& path) {
    return Tarn::VFS::printableName(path);
}

bool isHelp(const std::string& argument) {
    return argument == "-h" || argument == "--help";
}

// Checked before a VFS is made over ARCHIVE: the VFS would quietly treat a
// missing archive as an empty one.
bool archiveExists(const std::string& archive) {
    std::error_code error;
    if (!fs::exists(archive, error)) {
        failure(archive + ": no such file");
        return false;
    }
    if (!fs::is_regular_file(archive, error)) {
        failure(archive + ": not a regular file");
        return false;
    }
    return true;
}

// The archive opened for reading, or null after saying why it cannot be.
std::unique_ptr<Tarn::VFS> openArchive(const std::string& archive) {
    if (!archiveExists(archive))
        return nullptr;
    auto vfs = std::make_unique<Tarn::VFS>(archive, true);
    if (!vfs->hasArchive()) {
        failure(archive + ": not a valid archive");
        return nullptr;
    }
    return vfs;
}

// A name that the working folder does not contain yet, beside the archive.
fs::path stagingName(const fs::path& archive) {
    std::error_code error;
    for (int attempt = 0;; ++attempt) {
        fs::path name = archive;
        name += ".new" + (attempt ? std::to_string(attempt) : std::string());
        if (!fs::exists(name, error) && !fs::exists(name.string() + ".tmp", error))
            return name;
    }
}

// True when `path`, made canonical, lies below the canonical `folder`.
bool liesBelow(const fs::path& path, const fs::path& folder) {
    const auto mismatch = std::mismatch(folder.begin(), folder.end(), path.begin(), path.end());
    return mismatch.first == folder.end() && mismatch.second != path.end();
}

const char* kindOf(const fs::file_status& status) {
    switch (status.type()) {
    case fs::file_type::fifo:
        return "a FIFO";
    case fs::file_type::socket:
        return "a socket";
    case fs::file_type::block:
    case fs::file_type::character:
        return "a device";
    default:
        return "not a regular file";
    }
}

// Why a link below FOLDER is not packed, or empty when the file it leads to
// is packed under the link's path.
std::string refuseLink(const fs::path& link, const fs::path& folder, const fs::path& archive) {
    std::error_code error;
    const fs::path target = fs::canonical(link, error);
    if (error)
        return "the link leads nowhere";
    if (!liesBelow(target, fs::canonical(folder, error)))
        return "the link leads outside " + folder.string();
    const fs::file_status status = fs::status(target, error);
    if (fs::is_directory(status))
        return "a folder reached through a link";
    if (!fs::is_regular_file(status))
        return std::string("the link leads to ") + kindOf(status);
    if (fs::equivalent(target, archive, error))
        return "the link leads to the archive being written";
    return {};
}

// Every file below FOLDER to pack, by path relative to it. Regular files are
// packed, and links to regular files inside FOLDER as the file they lead to;
// anything else is skipped with one line saying why, never silently
// (TarnPackTest.CreatePacksOnlyWhatLiesInsideTheFolder). The archive being
// replaced may lie inside FOLDER and is left out.
bool listFolder(const fs::path& folder, const fs::path& archive, std::vector<std::string>& paths,
                std::error_code& error) {
    fs::recursive_directory_iterator it(folder, error);
    for (; !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
        std::error_code ignored;
        const fs::file_status status = it->symlink_status(ignored);
        const std::string path = it->path().lexically_relative(folder).generic_string();
        std::string skip;
        if (fs::is_directory(status))
            continue;
        if (fs::is_symlink(status))
            skip = refuseLink(it->path(), folder, archive);
        else if (!fs::is_regular_file(status))
            skip = kindOf(status);
        else if (fs::equivalent(it->path(), archive, ignored))
            continue;
        if (skip.empty())
            paths.push_back(path);
        else
            std::cerr << "tarn-pack: skipping " << printable(path) << ": " << skip << std::endl;
    }
    return !error;
}

int create(const std::vector<std::string>& arguments) {
    if (arguments.size() != 2)
        return usageError("create needs ARCHIVE and FOLDER", "create");
    const fs::path archive = fs::absolute(arguments[0]);
    const fs::path folder = arguments[1];
    std::error_code error;
    if (!fs::is_directory(folder, error))
        return failure(arguments[1] + ": not a folder");

    std::vector<std::string> paths;
    if (!listFolder(folder, archive, paths, error))
        return failure(arguments[1] + ": cannot read the folder: " + error.message());
    std::sort(paths.begin(), paths.end());

    // The VFS reads added paths relative to the working folder, and would
    // leave out any path its archive already holds; so it packs from inside
    // FOLDER into a fresh name, which then replaces ARCHIVE.
    const fs::path staging = stagingName(archive);
    const fs::path previous = fs::current_path();
    fs::current_path(folder, error);
    if (error)
        return failure(arguments[1] + ": cannot enter the folder: " + error.message());
    bool written = false;
    {
        Tarn::VFS vfs(staging.string(), false);
        for (const std::string& path : paths)
            vfs.add(path);
        written = vfs.write();
    }
    fs::current_path(previous, error);
    if (!written)
        return failure(arguments[0] + ": not written");
    fs::rename(staging, archive, error);
    if (error) {
        fs::remove(staging, error);
        return failure(arguments[0] + ": cannot replace it: " + error.message());
    }

    Tarn::VFS packed(archive.string(), true);
    unsigned long long packedTotal = 0, unpackedTotal = 0;
    for (const std::string& path : paths) {
        const Tarn::VFS::FileEntry* entry = packed.entry(path);
        if (!entry)
            return failure(arguments[0] + ": " + printable(path) + " missing after writing");
        packedTotal += entry->packedSize;
        unpackedTotal += entry->unpackedSize;
        std::cout << "added " << printable(path) << " (" << entry->unpackedSize << " bytes)"
                  << std::endl;
    }
    std::cout << "created " << arguments[0] << ": " << paths.size() << " entries, " << unpackedTotal
              << " bytes packed into " << packedTotal << std::endl;
    return Success;
}

unsigned long long unpackedTotal(const Tarn::VFS& vfs, const std::vector<std::string>& paths) {
    unsigned long long total = 0;
    for (const std::string& path : paths)
        total += vfs.entry(path)->unpackedSize;
    return total;
}

// The space free where a folder is, or would be made: its nearest existing
// ancestor's file system.
std::uintmax_t freeSpace(const fs::path& folder, std::error_code& error) {
    fs::path existing = fs::absolute(folder, error);
    while (!fs::exists(existing, error) && existing.has_relative_path())
        existing = existing.parent_path();
    return fs::space(existing, error).available;
}

int list(const std::vector<std::string>& arguments) {
    if (arguments.size() != 1)
        return usageError("list needs ARCHIVE", "list");
    const std::unique_ptr<Tarn::VFS> vfs = openArchive(arguments[0]);
    if (!vfs)
        return Failure;
    std::vector<std::string> paths;
    vfs->entries(paths);
    unsigned long long packedTotal = 0, unpackedTotal = 0;
    char line[64];
    std::cout << "    packed   unpacked  path" << std::endl;
    for (const std::string& path : paths) {
        const Tarn::VFS::FileEntry* entry = vfs->entry(path);
        std::snprintf(line, sizeof line, "%10lu %10lu  ",
                      static_cast<unsigned long>(entry->packedSize),
                      static_cast<unsigned long>(entry->unpackedSize));
        std::cout << line << printable(path) << std::endl;
        packedTotal += entry->packedSize;
        unpackedTotal += entry->unpackedSize;
    }
    std::snprintf(line, sizeof line, "%10llu %10llu  ", packedTotal, unpackedTotal);
    std::cout << line << "total, " << paths.size() << " entries" << std::endl;
    return Success;
}

// Entry paths come from the archive and may be hostile: only relative paths
// without ".." stay below the extraction folder.
bool staysInside(const std::string& path) {
    if (path.empty() || path[0] == '/' || path[0] == '\\')
        return false;
    const fs::path asPath(path);
    if (asPath.is_absolute() || asPath.has_root_name() || asPath.has_root_directory())
        return false;
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t end = std::min(path.find_first_of("/\\", start), path.size());
        if (path.compare(start, end - start, "..") == 0)
            return false;
        start = end + 1;
    }
    return true;
}

// The system's reason for the last failed call, never "Success".
std::string systemReason(int number) {
    return number != 0 ? std::strerror(number) : "the system gave no reason";
}

// Two entries where one is a folder of the other cannot both be extracted:
// the names of the first such pair, or empty.
std::string fileAndFolder(std::vector<std::string> paths) {
    std::sort(paths.begin(), paths.end());
    for (const std::string& path : paths) {
        const auto below = std::lower_bound(paths.begin(), paths.end(), path + "/");
        if (below != paths.end() && below->compare(0, path.size() + 1, path + "/") == 0)
            return path;
    }
    return {};
}

// Extraction happens in two steps so that a failure changes nothing that was
// there: every entry is first written to a temporary file in its folder, and
// only when all of them are complete are they renamed into place
// (TarnPackTest.ExtractNeverLeavesItsFolderOrDamagesFiles).
class Extraction {
public:
    Extraction(const fs::path& root, const fs::path& archive) : m_root(root), m_archive(archive) {}
    Extraction(const Extraction&) = delete;
    Extraction& operator=(const Extraction&) = delete;
    // Removes the temporary files and the folders made for them unless
    // commit has put them in place.
    ~Extraction() {
        std::error_code error;
        for (const Staged& staged : m_staged)
            fs::remove(staged.temporary, error);
        for (auto folder = m_created.rbegin(); folder != m_created.rend(); ++folder)
            fs::remove(*folder, error);  // only while still empty
    }

    // Writes the entry's bytes beside its destination; false after saying why.
    bool stage(const std::string& path, Tarn::File& file) {
        fs::path target;
        if (!f_target(path, target))
            return false;
        Staged staged{target, target, path, file.size()};
        std::FILE* out = nullptr;
        // "x" refuses to reuse an existing file, whoever made it.
        for (int attempt = 0; !out && attempt < 100; ++attempt) {
            staged.temporary.replace_filename(".tarn-pack" + std::to_string(m_staged.size()) +
                                              (attempt ? "-" + std::to_string(attempt) : ""));
            errno = 0;
            out = std::fopen(staged.temporary.c_str(), "wbx");
            if (!out && errno != EEXIST)
                break;
        }
        if (!out)
            return f_cannotWrite(target, errno);
        m_staged.push_back(staged);
        bool ok = file.size() == 0 || std::fwrite(file.ptr(), 1, file.size(), out) == file.size();
        ok = std::fflush(out) == 0 && ok;
        const int reason = errno;
        if (std::fclose(out) != 0 || !ok)
            return f_cannotWrite(target, ok ? errno : reason);
        return true;
    }

    // Puts every staged file in place; false after saying why.
    bool commit() {
        // A staged file renamed already is no longer there to be removed.
        for (const Staged& staged : m_staged) {
            std::error_code error;
            fs::rename(staged.temporary, staged.target, error);
            if (error)
                return f_cannotWrite(staged.target, error.value());
            std::cout << "extracted " << printable(staged.path) << " (" << staged.size << " bytes)"
                      << std::endl;
        }
        m_staged.clear();
        m_created.clear();
        return true;
    }

private:
    struct Staged {
        fs::path temporary;
        fs::path target;
        std::string path;
        unsigned int size;
    };

    bool f_cannotWrite(const fs::path& file, int number) {
        failure("cannot write " + printable(file.string()) + ": " + systemReason(number));
        return false;
    }

    bool f_refuse(const std::string& path, const std::string& why) {
        failure("refusing to extract " + printable(path) + ": " + why);
        return false;
    }

    // Makes the folders of an entry below the root and finds its
    // destination. An existing link on the way is refused, never followed:
    // it could lead anywhere.
    bool f_target(const std::string& path, fs::path& target) {
        fs::path current = m_root;
        const fs::path relative(path);
        for (auto part = relative.begin(); part != relative.end(); ++part) {
            if (part->empty() || *part == ".")
                continue;
            current /= *part;
            std::error_code error;
            const fs::file_status status = fs::symlink_status(current, error);
            if (fs::is_symlink(status))
                return f_refuse(path, printable(current.string()) + " is a symbolic link");
            if (std::next(part) == relative.end())
                break;
            if (!fs::exists(status)) {
                if (!fs::create_directory(current, error))
                    return f_cannotWrite(current, error.value());
                m_created.push_back(current);
            } else if (!fs::is_directory(status)) {
                return f_refuse(path, printable(current.string()) + " is not a folder");
            }
        }
        std::error_code error;
        if (fs::is_directory(fs::symlink_status(current, error)))
            return f_refuse(path, printable(current.string()) + " is a folder");
        if (fs::equivalent(current, m_archive, error))
            return f_refuse(path, "it is the archive being read");
        target = current;
        return true;
    }

    fs::path m_root;
    fs::path m_archive;
    std::vector<Staged> m_staged;
    std::vector<fs::path> m_created;
};

int extract(const std::vector<std::string>& arguments) {
    std::vector<std::string> positional;
    std::string folder = ".";
    bool optionsEnded = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (optionsEnded || argument.empty() || argument[0] != '-') {
            positional.push_back(argument);
        } else if (argument == "--") {
            optionsEnded = true;
        } else if (argument == "-C") {
            if (i + 1 == arguments.size())
                return usageError("-C needs a folder", "extract");
            folder = arguments[++i];
        } else {
            return usageError("unknown option " + argument, "extract");
        }
    }
    if (positional.empty() || positional.size() > 2)
        return usageError("extract needs ARCHIVE and at most one ENTRY", "extract");
    const std::string& archive = positional[0];
    const std::unique_ptr<Tarn::VFS> vfs = openArchive(archive);
    if (!vfs)
        return Failure;

    std::vector<std::string> paths;
    if (positional.size() == 2) {
        if (!vfs->entry(positional[1]))
            return failure(archive + ": no entry " + printable(positional[1]));
        paths.push_back(positional[1]);
    } else {
        vfs->entries(paths);
    }
    // Refused before anything is written: an archive may claim more than
    // the disk holds (TarnPackTest.ExtractChecksTheFreeSpaceFirst).
    std::error_code error;
    const unsigned long long needed = unpackedTotal(*vfs, paths);
    const std::uintmax_t available = freeSpace(folder, error);
    if (!error && needed > available)
        return failure(archive + ": extracting needs " + std::to_string(needed) + " bytes, " +
                       folder + " has " + std::to_string(available) + " free");
    // Every path is checked before anything is written.
    bool refused = false;
    for (const std::string& path : paths)
        if (!staysInside(path)) {
            failure("refusing to extract " + printable(path) + ": it would land outside " + folder);
            refused = true;
        }
    const std::string both = fileAndFolder(paths);
    if (!both.empty()) {
        failure("refusing to extract " + printable(both) + ": other entries lie below it");
        refused = true;
    }
    if (refused)
        return Failure;
    fs::create_directories(folder, error);
    if (!fs::is_directory(folder, error))
        return failure(folder + ": cannot create the folder");

    Extraction extraction(folder, archive);
    for (const std::string& path : paths) {
        Tarn::File* file = vfs->open(path);
        if (!file)
            return failure(archive + ": cannot extract " + printable(path) +
                           ": the entry is corrupt");
        const bool staged = extraction.stage(path, *file);
        vfs->close(file);
        if (!staged)
            return Failure;
    }
    return extraction.commit() ? Success : Failure;
}

int verify(const std::vector<std::string>& arguments) {
    if (arguments.size() != 1)
        return usageError("verify needs ARCHIVE", "verify");
    const std::unique_ptr<Tarn::VFS> vfs = openArchive(arguments[0]);
    if (!vfs)
        return Failure;
    // Only the last record of a name can be read: the others are lost.
    if (!vfs->duplicatePaths().empty())
        return failure(arguments[0] + ": more than one record is named " +
                       printable(vfs->duplicatePaths().front()) + "; only the last can be read");
    std::vector<std::string> paths;
    vfs->entries(paths);
    for (const std::string& path : paths) {
        Tarn::File* file = vfs->open(path);
        const bool good = file && file->size() == vfs->entry(path)->unpackedSize;
        vfs->close(file);
        if (!good)
            return failure(arguments[0] + ": entry " + printable(path) + " is corrupt");
    }
    std::cout << arguments[0] << ": " << paths.size() << " entries verified, "
              << unpackedTotal(*vfs, paths) << " bytes unpacked" << std::endl;
    return Success;
}

struct Command {
    const char* name;
    int (*run)(const std::vector<std::string>&);
    const char* help;
};

const Command Commands[] = {{"create", &create, CreateHelp},
                            {"list", &list, ListHelp},
                            {"extract", &extract, ExtractHelp},
                            {"verify", &verify, VerifyHelp}};

int run(const std::vector<std::string>& arguments) {
    if (arguments.empty()) {
        std::cerr << MainHelp;
        return UsageError;
    }
    if (isHelp(arguments[0])) {
        std::cout << MainHelp;
        return Success;
    }
    for (const Command& command : Commands) {
        if (arguments[0] != command.name)
            continue;
        const std::vector<std::string> rest(arguments.begin() + 1, arguments.end());
        for (const std::string& argument : rest) {
            if (argument == "--")
                break;
            if (isHelp(argument)) {
                std::cout << command.help;
                return Success;
            }
        }
        return command.run(rest);
    }
    return usageError("unknown command " + arguments[0], "");
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return run(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const std::exception& exception) {
        return failure(exception.what());
    }
}
