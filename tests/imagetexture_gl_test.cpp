// 2D image textures: the file's top row lands at t = 0 (no flip), missing,
// undecodable and oversized files give the magenta placeholder with their
// line, adopted names are deleted, and the sampling state and unit
// bookkeeping.

#include "tarn/imagetexture.h"

#include <array>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <stb_image_write.h>
#include <unistd.h>

#include "support/gl_test.h"
#include "support/scratch_folder.h"
#include "support/test_program.h"

namespace {

namespace fs = std::filesystem;
using Tarn::ImageTexture;
using Tarn::Test::Image;

using Rgba8 = std::array<unsigned char, 4>;

// Each test runs in a fresh folder of its own, its working directory: the
// archive reads loose files relative to it and tests run in parallel.
class ImageTextureGLTest : public Tarn::Test::GLTest {
protected:
    Tarn::Test::ScratchFolder m_scratch;
};

// Rows top first, as image files store them.
bool writeImage(const std::string& path, int width, int height, const std::vector<Rgba8>& pixels) {
    return stbi_write_png(path.c_str(), width, height, 4, pixels.data(), 4 * width) != 0;
}

void writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// Samples the texture at each texture coordinate, at level 0, one pixel per
// coordinate of a float target, and returns them in order.
std::vector<std::array<float, 4>> sampleAt(ImageTexture& texture,
                                           const std::vector<std::array<float, 2>>& coords) {
    const int count = static_cast<int>(coords.size());
    return Tarn::Test::shadeRow(R"(#version 330 core
uniform sampler2D image;
uniform vec2 coords[16];
out vec4 color;
void main() { color = textureLod(image, coords[int(gl_FragCoord.x)], 0.0); })",
                                count, [&](GLuint program) {
                                    glUniform1i(glGetUniformLocation(program, "image"), 0);
                                    glUniform2fv(glGetUniformLocation(program, "coords"), count,
                                                 coords.front().data());
                                    texture.bind(0);
                                });
}

void expectMagentaPlaceholder(const ImageTexture& texture) {
    EXPECT_EQ(texture.width(), 1);
    EXPECT_EQ(texture.height(), 1);
    const Image image = Tarn::Test::readTexture(texture.id());
    ASSERT_EQ(image.width, 1);
    ASSERT_EQ(image.height, 1);
    EXPECT_EQ(image.rgba, (std::vector<float>{1.0f, 0.0f, 1.0f, 1.0f}));
}

GLint parameter(GLuint texture, GLenum name) {
    GLint value = -1;
    glBindTexture(GL_TEXTURE_2D, texture);
    glGetTexParameteriv(GL_TEXTURE_2D, name, &value);
    glBindTexture(GL_TEXTURE_2D, 0);
    return value;
}

const Rgba8 kRed = {255, 0, 0, 255}, kGreen = {0, 255, 0, 255}, kBlue = {0, 0, 255, 255},
            kWhite = {255, 255, 255, 255}, kBlack = {0, 0, 0, 255}, kYellow = {255, 255, 0, 255},
            kCyan = {0, 255, 255, 255}, kHalf = {128, 64, 32, 16};

TEST_F(ImageTextureGLTest, TopRowOfTheFileIsTextureRowZero) {
    // 4 x 2, top row first: the top-left pixel is red.
    const std::vector<Rgba8> pixels = {kRed,   kGreen,  kBlue, kWhite,  // top row
                                       kBlack, kYellow, kCyan, kHalf};
    ASSERT_TRUE(writeImage("rows.png", 4, 2, pixels));
    ImageTexture texture("rows.png");
    EXPECT_EQ(texture.width(), 4);
    EXPECT_EQ(texture.height(), 2);

    // Stored as the file has it, image row y at texture row t = y.
    const Image stored = Tarn::Test::readTexture(texture.id());
    ASSERT_EQ(stored.width, 4);
    ASSERT_EQ(stored.height, 2);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x)
            for (int c = 0; c < 4; ++c)
                EXPECT_FLOAT_EQ(stored.at(x, y)[c], pixels[4 * y + x][c] / 255.0f)
                    << "texel (" << x << ", " << y << ") channel " << c;

    // Sampled at texel centres (x + 0.5) / w, (y + 0.5) / h.
    const struct {
        int x, y;
        Rgba8 expected;
    } cases[] = {{0, 0, kRed}, {3, 0, kWhite}, {0, 1, kBlack}, {3, 1, kHalf}, {1, 1, kYellow}};
    std::vector<std::array<float, 2>> coords;
    for (const auto& c : cases)
        coords.push_back({(c.x + 0.5f) / 4.0f, (c.y + 0.5f) / 2.0f});
    const std::vector<std::array<float, 4>> sampled = sampleAt(texture, coords);
    for (std::size_t i = 0; i < coords.size(); ++i)
        for (int c = 0; c < 4; ++c)
            EXPECT_NEAR(sampled[i][c], cases[i].expected[c] / 255.0f, 1e-6)
                << "texel (" << cases[i].x << ", " << cases[i].y << ") channel " << c;
    if (HasFailure())
        Tarn::Test::writePng(stored, (m_scratch.previous() / "imagetexture_rows").string());
}

