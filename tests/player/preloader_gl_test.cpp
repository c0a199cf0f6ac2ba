// The preloader on content of one's own: the files the demo script names,
// else the fixed paths, else the built-in bar; never the magenta of a
// missing image. Frames are drawn into the hidden 64x64 window and read back.

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include <tarn/vfs.h>

#include "preloader.h"
#include "support/gl_test.h"
#include "support/scratch_folder.h"

namespace {

using Tarn::Test::Image;

const std::array<float, 4> kRed = {1, 0, 0, 1}, kBlue = {0, 0, 1, 1};

class PreloaderGLTest : public Tarn::Test::GLTest {
protected:
    // A 4x4 logo as a loose file: red over blue inside a clear border (the
    // preloader repeats the logo's edge texels outside its rectangle).
    static void writeLogo(const std::string& path) {
        const Image logo = Tarn::Test::makeImage(4, 4, [](int x, int y) {
            if (x == 0 || x == 3 || y == 0 || y == 3)
                return std::array<float, 4>{};
            return y == 2 ? kRed : kBlue;
        });
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::filesystem::rename(Tarn::Test::writePng(logo, "logo"), path);
    }
    static Image frame(Preloader& preloader, bool intro, double seconds) {
        glViewport(0, 0, 64, 64);
        preloader.drawFrame(intro, seconds);
        return Tarn::Test::readFramebuffer(0, GL_BACK, 0, 0, 64, 64);
    }
    static void expectColour(const Image& image, int x, int y, const std::array<float, 4>& rgb) {
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(image.at(x, y)[c], rgb[c], 0.05f) << x << "," << y << " channel " << c;
    }
    Tarn::Test::ScratchFolder m_scratch;
};

TEST_F(PreloaderGLTest, NamedFilesThenFixedOnesThenTheBuiltInBar) {
    Tarn::VFS vfs("", false);
    writeLogo("assets/title.png");
    const struct {
        Preloader::Assets named;
        bool fixedLogo;
        Preloader::Assets expected;
    } rows[] = {
        {{"", "assets/title.png"}, false, {"", "assets/title.png"}},
        {{"", "assets/missing.png"}, false, {"", ""}},  // its line says so; none used
        {{"", "assets/missing.png"}, true, {"", Preloader::FixedLogo}},
        {{"", ""}, true, {"", Preloader::FixedLogo}},
        {{"assets/missing.tarn", ""}, false, {"", ""}},
    };
    for (const auto& row : rows) {
        if (row.fixedLogo)
            writeLogo(Preloader::FixedLogo);
        else
            std::filesystem::remove(Preloader::FixedLogo);
        const Preloader::Assets got = Preloader::resolve(row.named, &vfs);
        EXPECT_EQ(got.animation, row.expected.animation) << row.named.logo;
        EXPECT_EQ(got.logo, row.expected.logo) << row.named.logo << " " << row.fixedLogo;
    }
}

// The logo fills 0.2945..0.6745 x 0.24..0.84 of the screen, upright; the bar
// 0.3..0.7 x 0.14..0.16, filling with the intro's five seconds in cyan over
// light grey; the outro ends on cyan everywhere.
TEST_F(PreloaderGLTest, TheBuiltInBarFillsUnderTheLogo) {
    Tarn::VFS vfs("", false);
    writeLogo("assets/title.png");
    Preloader withLogo({"", "assets/title.png"});
    const Image intro = frame(withLogo, true, 2.5);
    const std::array<float, 4> cyan = {0.2627f, 0.9529f, 1.0f, 1}, grey = {0.85f, 0.85f, 0.85f, 1},
                               white = {1, 1, 1, 1};
    expectColour(intro, 32, 39, kRed);   // the logo's upper inner row above
    expectColour(intro, 32, 29, kBlue);  // its lower one
    expectColour(intro, 22, 9, cyan);    // half the bar filled at 2.5 s
    expectColour(intro, 40, 9, grey);
    expectColour(intro, 2, 2, white);
    expectColour(intro, 60, 60, white);

    Preloader bare({"", ""});
    const Image start = frame(bare, true, 0.0);
    expectColour(start, 22, 9, grey);  // nothing filled yet
    expectColour(start, 32, 39, white);
    const Image end = frame(bare, false, 3.0);
    for (int i = 0; i < 64 * 64; ++i)
        for (int c = 0; c < 3; ++c)
            ASSERT_NEAR(end.rgba[4 * i + c], cyan[c], 0.01f) << "pixel " << i;
}

}  // namespace
