// The demo's own effects, each made by name and run alone in a chain at a
// demo time set by hand, over images the fixture writes; pixels are checked
// against values worked by hand from the formulas.

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <memory>

#include <tarn/framebuffer.h>
#include <tarn/postfx/effect.h>
#include <tarn/postfx/effectfactory.h>
#include <tarn/texture.h>

#include "amigascene.h"
#include "example/full_march.h"
#include "overlay.h"
#include "raymarchedscene.h"
#include "support/gl_test.h"
#include "support/scratch_folder.h"

namespace {

using Tarn::PostFX::Effect;
using Tarn::Test::Image;
using Tarn::Test::makeImage;
using Rgba = std::array<float, 4>;

Image flat(int width, int height, Rgba colour) {
    return makeImage(width, height, [colour](int, int) { return colour; });
}
// Ray-marched scene: 4 x 4 blocks; the balls never leave the middle four.
Rgba back(int bx, int by) {
    return {bx * 0.2f, by * 0.2f, 0.4f, 1};
}
Rgba front(int bx, int by) {  // opaque at (3, 0) and over the balls at (1, 2)
    return bx == 3 && by == 0   ? Rgba{1, 1, 0, 1}
           : bx == 1 && by == 2 ? Rgba{0.8f, 0.2f, 0.6f, 1}
           : bx == 0 && by == 3 ? Rgba{0, 1, 1, 0.2f}
                                : Rgba{};
}
// Retro scene: a logo of two columns and a sheet whose column b (0 is
// empty) has its own colour. At 256 x 256 each pixel is one cell of the
// scene's pixelation, so cells read exact values; row n counts from the top.
const Rgba kLogoLeft = {1, 0.4f, 0, 1}, kLogoRight = {0.2f, 0.6f, 1, 1};
Rgba runner(int b) {
    return {1, 0.2f, b * 20 / 255.0f, 1};
}
const float* cell(const Image& image, int column, int n) {
    return image.at(column, 255 - n);
}
float scanline(int n) {
    return 0.9f + 0.1f * std::sin(1000.0f * (n + 0.5f) / 256);
}
const Rgba kOverlay = {0.2f, 0.4f, 0.6f, 1};  // the overlay's top row; its bottom row is clear

class DemoEffectsGLTest : public Tarn::Test::GLTest {
protected:
    void SetUp() override {
        GLTest::SetUp();
        write("assets/raymarchedscene/back.png", makeImage(4, 4, back));
        write("assets/raymarchedscene/front.png", makeImage(4, 4, front));
        write("assets/raymarchedscene/cubemap.jpg", flat(4, 3, {1, 1, 1, 1}));
        write("assets/amiga_logo.png",
              makeImage(2, 1, [](int x, int) { return x ? kLogoRight : kLogoLeft; }));
        write("assets/runner.png",
              makeImage(10, 1, [](int x, int) { return x ? runner(x) : Rgba{}; }));
        write("assets/scroller.png", flat(1, 32, {}));
        write("assets/velmoralogo.png",
              makeImage(1, 2, [](int, int y) { return y ? kOverlay : Rgba{}; }));
    }
    // A PNG file whatever the extension; the image's top row is its first.
    static void write(const std::filesystem::path& path, const Image& image) {
        std::filesystem::create_directories(path.parent_path());
        std::filesystem::rename(Tarn::Test::writePng(image, "written"), path);
    }
    // Registers the extension and makes one by name, as the demo script does.
    template <typename Extension> static std::unique_ptr<Effect> create(const char* name) {
        Extension::registerExtension();
        return std::unique_ptr<Effect>(Tarn::PostFX::EffectFactory::createEffect(name));
    }
    // The effect alone in a chain of the input's size, at that demo time.
    static Image apply(Effect& effect, const Image& input, double demoTime = 0.0) {
        const auto buffer = Tarn::Test::makeFloatBuffer(input);
        Tarn::PostFX::Chain chain(input.width, input.height, nullptr);
        Tarn::PostFX::FrameInfo frame;
        frame.time = demoTime;
        chain.setFrameInfo(frame);
        chain.addEffect(&effect);
        return Tarn::Test::readTexture(chain.apply(buffer.get())->target(0)->id());
    }
    // Active, a scene's picture is the same whatever the input; bypassed,
    // the input passes unchanged.
    static void expectSceneReplacesInput(Effect& scene, const Image& picture, double demoTime) {
        const Image other = flat(picture.width, picture.height, {0.9f, 2, 0.5f, 0.5f});
        EXPECT_EQ(apply(scene, other, demoTime).rgba, picture.rgba);
        scene.setBypass(true);
        EXPECT_EQ(apply(scene, other, demoTime).rgba, other.rgba);
        scene.setBypass(false);
    }
    // Keeps a failed image next to the test's output.
    std::string keep(const Image& image, const char* name) const {
        return Tarn::Test::writePng(image, (m_scratch.previous() / name).string());
    }

