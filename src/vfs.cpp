#include "tarn/vfs.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>
#include <new>

#include <zlib.h>

#include "tarn/diagnostics.h"

namespace Tarn {

namespace {

constexpr long FooterSize = 6;
constexpr long long RecordSize = 268;
constexpr std::size_t NameSize = 256;
// Deflate cannot expand data by more than 1032 to 1, so a record claiming more
// is forged; checking this first keeps a corrupt directory from making us
// allocate gigabytes (VFSTest.CorruptEntriesAreRefused).
constexpr std::uint64_t MaxInflateRatio = 1032;

std::uint32_t readU16(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8;
}

std::uint32_t readU32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

std::int32_t readI32(const unsigned char* p) {
    const std::uint32_t u = readU32(p);
    if (u <= 0x7fffffffu)
        return static_cast<std::int32_t>(u);
    return -static_cast<std::int32_t>(~u) - 1;
}

void writeU16(unsigned char* p, std::uint32_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}

void writeU32(unsigned char* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<unsigned char>(v >> (8 * i));
}

bool readAt(std::FILE* file, long position, void* dst, std::size_t size) {
    if (std::fseek(file, position, SEEK_SET) != 0)
        return false;
    return size == 0 || std::fread(dst, 1, size, file) == size;
}

// The system's reason for a failed call, never "Success".
std::string systemReason(int number) {
    return number != 0 ? std::strerror(number) : "the system gave no reason";
}

// Reads a loose file whole; returns why it cannot, or an empty string. Files
// of 2 GiB or more do not fit a File's cursor and count as unreadable.
std::string readLooseFile(const std::string& path, std::vector<char>& out) {
    // Regular files only: a directory holds no bytes, and a device or a
    // named pipe may block for ever or never end.
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    if (error)
        return error.message();
    if (!std::filesystem::exists(status))
        return systemReason(ENOENT);
    if (!std::filesystem::is_regular_file(status))
        return "not a regular file";
    errno = 0;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return systemReason(errno);
    // The length is only a hint: the file may change while it is read.
    long hint = -1;
    if (std::fseek(file, 0, SEEK_END) == 0)
        hint = std::ftell(file);
    bool ok = std::fseek(file, 0, SEEK_SET) == 0 && hint <= INT_MAX;
    std::string why = ok ? "" : "2 GiB or more";
    std::size_t used = 0;
    try {
        if (ok)
            out.resize(hint > 0 ? static_cast<std::size_t>(hint) + 1 : 4096);
        while (ok) {
            if (used == out.size()) {
                if (out.size() > static_cast<std::size_t>(INT_MAX)) {
                    ok = false;
                    why = "2 GiB or more";
                    break;
                }
                out.resize(out.size() * 2);
            }
            const std::size_t got = std::fread(out.data() + used, 1, out.size() - used, file);
            used += got;
            if (got == 0)
                break;
        }
    } catch (const std::bad_alloc&) {
        ok = false;
        why = "out of memory";
    }
    if (ok && std::ferror(file)) {
        ok = false;
        why = systemReason(errno);
    }
    std::fclose(file);
    if (!ok) {
        out.clear();
        return why;
    }
    out.resize(used);
    return {};
}

}  // namespace

VFS* VFS::tarnVFS = nullptr;

VFS::VFS(const std::string& archiveName, bool keepAlive)
    : m_archiveName(archiveName), m_archiveFile(nullptr), m_archiveFileStartOffset(0),
      m_keepAlive(keepAlive), m_hasArchive(false), m_authoring(false) {
    if (!tarnVFS)
        tarnVFS = this;
    f_openArchive();
}

void VFS::setLooseRoot(const std::string& folder) {
    m_looseRoot = folder;
    if (!m_looseRoot.empty() && m_looseRoot.back() != '/')
        m_looseRoot += '/';
}

std::string VFS::loosePath(const std::string& path) const {
    return m_looseRoot + path;
}

bool VFS::exists(const std::string& path) const {
    const std::lock_guard<std::mutex> hold(m_lock);
    const auto it = m_contents.find(path);
    if (it != m_contents.end() && it->second.offset != NotPackedOffset)
        return true;
    std::error_code error;
    return std::filesystem::is_regular_file(loosePath(path), error);
}

void VFS::f_openArchive() {
    // Regular files only, as for loose files: opening a named pipe blocks
    // until someone writes to it (VFSTest.TheArchiveMustBeARegularFile).
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(m_archiveName, error);
    if (!std::filesystem::exists(status))
        return;
    if (!std::filesystem::is_regular_file(status)) {
        Diagnostics::problem("VFS",
                             m_archiveName + " is not a regular file; serving loose files only");
        return;
    }
    m_archiveFile = std::fopen(m_archiveName.c_str(), "rb");
    if (!m_archiveFile)
        return;
    std::map<std::string, FileEntry> contents;
    std::vector<std::string> duplicates;
    const std::string problem = f_readDirectory(contents, duplicates);
    if (problem.empty()) {
        m_contents.swap(contents);
        m_duplicates.swap(duplicates);
        m_hasArchive = true;
    } else {
        Diagnostics::problem("VFS", m_archiveName + " is not a valid archive: " + problem +
                                        "; serving loose files only");
    }
    if (!m_keepAlive || !m_hasArchive) {
        std::fclose(m_archiveFile);
        m_archiveFile = nullptr;
    }
}

// Files handed out keep their bytes: they move to m_detached, which close
// checks after the directory (VFSTest.AuthoringReadsLooseFilesFirstAndKeepsScripts).
void VFS::refresh() {
    const std::lock_guard<std::mutex> hold(m_lock);
    for (const auto& [file, entry] : m_holders)
        m_detached[file] = entry->holders;
    m_holders.clear();
    m_contents.clear();
    m_duplicates.clear();
    m_hasArchive = false;
    m_archiveFileStartOffset = 0;
    if (m_archiveFile) {
        std::fclose(m_archiveFile);
        m_archiveFile = nullptr;
    }
    f_openArchive();
}

void VFS::setAuthoring(bool authoring) {
    m_authoring = authoring;
}

bool VFS::readScript(const std::string& path, std::string& text) {
    if (File* file = open(path)) {
        text = file->str();
        close(file);
        if (m_authoring)
            m_scripts[path] = text;
        return true;
    }
    const auto kept = m_scripts.find(path);
    if (!m_authoring || kept == m_scripts.end())
        return false;
    Diagnostics::note("VFS", printableName(path) +
                                 " cannot be read now; keeping the script as it was last read");
    text = kept->second;
    return true;
}

VFS::~VFS() {
    if (m_archiveFile)
        std::fclose(m_archiveFile);
    if (tarnVFS == this)
        tarnVFS = nullptr;
}

// Everything the footer and records claim is checked against the file before
// any entry is made: a file that is not an archive must not turn into entries
// (VFSTest.InvalidArchivesAreRejectedWhole).
std::string VFS::f_readDirectory(std::map<std::string, FileEntry>& contents,
                                 std::vector<std::string>& duplicates) {
    if (std::fseek(m_archiveFile, 0, SEEK_END) != 0)
        return "cannot seek in the file";
    const long length = std::ftell(m_archiveFile);
    if (length < 0)
        return "cannot seek in the file";
    if (length < FooterSize)
        return "the file is shorter than the 6-byte footer";
    unsigned char footer[FooterSize];
    if (!readAt(m_archiveFile, length - FooterSize, footer, sizeof footer))
        return "short read of the footer";
    const std::uint32_t count = readU16(footer);
    const std::int32_t archiveSize = readI32(footer + 2);
    if (archiveSize < FooterSize || archiveSize > length)
        return "the footer's archive size of " +
               std::to_string(static_cast<std::uint32_t>(archiveSize)) +
               " bytes does not fit the file of " + std::to_string(length) + " bytes";
    const long long directorySize = count * RecordSize;
    if (directorySize + FooterSize > archiveSize)
        return "directory of " + std::to_string(count) + " records does not fit the archive size " +
               std::to_string(archiveSize);
    std::vector<unsigned char> directory(static_cast<std::size_t>(directorySize));
    if (!readAt(m_archiveFile, static_cast<long>(length - FooterSize - directorySize),
                directory.data(), directory.size()))
        return "short read of the directory";
    const std::uint64_t dataSize =
        static_cast<std::uint64_t>(archiveSize - FooterSize - directorySize);
    std::vector<Range> ranges;
    ranges.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        const unsigned char* record = directory.data() + i * RecordSize;
        const std::string number = std::to_string(i + 1) + " of " + std::to_string(count);
        const void* end = std::memchr(record, 0, NameSize);
        if (!end)
            return "record " + number + " has no NUL-terminated name";
        const std::string name(reinterpret_cast<const char*>(record),
                               static_cast<const unsigned char*>(end) - record);
        if (name.empty())
            return "record " + number + " has an empty name";
        const FileEntry entry{readU32(record + NameSize), readU32(record + NameSize + 4),
                              readU32(record + NameSize + 8), nullptr};
        if (static_cast<std::uint64_t>(entry.offset) + entry.packedSize > dataSize)
            return "record " + number + " (" + printableName(name) +
                   ") lies outside the data region";
        ranges.push_back({entry.offset, entry.offset + std::uint64_t{entry.packedSize}, i + 1});
        // Records may come in any order; a repeated path takes the later one.
        if (!contents.emplace(name, entry).second) {
            contents[name] = entry;
            duplicates.push_back(name);
        }
    }
    const std::string problem = f_checkTiling(ranges, dataSize);
    if (problem.empty())
        m_archiveFileStartOffset = length - archiveSize;
    return problem;
}

