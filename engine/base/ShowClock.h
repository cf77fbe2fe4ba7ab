// The show's clock: the music position while the music plays at its own speed, and a clock of
// its own while the show is paused or played faster or slower (the music is silent then). Pause,
// speed and start times act here; the music follows.
//
// The music loops, so its position starts over at the song's end. Show time goes on: it counts
// the song's passes, so a time in the second pass of a 25-second song is 28 s of show time and
// 3 s of music. Starts and seeks take show times; on the song's first pass the two are equal.
// The clock of its own wraps at the song's end as the music does. Without a song length (no
// music, a silent clock) nothing wraps and the two are always equal.
//
// Frame loop only: the loop moves it once per frame (advance) and reads it (position).
#pragma once

#include "engine/base/MusicPlayer.h"

class ShowClock {
public:
    explicit ShowClock(MusicPlayer& music) : music_(music) {}
    ShowClock(const ShowClock&) = delete;
    ShowClock& operator=(const ShowClock&) = delete;

    // Music time of the frame being made, in seconds (within the song).
    double position();
    // The show time of the last position read: that position plus the passes of the song before it.
    double lastShowTime() const { return passStart_ + last_; }
    // Reads the position and returns its show time.
    double showTime() {
        position();
        return lastShowTime();
    }
    // Moves a clock that does not follow the music by the frame's duration times the speed.
    void advance(double frameMilliseconds);
    // The show goes on from show time `seconds`: the music starts there when it is to be heard.
    void startAt(double seconds);

    void setPaused(bool paused);
    bool paused() const { return paused_; }
    // Playback speed of the show (1: the music's own); the music is silent at any other.
    void setSpeed(double speed);
    double speed() const { return speed_; }
    bool followsMusic() const { return !paused_ && speed_ == 1.0; }

    // Back to a playing clock at normal speed that follows the music (a new show).
    void reset();

private:
    // Switches between following the music and keeping time alone, keeping the position.
    void apply(bool followedBefore);
    // Notes a position read; one earlier by more than half the song is the song starting over.
    void observe(double position);

    MusicPlayer& music_;
    bool paused_ = false;
    double speed_ = 1.0;
    double own_ = 0.0;       // seconds of music time, while the clock does not follow the music
    double passStart_ = 0.0; // show time at which the song's current pass began
    double last_ = 0.0;      // the music time last read
};
