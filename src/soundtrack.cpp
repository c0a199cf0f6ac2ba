#include "tarn/soundtrack.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <string>

#include <fcntl.h>
#include <unistd.h>

#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>
#include <kiss_fftr.h>
#include <sndfile.h>

#include "tarn/diagnostics.h"
#include "tarn/file.h"

namespace Tarn {

namespace {

// Newest first; single precision, and divided by their sum as written.
constexpr std::array<float, Soundtrack::HistorySize> HistoryWeights{1.0f,  0.6f,   0.3f,
                                                                    0.15f, 0.075f, 0.0375f};
constexpr float HistoryWeightSum = 2.1625f;

// One OpenAL buffer holds at most INT_MAX bytes; more music is refused
// rather than cut.
constexpr std::size_t MaxSamples = INT_MAX / sizeof(float);
constexpr sf_count_t DecodeChunkFrames = 4096;

// libsndfile reads the File's bytes through these: nothing touches the disk.
struct MemoryReader {
    const char* data;
    sf_count_t size;
    sf_count_t cursor;
};

sf_count_t memoryLength(void* user) {
    return static_cast<MemoryReader*>(user)->size;
}

sf_count_t memorySeek(sf_count_t offset, int whence, void* user) {
    MemoryReader& reader = *static_cast<MemoryReader*>(user);
    const sf_count_t base = whence == SEEK_CUR   ? reader.cursor
                            : whence == SEEK_END ? reader.size
                                                 : 0;
    reader.cursor = std::clamp<sf_count_t>(base + offset, 0, reader.size);
    return reader.cursor;
}

sf_count_t memoryRead(void* ptr, sf_count_t count, void* user) {
    MemoryReader& reader = *static_cast<MemoryReader*>(user);
    const sf_count_t n = std::clamp<sf_count_t>(count, 0, reader.size - reader.cursor);
    std::memcpy(ptr, reader.data + reader.cursor, static_cast<std::size_t>(n));
    reader.cursor += n;
    return n;
}

sf_count_t memoryWrite(const void*, sf_count_t, void*) {
    return 0;
}

sf_count_t memoryTell(void* user) {
    return static_cast<MemoryReader*>(user)->cursor;
}

struct SoundFileCloser {
    void operator()(SNDFILE* file) const { sf_close(file); }
};

std::string withoutFinalPeriod(std::string text) {
    if (!text.empty() && text.back() == '.')
        text.pop_back();
    return text;
}

// Fills samples with every frame of the music. Returns an empty string when
// it decoded whole, else the reason: music cut short is refused whole, as the
// archive refuses a corrupt entry.
std::string decodeInto(File* file, std::vector<float>& samples, int& rate, int& channels) {
    if (!file)
        return "no file";
    if (file->size() == 0)
        return "empty file";
    SF_VIRTUAL_IO io{memoryLength, memorySeek, memoryRead, memoryWrite, memoryTell};
    MemoryReader reader{file->ptr(), static_cast<sf_count_t>(file->size()), 0};
    SF_INFO info{};
    std::unique_ptr<SNDFILE, SoundFileCloser> sound;
    {
        // A file libsndfile cannot open leaves its reason in one global
        // string, which two threads opening music at once would share.
        static std::mutex openLock;
        const std::lock_guard<std::mutex> hold(openLock);
        sound.reset(sf_open_virtual(&io, SFM_READ, &info, &reader));
        if (!sound)
            return withoutFinalPeriod(sf_strerror(nullptr));
    }
    rate = info.samplerate;
    channels = info.channels;
    const std::size_t chunk = static_cast<std::size_t>(DecodeChunkFrames * channels);
    try {
        for (std::size_t used = 0;;) {
            if (used + chunk > MaxSamples)
                return "too long to play from memory";
            samples.resize(used + chunk);
            const sf_count_t got =
                sf_readf_float(sound.get(), samples.data() + used, DecodeChunkFrames);
            used += static_cast<std::size_t>(std::max<sf_count_t>(got, 0) * channels);
            samples.resize(used);
            if (got <= 0)
                break;
        }
    } catch (const std::bad_alloc&) {
        return "out of memory";
    }
    const sf_count_t decoded = static_cast<sf_count_t>(samples.size()) / channels;
    // Some formats do not know their length (a count of SF_COUNT_MAX):
    // then what decoded without an error is the whole.
    if (info.frames != SF_COUNT_MAX && decoded < info.frames)
        return "cut short after " + std::to_string(decoded) + " of " + std::to_string(info.frames) +
               " frames";
    if (sf_error(sound.get()) != SF_ERR_NO_ERROR)
        return withoutFinalPeriod(sf_strerror(sound.get()));
    if (decoded == 0)
        return "no samples";
    return std::string();
}

float monoSample(const std::vector<float>& samples, int channels, long long frame) {
    float sum = 0.0f;
    for (int c = 0; c < channels; ++c)
        sum += samples[static_cast<std::size_t>(frame * channels + c)];
    return sum / static_cast<float>(channels);
}

}  // namespace

// The device, its context, and the music in one buffer played by one source.
namespace {

// For its lifetime, what is written to standard error goes nowhere; the
// stream is put back afterwards.
class QuietStandardError {
public:
    QuietStandardError() : m_saved(dup(STDERR_FILENO)) {
        const int null = ::open("/dev/null", O_WRONLY);
        if (m_saved >= 0 && null >= 0)
            dup2(null, STDERR_FILENO);
        if (null >= 0)
            close(null);
    }
    ~QuietStandardError() {
        if (m_saved < 0)
            return;
        dup2(m_saved, STDERR_FILENO);
        close(m_saved);
    }
    QuietStandardError(const QuietStandardError&) = delete;
    QuietStandardError& operator=(const QuietStandardError&) = delete;

private:
    int m_saved;
};

}  // namespace

struct Soundtrack::Device {
    ALCdevice* device = nullptr;
    ALCcontext* context = nullptr;
    ALuint buffer = 0;
    ALuint source = 0;