TEST_F(ImageTextureGLTest, FileTextureIsMipmappedTrilinearAndRepeating) {
    ASSERT_TRUE(writeImage("four.png", 4, 4, std::vector<Rgba8>(16, kHalf)));
    ImageTexture texture("four.png");
    const Image level2 = Tarn::Test::readTexture(texture.id(), 2);
    EXPECT_EQ(level2.width, 1);
    EXPECT_EQ(level2.height, 1);
    EXPECT_EQ(parameter(texture.id(), GL_TEXTURE_MIN_FILTER), GL_LINEAR_MIPMAP_LINEAR);
    EXPECT_EQ(parameter(texture.id(), GL_TEXTURE_MAG_FILTER), GL_NEAREST);
    EXPECT_EQ(parameter(texture.id(), GL_TEXTURE_WRAP_S), GL_REPEAT);
    EXPECT_EQ(parameter(texture.id(), GL_TEXTURE_WRAP_T), GL_REPEAT);
}

TEST_F(ImageTextureGLTest, UnreadableFilesGiveTheirLineAndMagenta) {
    // An image the driver cannot hold is refused as one that does not decode.
    GLint maxSize = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
    ASSERT_TRUE(writeImage("tall.png", 1, maxSize + 1, std::vector<Rgba8>(maxSize + 1, kWhite)));
    const struct {
        const char* path;
        const char* content;  // null: no file written here
        std::string line;
    } cases[] = {
        {"tall.png", nullptr,
         "[ImageTexture] tall.png is 1x" + std::to_string(maxSize + 1) +
             ", over the driver's limit of " + std::to_string(maxSize) + " pixels a side\n"},
        {"missing.png", nullptr, "[VFS] File missing.png not found in archive nor in real FS.\n"},
        {"text.png", "this is not an image",
         "[ImageTexture] Cannot decode text.png: unknown image type\n"},
        {"empty.png", "",
         "[ImageTexture] Cannot decode empty.png: the file is empty or too large\n"},
        // A PNG signature with nothing after it.
        {"cut.png", "\x89PNG\r\n\x1a\n", "[ImageTexture] Cannot decode cut.png: first not IHDR\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        if (c.content)
            writeBytes(c.path, c.content);
        testing::internal::CaptureStdout();
        ImageTexture texture(c.path);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.line);
        expectMagentaPlaceholder(texture);
    }
}

TEST_F(ImageTextureGLTest, AdoptedNameIsResetAndDeletedWithTheTexture) {
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST_MIPMAP_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_MIRRORED_REPEAT);
    glBindTexture(GL_TEXTURE_2D, 0);
    ASSERT_TRUE(glIsTexture(name));
    {
        ImageTexture adopted(name);
        EXPECT_EQ(adopted.id(), name);
        EXPECT_EQ(parameter(name, GL_TEXTURE_MIN_FILTER), GL_LINEAR);
        EXPECT_EQ(parameter(name, GL_TEXTURE_MAG_FILTER), GL_NEAREST);
        EXPECT_EQ(parameter(name, GL_TEXTURE_WRAP_S), GL_REPEAT);
        EXPECT_EQ(parameter(name, GL_TEXTURE_WRAP_T), GL_REPEAT);
    }
    EXPECT_FALSE(glIsTexture(name));
}

