#include "newdemo.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include <stb_image_write.h>

namespace {

namespace fs = std::filesystem;

const char* const kDemoScript =
    R"(# The running order: the window title, the music, the scene, the clip that
# puts it on the timeline, then the full-screen effects with their keys.
# Every keyword: "The demo script" in docs/content.md.

# The window's title.
windowtitle My first demo
# The music, started with the first frame: four bars at 120 beats per
# minute, so a beat is 0.5 s and a bar 2 s.
soundtrack assets/music.wav
# A scene: its name and its script.
scene stage assets/scenes/stage.tarn
# A clip: SCENE START OFFSET DURATION CAMERA. The stage from 0 s for 8 s
# (the four bars), seen from its camera "cam".
sceneclip stage 0 0 8 cam

# The effects, run in order on every frame; keys give their parameters
# values over demo time. Names and parameters: "Effects and their
# parameters" in docs/content.md.
begin postfx
  effect Fog
  effect Glow
  # Fog (effect 0) rises from the floor to 2 m over the four bars, blue.
  begin automation rise 0 Y_Fog_Density
    key f linear 0 0.1
    key f linear 8 2
  end
  begin automation tint 0 Fog_Color
    key x hold 0 0.15
    key y hold 0 0.25
    key z hold 0 0.6
    key w hold 0 0.8
  end
  # Glow (effect 1) makes only the brightest parts bleed light ...
  begin automation bright 1 Threshold
    key f hold 0 0.5
  end
  # ... and flares on the first beat of each bar, fading within the beat:
  # a hold key jumps to its value, a linear key blends from the one before.
  begin automation pulse 1 Power
    key f hold 0 2.5
    key f linear 0.5 0.8
    key f hold 2 2.5
    key f linear 2.5 0.8
    key f hold 4 2.5
    key f linear 4.5 0.8
    key f hold 6 2.5
    key f linear 6.5 0.8
  end
  # A shader effect of our own, last in the chain: it darkens the corners,
  # strongly at first, then opens up over the first bar. Its parameter is
  # keyed by the effect's alias. Writing shaders: docs/shaders.md.
  shader assets/fx/vignette.frag as vignette
  begin automation open vignette uStrength
    key f hold 0 1.5
    key f linear 2 0.6
  end
end
)";

const char* const kVignette =
    R"(// A shader effect: this file is a GLSL fragment shader that assets/demo.tarn
// puts in the chain with "shader assets/fx/vignette.frag as vignette".
// Write only your functions and main(): the engine puts before your text
// the declarations of all a shader reads, among them uInput (the picture so
// far), uResolution (its size in pixels), uTime (demo seconds) and the
// music's uBands, and the output fragColor. main() runs once for each pixel,
// at v_uv (0 to 1 across the picture). All of it: docs/shaders.md.
//
// A "// @param MIN..MAX = DEFAULT" comment makes the uniform a parameter of
// the effect, keyed in the demo script by its name, as uStrength is there.
uniform float uStrength; // @param 0..2 = 1

void main() {
    vec4 picture = texture(uInput, v_uv);
    // Distance from the centre, in picture heights, so the shading is round.
    vec2 fromCentre = (v_uv - 0.5) * vec2(uResolution.x / uResolution.y, 1.0);
    float shade = 1.0 - uStrength * smoothstep(0.35, 1.0, length(fromCentre));
    fragColor = vec4(picture.rgb * max(shade, 0.0), picture.a);
}
)";

const char* const kLibrary =
    R"(# The asset library: every material and mesh the scene names, one a line:
# KIND NAME PATH. See "The asset library script" in docs/content.md.

# Materials: how a surface looks. Their scripts are in assets/materials/.
material floor assets/materials/floor.tarn
material cube assets/materials/cube.tarn

# Meshes: OBJ files in metres, y up, with normals and texture coordinates.
mesh floor assets/meshes/floor.obj
mesh cube assets/meshes/cube.obj
)";