// Each byte of the data region belongs to exactly one entry: records sharing
// bytes would let a small archive claim any amount of content
// (VFSTest.InvalidArchivesAreRejectedWhole), and bytes no record covers mean the
// footer was read from something else (the last bytes of a cut archive may
// form a plausible footer with no records).
std::string VFS::f_checkTiling(std::vector<Range>& ranges, std::uint64_t dataSize) {
    std::sort(ranges.begin(), ranges.end(), [](const Range& a, const Range& b) {
        return a.begin != b.begin ? a.begin < b.begin : a.end < b.end;
    });
    std::uint64_t covered = 0;
    const Range* last = nullptr;
    for (const Range& range : ranges) {
        if (range.begin == range.end)
            continue;  // no bytes: nothing to share
        if (last && range.begin < covered)
            return "entries " + std::to_string(std::min(last->record, range.record)) + " and " +
                   std::to_string(std::max(last->record, range.record)) + " overlap";
        if (range.begin > covered)
            return "bytes " + std::to_string(covered) + " to " + std::to_string(range.begin - 1) +
                   " of the data region belong to no entry";
        covered = range.end;
        last = &range;
    }
    if (covered != dataSize)
        return std::to_string(dataSize - covered) +
               " bytes of the data region follow its last entry";
    return {};
}
File* VFS::open(const std::string& path) {
    std::vector<char> data;
    const std::lock_guard<std::mutex> hold(m_lock);
    if (m_authoring) {
        m_opened.insert(path);
        if (readLooseFile(loosePath(path), data).empty())
            return new File(std::move(data));
    }
    const auto it = m_contents.find(path);
    if (it == m_contents.end()) {
        if (readLooseFile(loosePath(path), data).empty())
            return new File(std::move(data));
        Diagnostics::problem("VFS", "File " + path + " not found in archive nor in real FS.");
        return nullptr;
    }
    FileEntry& entry = it->second;
    if (entry.offset == NotPackedOffset)
        return readLooseFile(loosePath(path), data).empty() ? new File(std::move(data)) : nullptr;
    if (!entry.file) {
        entry.file = f_unpack(path, entry);
        if (!entry.file)
            return nullptr;
        m_holders[entry.file] = &entry;
    }
    ++entry.holders;
    return entry.file;
}