TEST_F(ImageTextureGLTest, FilterModesReadBack) {
    ASSERT_TRUE(writeImage("four.png", 4, 4, std::vector<Rgba8>(16, kRed)));
    ImageTexture texture("four.png");
    const struct {
        ImageTexture::FilterMode min, mag;
        GLint expectedMin, expectedMag;
    } cases[] = {
        {ImageTexture::Linear, ImageTexture::Linear, GL_LINEAR, GL_LINEAR},
        {ImageTexture::LinearMipmapLinear, ImageTexture::Nearest, GL_LINEAR_MIPMAP_LINEAR,
         GL_NEAREST},
        {ImageTexture::Nearest, ImageTexture::Nearest, GL_NEAREST, GL_NEAREST},
        {ImageTexture::NearestMipmapNearest, ImageTexture::Linear, GL_NEAREST_MIPMAP_NEAREST,
         GL_LINEAR},
        {ImageTexture::NearestMipmapLinear, ImageTexture::LinearMipmapLinear,
         GL_NEAREST_MIPMAP_LINEAR, GL_NEAREST},
        {ImageTexture::LinearMipmapNearest, ImageTexture::NearestMipmapNearest,
         GL_LINEAR_MIPMAP_NEAREST, GL_NEAREST},
        // Values outside the enumeration (within its range of bits) mean nearest.
        {static_cast<ImageTexture::FilterMode>(7), static_cast<ImageTexture::FilterMode>(6),
         GL_NEAREST, GL_NEAREST},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "min " << c.min << ", mag " << c.mag);
        glActiveTexture(GL_TEXTURE5);
        texture.setFilterMode(c.min, c.mag);
        EXPECT_EQ(parameter(texture.id(), GL_TEXTURE_MIN_FILTER), c.expectedMin);
        EXPECT_EQ(parameter(texture.id(), GL_TEXTURE_MAG_FILTER), c.expectedMag);
        GLint active = 0, bound = -1;
        glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
        EXPECT_EQ(active, GL_TEXTURE0);
        EXPECT_EQ(bound, 0);
    }
}

TEST_F(ImageTextureGLTest, WrapModesReadBack) {
    ASSERT_TRUE(writeImage("four.png", 4, 4, std::vector<Rgba8>(16, kRed)));
    ImageTexture texture("four.png");
    const struct {
        ImageTexture::WrapMode s, t;
        GLint expectedS, expectedT;
    } cases[] = {
        // The legacy clamp is clamp-to-edge on a core context.
        {ImageTexture::Clamp, ImageTexture::Repeat, GL_CLAMP_TO_EDGE, GL_REPEAT},
        {ImageTexture::ClampToEdge, ImageTexture::ClampToBorder, GL_CLAMP_TO_EDGE,
         GL_CLAMP_TO_BORDER},
        {ImageTexture::MirroredRepeat, ImageTexture::Clamp, GL_MIRRORED_REPEAT, GL_CLAMP_TO_EDGE},
        {ImageTexture::Repeat, ImageTexture::MirroredRepeat, GL_REPEAT, GL_MIRRORED_REPEAT},
        {static_cast<ImageTexture::WrapMode>(7), ImageTexture::Repeat, GL_CLAMP_TO_EDGE, GL_REPEAT},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "s " << c.s << ", t " << c.t);
        glActiveTexture(GL_TEXTURE2);
        texture.setWrapMode(c.s, c.t);
        EXPECT_EQ(parameter(texture.id(), GL_TEXTURE_WRAP_S), c.expectedS);
        EXPECT_EQ(parameter(texture.id(), GL_TEXTURE_WRAP_T), c.expectedT);
        GLint active = 0;
        glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
        EXPECT_EQ(active, GL_TEXTURE0);
    }
}

TEST_F(ImageTextureGLTest, ReleaseUnbindsTheUnitOfTheLastBind) {
    ASSERT_TRUE(writeImage("four.png", 4, 4, std::vector<Rgba8>(16, kRed)));
    ImageTexture texture("four.png");
    GLuint other = 0;
    glGenTextures(1, &other);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, other);

    texture.bind(3);
    GLint active = 0, bound = -1;
    glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(active, GL_TEXTURE3);
    EXPECT_EQ(bound, static_cast<GLint>(texture.id()));

    glActiveTexture(GL_TEXTURE0);  // someone else moved the active unit
    texture.release();
    glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(active, GL_TEXTURE3);
    EXPECT_EQ(bound, 0);
    texture.release();  // twice is harmless
    glActiveTexture(GL_TEXTURE0);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(bound, static_cast<GLint>(other));  // unit 0 untouched

    glBindTexture(GL_TEXTURE_2D, 0);
    glDeleteTextures(1, &other);
}

}  // namespace
