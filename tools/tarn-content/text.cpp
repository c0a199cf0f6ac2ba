#include "text.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>

#include <stb_truetype.h>

namespace Content {

const char* const FontFolder = "/usr/share/fonts/truetype/dejavu/";

struct Font::Info {
    stbtt_fontinfo font;
};

std::vector<int> decodeUtf8(const std::string& text) {
    std::vector<int> points;
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        int length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        int point = length == 1 ? c : length == 2 ? c & 0x1f : length == 3 ? c & 0x0f : c & 0x07;
        for (int k = 1; k < length; ++k) {
            if (i + k >= text.size() || (static_cast<unsigned char>(text[i + k]) >> 6) != 2) {
                length = 0;
                break;
            }
            point = (point << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3f);
        }
        if (length == 0) {
            points.push_back(0xFFFD);
            ++i;
        } else {
            points.push_back(point);
            i += length;
        }
    }
    return points;
}

Font::Font(const std::string& file) {
    const std::string path = std::string(FontFolder) + file;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        m_error = path + ": cannot read the font (is fonts-dejavu-core installed?)";
        return;
    }
    m_data.assign(std::istreambuf_iterator<char>(in), {});
    auto info = std::make_unique<Info>();
    const int offset = stbtt_GetFontOffsetForIndex(m_data.data(), 0);
    if (offset < 0 || !stbtt_InitFont(&info->font, m_data.data(), offset)) {
        m_error = path + ": not a TrueType font";
        return;
    }
    m_info = std::move(info);
}

Font::~Font() = default;

float Font::width(const std::string& text, float pixelHeight, float tracking) const {
    if (!m_info)
        return 0.0f;
    const float scale = stbtt_ScaleForPixelHeight(&m_info->font, pixelHeight);
    const std::vector<int> points = decodeUtf8(text);
    float x = 0.0f;
    for (std::size_t i = 0; i < points.size(); ++i) {
        int advance = 0, bearing = 0;
        stbtt_GetCodepointHMetrics(&m_info->font, points[i], &advance, &bearing);
        x += advance * scale + tracking;
        if (i + 1 < points.size())
            x += scale * stbtt_GetCodepointKernAdvance(&m_info->font, points[i], points[i + 1]);
    }
    return x;
}

TextMask Font::render(const std::string& text, float pixelHeight, float tracking) const {
    TextMask mask;
    if (!m_info)
        return mask;
    const stbtt_fontinfo* font = &m_info->font;
    const float scale = stbtt_ScaleForPixelHeight(font, pixelHeight);
    int ascent = 0, descent = 0, gap = 0;
    stbtt_GetFontVMetrics(font, &ascent, &descent, &gap);
    mask.baseline = static_cast<int>(std::ceil(ascent * scale));
    mask.height = mask.baseline + static_cast<int>(std::ceil(-descent * scale));
    mask.width = static_cast<int>(std::ceil(width(text, pixelHeight, tracking))) + 2;
    mask.coverage.assign(static_cast<std::size_t>(mask.width) * mask.height, 0.0f);

    const std::vector<int> points = decodeUtf8(text);
    float x = 0.0f;
    for (std::size_t i = 0; i < points.size(); ++i) {
        const float shift = x - std::floor(x);
        int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
        stbtt_GetCodepointBitmapBoxSubpixel(font, points[i], scale, scale, shift, 0.0f, &x0, &y0,
                                            &x1, &y1);
        const int w = x1 - x0, h = y1 - y0;
        if (w > 0 && h > 0) {
            std::vector<unsigned char> glyph(static_cast<std::size_t>(w) * h);
            stbtt_MakeCodepointBitmapSubpixel(font, glyph.data(), w, h, w, scale, scale, shift,
                                              0.0f, points[i]);
            const int left = static_cast<int>(std::floor(x)) + x0;
            const int top = mask.baseline + y0;
            for (int gy = 0; gy < h; ++gy)
                for (int gx = 0; gx < w; ++gx) {
                    const int mx = left + gx, my = top + gy;
                    if (mx < 0 || my < 0 || mx >= mask.width || my >= mask.height)
                        continue;
                    float& c = mask.coverage[static_cast<std::size_t>(my) * mask.width + mx];
                    c = std::min(1.0f, c + glyph[static_cast<std::size_t>(gy) * w + gx] / 255.0f);
                }
        }
        int advance = 0, bearing = 0;
        stbtt_GetCodepointHMetrics(font, points[i], &advance, &bearing);
        x += advance * scale + tracking;
        if (i + 1 < points.size())
            x += scale * stbtt_GetCodepointKernAdvance(font, points[i], points[i + 1]);
    }
    return mask;
}

}  // namespace Content
