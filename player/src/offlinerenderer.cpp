#include "offlinerenderer.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iostream>

#include <GL/glew.h>
#include <stb_image.h>
#include <unistd.h>

#include <tarn/application.h>
#include <tarn/demo/timeline.h>
#include <tarn/framebuffer.h>
#include <tarn/framereader.h>

#include "demoprogram.h"
#include "demoscript.h"
#include "demotime.h"
#include "pngsequence.h"
#include "videoencoder.h"

namespace {

// A reason the render stops: among the program's lines on standard output,
// and on standard error, where a script running the render looks.
// The first SIGINT or SIGTERM of a render, read between frames.
volatile std::sig_atomic_t g_stopSignal = 0;
struct sigaction g_previous[2];
constexpr int kStopSignals[2] = {SIGINT, SIGTERM};

extern "C" void onStopSignal(int signal) {
    if (g_stopSignal != 0) {
        VideoEncoder::abandonFromSignal();
        std::signal(signal, SIG_DFL);
        std::raise(signal);
        return;
    }
    g_stopSignal = signal;
}

void sayBoth(const std::string& why) {
    std::cout << "[OfflineRenderer] " << why << std::endl;
    std::cerr << "tarn-demo: " << why << std::endl;
}

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point begin) {
    return std::chrono::duration<double>(Clock::now() - begin).count();
}

std::string seconds(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f s", value);
    return text;
}

std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

// A duration in words with its units: "45 s", "3 min 05 s", "2 h 07 min".
std::string minutes(double value) {
    const long total = std::lround(std::min(std::max(value, 0.0), 1e9));
    char text[48];
    if (total < 60)
        std::snprintf(text, sizeof text, "%ld s", total);
    else if (total < 3600)
        std::snprintf(text, sizeof text, "%ld min %02ld s", total / 60, total % 60);
    else
        std::snprintf(text, sizeof text, "%ld h %02ld min", total / 3600, total / 60 % 60);
    return text;
}

// "1 frame", "2 frames".
std::string frames(std::size_t count) {
    return std::to_string(count) + (count == 1 ? " frame" : " frames");
}

}  // namespace

std::size_t OfflineRenderer::framesIn(double seconds, double fps) {
    const double frames = std::round(seconds * fps);
    return frames > 0.0 ? static_cast<std::size_t>(frames) : 0;
}

OfflineRenderer::OfflineRenderer(DemoProgram& program, const Settings& settings)
    : m_program(program), m_settings(settings) {}

OfflineRenderer::~OfflineRenderer() {
    if (!m_handlesSignals)
        return;
    for (int i = 0; i < 2; ++i)
        sigaction(kStopSignals[i], &g_previous[i], nullptr);
}

int OfflineRenderer::stopSignal() const {
    return g_stopSignal;
}

double OfflineRenderer::frameTime(std::size_t frame) const {
    return FrameGrid(m_settings.start, m_settings.fps).at(static_cast<std::int64_t>(frame));
}

void OfflineRenderer::attach(Tarn::Application& app) {
    g_stopSignal = 0;
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    for (int i = 0; i < 2; ++i)
        sigaction(kStopSignals[i], &action, &g_previous[i]);
    m_handlesSignals = true;
    app.started.connect([this, &app] { f_onStarted(app); });
    app.frame.connect([this, &app](double delta, double now) { f_onFrame(app, delta, now); });
    // Whatever stopped the loop early, the frames read so far are kept and
    // the GL objects go while the context is still current.
    app.terminated.connect([this] {
        if (m_sink)
            finish();
        m_reader.reset();
        m_target.reset();
    });
}

void OfflineRenderer::f_onStarted(Tarn::Application& app) {
    if (!open())
        app.closed.emit();
}

void OfflineRenderer::f_onFrame(Tarn::Application& app, double, double) {
    if (renderNext())
        return;
    if (!m_failed)
        m_succeeded = finish();
    app.closed.emit();
}

