#include "tarn/videotexture.h"

#include <algorithm>
#include <array>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <sstream>
#include <string>

#include <GL/glew.h>

#include "imagefile.h"
#include "tarn/decodecache.h"
#include "tarn/diagnostics.h"
#include "tarn/file.h"
#include "tarn/loadingpace.h"
#include "tarn/luceparser.h"
#include "tarn/vfs.h"
#include "unpackstate.h"

namespace Tarn {

namespace {

// A size or count as written: decimal digits only, no sign, no wrap-around
// (atoi read "4294967298" as 2). False for anything else, or past 18 digits.
bool wholeNumber(const std::string& token, std::uint64_t& value) {
    if (token.empty() || token.size() > 18)
        return false;
    value = 0;
    for (const char c : token) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return true;
}

// width x height x 4 x count <= budget, with sides below 2^32, without overflow.
bool fitsBudget(std::uint64_t width, std::uint64_t height, std::uint64_t count,
                std::uint64_t budget) {
    const std::uint64_t pixels = width * height;
    if (pixels > budget / 4u)
        return false;
    return count == 0 || pixels * 4u <= budget / count;
}

// The state of one script being read; its callbacks fill `frames`.
class ScriptReader {
public:
    ScriptReader(const std::string& script, const VideoTexture::Limits& limits,
                 VideoTexture::Frames& frames)
        : m_script(script), m_limits(limits), m_frames(frames) {
        m_parser.setScript(script);
        m_parser.setIgnoredLineHandler(LUCEParser::printIgnoredLines("VideoTexture", script));
        m_parser.addKeyword("size", [this](std::vector<std::string> args) { f_size(args); });
        m_parser.addKeyword("fps", [this](std::vector<std::string> args) {
            double fps = 0.0;
            if (f_number("fps", args, fps))
                m_frames.playback.fps = static_cast<float>(fps);
        });
        m_parser.addKeyword("loops", [this](std::vector<std::string> args) {
            if (f_hasArgument("loops", args))
                m_frames.playback.loops = args[0] == "true";
        });
        m_parser.addKeyword("offset", [this](std::vector<std::string> args) {
            double offset = 0.0;
            if (f_number("offset", args, offset))
                m_frames.playback.startOffset = offset;
        });
        m_parser.addKeyword("frame", [this](std::vector<std::string> args) {
            if (f_hasArgument("frame", args))
                f_frame(args[0]);
        });
        m_parser.addKeyword("LUCE:parseEnd", [this](std::vector<std::string>) {
            std::ostringstream done;
            done << "Done loading " << m_frames.playback.numImages << " frames in new "
                 << m_frames.playback.fps << " FPS video.";
            Diagnostics::note("VideoTexture", done.str());
        });
    }

    // The callbacks hold this object's address.
    ScriptReader(const ScriptReader&) = delete;
    ScriptReader& operator=(const ScriptReader&) = delete;

    void read(const std::string& text) { m_parser.parse(text); }

private:
    // "[VideoTexture] <script>:<line>: <what>", a problem at the line being read.
    void f_report(const std::string& what) {
        Diagnostics::problemAt("VideoTexture", m_script, m_parser.lineNumber(), what);
    }

    bool f_hasArgument(const char* keyword, const std::vector<std::string>& args) {
        if (!args.empty())
            return true;
        f_report(std::string(keyword) + " needs an argument");
        return false;
    }
    // A whole finite number, as the line's one argument.
    bool f_number(const char* keyword, const std::vector<std::string>& args, double& value) {
        if (!f_hasArgument(keyword, args))
            return false;
        if (LUCEParser::finiteNumber(args[0], value))
            return true;
        f_report(std::string(keyword) + " \"" + args[0] + "\" is not a number; line skipped");
        return false;
    }

