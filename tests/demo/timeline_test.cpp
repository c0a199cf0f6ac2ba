#include "tarn/demo/timeline.h"

#include <cmath>
#include <cstddef>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace {

using Tarn::Demo::Clip;
using Tarn::Demo::Timeline;

struct Call {
    std::string clip;
    std::string hook;
    double delta;
    double now;
    double localTime;
};

// Appends every hook call to a log shared by all clips of a test, so the order
// across clips is visible.
class RecordingClip : public Clip {
public:
    RecordingClip(std::string name, std::vector<Call>& log, double start, double duration,
                  double offset = 0.0)
        : m_name(std::move(name)), m_log(log) {
        setStartTime(start);
        setDuration(duration);
        setStartOffset(offset);
    }

    void onStart() override { m_log.push_back({m_name, "start", 0.0, 0.0, 0.0}); }
    void onFinish() override { m_log.push_back({m_name, "finish", 0.0, 0.0, 0.0}); }
    void onFrame(double delta, double now) override {
        m_log.push_back({m_name, "frame", delta, now, localTime(now)});
    }

private:
    std::string m_name;
    std::vector<Call>& m_log;
};

TEST(TimelineTest, ClipIsActiveFromItsStartUntilJustBeforeItsEnd) {
    const struct {
        const char* name;
        double start, duration, time;
        bool active;
    } cases[] = {
        {"at the start", 10.0, 5.0, 10.0, true},
        {"just before the end", 10.0, 5.0, 14.999, true},
        {"at the end", 10.0, 5.0, 15.0, false},
        {"just before the start", 10.0, 5.0, 9.999, false},
        {"zero duration at its start", 3.0, 0.0, 3.0, false},
        {"negative duration", 3.0, -2.0, 2.0, false},
        {"negative start", -4.0, 5.0, -4.0, true},
        {"time not a number", 0.0, 5.0, NAN, false},
        {"start not a number", NAN, 5.0, 1.0, false},
        {"endless", 1.0, INFINITY, 1e12, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<Call> log;
        RecordingClip clip("c", log, c.start, c.duration);
        Timeline timeline;
        timeline.addClip(&clip);
        EXPECT_EQ(timeline.clipsAt(c.time),
                  c.active ? std::vector<Clip*>{&clip} : std::vector<Clip*>{});
        timeline.doFrame(c.time, 0.016);
        EXPECT_EQ(log.size(), c.active ? 1u : 0u);
    }
}

TEST(TimelineTest, DefaultClipHasAnEmptySpanAtZero) {
    Clip clip;
    EXPECT_EQ(clip.startTime(), 0.0);
    EXPECT_EQ(clip.startOffset(), 0.0);
    EXPECT_EQ(clip.duration(), 0.0);
    Timeline timeline;
    timeline.addClip(&clip);
    EXPECT_TRUE(timeline.clipsAt(0.0).empty());
}

TEST(TimelineTest, DoFrameCallsActiveClipsInOrderWithTheirLocalTime) {
    std::vector<Call> log;
    RecordingClip intro("intro", log, 0.0, 5.0);
    RecordingClip scene("scene", log, 10.0, 5.0, 2.0);
    RecordingClip overlay("overlay", log, 3.0, 9.0, -1.0);
    Timeline timeline;
    for (Clip* clip : {static_cast<Clip*>(&intro), static_cast<Clip*>(&scene),
                       static_cast<Clip*>(&overlay), static_cast<Clip*>(&intro)})
        timeline.addClip(clip);

    timeline.doFrame(10.0, 0.02);  // scene and overlay
    timeline.doFrame(4.0, 0.5);    // intro (twice) and overlay
    timeline.doFrame(20.0, 0.1);   // nothing

    const struct {
        const char* clip;
        double delta, now, localTime;
    } expected[] = {
        {"scene", 0.02, 10.0, 2.0}, {"overlay", 0.02, 10.0, 6.0}, {"intro", 0.5, 4.0, 4.0},
        {"overlay", 0.5, 4.0, 0.0}, {"intro", 0.5, 4.0, 4.0},
    };
    ASSERT_EQ(log.size(), std::size(expected));
    for (std::size_t i = 0; i < log.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(log[i].clip, expected[i].clip);
        EXPECT_EQ(log[i].hook, "frame");
        EXPECT_EQ(log[i].delta, expected[i].delta);
        EXPECT_EQ(log[i].now, expected[i].now);
        EXPECT_EQ(log[i].localTime, expected[i].localTime);
    }
    EXPECT_EQ(timeline.clips(), (std::vector<Clip*>{&intro, &scene, &overlay, &intro}));
}

TEST(TimelineTest, ClipAddedDuringAFrameRunsFromTheNextFrame) {
    std::vector<Call> log;
    Timeline timeline;
    RecordingClip late("late", log, 0.0, 10.0);
    struct Spawner : RecordingClip {
        Spawner(std::vector<Call>& log, Timeline& timeline, Clip& spawned)
            : RecordingClip("spawner", log, 0.0, 10.0), timeline(timeline), spawned(spawned) {}
        void onFrame(double delta, double now) override {
            RecordingClip::onFrame(delta, now);
            timeline.addClip(&spawned);
        }
        Timeline& timeline;
        Clip& spawned;
    } spawner(log, timeline, late);
    timeline.addClip(&spawner);

    timeline.doFrame(1.0, 0.1);
    ASSERT_EQ(log.size(), 1u);
    timeline.doFrame(2.0, 0.1);
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[1].clip, "spawner");
    EXPECT_EQ(log[2].clip, "late");
}

TEST(TimelineTest, DurationIsTheLatestClipEnd) {
    const struct {
        const char* name;
        std::vector<std::pair<double, double>> spans;  // start, duration
        double expected;
    } cases[] = {
        {"empty", {}, 0.0},
        {"overlapping", {{0.0, 5.0}, {3.0, 12.0 - 3.0}}, 12.0},
        {"latest end is not the latest start", {{0.0, 30.0}, {10.0, 5.0}}, 30.0},
        {"all end before zero", {{-10.0, 5.0}}, 0.0},
        {"end not a number is left out", {{NAN, 5.0}, {2.0, 3.0}, {1.0, NAN}}, 5.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<Call> log;
        std::vector<RecordingClip> clips;
        clips.reserve(c.spans.size());
        Timeline timeline;
        for (const auto& [start, duration] : c.spans)
            timeline.addClip(&clips.emplace_back("c", log, start, duration));
        EXPECT_EQ(timeline.duration(), c.expected);
    }
}

TEST(TimelineTest, NullClipIsReportedAndIgnored) {
    Timeline timeline;
    testing::internal::CaptureStdout();
    timeline.addClip(nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "[Timeline] cannot add a null clip; ignored\n");
    EXPECT_TRUE(timeline.clips().empty());
    timeline.doFrame(0.0, 0.1);
    EXPECT_EQ(timeline.duration(), 0.0);
}

}  // namespace
