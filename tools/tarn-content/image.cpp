#include "image.h"

#include <algorithm>
#include <cmath>

#include <glm/vec3.hpp>

#include <stb_image_write.h>

namespace Content {

namespace {

void append(void* context, void* data, int size) {
    auto* bytes = static_cast<std::vector<unsigned char>*>(context);
    const auto* begin = static_cast<const unsigned char*>(data);
    bytes->insert(bytes->end(), begin, begin + size);
}

unsigned char quantize(float value, float offset) {
    const float scaled = std::floor(std::clamp(value, 0.0f, 1.0f) * 255.0f + offset);
    return static_cast<unsigned char>(std::clamp(scaled, 0.0f, 255.0f));
}

// Thresholds of a 4 x 4 Bayer matrix, centred on 0.5.
float bayer(int x, int y) {
    static const int matrix[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
    return (matrix[y & 3][x & 3] + 0.5f) / 16.0f;
}

}  // namespace

Image::Image(int w, int h, const Color& fill)
    : width(w), height(h), pixels(static_cast<std::size_t>(w) * h, fill) {}

void blend(Color& dst, const Color& src, float coverage) {
    const float a = src.a * coverage;
    if (a <= 0.0f)
        return;
    const float outAlpha = a + dst.a * (1.0f - a);
    const glm::vec3 rgb =
        (glm::vec3(src) * a + glm::vec3(dst) * dst.a * (1.0f - a)) / std::max(outAlpha, 1e-6f);
    dst = Color(rgb, outAlpha);
}

void boxBlur(std::vector<float>& values, int width, int height, int radius) {
    std::vector<float> line;
    const auto blurLine = [&](float* first, int count, int stride) {
        line.assign(count, 0.0f);
        float sum = 0.0f;
        const auto at = [&](int i) { return first[std::clamp(i, 0, count - 1) * stride]; };
        for (int i = -radius; i <= radius; ++i)
            sum += at(i);
        for (int i = 0; i < count; ++i) {
            line[i] = sum / (2 * radius + 1);
            sum += at(i + radius + 1) - at(i - radius);
        }
        for (int i = 0; i < count; ++i)
            first[i * stride] = line[i];
    };
    for (int y = 0; y < height; ++y)
        blurLine(&values[static_cast<std::size_t>(y) * width], width, 1);
    for (int x = 0; x < width; ++x)
        blurLine(&values[x], height, width);
}

Image flippedRows(const Image& image) {
    Image flipped(image.width, image.height);
    for (int y = 0; y < image.height; ++y)
        std::copy_n(&image.at(0, image.height - 1 - y), image.width, &flipped.at(0, y));
    return flipped;
}

std::vector<unsigned char> toBytes(const Image& image, int channels, bool dither) {
    std::vector<unsigned char> bytes(static_cast<std::size_t>(image.width) * image.height *
                                     channels);
    std::size_t i = 0;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            const Color& c = image.at(x, y);
            const float offset = dither ? bayer(x, y) : 0.5f;
            for (int k = 0; k < channels; ++k)
                bytes[i++] = quantize(c[k], k == 3 ? 0.5f : offset);
        }
    return bytes;
}

std::vector<unsigned char> encodePng(const std::vector<unsigned char>& samples, int width,
                                     int height, int channels) {
    std::vector<unsigned char> file;
    stbi_write_png_to_func(&append, &file, width, height, channels, samples.data(),
                           width * channels);
    return file;
}

std::vector<unsigned char> encodePng(const Image& image, int channels, bool dither) {
    return encodePng(toBytes(image, channels, dither), image.width, image.height, channels);
}

std::vector<unsigned char> encodeJpeg(const std::vector<unsigned char>& rgb, int width, int height,
                                      int quality) {
    std::vector<unsigned char> file;
    stbi_write_jpg_to_func(&append, &file, width, height, 3, rgb.data(), quality);
    return file;
}

std::vector<unsigned char> encodeJpeg(const Image& image, int quality) {
    return encodeJpeg(toBytes(image, 3, true), image.width, image.height, quality);
}

}  // namespace Content
