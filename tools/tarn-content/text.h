#ifndef TARN_CONTENT_TEXT_H
#define TARN_CONTENT_TEXT_H

// Text rendered with stb_truetype from a TrueType font that a Debian package
// installs (fonts-dejavu-core), read when the generator runs. One Font per
// thread: the object is not shared.

#include <memory>
#include <string>
#include <vector>

namespace Content {

// The folder of fonts-dejavu-core's faces.
extern const char* const FontFolder;

// Coverage of rendered text, 0 to 1, top row first.
struct TextMask {
    int width = 0;
    int height = 0;
    // Rows from the top of the mask to the baseline.
    int baseline = 0;
    std::vector<float> coverage;

    float at(int x, int y) const {
        if (x < 0 || y < 0 || x >= width || y >= height)
            return 0.0f;
        return coverage[static_cast<std::size_t>(y) * width + x];
    }
};

class Font {
public:
    // Reads FontFolder + file. On failure valid() is false and error() says
    // why in a line that names the file.
    explicit Font(const std::string& file);
    ~Font();
    Font(const Font&) = delete;
    Font& operator=(const Font&) = delete;

    bool valid() const { return m_info != nullptr; }
    const std::string& error() const { return m_error; }

    // The advance of UTF-8 text at a size of pixelHeight from the highest
    // ascender to the lowest descender, with `tracking` extra pixels after
    // every character.
    float width(const std::string& text, float pixelHeight, float tracking = 0.0f) const;
    // The text laid out on one line, pixelHeight tall, starting at x = 0.
    TextMask render(const std::string& text, float pixelHeight, float tracking = 0.0f) const;

private:
    struct Info;
    std::vector<unsigned char> m_data;
    std::unique_ptr<Info> m_info;
    std::string m_error;
};

// The code points of UTF-8 text; a malformed byte counts as U+FFFD.
std::vector<int> decodeUtf8(const std::string& text);

}  // namespace Content

#endif
