// The demo's content as the build stages it for the archive: the files
// tarn-content generates and the scripts written by hand under content/.
// Each image is checked against the way its reader samples it, the scripts
// against the files they name, and the generator against a second run.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <glm/geometric.hpp>
#include <glm/vec2.hpp>
#include <glm/vec3.hpp>
#include <gtest/gtest.h>
#include <stb_image.h>

#include "tarn/luceparser.h"
#include "tarn/vfs.h"
#include "tarn/videotexture.h"

#include "support/files.h"
#include "support/run_program.h"
#include "support/scratch_folder.h"
#include "support/subprocess.h"

namespace {

namespace fs = std::filesystem;
using Tarn::Test::filesBelow;
using Tarn::Test::readFile;

const fs::path Staging = TARN_CONTENT_STAGING;
const fs::path Scripts = TARN_CONTENT_SOURCE;

struct Picture {
    int width = 0;
    int height = 0;
    int channels = 0;  // in the file
    std::vector<unsigned char> rgba;

    bool valid() const { return width > 0; }
    const unsigned char* at(int x, int y) const { return &rgba[(std::size_t(y) * width + x) * 4]; }
    int alpha(int x, int y) const { return at(x, y)[3]; }
    float luminance(int x, int y) const {
        const unsigned char* p = at(x, y);
        return (0.3f * p[0] + 0.6f * p[1] + 0.1f * p[2]) / 255.0f;
    }
};

Picture decode(const std::string& path) {
    Picture picture;
    const std::string file = (Staging / path).string();
    unsigned char* pixels =
        stbi_load(file.c_str(), &picture.width, &picture.height, &picture.channels, 4);
    if (!pixels)
        return Picture{};
    picture.rgba.assign(pixels, pixels + std::size_t(picture.width) * picture.height * 4);
    stbi_image_free(pixels);
    return picture;
}

// Runs a script through the engine's own parser and hands each line's
// keyword and arguments to `line`.
void parseScript(const fs::path& file, const std::vector<std::string>& keywords,
                 const std::function<void(const std::string&, std::vector<std::string>)>& line) {
    Tarn::LUCEParser parser;
    for (const std::string& keyword : keywords)
        parser.addKeyword(keyword, [&, keyword](std::vector<std::string> args) {
            line(keyword, std::move(args));
        });
    parser.parse(readFile(file));
}

// The staging folder as the working directory, where the engine's loaders
// find its files as loose files.
class InStaging {
public:
    InStaging() : m_previous(fs::current_path()) { fs::current_path(Staging); }
    ~InStaging() { fs::current_path(m_previous); }

private:
    fs::path m_previous;
};

// Each fixed path an engine effect or the preloader reads; the size where
// the reader depends on it, 0 where any size will do, and whether the file
// must carry an alpha channel.
TEST(ContentTest, FixedPathsDecode) {
    const struct {
        const char* path;
        int width, height;
        bool alpha;
    } cases[] = {
        {"assets/vekintro/lvek.png", 0, 0, true},
        {"assets/LensDirt_Texture2.jpg", 0, 0, false},
        {"assets/perlinnoise.png", 0, 0, false},
        {"assets/raymarchedscene/back.png", 0, 0, false},
        {"assets/raymarchedscene/front.png", 0, 0, true},
        // The cube texture cuts a cross of 1024-pixel faces.
        {"assets/raymarchedscene/cubemap.jpg", 4096, 3072, false},
        {"assets/amiga_logo.png", 0, 0, false},
        {"assets/runner.png", 0, 0, true},
        {"assets/scroller.png", 0, 0, true},
        {"assets/velmoralogo.png", 0, 0, true},
    };
    for (const auto& c : cases) {
        const Picture picture = decode(c.path);
        ASSERT_TRUE(picture.valid()) << c.path << ": " << stbi_failure_reason();
        if (c.width) {
            EXPECT_EQ(picture.width, c.width) << c.path;
            EXPECT_EQ(picture.height, c.height) << c.path;
        }
        EXPECT_EQ(picture.channels == 2 || picture.channels == 4, c.alpha) << c.path;
    }
}

// Samplers that clamp repeat an image's edge texels across the rest of the
// screen: the preloader's rectangle repeats all four edges of its logo and
// frames; the retro scene reads the runner's column 0 everywhere outside its
// window and repeats its top and bottom rows, and shows the first row of
// each scroller line above and below the text band. All must be clear.
TEST(ContentTest, TexelsRepeatedAcrossTheScreenAreClear) {
    enum Edges { Border, RunnerColumnAndRows, LineTops };
    std::vector<std::pair<std::string, Edges>> cases = {
        {"assets/vekintro/lvek.png", Border},
        {"assets/runner.png", RunnerColumnAndRows},
        {"assets/scroller.png", LineTops},
    };
    for (int frame = 0; frame < 8; ++frame)
        cases.push_back({"assets/vekintro/ripple_" + std::to_string(frame) + ".png", Border});
    for (const auto& [path, edges] : cases) {
        const Picture p = decode(path);
        ASSERT_TRUE(p.valid()) << path;
        std::vector<std::pair<int, int>> texels;
        const auto row = [&](int y) {
            for (int x = 0; x < p.width; ++x)
                texels.push_back({x, y});
        };
        const auto column = [&](int x) {
            for (int y = 0; y < p.height; ++y)
                texels.push_back({x, y});
        };
        if (edges == Border) {
            row(0), row(p.height - 1), column(0), column(p.width - 1);
        } else if (edges == RunnerColumnAndRows) {
            column(0), row(0), row(p.height - 1);
        } else {
            ASSERT_EQ(p.height % 32, 0) << path;
            for (int line = 0; line < 32; ++line)
                row(line * p.height / 32);
        }
        int opaque = 0;
        for (const auto& [x, y] : texels)
            opaque += p.alpha(x, y) > 0;
        EXPECT_EQ(opaque, 0) << path;
    }
}

// Mean absolute step, over all channels, between column a and column b
// (or rows, when across is false).
double meanStep(const Picture& p, int a, int b, bool across) {
    double sum = 0;
    const int count = across ? p.height : p.width;
    for (int i = 0; i < count; ++i)
        for (int k = 0; k < 4; ++k)
            sum += std::abs(int((across ? p.at(a, i) : p.at(i, a))[k]) -
                            int((across ? p.at(b, i) : p.at(i, b))[k]));
    return sum / (4.0 * count);
}

// Maps meant to repeat show no seam: the step from the last column to the
// first, and from the last row to the first, is no bigger than the largest
// step between neighbours inside the map (the panels have sharp grooves
// inside as at their edges).
TEST(ContentTest, TileableMapsHaveNoSeam) {
    std::vector<std::string> maps = {"assets/perlinnoise.png"};
    for (const char* material : {"stone", "metal", "panels", "ground", "water"})
        for (const char* map : {"_albedo", "_normal", "_specular"})
            maps.push_back(std::string("assets/textures/") + material + map + ".png");
    for (const std::string& path : maps) {
        const Picture p = decode(path);
        ASSERT_TRUE(p.valid()) << path;
        for (const bool across : {true, false}) {
            const int size = across ? p.width : p.height;
            double inside = 0;
            for (int i = 0; i + 1 < size; ++i)
                inside = std::max(inside, meanStep(p, i, i + 1, across));
            EXPECT_LE(meanStep(p, size - 1, 0, across), inside + 1.0)
                << path << (across ? ": left and right" : ": top and bottom");
        }
    }
}

// The retro scene shows the runner sheet through a window 16 of its 256
// screen cells wide, from the first cell whose left edge reaches x = 0.44 to
// the last one starting at or below 0.5, at u = fract(1.6 x + 1.6 k) for
// the k-th tenth of a second. Each of the five windows the cycle visits
// holds a figure, and nothing of the sheet shows anywhere else.
TEST(ContentTest, RunnerFramesSitWhereTheRetroSceneReadsThem) {
    const Picture sheet = decode("assets/runner.png");
    ASSERT_TRUE(sheet.valid());
    const double first = std::ceil(0.44 * 256) / 256, width = 1.6 * 16 / 256;
    std::vector<bool> shown(sheet.width, false);
    for (int k = 0; k < 5; ++k) {
        const double start = 1.6 * first + 1.6 * k - std::floor(1.6 * first + 1.6 * k);
        int figure = 0;
        for (int x = 0; x < sheet.width; ++x) {
            double u = (x + 0.5) / sheet.width;
            if (u < start)
                u += 1.0;  // a window that runs past the right edge wraps
            if (u >= start + width)
                continue;
            shown[x] = true;
            for (int y = 0; y < sheet.height; ++y)
                figure += sheet.alpha(x, y) >= 128;
        }
        EXPECT_GT(figure, 60) << "frame " << k << " at u = " << start;
    }
    for (int x = 0; x < sheet.width; ++x)
        for (int y = 0; y < sheet.height && !shown[x]; ++y)
            ASSERT_EQ(sheet.alpha(x, y), 0) << "texel " << x << ", " << y << " is never shown";
}

TEST(ContentTest, EveryScrollerLineHoldsText) {
    const Picture sheet = decode("assets/scroller.png");
    ASSERT_TRUE(sheet.valid());
    const int rows = sheet.height / 32;
    for (int line = 0; line < 32; ++line) {
        int ink = 0;
        for (int y = line * rows; y < (line + 1) * rows; ++y)
            for (int x = 0; x < sheet.width; ++x)
                ink += sheet.alpha(x, y) > 0;
        EXPECT_GT(ink, 200) << "line " << line;
    }
}

// The overlay effect reads its image without flipping, so the file's last
// row shows at the top of the screen. Shown that way, the logo's tall
// letters must stand above its thin rule and line of text: in the file the
// tallest band of inked rows comes last.
TEST(ContentTest, OverlayLogoIsStoredUpsideDown) {
    const Picture logo = decode("assets/velmoralogo.png");
    ASSERT_TRUE(logo.valid());
    std::vector<std::pair<int, int>> bands;  // first row, height
    for (int y = 0; y < logo.height; ++y) {
        bool inked = false;
        for (int x = 0; x < logo.width && !inked; ++x)
            inked = logo.alpha(x, y) > 200;
        if (!inked)
            continue;
        if (!bands.empty() && bands.back().first + bands.back().second == y)
            ++bands.back().second;
        else
            bands.push_back({y, 1});
    }
    ASSERT_GE(bands.size(), 2u);
    const auto tallest = std::max_element(bands.begin(), bands.end(),
                                          [](auto a, auto b) { return a.second < b.second; });
    EXPECT_EQ(tallest, bands.end() - 1);
}

// The GL rules for picking a cube face and its texel for a direction,
// written out here, and the engine's cross: the middle row holds -X, -Z,
// +X, +Z; +Y is above and -Y below -Z.
std::array<int, 2> crossTexel(glm::vec3 d, int face) {
    const glm::vec3 a = glm::abs(d);
    int index;
    float sc, tc, major;
    if (a.x >= a.y && a.x >= a.z) {
        index = d.x > 0 ? 0 : 1, major = a.x, sc = d.x > 0 ? -d.z : d.z, tc = -d.y;
    } else if (a.y >= a.z) {
        index = d.y > 0 ? 2 : 3, major = a.y, sc = d.x, tc = d.y > 0 ? d.z : -d.z;
    } else {
        index = d.z > 0 ? 4 : 5, major = a.z, sc = d.z > 0 ? d.x : -d.x, tc = -d.y;
    }
    const int cells[6][2] = {{2, 1}, {0, 1}, {1, 0}, {1, 2}, {3, 1}, {1, 1}};
    const int s = std::min(face - 1, int((sc / major + 1) / 2 * face));
    const int t = std::min(face - 1, int((tc / major + 1) / 2 * face));
    return {cells[index][0] * face + s, cells[index][1] * face + t};
}

// The metaballs reflect the sky cross and stand in front of the backdrop:
// the sun the backdrop shows must be the brightest part of the cross in
// the direction the ray-marched scene's camera sees it.
TEST(ContentTest, BackdropAndSkyCrossAgreeOnTheSun) {
    const Picture back = decode("assets/raymarchedscene/back.png");
    const Picture sky = decode("assets/raymarchedscene/cubemap.jpg");
    ASSERT_TRUE(back.valid() && sky.valid());
    int sunX = 0, sunY = 0;
    for (int y = 0; y < back.height; ++y)
        for (int x = 0; x < back.width; ++x)
            if (back.luminance(x, y) > back.luminance(sunX, sunY))
                sunX = x, sunY = y;
    // The backdrop is read at (u, 1 - v); the camera looks along
    // normalize((2u - 1) 1.6, 2v - 1, -1.5).
    const float u = (sunX + 0.5f) / back.width, v = 1.0f - (sunY + 0.5f) / back.height;
    const glm::vec3 ray = glm::normalize(glm::vec3((2 * u - 1) * 1.6f, 2 * v - 1, -1.5f));
    float brightest = 0.0f;
    for (int y = 0; y < sky.height; ++y)
        for (int x = 0; x < sky.width; ++x)
            brightest = std::max(brightest, sky.luminance(x, y));
    const std::array<int, 2> texel = crossTexel(ray, sky.width / 4);
    EXPECT_GT(sky.luminance(texel[0], texel[1]), 0.9f * brightest);
    const std::array<int, 2> behind = crossTexel(-ray, sky.width / 4);
    EXPECT_LT(sky.luminance(behind[0], behind[1]), 0.5f * brightest);
}

// The ray-marched scene's field, 1 - sum of 0.2 / |p / 1.5 - c_k|^2 over six
// moving centres, is positive wherever p / 1.5 lies more than sqrt(1.2) from
// every centre: the metaballs never leave spheres of radius 1.5 sqrt(1.2)
// around the points 1.5 c_k. Wherever a camera ray meets one of those
// spheres, at any time of the demo, the foreground must let them show.
TEST(ContentTest, ForegroundLeavesTheMetaballsInView) {
    const Picture front = decode("assets/raymarchedscene/front.png");
    ASSERT_TRUE(front.valid());
    std::vector<glm::vec3> centres;
    for (float t = 0.0f; t < 150.0f; t += 0.5f) {
        const glm::vec3 c[6] = {
            {std::sin(0.7f * t), -3 + std::cos(t + 0.7f), std::cos(0.2f * t + 1.0f)},
            {std::sin(0.4f * t + 0.5f), -3 + std::cos(0.5f * t + 0.4f), std::cos(0.57f * t + 1.4f)},
            {std::sin(0.82f * t + 0.3f), -3 + std::cos(0.82f * t + 0.3f),
             std::sin(0.1f * t + 1.8f)},
            {std::cos(0.7f * t), -3 + std::sin(0.7f * t + 0.7f), std::cos(0.2f * t + 1.0f)},
            {std::cos(0.4f * t + 0.5f), -3 + std::sin(0.5f * t + 0.4f), std::cos(0.57f * t + 1.4f)},
            {std::cos(0.82f * t + 0.3f), -3 + std::sin(0.82f * t + 0.3f),
             std::cos(0.1f * t + 1.8f)}};
        for (const glm::vec3& centre : c)
            centres.push_back(centre * 1.5f);
    }
    const float reach = 1.5f * std::sqrt(1.2f);
    const glm::vec3 eye(0.0f, -5.0f, 10.0f);
    int covered = 0, checked = 0;
    for (int y = 0; y < front.height; y += 6)
        for (int x = 0; x < front.width; x += 6) {
            // The foreground is read at (u, 1 - v).
            const float u = (x + 0.5f) / front.width, v = 1.0f - (y + 0.5f) / front.height;
            const glm::vec3 ray = glm::normalize(glm::vec3((2 * u - 1) * 1.6f, 2 * v - 1, -1.5f));
            const bool reached = std::any_of(centres.begin(), centres.end(), [&](glm::vec3 c) {
                const float along = glm::dot(c - eye, ray);
                return along > 0 && glm::length(c - eye - along * ray) < reach;
            });
            if (!reached)
                continue;
            ++checked;
            covered += front.alpha(x, y) > 32;
        }
    EXPECT_GT(checked, 100);
    EXPECT_EQ(covered, 0) << "of " << checked << " pixels where a metaball may show";
}

// The engine reads each video script with all frames of the size its size
// line gives, and says nothing but its completion line.
TEST(ContentTest, VideoScriptsLoadEveryFrame) {
    const struct {
        const char* script;
        unsigned int frames;
        const char* sameSizeAs;  // or null
    } cases[] = {
        {"assets/vekintro/preload.tarn", 8, "assets/vekintro/lvek.png"},
        {"assets/video/screen.tarn", 16, nullptr},
    };
    const InStaging inStaging;
    for (const auto& c : cases) {
        testing::internal::CaptureStdout();
        const Tarn::VideoTexture::Frames video = Tarn::VideoTexture::readScript(c.script);
        const std::string output = testing::internal::GetCapturedStdout();
        EXPECT_EQ(video.playback.numImages, c.frames) << c.script;
        EXPECT_EQ(std::count(output.begin(), output.end(), '\n'), 1) << output;
        EXPECT_NE(output.find("[VideoTexture] Done loading"), std::string::npos) << output;
        if (c.sameSizeAs) {
            const Picture other = decode(c.sameSizeAs);
            EXPECT_EQ(video.width, other.width) << c.script;
            EXPECT_EQ(video.height, other.height) << c.script;
        }
    }
}

// Keywords the engine's loaders know; anything else would be ignored
// without a word, so a misspelt line would silently do nothing.
const std::vector<std::string> LibraryKeywords = {"material", "mesh", "imagetexture",
                                                  "cubetexture"};
const std::vector<std::string> MaterialKeywords = {
    "diffuse",          "diffuse_map",        "diffuse_video",    "normal_map",
    "specular",         "specular_map",       "self_illum",       "reflection_type",
    "reflection_value", "reflection_fresnel", "refraction_value", "reflection_map",
    "proxy_map",        "proxy_video"};

// Every non-comment line of a script starts with one of the keywords.
void expectOnlyKeywords(const fs::path& file, const std::vector<std::string>& keywords) {
    std::istringstream lines(readFile(file));
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number) {
        std::istringstream words(line);
        std::string first;
        if (!(words >> first) || first[0] == '#')
            continue;
        EXPECT_NE(std::find(keywords.begin(), keywords.end(), first), keywords.end())
            << file.string() << ":" << number << ": " << line;
    }
}

