#include "tarn/file.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace Tarn {

File::File(const char* data, unsigned int size) : m_cursor(0) {
    if (data && size > 0)
        m_data.assign(data, data + size);
}

File::File(std::vector<char> data) : m_data(std::move(data)), m_cursor(0) {}

bool File::eof() const {
    return static_cast<unsigned int>(m_cursor) >= size();
}

void File::seek(SeekOrigin origin, int offset) {
    long long base = 0;
    if (origin == SeekOrigin::Current)
        base = m_cursor;
    else if (origin == SeekOrigin::End)
        base = size();
    // Worked out in 64 bits and pinned to the int range so that no seek can
    // overflow the cursor.
    const long long cursor = std::clamp<long long>(base + offset, INT_MIN, INT_MAX);
    m_cursor = static_cast<int>(cursor);
}

void File::rewind() {
    m_cursor = 0;
}

int File::tell() const {
    return m_cursor;
}

char File::getc() {
    if (eof())
        return 0;
    return m_data[static_cast<std::size_t>(m_cursor++)];
}

int File::read(void* dst, int elementSize, int count) {
    if (!dst || eof())
        return 0;
    const long long requested = static_cast<long long>(elementSize) * count;
    if (requested <= 0)
        return 0;
    const long long left = static_cast<long long>(size()) - m_cursor;
    const long long n = std::min<long long>({requested, left, INT_MAX - m_cursor});
    std::memcpy(dst, m_data.data() + m_cursor, static_cast<std::size_t>(n));
    m_cursor += static_cast<int>(n);
    return static_cast<int>(n);
}

char* File::ptr() {
    return m_data.empty() ? nullptr : m_data.data();
}

unsigned int File::size() const {
    return static_cast<unsigned int>(m_data.size());
}

std::string File::str() const {
    return std::string(m_data.begin(), m_data.end());
}

}  // namespace Tarn
