// Video textures on the GPU: layer k of the array holds frame k, a shader
// sampling at layer max(0, frameId) shows the frame due at that time, bad
// and missing input leaves a usable texture, and the unit bookkeeping.

#include "tarn/videotexture.h"

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
using Tarn::VideoTexture;

using Rgba8 = std::array<unsigned char, 4>;

// Each test runs in a fresh folder of its own, its working directory: the
// archive reads loose files relative to it and tests run in parallel.
// Failed layers are written there for a person to look at: the folder the
// test was started in.
fs::path g_outputFolder;

class VideoTextureGLTest : public Tarn::Test::GLTest {
protected:
    void SetUp() override {
        GLTest::SetUp();
        g_outputFolder = m_scratch.previous();
    }

    Tarn::Test::ScratchFolder m_scratch;
};

// Frame k is k's own colour, with pixels numbered in green so that a layer
// uploaded with the wrong stride or offset shows.
Rgba8 framePixel(int frame, int x, int y) {
    return {static_cast<unsigned char>(60 * frame + 15), static_cast<unsigned char>(16 * y + x),
            static_cast<unsigned char>(250 - 50 * frame), 255};
}

std::vector<Rgba8> framePixels(int frame, int width, int height) {
    std::vector<Rgba8> pixels;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            pixels.push_back(frame < 0 ? Rgba8{255, 0, 255, 255} : framePixel(frame, x, y));
    return pixels;
}

bool writeFrame(const std::string& path, int frame, int width, int height) {
    const std::vector<Rgba8> pixels = framePixels(frame, width, height);
    return stbi_write_png(path.c_str(), width, height, 4, pixels.data(), 4 * width) != 0;
}

void writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

struct ArrayLevel {
    GLint width = 0, height = 0, layers = 0, format = 0;
    std::vector<Rgba8> pixels;  // layer after layer, rows from t = 0
};

ArrayLevel readArray(GLuint texture) {
    ArrayLevel level;
    glBindTexture(GL_TEXTURE_2D_ARRAY, texture);
    glGetTexLevelParameteriv(GL_TEXTURE_2D_ARRAY, 0, GL_TEXTURE_WIDTH, &level.width);
    glGetTexLevelParameteriv(GL_TEXTURE_2D_ARRAY, 0, GL_TEXTURE_HEIGHT, &level.height);
    glGetTexLevelParameteriv(GL_TEXTURE_2D_ARRAY, 0, GL_TEXTURE_DEPTH, &level.layers);
    glGetTexLevelParameteriv(GL_TEXTURE_2D_ARRAY, 0, GL_TEXTURE_INTERNAL_FORMAT, &level.format);
    level.pixels.resize(static_cast<std::size_t>(level.width) * level.height * level.layers);
    if (!level.pixels.empty()) {
        glPixelStorei(GL_PACK_ALIGNMENT, 4);
        glGetTexImage(GL_TEXTURE_2D_ARRAY, 0, GL_RGBA, GL_UNSIGNED_BYTE, level.pixels.data());
    }
    glBindTexture(GL_TEXTURE_2D_ARRAY, 0);
    return level;
}

// The array holds exactly these frames (-1 for a magenta layer).
void expectLayers(const VideoTexture& video, int width, int height,
                  const std::vector<int>& frames) {
    EXPECT_EQ(video.numImages(), frames.size());
    const ArrayLevel level = readArray(video.id());
    ASSERT_EQ(level.layers, static_cast<GLint>(frames.size()));
    ASSERT_EQ(level.width, width);
    ASSERT_EQ(level.height, height);
    EXPECT_EQ(level.format, GL_RGBA8);
    const std::size_t layerSize = static_cast<std::size_t>(width) * height;
    for (std::size_t k = 0; k < frames.size(); ++k) {
        const std::vector<Rgba8> layer(level.pixels.begin() + k * layerSize,
                                       level.pixels.begin() + (k + 1) * layerSize);
        EXPECT_EQ(layer, framePixels(frames[k], width, height)) << "layer " << k;
        if (layer != framePixels(frames[k], width, height)) {
            Tarn::Test::Image image;
            image.width = width;
            image.height = height;
            for (const Rgba8& pixel : layer)
                for (unsigned char channel : pixel)
                    image.rgba.push_back(channel / 255.0f);
            const std::string name = "videotexture_layer_" + std::to_string(k);
            Tarn::Test::writePng(image, (g_outputFolder / name).string());
        }
    }
}

GLint arrayParameter(GLuint texture, GLenum name) {
    GLint value = -1;
    glBindTexture(GL_TEXTURE_2D_ARRAY, texture);
    glGetTexParameteriv(GL_TEXTURE_2D_ARRAY, name, &value);
    glBindTexture(GL_TEXTURE_2D_ARRAY, 0);
    return value;
}