// Loose files and the packed bytes are read under the lock, as open reads
// them; only the inflation, the costly part, runs beside other threads.
std::unique_ptr<File> VFS::openCopy(const std::string& path) {
    std::vector<char> data;
    std::vector<unsigned char> packed;
    FileEntry entry{0, 0, NotPackedOffset, nullptr};
    {
        const std::lock_guard<std::mutex> hold(m_lock);
        if (m_authoring) {
            m_opened.insert(path);
            if (readLooseFile(loosePath(path), data).empty())
                return std::make_unique<File>(std::move(data));
        }
        const auto it = m_contents.find(path);
        if (it == m_contents.end()) {
            if (readLooseFile(loosePath(path), data).empty())
                return std::make_unique<File>(std::move(data));
            Diagnostics::problem("VFS", "File " + path + " not found in archive nor in real FS.");
            return nullptr;
        }
        entry = it->second;
        if (entry.offset == NotPackedOffset)
            return readLooseFile(loosePath(path), data).empty()
                       ? std::make_unique<File>(std::move(data))
                       : nullptr;
        if (entry.file)
            return std::make_unique<File>(entry.file->ptr(), entry.file->size());
        if (!f_readPacked(path, entry, packed))
            return nullptr;
    }
    return std::unique_ptr<File>(f_inflate(path, entry, packed));
}

