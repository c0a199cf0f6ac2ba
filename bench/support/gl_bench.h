#ifndef TARN_BENCH_SUPPORT_GL_BENCH_H
#define TARN_BENCH_SUPPORT_GL_BENCH_H

// The frame of a GL benchmark program: reads Google Benchmark's flags, makes
// a hidden 64x64 OpenGL 3.3 core context current (or says why it cannot),
// runs the registered benchmarks and, at the end, checks GL's error flag.
// The context lives as long as this object: declare it first in main.

#include <iostream>
#include <string>

#include <GL/glew.h>
#include <GLFW/glfw3.h>
#include <benchmark/benchmark.h>

#include "support/gl_context.h"
#include "support/recording_reporter.h"

namespace Tarn::Bench {

class GLBench {
public:
    GLBench(const char* program, int* argc, char** argv) : m_program(program) {
        benchmark::Initialize(argc, argv);
        std::string error;
        m_window = Tarn::Test::createHiddenContext(64, 64, error);
        if (!m_window)
            std::cout << "[" << m_program << "] Cannot make a hidden 3.3 core GL context: " << error
                      << " (run it under xvfb-run -a where there is no display)" << std::endl;
    }
    ~GLBench() {
        if (m_window)
            glfwDestroyWindow(m_window);
        glfwTerminate();
    }
    GLBench(const GLBench&) = delete;
    GLBench& operator=(const GLBench&) = delete;

    bool ok() const { return m_window != nullptr; }

    // The depth state the engine sets once for everyone (test on, less or
    // equal), so passes are measured as they run in the demo.
    void useEngineDepthState() const {
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(GL_LEQUAL);
    }

    // Runs every registered benchmark, printed as the console reporter does.
    void run(RecordingReporter& reporter) {
        benchmark::RunSpecifiedBenchmarks(&reporter);
        benchmark::Shutdown();
    }

    // 0, or 1 after saying that GL has an error to report.
    int glStatus() const {
        if (glGetError() == GL_NO_ERROR)
            return 0;
        std::cout << "[" << m_program << "] GL error after the run" << std::endl;
        return 1;
    }

private:
    std::string m_program;
    GLFWwindow* m_window = nullptr;
};

}  // namespace Tarn::Bench

#endif
