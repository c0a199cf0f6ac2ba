#ifndef TARN_SRC_IMAGEFILE_H
#define TARN_SRC_IMAGEFILE_H

// Internal: an image file read through the archive and decoded to RGBA8
// pixels, the file's top row first. Shared by the texture classes; the
// pixels live as long as the object.

#include <string>

namespace Tarn::Detail {

class ImageFile {
public:
    // Reads and decodes path. A missing file is reported by the archive's
    // not-found line; a file that does not decode prints
    // "[<owner>] Cannot decode <path>: <reason>". Either way valid() is false.
    ImageFile(const std::string& path, const char* owner);
    ~ImageFile();
    ImageFile(const ImageFile&) = delete;
    ImageFile& operator=(const ImageFile&) = delete;

    bool valid() const { return m_pixels != nullptr; }
    int width() const { return m_width; }
    int height() const { return m_height; }
    // width x height x 4 bytes, R G B A, top row first; null unless valid.
    const unsigned char* pixels() const { return m_pixels; }

private:
    unsigned char* m_pixels = nullptr;
    int m_width = 0;
    int m_height = 0;
};

}  // namespace Tarn::Detail

#endif
