#ifndef TARN_VFS_H
#define TARN_VFS_H

// Reads files from one packed archive, falling back to loose files under the
// same relative path, and builds archives from loose files. The demo makes
// one at start-up, reached everywhere through tarnVFS, and keeps it to exit.
//
// Archive layout, all integers little-endian: the zlib streams of the entries
// back to back, then one 268-byte record per entry (256 bytes of NUL-padded
// path, then packedSize, unpackedSize and offset as unsigned 32-bit), then a
// 6-byte footer (unsigned 16-bit record count, signed 32-bit archive size).
// The directory sits at the end, so an archive may be appended to another
// file: its first byte is at file length - archive size. The entries' data
// ranges tile the data region: every byte belongs to exactly one entry.
//
// open, openCopy, close and exists may be called from any thread
// (loader threads read through openCopy while the GL thread reads scripts);
// the rest belongs to the thread that made the object.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "tarn/file.h"

namespace Tarn {

class VFS {
public:
    struct FileEntry {
        std::uint32_t packedSize;
        std::uint32_t unpackedSize;
        // From the archive's first byte; NotPackedOffset for a path that was
        // added but is not packed yet.
        std::uint32_t offset;
        // The File handed out for this packed entry, until every open of it
        // is matched by a close.
        File* file;
        // Opens of `file` not yet matched by a close.
        unsigned int holders = 0;
    };
    static constexpr std::uint32_t NotPackedOffset = 0xDEADBEEF;
    static constexpr std::size_t MaxPathLength = 255;
    static constexpr std::size_t MaxEntries = 65535;

    // Reads the archive's directory if the file exists. A missing archive is
    // silently empty; anything but a regular file, or a file that is not a
    // valid archive, is reported in one line and ignored whole. Either way
    // loose files are still served. With
    // keepAlive the archive stays open for the object's life instead of being
    // reopened by each open.
    VFS(const std::string& archiveName, bool keepAlive);
    // Files still handed out are not deleted.
    ~VFS();

    VFS(const VFS&) = delete;
    VFS& operator=(const VFS&) = delete;

    // A packed path is inflated once and the same File returned to every
    // caller until each of them has closed it, so holders of one path share
    // its cursor. Memory grows with the
    // bytes the entry really inflates to, whatever size its record claims. Any other path is read
    // afresh from the loose file on each call. Null when the file cannot be read or a packed entry
    // is corrupt (both reported, except for an added path whose loose file is missing).
    File* open(const std::string& path);
    // The same bytes and reports as open, in a File of the caller's own
    // (deleted by the caller, never closed): nothing is shared with other
    // holders of the path, and entries are inflated outside the object's
    // lock, so several threads can read at once.
    std::unique_ptr<File> openCopy(const std::string& path);
    // Gives back one open. A packed File is deleted at the close matching
    // its last open (VFSTest.PackedFilesLiveUntilTheirLastClose), any other
    // File at once. Null is ignored.
    void close(File* file);
    // Every directory path, in byte-wise order.
    void entries(std::vector<std::string>& out) const;

    // Reads a script whole into text, through open; false when it cannot
    // be read. Script loaders read through here, for authoring's sake.
    bool readScript(const std::string& path, std::string& text);
    // Authoring (tarn-demo --dev), off by default: a loose file comes before
    // the archive's copy of its path, so a script copied out beside the
    // archive can be edited in place; every path opened is recorded; and a
    // script that readScript read before but cannot read now is given as it
    // was, after one line saying so, so a reload keeps what it had.
    void setAuthoring(bool authoring);
    // The paths opened while authoring, in byte-wise order.
    const std::set<std::string>& openedPaths() const { return m_opened; }
    // Reads the archive's directory again, for an archive repacked while
    // the program runs. Files handed out stay valid until their last close;
    // paths marked by add are forgotten.
    void refresh();

    // The folder loose files are read from, for open and readScript: empty
    // (the default) for the working folder. A demo played from a folder
    // reads everything there; one played from an archive elsewhere reads
    // its loose files beside the archive, never from the working folder.
    void setLooseRoot(const std::string& folder);
    // Where the loose file of an archive path lies: under the loose root.
    std::string loosePath(const std::string& path) const;
    // Whether open would find the path (packed, or a loose regular file),
    // without reading it or saying anything: for content that is optional.
    bool exists(const std::string& path) const;

