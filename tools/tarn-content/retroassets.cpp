// The retro scene samples its three images with nearest filtering and
// repeat wrapping, from a screen first cut into 256 x 256 cells, y down:
// - the logo fills the top band: its 92 x 43 texels land on about one cell
//   each, and its clamped edge columns and rows repeat across the rest of the
//   band, so every row of the background is a single colour;
// - the runner shows through a window 16 cells wide in the middle of the
//   screen; every 0.1 s the window moves 0.6 of the sheet to the right, so
//   the sheet's five frames are 16-texel cells at texel 113, 49, 145, 81 and
//   17 of 160, in the order they play, and column 0, read everywhere outside
//   the window, is transparent, as are the top and bottom rows, which repeat
//   above and below it;
// - the scroller reads the sheet as 32 lines of 32 rows, one after another,
//   each line two screen widths long; above and below the text band it
//   repeats the first row of a line, which stays transparent.

#include <array>
#include <cmath>
#include <vector>

#include <glm/geometric.hpp>

#include "draw.h"
#include "generators.h"
#include "logo.h"
#include "text.h"

namespace Content {

namespace {

// Four bits a channel, like the colour registers of the old machines.
glm::vec3 twelveBit(glm::vec3 c) {
    return glm::round(glm::clamp(c, 0.0f, 1.0f) * 15.0f) / 15.0f;
}

// A colour from stops spread evenly over 0..1.
glm::vec3 gradient(const std::vector<glm::vec3>& stops, float t) {
    const float x = std::clamp(t, 0.0f, 1.0f) * (stops.size() - 1);
    const std::size_t i = std::min(static_cast<std::size_t>(x), stops.size() - 2);
    return mix(stops[i], stops[i + 1], x - i);
}

// The same pixels, plus one of `colour` on every transparent pixel next to an
// opaque one: an outline.
Image outlined(const Image& image, const glm::vec3& colour) {
    Image result = image;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            if (image.at(x, y).a > 0.0f)
                continue;
            bool near = false;
            for (int dy = -1; dy <= 1 && !near; ++dy)
                for (int dx = -1; dx <= 1 && !near; ++dx) {
                    const int nx = x + dx, ny = y + dy;
                    near = nx >= 0 && ny >= 0 && nx < image.width && ny < image.height &&
                           image.at(nx, ny).a > 0.0f;
                }
            if (near)
                result.at(x, y) = Color(colour, 1.0f);
        }
    return result;
}

Image amigaLogo() {
    constexpr int Width = 92, Height = 43;
    constexpr int CellWidth = 3, CellHeight = 5;  // about square on screen
    constexpr int Left = (Width - PixelWordmarkColumns * CellWidth) / 2;
    constexpr int Top = 4;
    // Background: a dark copper gradient between two bright bars; each row
    // one colour, as the row's ends repeat across the band.
    Image image(Width, Height);
    for (int y = 0; y < Height; ++y) {
        glm::vec3 row = mix(glm::vec3(0.10f, 0.03f, 0.26f), glm::vec3(0.24f, 0.04f, 0.36f),
                            y / (Height - 1.0f));
        if (y % 2)
            row *= 0.85f;
        if (y == 1 || y == 2)
            row = y == 1 ? glm::vec3(0.5f, 1.0f, 1.0f) : glm::vec3(0.2f, 0.7f, 0.9f);
        if (y == Height - 3 || y == Height - 2)
            row = y == Height - 3 ? glm::vec3(1.0f, 0.4f, 0.8f) : glm::vec3(0.7f, 0.15f, 0.6f);
        if (y == 0 || y == Height - 1)
            row = glm::vec3(0.05f, 0.02f, 0.12f);
        for (int x = 0; x < Width; ++x)
            image.at(x, y) = Color(twelveBit(row), 1.0f);
    }
    const std::vector<glm::vec3> copper = {{1.0f, 1.0f, 0.75f}, {1.0f, 0.85f, 0.2f},
                                           {1.0f, 0.5f, 0.1f},  {0.95f, 0.2f, 0.25f},
                                           {0.8f, 0.1f, 0.6f},  {0.5f, 0.2f, 0.9f}};
    const auto ink = [&](int x, int y) {
        return pixelWordmark((x - Left) / CellWidth, (y - Top) / CellHeight) && x >= Left &&
               y >= Top;
    };
    // The shadow first, two texels down and to the right, then the letters.
    for (int y = 0; y < Height; ++y)
        for (int x = 0; x < Width; ++x)
            if (ink(x - 2, y - 2) && !ink(x, y))
                image.at(x, y) = Color(0.0f, 0.0f, 0.0f, 1.0f);
    for (int y = 0; y < Height; ++y)
        for (int x = 0; x < Width; ++x)
            if (ink(x, y)) {
                const float t = (y - Top) / (PixelWordmarkRows * CellHeight - 1.0f);
                image.at(x, y) = Color(twelveBit(gradient(copper, t)), 1.0f);
            }
    return image;
}

// One pose of the runner on a 16 x 27 grid, y down, facing right.
struct Pose {
    glm::vec2 hip, shoulder, head;
    std::array<glm::vec2, 2> knee, foot, elbow, hand;  // far limb first
};

Pose runPose(int frame) {
    const float phase = 2.0f * Pi * frame / 5.0f;
    Pose pose;
    const float bounce = std::abs(std::sin(phase)) * 1.0f;
    pose.hip = {7.5f, 14.5f - bounce};
    pose.shoulder = {8.6f, 8.0f - bounce};
    pose.head = {9.4f, 4.6f - bounce};
    for (int side = 0; side < 2; ++side) {
        const float s = side == 0 ? phase + Pi : phase;
        // Thigh swings forward and back; the knee bends most as the leg
        // comes forward.
        const float thigh = 0.75f * std::sin(s);
        const float bend = 0.2f + 1.3f * std::max(0.0f, std::cos(s));
        pose.knee[side] = pose.hip + 5.2f * glm::vec2(std::sin(thigh), std::cos(thigh));
        const float shin = thigh - bend;
        pose.foot[side] = pose.knee[side] + 5.6f * glm::vec2(std::sin(shin), std::cos(shin));
        // Arms swing against the legs, bent at the elbow.
        const float upper = -0.8f * std::sin(s);
        pose.elbow[side] = pose.shoulder + 3.8f * glm::vec2(std::sin(upper), std::cos(upper));
        const float fore = upper + 1.4f;
        pose.hand[side] = pose.elbow[side] + 3.4f * glm::vec2(std::sin(fore), std::cos(fore));
    }
    // The lower foot rests on the ground line, row 23; its outline is row 24.
    const float lowest = std::max(pose.foot[0].y, pose.foot[1].y);
    const float drop = 23.5f - lowest;
    for (glm::vec2* p :
         {&pose.hip, &pose.shoulder, &pose.head, &pose.knee[0], &pose.knee[1], &pose.foot[0],
          &pose.foot[1], &pose.elbow[0], &pose.elbow[1], &pose.hand[0], &pose.hand[1]})
        p->y += drop;
    return pose;
}

Image runnerFrame(int frame) {
    const Pose pose = runPose(frame);
    Image cell(16, 27);
    const auto paint = [&](const auto& inside, const glm::vec3& colour) {
        // Columns 1 to 13 and rows 2 to 23, so that with its outline the
        // figure keeps off the cell's last column (which for one frame is the
        // sheet's column 0) and off the sheet's top and bottom rows.
        for (int y = 2; y < 24; ++y)
            for (int x = 1; x < 14; ++x)
                if (inside(glm::vec2(x + 0.5f, y + 0.5f)))
                    cell.at(x, y) = Color(twelveBit(colour), 1.0f);
    };
    const auto limb = [](glm::vec2 a, glm::vec2 b, float width) {
        return [=](glm::vec2 p) { return sdSegment(p, a, b, width) < 0.0f; };
    };
    const glm::vec3 skin(1.0f, 0.75f, 0.55f), shirt(1.0f, 0.2f, 0.35f), trousers(0.2f, 0.4f, 1.0f),
        shoes(1.0f, 1.0f, 1.0f), hair(1.0f, 0.85f, 0.1f);
    for (int side = 0; side < 2; ++side) {
        const float shade = side == 0 ? 0.6f : 1.0f;  // the far limbs in shadow
        if (side == 1) {
            paint(limb(pose.hip, pose.shoulder, 4.2f), shirt);
            paint([&](glm::vec2 p) { return glm::distance(p, pose.head) < 2.6f; }, skin);
            paint(
                [&](glm::vec2 p) {
                    return glm::distance(p, pose.head) < 2.7f && p.y < pose.head.y - 0.4f;
                },
                hair);
        }
        paint(limb(pose.hip, pose.knee[side], 2.6f), trousers * shade);
        paint(limb(pose.knee[side], pose.foot[side], 2.2f), trousers * shade);
        // The shoe points forward, across the shin.
        const glm::vec2 shin = glm::normalize(pose.foot[side] - pose.knee[side]);
        paint(limb(pose.foot[side], pose.foot[side] + 2.2f * glm::vec2(shin.y, -shin.x), 2.0f),
              shoes * shade);
        paint(limb(pose.shoulder, pose.elbow[side], 2.0f), shirt * shade);
        paint(limb(pose.elbow[side], pose.hand[side], 1.8f), skin * shade);
    }
    return outlined(cell, glm::vec3(0.0f));
}

Image runnerSheet() {
    // Where each frame of the cycle is read, in the order they play.
    const int cellStart[5] = {113, 49, 145, 81, 17};
    Image sheet(160, 27);
    for (int frame = 0; frame < 5; ++frame) {
        const Image cell = runnerFrame(frame);
        for (int y = 0; y < 27; ++y)
            for (int x = 0; x < 16; ++x)
                sheet.at((cellStart[frame] + x) % 160, y) = cell.at(x, y);
    }
    return sheet;
}

// The 32 lines, in the order they scroll past. The retro break lasts about
// eight of them; the first lines say what matters.
const char* const ScrollerLines[32] = {
    "T A R N   -   a mountain lake, from dusk into the night",
    "Welcome to TARN: a real-time demo in one program and one archive, drawn with OpenGL 3.3",
    "Every pixel and every note of it was generated by our own code: no photos, no samples",
    "Images, meshes, video frames and music all come out of one small generator, in seconds",
    "Credits: code, graphics, music and direction by the Tarn team",
    "Greetings to every demo maker on this planet: coders, graphicians and musicians alike",
    "Greetings to every tracker and every chiptune, and to the people who still write them",
    "Greetings to every party, big or small, and to everyone who stayed up all night for a prod",
    "Keep watching: the plasma colours arrive in a moment",
    "This whole screen is one fragment shader in the post-processing chain",
    "Starfield, copper bars, scroller and runner are computed for every pixel, every frame",
    "Behind the retro break: a deferred renderer, five kinds of light and eleven post effects",
    "Depth of field, glow, fog, lens flares, ambient occlusion, motion blur and FXAA",
    "Every scene, camera move and flash is a line of text in the demo script, on the beat",
    "The tempo is 128.42 beats per minute, so this break starts exactly on bar 36",
    "The music is synthesised note by note: drums, bass, pads and a lead",
    "The chip sounds you hear now are square waves and a drum machine of our own",
    "The sky at dusk is one function of direction: backdrop and reflections agree",
    "The logo up there has twelve-bit colours, four bits a channel, like the old machines",
    "The runner is five frames of pixel art, posed from a little skeleton",
    "This text was rendered from a free font into 32 lines of one texture",
    "Hello to everyone reading the source: it is all there, take what you like",
    "Greetings to everyone who keeps old productions alive in archives and on screens",
    "Greetings to everyone who makes tools for demo makers: trackers, packers, editors",
    "Greetings to everyone who ever wrote a scroller, and to everyone who read one to the end",
    "A tarn is a small lake in a hollow that a glacier left behind",
    "Make something small and beautiful, and bring it to a party near you",
    "Thanks for watching TARN, from the Tarn team",
    "Now back to the lake: night is falling over the water",
    "Stay to the end: the last chord rings out with the picture",
    "...and the scroller wraps around",
    "*   *   *",
};

constexpr int ScrollerWidth = 2048;
constexpr int LineHeight = 32;
constexpr float TextSize = 26.0f;

Image scroller(const Font& font) {
    const std::vector<glm::vec3> warm = {
        {1.0f, 1.0f, 0.6f}, {1.0f, 0.8f, 0.1f}, {1.0f, 0.45f, 0.1f}, {0.9f, 0.15f, 0.3f}};
    const std::vector<glm::vec3> cool = {
        {1.0f, 1.0f, 1.0f}, {0.4f, 1.0f, 1.0f}, {0.2f, 0.55f, 1.0f}, {0.6f, 0.2f, 1.0f}};
    Image sheet(ScrollerWidth, LineHeight * 32);
    for (int line = 0; line < 32; ++line) {
        const TextMask mask = font.render(ScrollerLines[line], TextSize);
        // Rows 0 and 1 stay clear: the first row of a line shows above and
        // below the text band.
        Image cell(ScrollerWidth, LineHeight);
        const int left = (ScrollerWidth - mask.width) / 2, top = 3;
        const std::vector<glm::vec3>& palette = line % 2 ? cool : warm;
        for (int y = 0; y < mask.height && top + y < LineHeight - 1; ++y)
            for (int x = 0; x < mask.width; ++x)
                if (mask.at(x, y) >= 0.5f) {
                    const float t = static_cast<float>(y) / mask.baseline;
                    cell.at(left + x, top + y) = Color(twelveBit(gradient(palette, t)), 1.0f);
                }
        cell = outlined(cell, glm::vec3(0.0f));
        for (int y = 2; y < LineHeight - 1; ++y)
            std::copy_n(&cell.at(0, y), ScrollerWidth, &sheet.at(0, line * LineHeight + y));
    }
    return sheet;
}

}  // namespace

bool writeRetroImages(Output& out) {
    const Font font("DejaVuSans-Bold.ttf");
    if (!font.valid())
        return out.fail(font.error());
    for (const char* line : ScrollerLines)
        if (font.width(line, TextSize) > ScrollerWidth - 32)
            return out.fail(std::string("scroller line \"") + line + "\" is wider than the sheet");
    return writePng(out, "assets/amiga_logo.png", amigaLogo(), 3) &&
           writePng(out, "assets/runner.png", runnerSheet(), 4) &&
           writePng(out, "assets/scroller.png", scroller(font), 4);
}

}  // namespace Content