// The library names every material, mesh and texture the build stages,
// each name once, and each script and file it or a material names exists.
TEST(ContentTest, LibraryNamesEveryAssetAndOnlyFilesThatExist) {
    const fs::path library = Scripts / "assets/library.tarn";
    expectOnlyKeywords(library, LibraryKeywords);
    std::set<std::string> names, named;
    parseScript(library, LibraryKeywords, [&](const std::string& keyword, auto args) {
        ASSERT_EQ(args.size(), 2u) << keyword;
        EXPECT_TRUE(names.insert(keyword + " " + args[0]).second) << args[0] << " twice";
        EXPECT_TRUE(fs::is_regular_file(Staging / args[1])) << args[1];
        named.insert(args[1]);
        if (keyword != "material")
            return;
        const fs::path material = Staging / args[1];
        expectOnlyKeywords(material, MaterialKeywords);
        parseScript(material, MaterialKeywords, [&](const std::string& key, auto values) {
            const bool path =
                key.find("_map") != std::string::npos || key.find("_video") != std::string::npos;
            if (path) {
                ASSERT_FALSE(values.empty()) << args[1] << ": " << key;
                EXPECT_TRUE(fs::is_regular_file(Staging / values[0]))
                    << args[1] << ": " << values[0];
                named.insert(values[0]);
            }
        });
    });
    // Images the demo script's effect lines name (a cube map to reflect).
    std::ifstream demo(Staging / "assets/demo.tarn");
    for (std::string line; std::getline(demo, line);)
        if (const std::size_t at = line.find(" image "); at != std::string::npos)
            named.insert(line.substr(at + 7));
    for (const std::string& file : filesBelow(Staging)) {
        const bool asset = file.rfind("assets/meshes/", 0) == 0 ||
                           file.rfind("assets/textures/", 0) == 0 ||
                           file.rfind("assets/materials/", 0) == 0;
        if (asset) {
            EXPECT_TRUE(named.count(file)) << file << " is not named by the library";
        }
    }
}