    // Every number is checked against the limits before anything is
    // allocated (VideoTextureScriptTest.BadLinesAreSkippedWithTheirLine).
    void f_size(const std::vector<std::string>& args) {
        if (args.size() < 3) {
            f_report("size needs a width, a height and a frame count");
            m_refusedSizeLine = m_parser.lineNumber();
            return;
        }
        if (m_sizeLine != 0) {
            f_report("size is already given on line " + std::to_string(m_sizeLine) + "; ignored");
            return;
        }
        const std::string written = args[0] + " " + args[1] + " " + args[2];
        std::uint64_t width = 0, height = 0, count = 0;
        if (!wholeNumber(args[0], width) || !wholeNumber(args[1], height) ||
            !wholeNumber(args[2], count) || width == 0 || height == 0) {
            f_report("size " + written + " is not a valid video size; ignored");
            m_refusedSizeLine = m_parser.lineNumber();
            return;
        }
        if (width > m_limits.maxSize || height > m_limits.maxSize || count > m_limits.maxLayers ||
            !fitsBudget(width, height, count, m_limits.maxBytes)) {
            f_report("size " + written + " is over the limits of " +
                     std::to_string(m_limits.maxSize) + " pixels a side, " +
                     std::to_string(m_limits.maxLayers) + " frames and " +
                     std::to_string(m_limits.maxBytes) + " bytes; ignored");
            m_refusedSizeLine = m_parser.lineNumber();
            return;
        }
        try {
            m_frames.pixels.resize(static_cast<std::size_t>(width * height * 4u * count));
        } catch (const std::bad_alloc&) {
            f_report("no memory for " + std::to_string(count) + " frames of " +
                     std::to_string(width) + "x" + std::to_string(height) + "; ignored");
            m_frames.pixels.clear();
            m_refusedSizeLine = m_parser.lineNumber();
            return;
        }
        for (std::size_t i = 0; i < m_frames.pixels.size(); i += 4)
            std::memcpy(&m_frames.pixels[i], Detail::kMissingPixel, 4);
        m_frames.width = static_cast<int>(width);
        m_frames.height = static_cast<int>(height);
        m_frames.playback.numImages = static_cast<unsigned int>(count);
        m_sizeLine = m_parser.lineNumber();
    }

    void f_frame(const std::string& path) {
        if (m_sizeLine == 0 && m_refusedSizeLine != 0) {
            f_report("frame " + path + " follows the refused size line " +
                     std::to_string(m_refusedSizeLine) + "; skipped");
            return;
        }
        if (m_sizeLine == 0) {
            f_report("frame " + path + " has no size line before it; skipped");
            return;
        }
        const unsigned int count = m_frames.playback.numImages;
        if (m_nextLayer >= count) {
            f_report("frame " + path + " exceeds the count of " + std::to_string(count) +
                     " on the size line; skipped");
            return;
        }
        // The layer belongs to this frame line even when the image is bad,
        // so the frames after it keep their times.
        const unsigned int layer = m_nextLayer++;
        const Detail::ImageFile image(path, "VideoTexture");
        if (!image.valid())
            return;  // the archive or the decoder has said why
        if (image.width() != m_frames.width || image.height() != m_frames.height) {
            f_report("frame " + path + " is " + std::to_string(image.width()) + "x" +
                     std::to_string(image.height()) + ", not the " +
                     std::to_string(m_frames.width) + "x" + std::to_string(m_frames.height) +
                     " of the size line; skipped");
            return;
        }
        const std::size_t layerBytes = std::size_t(m_frames.width) * m_frames.height * 4u;
        std::memcpy(&m_frames.pixels[layer * layerBytes], image.pixels(), layerBytes);
    }

