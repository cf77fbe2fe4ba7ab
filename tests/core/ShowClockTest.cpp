// The show clock: it follows the music while the show plays at the music's own speed, keeps time
// alone (with the music silent) while paused or faster or slower, and hands the position back to
// the music when it follows again. And the directory watcher that polls.
#include "engine/base/ShowClock.h"
#include "engine/base/FileWatcher.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <fstream>
#include <thread>

namespace {

// A stream whose position the test sets; it records starts and stops.
class StubMusic : public AudioBackend {
public:
    uint32_t createStream(const std::string&, bool) override { return 1; }
    bool play(uint32_t) override { return playFrom(1, 0.0); }
    bool playFrom(uint32_t, double seconds) override {
        at = seconds;
        playing = true;
        starts.push_back(seconds);
        return true;
    }
    bool stop(uint32_t) override {
        playing = false;
        ++stops;
        return true;
    }
    double position(uint32_t) override { return at; }
    double length(uint32_t) override { return song; }
    int lastError() override { return 0; }

    double at = 0.0;
    double song = 0.0;
    bool playing = false;
    int stops = 0;
    std::vector<double> starts;
};

TEST(ShowClock, PauseAndSpeedDetachItFromTheMusicAndGiveThePositionBack) {
    auto backend = std::make_shared<StubMusic>();
    MusicPlayer music;
    music.setBackend(backend);
    ASSERT_EQ(music.load("song.ogg"), 0);
    ShowClock clock(music);
    clock.startAt(10.0);
    EXPECT_TRUE(clock.followsMusic());
    backend->at = 12.5; // the music moved on
    EXPECT_DOUBLE_EQ(clock.position(), 12.5);

    clock.setPaused(true);
    EXPECT_FALSE(backend->playing);
    clock.advance(1000.0); // a paused clock stands
    backend->at = 99.0;
    EXPECT_DOUBLE_EQ(clock.position(), 12.5);

    clock.setPaused(false);
    EXPECT_TRUE(backend->playing);
    EXPECT_DOUBLE_EQ(backend->starts.back(), 12.5);

    clock.setSpeed(0.5);
    EXPECT_FALSE(backend->playing); // silent off 1x
    clock.advance(1000.0);
    EXPECT_DOUBLE_EQ(clock.position(), 13.0);
    clock.setSpeed(4.0);
    clock.advance(500.0);
    EXPECT_DOUBLE_EQ(clock.position(), 15.0);
    clock.setPaused(true);
    clock.setSpeed(1.0); // still paused: the music waits
    EXPECT_FALSE(backend->playing);
    clock.setPaused(false);
    EXPECT_DOUBLE_EQ(backend->starts.back(), 15.0);
    EXPECT_TRUE(clock.followsMusic());

    clock.setSpeed(0.0); // no speed: refused
    EXPECT_EQ(clock.speed(), 1.0);
}

TEST(ShowClock, ShowTimeCountsTheSongsPassesWhicheverClockKeepsIt) {
    auto backend = std::make_shared<StubMusic>();
    backend->song = 25.0;
    MusicPlayer music;
    music.setBackend(backend);
    ASSERT_EQ(music.load("song.ogg"), 0);
    ShowClock clock(music);
    clock.startAt(0.0);
    backend->at = 24.9;
    EXPECT_DOUBLE_EQ(clock.showTime(), 24.9);
    backend->at = 24.85; // the music clock's jitter
    EXPECT_DOUBLE_EQ(clock.showTime(), 24.85);
    backend->at = 2.0; // the song started over
    EXPECT_DOUBLE_EQ(clock.position(), 2.0);
    EXPECT_DOUBLE_EQ(clock.lastShowTime(), 27.0);

    // A start in the second pass: the music is handed the show time (it wraps it itself).
    clock.startAt(28.0);
    EXPECT_DOUBLE_EQ(backend->starts.back(), 28.0);
    backend->at = 3.5;
    EXPECT_DOUBLE_EQ(clock.showTime(), 28.5);

    // A clock of its own wraps at the song's end too, every pass counted, and hands the music
    // the show time back.
    clock.setSpeed(8.0);
    clock.advance(3000.0); // 24 s of show time: 3.5 -> 27.5, past the end once
    EXPECT_NEAR(clock.position(), 2.5, 1e-9);
    EXPECT_NEAR(clock.lastShowTime(), 52.5, 1e-9);
    clock.advance(7000.0); // 56 s: past the end twice more
    EXPECT_NEAR(clock.position(), 8.5, 1e-9);
    EXPECT_NEAR(clock.lastShowTime(), 108.5, 1e-9);
    clock.setSpeed(1.0);
    EXPECT_NEAR(backend->starts.back(), 108.5, 1e-9);

    // Without a song length nothing wraps.
    backend->song = 0.0;
    clock.reset();
    clock.startAt(40.0);
    backend->at = 40.0;
    EXPECT_DOUBLE_EQ(clock.showTime(), 40.0);
    backend->at = 1.0;
    EXPECT_DOUBLE_EQ(clock.showTime(), 1.0);
}

TEST(PollingFileWatcher, ReportsChangedAndNewFilesOnceEach) {
    ScratchDirectory dir;
    dir.write("a.psh", "one");
    dir.write("tex/b.bmp", "two");
    PollingFileWatcher watcher(dir.path(), std::chrono::milliseconds(0));
    EXPECT_TRUE(watcher.takeChanges().empty());
    dir.write("tex/b.bmp", "two, longer");
    dir.write("tex/c.bmp", "new");
    EXPECT_EQ(watcher.takeChanges(), (std::vector<std::string>{"tex/b.bmp", "tex/c.bmp"}));
    EXPECT_TRUE(watcher.takeChanges().empty());
}

} // namespace
