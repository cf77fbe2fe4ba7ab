#include "engine/base/ShowClock.h"

#include "engine/base/Log.h"

#include <cmath>

void ShowClock::observe(double position) {
    const double length = music_.length();
    if (length > 0.0 && last_ - position > length * 0.5) passStart_ += length;
    last_ = position;
}

double ShowClock::position() {
    const double p = followsMusic() ? music_.position() : own_;
    observe(p);
    return p;
}

void ShowClock::advance(double frameMilliseconds) {
    if (followsMusic() || paused_) return;
    own_ += frameMilliseconds * 0.001 * speed_;
    const double length = music_.length();
    if (length > 0.0 && own_ >= length) {
        // Fast motion may pass the song's end more than once in a frame: every pass counts.
        const double passes = std::floor(own_ / length);
        passStart_ += passes * length;
        own_ -= passes * length;
    }
    last_ = own_;
}

void ShowClock::startAt(double seconds) {
    const double length = music_.length();
    passStart_ = length > 0.0 ? std::floor(seconds / length) * length : 0.0;
    own_ = seconds - passStart_;
    last_ = own_;
    if (!followsMusic()) return;
    // The music is handed the show time: the stream wraps it to the same sample a run from the
    // start reaches there.
    if (music_.playFrom(seconds) == -1)
        logStream << "Cannot start audio stream" << music_.errorText() << std::endl;
}

void ShowClock::setPaused(bool paused) {
    const bool followed = followsMusic();
    paused_ = paused;
    apply(followed);
}

void ShowClock::setSpeed(double speed) {
    if (!(speed > 0.0)) return;
    const bool followed = followsMusic();
    speed_ = speed;
    apply(followed);
}

void ShowClock::reset() {
    paused_ = false;
    speed_ = 1.0;
    own_ = 0.0;
    passStart_ = 0.0;
    last_ = 0.0;
}

void ShowClock::apply(bool followedBefore) {
    if (followedBefore == followsMusic()) return;
    if (followedBefore) {
        own_ = music_.position();
        observe(own_);
        music_.stop();
    } else {
        startAt(passStart_ + own_);
    }
}