    ~Device() {
        if (context) {
            makeCurrent();
            if (source) {
                alSourceStop(source);
                alDeleteSources(1, &source);
            }
            if (buffer)
                alDeleteBuffers(1, &buffer);
            alcMakeContextCurrent(nullptr);
            alcDestroyContext(context);
        }
        if (device)
            alcCloseDevice(device);
    }

    // The current context is process-wide, and each Soundtrack has its own.
    void makeCurrent() const {
        if (alcGetCurrentContext() != context)
            alcMakeContextCurrent(context);
    }

    ALint state() const {
        ALint value = AL_STOPPED;
        alGetSourcei(source, AL_SOURCE_STATE, &value);
        return value;
    }

    // Empty when the music is loaded and ready to play, else the reason.
    std::string open(const std::vector<float>& samples, int channels, int rate) {
        {
            // Without a sound card the audio libraries print a dozen lines
            // of their own; the one line below says what matters.
            const QuietStandardError quiet;
            device = alcOpenDevice(nullptr);
        }
        if (!device)
            return std::string("cannot open the default device (") +
                   alcGetString(nullptr, alcGetError(nullptr)) + ")";
        context = alcCreateContext(device, nullptr);
        if (!context)
            return std::string("cannot create a context (") +
                   alcGetString(device, alcGetError(device)) + ")";
        makeCurrent();
        if (!alIsExtensionPresent("AL_EXT_FLOAT32"))
            return "no float sample format";
        alGetError();
        alGenBuffers(1, &buffer);
        alGenSources(1, &source);
        upload(samples, channels, rate);
        // Music, not a sound in the scene: no position, no distance.
        alSourcei(source, AL_SOURCE_RELATIVE, AL_TRUE);
        alSourcef(source, AL_ROLLOFF_FACTOR, 0.0f);
        alSourcei(source, AL_BUFFER, static_cast<ALint>(buffer));
        const ALenum error = alGetError();
        if (error != AL_NO_ERROR)
            return std::string("cannot load the music (") + alGetString(error) + ")";
        return std::string();
    }