    // Marks a loose file to be packed by write; a known path is left as is.
    void add(const std::string& path);
    // Writes a new archive under the archive name from the added paths only
    // (read relative to the working directory), through a temporary file
    // beside it that replaces the old archive only once complete. On any
    // failure (an unreadable path, a path over 255 bytes, more than 65,535
    // paths, a disk error) it reports one line, leaves the old archive as it
    // was and returns false. The directory in memory is not updated: make a
    // new VFS to read the new archive.
    bool write();

    // Read-only view of one directory record, or null for an unknown path;
    // lets tools list packed sizes.
    const FileEntry* entry(const std::string& path) const;
    // True when the constructor found and accepted an archive.
    bool hasArchive() const { return m_hasArchive; }
    // Paths that more than one record of the archive carries: only the last
    // such record can be opened.
    const std::vector<std::string>& duplicatePaths() const { return m_duplicates; }

    // The path with control characters, DEL and backslashes escaped (as \n,
    // \x1b, \\), safe to print on a terminal.
    static std::string printableName(const std::string& path);

    // The first VFS constructed, through which consumers open files; null
    // again once that one is destroyed.
    static VFS* tarnVFS;

private:
    // Where a record's data lies in the data region; record counts from 1.
    struct Range {
        std::uint64_t begin;
        std::uint64_t end;
        std::uint32_t record;
    };

    // Opens the archive and reads its directory, as the constructor does.
    void f_openArchive();
    // Returns an empty string when the directory is valid, else the reason.
    std::string f_readDirectory(std::map<std::string, FileEntry>& contents,
                                std::vector<std::string>& duplicates);
    static std::string f_checkTiling(std::vector<Range>& ranges, std::uint64_t dataSize);
    File* f_unpack(const std::string& path, const FileEntry& entry);
    // The two halves of f_unpack: the read of the packed bytes (false after
    // reporting why), under m_lock, and the inflation (null after reporting
    // why), which reads no member but the archive's name.
    bool f_readPacked(const std::string& path, const FileEntry& entry,
                      std::vector<unsigned char>& packed);
    File* f_inflate(const std::string& path, const FileEntry& entry,
                    const std::vector<unsigned char>& packed) const;
    std::FILE* f_createTemporary(std::string& name) const;
    // Returns an empty string on success, else the reason.
    std::string f_writeArchive(std::FILE* out, const std::vector<std::string>& paths);

    // Compress at zlib's default level; true on zlib success.
    static bool f_gzip(const char* data, std::size_t size, std::vector<char>& out);
    // Inflates into out, which grows with the bytes produced, never past
    // unpackedSize + 1. Z_OK when the stream ended, out then holding what it
    // gave and `left` the input bytes after its end; Z_BUF_ERROR when it
    // gives more than unpackedSize; Z_DATA_ERROR when it is invalid or cut
    // short; Z_MEM_ERROR when memory runs out.
    static int f_gunzip(const std::vector<unsigned char>& in, std::vector<char>& out,
                        std::uint32_t unpackedSize, std::size_t& left);

    std::string m_archiveName;
    std::FILE* m_archiveFile;
    long m_archiveFileStartOffset;
    bool m_keepAlive;
    bool m_hasArchive;
    std::map<std::string, FileEntry> m_contents;
    std::vector<std::string> m_duplicates;
    // Which entry holds each File handed out, so close need not search.
    std::unordered_map<const File*, FileEntry*> m_holders;
    // Packed Files handed out before a refresh, with their open count.
    std::unordered_map<const File*, unsigned int> m_detached;
    bool m_authoring;
    std::string m_looseRoot;
    std::set<std::string> m_opened;
    // The last text readScript gave for each path, while authoring.
    std::map<std::string, std::string> m_scripts;
    // Guards the directory, the archive file, the holders and m_opened.
    mutable std::mutex m_lock;
};

}  // namespace Tarn

#endif
