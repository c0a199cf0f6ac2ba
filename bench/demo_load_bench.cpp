// What loading a demo costs beyond the decoding it cannot avoid: a content
// set made here (four 1024x1024 PNG maps, a 2048x1024 JPEG, a sphere of
// 32,768 triangles, materials, two scenes, a minute of music, a demo script
// with Glow) is packed into an archive and loaded by the demo program in a
// hidden window, three times; the median loading time is set against the
// median of the same images decoded by stb_image, the model imported by
// Assimp and the music decoded and analysed, from memory, on one thread
// (target: at most 1.2 times). Also reports the time from the end of
// loading (where the preloader's outro ends) to the first demo frame.
// Then the shipped demo: its loading time alone, and the time from the
// program's start to its first demo frame with the preloader, of which the
// intro and outro take at least 8 s. Loading runs on loader threads, one per
// core, and the GL thread: the ratio depends on the machine's cores, which
// are printed. Needs a display for its hidden window (xvfb-run -a where
// there is none).

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <assimp/cimport.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <stb_image.h>
#include <stb_image_write.h>

#include <tarn/application.h>
#include <tarn/audio/musicanalysis.h>
#include <tarn/file.h>
#include <tarn/soundtrack.h>

#include "demoprogram.h"
#include "extensions.h"
#include "preloader.h"
#include "support/scratch_folder.h"
#include "support/subprocess.h"

namespace {

using Clock = std::chrono::steady_clock;
using Files = std::vector<std::pair<std::string, std::string>>;

double seconds(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Smooth colour waves with a little grain, so the encoders cannot make it
// trivially small and the decoders do real work.
std::string image(int width, int height, int seed, bool jpeg) {
    std::vector<unsigned char> pixels(static_cast<std::size_t>(width) * height * 3);
    unsigned int noise = 12345u + seed;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c) {
                noise = noise * 1664525u + 1013904223u;
                const double wave = std::sin(0.02 * x * (c + 1) + seed) * std::cos(0.017 * y);
                pixels[3 * (static_cast<std::size_t>(y) * width + x) + c] =
                    static_cast<unsigned char>(127 + 100 * wave + (noise >> 28));
            }
    std::string bytes;
    const auto append = [](void* context, void* data, int size) {
        static_cast<std::string*>(context)->append(static_cast<char*>(data), size);
    };
    if (jpeg)
        stbi_write_jpg_to_func(append, &bytes, width, height, 3, pixels.data(), 90);
    else
        stbi_write_png_to_func(append, &bytes, width, height, 3, pixels.data(), width * 3);
    return bytes;
}

std::string sphere(int slices, int stacks) {
    std::string obj;
    char line[128];
    for (int j = 0; j <= stacks; ++j)
        for (int i = 0; i <= slices; ++i) {
            const double u = double(i) / slices, v = double(j) / stacks;
            const double phi = u * 2 * M_PI, theta = v * M_PI;
            const double x = std::sin(theta) * std::cos(phi), y = std::cos(theta),
                         z = std::sin(theta) * std::sin(phi);
            std::snprintf(line, sizeof line, "v %.6f %.6f %.6f\nvn %.6f %.6f %.6f\nvt %.6f %.6f\n",
                          x, y, z, x, y, z, u, v);
            obj += line;
        }
    for (int j = 0; j < stacks; ++j)
        for (int i = 0; i < slices; ++i) {
            const int a = j * (slices + 1) + i + 1, b = a + slices + 1;
            std::snprintf(line, sizeof line,
                          "f %d/%d/%d %d/%d/%d %d/%d/%d\nf %d/%d/%d %d/%d/%d %d/%d/%d\n", a, a, a,
                          a + 1, a + 1, a + 1, b, b, b, a + 1, a + 1, a + 1, b + 1, b + 1, b + 1, b,
                          b, b);
            obj += line;
        }
    return obj;
}

std::string scene(const char* material) {
    return std::string("begin world\n  begin entity ball\n    component material ") + material +
           "\n    component mesh sphere\n  end\n"
           "  begin entity cam\n    component camera 35 1.7 0.1 100\n"
           "    property position 0 0 6\n    property rotation 90 1 0 0\n  end\n"
           "  begin entity sun\n    component light directional 1 0.9 0.8\n"
           "    property rotation 90 1 0 0\n  end\nend\n";
}

// A minute of kicks under a rising tone, at 44.1 kHz.
std::string music() {
    std::vector<float> samples(60 * 44100);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const double t = i / 44100.0, sinceHit = std::fmod(t, 0.47);
        samples[i] =
            static_cast<float>(0.6 * std::exp(-sinceHit * 20) * std::sin(2 * M_PI * 60 * sinceHit) +
                               0.1 * std::sin(2 * M_PI * (200 + 5 * t) * t));
    }
    return Tarn::Test::waveFile(44100, samples);
}

Files content() {
    return {
        {"maps/a_diffuse.png", image(1024, 1024, 1, false)},
        {"maps/a_normal.png", image(1024, 1024, 2, false)},
        {"maps/b_diffuse.png", image(1024, 1024, 3, false)},
        {"maps/b_specular.png", image(1024, 1024, 4, false)},
        {"maps/sky.jpg", image(2048, 1024, 5, true)},
        {"sphere.obj", sphere(128, 128)},
        {"music.wav", music()},
        {"a.mat", "diffuse_map maps/a_diffuse.png\nnormal_map maps/a_normal.png\n"},
        {"b.mat", "diffuse_map maps/b_diffuse.png\nspecular_map maps/b_specular.png\n"},
        {"assets/library.tarn", "material a a.mat\nmaterial b b.mat\nmesh sphere sphere.obj\n"
                                "imagetexture sky maps/sky.jpg\n"},
        {"scenes/a.tarn", scene("a")},
        {"scenes/b.tarn", scene("b")},
        {"assets/demo.tarn",
         "windowtitle load bench\nsoundtrack music.wav\n"
         "scene a scenes/a.tarn\nscene b scenes/b.tarn\n"
         "sceneclip a 0 0 1 cam\nsceneclip b 1 0 1 cam\n"
         "begin postfx\n  effect Glow\nend\n"},
    };
}