File* VFS::f_unpack(const std::string& path, const FileEntry& entry) {
    std::vector<unsigned char> packed;
    return f_readPacked(path, entry, packed) ? f_inflate(path, entry, packed) : nullptr;
}

bool VFS::f_readPacked(const std::string& path, const FileEntry& entry,
                       std::vector<unsigned char>& packed) {
    const auto corrupt = [&](const std::string& why) {
        Diagnostics::problem("VFS",
                             printableName(path) + " in " + m_archiveName + " is corrupt: " + why);
        return false;
    };
    if (entry.unpackedSize > static_cast<std::uint32_t>(INT_MAX) ||
        entry.unpackedSize > entry.packedSize * MaxInflateRatio)
        return corrupt(std::to_string(entry.unpackedSize) + " bytes cannot come from " +
                       std::to_string(entry.packedSize) + " packed bytes");

    // Without keep-alive the archive is opened for each entry; with it, only
    // when write has closed it.
    if (!m_archiveFile) {
        std::error_code error;
        if (std::filesystem::is_regular_file(m_archiveName, error))
            m_archiveFile = std::fopen(m_archiveName.c_str(), "rb");
        if (!m_archiveFile) {
            Diagnostics::problem("VFS", "Cannot reopen " + m_archiveName + " to read " + path);
            return false;
        }
    }
    bool complete = false;
    try {
        packed.resize(entry.packedSize);
        complete = readAt(m_archiveFile, m_archiveFileStartOffset + entry.offset, packed.data(),
                          packed.size());
    } catch (const std::bad_alloc&) {
        packed.clear();
    }
    if (!m_keepAlive) {
        std::fclose(m_archiveFile);
        m_archiveFile = nullptr;
    }
    if (packed.size() != entry.packedSize) {
        Diagnostics::problem("VFS", "Out of memory reading " + path + " from " + m_archiveName);
        return false;
    }
    if (!complete)
        return corrupt("short read");
    return true;
}

File* VFS::f_inflate(const std::string& path, const FileEntry& entry,
                     const std::vector<unsigned char>& packed) const {
    const auto corrupt = [&](const std::string& why) -> File* {
        Diagnostics::problem("VFS",
                             printableName(path) + " in " + m_archiveName + " is corrupt: " + why);
        return nullptr;
    };
    const auto outOfMemory = [&]() -> File* {
        Diagnostics::problem("VFS", "Out of memory reading " + path + " from " + m_archiveName);
        return nullptr;
    };
    std::vector<char> data;
    std::size_t left = 0;
    int result = Z_MEM_ERROR;
    try {
        result = f_gunzip(packed, data, entry.unpackedSize, left);
    } catch (const std::bad_alloc&) {
    }
    // Bytes after the stream belong to no content: something else is hidden
    // in the entry, or its record is wrong.
    if (result == Z_OK && left > 0)
        return corrupt(std::to_string(left) + " bytes follow its zlib stream");
    if (result == Z_OK && data.size() == entry.unpackedSize)
        return new File(std::move(data));
    if (result == Z_OK)
        return corrupt("it inflates to " + std::to_string(data.size()) + " bytes, not " +
                       std::to_string(entry.unpackedSize));
    if (result == Z_BUF_ERROR)
        return corrupt("it inflates to more than " + std::to_string(entry.unpackedSize) + " bytes");
    if (result == Z_MEM_ERROR)
        return outOfMemory();
    return corrupt("it is not a valid zlib stream");
}