    const std::string& m_script;
    const VideoTexture::Limits m_limits;
    VideoTexture::Frames& m_frames;
    LUCEParser m_parser;
    int m_sizeLine = 0;
    int m_refusedSizeLine = 0;  // the latest refused size line, while none was taken
    unsigned int m_nextLayer = 0;
};

}  // namespace

float VideoTexture::Playback::frameId(double time) const {
    if (numImages == 0)
        return 0.0f;
    double t = time - startOffset;
    if (t < 0.0)
        t = 0.0;
    const double product = static_cast<double>(fps) * t;
    if (std::isnan(product))
        return 0.0f;
    // Beyond the float range the product becomes infinity, as IEEE rounding
    // would have it; converting such a double to float is undefined in C++.
    float f = INFINITY;
    if (std::fabs(product) <= FLT_MAX)
        f = static_cast<float>(product);
    else if (product < 0.0)
        f = -INFINITY;
    const double count = static_cast<double>(numImages);
    if (std::trunc(f) < count)
        return f;
    if (!loops)
        return static_cast<float>(numImages - 1);
    if (std::isinf(f))
        return 0.0f;  // no place within the loop can be told
    // The remainder of a float by a whole count is exact in float, so one
    // pass normally does; repeating until it is below the count keeps the
    // result a valid frame whatever the rounding.
    do {
        f = static_cast<float>(std::fmod(static_cast<double>(f), count));
    } while (std::trunc(f) >= count);
    return f;
}

VideoTexture::Frames VideoTexture::readScript(const std::string& filename, const Limits& limits) {
    Frames frames;
    // Without an archive open, a throw-away VFS still serves loose files.
    VFS* vfs = VFS::tarnVFS;
    VFS looseOnly("", false);
    if (!vfs)
        vfs = &looseOnly;
    std::string text;
    if (!vfs->readScript(filename, text))
        return frames;
    ScriptReader reader(filename, limits, frames);
    reader.read(text);
    return frames;
}

VideoTexture::Frames VideoTexture::readScript(const std::string& filename) {
    return readScript(filename, Limits());
}

void VideoTexture::prefetchFromScript(const std::string& filename, DecodeCache& cache) {
    DecodeCache::scanScript(filename, [&cache](LUCEParser& parser) {
        parser.addKeyword("frame", [&cache](std::vector<std::string> args) {
            if (!args.empty())
                cache.prefetch("image", args[0]);
        });
    });
}

VideoTexture::VideoTexture(const std::string& filename) {
    GLint maxSize = 0, maxLayers = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
    glGetIntegerv(GL_MAX_ARRAY_TEXTURE_LAYERS, &maxLayers);
    Limits limits;
    limits.maxSize = static_cast<unsigned int>(std::max(maxSize, 0));
    limits.maxLayers = static_cast<unsigned int>(std::max(maxLayers, 0));
    const Frames frames = readScript(filename, limits);
    m_playback = frames.playback;
    f_upload(filename, frames.width, frames.height, frames.playback.numImages,
             frames.pixels.empty() ? nullptr : frames.pixels.data());
    LoadingPace::step();
}

VideoTexture::VideoTexture(const char* data, unsigned int width, unsigned int height,
                           unsigned int numImages) {
    const std::string source = "raw frames";
    if (numImages > 0 && (width == 0 || height == 0)) {
        Diagnostics::problem("VideoTexture", source + ": frames of " + std::to_string(width) + "x" +
                                                 std::to_string(height) +
                                                 " are empty; the video has no frames");
        numImages = 0;
    }
    if (numImages == 0)
        width = height = 0;
    f_upload(source, static_cast<int>(std::min<unsigned int>(width, INT_MAX)),
             static_cast<int>(std::min<unsigned int>(height, INT_MAX)), numImages,
             reinterpret_cast<const unsigned char*>(data));
}

void VideoTexture::bind(unsigned int unit) {
    m_currentUnit = unit;
    glActiveTexture(GL_TEXTURE0 + unit);
    glBindTexture(GL_TEXTURE_2D_ARRAY, m_textureId);
}

void VideoTexture::release() {
    glActiveTexture(GL_TEXTURE0 + m_currentUnit);
    glBindTexture(GL_TEXTURE_2D_ARRAY, 0);
}

void VideoTexture::f_upload(const std::string& source, int width, int height,
                            unsigned int numImages, const unsigned char* pixels) {
    GLint maxSize = 0, maxLayers = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
    glGetIntegerv(GL_MAX_ARRAY_TEXTURE_LAYERS, &maxLayers);
    if (numImages > 0 &&
        (width > maxSize || height > maxSize || numImages > static_cast<unsigned int>(maxLayers))) {
        Diagnostics::problem("VideoTexture",
                             source + ": " + std::to_string(numImages) + " frames of " +
                                 std::to_string(width) + "x" + std::to_string(height) +
                                 " exceed the driver's limits of " + std::to_string(maxSize) +
                                 " pixels and " + std::to_string(maxLayers) +
                                 " layers; the video has no frames");
        numImages = 0;
        width = height = 0;
        pixels = nullptr;
    }
    m_playback.numImages = numImages;
    bind(0);
    {
        const Detail::UnpackState unpack;
        glTexImage3D(GL_TEXTURE_2D_ARRAY, 0, GL_RGBA8, width, height,
                     static_cast<GLsizei>(numImages), 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
    }
    glTexParameteri(GL_TEXTURE_2D_ARRAY, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D_ARRAY, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D_ARRAY, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D_ARRAY, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D_ARRAY, GL_TEXTURE_BASE_LEVEL, 0);
    glTexParameteri(GL_TEXTURE_2D_ARRAY, GL_TEXTURE_MAX_LEVEL, 0);
    release();
}

}  // namespace Tarn