// Samples the array bound on unit 0 at its centre, at layer max(0, id) for
// each frame coordinate, as the material shaders do; one pixel per value.
std::vector<Rgba8> sampleLayers(const std::vector<float>& frameIds) {
    const int count = static_cast<int>(frameIds.size());
    const auto pixels = Tarn::Test::shadeRow(
        R"(#version 330 core
uniform sampler2DArray video;
uniform float frameIds[16];
out vec4 color;
void main() {
    color = textureLod(video, vec3(0.5, 0.5, max(0.0, frameIds[int(gl_FragCoord.x)])), 0.0);
})",
        count, [&](GLuint program) {
            glUniform1i(glGetUniformLocation(program, "video"), 0);
            glUniform1fv(glGetUniformLocation(program, "frameIds"), count, frameIds.data());
        });
    std::vector<Rgba8> colors(pixels.size());
    for (std::size_t i = 0; i < pixels.size(); ++i)
        for (int c = 0; c < 4; ++c)
            colors[i][c] = static_cast<unsigned char>(pixels[i][c] * 255.0f + 0.5f);
    return colors;
}

TEST_F(VideoTextureGLTest, LayerKHoldsFrameK) {
    for (int k = 0; k < 4; ++k)
        ASSERT_TRUE(writeFrame("f" + std::to_string(k) + ".png", k, 6, 3));
    writeBytes("video.tarn", "fps 12\nsize 6 3 4\nloops false\n"
                             "frame f0.png\nframe f1.png\nframe f2.png\nframe f3.png\n");
    testing::internal::CaptureStdout();
    VideoTexture video("video.tarn");
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "[VideoTexture] Done loading 4 frames in new 12 FPS video.\n");
    EXPECT_EQ(video.fps(), 12.0f);
    EXPECT_FALSE(video.loops());
    expectLayers(video, 6, 3, {0, 1, 2, 3});

    const struct {
        GLenum name;
        GLint value;
    } expected[] = {
        {GL_TEXTURE_MIN_FILTER, GL_LINEAR},
        {GL_TEXTURE_MAG_FILTER, GL_LINEAR},
        {GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE},
        {GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE},
    };
    for (const auto& e : expected)
        EXPECT_EQ(arrayParameter(video.id(), e.name), e.value)
            << "parameter 0x" << std::hex << e.name;
}

// The frame on screen at a time is the layer nearest to frameId: shown from
// half a frame before its start to half a frame after.
TEST_F(VideoTextureGLTest, ShaderShowsTheFrameDueAtEachTime) {
    for (int k = 0; k < 3; ++k)
        ASSERT_TRUE(writeFrame("f" + std::to_string(k) + ".png", k, 1, 1));
    writeBytes("video.tarn", "size 1 1 3\nfps 10\noffset 1\n"
                             "frame f0.png\nframe f1.png\nframe f2.png\n");
    testing::internal::CaptureStdout();
    VideoTexture video("video.tarn");
    testing::internal::GetCapturedStdout();
    const struct {
        double time;
        bool loops;
        int frame;
    } cases[] = {
        {0.0, true, 0},  {1.04, true, 0}, {1.06, true, 1}, {1.14, true, 1},  {1.16, true, 2},
        {1.27, true, 2}, {1.31, true, 0}, {1.42, true, 1}, {1.27, false, 2}, {9.0, false, 2},
    };
    std::vector<float> frameIds;
    for (const auto& c : cases) {
        video.setLoops(c.loops);
        frameIds.push_back(video.frameId(c.time));
    }
    video.bind(0);
    const std::vector<Rgba8> shown = sampleLayers(frameIds);
    video.release();
    for (std::size_t i = 0; i < shown.size(); ++i)
        EXPECT_EQ(shown[i], framePixel(cases[i].frame, 0, 0))
            << "time " << cases[i].time << (cases[i].loops ? " looping" : " holding")
            << ", frameId " << frameIds[i];
}

TEST_F(VideoTextureGLTest, BadFramesLeaveMagentaLayersInPlace) {
    ASSERT_TRUE(writeFrame("a.png", 0, 2, 2));
    ASSERT_TRUE(writeFrame("b.png", 1, 2, 2));
    ASSERT_TRUE(writeFrame("big.png", 2, 4, 4));
    writeBytes("video.tarn", "frame early.png\nsize 2 2 4\nframe a.png\nframe big.png\n"
                             "frame missing.png\nframe b.png\nframe late.png\n");
    testing::internal::CaptureStdout();
    VideoTexture video("video.tarn");
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "[VideoTexture] video.tarn:1: frame early.png has no size line before it; skipped\n"
              "[VideoTexture] video.tarn:4: frame big.png is 4x4, not the 2x2 of the size line; "
              "skipped\n"
              "[VFS] File missing.png not found in archive nor in real FS.\n"
              "[VideoTexture] video.tarn:7: frame late.png exceeds the count of 4 on the size "
              "line; skipped\n"
              "[VideoTexture] Done loading 4 frames in new 24 FPS video.\n");
    expectLayers(video, 2, 2, {0, -1, -1, 1});
}

