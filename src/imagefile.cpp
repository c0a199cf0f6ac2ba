#include "imagefile.h"

#include <climits>
#include <string>

#include <stb_image.h>

#include "tarn/decodecache.h"
#include "tarn/diagnostics.h"
#include "tarn/file.h"
#include "tarn/vfs.h"

namespace Tarn::Detail {

ImageFile::Decoded::~Decoded() {
    if (pixels)
        stbi_image_free(pixels);
}

std::shared_ptr<const ImageFile::Decoded> ImageFile::decode(VFS& vfs, const std::string& path) {
    const std::unique_ptr<File> file = vfs.openCopy(path);
    if (!file)
        return nullptr;
    auto decoded = std::make_shared<Decoded>();
    if (file->size() == 0 || file->size() > static_cast<unsigned int>(INT_MAX)) {
        decoded->failure = "the file is empty or too large";
        return decoded;
    }
    decoded->pixels = stbi_load_from_memory(reinterpret_cast<const stbi_uc*>(file->ptr()),
                                            static_cast<int>(file->size()), &decoded->width,
                                            &decoded->height, nullptr, 4);
    if (!decoded->pixels) {
        const char* reason = stbi_failure_reason();
        decoded->width = decoded->height = 0;
        decoded->failure = reason ? reason : "unknown format";
    }
    return decoded;
}

ImageFile::ImageFile(const std::string& path, const char* owner) {
    if (!DecodeCache::take("image", path, m_decoded)) {
        // Without an archive open, a throw-away VFS still serves loose files.
        VFS* vfs = VFS::tarnVFS;
        VFS looseOnly("", false);
        m_decoded = decode(vfs ? *vfs : looseOnly, path);
    }
    if (m_decoded && !m_decoded->pixels)
        Diagnostics::problem(owner, "Cannot decode " + path + ": " + m_decoded->failure);
}

}  // namespace Tarn::Detail