    // Mono and stereo play as they are; more channels play mixed to mono,
    // since their speaker order differs between formats.
    void upload(const std::vector<float>& samples, int channels, int rate) {
        if (channels <= 2) {
            alBufferData(buffer, channels == 1 ? AL_FORMAT_MONO_FLOAT32 : AL_FORMAT_STEREO_FLOAT32,
                         samples.data(), static_cast<ALsizei>(samples.size() * sizeof(float)),
                         rate);
            return;
        }
        std::vector<float> mono(samples.size() / static_cast<std::size_t>(channels));
        for (std::size_t i = 0; i < mono.size(); ++i)
            mono[i] = monoSample(samples, channels, static_cast<long long>(i));
        alBufferData(buffer, AL_FORMAT_MONO_FLOAT32, mono.data(),
                     static_cast<ALsizei>(mono.size() * sizeof(float)), rate);
    }
};

// KissFFT's plan and the buffers of one measurement, made once.
struct Soundtrack::Analysis {
    struct PlanFreer {
        void operator()(kiss_fftr_cfg plan) const { kiss_fftr_free(plan); }
    };
    std::unique_ptr<kiss_fftr_state, PlanFreer> plan{
        kiss_fftr_alloc(WindowSize, 0, nullptr, nullptr)};
    std::array<float, WindowSize> window;
    std::array<float, WindowSize> input;
    std::array<kiss_fft_cpx, Bands + 1> bins;