struct Obj {
    std::vector<glm::vec3> positions, normals;
    std::vector<glm::vec2> uvs;
    // Per corner: position, uv and normal index, from 0.
    std::vector<std::array<int, 3>> corners;
};

Obj readObj(const fs::path& file) {
    Obj obj;
    std::istringstream lines(readFile(file));
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string key;
        words >> key;
        glm::vec3 v(0.0f);
        if (key == "v" && words >> v.x >> v.y >> v.z)
            obj.positions.push_back(v);
        else if (key == "vn" && words >> v.x >> v.y >> v.z)
            obj.normals.push_back(v);
        else if (key == "vt" && words >> v.x >> v.y)
            obj.uvs.push_back({v.x, v.y});
        else if (key == "f")
            for (std::string corner; words >> corner;) {
                std::array<int, 3> index{-1, -1, -1};
                std::sscanf(corner.c_str(), "%d/%d/%d", &index[0], &index[1], &index[2]);
                obj.corners.push_back({index[0] - 1, index[1] - 1, index[2] - 1});
            }
    }
    return obj;
}

// Triangles wind counter-clockwise around the normals (the engine culls
// back faces), and the texture frame is right-handed, cross(N, dP/du)
// along dP/dv, as the renderer's normal mapping assumes; the screen's v
// runs downwards on purpose, so that pictures stand upright.
TEST(ContentTest, MeshesFaceOutwardsWithTheirTextureFrames) {
    const struct {
        const char* mesh;
        bool mirrored;
    } cases[] = {{"sphere", false},        {"torusknot", false}, {"monolith", false},
                 {"monolith_wide", false}, {"pillar", false},    {"cityblock", false},
                 {"terrain", false},       {"plane", false},     {"pedestal", false},
                 {"screen", true}};
    for (const auto& c : cases) {
        const Obj obj = readObj(Staging / "assets/meshes" / (std::string(c.mesh) + ".obj"));
        ASSERT_FALSE(obj.corners.empty()) << c.mesh;
        ASSERT_EQ(obj.corners.size() % 3, 0u) << c.mesh;
        int inward = 0, wrongHand = 0, triangles = 0;
        for (std::size_t i = 0; i < obj.corners.size(); i += 3) {
            glm::vec3 p[3], n(0.0f);
            glm::vec2 t[3];
            for (int k = 0; k < 3; ++k) {
                const auto& corner = obj.corners[i + k];
                ASSERT_TRUE(corner[0] >= 0 && corner[0] < int(obj.positions.size()) &&
                            corner[1] >= 0 && corner[1] < int(obj.uvs.size()) && corner[2] >= 0 &&
                            corner[2] < int(obj.normals.size()))
                    << c.mesh << ": face " << i / 3 << " lacks a position, uv or normal";
                p[k] = obj.positions[corner[0]], t[k] = obj.uvs[corner[1]];
                n += obj.normals[corner[2]];
            }
            const glm::vec3 e1 = p[1] - p[0], e2 = p[2] - p[0];
            const glm::vec3 face = glm::cross(e1, e2);
            const float du1 = t[1].x - t[0].x, dv1 = t[1].y - t[0].y;
            const float du2 = t[2].x - t[0].x, dv2 = t[2].y - t[0].y;
            const float r = du1 * dv2 - du2 * dv1;
            if (glm::length(face) < 1e-8f || std::abs(r) < 1e-10f)
                continue;
            ++triangles;
            inward += glm::dot(face, n) <= 0.0f;
            const glm::vec3 dPdu = (e1 * dv2 - e2 * dv1) / r, dPdv = (e2 * du1 - e1 * du2) / r;
            wrongHand += (glm::dot(glm::cross(face, dPdu), dPdv) > 0.0f) == c.mirrored;
        }
        EXPECT_GT(triangles, 0) << c.mesh;
        EXPECT_EQ(inward, 0) << c.mesh;
        EXPECT_EQ(wrongHand, 0) << c.mesh;
    }
}