const char* const kFloorMaterial = R"(# The floor: a grey checkerboard image, a little glossy.
# Every keyword: "Material scripts" in docs/content.md.
diffuse_map assets/textures/checker.png
specular 0.3 0.2
)";

const char* const kCubeMaterial =
    R"(# The cube: warm orange that gives off some light of its own, which the
# Glow effect catches. Every keyword: "Material scripts" in docs/content.md.
diffuse 1.0 0.45 0.1
specular 0.8 0.5
self_illum 0.2
)";

const char* const kScene =
    R"(# The stage: entities with their components and properties, then the keys
# that move them. Every keyword: "Scene scripts" in docs/content.md.
begin stage
  # The floor and a cube standing on it: the library's meshes and materials.
  begin entity floor
    component material floor
    component mesh floor
  end
  begin entity cube
    component material cube
    component mesh cube
    property position 0 1 0
    property rotation 30 0 1 0
  end

  # Lights: a dim blue fill everywhere, a sun shining down from behind the
  # camera, and a warm point light with an 8 m reach.
  begin entity fill
    component light ambient 0.15 0.17 0.22
  end
  begin entity sun
    component light directional 0.6 0.6 0.55
    property rotation 35 1 0 0
  end
  begin entity lamp
    component light point 1 0.6 0.3 8
    property position -3 2 2
  end

  # The camera: 35 mm lens, the 1024 x 600 window's aspect, near and far
  # planes. Turned 80 degrees about x, it looks ahead and a little down.
  begin entity cam
    component camera 35 1.7067 0.1 100
    property position -2.5 2.5 9
    property rotation 80 1 0 0
  end

  # Keys: VALUE INTERPOLATION TIME V, in scene seconds. The camera glides
  # from left to right and closer over the clip's 8 s ...
  begin automation glide cam position
    key x cosine 0 -2.5
    key x cosine 8 2.5
    key z cosine 0 9
    key z cosine 8 7
  end
  # ... while the lamp swings across the cube and back, a bar each way.
  begin automation swing lamp position
    key x cosine 0 -3
    key x cosine 2 3
    key x cosine 4 -3
    key x cosine 6 3
    key x cosine 8 -3
  end
end
)";

// Faces are wound counter-clockwise seen from outside; OBJ indices count
// from 1 and each corner names its position/texture/normal.
const char* const kCubeMesh = R"(# A cube of 2 m centred on the origin.
v -1 -1 -1
v 1 -1 -1
v 1 1 -1
v -1 1 -1
v -1 -1 1
v 1 -1 1
v 1 1 1
v -1 1 1
vt 0 0
vt 1 0
vt 1 1
vt 0 1
vn 1 0 0
vn -1 0 0
vn 0 1 0
vn 0 -1 0
vn 0 0 1
vn 0 0 -1
f 6/1/1 2/2/1 3/3/1 7/4/1
f 1/1/2 5/2/2 8/3/2 4/4/2
f 8/1/3 7/2/3 3/3/3 4/4/3
f 1/1/4 2/2/4 6/3/4 5/4/4
f 5/1/5 6/2/5 7/3/5 8/4/5
f 2/1/6 1/2/6 4/3/6 3/4/6
)";

const char* const kFloorMesh =
    R"(# A 20 m square at y = 0 facing up; the texture repeats five times across.
v -10 0 10
v 10 0 10
v 10 0 -10
v -10 0 -10
vt 0 0
vt 5 0
vt 5 5
vt 0 5
vn 0 1 0
f 1/1/1 2/2/1 3/3/1 4/4/1
)";

// A 64 x 64 checkerboard of 8 x 8 cells in two greys, as PNG bytes.
std::string checkerImage() {
    constexpr int size = 64;
    std::vector<unsigned char> pixels(size * size * 3);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            for (int c = 0; c < 3; ++c)
                pixels[3 * (y * size + x) + c] = ((x / 8 + y / 8) % 2) ? 150 : 80;
    std::string bytes;
    stbi_write_png_to_func(
        [](void* context, void* data, int length) {
            static_cast<std::string*>(context)->append(static_cast<const char*>(data), length);
        },
        &bytes, size, size, 3, pixels.data(), size * 3);
    return bytes;
}