    Tarn::Test::ScratchFolder m_scratch;
};

// Both images upright, the front by its alpha: at (0, 3) 0.8 of the back's
// (0, 0.6, 0.4) and 0.2 of (0, 1, 1). Some ball shows in the clear middle
// blocks. "Water_level" changes nothing.
TEST_F(DemoEffectsGLTest, RaymarcherShowsImagesWhereNoBallIsAndTheOpaqueFrontEverywhere) {
    const struct {
        int bx, by;
        Rgba colour;
    } shown[] = {{0, 0, back(0, 0)},
                 {3, 3, back(3, 3)},
                 {3, 0, front(3, 0)},
                 {1, 2, front(1, 2)},
                 {0, 3, {0, 0.68f, 0.52f, 1}}};
    const auto scene = create<RaymarchedScene>("Raymarcher");
    for (double time : {0.0, 45.0, 120.0}) {
        SCOPED_TRACE(time);
        const Image out = apply(*scene, flat(64, 64, {}), time);
        for (const auto& block : shown)
            for (int c = 0; c < 4; ++c)
                EXPECT_NEAR(out.at(16 * block.bx + 8, 16 * block.by + 8)[c], block.colour[c], 1e-5f)
                    << keep(out, "raymarcher");
        int balls = 0;
        for (int i = 16; i < 48; ++i)  // the clear blocks (1, 1), (2, 1) and (2, 2)
            for (int j = 16; j < 48; ++j)
                balls += (i >= 32 || j < 32) &&
                         std::fabs(out.at(i, j)[1] - back(i / 16, j / 16)[1]) > 0.01f;
        EXPECT_GT(balls, 0) << keep(out, "raymarcher");
        scene->setProperty("Water_level", static_cast<float>(time) + 1.0f);
        expectSceneReplacesInput(*scene, out, time);
    }
}

// At times when the balls fill the middle, cross the front image and stand
// apart, the picture holds misses, hits, rays grazing the balls' edges and
// reflections, and is the one the full march gives, bit for bit.
TEST_F(DemoEffectsGLTest, RaymarcherSkipsOnlyWhatCannotHit) {
    const std::unique_ptr<Effect> reference = Tarn::Test::fullMarch();
    const auto scene = create<RaymarchedScene>("Raymarcher");
    for (double t : {0.0, 3.3, 37.5, 45.0, 51.9, 88.0, 120.0}) {
        SCOPED_TRACE(t);
        const Image expected = apply(*reference, flat(64, 64, {}), t);
        const Image out = apply(*scene, flat(64, 64, {}), t);
        EXPECT_EQ(out.rgba, expected.rgba) << keep(out, "raymarcher_skip");
        int hits = 0, misses = 0;  // under the clear front: the back's blue is 0.4
        for (int x = 0; x < 64; ++x)
            for (int y = 0; y < 64; ++y)
                if (front(x / 16, y / 16)[3] == 0.0f)
                    (std::fabs(out.at(x, y)[2] - 0.4f) < 1e-5f ? misses : hits) += 1;
        EXPECT_GT(hits, 0);
        EXPECT_GT(misses, 0);
    }
}

// At demo time 67.28 the window is closed. In column 0 the wobble is 0, so
// bands lie at whole rows: the logo above 0.2, each bar fading over 0.05
// (12.8 rows) from the middle, black beyond. In column 128 the logo has
// swayed: its right half at row 0, its left half at row 40.
TEST_F(DemoEffectsGLTest, RetroSceneAtItsStartShowsOnlyBarsLogoAndStrip) {
    const struct {
        int column, first, last;
        Rgba colour, perRow;
    } bands[] = {{0, 0, 51, kLogoLeft, {}},
                 {0, 52, 115, {0, 0, 0, 1}, {}},
                 {0, 116, 127, {0.0625f, 0, 0.01875f, 1}, {0.078125f, 0, 0.0234375f, 0}},
                 {0, 128, 140, {0, 1, 0.92f, 1}, {0, -0.078125f, -0.071875f, 0}},
                 {0, 141, 255, {0, 0, 0, 1}, {}},
                 {128, 0, 0, kLogoRight, {}},
                 {128, 40, 40, kLogoLeft, {}}};
    const auto scene = create<AmigaScene>("Amiga");
    const Image out = apply(*scene, flat(256, 256, {}), AmigaScene::kStartTime);
    int wrong = 0;
    for (const auto& band : bands)
        for (int n = band.first; n <= band.last; ++n)
            for (int c = 0; c < 4; ++c)
                wrong += std::fabs(cell(out, band.column, n)[c] -
                                   (band.colour[c] + band.perRow[c] * (n - band.first)) *
                                       scanline(n)) > 1e-3f;
    EXPECT_EQ(wrong, 0) << keep(out, "retro_start");
    expectSceneReplacesInput(*scene, out, AmigaScene::kStartTime);
}

// With the window open, the runner's frame (column 120, row 128) moves 0.6
// of the sheet on every 0.1 s, and the starfield (rows 72 to 127, off the
// runner) is grey until 14.22, then each channel 0, half or all of the
// brightest.
TEST_F(DemoEffectsGLTest, RetroSceneMiddleFollowsTheSceneClock) {
    const struct {
        double time;
        int runnerColumn;
        bool tinted;
    } rows[] = {{2.05, 7, false}, {2.15, 3, false},  {2.25, 9, false}, {2.35, 5, false},
                {2.45, 1, false}, {14.15, 3, false}, {14.25, 9, true}};
    const auto scene = create<AmigaScene>("Amiga");
    for (const auto& row : rows) {
        SCOPED_TRACE(row.time);
        const Image out = apply(*scene, flat(256, 256, {}), AmigaScene::kStartTime + row.time);
        for (int c = 0; c < 4; ++c)
            EXPECT_NEAR(cell(out, 120, 128)[c], runner(row.runnerColumn)[c] * scanline(128), 1e-3f);
        int grey = 0, unquantised = 0;
        for (int i = 72 * 256; i < 128 * 256; ++i) {
            if (i % 256 >= 112 && i % 256 <= 129)
                continue;
            const float* p = cell(out, i % 256, i / 256);
            const float top = std::max({p[0], p[1], p[2]});
            grey += p[0] == p[1] && p[1] == p[2] && top > 0;
            for (int c = 0; c < 3; ++c)
                unquantised +=
                    std::min({p[c], std::fabs(p[c] - top / 2), std::fabs(p[c] - top)}) > 1e-5f;
        }
        EXPECT_EQ(grey, row.tinted ? 0 : 56 * (256 - 18));
        EXPECT_EQ(unquantised, 0) << keep(out, "retro_middle");
    }
}

// Levels in the order Overlay, White, Black, Enhancements; y 7 is under the
// overlay's clear row, y 0 under its opaque one (read unflipped).
TEST_F(DemoEffectsGLTest, OverlayClampsGradesOverlaysThenFadesWhiteThenBlack) {
    const char* const names[4] = {"Overlay_level", "White_level", "Black_level", "Enhancements"};
    const struct {
        Rgba input, levels;
        int y;
        Rgba expected;
    } rows[] = {{{2, 0.5f, -1}, {0, 0, 0, 0}, 7, {1, 0.5f, 0}},
                {{1, 1, 1}, {0, 0, 0, 1}, 7, {1, 0.933364f, 0.9418312f}},
                {{0, 0, 0}, {0, 0, 0, 1}, 7, {-0.0578304f, -0.1244664f, -0.1159992f}},
                {{1, 1, 1}, {0, 0, 0, 0.5f}, 7, {1, 0.966682f, 0.9709156f}},
                {{0.5f, 0.5f, 0.5f}, {1, 0, 0, 0}, 7, {0.5f, 0.5f, 0.5f}},
                {{0.5f, 0.5f, 0.5f}, {0.5f, 0, 0, 0}, 0, {0.35f, 0.45f, 0.55f}},
                {{0.3f, 0.6f, 0.9f}, {1, 1, 0, 1}, 0, {1, 1, 1}},
                {{0.3f, 0.6f, 0.9f}, {1, 1, 1, 1}, 0, {0, 0, 0}},
                {{0.5f, 0.5f, 0.5f}, {0, 0.5f, 2, 0}, 7, {-0.75f, -0.75f, -0.75f}}};
    auto overlay = create<OverlayEffect>("Overlay");
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::PrintToString(row.levels));
        for (int i = 0; i < 4; ++i)
            overlay->setProperty(names[i], row.levels[i]);
        const Rgba input = {row.input[0], row.input[1], row.input[2], 0.25f};
        const Image out = apply(*overlay, flat(8, 8, input));
        for (int c = 0; c < 4; ++c)
            EXPECT_NEAR(out.at(3, row.y)[c], c < 3 ? row.expected[c] : 1.0f, 1e-5f);
    }
    // An image the demo script names is read upright: its top row (clear
    // here) at the top, y 7, its bottom row (opaque) at y 0; without the fixed file and without
    // a named one, the overlay adds nothing.
    write("assets/title.png", makeImage(1, 2, [](int, int y) { return y ? Rgba{} : kOverlay; }));
    ASSERT_TRUE(overlay->setImage("image", "assets/title.png"));
    EXPECT_FALSE(overlay->setImage("mask", "assets/title.png"));
    for (int i = 0; i < 4; ++i)
        overlay->setProperty(names[i], i == 0 ? 1.0f : 0.0f);
    const Image upright = apply(*overlay, flat(8, 8, {0.5f, 0.5f, 0.5f, 1}));
    EXPECT_NEAR(upright.at(3, 0)[2], kOverlay[2], 1e-5f);
    EXPECT_NEAR(upright.at(3, 7)[2], 0.5f, 1e-5f);
    std::filesystem::remove("assets/velmoralogo.png");
    overlay = create<OverlayEffect>("Overlay");
    overlay->setProperty("Overlay_level", 1.0f);
    EXPECT_NEAR(apply(*overlay, flat(8, 8, {0.5f, 0.5f, 0.5f, 1})).at(3, 0)[2], 0.5f, 1e-5f);
}

}  // namespace
