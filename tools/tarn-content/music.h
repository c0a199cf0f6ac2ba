#ifndef TARN_CONTENT_MUSIC_H
#define TARN_CONTENT_MUSIC_H

// The demo's music, synthesised whole in memory by renderMusic and written
// as Ogg Vorbis by writeOggVorbis. Both are deterministic: the same samples
// and the same bytes on every run. The content generator owns the result.
//
// A minor, 4/4, 80 bars at 128.42 beats per minute. A bar lasts 67.28 / 36 s
// (1.86889 s), so that bar 36 starts exactly at 67.28 s, where the retro
// scene's clock is zero. Bar b starts at barTime(b); the track ends in
// silence at barTime(80) = 149.51 s, with the picture.
//
// bars   seconds        section    what plays
// 0-8    0-14.95        Dusk       saw pads fading in, a low A drone, FM bells from
//                                  bar 2; a soft kick from bar 4
// 8-20   14.95-37.38    Pillars    full kit (kick on every beat, snare, hats, a
//                                  crash every 4 bars), off-beat saw bass, pads;
//                                  the kick ducks the bass and pads
// 20-28  37.38-52.33    Metaballs  crash on bar 20; a resonant 16th-note arpeggio,
//                                  an octave higher from bar 24, its filter opening
//                                  from 300 Hz to 8 kHz over the 8 bars
// 28-36  52.33-67.28    Mirrors    a noise riser sweeping up over 8 bars, a snare
//                                  roll from bar 32 (8ths, 16ths, 32nds), then an
//                                  8th of near silence before the drop on bar 36
// 36-52  67.28-97.18    Retro      square-wave chip bass and arpeggios over a drum
//                                  machine; bar 43 breaks into a run up to the
//                                  accent at 81.5 s (crash, chord stab, zap); a
//                                  chip lead from bar 44
// 52-72  97.18-134.56   Night      the saw lead's melody over the full kit, a
//                                  galloping bass, pads and the quiet arpeggio; a
//                                  crash on every 4th bar (52, 56, 60, 64, 68)
// 72-80  134.56-149.51  Outro      the last A minor chord, struck with a crash on
//                                  bar 72, rings out with drone and bells; all
//                                  fades to silence over bars 76-80
//
// The chords are in Progression below, one per bar; the lead's phrases
// answer each other over A minor, F, C, G and close on the leading tone over
// E before resolving on bar 72. Voices: polyBLEP saw and pulse oscillators,
// state-variable filters, synthesised drums (sine kick, noise snare and
// hats, a metallic drum machine), a stereo reverb and a dotted-eighth
// ping-pong echo.

#include <array>
#include <string>
#include <vector>

namespace Content {

constexpr int BeatsPerBar = 4;
constexpr int Bars = 80;
constexpr double BarSeconds = 67.28 / 36.0;
constexpr double BeatSeconds = BarSeconds / BeatsPerBar;
// Demo time at which the retro scene's plasma colours arrive; the music
// accents it (14.22 s into the scene, off the beat grid).
constexpr double RetroAccentSeconds = 81.5;

// Seconds from the start of the music to the start of bar (0 to Bars), and
// to a beat within it (0 to 4, fractions allowed).
constexpr double barTime(int bar) {
    return bar * BarSeconds;
}
constexpr double beatTime(int bar, double beat) {
    return barTime(bar) + beat * BeatSeconds;
}

// The chord of each bar, by the name of its root: A minor (with an added
// ninth on the pads), F (major seventh), C, G, E major as the dominant, and
// e for E minor. Sections are on lines of their own.
constexpr char Progression[] = "AFCGAFCG"
                               "AFCGAFCGAFCG"
                               "AFCGAGFE"
                               "FGAAFGEE"
                               "AFCGAFCGFGeAFGEE"
                               "AFCGAFCGAFCGAFCGAGFE"
                               "AAAAAAAA";
static_assert(sizeof(Progression) == Bars + 1, "one chord per bar");

struct Section {
    const char* name;
    int firstBar;
    int endBar;  // the first bar after the section
};
constexpr std::array<Section, 7> Sections{{{"Dusk", 0, 8},
                                           {"Pillars", 8, 20},
                                           {"Metaballs", 20, 28},
                                           {"Mirrors", 28, 36},
                                           {"Retro", 36, 52},
                                           {"Night", 52, 72},
                                           {"Outro", 72, 80}}};

struct Music {
    int sampleRate;
    int channels;
    std::vector<float> samples;  // interleaved frames of channels floats
};

// The whole track in stereo at sampleRate (8000 to 192000 Hz), barTime(Bars)
// long, mastered to -14 LUFS with its true peak at most -1.6 dBTP (one
// line on standard output says how). Any other rate is reported and gives an empty
// Music (no samples, rate and channels 0).
Music renderMusic(int sampleRate = 44100);

// Encodes music as Ogg Vorbis at a fixed quality into bytes: the same music
// gives the same bytes on every run. On failure returns false with the
// reason in error.
bool encodeOggVorbis(const Music& music, std::string& bytes, std::string& error);

// Encodes music as Ogg Vorbis at a fixed quality and writes it to path,
// replacing the file. The same music gives the same bytes on every run. On
// failure returns false with the reason in error and leaves no new file.
bool writeOggVorbis(const std::string& path, const Music& music, std::string& error);

}  // namespace Content

#endif
