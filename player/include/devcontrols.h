#ifndef TARN_PLAYER_DEVCONTROLS_H
#define TARN_PLAYER_DEVCONTROLS_H

// The authoring controls of tarn-demo --dev: keys that pause, seek, set a
// loop and reload the content of the program they serve, a window title
// with the demo time, the loop and the frame rate, and, watching, a look at
// the content files twice a second that reloads when one changed. Made by
// the program's attach when authoring and kept as long as the program; all
// time and music moves go through the program.
//
//   Space        pause or resume          Home          back to the start
//   Left, Right  5 s back or forward      Shift + arrow 1 s
//   [            the loop starts here     ]             the loop ends here
//   Backspace    no loop                  F5            reload all content

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>

namespace Tarn {
class Application;
}

class DemoProgram;

class DevControls {
public:
    static constexpr double SeekSeconds = 5.0;
    static constexpr double FineSeekSeconds = 1.0;
    // How often the watched files are looked at, in seconds of frame time.
    static constexpr double WatchSeconds = 0.5;

    // Connects to the application's keys and frames; the program's slots
    // must be connected first, so the title follows the frame just drawn.
    DevControls(DemoProgram& program, Tarn::Application& app, bool watch);
    DevControls(const DevControls&) = delete;
    DevControls& operator=(const DevControls&) = delete;

    // Called by the program before it draws a frame: when watching, looks
    // at the files every WatchSeconds of frame time and reloads when one
    // changed.
    void beforeFrame(double delta);

    // "m:ss.cc", the way the title shows times.
    static std::string clockText(double seconds);

private:
    // What the watcher compares: whether the file is there, its size and
    // when it was last written.
    struct Stamp {
        bool exists = false;
        std::uintmax_t size = 0;
        std::filesystem::file_time_type written;
        bool operator==(const Stamp& other) const {
            return exists == other.exists && size == other.size && written == other.written;
        }
    };
    using Stamps = std::map<std::string, Stamp>;

    void f_onKey(int key);
    void f_onFrame(double delta);
    void f_reload();
    void f_showTitle();
    // The archive and every path the content was read from, as files.
    Stamps f_stamps() const;

    DemoProgram& m_program;
    Tarn::Application& m_app;
    bool m_watch;
    bool m_leftShift = false;
    bool m_rightShift = false;
    Stamps m_stamps;
    double m_sinceWatch = 0.0;
    bool m_reloadAgain = false;  // F5 came during a reload
    // Frames and seconds counted towards the next rate.
    int m_frames = 0;
    double m_frameSeconds = 0.0;
    double m_fps = 0.0;
};

#endif