// A second run of the generator writes the same files, byte for byte, as
// the run the build staged; the rest of the staging folder is the scripts
// from content/, none of which stands in for a generated file. Asked for
// far more jobs than there are, it starts one thread per job and no more,
// and leaves no temporary file behind.
TEST(ContentTest, GeneratorWritesTheSameBytesEveryRun) {
    const Tarn::Test::ScratchFolder scratch;
    const Tarn::Test::ProgramResult run =
        Tarn::Test::runProgram(TARN_CONTENT_PATH, "--jobs 1024 out", scratch.path());
    ASSERT_EQ(run.status, 0) << run.output;
    int jobs = 0, threads = 0;
    ASSERT_EQ(
        std::sscanf(run.output.c_str(), "tarn-content: %d jobs on %d threads", &jobs, &threads), 2)
        << run.output;
    EXPECT_GT(jobs, 1);
    EXPECT_EQ(threads, jobs);
    EXPECT_NE(run.output.find("tarn-content: wrote "), std::string::npos) << run.output;
    const std::set<std::string> generated = filesBelow(scratch.path() / "out");
    const std::set<std::string> scripts = filesBelow(Scripts / "assets");
    std::set<std::string> staged = filesBelow(Staging);
    for (const std::string& script : scripts) {
        EXPECT_EQ(generated.count("assets/" + script), 0u) << script << " is also generated";
        staged.erase("assets/" + script);
    }
    EXPECT_EQ(generated, staged);
    for (const std::string& file : generated)
        EXPECT_TRUE(readFile(scratch.path() / "out" / file) == readFile(Staging / file)) << file;
}

