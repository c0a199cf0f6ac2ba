#ifndef TARN_FILE_H
#define TARN_FILE_H

// One whole file held in memory, with a read cursor. The VFS hands Files out;
// the caller owns each one until it gives it back with VFS::close, which
// deletes it. A File never touches the disk.

#include <string>
#include <vector>

namespace Tarn {

enum class SeekOrigin : int { Start = 0, Current = 1, End = 2 };

class File {
public:
    // Copies size bytes starting at data (nothing is read when size is 0).
    File(const char* data, unsigned int size);
    // Takes the bytes over without copying them.
    explicit File(std::vector<char> data);

    // The VFS tells its Files apart by address: a copy would be a second
    // owner of the same packed entry.
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // True when the cursor, taken as unsigned, is at or past the end; a
    // cursor moved before the start therefore also reads as the end.
    bool eof() const;
    // cursor = base + offset, base being 0, the cursor or size(). No clamping
    // to the data: reads from outside it return nothing.
    void seek(SeekOrigin origin, int offset);
    void rewind();
    int tell() const;
    // The byte at the cursor, advancing it; 0 at the end, cursor unchanged.
    char getc();
    // Copies elementSize * count bytes, or what is left, to dst and returns
    // the number of bytes copied (not elements). 0 for a null dst, at the
    // end, or for a request of no bytes (or a negative one).
    int read(void* dst, int elementSize, int count);
    // The first byte of the data; nullptr for an empty File.
    char* ptr();
    unsigned int size() const;
    // Exactly size() bytes, NULs included.
    std::string str() const;

private:
    std::string m_path;  // left empty by the VFS
    std::vector<char> m_data;
    int m_cursor;
};

}  // namespace Tarn

#endif