struct File {
    const char* path;
    const char* what;
    std::string bytes;
};

std::vector<File> demoFiles() {
    return {{"assets/demo.tarn", "the running order: music, scene, clip, effects", kDemoScript},
            {"assets/library.tarn", "the materials and meshes the scene may name", kLibrary},
            {"assets/materials/floor.tarn", "a checkered floor", kFloorMaterial},
            {"assets/materials/cube.tarn", "an orange, slightly glowing cube", kCubeMaterial},
            {"assets/meshes/floor.obj", "a 20 m square", kFloorMesh},
            {"assets/meshes/cube.obj", "a 2 m cube", kCubeMesh},
            {"assets/textures/checker.png", "the floor's checkerboard", checkerImage()},
            {"assets/scenes/stage.tarn", "the cube, three lights and a moving camera", kScene},
            {"assets/music.wav", "four bars of music, 8 s", newDemoMusic()},
            {"assets/fx/vignette.frag", "a shader effect: darker corners", kVignette}};
}

void fail(const std::string& line, std::ostream& out, std::ostream& err) {
    out << "[NewDemo] " << line << std::endl;
    err << "[NewDemo] " << line << std::endl;
}

// The reason the folder cannot take a new demo, or nothing.
std::string refusal(const fs::path& folder) {
    std::error_code error;
    const fs::path parent = folder.has_parent_path() ? folder.parent_path() : fs::path(".");
    if (!fs::is_directory(parent, error))
        return "cannot write a demo in " + folder.string() + ": the folder " + parent.string() +
               " does not exist";
    if (!fs::exists(folder, error))
        return {};
    if (!fs::is_directory(folder, error))
        return folder.string() + " is a file; give a new or empty folder";
    if (!fs::is_empty(folder, error))
        return folder.string() + " is not empty; give a new or empty folder";
    return {};
}

// Empty when written, else why not.
std::string writeFile(const fs::path& path, const std::string& bytes) {
    std::error_code error;
    fs::create_directories(path.parent_path(), error);
    if (error)
        return error.message();
    std::ofstream stream(path, std::ios::binary);
    stream.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    stream.close();
    return stream ? std::string() : std::strerror(errno);
}

}  // namespace

int writeNewDemo(const std::string& name, std::ostream& out, std::ostream& err) {
    fs::path folder(name);
    if (!folder.has_filename())  // "hills/"
        folder = folder.parent_path();
    if (const std::string reason = refusal(folder); !reason.empty()) {
        fail(reason, out, err);
        return 1;
    }
    std::error_code error;
    fs::create_directory(folder, error);
    if (error) {
        fail("cannot make the folder " + folder.string() + ": " + error.message(), out, err);
        return 1;
    }
    std::vector<std::string> written;
    bool failed = false;
    for (const File& file : demoFiles()) {
        const fs::path path = folder / file.path;
        if (const std::string reason = writeFile(path, file.bytes); !reason.empty()) {
            fail("cannot write " + path.string() + ": " + reason, out, err);
            failed = true;
        } else {
            std::string line = "  " + std::string(file.path);
            line.resize(std::max<std::size_t>(line.size() + 2, 33), ' ');
            written.push_back(line + file.what);
        }
    }
    if (failed)
        return 1;
    out << "[NewDemo] wrote a new demo in " << folder.string() << ":\n";
    for (const std::string& line : written)
        out << line << "\n";
    // Quoted where a shell would split or expand the name.
    std::string shown = folder.string();
    if (shown.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789"
                                "._-/+") != std::string::npos) {
        std::string quoted = "'";
        for (char c : shown)
            quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
        shown = quoted + "'";
    }
    out << "Next:\n"
        << "  tarn-demo " << shown << "                     play it\n"
        << "  tarn-demo " << shown << " --check             list any problem\n"
        << "  tarn-demo " << shown << " --render demo.mp4   render it to a video\n"
        << "Every line of the scripts is explained in docs/content.md." << std::endl;
    return 0;
}
