#ifndef TARN_CONTENT_IMAGE_H
#define TARN_CONTENT_IMAGE_H

// A picture while it is drawn: straight (not premultiplied) RGBA floats, 0 to
// 1, top row first, the order image files store and the engine uploads.
// Encoding to PNG or JPEG happens once, at the end.

#include <cstddef>
#include <vector>

#include <glm/vec4.hpp>

namespace Content {

using Color = glm::vec4;

struct Image {
    Image() = default;
    Image(int width, int height, const Color& fill = Color(0.0f));

    Color& at(int x, int y) { return pixels[static_cast<std::size_t>(y) * width + x]; }
    const Color& at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }

    int width = 0;
    int height = 0;
    std::vector<Color> pixels;
};

// Straight-alpha "over": src, its alpha scaled by coverage, over dst.
void blend(Color& dst, const Color& src, float coverage = 1.0f);

// A box blur of `radius` pixels each way over a width x height grid of
// values, edges clamped; three passes make it close to a Gaussian.
void boxBlur(std::vector<float>& values, int width, int height, int radius);

// The rows in reverse order: for images read with t running upwards.
Image flippedRows(const Image& image);

// 8-bit samples: channels 1 (the red channel), 3 (RGB) or 4 (RGBA). With
// dither, a 4 x 4 ordered pattern of under one step breaks up the bands a
// smooth gradient shows in 8 bits.
std::vector<unsigned char> toBytes(const Image& image, int channels, bool dither = false);

std::vector<unsigned char> encodePng(const std::vector<unsigned char>& samples, int width,
                                     int height, int channels);
std::vector<unsigned char> encodePng(const Image& image, int channels, bool dither = false);
// RGB only; quality 1 to 100.
std::vector<unsigned char> encodeJpeg(const std::vector<unsigned char>& rgb, int width, int height,
                                      int quality);
std::vector<unsigned char> encodeJpeg(const Image& image, int quality);

}  // namespace Content

#endif
