// Cube textures: each cell of a cross image lands on its GL face texel for
// texel and is what a lookup along that axis returns; crosses of the wrong
// shape, missing and undecodable images give the magenta placeholder with
// their line; the six-file form; sampling state and unit bookkeeping.

#include "tarn/cubetexture.h"

#include <array>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <stb_image_write.h>
#include <unistd.h>

#include "support/gl_test.h"
#include "support/scratch_folder.h"
#include "support/test_program.h"
#include "tarn/vfs.h"

namespace {

namespace fs = std::filesystem;
using Tarn::CubeTexture;

using Rgba8 = std::array<unsigned char, 4>;
using Rgbaf = std::array<float, 4>;

// Each test runs in a fresh folder of its own, its working directory: the
// archive reads loose files relative to it and tests run in parallel.
// Failed faces are written there for a person to look at: the folder the
// test was started in.
fs::path g_outputFolder;

class CubeTextureGLTest : public Tarn::Test::GLTest {
protected:
    void SetUp() override {
        GLTest::SetUp();
        g_outputFolder = m_scratch.previous();
    }

    Tarn::Test::ScratchFolder m_scratch;
};

// A skybox cross as artists draw it, one letter per cell: Up, Left, Front,
// Right, Back, Down; '.' cells are unused.
const char* const kCross[3] = {".U..", "LFRB", ".D.."};

const std::map<char, Rgba8> kCellColors = {
    {'R', {255, 0, 0, 255}},   {'L', {0, 255, 0, 255}},   {'U', {0, 0, 255, 255}},
    {'D', {255, 255, 0, 255}}, {'B', {0, 255, 255, 255}}, {'F', {255, 255, 255, 255}},
    {'.', {96, 96, 96, 255}},
};

// What a lookup along each axis must see, in GL face order. Looking down -Z
// is looking at the front.
const struct {
    const char* name;
    std::array<float, 3> direction;
    char cell;
} kAxes[6] = {
    {"+X", {1, 0, 0}, 'R'},  {"-X", {-1, 0, 0}, 'L'}, {"+Y", {0, 1, 0}, 'U'},
    {"-Y", {0, -1, 0}, 'D'}, {"+Z", {0, 0, 1}, 'B'},  {"-Z", {0, 0, -1}, 'F'},
};

// The pixel at (x, y) within a cell: the cell's colour, with an alpha that
// numbers the pixel so that a cut one pixel off shows.
Rgba8 cellPixel(char cell, int x, int y) {
    Rgba8 pixel = kCellColors.at(cell);
    pixel[3] = static_cast<unsigned char>(255 - 4 * x - 32 * y);
    return pixel;
}

bool writePng(const std::string& path, int width, int height, const std::vector<Rgba8>& pixels) {
    return stbi_write_png(path.c_str(), width, height, 4, pixels.data(), 4 * width) != 0;
}

// A cross of 4 x 3 cells of `face` pixels.
bool writeCross(const std::string& path, int face) {
    const int width = 4 * face, height = 3 * face;
    std::vector<Rgba8> pixels(static_cast<std::size_t>(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            pixels[y * width + x] = cellPixel(kCross[y / face][x / face], x % face, y % face);
    return writePng(path, width, height, pixels);
}

// A square face image of one cell.
bool writeFace(const std::string& path, char cell, int width, int height) {
    std::vector<Rgba8> pixels(static_cast<std::size_t>(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            pixels[y * width + x] = cellPixel(cell, x, y);
    return writePng(path, width, height, pixels);
}

void writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// One face as stored, rows from t = 0.
std::vector<Rgba8> readFace(GLuint cube, int face, int& size) {
    glBindTexture(GL_TEXTURE_CUBE_MAP, cube);
    const GLenum target = GL_TEXTURE_CUBE_MAP_POSITIVE_X + face;
    GLint width = 0, height = 0;
    glGetTexLevelParameteriv(target, 0, GL_TEXTURE_WIDTH, &width);
    glGetTexLevelParameteriv(target, 0, GL_TEXTURE_HEIGHT, &height);
    EXPECT_EQ(width, height);
    size = width;
    std::vector<Rgba8> pixels(static_cast<std::size_t>(width) * height);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glGetTexImage(target, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    glBindTexture(GL_TEXTURE_CUBE_MAP, 0);
    return pixels;
}

// Every texel of every face is the matching pixel of its cell.
void expectFacesHoldTheirCells(const CubeTexture& cube, int faceSize) {
    EXPECT_EQ(cube.faceSize(), faceSize);
    for (int face = 0; face < 6; ++face) {
        SCOPED_TRACE(kAxes[face].name);
        int size = 0;
        const std::vector<Rgba8> pixels = readFace(cube.id(), face, size);
        ASSERT_EQ(size, faceSize);
        int wrong = 0;
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x)
                if (pixels[y * size + x] != cellPixel(kAxes[face].cell, x, y) && ++wrong <= 3)
                    ADD_FAILURE() << "texel (" << x << ", " << y << ") is not cell "
                                  << kAxes[face].cell << "'s pixel";
        EXPECT_EQ(wrong, 0);
        if (wrong > 0) {
            Tarn::Test::Image image;
            image.width = image.height = size;
            for (const Rgba8& pixel : pixels)
                for (unsigned char channel : pixel)
                    image.rgba.push_back(channel / 255.0f);
            const std::string name = std::string("cubetexture_face_") + kAxes[face].name;
            Tarn::Test::writePng(image, (g_outputFolder / name).string());
        }
    }
}

void expectMagentaPlaceholder(const CubeTexture& cube) {
    EXPECT_EQ(cube.faceSize(), 1);
    for (int face = 0; face < 6; ++face) {
        SCOPED_TRACE(kAxes[face].name);
        int size = 0;
        const std::vector<Rgba8> pixels = readFace(cube.id(), face, size);
        ASSERT_EQ(size, 1);
        EXPECT_EQ(pixels[0], (Rgba8{255, 0, 255, 255}));
    }
}

// Looks the cube bound on unit 0 up along each axis of kAxes, one pixel per
// axis of a float target.
std::vector<Rgbaf> lookUpAxes() {
    std::vector<float> directions;
    for (const auto& axis : kAxes)
        directions.insert(directions.end(), axis.direction.begin(), axis.direction.end());
    return Tarn::Test::shadeRow(R"(#version 330 core
uniform samplerCube cube;
uniform vec3 directions[6];
out vec4 color;
void main() { color = textureLod(cube, directions[int(gl_FragCoord.x)], 0.0); })",
                                6, [&](GLuint program) {
                                    glUniform1i(glGetUniformLocation(program, "cube"), 0);
                                    glUniform3fv(glGetUniformLocation(program, "directions"), 6,
                                                 directions.data());
                                });
}

// A lookup along each axis returns the colour of that axis's cell (alpha
// varies within a cell and is left out).
void expectAxesSeeTheirCells(CubeTexture& cube) {
    cube.bind(0);
    const std::vector<Rgbaf> colors = lookUpAxes();
    cube.release();
    for (int face = 0; face < 6; ++face)
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(colors[face][c], kCellColors.at(kAxes[face].cell)[c] / 255.0f, 1e-3)
                << "looking along " << kAxes[face].name << ", channel " << c;
}

TEST_F(CubeTextureGLTest, CrossCellsLandOnTheirFaces) {
    // 8 is a power of two, 5 makes odd rows of 20 pixels, 1 is the smallest.
    for (int faceSize : {8, 5, 1}) {
        SCOPED_TRACE(testing::Message() << "face size " << faceSize);
        ASSERT_TRUE(writeCross("cross.png", faceSize));
        testing::internal::CaptureStdout();
        CubeTexture cube("cross.png");
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
        expectFacesHoldTheirCells(cube, faceSize);
        expectAxesSeeTheirCells(cube);
    }
}

TEST_F(CubeTextureGLTest, CrossIsReadThroughThePackedArchive) {
    fs::create_directories("sky");
    ASSERT_TRUE(writeCross("sky/cross.png", 4));
    {
        Tarn::VFS writer("content.tarn", false);
        writer.add("sky/cross.png");
        ASSERT_TRUE(writer.write());
    }
    fs::remove("sky/cross.png");
    Tarn::VFS archive("content.tarn", true);
    ASSERT_EQ(Tarn::VFS::tarnVFS, &archive);
    CubeTexture cube("sky/cross.png");
    expectFacesHoldTheirCells(cube, 4);
}

// Whatever unpack state the caller left, the faces are cut right and the
// state is the caller's again afterwards.
TEST_F(CubeTextureGLTest, UnpackStateIsIgnoredAndRestored) {
    ASSERT_TRUE(writeCross("cross.png", 5));
    const struct {
        GLenum name;
        GLint value;
    } state[] = {{GL_UNPACK_ROW_LENGTH, 7},   {GL_UNPACK_SKIP_PIXELS, 2},
                 {GL_UNPACK_SKIP_ROWS, 1},    {GL_UNPACK_ALIGNMENT, 8},
                 {GL_UNPACK_IMAGE_HEIGHT, 3}, {GL_UNPACK_SKIP_IMAGES, 1}};
    for (const auto& s : state)
        glPixelStorei(s.name, s.value);
    GLuint buffer = 0;
    glGenBuffers(1, &buffer);
    glBindBuffer(GL_PIXEL_UNPACK_BUFFER, buffer);

    CubeTexture cube("cross.png");

    for (const auto& s : state) {
        GLint value = -1;
        glGetIntegerv(s.name, &value);
        EXPECT_EQ(value, s.value) << "unpack parameter 0x" << std::hex << s.name;
    }
    GLint bound = 0;
    glGetIntegerv(GL_PIXEL_UNPACK_BUFFER_BINDING, &bound);
    EXPECT_EQ(bound, static_cast<GLint>(buffer));
    glBindBuffer(GL_PIXEL_UNPACK_BUFFER, 0);
    glDeleteBuffers(1, &buffer);
    for (const auto& s : state)
        glPixelStorei(s.name, s.name == GL_UNPACK_ALIGNMENT ? 4 : 0);

    expectFacesHoldTheirCells(cube, 5);
}

TEST_F(CubeTextureGLTest, CrossesOfOtherShapesAreRefused) {
    const struct {
        int width, height;
    } shapes[] = {{33, 24}, {32, 25}, {32, 32}, {40, 24}, {8, 3}, {3, 3}, {2, 1}, {4, 6}};
    for (const auto& shape : shapes) {
        SCOPED_TRACE(testing::Message() << shape.width << "x" << shape.height);
        ASSERT_TRUE(writePng("odd.png", shape.width, shape.height,
                             std::vector<Rgba8>(shape.width * shape.height, {10, 20, 30, 255})));
        testing::internal::CaptureStdout();
        CubeTexture cube("odd.png");
        EXPECT_EQ(testing::internal::GetCapturedStdout(),
                  "[CubeTexture] odd.png: image of " + std::to_string(shape.width) + "x" +
                      std::to_string(shape.height) + " is not a 4:3 cross of square faces\n");
        expectMagentaPlaceholder(cube);
    }
}

TEST_F(CubeTextureGLTest, UnreadableCrossGivesItsLineAndMagenta) {
    const struct {
        const char* path;
        const char* content;  // null: no file at all
        const char* line;
    } cases[] = {
        {"missing.png", nullptr, "[VFS] File missing.png not found in archive nor in real FS.\n"},
        {"text.png", "a sky, honestly",
         "[CubeTexture] Cannot decode text.png: unknown image type\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        if (c.content)
            writeBytes(c.path, c.content);
        testing::internal::CaptureStdout();
        CubeTexture cube(c.path);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.line);
        expectMagentaPlaceholder(cube);
    }
}

const char* const kFaceFiles[6] = {"px.png", "nx.png", "py.png", "ny.png", "pz.png", "nz.png"};

std::unique_ptr<CubeTexture> sixFileCube() {
    return std::make_unique<CubeTexture>(kFaceFiles[0], kFaceFiles[1], kFaceFiles[2], kFaceFiles[3],
                                         kFaceFiles[4], kFaceFiles[5]);
}

TEST_F(CubeTextureGLTest, SixFilesLandOnTheirFaces) {
    for (int face = 0; face < 6; ++face)
        ASSERT_TRUE(writeFace(kFaceFiles[face], kAxes[face].cell, 4, 4));
    testing::internal::CaptureStdout();
    const std::unique_ptr<CubeTexture> cube = sixFileCube();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    expectFacesHoldTheirCells(*cube, 4);
    expectAxesSeeTheirCells(*cube);
}

TEST_F(CubeTextureGLTest, OneBadFileMakesTheWholeSixFileCubeMagenta) {
    const struct {
        int face;
        const char* content;  // null: write a face of width x height; "": no file
        int width, height;
        const char* line;
    } cases[] = {
        {2, "", 0, 0, "[VFS] File py.png not found in archive nor in real FS.\n"},
        {0, "not a png", 0, 0, "[CubeTexture] Cannot decode px.png: unknown image type\n"},
        {5, nullptr, 4, 2, "[CubeTexture] nz.png: face of 4x2 is not square\n"},
        {3, nullptr, 8, 8, "[CubeTexture] ny.png: face of 8x8 does not match the 4x4 of px.png\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(kFaceFiles[c.face]);
        for (int face = 0; face < 6; ++face)
            ASSERT_TRUE(writeFace(kFaceFiles[face], kAxes[face].cell, 4, 4));
        const std::string path = kFaceFiles[c.face];
        if (!c.content)
            ASSERT_TRUE(writeFace(path, kAxes[c.face].cell, c.width, c.height));
        else if (*c.content)
            writeBytes(path, c.content);
        else
            fs::remove(path);
        testing::internal::CaptureStdout();
        const std::unique_ptr<CubeTexture> cube = sixFileCube();
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.line);
        expectMagentaPlaceholder(*cube);
    }
}

GLint cubeParameter(GLuint cube, GLenum name) {
    GLint value = -1;
    glBindTexture(GL_TEXTURE_CUBE_MAP, cube);
    glGetTexParameteriv(GL_TEXTURE_CUBE_MAP, name, &value);
    glBindTexture(GL_TEXTURE_CUBE_MAP, 0);
    return value;
}

TEST_F(CubeTextureGLTest, EveryFormSamplesLinearClampedWithOneLevel) {
    ASSERT_TRUE(writeCross("cross.png", 2));
    for (int face = 0; face < 6; ++face)
        ASSERT_TRUE(writeFace(kFaceFiles[face], kAxes[face].cell, 2, 2));
    const struct {
        const char* form;
        std::function<std::unique_ptr<CubeTexture>()> make;
    } forms[] = {
        {"cross", [] { return std::make_unique<CubeTexture>("cross.png"); }},
        {"six files", sixFileCube},
        {"placeholder", [] { return std::make_unique<CubeTexture>("missing.png"); }},
    };
    const struct {
        GLenum name;
        GLint value;
    } expected[] = {
        {GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE},
        {GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE},
        {GL_TEXTURE_WRAP_R, GL_CLAMP_TO_EDGE},
        {GL_TEXTURE_MIN_FILTER, GL_LINEAR},
        {GL_TEXTURE_MAG_FILTER, GL_LINEAR},
        {GL_TEXTURE_BASE_LEVEL, 0},
        {GL_TEXTURE_MAX_LEVEL, 0},
    };
    for (const auto& form : forms) {
        SCOPED_TRACE(form.form);
        testing::internal::CaptureStdout();
        const std::unique_ptr<CubeTexture> cube = form.make();
        testing::internal::GetCapturedStdout();
        for (const auto& e : expected)
            EXPECT_EQ(cubeParameter(cube->id(), e.name), e.value)
                << "parameter 0x" << std::hex << e.name;
        GLint format = 0;
        glBindTexture(GL_TEXTURE_CUBE_MAP, cube->id());
        glGetTexLevelParameteriv(GL_TEXTURE_CUBE_MAP_NEGATIVE_Z, 0, GL_TEXTURE_INTERNAL_FORMAT,
                                 &format);
        glBindTexture(GL_TEXTURE_CUBE_MAP, 0);
        EXPECT_EQ(format, GL_RGBA8);
    }
}

TEST_F(CubeTextureGLTest, ReleaseUnbindsTheUnitOfTheLastBind) {
    ASSERT_TRUE(writeCross("cross.png", 1));
    CubeTexture cube("cross.png");
    CubeTexture other("cross.png");
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_CUBE_MAP, other.id());

    cube.bind(3);
    GLint active = 0, bound = -1;
    glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
    glGetIntegerv(GL_TEXTURE_BINDING_CUBE_MAP, &bound);
    EXPECT_EQ(active, GL_TEXTURE3);
    EXPECT_EQ(bound, static_cast<GLint>(cube.id()));

    glActiveTexture(GL_TEXTURE0);  // someone else moved the active unit
    cube.release();
    glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
    glGetIntegerv(GL_TEXTURE_BINDING_CUBE_MAP, &bound);
    EXPECT_EQ(active, GL_TEXTURE3);
    EXPECT_EQ(bound, 0);
    cube.release();  // twice is harmless
    glActiveTexture(GL_TEXTURE0);
    glGetIntegerv(GL_TEXTURE_BINDING_CUBE_MAP, &bound);
    EXPECT_EQ(bound, static_cast<GLint>(other.id()));  // unit 0 untouched
    glBindTexture(GL_TEXTURE_CUBE_MAP, 0);
}

}  // namespace
