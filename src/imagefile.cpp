#include "imagefile.h"

#include <climits>
#include <string>

#include <stb_image.h>

#include "tarn/diagnostics.h"
#include "tarn/file.h"
#include "tarn/vfs.h"

namespace Tarn::Detail {

ImageFile::ImageFile(const std::string& path, const char* owner) {
    // Without an archive open, a throw-away VFS still serves loose files.
    VFS* vfs = VFS::tarnVFS;
    VFS looseOnly("", false);
    if (!vfs)
        vfs = &looseOnly;
    File* file = vfs->open(path);
    if (!file)
        return;
    const char* reason = nullptr;
    if (file->size() == 0 || file->size() > static_cast<unsigned int>(INT_MAX)) {
        reason = "the file is empty or too large";
    } else {
        m_pixels =
            stbi_load_from_memory(reinterpret_cast<const stbi_uc*>(file->ptr()),
                                  static_cast<int>(file->size()), &m_width, &m_height, nullptr, 4);
        if (!m_pixels)
            reason = stbi_failure_reason();
    }
    vfs->close(file);
    if (!m_pixels) {
        m_width = m_height = 0;
        Diagnostics::problem(owner,
                             "Cannot decode " + path + ": " + (reason ? reason : "unknown format"));
    }
}

ImageFile::~ImageFile() {
    if (m_pixels)
        stbi_image_free(m_pixels);
}

}  // namespace Tarn::Detail
