#ifndef TARN_PLAYER_FRAMESINK_H
#define TARN_PLAYER_FRAMESINK_H

// Where offline rendering puts its frames: numbered PNG files, or a video
// that the ffmpeg program encodes. Made once the span is known, handed every
// frame in order, closed once; owned by the offline renderer.

#include <memory>
#include <string>

class FrameSink {
public:
    virtual ~FrameSink() = default;
    // One frame: RGBA8 pixels with rows bottom-up, as GL reads them. False
    // after one line saying why; the output is then unusable.
    virtual bool write(const unsigned char* rgba, int width, int height) = 0;
    // Finishes the output; false after one line when it could not be.
    virtual bool close() = 0;
    // What the final line calls the output.
    virtual std::string describe() const = 0;
};

// Expands the one printf-style integer conversion of pattern ("%d", "%5d",
// "%05d"; "%%" is a percent sign) with number. False, leaving path as it
// was, for any other conversion or more than one. A pattern without a
// conversion gives itself.
bool expandFramePattern(const std::string& pattern, long long number, std::string& path);
// Whether pattern holds exactly one integer conversion.
bool hasFrameNumber(const std::string& pattern);

#endif