// Without frames the texture is still a valid, empty array texture that
// binds and releases, and the clock stays at frame 0.
TEST_F(VideoTextureGLTest, NoFramesGiveAnEmptyArray) {
    writeBytes("empty.tarn", "fps 30\n");
    const struct {
        const char* script;
        const char* output;
    } cases[] = {
        {"gone.tarn", "[VFS] File gone.tarn not found in archive nor in real FS.\n"},
        {"empty.tarn", "[VideoTexture] Done loading 0 frames in new 30 FPS video.\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.script);
        testing::internal::CaptureStdout();
        VideoTexture video(c.script);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.output);
        EXPECT_EQ(video.numImages(), 0u);
        EXPECT_EQ(video.frameId(2.5), 0.0f);
        EXPECT_TRUE(glIsTexture(video.id()));
        expectLayers(video, 0, 0, {});
        video.bind(1);
        GLint bound = 0;
        glGetIntegerv(GL_TEXTURE_BINDING_2D_ARRAY, &bound);
        EXPECT_EQ(bound, static_cast<GLint>(video.id()));
        video.release();
        glActiveTexture(GL_TEXTURE0);
    }
}

TEST_F(VideoTextureGLTest, RawFramesBecomeLayers) {
    std::vector<Rgba8> pixels;
    for (int k = 0; k < 3; ++k) {
        const std::vector<Rgba8> frame = framePixels(k, 5, 3);
        pixels.insert(pixels.end(), frame.begin(), frame.end());
    }
    testing::internal::CaptureStdout();
    VideoTexture video(reinterpret_cast<const char*>(pixels.data()), 5, 3, 3);
    VideoTexture none(nullptr, 0, 7, 2);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "[VideoTexture] raw frames: frames of 0x7 are empty; the video has no frames\n");
    expectLayers(video, 5, 3, {0, 1, 2});
    EXPECT_EQ(video.fps(), 24.0f);
    EXPECT_TRUE(video.loops());
    expectLayers(none, 0, 0, {});
}

TEST_F(VideoTextureGLTest, FramesBeyondTheDriverLimitsAreRefused) {
    GLint maxLayers = 0;
    glGetIntegerv(GL_MAX_ARRAY_TEXTURE_LAYERS, &maxLayers);
    GLint maxSize = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
    const unsigned int layers = static_cast<unsigned int>(maxLayers) + 1;
    testing::internal::CaptureStdout();
    VideoTexture video(nullptr, 1, 1, layers);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "[VideoTexture] raw frames: " + std::to_string(layers) +
                  " frames of 1x1 exceed the driver's limits of " + std::to_string(maxSize) +
                  " pixels and " + std::to_string(maxLayers) +
                  " layers; the video has no frames\n");
    EXPECT_EQ(video.numImages(), 0u);
    expectLayers(video, 0, 0, {});
}

TEST_F(VideoTextureGLTest, UnpackStateIsIgnoredAndRestored) {
    for (int k = 0; k < 2; ++k)
        ASSERT_TRUE(writeFrame("f" + std::to_string(k) + ".png", k, 3, 5));
    writeBytes("video.tarn", "size 3 5 2\nframe f0.png\nframe f1.png\n");
    const struct {
        GLenum name;
        GLint value;
    } state[] = {{GL_UNPACK_ROW_LENGTH, 7},   {GL_UNPACK_SKIP_PIXELS, 2},
                 {GL_UNPACK_SKIP_ROWS, 1},    {GL_UNPACK_ALIGNMENT, 8},
                 {GL_UNPACK_IMAGE_HEIGHT, 9}, {GL_UNPACK_SKIP_IMAGES, 1}};
    for (const auto& s : state)
        glPixelStorei(s.name, s.value);

    testing::internal::CaptureStdout();
    VideoTexture video("video.tarn");
    testing::internal::GetCapturedStdout();

    for (const auto& s : state) {
        GLint value = -1;
        glGetIntegerv(s.name, &value);
        EXPECT_EQ(value, s.value) << "unpack parameter 0x" << std::hex << s.name;
        glPixelStorei(s.name, s.name == GL_UNPACK_ALIGNMENT ? 4 : 0);
    }
    expectLayers(video, 3, 5, {0, 1});
}

TEST_F(VideoTextureGLTest, ReleaseUnbindsTheUnitOfTheLastBind) {
    VideoTexture video(nullptr, 2, 2, 2);
    VideoTexture other(nullptr, 2, 2, 1);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D_ARRAY, other.id());

    video.bind(3);
    GLint active = 0, bound = -1;
    glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
    glGetIntegerv(GL_TEXTURE_BINDING_2D_ARRAY, &bound);
    EXPECT_EQ(active, GL_TEXTURE3);
    EXPECT_EQ(bound, static_cast<GLint>(video.id()));

    glActiveTexture(GL_TEXTURE0);  // someone else moved the active unit
    video.release();
    glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
    glGetIntegerv(GL_TEXTURE_BINDING_2D_ARRAY, &bound);
    EXPECT_EQ(active, GL_TEXTURE3);
    EXPECT_EQ(bound, 0);
    video.release();  // twice is harmless
    glActiveTexture(GL_TEXTURE0);
    glGetIntegerv(GL_TEXTURE_BINDING_2D_ARRAY, &bound);
    EXPECT_EQ(bound, static_cast<GLint>(other.id()));  // unit 0 untouched
    glBindTexture(GL_TEXTURE_2D_ARRAY, 0);
}

}  // namespace