void VFS::close(File* file) {
    if (!file)
        return;
    const std::lock_guard<std::mutex> hold(m_lock);
    const auto holder = m_holders.find(file);
    if (holder != m_holders.end()) {
        FileEntry& entry = *holder->second;
        if (--entry.holders > 0)
            return;
        entry.file = nullptr;
        m_holders.erase(holder);
    } else if (const auto detached = m_detached.find(file); detached != m_detached.end()) {
        if (--detached->second > 0)
            return;
        m_detached.erase(detached);
    }
    delete file;
}

void VFS::entries(std::vector<std::string>& out) const {
    out.clear();
    out.reserve(m_contents.size());
    for (const auto& item : m_contents)
        out.push_back(item.first);
}

void VFS::add(const std::string& path) {
    m_contents.emplace(path, FileEntry{0, 0, NotPackedOffset, nullptr});
}

std::string VFS::printableName(const std::string& path) {
    static const char hex[] = "0123456789abcdef";
    std::string out;
    out.reserve(path.size());
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else if (c == '\t')
            out += "\\t";
        else if (byte < 0x20 || byte == 0x7f)
            out += std::string("\\x") + hex[byte >> 4] + hex[byte & 15];
        else
            out += c;
    }
    return out;
}

const VFS::FileEntry* VFS::entry(const std::string& path) const {
    const auto it = m_contents.find(path);
    return it == m_contents.end() ? nullptr : &it->second;
}

bool VFS::write() {
    const auto fail = [this](const std::string& why) {
        Diagnostics::problem("VFS", "Cannot write " + m_archiveName + ": " + why);
        return false;
    };
    std::vector<std::string> paths;
    for (const auto& item : m_contents)
        if (item.second.offset == NotPackedOffset)
            paths.push_back(item.first);
    // Everything that can be refused without reading a file is refused first.
    if (paths.size() > MaxEntries)
        return fail(std::to_string(paths.size()) + " paths added, an archive holds at most " +
                    std::to_string(MaxEntries));
    for (const std::string& path : paths) {
        if (path.empty())
            return fail("an empty path was added");
        if (path.size() > MaxPathLength)
            return fail("path " + path + " is longer than " + std::to_string(MaxPathLength) +
                        " bytes");
        if (path.find('\0') != std::string::npos)
            return fail("a path contains a NUL byte");
    }

    // The new archive is written beside the old one and replaces it only when
    // complete, so a failed write leaves the old one untouched
    // (VFSTest.FailedWriteKeepsTheOldArchive).
    std::string temporary;
    std::FILE* out = f_createTemporary(temporary);
    if (!out)
        return fail("cannot create a temporary file beside it: " + systemReason(errno));
    std::string problem = f_writeArchive(out, paths);
    const bool flushed = std::fflush(out) == 0 && !std::ferror(out);
    const int reason = errno;
    const bool closed = std::fclose(out) == 0;
    if (problem.empty() && !(flushed && closed))
        problem = systemReason(flushed ? errno : reason);
    if (!problem.empty()) {
        std::remove(temporary.c_str());
        return fail(problem);
    }
    // Some systems refuse to replace a file that is still open.
    if (m_archiveFile) {
        std::fclose(m_archiveFile);
        m_archiveFile = nullptr;
    }
    std::error_code error;
    std::filesystem::rename(temporary, m_archiveName, error);
    if (error) {
        std::remove(temporary.c_str());
        return fail("cannot replace it with " + temporary + ": " + error.message());
    }
    return true;
}

std::FILE* VFS::f_createTemporary(std::string& name) const {
    // "x" refuses to reuse an existing file, whoever made it.
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = m_archiveName + ".tmp" + (attempt ? std::to_string(attempt) : std::string());
        errno = 0;
        if (std::FILE* file = std::fopen(name.c_str(), "wbx"))
            return file;
        if (errno != EEXIST)
            break;
    }
    name.clear();
    return nullptr;
}