// What any loader must do with these bytes: decode each image to RGBA,
// import the model, decode the music and analyse it.
double rawDecodeSeconds(const Files& files) {
    const auto start = Clock::now();
    for (const auto& [path, bytes] : files) {
        const std::string extension = std::filesystem::path(path).extension().string();
        if (extension == ".png" || extension == ".jpg") {
            int w = 0, h = 0, n = 0;
            stbi_uc* pixels = stbi_load_from_memory(reinterpret_cast<const stbi_uc*>(bytes.data()),
                                                    static_cast<int>(bytes.size()), &w, &h, &n, 4);
            stbi_image_free(pixels);
        } else if (extension == ".obj") {
            const aiScene* scene = aiImportFileFromMemory(
                bytes.data(), static_cast<unsigned int>(bytes.size()),
                aiProcess_Triangulate | aiProcess_GenSmoothNormals | aiProcess_CalcTangentSpace,
                "obj");
            aiReleaseImport(scene);
        } else if (extension == ".wav") {
            Tarn::File file(bytes.data(), static_cast<unsigned int>(bytes.size()));
            const std::shared_ptr<const Tarn::Soundtrack::Decoded> audio =
                Tarn::Soundtrack::decode(&file);
            Tarn::Audio::MusicAnalysis analysis;
            analysis.analyse(audio->samples.data(), audio->samples.size() / audio->channels,
                             audio->channels, audio->rate);
        }
    }
    return seconds(start, Clock::now());
}

struct LoadTimes {
    double loading = 0.0;
    double toFirstFrame = 0.0;
};

// With the preloader, programStart is when the window opens (the program's
// start, as far as the demo is concerned) instead of loading's start.
LoadTimes loadOnce(bool preloader = false) {
    Tarn::Application app;
    app.setHidden(true);
    DemoProgram::Settings settings;
    settings.width = 1024;
    settings.height = 600;
    settings.preloader = preloader;
    settings.music = false;
    const Clock::time_point programStart = Clock::now();
    Clock::time_point loadStart, loadEnd, firstFrame;
    app.loading.connect([&](Tarn::Signal<double>&) { loadStart = Clock::now(); });
    DemoProgram program(settings);
    program.attach(app);
    app.loading.connect([&](Tarn::Signal<double>&) { loadEnd = Clock::now(); });
    app.frame.connect([&](double, double) {
        firstFrame = Clock::now();
        app.closed.emit();
    });
    if (app.run() != 0)
        std::exit(1);
    if (preloader)
        return {seconds(programStart, loadEnd), seconds(programStart, firstFrame)};
    return {seconds(loadStart, loadEnd), seconds(loadEnd, firstFrame)};
}

// The shipped demo from its archive, in a folder of its own.
void shippedDemo() {
    Tarn::Test::ScratchFolder folder;
    std::filesystem::copy_file(TARN_DEMO_ARCHIVE, DemoProgram::ArchiveName);
    std::vector<double> loading;
    for (int run = 0; run < 3; ++run) {
        std::cout.setstate(std::ios::failbit);
        loading.push_back(loadOnce().loading);
        std::cout.clear();
    }
    std::cout.setstate(std::ios::failbit);
    const LoadTimes played = loadOnce(true);
    std::cout.clear();
    const double fixed = Preloader::IntroSeconds + Preloader::OutroSeconds;
    std::printf("Shipped demo: loading %.1f ms (median of 3, no preloader)\n",
                1e3 * median(loading));
    std::printf("Shipped demo: program start to first demo frame %.2f s, of which %.1f s are "
                "the intro and outro; %.2f s beyond them\n",
                played.toFirstFrame, fixed, played.toFirstFrame - fixed);
}

void syntheticContent() {
    Tarn::Test::ScratchFolder folder;
    const Files files = content();
    if (!Tarn::Test::packArchive("demo.tarn", files)) {
        std::cout << "[demo_load_bench] cannot write the archive" << std::endl;
        std::exit(1);
    }
    std::vector<double> decode, loading, toFirstFrame;
    for (int run = 0; run < 3; ++run) {
        decode.push_back(rawDecodeSeconds(files));
        std::cout.setstate(std::ios::failbit);  // the loaders' progress lines
        const LoadTimes times = loadOnce();
        std::cout.clear();
        loading.push_back(times.loading);
        toFirstFrame.push_back(times.toFirstFrame);
    }
    std::printf("Raw decode of 5 images, 1 model and 1 minute of music analysed: %.1f ms "
                "(median of 3)\n",
                1e3 * median(decode));
    std::printf("Loading the same content through the demo: %.1f ms = %.2f x raw decode "
                "(target <= 1.20)\n",
                1e3 * median(loading), median(loading) / median(decode));
    std::printf("End of loading to the first demo frame: %.1f ms (median of 3)\n",
                1e3 * median(toFirstFrame));
}

}  // namespace

int main() {
    std::cout.setstate(std::ios::failbit);
    registerExtensions();
    std::cout.clear();
    syntheticContent();
    std::printf("Loader threads: %u (the machine's cores)\n",
                std::max(1u, std::thread::hardware_concurrency()));
    shippedDemo();
    return 0;
}
