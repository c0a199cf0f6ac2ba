#ifndef TARN_CONTENT_GENERATORS_H
#define TARN_CONTENT_GENERATORS_H

// The generator's jobs: each writes a group of related files through its
// Output and returns false after reporting a failure. Jobs share nothing and
// may run in parallel; each gives the same bytes on every run.

#include <string>

#include "image.h"
#include "output.h"

namespace Content {

// The preloader's logo, its eight animation frames and their video script
// (assets/vekintro/).
bool writePreloader(Output& out);
// The ray-marched scene's backdrop and foreground (assets/raymarchedscene/).
bool writeRaymarchBackdrop(Output& out);
// The ray-marched scene's 4096 x 3072 dusk sky cross.
bool writeDuskSkyCross(Output& out);
// The retro scene's logo, runner sheet and scroller text.
bool writeRetroImages(Output& out);
// The lens dirt, the fog's noise and the overlay logo.
bool writeEffectImages(Output& out);
// Albedo, normal and specular maps of the scene materials (assets/textures/).
bool writeMaterialTextures(Output& out);
// The matcap, the night sky cross and the screen's video frames.
bool writeReflectionAndVideo(Output& out);
// The scene meshes as OBJ files (assets/meshes/).
bool writeMeshes(Output& out);
// The soundtrack, assets/music.ogg (music.h).
bool writeMusic(Output& out);

inline bool writePng(Output& out, const std::string& path, const Image& image, int channels,
                     bool dither = false) {
    return out.write(path, encodePng(image, channels, dither));
}

inline bool writeJpeg(Output& out, const std::string& path, const Image& image, int quality) {
    return out.write(path, encodeJpeg(image, quality));
}

}  // namespace Content

#endif