std::string VFS::f_writeArchive(std::FILE* out, const std::vector<std::string>& paths) {
    const std::uint64_t overhead = paths.size() * RecordSize + FooterSize;
    std::vector<unsigned char> directory(paths.size() * RecordSize, 0);
    std::uint64_t dataSize = 0;
    try {
        for (std::size_t i = 0; i < paths.size(); ++i) {
            const std::string& path = paths[i];
            std::vector<char> content;
            const std::string unreadable = readLooseFile(path, content);
            if (!unreadable.empty())
                return "cannot read " + printableName(path) + ": " + unreadable;
            std::vector<char> packed;
            const auto unpackedSize = static_cast<std::uint32_t>(content.size());
            if (!f_gzip(content.data(), content.size(), packed))
                return "compressing " + printableName(path) + " failed";
            if (dataSize + packed.size() + overhead > static_cast<std::uint64_t>(INT32_MAX))
                return "it would grow past " + std::to_string(INT32_MAX) + " bytes";
            if (std::fwrite(packed.data(), 1, packed.size(), out) != packed.size())
                return systemReason(errno);
            unsigned char* record = directory.data() + i * RecordSize;
            std::memcpy(record, path.data(), path.size());
            writeU32(record + NameSize, static_cast<std::uint32_t>(packed.size()));
            writeU32(record + NameSize + 4, unpackedSize);
            writeU32(record + NameSize + 8, static_cast<std::uint32_t>(dataSize));
            dataSize += packed.size();
        }
    } catch (const std::bad_alloc&) {
        return "out of memory";
    }
    unsigned char footer[FooterSize];
    writeU16(footer, static_cast<std::uint32_t>(paths.size()));
    writeU32(footer + 2, static_cast<std::uint32_t>(dataSize + overhead));
    // An empty archive has no directory, and fwrite must not be handed the
    // null data of an empty vector (TarnPackTest.CreateOfAnEmptyFolder).
    if ((!directory.empty() &&
         std::fwrite(directory.data(), 1, directory.size(), out) != directory.size()) ||
        std::fwrite(footer, 1, sizeof footer, out) != sizeof footer)
        return systemReason(errno);
    return {};
}

bool VFS::f_gzip(const char* data, std::size_t size, std::vector<char>& out) {
    // zlib wants a valid pointer even for no bytes.
    static const char none = 0;
    out.resize(std::max<std::size_t>(size + size / 10 + 12, compressBound(size)));
    uLongf length = static_cast<uLongf>(out.size());
    const int result = compress(reinterpret_cast<Bytef*>(out.data()), &length,
                                reinterpret_cast<const Bytef*>(size ? data : &none), size);
    if (result != Z_OK) {
        out.clear();
        return false;
    }
    out.resize(length);
    return true;
}

// The output grows with what the stream really gives, so a record claiming
// far more than its stream holds costs nothing beyond the stream's own bytes
// (VFSTest.MemoryFollowsWhatAnEntryInflatesTo).
int VFS::f_gunzip(const std::vector<unsigned char>& in, std::vector<char>& out,
                  std::uint32_t unpackedSize, std::size_t& left) {
    // One byte beyond the recorded size tells a stream that goes on from one
    // that ends there.
    const std::size_t limit = std::size_t{unpackedSize} + 1;
    constexpr std::size_t FirstStep = 64 * 1024;
    out.clear();
    left = 0;
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK)
        return Z_MEM_ERROR;
    stream.next_in = const_cast<Bytef*>(in.data());
    stream.avail_in = static_cast<uInt>(in.size());
    std::size_t produced = 0;
    int result = Z_OK;
    while (result == Z_OK && produced < limit) {
        if (produced == out.size()) {
            try {
                out.resize(std::min(limit, std::max(FirstStep, out.size() * 2)));
            } catch (const std::bad_alloc&) {
                result = Z_MEM_ERROR;
                break;
            }
        }
        stream.next_out = reinterpret_cast<Bytef*>(out.data() + produced);
        stream.avail_out =
            static_cast<uInt>(std::min<std::size_t>(out.size() - produced, UINT_MAX));
        const uInt room = stream.avail_out;
        result = inflate(&stream, Z_NO_FLUSH);
        produced += room - stream.avail_out;
    }
    left = stream.avail_in;
    inflateEnd(&stream);
    out.resize(produced);
    if (produced > unpackedSize)
        return Z_BUF_ERROR;
    if (result == Z_STREAM_END)
        return Z_OK;
    return result == Z_MEM_ERROR ? Z_MEM_ERROR : Z_DATA_ERROR;
}

}  // namespace Tarn
