#include "devcontrols.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <system_error>

#include <GLFW/glfw3.h>

#include <tarn/application.h>
#include <tarn/vfs.h>

#include "demoprogram.h"
#include "demoscript.h"

DevControls::DevControls(DemoProgram& program, Tarn::Application& app, bool watch)
    : m_program(program), m_app(app), m_watch(watch) {
    app.keyPressed.connect([this](int key) { f_onKey(key); });
    app.keyReleased.connect([this](int key) {
        if (key == GLFW_KEY_LEFT_SHIFT)
            m_leftShift = false;
        if (key == GLFW_KEY_RIGHT_SHIFT)
            m_rightShift = false;
    });
    app.started.connect([this] { m_stamps = f_stamps(); });
    app.frame.connect([this](double delta, double) { f_onFrame(delta); });
}

std::string DevControls::clockText(double seconds) {
    const long long hundredths = std::llround(std::max(seconds, 0.0) * 100.0);
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld.%02lld", hundredths / 6000, hundredths / 100 % 60,
                  hundredths % 100);
    return text;
}

void DevControls::f_onKey(int key) {
    const double now = m_program.time();
    const double step = m_leftShift || m_rightShift ? FineSeekSeconds : SeekSeconds;
    switch (key) {
    case GLFW_KEY_LEFT_SHIFT:
        m_leftShift = true;
        break;
    case GLFW_KEY_RIGHT_SHIFT:
        m_rightShift = true;
        break;
    case GLFW_KEY_SPACE:
        m_program.setPaused(!m_program.paused());
        break;
    case GLFW_KEY_LEFT:
        m_program.seek(now - step);
        break;
    case GLFW_KEY_RIGHT:
        m_program.seek(now + step);
        break;
    case GLFW_KEY_HOME:
        m_program.seek(0.0);
        break;
    // A new start at or after the end drops the end, and the other way
    // round: a loop never runs backwards.
    case GLFW_KEY_LEFT_BRACKET:
        m_program.setLoop(now, m_program.loopEnd() > now ? m_program.loopEnd() : -1.0);
        break;
    case GLFW_KEY_RIGHT_BRACKET:
        m_program.setLoop(m_program.loopStart() < now ? m_program.loopStart() : -1.0, now);
        break;
    case GLFW_KEY_BACKSPACE:
        m_program.setLoop(-1.0, -1.0);
        break;
    case GLFW_KEY_F5:
        f_reload();
        break;
    default:
        return;
    }
    f_showTitle();
}

void DevControls::f_onFrame(double delta) {
    ++m_frames;
    m_frameSeconds += delta;
    if (m_frameSeconds >= 0.5) {
        m_fps = m_frames / m_frameSeconds;
        m_frames = 0;
        m_frameSeconds = 0.0;
    }
    f_showTitle();
}

void DevControls::beforeFrame(double delta) {
    m_sinceWatch += delta;
    // The frames a reload shows while it builds do not look: the files it
    // reads would be seen changed again.
    if (m_watch && m_sinceWatch >= WatchSeconds && !m_program.reloading()) {
        m_sinceWatch = 0.0;
        if (!(f_stamps() == m_stamps))
            f_reload();
    }
}

// F5 during a reload (in one of the frames it shows) reloads once more
// after it. Files are stamped as they were before the reload read them, so
// a file saved while it ran is seen changed at the next look; a file read
// for the first time is stamped as it is after.
void DevControls::f_reload() {
    if (m_program.reloading()) {
        m_reloadAgain = true;
        return;
    }
    do {
        m_reloadAgain = false;
        const Stamps before = f_stamps();
        m_program.reload();
        m_stamps = f_stamps();
        for (auto& [path, stamp] : m_stamps)
            if (const auto old = before.find(path); old != before.end())
                stamp = old->second;
    } while (m_reloadAgain);
}

void DevControls::f_showTitle() {
    const DemoScript* script = m_program.script();
    std::string title = script && script->hasTitle() ? script->title() : "Tarn Application";
    title += "  " + clockText(m_program.time());
    if (m_program.looping())
        title += "  loop " + clockText(m_program.loopFrom()) + "-" + clockText(m_program.loopTo());
    if (m_fps > 0.0)
        title += "  " + std::to_string(std::lround(m_fps)) + " fps";
    if (m_program.paused())
        title += "  paused";
    // Until the shader compiles again, the picture shows it as it last did.
    if (script && !script->failedShaders().empty())
        title += "  shader error: " + script->failedShaders().front();
    if (title != m_app.windowTitle())
        m_app.showWindowTitle(title);
}

DevControls::Stamps DevControls::f_stamps() const {
    Stamps stamps;
    const auto stamp = [&stamps](const std::string& path) {
        Stamp& s = stamps[path];
        std::error_code error;
        s.exists = std::filesystem::is_regular_file(path, error);
        if (!s.exists)
            return;
        s.size = std::filesystem::file_size(path, error);
        s.written = std::filesystem::last_write_time(path, error);
    };
    if (!m_program.archivePath().empty())
        stamp(m_program.archivePath());
    if (const Tarn::VFS* vfs = m_program.vfs())
        for (const std::string& path : vfs->openedPaths())
            stamp(vfs->loosePath(path));
    return stamps;
}
