#ifndef TARN_SRC_IMAGEFILE_H
#define TARN_SRC_IMAGEFILE_H

// Internal: an image file read through the archive and decoded to RGBA8
// pixels, the file's top row first. Shared by the texture classes; the
// pixels live as long as the object. The decode cache decodes ahead as the
// kind "image".

#include <memory>
#include <string>

namespace Tarn {
class VFS;
}

namespace Tarn::Detail {

class ImageFile {
public:
    // One file's pixels, shared by the ImageFiles made from them.
    struct Decoded {
        Decoded() = default;
        ~Decoded();
        Decoded(const Decoded&) = delete;
        Decoded& operator=(const Decoded&) = delete;

        unsigned char* pixels = nullptr;  // from stb_image; null when it did not decode
        int width = 0;
        int height = 0;
        // Why the bytes read did not decode; empty when they did, or when
        // the file could not be read (the archive has said why).
        std::string failure;
    };
    // Reads path through vfs and decodes it; any thread. What the archive
    // reports is reported on the calling thread; a failure to decode is
    // left for the ImageFile to report. Null when the file cannot be read.
    static std::shared_ptr<const Decoded> decode(VFS& vfs, const std::string& path);

    // Takes path from the decode cache when it has it, else decodes it here.
    // A missing file is reported by the archive's not-found line; a file that
    // does not decode prints "[<owner>] Cannot decode <path>: <reason>".
    // Either way valid() is false.
    ImageFile(const std::string& path, const char* owner);
    ImageFile(const ImageFile&) = delete;
    ImageFile& operator=(const ImageFile&) = delete;

    bool valid() const { return m_decoded && m_decoded->pixels; }
    int width() const { return valid() ? m_decoded->width : 0; }
    int height() const { return valid() ? m_decoded->height : 0; }
    // width x height x 4 bytes, R G B A, top row first; null unless valid.
    const unsigned char* pixels() const { return valid() ? m_decoded->pixels : nullptr; }

private:
    std::shared_ptr<const Decoded> m_decoded;
};

}  // namespace Tarn::Detail

#endif