    // A triangle summing to WindowSize / 2, so a sine of amplitude A centred
    // on a band transforms to A * WindowSize / 4 there.
    Analysis() {
        for (int n = 0; n < WindowSize; ++n)
            window[n] = 1.0f - static_cast<float>(std::abs(2 * n + 1 - WindowSize)) / WindowSize;
    }
};

std::shared_ptr<const Soundtrack::Decoded> Soundtrack::decode(File* file) {
    auto music = std::make_shared<Decoded>();
    music->problem = decodeInto(file, music->samples, music->rate, music->channels);
    if (!music->problem.empty()) {
        std::vector<float>().swap(music->samples);
        music->rate = 0;
        music->channels = 0;
    }
    return music;
}

Soundtrack::Soundtrack(File* file, const std::string& name) : Soundtrack(decode(file), name) {}

Soundtrack::Soundtrack(std::shared_ptr<const Decoded> music, const std::string& name)
    : m_music(music ? std::move(music) : decode(nullptr)), m_rate(m_music->rate),
      m_channels(m_music->channels), m_startFrame(0), m_pendingFrame(-1), m_started(false),
      m_paused(true), m_analysis(new Analysis), m_history(), m_newest(0), m_spectrum() {
    if (!m_music->problem.empty()) {
        Diagnostics::problem("Soundtrack", name + ": cannot decode: " + m_music->problem);
        return;
    }
    m_device.reset(new Device);
    const std::string reason = m_device->open(m_music->samples, m_channels, m_rate);
    if (!reason.empty()) {
        Diagnostics::note("Soundtrack", "no audio device: " + reason + "; playing silently");
        m_device.reset();
    }
}

Soundtrack::~Soundtrack() = default;

void Soundtrack::play() {
    m_started = true;
    m_paused = false;
    m_pendingFrame = -1;
    m_startFrame = 0;
    m_clock.reset();
    f_forgetSpectra();
    if (!m_device)
        return;
    m_device->makeCurrent();
    alSourceRewind(m_device->source);
    alSourcePlay(m_device->source);
}

void Soundtrack::pause() {
    if (!m_started)
        return;
    m_paused = !m_paused;
    if (!m_device) {
        m_clock.pause(m_paused);
        return;
    }
    m_device->makeCurrent();
    const ALint state = m_device->state();
    if (m_paused && state == AL_PLAYING) {
        alSourcePause(m_device->source);
    } else if (!m_paused && state == AL_PAUSED) {
        alSourcePlay(m_device->source);
    } else if (!m_paused && m_pendingFrame >= 0) {
        alSourcei(m_device->source, AL_SAMPLE_OFFSET, static_cast<ALint>(m_pendingFrame));
        alSourcePlay(m_device->source);
        m_pendingFrame = -1;
    }
}

void Soundtrack::setPosition(float seconds) {
    if (!m_started)
        return;
    f_forgetSpectra();
    const long long frame = f_frameAt(seconds);
    if (!m_device) {
        m_startFrame = frame;
        m_clock.reset();
        m_clock.pause(m_paused);
        return;
    }
    m_device->makeCurrent();
    const ALuint source = m_device->source;
    const ALint state = m_device->state();
    m_pendingFrame = -1;
    if (frame >= f_frames()) {
        alSourceStop(source);
    } else if (state == AL_PLAYING || state == AL_PAUSED) {
        alSourcei(source, AL_SAMPLE_OFFSET, static_cast<ALint>(frame));
    } else if (m_paused) {
        m_pendingFrame = frame;
    } else {
        alSourcei(source, AL_SAMPLE_OFFSET, static_cast<ALint>(frame));
        alSourcePlay(source);
    }
}

float* Soundtrack::spectrum() {
    m_newest = (m_newest + HistorySize - 1) % HistorySize;
    f_measure(m_history[m_newest]);
    for (int band = 0; band < Bands; ++band) {
        float sum = 0.0f;
        for (int age = 0; age < HistorySize; ++age)
            sum += HistoryWeights[age] * m_history[(m_newest + age) % HistorySize][band];
        m_spectrum[band] = sum / HistoryWeightSum;
    }
    return m_spectrum.data();
}

double Soundtrack::position() const {
    return m_rate > 0 ? static_cast<double>(f_frame()) / m_rate : 0.0;
}

double Soundtrack::duration() const {
    return m_rate > 0 ? static_cast<double>(f_frames()) / m_rate : 0.0;
}

long long Soundtrack::f_frames() const {
    return m_channels > 0 ? static_cast<long long>(m_music->samples.size()) / m_channels : 0;
}

long long Soundtrack::f_frame() const {
    if (!m_started)
        return 0;
    if (!m_device) {
        const double played = std::floor(std::max(0.0, m_clock.elapsed()) * m_rate);
        return std::min<long long>(f_frames(), m_startFrame + static_cast<long long>(played));
    }
    m_device->makeCurrent();
    const ALint state = m_device->state();
    if (state == AL_PLAYING || state == AL_PAUSED) {
        ALint offset = 0;
        alGetSourcei(m_device->source, AL_SAMPLE_OFFSET, &offset);
        return offset;
    }
    return m_pendingFrame >= 0 ? m_pendingFrame : f_frames();
}

// Whole milliseconds, as seconds * 1000 in single precision gives them (so
// 1.234f, stored as 1.2339999, is 1234 ms), then the frame that starts them.
long long Soundtrack::f_frameAt(float seconds) const {
    const double milliseconds = std::trunc(static_cast<double>(seconds * 1000.0f));
    if (!(milliseconds > 0.0))
        return 0;
    const double endMilliseconds = std::ceil(duration() * 1000.0);
    const long long ms = static_cast<long long>(std::min(milliseconds, endMilliseconds));
    return std::min(f_frames(), ms * m_rate / 1000);
}

// After a seek the older spectra belong to other music; averaging them in
// would show the old position for the next five calls
// (SoundtrackTest.SpectrumPeaksAtTheToneAndAveragesSixCalls).
void Soundtrack::f_forgetSpectra() {
    for (auto& spectrum : m_history)
        spectrum.fill(0.0f);
}

void Soundtrack::f_measure(std::array<float, Bands>& raw) {
    Analysis& a = *m_analysis;
    const long long end = f_frame();
    const long long frames = f_frames();
    for (int n = 0; n < WindowSize; ++n) {
        const long long frame = end - WindowSize + n;
        const bool inside = frame >= 0 && frame < frames;
        a.input[n] = inside ? a.window[n] * monoSample(m_music->samples, m_channels, frame) : 0.0f;
    }
    kiss_fftr(a.plan.get(), a.input.data(), a.bins.data());
    // Positive and negative frequencies each carry half a sine; 0 Hz has no twin.
    const float scale = 4.0f / WindowSize;
    for (int band = 0; band < Bands; ++band) {
        const float magnitude = std::hypot(a.bins[band].r, a.bins[band].i);
        raw[band] = magnitude * (band == 0 ? scale / 2.0f : scale);
    }
}

}  // namespace Tarn