// Bad usage is refused on standard error before anything is made: not even
// OUTDIR appears. --jobs takes a whole number from 1 to 1024, in digits
// alone.
TEST(ContentTest, CommandLine) {
    const std::string jobs = "tarn-content: --jobs needs a whole number from 1 to 1024";
    const struct {
        const char* arguments;
        int status;
        std::string said;  // the first line, on standard output for status 0
    } cases[] = {
        {"--help", 0, "usage: tarn-content [--jobs N] OUTDIR"},
        {"", 2, "tarn-content: OUTDIR is missing"},
        {"out b", 2, "tarn-content: only one OUTDIR, not also b"},
        {"--fast out", 2, "tarn-content: unknown option --fast"},
        {"out --jobs", 2, jobs},
        {"--jobs '' out", 2, jobs + ", not "},
        {"--jobs 0 out", 2, jobs + ", not 0"},
        {"--jobs -1 out", 2, jobs + ", not -1"},
        {"--jobs 2.5 out", 2, jobs + ", not 2.5"},
        {"--jobs 1e3 out", 2, jobs + ", not 1e3"},
        {"--jobs +4 out", 2, jobs + ", not +4"},
        {"--jobs ' 4' out", 2, jobs + ", not  4"},
        {"--jobs 4x out", 2, jobs + ", not 4x"},
        {"--jobs x out", 2, jobs + ", not x"},
        {"--jobs 1025 out", 2, jobs + ", not 1025"},
        {"--jobs 100000 out", 2, jobs + ", not 100000"},
        {"--jobs 18446744073709551617 out", 2, jobs + ", not 18446744073709551617"},
    };
    const Tarn::Test::ScratchFolder scratch;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments);
        const Tarn::Test::ProgramRun run =
            Tarn::Test::runProgram(std::string("'") + TARN_CONTENT_PATH + "' " + c.arguments);
        EXPECT_EQ(run.status, c.status) << run.out << run.err;
        const std::string& said = c.status == 0 ? run.out : run.err;
        EXPECT_EQ(said.substr(0, said.find('\n')), c.said) << said;
        EXPECT_FALSE(fs::exists("out"));
    }
}

// An OUTDIR that cannot take files stops the run before any generator
// starts, with the reason on standard error; these hold even for root.
TEST(ContentTest, UnwritableOutputStopsBeforeGenerating) {
    const struct {
        const char* outdir;
        const char* said;
    } cases[] = {
        {"file/out", "tarn-content: file/out: cannot create the folder: "},
        {"/proc", "tarn-content: /proc: cannot write there ("},
    };
    const Tarn::Test::ScratchFolder scratch;
    std::ofstream("file") << "a file, not a folder";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.outdir);
        const Tarn::Test::ProgramRun run =
            Tarn::Test::runProgram(std::string("'") + TARN_CONTENT_PATH + "' " + c.outdir);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.err.rfind(c.said, 0), 0u) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        EXPECT_EQ(run.out.find(" jobs on "), std::string::npos) << run.out;
    }
}

}  // namespace
