#include "demoprogram.h"

#include <iostream>

#include <GL/glew.h>

#include <GLFW/glfw3.h>

#include <tarn/application.h>
#include <tarn/assetlibrary.h>
#include <tarn/demo/timeline.h>
#include <tarn/graphics/renderer.h>
#include <tarn/postfx/chain.h>
#include <tarn/profiler.h>
#include <tarn/soundtrack.h>
#include <tarn/vfs.h>

#include "demoscript.h"
#include "preloader.h"

DemoProgram::DemoProgram(const Settings& settings) : m_settings(settings) {}

DemoProgram::~DemoProgram() {
    f_release();
}

void DemoProgram::attach(Tarn::Application& app) {
    m_app = &app;
    app.setWindowSize(m_settings.width, m_settings.height)
        .setFullscreen(m_settings.fullscreen)
        .setWindowTitle("Tarn Application");
    app.keyPressed.connect([this](int key) { f_onKey(key); });
    app.launched.connect([this] { f_onLaunched(); });
    app.loading.connect([this](Tarn::Signal<double>& progress) { f_onLoading(progress); });
    app.started.connect([this] { f_onStarted(); });
    if (m_settings.playsFrames)
        app.frame.connect([this](double delta, double now) { f_onFrame(delta, now); });
    app.closed.connect([this] { m_closing = true; });
    app.terminated.connect([this] { f_release(); });
}

void DemoProgram::f_onKey(int key) {
    if (key == GLFW_KEY_ESCAPE)
        m_app->closed.emit();
}

void DemoProgram::f_onLaunched() {
    m_launched = true;
    m_vfs = std::make_unique<Tarn::VFS>("demo.tarn", true);
    m_renderer = std::make_unique<Tarn::Graphics::Renderer>(m_settings.width, m_settings.height);
    m_timeline = std::make_unique<Tarn::Demo::Timeline>();
    m_fxchain = std::make_unique<Tarn::PostFX::Chain>(m_settings.width, m_settings.height,
                                                      m_renderer.get());
    if (m_settings.profile) {
        m_profiler = std::make_unique<Tarn::Profiler>();
        m_profiler->start();
    }
}

void DemoProgram::f_onLoading(Tarn::Signal<double>& progress) {
    const auto stop = [this] { return m_closing; };
    std::unique_ptr<Preloader> preloader;
    if (m_settings.preloader) {
        preloader = std::make_unique<Preloader>();
        preloader->intro(*m_app, stop);
    }
    if (!m_closing)
        f_loadContent(progress);
    if (preloader && !m_closing)
        preloader->outro(*m_app, stop);
}

void DemoProgram::f_loadContent(Tarn::Signal<double>& progress) {
    Tarn::AssetLibrary::instance()->loadAllFromScript("assets/library.tarn");
    progress.emit(0.4);
    m_script = std::make_unique<DemoScript>(m_renderer.get(), m_timeline.get(), m_fxchain.get());
    m_script->load("assets/demo.tarn", progress, 0.4);
    if (m_script->hasTitle())
        m_app->setWindowTitle(m_script->title());
}

void DemoProgram::f_onStarted() {
    if (m_settings.music && m_script && m_script->soundtrack() && !m_closing)
        m_script->soundtrack()->play();
}

void DemoProgram::f_onFrame(double delta, double now) {
    if (!renderFrame(now, delta))
        m_app->closed.emit();
}

bool DemoProgram::renderFrame(double now, double delta, Tarn::FrameBuffer* target) {
    if (!m_timeline || !m_script || now >= m_timeline->duration())
        return false;
    if (m_profiler)
        m_profiler->beginFrame();
    m_script->runAutomations(now);
    m_timeline->doFrame(now, delta);
    m_fxchain->applyAndDraw(m_renderer->renderOutput(), target);
    if (m_profiler)
        m_profiler->endFrame();
    return true;
}

// Once, with the GL context current: what the script built (clips before
// their scenes, effects before the chain), then the chain, timeline and
// renderer, the asset library, and the archive last.
void DemoProgram::f_release() {
    if (m_profiler) {
        m_profiler->stop();
        m_profiler->report(std::cout);
        m_profiler.reset();
    }
    m_script.reset();
    m_fxchain.reset();
    m_timeline.reset();
    m_renderer.reset();
    if (m_launched)
        Tarn::AssetLibrary::destroyInstance();
    m_launched = false;
    m_vfs.reset();
}
