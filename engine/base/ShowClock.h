// The show's clock: the music position while the music plays at its own speed, and a clock of
// its own while the show is paused or played faster or slower (the music is silent then). Pause,
// speed and start times act here; the music follows.
//
// Frame loop only: the loop moves it once per frame (advance) and reads it (position).
#pragma once

#include "engine/base/MusicPlayer.h"

class ShowClock {
public:
    explicit ShowClock(MusicPlayer& music) : music_(music) {}
    ShowClock(const ShowClock&) = delete;
    ShowClock& operator=(const ShowClock&) = delete;

    // Music time of the frame being made, in seconds.
    double position();
    // Moves a clock that does not follow the music by the frame's duration times the speed.
    void advance(double frameMilliseconds);
    // The show goes on from `seconds`: the music starts there when it is to be heard.
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

    MusicPlayer& music_;
    bool paused_ = false;
    double speed_ = 1.0;
    double own_ = 0.0; // seconds, while the clock does not follow the music
};
