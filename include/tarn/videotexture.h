#ifndef TARN_VIDEOTEXTURE_H
#define TARN_VIDEOTEXTURE_H

// A "video" without a decoder: the still frames listed in a video script,
// loaded once into a 2D array texture, one layer per frame, and a frame
// coordinate for a demo time that shaders use as the layer. Owned by whoever
// made it (the asset library, a material, the preloader); lives until exit.
//
// The video script is LUCE, one keyword per line:
//   size <width> <height> <count>  frame size in pixels and number of frames
//   fps <rate>                     frames per second (24 when not given)
//   loops <word>                   wrap after the last frame only for "true"
//   offset <seconds>               demo time at which frame 0 starts
//   frame <path>                   the next frame's image, an archive path
// size must come before the first frame; the others may stand anywhere.

#include <cstdint>
#include <string>
#include <vector>

#include "tarn/texture.h"

namespace Tarn {

class DecodeCache;

class VideoTexture : public Texture {
public:
    // The playback settings of a video and the frame coordinate they give.
    // Plain values, usable without GL.
    struct Playback {
        float fps = 24.0f;
        unsigned int numImages = 0;  // frames, that is array layers
        double startOffset = 0.0;    // seconds of demo time before frame 0 starts
        bool loops = true;           // wrap after the last frame instead of holding it

        // fps x (time - startOffset, or 0 before it), in single precision.
        // Past the last frame it wraps (fmod by the frame count) when
        // looping and holds numImages - 1 otherwise. Fractional: the GL
        // layer lookup rounds to the nearest layer. 0 for a video without
        // frames, and for a time that is not a number.
        float frameId(double time) const;
    };

    // A video script read and its frames decoded into one staging block:
    // what the constructor uploads. Needs no GL.
    struct Frames {
        Playback playback;
        int width = 0;
        int height = 0;
        // playback.numImages layers of width x height RGBA8 pixels, each
        // frame's top row first. A layer that no good frame filled stays
        // opaque magenta, so the gap shows on screen.
        std::vector<unsigned char> pixels;
    };

    // Bytes of frames one video may stage and upload: 1 GiB.
    static constexpr std::uint64_t MemoryBudget = std::uint64_t(1) << 30;

    // What a size line may ask for. The defaults are what every GL 3.3
    // driver holds; the constructor asks the driver for its own.
    struct Limits {
        unsigned int maxSize = 1024;   // pixels a side (GL_MAX_TEXTURE_SIZE)
        unsigned int maxLayers = 256;  // frames (GL_MAX_ARRAY_TEXTURE_LAYERS)
        std::uint64_t maxBytes = MemoryBudget;
    };

    // Reads the video script at filename through the archive and decodes its
    // frames. Prints "[VideoTexture] Done loading <count> frames in new <fps>
    // FPS video." once the script is read. A missing script (reported by the
    // archive) gives no frames. A bad line is reported with the script's
    // path and line number and skipped: a size line that is malformed (sizes
    // and counts are whole decimal numbers, never wrapped round), over the
    // limits (refused before anything is allocated) or repeated, and a frame
    // that comes before the size line or after a refused one, beyond its
    // count, or of another size than it says (its layer stays magenta).
    static Frames readScript(const std::string& filename, const Limits& limits);
    // The same within the limits every GL 3.3 driver holds.
    static Frames readScript(const std::string& filename);
    // Asks cache to decode the script's frames, in order; says nothing
    // (readScript reports).
    static void prefetchFromScript(const std::string& filename, DecodeCache& cache);

    // An array texture of the script's frames, linear filtering, clamped to
    // the edge. Without frames it is an empty array texture.
    explicit VideoTexture(const std::string& filename);
    // numImages layers of width x height RGBA8 pixels from data, frame after
    // frame (undefined contents for null data), with the default playback.
    VideoTexture(const char* data, unsigned int width, unsigned int height, unsigned int numImages);

    float frameId(double time) const { return m_playback.frameId(time); }

    void setLoops(bool loops) { m_playback.loops = loops; }
    bool loops() const { return m_playback.loops; }
    double startOffset() const { return m_playback.startOffset; }
    void setStartOffset(double seconds) { m_playback.startOffset = seconds; }
    float fps() const { return m_playback.fps; }
    // Layers in the array texture.
    unsigned int numImages() const { return m_playback.numImages; }

    // Target GL_TEXTURE_2D_ARRAY; shaders sample a sampler2DArray at layer
    // max(0.0, frameId).
    void bind(unsigned int unit) override;
    void release() override;

private:
    // Uploads the layers in one call and sets the sampling state. Frames the
    // driver cannot hold are reported under `source` and leave no layers.
    void f_upload(const std::string& source, int width, int height, unsigned int numImages,
                  const unsigned char* pixels);

    Playback m_playback;
};

}  // namespace Tarn

#endif
