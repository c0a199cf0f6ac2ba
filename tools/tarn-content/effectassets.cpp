// Images three effects read at fixed paths: the lens flare's dirt, the fog's
// noise and the overlay's logo. The overlay samples its image at the pixel's
// own texture coordinate, without the flip the other effects make, so the
// file's top row shows at the bottom of the screen: the logo is stored
// upside down to show upright.

#include <cmath>

#include "draw.h"
#include "generators.h"
#include "logo.h"
#include "noise.h"
#include "text.h"

namespace Content {

namespace {

// Adds light(d) to every pixel within `reach` of centre, d being the
// distance of the pixel's centre from it.
template <typename Light>
void addLight(Image& image, glm::vec2 centre, float reach, const Light& light) {
    const int x0 = std::max(0, static_cast<int>(centre.x - reach));
    const int x1 = std::min(image.width, static_cast<int>(centre.x + reach) + 1);
    const int y0 = std::max(0, static_cast<int>(centre.y - reach));
    const int y1 = std::min(image.height, static_cast<int>(centre.y + reach) + 1);
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
            Color& pixel = image.at(x, y);
            const glm::vec3 added = light(glm::distance(glm::vec2(x + 0.5f, y + 0.5f), centre));
            pixel = Color(glm::vec3(pixel) + added, 1.0f);
        }
}

Image lensDirt() {
    constexpr int Width = 1280, Height = 720;
    Image image(Width, Height);
    // A faint haze of grease.
    fill(image, [&](int x, int y) {
        const glm::vec2 p = pixelCentre(x, y, Width, Height) * glm::vec2(8.0f, 4.5f);
        const float haze = smoothstep(0.1f, 0.7f, fbm(p, NoWrap, 5, 0xd1u)) * 0.06f;
        return Color(glm::vec3(haze * 0.9f, haze * 0.8f, haze), 1.0f);
    });
    const glm::vec3 tints[4] = {
        {0.26f, 0.95f, 1.0f}, {0.85f, 0.35f, 0.7f}, {1.0f, 0.6f, 0.3f}, {0.9f, 0.9f, 1.0f}};
    Random random(0xd127u);
    // Out-of-focus dust: soft discs with a brighter rim.
    for (int i = 0; i < 80; ++i) {
        const glm::vec2 centre(random.range(0, Width), random.range(0, Height));
        const float radius = random.range(8.0f, 64.0f);
        const glm::vec3 tint =
            tints[static_cast<int>(random.next() * 4)] * random.range(0.05f, 0.2f);
        addLight(image, centre, radius + 2.0f, [&](float d) {
            const float rim = 0.6f + 0.4f * smoothstep(0.6f * radius, radius, d);
            return tint * coverage(d - radius, 2.0f) * rim;
        });
    }
    // Sharp specks.
    for (int i = 0; i < 500; ++i) {
        const glm::vec2 centre(random.range(0, Width), random.range(0, Height));
        const float radius = random.range(0.6f, 2.2f), strength = random.range(0.1f, 0.45f);
        addLight(image, centre, 3.0f,
                 [&](float d) { return glm::vec3(strength * coverage(d - radius, 1.0f)); });
    }
    return image;
}

// Octaves of Perlin noise that repeat every 512 pixels both ways.
Image perlinNoise() {
    constexpr int Size = 512, Period = 8;
    Image image(Size, Size);
    fill(image, [&](int x, int y) {
        const glm::vec2 p = glm::vec2(x, y) * (static_cast<float>(Period) / Size);
        const float n =
            std::clamp(fbm(p, glm::ivec2(Period), 6, 0xf09u) * 0.75f + 0.5f, 0.0f, 1.0f);
        return Color(n, n, n, 1.0f);
    });
    return image;
}

Image overlayLogo(const Font& font) {
    constexpr int Width = 1280, Height = 720;
    const glm::vec3 cyan(0.2627f, 0.9529f, 1.0f);
    const glm::vec3 white(0.97f, 0.97f, 1.0f);
    constexpr float CapHeight = 120.0f, Baseline = 390.0f;
    const float left = (Width - wordmarkWidth() * CapHeight) / 2;
    std::vector<float> letters(static_cast<std::size_t>(Width) * Height);
    for (int y = 0; y < Height; ++y)
        for (int x = 0; x < Width; ++x) {
            const glm::vec2 p((x + 0.5f - left) / CapHeight, (Baseline - y - 0.5f) / CapHeight);
            letters[static_cast<std::size_t>(y) * Width + x] =
                coverage(wordmarkDistance(p), 1.0f / CapHeight);
        }
    // A cyan glow around white letters: the letters blurred.
    std::vector<float> glow = letters;
    for (int pass = 0; pass < 3; ++pass)
        boxBlur(glow, Width, Height, 7);
    Image image(Width, Height);
    for (std::size_t i = 0; i < letters.size(); ++i) {
        image.pixels[i] = Color(cyan, std::min(1.0f, 1.2f * glow[i]));
        blend(image.pixels[i], Color(white, 1.0f), letters[i]);
    }
    // A thin rule and a line of text under the mark.
    const float ruleWidth = wordmarkWidth() * CapHeight;
    for (int y = 418; y < 420; ++y)
        for (int x = static_cast<int>(left); x < static_cast<int>(left + ruleWidth); ++x)
            blend(image.at(x, y), Color(cyan, 0.9f));
    const TextMask text = font.render("A  REAL-TIME  DEMO  BY  THE  TARN  TEAM", 30.0f, 3.0f);
    const int textLeft = (Width - text.width) / 2, textTop = 432;
    for (int y = 0; y < text.height; ++y)
        for (int x = 0; x < text.width; ++x)
            blend(image.at(textLeft + x, textTop + y), Color(white, 1.0f), text.at(x, y));
    return flippedRows(image);
}

}  // namespace

bool writeEffectImages(Output& out) {
    const Font font("DejaVuSans-ExtraLight.ttf");
    if (!font.valid())
        return out.fail(font.error());
    return writeJpeg(out, "assets/LensDirt_Texture2.jpg", lensDirt(), 90) &&
           writePng(out, "assets/perlinnoise.png", perlinNoise(), 1) &&
           writePng(out, "assets/velmoralogo.png", overlayLogo(font), 4);
}

}  // namespace Content