bool OfflineRenderer::open() {
    if (!m_settings.startWord.empty()) {
        const DemoScript* script = m_program.script();
        std::string error;
        if (!DemoProgram::readCommandTime("--start", m_settings.startWord,
                                          script ? script->tempo() : nullptr, m_settings.start,
                                          error)) {
            DemoProgram::printRefusal(error);
            m_refusedTimes = m_failed = true;
            return false;
        }
        m_settings.startWord.clear();
    }
    const Tarn::Demo::Timeline* timeline = m_program.timeline();
    const double duration = timeline ? timeline->duration() : 0.0;
    const auto refuse = [this](const std::string& why) {
        sayBoth(why);
        m_failed = true;
        return false;
    };
    // Never a video without an effect its author wrote: a shader that did
    // not compile was reported at its file and line while loading.
    if (const DemoScript* script = m_program.script(); script && !script->failedShaders().empty())
        return refuse("the shader " + script->failedShaders().front() +
                      " does not compile (see above); nothing is rendered until it does");
    if (duration <= 0.0)
        return refuse("the demo's timeline is empty: nothing to render");
    // The frame buffers of the picture's size must be possible on this
    // driver, or every frame would be black.
    GLint limits[4] = {0, 0, 0, 0};
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &limits[0]);
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &limits[1]);
    glGetIntegerv(GL_MAX_VIEWPORT_DIMS, &limits[2]);
    const int largest = std::min({limits[0], limits[1], limits[2], limits[3]});
    const int wide = m_program.settings().width, high = m_program.settings().height;
    if (largest > 0 && std::max(wide, high) > largest)
        return refuse("this driver makes pictures up to " + std::to_string(largest) + " pixels a "
                      "side; " + std::to_string(wide) + "x" + std::to_string(high) +
                      " is larger");
    if (!(m_settings.fps > 0.0))
        return refuse("the frame rate must be above 0");
    if (m_settings.start >= duration)
        return refuse("the demo ends at " + seconds(duration) + ", before " +
                      seconds(m_settings.start));
    const double end = m_settings.end < 0.0 ? duration : std::min(m_settings.end, duration);
    m_count = m_settings.singleFrame ? 1 : framesIn(end - m_settings.start, m_settings.fps);
    if (m_count == 0)
        return refuse("the span from " + seconds(m_settings.start) + " to " + seconds(end) +
                      " holds no frame at " + number(m_settings.fps) + " fps");
    if (!f_makeSink(static_cast<double>(m_count) / m_settings.fps))
        return refuse("cannot write " + m_settings.output);

    const int width = m_program.settings().width, height = m_program.settings().height;
    const bool drawing = m_settings.frames.empty();
    if (drawing) {
        m_target = std::make_unique<Tarn::FrameBuffer>(width, height);
        m_target->createRenderTarget(Tarn::FrameBuffer::RGBA8);
        m_reader = std::make_unique<Tarn::FrameReader>(width, height, m_settings.readDepth);
    }
    m_firstFile = std::llround(m_settings.start * m_settings.fps);
    m_done = 0;
    m_begin = m_lastReport = Clock::now();
    std::cerr << "tarn-demo: " << (drawing ? "rendering " : "encoding ") << m_count << " frame"
              << (m_count == 1 ? "" : "s") << " of " << width << "x" << height << " at "
              << m_settings.fps << " fps from " << seconds(m_settings.start) << " to "
              << m_settings.output << " "
              << (drawing
                      ? "on " + std::string(reinterpret_cast<const char*>(glGetString(GL_RENDERER)))
                      : "from " + m_settings.frames)
              << std::endl;
    return true;
}

bool OfflineRenderer::f_makeSink(double duration) {
    const std::string& output = m_settings.output;
    std::string probe;
    if (m_settings.png) {
        if (!expandFramePattern(output, 0, probe)) {
            sayBoth(output + ": a frame number is written %d, %5d or %05d, a percent sign %%");
            return false;
        }
        if (m_count > 1 && !hasFrameNumber(output)) {
            sayBoth(output + " names one file for " + std::to_string(m_count) +
                    " frames; put the frame number in it, as in frame%05d.png");
            return false;
        }
        m_sink =
            std::make_unique<PngSequence>(output, std::llround(m_settings.start * m_settings.fps));
        return true;
    }
    const DemoScript* script = m_program.script();
    auto encoder = std::make_unique<VideoEncoder>(
        output, m_program.settings().width, m_program.settings().height, m_settings.fps,
        VideoEncoder::musicSpan(script ? script->soundtrack() : nullptr, m_settings.start,
                                duration));
    if (!encoder->started())
        return false;
    m_sink = std::move(encoder);
    return true;
}

bool OfflineRenderer::renderNext() {
    if (m_failed || !m_sink || m_done >= m_count)
        return false;
    if (g_stopSignal != 0) {
        sayBoth(std::string("stopped by ") + (g_stopSignal == SIGINT ? "SIGINT" : "SIGTERM"));
        m_failed = true;
        return false;
    }
    if (!(m_settings.frames.empty() ? f_drawNext() : f_readNextFile())) {
        m_failed = true;
        return false;
    }
    ++m_done;
    f_progress(false);
    return true;
}

