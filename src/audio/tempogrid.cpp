#include "tarn/audio/tempogrid.h"

#include <cassert>
#include <cmath>
#include <cstdlib>
#include <sstream>

#include "tarn/luceparser.h"

namespace Tarn::Audio {

namespace {

bool wholeNumber(const std::string& text) {
    return !text.empty() && text.size() <= 9 &&
           text.find_first_not_of("0123456789") == std::string::npos;
}

std::string quoted(const std::string& word) {
    return "\"" + word + "\"";
}

std::string number(double value) {
    std::ostringstream text;
    text << value;
    return text.str();
}

}  // namespace

TempoGrid::TempoGrid(double bpm, double offset, int beatsPerBar)
    : m_bpm(bpm), m_offset(offset), m_beatsPerBar(beatsPerBar) {
    assert(bpm > 0.0 && std::isfinite(bpm) && std::isfinite(offset));
    assert(beatsPerBar >= 1 && beatsPerBar <= MaxBeatsPerBar);
}

// Beats are counted first and scaled once, so bar 36 of a grid lands on the
// same double as 144 beats do.
double TempoGrid::seconds(double bar, double beat, Reading reading) const {
    const double beats = bar * m_beatsPerBar + beat;
    return (reading == Reading::DemoTime ? m_offset : 0.0) + beats * 60.0 / m_bpm;
}

double TempoGrid::beat(double t) const {
    return (t - m_offset) * m_bpm / 60.0;
}

double TempoGrid::bar(double t) const {
    return beat(t) / m_beatsPerBar;
}

bool TempoGrid::readTempo(const std::vector<std::string>& words, TempoGrid& grid,
                          std::string& error) {
    double bpm = 0.0, offset = 0.0;
    if (words.empty() || !LUCEParser::finiteNumber(words[0], bpm) || bpm <= 0.0) {
        error = "the tempo " + quoted(words.empty() ? "" : words[0]) +
                " is not a number of beats per minute above 0";
        return false;
    }
    if (words.size() > 1 && !LUCEParser::finiteNumber(words[1], offset)) {
        error = "the tempo's offset " + quoted(words[1]) + " is not a number of seconds";
        return false;
    }
    int beatsPerBar = 4;
    if (words.size() > 2) {
        beatsPerBar = wholeNumber(words[2]) ? std::atoi(words[2].c_str()) : 0;
        if (beatsPerBar < 1 || beatsPerBar > MaxBeatsPerBar) {
            error = "the tempo's beats per bar " + quoted(words[2]) +
                    " is not a whole number from 1 to " + std::to_string(MaxBeatsPerBar);
            return false;
        }
    }
    if (words.size() > 3) {
        error = "write the tempo as \"tempo BPM [OFFSET] [BEATS_PER_BAR]\"; " + quoted(words[3]) +
                " is one word too many";
        return false;
    }
    grid = TempoGrid(bpm, offset, beatsPerBar);
    return true;
}

bool TempoGrid::isBarTime(const std::string& word) {
    return word.find(':') != std::string::npos;
}

bool TempoGrid::readBarTime(const std::string& word, double& bar, double& beat,
                            std::string& error) {
    const std::size_t colon = word.find(':');
    const std::string barWord = word.substr(0, colon);
    const std::string beatWord = colon == std::string::npos ? "" : word.substr(colon + 1);
    if (!wholeNumber(barWord)) {
        error = "bar time " + quoted(word) + " has bar " + quoted(barWord) +
                "; a bar is a whole number from 0 (as 12:2.5)";
        return false;
    }
    if (!LUCEParser::finiteNumber(beatWord, beat) || beat < 0.0) {
        error = "bar time " + quoted(word) + " has beat " + quoted(beatWord) +
                "; a beat is a number from 0 (as 12:2.5)";
        return false;
    }
    bar = std::atof(barWord.c_str());
    return true;
}

bool TempoGrid::readTime(const std::string& word, const TempoGrid* grid, Reading reading,
                         double& seconds, std::string& error) {
    double value = 0.0;
    if (!isBarTime(word)) {
        if (LUCEParser::finiteNumber(word, value)) {
            seconds = value;
            return true;
        }
        error = quoted(word) + " is not a number of seconds";
        return false;
    }
    double bar = 0.0, beat = 0.0;
    if (!readBarTime(word, bar, beat, error))
        return false;
    if (!grid) {
        error = "bar time " + quoted(word) + " needs a tempo line before it";
        return false;
    }
    if (beat >= grid->beatsPerBar()) {
        error = "bar time " + quoted(word) + " has beat " + number(beat) + "; a bar has " +
                std::to_string(grid->beatsPerBar()) +
                (grid->beatsPerBar() == 1 ? " beat" : " beats");
        return false;
    }
    seconds = grid->seconds(bar, beat, reading);
    return true;
}

}  // namespace Tarn::Audio
