#include "videoencoder.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <tarn/soundtrack.h>

extern char** environ;

namespace {

std::string extensionOf(const std::string& path) {
    std::string extension = std::filesystem::path(path).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension;
}

std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

// Writes all of bytes, through interruptions and partial writes.
bool writeAll(int fd, const void* bytes, std::size_t size) {
    const auto* at = static_cast<const char*>(bytes);
    while (size > 0) {
        const ssize_t written = ::write(fd, at, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        at += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

}  // namespace

VideoEncoder::Audio VideoEncoder::musicSpan(const Tarn::Soundtrack* music, double start,
                                            double duration) {
    Audio audio;
    if (!music || music->samples().empty() || music->channels() < 1 || music->sampleRate() < 1)
        return audio;
    audio.rate = music->sampleRate();
    audio.channels = music->channels();
    const auto channels = static_cast<long long>(audio.channels);
    const long long first = std::llround(start * audio.rate);
    const long long count = std::llround(duration * audio.rate);
    const auto available = static_cast<long long>(music->samples().size()) / channels;
    audio.samples.assign(static_cast<std::size_t>(std::max(count, 0LL) * channels), 0.0f);
    const long long from = std::max(first, 0LL), to = std::min(first + count, available);
    if (from < to)
        std::copy(music->samples().begin() + from * channels,
                  music->samples().begin() + to * channels,
                  audio.samples.begin() + (from - first) * channels);
    return audio;
}

std::vector<std::string> VideoEncoder::arguments(const std::string& path, int width, int height,
                                                 double fps, const Audio& audio,
                                                 const std::string& audioPath) {
    std::vector<std::string> args = {"ffmpeg",
                                     "-hide_banner",
                                     "-loglevel",
                                     "error",
                                     "-y",
                                     "-f",
                                     "rawvideo",
                                     "-pix_fmt",
                                     "rgba",
                                     "-video_size",
                                     std::to_string(width) + "x" + std::to_string(height),
                                     "-framerate",
                                     number(fps),
                                     "-i",
                                     "pipe:0"};
    if (!audioPath.empty())
        args.insert(args.end(), {"-f", "f32le", "-ar", std::to_string(audio.rate), "-ac",
                                 std::to_string(audio.channels), "-i", audioPath});
    // GL rows run bottom-up; most players want 4:2:0 chroma.
    args.insert(args.end(), {"-vf", "vflip", "-pix_fmt", "yuv420p"});
    const std::string extension = extensionOf(path);
    // The fastest preset: where the GPU is the CPU (Mesa's software
    // rasterizer) every cycle the encoder takes is taken from rendering,
    // and slower presets cost a fifth more time for smaller files
    // (offline_render_bench). Quality is held by the rate factor.
    if (extension == ".mp4" || extension == ".mov" || extension == ".m4v") {
        args.insert(args.end(), {"-c:v", "libx264", "-preset", "ultrafast", "-crf", "18",
                                 "-movflags", "+faststart"});
        if (!audioPath.empty())
            args.insert(args.end(), {"-c:a", "aac", "-b:a", "192k"});
    }
    args.push_back(path);
    return args;
}

namespace {

// What abandonFromSignal undoes: the open encoder's ffmpeg and music file.
// One encoder is open at a time in a process.
volatile pid_t g_openProcess = 0;
char g_openAudioPath[4096] = {};

void forgetOpen() {
    g_openProcess = 0;
    g_openAudioPath[0] = '\0';
}

}  // namespace

void VideoEncoder::abandonFromSignal() {
    if (g_openProcess > 0)
        kill(g_openProcess, SIGKILL);
    if (g_openAudioPath[0] != '\0')
        unlink(g_openAudioPath);
}

VideoEncoder::VideoEncoder(const std::string& path, int width, int height, double fps,
                           const Audio& audio)
    : m_path(path) {
    if (!audio.samples.empty() && !f_writeAudio(audio))
        return;
    f_start(arguments(path, width, height, fps, audio, m_audioPath));
}

VideoEncoder::~VideoEncoder() {
    close();
}

bool VideoEncoder::f_writeAudio(const Audio& audio) {
    // TMPDIR naming a missing folder makes temp_directory_path throw.
    std::error_code error;
    std::filesystem::path folder = std::filesystem::temp_directory_path(error);
    if (error)
        folder = "/tmp";
    std::string name = (folder / "tarn-demo-music-XXXXXX").string();
    const int fd = mkstemp(name.data());
    if (fd < 0) {
        std::cout << "[VideoEncoder] cannot make a temporary file for the music: "
                  << std::strerror(errno) << std::endl;
        return false;
    }
    m_audioPath = name;
    if (name.size() < sizeof g_openAudioPath)
        std::memcpy(g_openAudioPath, name.c_str(), name.size() + 1);
    const bool written = writeAll(fd, audio.samples.data(), audio.samples.size() * sizeof(float));
    ::close(fd);
    if (!written)
        std::cout << "[VideoEncoder] cannot write the music to " << name << std::endl;
    return written;
}

bool VideoEncoder::f_start(const std::vector<std::string>& arguments) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        std::cout << "[VideoEncoder] cannot make a pipe: " << std::strerror(errno) << std::endl;
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[0], STDIN_FILENO);
    // A process group of its own: Ctrl-C at a terminal reaches this program,
    // which ends the video itself, and not ffmpeg behind its back.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int status = posix_spawnp(&pid, "ffmpeg", &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(fds[0]);
    if (status != 0) {
        ::close(fds[1]);
        std::cout << "[VideoEncoder] cannot start ffmpeg (" << std::strerror(status)
                  << "): install it with scripts/install-deps, or render PNG files "
                     "(--render 'frame%05d.png')"
                  << std::endl;
        return false;
    }
    m_pipe = fds[1];
    m_process = pid;
    g_openProcess = pid;
    return true;
}

// A broken pipe (ffmpeg quit after its own message) must fail the write, not
// kill the program: SIGPIPE is ignored while writing.
bool VideoEncoder::write(const unsigned char* rgba, int width, int height) {
    if (m_pipe < 0 || m_failed)
        return false;
    struct sigaction ignore {
    }, previous{};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &ignore, &previous);
    const bool written = writeAll(m_pipe, rgba, static_cast<std::size_t>(4) * width * height);
    sigaction(SIGPIPE, &previous, nullptr);
    if (!written) {
        m_failed = true;
        std::cout << "[VideoEncoder] ffmpeg stopped taking frames for " << m_path << std::endl;
    }
    return written;
}

bool VideoEncoder::close() {
    if (m_pipe >= 0) {
        ::close(m_pipe);
        m_pipe = -1;
    }
    bool succeeded = !m_failed;
    if (m_process > 0) {
        int status = 0;
        while (waitpid(m_process, &status, 0) < 0 && errno == EINTR) {
        }
        m_process = 0;
        g_openProcess = 0;
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            std::cout << "[VideoEncoder] ffmpeg failed ("
                      << (WIFEXITED(status)
                              ? "exit status " + std::to_string(WEXITSTATUS(status))
                              : "ended by signal " + std::to_string(WTERMSIG(status)))
                      << ") writing " << m_path << std::endl;
            succeeded = false;
        }
    } else {
        succeeded = false;
    }
    if (!m_audioPath.empty()) {
        std::remove(m_audioPath.c_str());
        m_audioPath.clear();
    }
    forgetOpen();
    m_failed = !succeeded;
    return succeeded;
}