bool OfflineRenderer::f_drawNext() {
    const double now = frameTime(m_done);
    setDemoTime(now);
    if (!m_program.renderFrame(now, 1.0 / m_settings.fps, m_target.get())) {
        std::cout << "[OfflineRenderer] the demo drew no frame at " << seconds(now) << std::endl;
        return false;
    }
    const auto sink = [this](const unsigned char* rgba, int width, int height) {
        return m_sink->write(rgba, width, height);
    };
    return m_reader->read(*m_target, sink);
}

// The file holds its rows top down, as PngSequence wrote them; the sink
// takes them bottom-up, as drawing reads them.
bool OfflineRenderer::f_readNextFile() {
    std::string path;
    expandFramePattern(m_settings.frames, m_firstFile + static_cast<long long>(m_done), path);
    const std::string frame =
        " (frame " + std::to_string(m_done + 1) + " of " + std::to_string(m_count) + ")";
    errno = 0;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                         std::fclose);
    if (!file) {
        sayBoth("cannot read " + path + frame + ": " + std::strerror(errno));
        return false;
    }
    int width = 0, height = 0, channels = 0;
    std::unique_ptr<unsigned char, void (*)(void*)> pixels(
        stbi_load_from_file(file.get(), &width, &height, &channels, 4), stbi_image_free);
    if (!pixels) {
        sayBoth("cannot read " + path + frame + ": " + stbi_failure_reason());
        return false;
    }
    const int wantWidth = m_program.settings().width, wantHeight = m_program.settings().height;
    if (width != wantWidth || height != wantHeight) {
        sayBoth(path + frame + " is " + std::to_string(width) + "x" + std::to_string(height) +
                ", not " + std::to_string(wantWidth) + "x" + std::to_string(wantHeight));
        return false;
    }
    const std::size_t row = static_cast<std::size_t>(4) * width;
    m_rgba.resize(row * height);
    for (int y = 0; y < height; ++y) {
        std::copy_n(pixels.get() + row * y, row, m_rgba.data() + row * (height - 1 - y));
    }
    return m_sink->write(m_rgba.data(), width, height);
}

bool OfflineRenderer::finish() {
    if (!m_sink)
        return false;
    const auto sink = [this](const unsigned char* rgba, int width, int height) {
        return m_sink->write(rgba, width, height);
    };
    const bool drawing = m_settings.frames.empty();
    bool ok = !m_failed && (!drawing || (m_reader && m_reader->flush(sink)));
    ok = m_sink->close() && ok;
    if (ok && m_done == m_count) {
        f_progress(true);
    } else {
        std::cerr << "tarn-demo: stopped after " << m_done << " of " << frames(m_count) << "; "
                  << m_sink->describe() << " is incomplete" << std::endl;
        ok = false;
    }
    m_sink.reset();
    m_failed = !ok;
    return ok;
}

// On a terminal one line rewritten in place; elsewhere (a log, a test) a
// line every few seconds.
void OfflineRenderer::f_progress(bool last) {
    const double elapsed = secondsSince(m_begin);
    if (last) {
        std::cerr << (isatty(STDERR_FILENO) ? "\n" : "") << "tarn-demo: wrote "
                  << m_sink->describe() << ": ";
        if (m_settings.singleFrame)
            std::cerr << "the frame at " << seconds(m_settings.start);
        else
            std::cerr << frames(m_count) << ", "
                      << seconds(static_cast<double>(m_count) / m_settings.fps) << " from "
                      << seconds(m_settings.start) << " at " << m_settings.fps << " fps";
        std::cerr << ", in " << seconds(elapsed) << std::endl;
        return;
    }
    const bool terminal = isatty(STDERR_FILENO);
    if (secondsSince(m_lastReport) < (terminal ? 0.25 : 5.0) && m_done != m_count)
        return;
    m_lastReport = Clock::now();
    const double rate = static_cast<double>(m_done) / std::max(elapsed, 1e-9);
    const double left = static_cast<double>(m_count - m_done) / std::max(rate, 1e-9);
    char line[160];
    std::snprintf(line, sizeof line, "tarn-demo: frame %zu/%zu, %.1f fps, %s left", m_done, m_count,
                  rate, minutes(left).c_str());
    std::cerr << (terminal ? "\r" : "") << line << (terminal ? "" : "\n") << std::flush;
}
